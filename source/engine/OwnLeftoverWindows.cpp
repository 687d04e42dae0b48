#include "engine/OwnLeftover.h"

#include "engine/fs/NtFiles.h"

#include <aclapi.h>

#include <vector>

namespace
{
    /** Whether `sid` is this process's account or the owner it gives what it creates (an elevated
        administrator's files belong to Administrators). */
    bool isThisAccount (PSID sid)
    {
        HANDLE token = nullptr;

        if (sid == nullptr || ! OpenProcessToken (GetCurrentProcess(), TOKEN_QUERY, &token))
            return false;

        auto same = false;

        for (const auto kind : { TokenUser, TokenOwner })
        {
            std::vector<BYTE> answer (SECURITY_MAX_SID_SIZE + sizeof (TOKEN_USER));
            DWORD size = 0;

            // TOKEN_USER and TOKEN_OWNER both begin with the SID's pointer.
            if (GetTokenInformation (token, kind, answer.data(), (DWORD) answer.size(), &size))
                same = same || EqualSid (sid, *reinterpret_cast<PSID*> (answer.data())) != 0;
        }

        CloseHandle (token);
        return same;
    }

    bool isOwnPlainFile (HANDLE file)
    {
        BY_HANDLE_FILE_INFORMATION info {};
        constexpr DWORD notAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;

        if (GetFileType (file) != FILE_TYPE_DISK || ! GetFileInformationByHandle (file, &info)
            || (info.dwFileAttributes & notAFile) != 0 || info.nNumberOfLinks != 1)
            return false;

        PSID owner = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;

        if (GetSecurityInfo (file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
            return false;

        const auto own = isThisAccount (owner);
        LocalFree (descriptor);
        return own;
    }
} // namespace

bool removeOwnPlainFile (const juce::File& folder, const juce::String& name)
{
    const auto folderHandle = CreateFileW (folder.getFullPathName().toWideCharPointer(), FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_BACKUP_SEMANTICS | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);

    if (folderHandle == INVALID_HANDLE_VALUE)
        return false;

    // The entry itself, never what a reparse point at its name leads to; checked and deleted
    // through this one handle, so no other file can take its place in between.
    DWORD error = 0;
    const auto file = openRelative (folderHandle, name, DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                    FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, error);
    CloseHandle (folderHandle);

    if (file == nullptr)
        return false;

    FILE_DISPOSITION_INFO disposition { TRUE };
    const auto removed = isOwnPlainFile (file) && SetFileInformationByHandle (file, FileDispositionInfo, &disposition, sizeof (disposition));
    CloseHandle (file);
    return removed;
}
