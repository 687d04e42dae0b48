#include "engine/SafeRemoval.h"

#include "engine/fs/NtFiles.h"

#include <map>
#include <string>
#include <vector>

namespace
{
    struct Remover
    {
        const std::function<void (const juce::File&)>& beforeEntry;
        RemovalOutcome outcome;

        void resisted (const juce::File& path, int error) { outcome.add (path, error); }

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
            auto error = deleteByHandle (handle);

            // A read-only file cannot be deleted until that attribute is gone.
            if (error == ERROR_ACCESS_DENIED && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
            {
                FILE_BASIC_INFO basic {};
                basic.FileAttributes = (attributes & ~(DWORD) FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;

                if (SetFileInformationByHandle (handle, FileBasicInfo, &basic, sizeof (basic)))
                    error = deleteByHandle (handle) == 0 ? 0 : error;
            }

            SetLastError (error);
            return error == 0;
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
                if (depth >= RemovalOutcome::maximumDepth)
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
    };
} // namespace

RemovalOutcome removeTree (const DurableFiles::Folder& parent, const juce::String& name,
                           const std::function<void (const juce::File&)>& beforeEntry)
{
    Remover remover { beforeEntry, {} };

    if (! parent.isOpen())
        remover.resisted (parent.getChildFile (name), parent.getError());
    else
        remover.removeEntry (parent.getHandle(), name, parent.getChildFile (name), 0);

    return remover.outcome;
}

bool removeAtNextRestart (const juce::Array<juce::File>& files)
{
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
            known->second = onlyAdministratorsCanChange (folder);

        allScheduled = known->second && MoveFileExW (file.getFullPathName().toWideCharPointer(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) && allScheduled;
    }

    return allScheduled;
}
