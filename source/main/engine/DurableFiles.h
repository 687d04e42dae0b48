// The file-system steps of an install, each one done plainly and flushed where it matters, and the
// lock that keeps two copies of the installer from working on the same bundle at once.
#pragma once

#include <juce_core/juce_core.h>

#include <functional>

namespace DurableFiles
{
    /** Called before each file-system step with the step's name ("create folder", "write file",
        "flush folder", "rename", "remove") and the path it acts on. Tests use it to stop a run
        at a chosen step; the program sets none. The workers of a run call it at once from their
        threads, so it must be safe for that; setting a new one while they work is safe. */
    using StepHook = std::function<void (const char* step, const juce::File& target)>;

    void setStepHook (StepHook hook);

    /** Calls the step hook, if one is set. */
    void announceStep (const char* step, const juce::File& target);

    /** Makes one folder whose parent must already exist; an existing one is a failure too. */
    bool createFolder (const juce::File& folder);

    /** A file that did not exist before, written in one go and flushed to the disk. */
    class NewFile final
    {
    public:
        /** Creates the file; fails when anything (a link too) already has its name. */
        explicit NewFile (const juce::File& file);
        ~NewFile();

        bool isOpen() const;
        bool write (const void* data, size_t size);

        /** Gives the file `time` as its modification and access time (and creation time where the
            system keeps one). On Windows it then flushes the file to the disk; on Linux its writing
            to the disk has been started, and flushFile waits for it, so that the files of a bundle
            reach the disk together. */
        bool finish (juce::Time time);

    private:
       #if JUCE_WINDOWS
        void* handle = nullptr;
       #else
        int fd = -1;
        juce::int64 writtenBefore = 0; // bytes whose writing to the disk has been started
       #endif

        JUCE_DECLARE_NON_COPYABLE (NewFile)
    };

    /** Flushes a file written by NewFile to the disk, with its size and times (on Linux; NewFile
        flushed it already on Windows). */
    bool flushFile (const juce::File& file);

    /** Flushes a folder's entries to the disk (on Linux; on Windows each rename is written through). */
    bool flushFolder (const juce::File& folder);

    //==============================================================================
    /** Exclusive use of one bundle, held through a hidden lock file beside it that the lock
        removes again. The system drops the lock when a process dies, so a dead copy never blocks. */
    class BundleLock final
    {
    public:
        enum class Outcome
        {
            acquired,
            busy,        // another copy held it for the whole wait
            cannotCreate // the lock file cannot be made in that folder
        };

        BundleLock (const juce::File& installFolder, const juce::String& bundleName);
        ~BundleLock();

        /** Tries until `wait` has passed. */
        Outcome acquire (juce::RelativeTime wait);

        /** "." + bundle name + ".lock" */
        static juce::String getLockFileName (const juce::String& bundleName);

    private:
        Outcome tryOnce();
        void release();

        juce::File lockFile;
       #if JUCE_WINDOWS
        void* handle = nullptr;
       #else
        int fd = -1;
       #endif

        JUCE_DECLARE_NON_COPYABLE (BundleLock)
    };
} // namespace DurableFiles
