#include "engine/fs/Folder.h"

#include "engine/fs/NtFiles.h"

#include <aclapi.h>
#include <sddl.h>

namespace DurableFiles
{
    namespace
    {
        constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        constexpr DWORD folderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
        constexpr DWORD childOptions = FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT;

        // SYSTEM and Administrators only, not inherited from above; what is made inside inherits it.
        constexpr const wchar_t* privateAccessList = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

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

        bool isReparsePoint (HANDLE handle)
        {
            BY_HANDLE_FILE_INFORMATION info {};
            return GetFileInformationByHandle (handle, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        }

        /** Whether the access list of the object open as `handle` is protected from inheritance and
            lets SYSTEM and Administrators alone in: every entry allows, and only one of the two. */
        bool hasPrivateAccessList (HANDLE handle)
        {
            PSECURITY_DESCRIPTOR descriptor = nullptr;
            PACL list = nullptr;

            if (GetSecurityInfo (handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS)
                return false;

            SECURITY_DESCRIPTOR_CONTROL control = 0;
            DWORD revision = 0;
            auto ok = list != nullptr && list->AceCount > 0 && GetSecurityDescriptorControl (descriptor, &control, &revision)
                      && (control & SE_DACL_PROTECTED) != 0;

            for (DWORD i = 0; ok && i < list->AceCount; ++i)
            {
                void* entry = nullptr;
                ok = GetAce (list, i, &entry) && static_cast<ACE_HEADER*> (entry)->AceType == ACCESS_ALLOWED_ACE_TYPE;

                if (ok)
                {
                    auto* sid = reinterpret_cast<PSID> (&static_cast<ACCESS_ALLOWED_ACE*> (entry)->SidStart);
                    ok = IsWellKnownSid (sid, WinLocalSystemSid) || IsWellKnownSid (sid, WinBuiltinAdministratorsSid);
                }
            }

            LocalFree (descriptor);
            return ok;
        }
    } // namespace

    Folder::~Folder()
    {
        if (handle != nullptr)
            CloseHandle (handle);
    }

    Folder& Folder::operator= (Folder&& other) noexcept
    {
        if (this != &other)
        {
            path = other.path;
            error = other.error;
            reachedThroughLink = other.reachedThroughLink;

            if (handle != nullptr)
                CloseHandle (handle);

            handle = std::exchange (other.handle, nullptr);
        }

        return *this;
    }

    bool Folder::isOpen() const
    {
        return handle != nullptr;
    }

    bool Folder::wasMissing() const
    {
        return handle == nullptr && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
    }

    Folder Folder::open (const juce::File& path, Hold hold)
    {
        Folder folder;
        folder.path = path;
        const auto share = hold == Hold::shared ? shareAll : (DWORD) (FILE_SHARE_READ | FILE_SHARE_WRITE);
        DWORD error = 0;

        // Looked at as itself first: a junction at the folder's own name is followed (the path is
        // the administrator's choice), but what it leads to is never taken for theirs.
        auto h = openPath (path, folderAccess, share, FILE_OPEN, FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT | FILE_OPEN_REPARSE_POINT, error);

        if (h != nullptr && isReparsePoint (h))
        {
            CloseHandle (h);
            folder.reachedThroughLink = true;
            h = openPath (path, folderAccess, share, FILE_OPEN, FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, error);
        }

        if (h != nullptr && ! isFileSystemFolder (h, error))
            CloseHandle (h);
        else
            folder.handle = h;

        folder.error = (int) error;
        return folder;
    }

    Folder Folder::makeChild (const juce::String& name, bool isPrivate) const
    {
        announceStep ("create folder", getChildFile (name));
        PSECURITY_DESCRIPTOR descriptor = nullptr;

        if (isPrivate)
            ConvertStringSecurityDescriptorToSecurityDescriptorW (privateAccessList, SDDL_REVISION_1, &descriptor, nullptr);

        DWORD failure = 0;
        const auto h = openRelative (handle, name, folderAccess | (isPrivate ? WRITE_DAC : 0), shareAll, FILE_OPEN_IF, childOptions, failure, descriptor);

        if (descriptor != nullptr)
            LocalFree (descriptor);

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
        const auto h = openRelative (handle, name, folderAccess, shareAll, FILE_OPEN, childOptions, openError);

        if (h != nullptr && isFileSystemFolder (h, openError))
            child.handle = h;
        else if (h != nullptr)
            CloseHandle (h);

        child.error = (int) openError;
        return child;
    }

    bool Folder::onlyAdministratorsCanChange() const
    {
        return handle != nullptr && ! reachedThroughLink && onlyAdministratorsCanChangeOpened (handle, AdministeredObject::folder);
    }

    bool Folder::makePrivate() const
    {
        if (handle == nullptr || reachedThroughLink)
            return false;

        // Wine keeps no access lists (it shows one made from the Unix mode bits): there the folder
        // is taken as it was made, and never narrowed again while another run may be using it.
        if (hasPrivateAccessList (handle) || isRunningUnderWine())
            return true;

        // One of ours made earlier with other permissions: narrowed through a handle of its own
        // that may change them, then read back.
        DWORD failure = 0;
        const auto writable = openRelative (handle, ".", WRITE_DAC | READ_CONTROL, shareAll, FILE_OPEN, FILE_DIRECTORY_FILE, failure);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        auto ok = writable != nullptr && ConvertStringSecurityDescriptorToSecurityDescriptorW (privateAccessList, SDDL_REVISION_1, &descriptor, nullptr);
        BOOL present = FALSE, defaulted = FALSE;
        PACL list = nullptr;
        ok = ok && GetSecurityDescriptorDacl (descriptor, &present, &list, &defaulted)
             && SetSecurityInfo (writable, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, list, nullptr) == ERROR_SUCCESS;

        if (descriptor != nullptr)
            LocalFree (descriptor);

        if (writable != nullptr)
            CloseHandle (writable);

        return ok && hasPrivateAccessList (handle);
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

    bool createFolder (const Folder& parent, const juce::String& name)
    {
        announceStep ("create folder", parent.getChildFile (name));
        DWORD error = 0;
        const auto h = openRelative (parent.getHandle(), name, FILE_LIST_DIRECTORY, shareAll, FILE_CREATE,
                                     FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, error);

        if (h == nullptr)
            return (SetLastError (error), false);

        CloseHandle (h);
        return true;
    }

    bool createFolder (const juce::File& folder)
    {
        announceStep ("create folder", folder);
        DWORD error = 0;
        const auto h = openPath (folder, FILE_LIST_DIRECTORY, shareAll, FILE_CREATE, FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, error);

        if (h == nullptr)
            return (SetLastError (error), false);

        CloseHandle (h);
        return true;
    }

    bool removeFile (const Folder& parent, const juce::String& name)
    {
        DWORD error = 0;
        const auto h = openRelative (parent.getHandle(), name, DELETE, shareAll, FILE_OPEN,
                                     FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT, error);

        if (h != nullptr)
        {
            error = deleteByHandle (h);
            CloseHandle (h);
        }

        return error == 0 ? true : (SetLastError (error), false);
    }
} // namespace DurableFiles

int renameEntry (const juce::File& source, const juce::File& target)
{
    // Without MOVEFILE_COPY_ALLOWED or REPLACE_EXISTING: a plain rename, or nothing; written
    // through, so that it is on the disk before anything that depends on it.
    if (MoveFileExW (source.getFullPathName().toWideCharPointer(), target.getFullPathName().toWideCharPointer(), MOVEFILE_WRITE_THROUGH))
        return 0;

    return (int) GetLastError();
}

int renameEntry (const DurableFiles::Folder& sourceFolder, const juce::String& sourceName,
                 const DurableFiles::Folder& targetFolder, const juce::String& targetName)
{
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
}
