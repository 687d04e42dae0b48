#include "engine/fs/SystemError.h"

#include "engine/FailureReason.h"
#include "engine/fs/Folder.h"
#include "engine/fs/NtFiles.h"

namespace
{
    /** Whether the entry `name` of `folder`, or a file below it, is open or loaded by someone else.
        Reparse points are not followed. */
    bool holdsAFileInUse (const DurableFiles::Folder& folder, const juce::String& name, int& budget)
    {
        if (--budget < 0)
            return false;

        const auto kind = DurableFiles::getEntryKind (folder, name);

        if (kind == DurableFiles::EntryKind::file)
        {
            // A file that is open without sharing, or loaded as a module, refuses to be opened for
            // writing with a sharing error.
            DWORD error = 0;
            const auto handle = openRelative (folder.getHandle(), name, GENERIC_READ | GENERIC_WRITE, 0, FILE_OPEN,
                                              FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, error);

            if (handle != nullptr)
                CloseHandle (handle);

            return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        }

        if (kind != DurableFiles::EntryKind::folder)
            return false;

        const auto child = folder.openChild (name);
        juce::StringArray names;

        if (! child.isOpen() || ! DurableFiles::listNames (child, names))
            return false;

        for (const auto& entry : names)
            if (holdsAFileInUse (child, entry, budget))
                return true;

        return false;
    }
} // namespace

int getLastSystemError()
{
    return (int) GetLastError();
}

bool isMissingError (int systemError)
{
    return systemError == ERROR_FILE_NOT_FOUND || systemError == ERROR_PATH_NOT_FOUND;
}

int accessDeniedError()
{
    return ERROR_ACCESS_DENIED;
}

const char* reasonForSystemError (int systemError, const char* otherwise)
{
    switch (systemError)
    {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
        case ERROR_OPERATION_ABORTED: // a call that waited on another program until the watchdog ended it
            return FailureReason::fileInUse;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
            return FailureReason::noPermission;
        case ERROR_WRITE_PROTECT:
            return FailureReason::readOnlyDisk;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return FailureReason::diskFull;
        default:
            return otherwise;
    }
}

const char* reasonForFailureOn (const juce::File& path, int systemError, const char* otherwise)
{
    if (systemError == ERROR_ACCESS_DENIED)
    {
        int budget = 10000;

        if (holdsAFileInUse (DurableFiles::Folder::open (path.getParentDirectory()), path.getFileName(), budget))
            return FailureReason::fileInUse;
    }

    return reasonForSystemError (systemError, otherwise);
}
