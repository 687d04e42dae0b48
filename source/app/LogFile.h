// The file that --log appends a run's record to, opened so that nothing planted on its path can
// send the record elsewhere.
#pragma once

#include <juce_core/juce_core.h>

#include <deque>
#include <memory>

class LogFile final
{
public:
    /** Opens `file` for appending, or gives nullptr. The path is walked one folder at a time from
        the root, each folder opened through the one before; only a plain file is opened at the end,
        created when missing, never a device, FIFO or folder, and never one with another name (a
        hard link). On Windows no reparse point (junction, link, mount point) is passed on the way.
        Elsewhere a symbolic link is followed only when it belongs to root or this user and lies in
        a folder that no one else can change (as /var/run, say); any other link is refused. Of the
        folders only the log's own is made, in a folder that exists. */
    static std::unique_ptr<LogFile> open (const juce::File& file);

    ~LogFile();

    /** Appends the text as UTF-8; false when it was not all written. */
    bool append (const juce::String& text);

private:
    /** The parts of a path below its root, in order. */
    static std::deque<juce::String> partsOf (const juce::String& path);

   #if JUCE_WINDOWS
    explicit LogFile (void* handleToUse) : handle (handleToUse) {}
    void* handle;
   #else
    explicit LogFile (int descriptorToUse) : descriptor (descriptorToUse) {}
    int descriptor;
   #endif

    JUCE_DECLARE_NON_COPYABLE (LogFile)
};
