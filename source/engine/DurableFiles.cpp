#include "engine/DurableFiles.h"

#include "engine/WindowsApi.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#if ! JUCE_WINDOWS
 #include <cerrno>
 #include <dirent.h>
 #include <fcntl.h>
 #include <sys/file.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace DurableFiles
{
    namespace
    {
        // The hook is read by every worker of a run at once; each call works on its own copy.
        std::mutex& getStepHookLock()
        {
            static std::mutex lock;
            return lock;
        }

        std::shared_ptr<const StepHook>& getStepHook()
        {
            static std::shared_ptr<const StepHook> hook;
            return hook;
        }

       #if JUCE_WINDOWS
        const wchar_t* widePath (const juce::File& file)
        {
            return file.getFullPathName().toWideCharPointer();
        }

        FILETIME toFileTime (juce::Time time)
        {
            // 100 ns steps since 1601, from milliseconds since 1970.
            ULARGE_INTEGER value;
            value.QuadPart = (ULONGLONG) (time.toMilliseconds() * 10000 + 116444736000000000LL);
            return { value.LowPart, value.HighPart };
        }
       #else
        const char* rawPath (const juce::File& file)
        {
            return file.getFullPathName().toRawUTF8();
        }

        int closeKeepingErrno (int fd)
        {
            const auto saved = errno;
            const auto result = ::close (fd);
            errno = saved;
            return result;
        }
       #endif

       #if ! JUCE_WINDOWS
        void setError (int& error, int value)
        {
            error = value;
            errno = value;
        }
       #endif
    } // namespace

    bool isPlainName (const juce::String& name)
    {
        return name.isNotEmpty() && name != "." && name != ".." && ! name.containsAnyOf ("/\\:");
    }

    void setStepHook (StepHook hook)
    {
        auto shared = hook ? std::make_shared<const StepHook> (std::move (hook)) : nullptr;
        const std::lock_guard<std::mutex> guard (getStepHookLock());
        getStepHook() = std::move (shared);
    }

    void announceStep (const char* step, const juce::File& target)
    {
        std::shared_ptr<const StepHook> hook;

        {
            const std::lock_guard<std::mutex> guard (getStepHookLock());
            hook = getStepHook();
        }

        if (hook != nullptr)
            (*hook) (step, target);
    }

    //==============================================================================
   #if ! JUCE_WINDOWS
    Folder::~Folder()
    {
        if (fd >= 0)
            closeKeepingErrno (fd);
    }
   #endif

    Folder::Folder (Folder&& other) noexcept
    {
        *this = std::move (other);
    }

    Folder& Folder::operator= (Folder&& other) noexcept
    {
        if (this != &other)
        {
            path = other.path;
            error = other.error;
           #if JUCE_WINDOWS
            if (handle != nullptr)
                CloseHandle (handle);

            handle = std::exchange (other.handle, nullptr);
           #else
            if (fd >= 0)
                closeKeepingErrno (fd);

            fd = std::exchange (other.fd, -1);
           #endif
        }

        return *this;
    }

    bool Folder::isOpen() const
    {
       #if JUCE_WINDOWS
        return handle != nullptr;
       #else
        return fd >= 0;
       #endif
    }

    bool Folder::wasMissing() const
    {
       #if JUCE_WINDOWS
        return handle == nullptr && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
       #else
        return fd < 0 && error == ENOENT;
       #endif
    }

   #if JUCE_WINDOWS
    namespace
    {
        constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        constexpr DWORD folderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

        /** A handle that is a folder of a file system: not a file, and not a device or pipe that a
            mount point into the object manager could lead to. */
        bool isFileSystemFolder (HANDLE handle, DWORD& error)
        {
            BY_HANDLE_FILE_INFORMATION info {};

            if (GetFileType (handle) != FILE_TYPE_DISK || ! GetFileInformationByHandle (handle, &info)
                || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                return (error = ERROR_DIRECTORY, false);

            if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
                return (error = ERROR_CANT_ACCESS_FILE, false);

            return true;
        }
    } // namespace

    Folder::~Folder()
    {
        if (handle != nullptr)
            CloseHandle (handle);
    }

    Folder Folder::open (const juce::File& path)
    {
        Folder folder;
        folder.path = path;

        // Followed to the end: a junction on the path is the administrator's own. Should the path
        // lead to a pipe, its server may only identify this process, never act as it.
        const auto h = CreateFileW (widePath (path), folderAccess, shareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        DWORD error = 0;

        if (h == INVALID_HANDLE_VALUE)
            error = GetLastError();
        else if (! isFileSystemFolder (h, error))
            CloseHandle (h);
        else
            folder.handle = h;

        folder.error = (int) error;
        return folder;
    }

    Folder Folder::makeChild (const juce::String& name) const
    {
        announceStep ("create folder", getChildFile (name));
        DWORD failure = 0;
        const auto h = openRelative (handle, name, folderAccess, shareAll, FILE_OPEN_IF,
                                     FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT, failure);
        Folder child;
        child.path = getChildFile (name);

        if (h == nullptr || ! isFileSystemFolder (h, failure))
        {
            if (h != nullptr)
                CloseHandle (h);

            child.error = (int) failure;
        }
        else
        {
            child.handle = h;
        }

        return child;
    }

    Folder Folder::openChild (const juce::String& name, bool) const
    {
        // Whoever may add entries to the install folder may also replace what is in it once the
        // run is done; what matters is that the run is never led out of it.
        Folder child;
        child.path = path.getChildFile (name);
        DWORD openError = 0;
        const auto h = openRelative (handle, name, folderAccess, shareAll, FILE_OPEN,
                                     FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT, openError);

        if (h != nullptr && isFileSystemFolder (h, openError))
            child.handle = h;
        else if (h != nullptr)
            CloseHandle (h);

        child.error = (int) openError;
        return child;
    }

    EntryKind getEntryKind (const Folder& folder, const juce::String& name, juce::int64* size)
    {
        DWORD error = 0;
        const auto h = openRelative (folder.getHandle(), name, FILE_READ_ATTRIBUTES, shareAll, FILE_OPEN,
                                     FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT, error);

        if (h == nullptr)
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EntryKind::missing : EntryKind::other;

        BY_HANDLE_FILE_INFORMATION info {};
        auto kind = EntryKind::other;

        if (GetFileType (h) == FILE_TYPE_DISK && GetFileInformationByHandle (h, &info))
        {
            if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
                kind = EntryKind::link;
            else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                kind = EntryKind::folder;
            else
                kind = EntryKind::file;

            if (kind == EntryKind::file && size != nullptr)
                *size = ((juce::int64) info.nFileSizeHigh << 32) | info.nFileSizeLow;
        }

        CloseHandle (h);
        return kind;
    }

    bool listNames (const Folder& folder, juce::StringArray& names)
    {
        // A handle of its own, so that the listing starts at the beginning whatever read the folder before.
        DWORD error = 0;
        const auto h = openRelative (folder.getHandle(), ".", FILE_LIST_DIRECTORY, shareAll, FILE_OPEN,
                                     FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, error);

        if (h == nullptr)
            return false;

        alignas (8) char buffer[16 * 1024];
        auto ok = true;

        for (;;)
        {
            if (! GetFileInformationByHandleEx (h, FileIdBothDirectoryInfo, buffer, sizeof (buffer)))
            {
                ok = GetLastError() == ERROR_NO_MORE_FILES;
                break;
            }

            for (auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*> (buffer);;
                 info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*> (reinterpret_cast<const char*> (info) + info->NextEntryOffset))
            {
                const juce::String name (juce::CharPointer_UTF16 (reinterpret_cast<const juce::CharPointer_UTF16::CharType*> (info->FileName)),
                                         juce::CharPointer_UTF16 (reinterpret_cast<const juce::CharPointer_UTF16::CharType*> (info->FileName + info->FileNameLength / sizeof (WCHAR))));

                if (name != "." && name != "..")
                    names.add (name);

                if (info->NextEntryOffset == 0)
                    break;
            }
        }

        CloseHandle (h);
        return ok;
    }
   #else
    Folder Folder::open (const juce::File& path)
    {
        Folder folder;
        folder.path = path;
        folder.fd = ::open (rawPath (path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

        if (folder.fd < 0)
            folder.error = errno;

        return folder;
    }

    Folder Folder::makeChild (const juce::String& name) const
    {
        announceStep ("create folder", getChildFile (name));

        // One made meanwhile by someone else is opened only if it is a folder, not a link.
        if (::mkdirat (fd, name.toRawUTF8(), 0755) != 0 && errno != EEXIST)
        {
            Folder failed;
            failed.path = getChildFile (name);
            setError (failed.error, errno);
            return failed;
        }

        return openChild (name);
    }

    Folder Folder::openChild (const juce::String& name, bool ownOnly) const
    {
        Folder child;
        child.path = path.getChildFile (name);

        if (! isPlainName (name) || fd < 0)
        {
            setError (child.error, fd < 0 ? EBADF : EINVAL);
            return child;
        }

        // O_NOFOLLOW: a link at the name fails with ELOOP; O_DIRECTORY: so does anything but a folder.
        child.fd = ::openat (fd, name.toRawUTF8(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);

        if (child.fd < 0)
        {
            child.error = errno;
            return child;
        }

        struct stat info;

        if (ownOnly && (::fstat (child.fd, &info) != 0 || info.st_uid != ::geteuid()))
        {
            closeKeepingErrno (child.fd);
            child.fd = -1;
            setError (child.error, EACCES);
        }

        return child;
    }

    EntryKind getEntryKind (const Folder& folder, const juce::String& name, juce::int64* size)
    {
        struct stat info;

        if (! isPlainName (name) || ::fstatat (folder.getDescriptor(), name.toRawUTF8(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return EntryKind::missing;

        if (S_ISLNK (info.st_mode))
            return EntryKind::link;

        if (S_ISDIR (info.st_mode))
            return EntryKind::folder;

        if (! S_ISREG (info.st_mode))
            return EntryKind::other;

        if (size != nullptr)
            *size = (juce::int64) info.st_size;

        return EntryKind::file;
    }

    bool listNames (const Folder& folder, juce::StringArray& names)
    {
        // A copy of the handle shares its place in the listing: start from the beginning.
        const auto copy = ::dup (folder.getDescriptor());
        auto* stream = copy >= 0 ? ::fdopendir (copy) : nullptr;

        if (stream == nullptr)
        {
            if (copy >= 0)
                closeKeepingErrno (copy);

            return false;
        }

        ::rewinddir (stream);

        while (const auto* entry = ::readdir (stream))
            if (std::strcmp (entry->d_name, ".") != 0 && std::strcmp (entry->d_name, "..") != 0)
                names.add (juce::String::fromUTF8 (entry->d_name));

        ::closedir (stream);
        return true;
    }
   #endif

    Folder Folder::openOrCreate (const juce::File& path)
    {
        auto folder = open (path);

        if (! folder.wasMissing())
            return folder;

        // Up to the nearest folder that exists, then down again making each level inside it.
        juce::StringArray missing;
        auto existing = path;

        while (folder.wasMissing() && existing != existing.getParentDirectory())
        {
            missing.insert (0, existing.getFileName());
            existing = existing.getParentDirectory();
            folder = open (existing);
        }

        for (const auto& name : missing)
        {
            if (! folder.isOpen())
                break;

            folder = folder.makeChild (name);
        }

        return folder;
    }

    //==============================================================================
    bool createFolder (const Folder& parent, const juce::String& name)
    {
        announceStep ("create folder", parent.getChildFile (name));

       #if JUCE_WINDOWS
        DWORD error = 0;
        const auto h = openRelative (parent.getHandle(), name, FILE_LIST_DIRECTORY, shareAll, FILE_CREATE,
                                     FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, error);

        if (h == nullptr)
            return (SetLastError (error), false);

        CloseHandle (h);
        return true;
       #else
        if (! isPlainName (name))
            return (errno = EINVAL, false);

        return ::mkdirat (parent.getDescriptor(), name.toRawUTF8(), 0755) == 0;
       #endif
    }

    bool createFolder (const juce::File& folder)
    {
        announceStep ("create folder", folder);

       #if JUCE_WINDOWS
        return CreateDirectoryW (widePath (folder), nullptr) != 0;
       #else
        return ::mkdir (rawPath (folder), 0755) == 0;
       #endif
    }

    namespace
    {
        bool flushToDisk (const char* step, const juce::File& fileOrFolder)
        {
            announceStep (step, fileOrFolder);

           #if JUCE_WINDOWS
            // NewFile flushed each file, and every rename is written through.
            juce::ignoreUnused (fileOrFolder);
            return true;
           #else
            const auto fd = ::open (rawPath (fileOrFolder), O_RDONLY | O_CLOEXEC);

            if (fd < 0)
                return false;

            const auto ok = ::fsync (fd) == 0;
            closeKeepingErrno (fd);
            return ok;
           #endif
        }
    } // namespace

    bool flushFile (const juce::File& file)
    {
        return flushToDisk ("flush file", file);
    }

    bool flushFolder (const juce::File& folder)
    {
        return flushToDisk ("flush folder", folder);
    }

    bool flushFile (const Folder& parent, const juce::String& name)
    {
        announceStep ("flush file", parent.getChildFile (name));

       #if JUCE_WINDOWS
        // NewFile flushed it.
        return isPlainName (name);
       #else
        if (! isPlainName (name))
            return false;

        // Only the plain file it was: a FIFO in its place would stall the open, a link lead away.
        const auto fd = ::openat (parent.getDescriptor(), name.toRawUTF8(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);

        if (fd < 0)
            return false;

        struct stat info;
        const auto ok = ::fstat (fd, &info) == 0 && S_ISREG (info.st_mode) && ::fsync (fd) == 0;
        closeKeepingErrno (fd);
        return ok;
       #endif
    }

    bool flushFolder (const Folder& folder)
    {
        announceStep ("flush folder", folder.getPath());

       #if JUCE_WINDOWS
        // Asks the file system to write the folder's entries out, through a handle of its own that
        // may write. Not every file system flushes a folder; NTFS keeps its renames in order in
        // its journal all the same.
        DWORD error = 0;

        if (const auto h = openRelative (folder.getHandle(), ".", FILE_ADD_FILE, shareAll, FILE_OPEN, FILE_DIRECTORY_FILE, error))
        {
            FlushFileBuffers (h);
            CloseHandle (h);
        }

        return folder.isOpen();
       #else
        return ::fsync (folder.getDescriptor()) == 0;
       #endif
    }

    //==============================================================================
    NewFile::NewFile (const juce::File& file)
    {
        announceStep ("write file", file);

       #if JUCE_WINDOWS
        // CREATE_NEW fails on any existing name, a link's included.
        const auto h = CreateFileW (widePath (file), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);

        if (h != INVALID_HANDLE_VALUE)
            handle = h;
       #else
        fd = ::open (rawPath (file), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
       #endif
    }

    NewFile::NewFile (const Folder& parent, const juce::String& name)
    {
        announceStep ("write file", parent.getChildFile (name));

        if (! isPlainName (name))
            return;

       #if JUCE_WINDOWS
        // FILE_CREATE fails on any existing name, a reparse point's included.
        DWORD error = 0;
        handle = openRelative (parent.getHandle(), name, GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, FILE_CREATE,
                               FILE_NON_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, error);

        if (handle == nullptr)
            SetLastError (error);
       #else
        fd = ::openat (parent.getDescriptor(), name.toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
       #endif
    }

    NewFile::~NewFile()
    {
       #if JUCE_WINDOWS
        if (handle != nullptr)
            CloseHandle (handle);
       #else
        if (fd >= 0)
            closeKeepingErrno (fd);
       #endif
    }

    bool NewFile::isOpen() const
    {
       #if JUCE_WINDOWS
        return handle != nullptr;
       #else
        return fd >= 0;
       #endif
    }

    bool NewFile::write (const void* data, size_t size)
    {
        const auto* bytes = static_cast<const char*> (data);

        while (size > 0)
        {
           #if JUCE_WINDOWS
            DWORD written = 0;
            const auto piece = (DWORD) juce::jmin (size, (size_t) 0x40000000);

            if (! WriteFile (handle, bytes, piece, &written, nullptr) || written == 0)
                return false;
           #else
            const auto written = ::write (fd, bytes, size);

            if (written < 0 && errno == EINTR)
                continue;

            if (written <= 0)
                return false;
           #endif

            bytes += written;
            size -= (size_t) written;
        }

       #if JUCE_LINUX
        // Start writing what has come so far to the disk now, while the next piece is unpacked,
        // so that the flush at the end waits for little more than the last piece.
        const auto end = ::lseek (fd, 0, SEEK_CUR);
        ::sync_file_range (fd, (off_t) writtenBefore, (off_t) end - (off_t) writtenBefore, SYNC_FILE_RANGE_WRITE);
        writtenBefore = end;
       #endif

        return true;
    }

    bool NewFile::finish (juce::Time time)
    {
       #if JUCE_WINDOWS
        const auto fileTime = toFileTime (time);
        return SetFileTime (handle, &fileTime, &fileTime, &fileTime) && FlushFileBuffers (handle);
       #else
        const auto seconds = time.toMilliseconds() / 1000;
        const auto nanoseconds = (long) (time.toMilliseconds() % 1000) * 1000000L;
        const struct timespec times[2] = { { (time_t) seconds, nanoseconds }, { (time_t) seconds, nanoseconds } };
        return ::futimens (fd, times) == 0;
       #endif
    }

    //==============================================================================
    BundleLock::BundleLock (const juce::File& installFolder, const juce::String& bundleName)
        : BundleLock (Folder::open (installFolder), bundleName)
    {
    }

   #if JUCE_WINDOWS
    BundleLock::BundleLock (const Folder& installFolder, const juce::String& bundleName)
        : mutexName (getMutexName (installFolder, bundleName)),
          openError (installFolder.isOpen() ? (int) ERROR_INVALID_NAME : installFolder.getError())
    {
    }

    juce::String BundleLock::getMutexName (const Folder& installFolder, const juce::String& bundleName)
    {
        BY_HANDLE_FILE_INFORMATION info {};

        if (! installFolder.isOpen() || ! isPlainName (bundleName) || ! GetFileInformationByHandle (installFolder.getHandle(), &info))
            return {};

        return "Global\\tw_installer-" + juce::String::toHexString ((juce::int64) info.dwVolumeSerialNumber).paddedLeft ('0', 8)
             + "-" + juce::String::toHexString (((juce::int64) info.nFileIndexHigh << 32) | info.nFileIndexLow).paddedLeft ('0', 16)
             + "-" + bundleName;
    }
   #else
    BundleLock::BundleLock (const Folder& installFolder, const juce::String&)
        // An open of its own: a lock belongs to one open of the folder, and the run's other
        // opens (another format's lock in the same folder) must not share it.
        : fd (installFolder.isOpen() ? ::openat (installFolder.getDescriptor(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1),
          openError (fd < 0 ? (installFolder.isOpen() ? errno : installFolder.getError()) : 0)
    {
    }
   #endif

    BundleLock::~BundleLock()
    {
        release();

       #if ! JUCE_WINDOWS
        if (fd >= 0)
            closeKeepingErrno (fd);
       #endif
    }

    BundleLock::Outcome BundleLock::acquire (juce::RelativeTime wait)
    {
        const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax ((juce::int64) 0, wait.inMilliseconds());

        for (;;)
        {
            const auto outcome = tryOnce();

            if (outcome != Outcome::busy || juce::Time::getMillisecondCounter() >= deadline)
                return outcome;

            juce::Thread::sleep (20);
        }
    }

   #if JUCE_WINDOWS
    BundleLock::Outcome BundleLock::tryOnce()
    {
        if (mutexName.isEmpty())
        {
            SetLastError ((DWORD) openError);
            return Outcome::cannotCreate;
        }

        if (mutex == nullptr)
            mutex = CreateMutexW (nullptr, FALSE, mutexName.toWideCharPointer());

        // An object of that name that is no mutex of ours, or one we may not open, belongs to
        // someone else: that can only keep this run waiting, never lead it anywhere.
        if (mutex == nullptr)
            return Outcome::busy;

        switch (WaitForSingleObject (mutex, 0))
        {
            case WAIT_OBJECT_0:
            case WAIT_ABANDONED: // its owner died; what it left is repaired under the lock
                held = true;
                return Outcome::acquired;
            default:
                return Outcome::busy;
        }
    }

    void BundleLock::release()
    {
        if (held)
            ReleaseMutex (mutex);

        if (mutex != nullptr)
            CloseHandle (mutex);

        held = false;
        mutex = nullptr;
    }
   #else
    BundleLock::Outcome BundleLock::tryOnce()
    {
        if (fd < 0)
        {
            errno = openError;
            return Outcome::cannotCreate;
        }

        // The folder itself is locked, not a file in it: nothing a user can remove, swap or link
        // takes the lock away, and it needs no write permission.
        if (::flock (fd, LOCK_EX | LOCK_NB) == 0)
        {
            held = true;
            return Outcome::acquired;
        }

        return errno == EWOULDBLOCK || errno == EINTR ? Outcome::busy : Outcome::cannotCreate;
    }

    void BundleLock::release()
    {
        if (held)
            ::flock (fd, LOCK_UN);

        held = false;
    }
   #endif
} // namespace DurableFiles

#if JUCE_WINDOWS
namespace
{
    using ToWin32ErrorFunction = ULONG (NTAPI*) (LONG);

    /** A function of ntdll, which is in every process: asked for by name, it adds no import to the exe. */
    template <typename Function>
    Function getNtFunction (const char* name)
    {
        return reinterpret_cast<Function> (reinterpret_cast<void*> (GetProcAddress (GetModuleHandleW (L"ntdll.dll"), name)));
    }
} // namespace

HANDLE openRelative (HANDLE parent, const juce::String& name, DWORD access, DWORD share, DWORD disposition, DWORD options, DWORD& error,
                     const void* securityDescriptor)
{
    using NtCreateFileFunction = LONG (NTAPI*) (PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                                 ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
    static const auto createFile = getNtFunction<NtCreateFileFunction> ("NtCreateFile");
    static const auto toWin32Error = getNtFunction<ToWin32ErrorFunction> ("RtlNtStatusToDosError");

    // "." is the parent itself, opened anew; any other name must be one plain name.
    const auto isSelf = name == ".";

    if (parent == nullptr || createFile == nullptr || toWin32Error == nullptr
        || ! (isSelf || DurableFiles::isPlainName (name)) || name.length() > 255)
    {
        error = ERROR_INVALID_NAME;
        return nullptr;
    }

    std::wstring wide (isSelf ? L"" : name.toWideCharPointer());
    UNICODE_STRING objectName;
    objectName.Length = objectName.MaximumLength = (USHORT) (wide.size() * sizeof (wchar_t));
    objectName.Buffer = wide.data();
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes (&attributes, &objectName, OBJ_CASE_INSENSITIVE, parent, const_cast<void*> (securityDescriptor));
    IO_STATUS_BLOCK status {};
    HANDLE handle = nullptr;

    const auto result = createFile (&handle, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                                    disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);

    if (result < 0)
    {
        error = toWin32Error (result);
        return nullptr;
    }

    error = 0;
    return handle;
}
DWORD renameRelative (HANDLE entry, HANDLE targetFolder, const juce::String& name)
{
    // Windows' SetFileInformationByHandle takes a root directory too, but Wine's does not.
    using NtSetInformationFileFunction = LONG (NTAPI*) (HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
    static const auto setInformation = getNtFunction<NtSetInformationFileFunction> ("NtSetInformationFile");
    static const auto toWin32Error = getNtFunction<ToWin32ErrorFunction> ("RtlNtStatusToDosError");
    constexpr ULONG fileRenameInformation = 10;

    if (setInformation == nullptr || toWin32Error == nullptr || targetFolder == nullptr || ! DurableFiles::isPlainName (name) || name.length() > 255)
        return ERROR_INVALID_NAME;

    const std::wstring wideName (name.toWideCharPointer());
    const auto size = offsetof (FILE_RENAME_INFO, FileName) + (wideName.size() + 1) * sizeof (WCHAR);
    juce::HeapBlock<char> block (size, true);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*> (block.get());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = targetFolder;
    info->FileNameLength = (DWORD) (wideName.size() * sizeof (WCHAR));
    std::memcpy (info->FileName, wideName.c_str(), wideName.size() * sizeof (WCHAR));

    IO_STATUS_BLOCK status {};
    const auto result = setInformation (entry, &status, info, (ULONG) size, fileRenameInformation);
    return result < 0 ? toWin32Error (result) : 0;
}
#endif
