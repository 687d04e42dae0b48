#include "engine/fs/NtFiles.h"

#include "engine/fs/Folder.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#ifndef FILE_COMPLETE_IF_OPLOCKED
 #define FILE_COMPLETE_IF_OPLOCKED 0x00000100
#endif

namespace
{
    // A success code: the file was opened, and an oplock that another process holds on it is
    // being broken. Waiting for that break could take for ever.
    constexpr LONG statusOplockBreakInProgress = 0x00000108;

    using ToWin32ErrorFunction = ULONG (NTAPI*) (LONG);

    /** A function of ntdll, which is in every process: asked for by name, it adds no import to the exe. */
    template <typename Function>
    Function getNtFunction (const char* name)
    {
        return reinterpret_cast<Function> (reinterpret_cast<void*> (GetProcAddress (GetModuleHandleW (L"ntdll.dll"), name)));
    }

    DWORD toWin32Error (LONG status)
    {
        static const auto convert = getNtFunction<ToWin32ErrorFunction> ("RtlNtStatusToDosError");
        return convert != nullptr ? (DWORD) convert (status) : ERROR_GEN_FAILURE;
    }

    /** NtCreateFile with `root` (or none, for a full NT path), never waiting on an oplock. */
    HANDLE createFile (HANDLE root, std::wstring objectName, DWORD access, DWORD share, DWORD disposition, DWORD options, DWORD& error,
                       const void* securityDescriptor)
    {
        using NtCreateFileFunction = LONG (NTAPI*) (PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                                     ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
        static const auto ntCreateFile = getNtFunction<NtCreateFileFunction> ("NtCreateFile");

        if (ntCreateFile == nullptr || objectName.size() * sizeof (wchar_t) > 0xfff0)
        {
            error = ERROR_INVALID_NAME;
            return nullptr;
        }

        UNICODE_STRING name;
        name.Length = name.MaximumLength = (USHORT) (objectName.size() * sizeof (wchar_t));
        name.Buffer = objectName.data();

        // A pipe or device server reached through a planted link may only identify this process.
        SECURITY_QUALITY_OF_SERVICE quality { sizeof (SECURITY_QUALITY_OF_SERVICE), SecurityIdentification, SECURITY_STATIC_TRACKING, FALSE };
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes (&attributes, &name, OBJ_CASE_INSENSITIVE, root, const_cast<void*> (securityDescriptor));
        attributes.SecurityQualityOfService = &quality;
        IO_STATUS_BLOCK status {};
        HANDLE handle = nullptr;

        const auto result = ntCreateFile (&handle, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                                          disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_COMPLETE_IF_OPLOCKED, nullptr, 0);

        if (result < 0)
        {
            error = toWin32Error (result);
            return nullptr;
        }

        // Someone holds an oplock on it: the handle is let go unused, and the file counts as in use.
        if (result == statusOplockBreakInProgress)
        {
            CloseHandle (handle);
            error = ERROR_SHARING_VIOLATION;
            return nullptr;
        }

        error = 0;
        return handle;
    }

    DWORD setInformation (HANDLE entry, void* information, ULONG size, ULONG informationClass)
    {
        using NtSetInformationFileFunction = LONG (NTAPI*) (HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
        static const auto ntSetInformation = getNtFunction<NtSetInformationFileFunction> ("NtSetInformationFile");

        if (ntSetInformation == nullptr)
            return ERROR_INVALID_FUNCTION;

        // Renaming or deleting a file breaks the handle caching that others may hold on it: that
        // break must not keep the run waiting for ever.
        const IoWatchdog watchdog;
        IO_STATUS_BLOCK status {};
        const auto result = ntSetInformation (entry, &status, information, size, informationClass);
        return result < 0 ? toWin32Error (result) : 0;
    }
} // namespace

HANDLE openRelative (HANDLE parent, const juce::String& name, DWORD access, DWORD share, DWORD disposition, DWORD options, DWORD& error,
                     const void* securityDescriptor)
{
    // "." is the parent itself, opened anew; any other name must be one plain name.
    const auto isSelf = name == ".";

    if (parent == nullptr || ! (isSelf || DurableFiles::isPlainName (name)) || name.length() > 255)
    {
        error = ERROR_INVALID_NAME;
        return nullptr;
    }

    return createFile (parent, isSelf ? L"" : name.toWideCharPointer(), access, share, disposition, options, error, securityDescriptor);
}

HANDLE openPath (const juce::File& path, DWORD access, DWORD share, DWORD disposition, DWORD options, DWORD& error)
{
    // Only a drive path ("C:\...") or a share ("\\server\share\..."); device and NT paths never.
    // JUCE gives a drive's root as "C:", without its backslash.
    auto full = path.getFullPathName();

    if (full.length() == 2 && full[1] == ':')
        full += "\\";

    const auto isDrivePath = full.length() >= 3 && juce::CharacterFunctions::isLetter (full[0]) && full[0] < 0x80
                             && full[1] == ':' && full[2] == '\\';
    const auto isSharePath = full.startsWith ("\\\\") && ! full.startsWith ("\\\\?") && ! full.startsWith ("\\\\.");

    if (! isDrivePath && ! isSharePath)
    {
        error = ERROR_INVALID_NAME;
        return nullptr;
    }

    const auto ntPath = isDrivePath ? "\\??\\" + full : "\\??\\UNC\\" + full.substring (2);
    return createFile (nullptr, ntPath.toWideCharPointer(), access, share, disposition, options, error, nullptr);
}

DWORD renameRelative (HANDLE entry, HANDLE targetFolder, const juce::String& name)
{
    // Windows' SetFileInformationByHandle takes a root directory too, but Wine's does not.
    constexpr ULONG fileRenameInformation = 10;

    if (targetFolder == nullptr || ! DurableFiles::isPlainName (name) || name.length() > 255)
        return ERROR_INVALID_NAME;

    const std::wstring wideName (name.toWideCharPointer());
    const auto size = offsetof (FILE_RENAME_INFO, FileName) + (wideName.size() + 1) * sizeof (WCHAR);
    juce::HeapBlock<char> block (size, true);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*> (block.get());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = targetFolder;
    info->FileNameLength = (DWORD) (wideName.size() * sizeof (WCHAR));
    std::memcpy (info->FileName, wideName.c_str(), wideName.size() * sizeof (WCHAR));
    return setInformation (entry, info, (ULONG) size, fileRenameInformation);
}

DWORD deleteByHandle (HANDLE entry)
{
    constexpr ULONG fileDispositionInformation = 13;
    FILE_DISPOSITION_INFO dispose { TRUE };
    return setInformation (entry, &dispose, sizeof (dispose), fileDispositionInformation);
}

//==============================================================================
struct IoWatchdog::Pimpl
{
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    bool cancelled = false;
    HANDLE thread = nullptr;
    std::thread watcher;
};

IoWatchdog::IoWatchdog (juce::RelativeTime limit)
    : pimpl (std::make_unique<Pimpl>())
{
    if (! DuplicateHandle (GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &pimpl->thread, THREAD_TERMINATE, FALSE, 0))
        return;

    pimpl->watcher = std::thread ([p = pimpl.get(), wait = std::chrono::milliseconds (limit.inMilliseconds())]
    {
        std::unique_lock<std::mutex> guard (p->lock);

        if (p->done.wait_for (guard, wait, [p] { return p->finished; }))
            return;

        // Cancelled again until the guarded call has returned: a cancel that came just before
        // the call began would otherwise be lost.
        while (! p->finished)
        {
            p->cancelled = CancelSynchronousIo (p->thread) || p->cancelled;
            p->done.wait_for (guard, std::chrono::milliseconds (50), [p] { return p->finished; });
        }
    });
}

IoWatchdog::~IoWatchdog()
{
    {
        const std::lock_guard<std::mutex> guard (pimpl->lock);
        pimpl->finished = true;
    }

    pimpl->done.notify_all();

    if (pimpl->watcher.joinable())
        pimpl->watcher.join();

    if (pimpl->thread != nullptr)
        CloseHandle (pimpl->thread);
}

bool IoWatchdog::fired() const
{
    const std::lock_guard<std::mutex> guard (pimpl->lock);
    return pimpl->cancelled;
}
