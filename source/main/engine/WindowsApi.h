// <windows.h> for the engine's Windows code, without the min/max macros and the rarely used parts,
// and the engine's one way of opening a name inside a folder held open.
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
/** Opens or creates the entry `name`, one plain name, inside the folder open as `parent`, through
    NtCreateFile with `parent` as the root directory: nothing on the way is looked up by path, and
    with FILE_OPEN_REPARSE_POINT in `options` a reparse point at the name is opened as itself.
    `disposition` and `options` are NtCreateFile's (FILE_OPEN, FILE_CREATE; FILE_DIRECTORY_FILE,
    ...); synchronous I/O is always asked for. Returns the handle, or nullptr with `error` set to
    the Win32 error code. */
HANDLE openRelative (HANDLE parent, const juce::String& name, DWORD access, DWORD share, DWORD disposition, DWORD options, DWORD& error);

/** Renames the entry open as `entry` (with DELETE access) to `name`, one plain name, inside the
    folder open as `targetFolder`, never replacing anything there: FileRenameInformation with a
    root directory. Returns 0, or the Win32 error code. */
DWORD renameRelative (HANDLE entry, HANDLE targetFolder, const juce::String& name);

/** Whether only Administrators, SYSTEM and TrustedInstaller can change `folder` and every folder
    above it (own it, add, remove or rename entries, change its permissions): what a path must be
    before SYSTEM follows it at boot. */
bool onlyAdministratorsCanChange (const juce::File& folder);
#endif
