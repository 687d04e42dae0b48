// A folder held open, and the names inside it reached only through it.
#pragma once

#include "engine/fs/StepHook.h"

namespace DurableFiles
{
    /** A name of one entry: never a path that could lead past the folder it is looked up in (nor,
        on Windows, to a stream of a file). Every name a held folder is asked for must be one. */
    bool isPlainName (const juce::String& name);

    //==============================================================================
    /** A folder held open. A run reaches every child through a held folder and the child's name,
        so that nothing planted on the way (a link, a folder swapped for another while the run
        works) can lead it elsewhere: below the folder it started from, a link is never followed. */
    class Folder final
    {
    public:
        /** How the folder is shared while it is held. */
        enum class Hold
        {
            shared,         // others may rename or delete it meanwhile (its entries stay ours)
            againstRenaming // on Windows no one may rename or delete it while it is held
        };

        Folder() = default;
        ~Folder();
        Folder (Folder&& other) noexcept;
        Folder& operator= (Folder&& other) noexcept;

        /** Opens the folder at `path`. Links on the path are followed: that path is the
            administrator's choice (a plug-in folder moved to another disk and linked back). */
        static Folder open (const juce::File& path, Hold hold = Hold::shared);

        /** Opens `path`, first making the folders of it that are missing, one level at a time from
            the nearest existing one; none is opened through a link. */
        static Folder openOrCreate (const juce::File& path);

        /** As openOrCreate, for a folder that is the administrators' own: the levels it makes
            can be entered by SYSTEM and Administrators only (on Linux by this account only), and
            an existing folder is taken only when it is already so, or can be made so. */
        static Folder openOrCreatePrivate (const juce::File& path);

        /** Opens the folder `name` inside this one, never through a link of that name. With
            `ownOnly`, a folder that another user owns is refused too (a stranger's folder put at
            a name this run has just made). */
        Folder openChild (const juce::String& name, bool ownOnly = false) const;

        bool isOpen() const;

        /** Why the open failed: the system's error code (errno, or GetLastError on Windows). */
        int getError() const { return error; }

        /** Whether the open failed only because nothing is there. */
        bool wasMissing() const;

        /** Whether only administrators (root) can delete, rename or re-permission the folder's
            entries: its owner and access list (mode) read through the handle. A folder reached
            through a link at its own name never counts. */
        bool onlyAdministratorsCanChange() const;

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
        Folder makeChild (const juce::String& name, bool isPrivate) const;

        static Folder openOrCreate (const juce::File& path, bool isPrivate);

        /** Whether the folder can be entered by SYSTEM and Administrators (this account) only, after
            narrowing its permissions where this account owns it. */
        bool makePrivate() const;

        juce::File path;
        int error = 0;
        bool reachedThroughLink = false;
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

    /** Renames an entry of a held folder into a held folder (the same one, or the install folder
        from the staging folder), announced as the step "rename"; the failure names why, e.g. a
        file in use or no permission (a FailureReason text). */
    juce::Result renameWithin (const Folder& sourceFolder, const juce::String& sourceName,
                               const Folder& targetFolder, const juce::String& targetName);

    /** Removes the file (or link) `name` inside `parent`, never what a link points to. */
    bool removeFile (const Folder& parent, const juce::String& name);
} // namespace DurableFiles

/** Renames `source` to `target`, which must not exist, without copying and without following a
    link at `source`. Returns 0, or the system's error code. */
int renameEntry (const juce::File& source, const juce::File& target);

/** Renames the entry `sourceName` of the held folder `sourceFolder` to `targetName` in
    `targetFolder` (the same or another folder of the same disk), as the other renameEntry does;
    both are reached through their folders, never by path. */
int renameEntry (const DurableFiles::Folder& sourceFolder, const juce::String& sourceName,
                 const DurableFiles::Folder& targetFolder, const juce::String& targetName);
