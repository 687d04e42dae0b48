// Who has the files of a bundle open: the programs named to the user when a bundle is in use.
#pragma once

#include "engine/DurableFiles.h"

#include <functional>
#include <utility>
#include <vector>

/** A program that has a file of a bundle open (or, on Linux, mapped). */
struct FileHolder
{
    juce::String name; // as the system names the program; shown only through describeHolders
    juce::uint32 processId = 0;

    bool operator== (const FileHolder& other) const { return name == other.name && processId == other.processId; }
};

/** Text that came from elsewhere (a program's name, a path in a user's folder) as it may be printed
    on one line of the output or the log: control characters and line separators become '?'. */
juce::String printableText (const juce::String& text);

/** "fakehost (process 4242)"; several as "a (process 1), b (process 2) and c (process 3)"; empty
    for none. A name is the holder's own choice of text: control characters become '?', and it is
    cut at 64 characters, so that it can neither break a line of the output or the log nor flood it. */
juce::String describeHolders (const juce::Array<FileHolder>& holders);

/** Calls `visit` with each plain file of `bundle` (a folder, or a bundle that is one file) and the
    held folder it lies in, reached without following any link; links and special files are
    passed over. Stops after a few thousand files or a deep nesting, which no bundle of ours has. */
void forEachBundleFile (const juce::File& bundle,
                        const std::function<void (const DurableFiles::Folder& folder, const juce::String& name)>& visit);

/**
    The files of one bundle as they were before its format's swap or removal, and who still holds
    them afterwards.

    Windows: a Restart Manager session on each file of the bundle (never on a folder) before the
    run, and again when the run failed with a file in use, or on the files it left for the next
    restart. Linux, where an open file does not stop the swap: the device and inode of every plain
    file of the bundle are recorded before the run, and afterwards each process that still has one
    of them open or mapped is named (from /proc, by device and inode, never by path).

    The walk through the bundle never follows a link, and a file with a second name (a hard link
    to a file elsewhere) is left out, so no holder of a file outside the bundle is ever named.
*/
class BundleHolders final
{
public:
    /** Looks at `bundle` before the run; a missing bundle has no holders. */
    explicit BundleHolders (const juce::File& bundle);

    /** The holders to name once the run is done: those that kept it from finishing (`result`
        failed with a file in use, or `removedAtRestart` waits for the restart) on Windows, and on
        Linux those that still have the earlier bundle's files open after it was replaced or removed.
        Empty otherwise, and wherever the system tells nothing (Wine's Restart Manager). */
    juce::Array<FileHolder> afterRun (const juce::Result& result, const juce::Array<juce::File>& removedAtRestart) const;

    /** The programs that have any of `files` open now, by path (Windows' Restart Manager). */
    static juce::Array<FileHolder> findHoldersOf (const juce::Array<juce::File>& files);

private:
    juce::Array<juce::File> files;                              // every plain file of the bundle
    std::vector<std::pair<juce::uint64, juce::uint64>> identities; // their device and inode (Linux)
    juce::Array<FileHolder> before;                             // holders seen before the run (Windows)

    JUCE_DECLARE_NON_COPYABLE (BundleHolders)
};
