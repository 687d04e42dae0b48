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

    /** A name of one entry: never a path that could lead past the folder it is looked up in (nor,
        on Windows, to a stream of a file). Every name a held folder is asked for must be one. */
    bool isPlainName (const juce::String& name);

    /** Calls the step hook, if one is set. */
    void announceStep (const char* step, const juce::File& target);

    //==============================================================================
    /** A folder held open. A run reaches every child through a held folder and the child's name,
        so that nothing planted on the way (a link, a folder swapped for another while the run
        works) can lead it elsewhere: below the folder it started from, a link is never followed. */
    class Folder final
    {
    public:
        Folder() = default;
        ~Folder();
        Folder (Folder&& other) noexcept;
        Folder& operator= (Folder&& other) noexcept;

        /** Opens the folder at `path`. Links on the path are followed: that path is the
            administrator's choice (a plug-in folder moved to another disk and linked back). */
        static Folder open (const juce::File& path);

        /** Opens `path`, first making the folders of it that are missing, one level at a time from
            the nearest existing one; none is opened through a link. */
        static Folder openOrCreate (const juce::File& path);

        /** Opens the folder `name` inside this one, never through a link of that name. With
            `ownOnly`, a folder that another user owns is refused too (a stranger's folder put at
            a name this run has just made). */
        Folder openChild (const juce::String& name, bool ownOnly = false) const;

        bool isOpen() const;

        /** Why the open failed: the system's error code (errno, or GetLastError on Windows). */
        int getError() const { return error; }

        /** Whether the open failed only because nothing is there. */
        bool wasMissing() const;

        /** The path it was opened at, for messages and the step hook: the run never goes by it. */
        const juce::File& getPath() const { return path; }

        juce::File getChildFile (const juce::String& name) const { return path.getChildFile (name); }

       #if JUCE_WINDOWS
        void* getHandle() const { return handle; }
       #else
        int getDescriptor() const { return fd; }
       #endif

    private:
        /** Makes the folder `name` in this one (or takes the folder already there) and opens it. */
        Folder makeChild (const juce::String& name) const;

        juce::File path;
        int error = 0;
       #if JUCE_WINDOWS
        void* handle = nullptr;
       #else
        int fd = -1;
       #endif

        JUCE_DECLARE_NON_COPYABLE (Folder)
    };

    enum class EntryKind
    {
        missing,
        folder,
        file,
        link,  // a symbolic link, or on Windows any reparse point
        other  // a FIFO, socket or device
    };

    /** What `name` is inside `folder`, a link taken as itself; `size` gets a file's size. */
    EntryKind getEntryKind (const Folder& folder, const juce::String& name, juce::int64* size = nullptr);

    /** The names inside `folder`, "." and ".." left out, read through its handle. False when the
        folder cannot be read. */
    bool listNames (const Folder& folder, juce::StringArray& names);

    /** Makes the folder `name` inside `parent`; an existing one (a link too) is a failure. */
    bool createFolder (const Folder& parent, const juce::String& name);

    /** Makes one folder whose parent must already exist; an existing one is a failure too. */
    bool createFolder (const juce::File& folder);

    /** A file that did not exist before, written in one go and flushed to the disk. */
    class NewFile final
    {
    public:
        /** Creates the file; fails when anything (a link too) already has its name. */
        explicit NewFile (const juce::File& file);

        /** Creates the file `name` inside `parent`, as the other constructor does. */
        NewFile (const Folder& parent, const juce::String& name);
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

    /** Flushes the file `name` inside `parent` as the other flushFile does; only a plain file is opened. */
    bool flushFile (const Folder& parent, const juce::String& name);

    /** Flushes a folder's entries to the disk (on Linux; on Windows each rename is written through). */
    bool flushFolder (const juce::File& folder);

    /** Flushes the entries of a held folder, as the other flushFolder does. */
    bool flushFolder (const Folder& folder);

    //==============================================================================
    /** Exclusive use of one bundle, with no lock file that could be removed, replaced or linked.
        On Linux a run holds an exclusive `flock` on its own open of the install folder itself, so
        formats that share a folder share the lock. On Windows it owns a named mutex in the
        `Global\` namespace, named from the install folder's volume serial number and file index
        and the bundle name: the same folder by any path gives the same name, and a stranger who
        holds that name can only make the run fail as busy. The system drops the lock when a
        process dies, so a dead copy never blocks. */
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

       #if JUCE_WINDOWS
        /** The mutex's name for a folder held open, e.g.
            "Global\tw_installer-1c2d3e4f-0001000000002a5b-Morvane4.vst3"; empty when the folder
            cannot tell its identity. */
        static juce::String getMutexName (const Folder& installFolder, const juce::String& bundleName);
       #endif

    private:
        Outcome tryOnce();
        void release();

       #if JUCE_WINDOWS
        juce::String mutexName;
        int openError = 0;
        void* mutex = nullptr;
        bool held = false;
       #else
        int fd = -1;        // this lock's own open of the install folder
        int openError = 0;  // why that open failed
        bool held = false;
       #endif

        JUCE_DECLARE_NON_COPYABLE (BundleLock)
    };
} // namespace DurableFiles
