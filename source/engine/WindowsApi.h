// <windows.h> for the program's Windows code, without the min/max macros and the rarely used parts,
// and the rule of who may change a file or folder.
#pragma once

#include <juce_core/juce_core.h>

#if JUCE_WINDOWS
 #ifndef WIN32_LEAN_AND_MEAN
  #define WIN32_LEAN_AND_MEAN
 #endif
 #ifndef NOMINMAX
  #define NOMINMAX
 #endif
 #include <windows.h>
 #include <winternl.h>
#endif

#if JUCE_WINDOWS
/** What a security descriptor is judged for. */
enum class AdministeredObject
{
    file,               // written to, appended to, deleted, renamed or re-permissioned
    folder,             // deleted, renamed or re-permissioned, or its entries deleted or renamed
    folderAndItsEntries // as a folder, and no new entries either
};

/** Whether a security descriptor (owner and access list) lets only administrators change the
    object in the ways `object` names: its owner is Administrators, SYSTEM or TrustedInstaller (an
    owner may always re-permission), and no entry grants such a right to another account. Adding
    files to a `folder` is allowed (ProgramData lets users do that). Under Wine, which keeps no
    descriptors and shows every file as owned by the one account that runs it, that account counts
    as an administrator. */
bool onlyAdministratorsCanChange (const void* securityDescriptor, AdministeredObject object);

/** The same, for the file or folder open as `handle`: its owner and access list read through it.
    (Named apart: a HANDLE and a security descriptor are both void pointers.) */
bool onlyAdministratorsCanChangeOpened (HANDLE handle, AdministeredObject object);

/** Whether only administrators can change `folder` (not even add entries) and every folder above
    it (not remove, rename or re-permission anything): what a path must be before SYSTEM follows
    it at boot. */
bool onlyAdministratorsCanChange (const juce::File& folder);

/** Whether this program runs under Wine (whose ntdll exports wine_get_version; Windows' own does
    not). Only for what Wine does differently, never to relax a check on Windows. */
bool isRunningUnderWine();
#endif
