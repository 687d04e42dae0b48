// Who may change a file or folder on Windows, as an elevated run must know before it trusts one.
#include "engine/WindowsApi.h"

#if JUCE_WINDOWS
 #include <aclapi.h>
 #include <sddl.h>

#include <vector>

namespace
{
    //==============================================================================
    bool isAdministrativeAccount (PSID sid)
    {
        if (sid == nullptr || ! IsValidSid (sid))
            return false;

        if (IsWellKnownSid (sid, WinBuiltinAdministratorsSid) || IsWellKnownSid (sid, WinLocalSystemSid))
            return true;

        // NT SERVICE\TrustedInstaller, which owns the system's own files.
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        PSID trustedInstaller = nullptr;

        if (! AllocateAndInitializeSid (&nt, 6, 80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464, 0, 0, &trustedInstaller))
            return false;

        const auto same = EqualSid (sid, trustedInstaller) != 0;
        FreeSid (trustedInstaller);
        return same;
    }

    /** Wine keeps no security descriptors of files: it shows each as owned by the one account that
        runs every program, with an access list made from the Unix mode bits. There that account
        is the administrator; what others may do still shows in the list. */
    bool isWinesOneAccount (PSID sid)
    {
        // The account's SID, copied out of the token's answer (which points into itself).
        static const auto accountUnderWine = []() -> std::vector<BYTE>
        {
            HANDLE token = nullptr;
            std::vector<BYTE> answer (SECURITY_MAX_SID_SIZE + sizeof (TOKEN_USER));
            std::vector<BYTE> account;
            DWORD size = 0;

            if (! isRunningUnderWine() || ! OpenProcessToken (GetCurrentProcess(), TOKEN_QUERY, &token))
                return {};

            if (GetTokenInformation (token, TokenUser, answer.data(), (DWORD) answer.size(), &size))
            {
                const auto user = reinterpret_cast<const TOKEN_USER*> (answer.data())->User.Sid;
                account.resize (GetLengthSid (user));
                CopySid ((DWORD) account.size(), account.data(), user);
            }

            CloseHandle (token);
            return account;
        }();

        return ! accountUnderWine.empty() && EqualSid (sid, const_cast<BYTE*> (accountUnderWine.data()));
    }
} // namespace

bool onlyAdministratorsCanChange (const void* securityDescriptor, AdministeredObject object)
{
    const auto descriptor = const_cast<PSECURITY_DESCRIPTOR> (securityDescriptor);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE, present = FALSE;

    if (! GetSecurityDescriptorOwner (descriptor, &owner, &defaulted) || ! GetSecurityDescriptorDacl (descriptor, &present, &dacl, &defaulted))
        return false;

    const auto isAdministrative = [] (PSID sid) { return isAdministrativeAccount (sid) || isWinesOneAccount (sid); };
    constexpr DWORD folderRights = DELETE | WRITE_DAC | WRITE_OWNER | FILE_DELETE_CHILD;
    const DWORD changing = object == AdministeredObject::file   ? (FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER)
                         : object == AdministeredObject::folder ? folderRights
                                                                : (folderRights | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY);
    GENERIC_MAPPING mapping { FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS };

    // An owner may always re-permission; no list at all lets everyone do everything.
    if (! isAdministrative (owner) || ! present || dacl == nullptr)
        return false;

    for (DWORD i = 0; i < dacl->AceCount; ++i)
    {
        ACE_HEADER* header = nullptr;

        if (! GetAce (dacl, i, reinterpret_cast<void**> (&header)))
            return false;

        // Entries that only pass on to new children say nothing about this object; the callback
        // entry shares the plain one's layout; denials are not weighed, which can only make a
        // list look less strict than it is.
        if ((header->AceFlags & INHERIT_ONLY_ACE) != 0
            || (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE))
            continue;

        auto* const ace = reinterpret_cast<ACCESS_ALLOWED_ACE*> (header);
        auto mask = ace->Mask;
        MapGenericMask (&mask, &mapping);
        const auto sid = static_cast<PSID> (&ace->SidStart);

        // OWNER RIGHTS stands for the owner, already checked; CREATOR OWNER matches no one here.
        const auto standsForTheOwner = IsWellKnownSid (sid, WinCreatorOwnerRightsSid) || IsWellKnownSid (sid, WinCreatorOwnerSid);

        if ((mask & changing) != 0 && ! standsForTheOwner && ! isAdministrative (sid))
            return false;
    }

    return true;
}

bool onlyAdministratorsCanChangeOpened (HANDLE handle, AdministeredObject object)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;

    if (GetSecurityInfo (handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                         nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;

    const auto only = onlyAdministratorsCanChange (descriptor, object);
    LocalFree (descriptor);
    return only;
}

bool onlyAdministratorsCanChange (const juce::File& folder, int foldersTakingNoEntries)
{
    // The folders whose entries this program removes may gain no entries either: one removed
    // later could come back as a junction. Above them, entries that exist can only be taken away
    // or renamed.
    for (auto f = folder;; f = f.getParentDirectory())
    {
        const auto object = foldersTakingNoEntries-- > 0 ? AdministeredObject::folderAndItsEntries : AdministeredObject::folder;
        PSECURITY_DESCRIPTOR descriptor = nullptr;

        if (GetNamedSecurityInfoW (f.getFullPathName().toWideCharPointer(), SE_FILE_OBJECT,
                                   OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                   nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
            return false;

        const auto only = onlyAdministratorsCanChange (descriptor, object);
        LocalFree (descriptor);

        if (! only)
            return false;

        if (f.getParentDirectory() == f)
            return true;
    }
}

bool isRunningUnderWine()
{
    static const auto underWine = []
    {
        const auto ntdll = GetModuleHandleW (L"ntdll.dll");
        return ntdll != nullptr && GetProcAddress (ntdll, "wine_get_version") != nullptr;
    }();

    return underWine;
}
#endif
