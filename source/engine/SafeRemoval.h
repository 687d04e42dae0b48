// Removes files and folders without ever following a link inside them, and names why a rename or
// removal failed.
#pragma once

#include "engine/DurableFiles.h"

#include <juce_core/juce_core.h>

#include <functional>

/** What a removal left behind: every file or folder that resisted, files before the folders that
    hold them, and the system's error code (errno, or GetLastError on Windows) for the first. */
struct RemovalOutcome
{
    juce::Array<juce::File> resisted;
    int firstError = 0;
    bool leftForRestart = false; // every path that resisted is removed at the next restart

    bool wasOk() const noexcept { return resisted.isEmpty(); }

    /** Notes a path that resisted, and the error of the first one. */
    void add (const juce::File& path, int error)
    {
        resisted.add (path);

        if (firstError == 0)
            firstError = error;
    }

    /** Deeper than any bundle; past it a folder is left alone rather than holding ever more handles. */
    static constexpr int maximumDepth = 128;
};

/**
    Removes `path` and everything below it. A symbolic link, or on Windows a junction or any other
    reparse point, met on the way (`path` itself included) is removed as a link: what it points to
    is never opened, listed or removed, even when a link takes a folder's place while this runs.

    Each folder is opened once, without following links, and its entries are removed through that
    handle. What cannot be removed is skipped and listed; everything else still goes. A missing
    `path` is no failure. `beforeEntry`, when given, is called before each entry is opened.
*/
RemovalOutcome removeTree (const juce::File& path,
                           const std::function<void (const juce::File&)>& beforeEntry = {});

/** Removes the entry `name` of the held folder `parent` and everything below it, as the other
    removeTree does; the entry is reached through `parent`, never by its path. */
RemovalOutcome removeTree (const DurableFiles::Folder& parent, const juce::String& name,
                           const std::function<void (const juce::File&)>& beforeEntry = {});

/** Removes `path` as removeTree does; what resists is handed to removeAtNextRestart, and the
    outcome tells whether it took all of it. */
RemovalOutcome removeTreeNowOrAtRestart (const juce::File& path);

/** Removes the entry `name` of `parent` as removeTree does; what resists is handed to
    removeAtNextRestart, and the outcome tells whether it took all of it. */
RemovalOutcome removeTreeNowOrAtRestart (const DurableFiles::Folder& parent, const juce::String& name);

/** Asks Windows to remove `files`, in the order given, at the next restart (the process is
    elevated). Elsewhere there is no such thing: returns false. */
bool removeAtNextRestart (const juce::Array<juce::File>& files);
