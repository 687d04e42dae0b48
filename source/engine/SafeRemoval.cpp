#include "engine/SafeRemoval.h"

#include "engine/FailureReason.h"
#include "engine/RestartChain.h"
#include "engine/WindowsApi.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#if ! JUCE_WINDOWS
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{
    // Deeper than any bundle; past it a folder is left alone rather than holding ever more handles.
    constexpr int maximumDepth = 128;

    struct Remover
    {
        const std::function<void (const juce::File&)>& beforeEntry;
        RemovalOutcome outcome;

        void resisted (const juce::File& path, int error)
        {
            outcome.resisted.add (path);

            if (outcome.firstError == 0)
                outcome.firstError = error;
        }

#if JUCE_WINDOWS
        /** Entries of the folder open as `folder`, read through that handle. */
        static std::vector<std::wstring> listFolder (HANDLE folder)
        {
            std::vector<std::wstring> names;
            alignas (8) char buffer[16 * 1024];

            while (GetFileInformationByHandleEx (folder, FileIdBothDirectoryInfo, buffer, sizeof (buffer)))
            {
                for (auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*> (buffer);;
                     info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*> (reinterpret_cast<const char*> (info) + info->NextEntryOffset))
                {
                    std::wstring name (info->FileName, info->FileNameLength / sizeof (WCHAR));

                    if (name != L"." && name != L"..")
                        names.push_back (std::move (name));

                    if (info->NextEntryOffset == 0)
                        break;
                }
            }

            return names;
        }

        static bool markForDeletion (HANDLE handle, DWORD attributes)
        {
            FILE_DISPOSITION_INFO disposition { TRUE };

            if (SetFileInformationByHandle (handle, FileDispositionInfo, &disposition, sizeof (disposition)))
                return true;

            // A read-only file cannot be deleted until that attribute is gone.
            if (GetLastError() != ERROR_ACCESS_DENIED || (attributes & FILE_ATTRIBUTE_READONLY) == 0)
                return false;

            const auto error = GetLastError();
            FILE_BASIC_INFO basic {};
            basic.FileAttributes = (attributes & ~(DWORD) FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;

            if (SetFileInformationByHandle (handle, FileBasicInfo, &basic, sizeof (basic)) && SetFileInformationByHandle (handle, FileDispositionInfo, &disposition, sizeof (disposition)))
                return true;

            SetLastError (error);
            return false;
        }

        void removeEntry (HANDLE parent, const juce::String& name, const juce::File& path, int depth)
        {
            if (beforeEntry)
                beforeEntry (path);

            // The entry itself, reached through its folder's handle, never what a reparse point
            // leads to. No delete sharing: while this handle is open nobody can rename or remove a
            // folder, so the entries below it stay its own.
            DWORD error = 0;
            const auto handle = openRelative (parent, name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | FILE_LIST_DIRECTORY,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
                                              FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT, error);

            if (handle == nullptr)
            {
                if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
                    resisted (path, (int) error);

                return;
            }

            BY_HANDLE_FILE_INFORMATION info {};

            if (! GetFileInformationByHandle (handle, &info))
            {
                resisted (path, (int) GetLastError());
                CloseHandle (handle);
                return;
            }

            // Wine shows a Unix symbolic link as a reparse point by its path, yet opens what it leads
            // to: such an entry is never entered, only removed by its path if Wine lets it go.
            // Windows itself shows a reparse point through the handle; there a path that reads
            // otherwise was swapped since the open, and is never followed.
            const auto pathAttributes = isRunningUnderWine() ? GetFileAttributesW (path.getFullPathName().toWideCharPointer())
                                                             : INVALID_FILE_ATTRIBUTES;

            if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && pathAttributes != INVALID_FILE_ATTRIBUTES && (pathAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            {
                CloseHandle (handle);
                const auto* fullPath = path.getFullPathName().toWideCharPointer();

                if (! ((pathAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryW (fullPath) : DeleteFileW (fullPath)))
                    resisted (path, (int) GetLastError());

                return;
            }

            const auto isFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;

            if (isFolder)
            {
                if (depth >= maximumDepth)
                {
                    resisted (path, ERROR_CANT_RESOLVE_FILENAME);
                    CloseHandle (handle);
                    return;
                }

                for (const auto& child : listFolder (handle))
                    removeEntry (handle, juce::String (child.c_str()), path.getChildFile (juce::String (child.c_str())), depth + 1);
            }

            if (! markForDeletion (handle, info.dwFileAttributes))
                resisted (path, (int) GetLastError());

            CloseHandle (handle); // the entry goes now
        }
#else
        void removeEntry (int parent, const std::string& name, const juce::File& path, int depth)
        {
            if (beforeEntry)
                beforeEntry (path);

            // O_NOFOLLOW: a link in the folder's place fails here with ELOOP and is unlinked below.
            const auto folder = openat (parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);

            if (folder < 0)
            {
                if (errno == ENOTDIR || errno == ELOOP)
                    unlinkEntry (parent, name, path, 0);
                else if (errno != ENOENT)
                    resisted (path, errno);

                return;
            }

            if (depth >= maximumDepth)
            {
                resisted (path, ELOOP);
                close (folder);
                return;
            }

            for (const auto& child : listFolder (folder, path))
                removeEntry (folder, child, path.getChildFile (juce::String::fromUTF8 (child.c_str())), depth + 1);

            close (folder);
            unlinkEntry (parent, name, path, AT_REMOVEDIR);
        }

        void unlinkEntry (int parent, const std::string& name, const juce::File& path, int flags)
        {
            if (unlinkat (parent, name.c_str(), flags) == 0 || errno == ENOENT)
                return;

            // What stands there now is no longer the folder that was emptied (it was swapped for a
            // file or link while this ran): that goes as the file or link it is.
            if (flags == AT_REMOVEDIR && errno == ENOTDIR && unlinkat (parent, name.c_str(), 0) == 0)
                return;

            resisted (path, errno);
        }

        /** Entries of the folder open as `folder`, read through a copy of that handle. */
        std::vector<std::string> listFolder (int folder, const juce::File& path)
        {
            std::vector<std::string> names;
            const auto copy = dup (folder);
            auto* stream = copy >= 0 ? fdopendir (copy) : nullptr;

            if (stream == nullptr)
            {
                resisted (path, errno);

                if (copy >= 0)
                    close (copy);

                return names;
            }

            while (const auto* entry = readdir (stream))
                if (std::strcmp (entry->d_name, ".") != 0 && std::strcmp (entry->d_name, "..") != 0)
                    names.emplace_back (entry->d_name);

            closedir (stream);
            return names;
        }
#endif
    };

#if JUCE_WINDOWS
    /** Whether a file at or below `path` is open or loaded by someone else. Reparse points are not followed. */
    bool holdsAFileInUse (const juce::File& path, int& budget)
    {
        if (--budget < 0)
            return false;

        const auto attributes = GetFileAttributesW (path.getFullPathName().toWideCharPointer());

        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return false;

        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        {
            // A file that is open without sharing, or loaded as a module, refuses to be opened for
            // writing with a sharing error.
            const auto handle = CreateFileW (path.getFullPathName().toWideCharPointer(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                             nullptr);

            if (handle != INVALID_HANDLE_VALUE)
            {
                CloseHandle (handle);
                return false;
            }

            const auto error = GetLastError();
            return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        }

        WIN32_FIND_DATAW found;
        const auto search = FindFirstFileW ((path.getFullPathName() + "\\*").toWideCharPointer(), &found);

        if (search == INVALID_HANDLE_VALUE)
            return false;

        auto inUse = false;

        do
        {
            const juce::String name (found.cFileName);

            if (name != "." && name != "..")
                inUse = holdsAFileInUse (path.getChildFile (name), budget);
        } while (! inUse && FindNextFileW (search, &found));

        FindClose (search);
        return inUse;
    }
#endif
} // namespace

//==============================================================================
RemovalOutcome removeTree (const juce::File& path, const std::function<void (const juce::File&)>& beforeEntry)
{
    const auto parent = DurableFiles::Folder::open (path.getParentDirectory());

    // Nothing there is nothing to remove.
    if (parent.wasMissing())
        return {};

    return removeTree (parent, path.getFileName(), beforeEntry);
}

RemovalOutcome removeTree (const DurableFiles::Folder& parent, const juce::String& name,
                           const std::function<void (const juce::File&)>& beforeEntry)
{
    Remover remover { beforeEntry, {} };

    if (! parent.isOpen())
        remover.resisted (parent.getChildFile (name), parent.getError());
#if JUCE_WINDOWS
    else
        remover.removeEntry (parent.getHandle(), name, parent.getChildFile (name), 0);
#else
    else if (! DurableFiles::isPlainName (name))
        remover.resisted (parent.getChildFile (name), EINVAL);
    else
        remover.removeEntry (parent.getDescriptor(), name.toStdString(), parent.getChildFile (name), 0);
#endif

    return remover.outcome;
}

namespace
{
    /** What resisted removal now is scheduled for the next restart, where that is safe. */
    RemovalOutcome leavingTheRestForTheRestart (RemovalOutcome outcome, const juce::File& removedFrom)
    {
        if (! outcome.wasOk())
            outcome.leftForRestart = removeAtNextRestart (outcome.resisted, removedFrom);

        return outcome;
    }
} // namespace

RemovalOutcome removeTreeNowOrAtRestart (const DurableFiles::Folder& parent, const juce::String& name)
{
    return leavingTheRestForTheRestart (removeTree (parent, name), parent.getPath());
}

RemovalOutcome removeTreeNowOrAtRestart (const juce::File& path)
{
    return leavingTheRestForTheRestart (removeTree (path), path.getParentDirectory());
}

bool removeAtNextRestart (const juce::Array<juce::File>& files, const juce::File& removedFrom)
{
#if JUCE_WINDOWS
    auto allScheduled = true;

    // At boot SYSTEM removes them by their paths: only where no one else can change a folder on
    // the way, so that no one can put a junction there first. Elsewhere they stay under their
    // hidden names, and the next run removes them.
    // Many files share a folder: each folder is judged once.
    std::map<juce::String, bool> safeFolders;

    for (const auto& file : files)
    {
        const auto folder = file.getParentDirectory();
        const auto [known, isNew] = safeFolders.try_emplace (folder.getFullPathName(), false);

        if (isNew)
            known->second = onlyAdministratorsCanChange (folder, countFoldersTakingNoEntries (folder, removedFrom == juce::File() ? folder : removedFrom));

        allScheduled = known->second && MoveFileExW (file.getFullPathName().toWideCharPointer(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) && allScheduled;
    }

    return allScheduled;
#else
    juce::ignoreUnused (files, removedFrom);
    return false;
#endif
}

int renameEntry (const juce::File& source, const juce::File& target)
{
#if JUCE_WINDOWS
    // Without MOVEFILE_COPY_ALLOWED or REPLACE_EXISTING: a plain rename, or nothing; written
    // through, so that it is on the disk before anything that depends on it.
    if (MoveFileExW (source.getFullPathName().toWideCharPointer(), target.getFullPathName().toWideCharPointer(), MOVEFILE_WRITE_THROUGH))
        return 0;

    return (int) GetLastError();
#else
    const auto* from = source.getFullPathName().toRawUTF8();
    const auto* to = target.getFullPathName().toRawUTF8();

    // A plain rename() would replace a file or an empty folder at the target.
#if JUCE_LINUX
    if (renameat2 (AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;

    if (errno != EINVAL)
        return errno;
#endif

    struct stat existing;

    if (lstat (to, &existing) == 0)
        return EEXIST;

    return rename (from, to) == 0 ? 0 : errno;
#endif
}

int renameEntry (const DurableFiles::Folder& sourceFolder, const juce::String& sourceName,
                 const DurableFiles::Folder& targetFolder, const juce::String& targetName)
{
#if JUCE_WINDOWS
    // The entry itself, opened through its folder; renamed by handle into the target folder's
    // handle, never replacing anything there.
    DWORD error = 0;
    const auto handle = openRelative (sourceFolder.getHandle(), sourceName, DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                      FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT, error);

    if (handle == nullptr)
        return (int) error;

    error = renameRelative (handle, targetFolder.getHandle(), targetName);
    CloseHandle (handle);
    return (int) error;
#else
    if (! DurableFiles::isPlainName (sourceName) || ! DurableFiles::isPlainName (targetName))
        return EINVAL;

    const auto from = sourceFolder.getDescriptor();
    const auto to = targetFolder.getDescriptor();

#if JUCE_LINUX
    if (renameat2 (from, sourceName.toRawUTF8(), to, targetName.toRawUTF8(), RENAME_NOREPLACE) == 0)
        return 0;

    if (errno != EINVAL)
        return errno;
#endif

    struct stat existing;

    if (fstatat (to, targetName.toRawUTF8(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;

    return renameat (from, sourceName.toRawUTF8(), to, targetName.toRawUTF8()) == 0 ? 0 : errno;
#endif
}

int getLastSystemError()
{
#if JUCE_WINDOWS
    return (int) GetLastError();
#else
    return errno;
#endif
}

const char* reasonForSystemError (int systemError, const char* otherwise)
{
    switch (systemError)
    {
#if JUCE_WINDOWS
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
            return FailureReason::fileInUse;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
            return FailureReason::noPermission;
        case ERROR_WRITE_PROTECT:
            return FailureReason::readOnlyDisk;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return FailureReason::diskFull;
#else
        case EBUSY:
        case ETXTBSY:
            return FailureReason::fileInUse;
        case EACCES:
        case EPERM:
            return FailureReason::noPermission;
        case EROFS:
            return FailureReason::readOnlyDisk;
        case ENOSPC:
        case EDQUOT:
            return FailureReason::diskFull;
#endif
        default:
            return otherwise;
    }
}

const char* reasonForFailureOn (const juce::File& path, int systemError, const char* otherwise)
{
#if JUCE_WINDOWS
    if (systemError == ERROR_ACCESS_DENIED)
    {
        int budget = 10000;

        if (holdsAFileInUse (path, budget))
            return FailureReason::fileInUse;
    }
#else
    juce::ignoreUnused (path);
#endif

    return reasonForSystemError (systemError, otherwise);
}
