// A file opened for reading without ever waiting on someone else, and only if it is a plain file.
#pragma once

#include "engine/fs/Folder.h"

#include <cstdint>

namespace DurableFiles
{
    /**
        A file read by an elevated run may be anyone's: it is opened without waiting (a FIFO, a
        device, or on Windows a file whose opportunistic lock another user holds and never lets
        go), at the identification level only (a pipe reached through a planted link cannot act as
        this process), and read only when what was opened is a plain file on a disk.
    */
    class ReadableFile final
    {
    public:
        enum class Status
        {
            opened,
            missing,
            notAFile, // a link (when not followed), folder, FIFO, device or pipe
            inUse,    // another program holds it in a way that would make the open wait
            unreadable
        };

        ReadableFile() = default;
        ~ReadableFile();
        ReadableFile (ReadableFile&& other) noexcept;
        ReadableFile& operator= (ReadableFile&& other) noexcept;

        /** Opens the file at `path`, following links on the way (the path is the caller's choice). */
        static ReadableFile open (const juce::File& path);

        /** Opens the file `name` inside `folder`; a link of that name is never followed. */
        static ReadableFile openIn (const Folder& folder, const juce::String& name);

        Status getStatus() const { return status; }
        bool isOpen() const { return status == Status::opened; }
        juce::int64 getSize() const { return size; }

        /** Reads up to `wanted` bytes at the current place: the count read, 0 at the end, -1 on failure. */
        juce::int64 read (void* into, size_t wanted);

        /** Reads exactly `wanted` bytes at `offset`, or fails. */
        bool readAt (std::uint64_t offset, void* into, size_t wanted);

        /** Whether only administrators (root) can change the file: its owner and access list
            (mode) read through the handle it is read through. */
        bool onlyAdministratorsCanChange() const;

    private:
        Status status = Status::unreadable;
        juce::int64 size = 0;
       #if JUCE_WINDOWS
        void* handle = nullptr;
       #else
        int fd = -1;
       #endif

        JUCE_DECLARE_NON_COPYABLE (ReadableFile)
    };
} // namespace DurableFiles
