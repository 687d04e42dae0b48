// Removes a file this program's account left in a folder that others share, and nothing else.
#pragma once

#include <juce_core/juce_core.h>

/** Removes the entry `name` (one plain name) of `folder` only when it is a plain file with no
    other name that this account owns, judged through a handle opened without following a link (on
    Windows a reparse point) at the name; a link, a folder, a FIFO or another account's file stays
    as it is. Returns true when the file was removed. A temporary folder that others may write to is
    where this matters: an elevated run must remove there nothing someone else put or pointed. */
bool removeOwnPlainFile (const juce::File& folder, const juce::String& name);
