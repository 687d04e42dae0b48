// Windows: the one way the engine opens a name, and the watchdog of calls that may wait on others.
#pragma once

#include "engine/WindowsApi.h"

#if JUCE_WINDOWS
/** Opens or creates the entry `name`, one plain name, inside the folder open as `parent`, through
    NtCreateFile with `parent` as the root directory: nothing on the way is looked up by path, and
    with FILE_OPEN_REPARSE_POINT in `options` a reparse point at the name is opened as itself.
    `disposition` and `options` are NtCreateFile's (FILE_OPEN, FILE_CREATE; FILE_DIRECTORY_FILE,
    ...); synchronous I/O is always asked for, at the identification level only. A new entry gets
    `securityDescriptor` when one is given.

    No open ever waits for another program: a file on which another user holds an opportunistic
    lock completes at once (FILE_COMPLETE_IF_OPLOCKED); its handle is closed unused and the open
    fails with ERROR_SHARING_VIOLATION, as for a file in use. Returns the handle, or nullptr with
    `error` set to the Win32 error code. */
HANDLE openRelative (HANDLE parent, const juce::String& name, DWORD access, DWORD share, DWORD disposition, DWORD options, DWORD& error,
                     const void* securityDescriptor = nullptr);

/** Opens `path`, a full drive or UNC path, as openRelative opens a name (through NtCreateFile,
    never waiting on an oplock). Links on the path are followed unless `options` holds
    FILE_OPEN_REPARSE_POINT, which keeps only the last one. */
HANDLE openPath (const juce::File& path, DWORD access, DWORD share, DWORD disposition, DWORD options, DWORD& error);

/** Renames the entry open as `entry` (with DELETE access) to `name`, one plain name, inside the
    folder open as `targetFolder`, never replacing anything there: FileRenameInformation with a
    root directory. Bounded by an IoWatchdog. Returns 0, or the Win32 error code. */
DWORD renameRelative (HANDLE entry, HANDLE targetFolder, const juce::String& name);

/** Marks the entry open as `entry` (with DELETE access) for deletion when its last handle
    closes. Bounded by an IoWatchdog. Returns 0, or the Win32 error code. */
DWORD deleteByHandle (HANDLE entry);

/**
    While one lives, a synchronous call of this thread that waits longer than `limit` on another
    program (an oplock break that is never acknowledged, a pipe that never answers) is cancelled
    (CancelSynchronousIo) and fails with ERROR_OPERATION_ABORTED.
*/
class IoWatchdog final
{
public:
    explicit IoWatchdog (juce::RelativeTime limit = juce::RelativeTime::seconds (10.0));
    ~IoWatchdog();

    /** Whether the call it guarded was cancelled. */
    bool fired() const;

private:
    struct Pimpl;
    std::unique_ptr<Pimpl> pimpl;

    JUCE_DECLARE_NON_COPYABLE (IoWatchdog)
};
#endif
