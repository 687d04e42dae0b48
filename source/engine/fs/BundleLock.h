// Exclusive use of one bundle by one run, through a lock no standard user can take or block.
#pragma once

#include "engine/fs/Folder.h"

namespace DurableFiles
{
    /**
        Exclusive use of one bundle. The lock is a file in a folder only the administrators (root)
        can enter, named after the install folder's identity, so that the same folder by any path
        gives the same lock and no standard user can hold it, plant it or link it:
        - Linux: an open-file-description lock on `/run/tw_installer/DEVICE-INODE.lock` (a run that
          is not root uses `$XDG_RUNTIME_DIR/tw_installer`); formats that share an install folder
          share the lock.
        - Windows: a file opened without sharing in `%ProgramFiles%\Tarnwick\Locks`, a folder whose
          access list lets SYSTEM and Administrators alone in, named
          `VOLUMESERIAL-FILEINDEX-BUNDLE.lock`.
        The system drops the lock when a process dies, so a dead copy never blocks.
    */
    class BundleLock final
    {
    public:
        enum class Outcome
        {
            acquired,
            busy,        // another copy held it for the whole wait
            cannotCreate // the folder cannot be opened, or the lock not taken there
        };

        BundleLock (const juce::File& installFolder, const juce::String& bundleName);

        /** The lock of a bundle in a folder the run holds open already. */
        BundleLock (const Folder& installFolder, const juce::String& bundleName);
        ~BundleLock();

        /** Tries until `wait` has passed. After cannotCreate, getLastSystemError names the cause. */
        Outcome acquire (juce::RelativeTime wait);

        /** The folder that holds the locks of this machine (of this account, when not root). */
        static juce::File getLockFolder();

        /** The lock file's name for a folder held open, e.g. "1c2d3e4f-0001000000002a5b-Morvane4.vst3.lock"
            on Windows, "2049-1835012.lock" on Linux; empty when the folder cannot tell its identity. */
        static juce::String getLockName (const Folder& installFolder, const juce::String& bundleName);

    private:
        Outcome tryOnce();
        void release();

        juce::String lockName;
        int openError = 0; // why the install folder or the lock folder could not be opened
        Folder lockFolder;
       #if JUCE_WINDOWS
        void* file = nullptr;
       #else
        int fd = -1;
        bool held = false;
       #endif

        JUCE_DECLARE_NON_COPYABLE (BundleLock)
    };
} // namespace DurableFiles
