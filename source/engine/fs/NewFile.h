// A file that did not exist before, written in one go and flushed to the disk.
#pragma once

#include "engine/fs/Folder.h"

namespace DurableFiles
{
    /** Who may read a new file besides its writer. */
    enum class Readers
    {
        asTheFolderSays, // the folder's inherited permissions (Linux: 0644)
        everyone         // everyone reads, only administrators (root) change it: 0644, or on
                         // Windows owned by Administrators with SYSTEM and Administrators only
                         // allowed to change it
    };

    class NewFile final
    {
    public:
        /** Creates the file; fails when anything (a link too) already has its name. */
        explicit NewFile (const juce::File& file);

        /** Creates the file `name` inside `parent`, as the other constructor does. */
        NewFile (const Folder& parent, const juce::String& name, Readers readers = Readers::asTheFolderSays);
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

    /** Writes `bytes` as the new file `name` inside `folder`, whole or not at all: a file of a
        fresh hidden name is written and flushed, then given the name only where nothing has it. */
    bool writeWholeNewFile (const Folder& folder, const juce::String& name, const juce::MemoryBlock& bytes, Readers readers);

    /** Flushes a file written by NewFile to the disk, with its size and times (on Linux; NewFile
        flushed it already on Windows). */
    bool flushFile (const juce::File& file);

    /** Flushes the file `name` inside `parent` as the other flushFile does; only a plain file is opened. */
    bool flushFile (const Folder& parent, const juce::String& name);

    /** Flushes a folder's entries to the disk (on Linux; on Windows each rename is written through). */
    bool flushFolder (const juce::File& folder);

    /** Flushes the entries of a held folder, as the other flushFolder does. */
    bool flushFolder (const Folder& folder);
} // namespace DurableFiles
