// A file that is only ever appended to (the record --log keeps), reached along a path that nothing
// planted on it can bend elsewhere.
#pragma once

#include <juce_core/juce_core.h>

#include <deque>
#include <memory>

namespace DurableFiles
{
    class AppendFile final
    {
    public:
        /** Opens `file` for appending, or gives nullptr. The path is walked one folder at a time from
            the root, each folder opened through the one before; only a plain file is opened at the end,
            created when missing, never a device, FIFO or folder, and never one with another name (a
            hard link). On Windows no reparse point (junction, link, mount point) is passed on the way.
            Elsewhere a symbolic link is followed only when it belongs to root or this user and lies in
            a folder that no one else can change (as /var/run, say); any other link is refused. Of the
            folders only the log's own is made, in a folder that exists. */
        static std::unique_ptr<AppendFile> open (const juce::File& file);

        ~AppendFile();

        /** Appends the text as UTF-8; false when it was not all written. */
        bool append (const juce::String& text);

    private:
        /** The parts of a path below its root, in order. */
        static std::deque<juce::String> partsOf (const juce::String& path);

       #if JUCE_WINDOWS
        explicit AppendFile (void* handleToUse) : handle (handleToUse) {}
        void* handle;
       #else
        explicit AppendFile (int descriptorToUse) : descriptor (descriptorToUse) {}
        int descriptor;
       #endif

        JUCE_DECLARE_NON_COPYABLE (AppendFile)
    };
} // namespace DurableFiles
