// Which folders above a file left for the restart must be closed to everyone but administrators.
#pragma once

#include <juce_core/juce_core.h>

/** How many folders, from `folder` (the one holding a file left for removal at the next restart)
    upwards, must take no new entries from anyone but administrators: `folder` and every folder
    above it up to and including `removedFrom`, the folder this program removes the file's tree
    from. Those below `removedFrom` are this program's own and go when it removes the tree (a later
    run does once the file is free), and a name it removed must not come back as a junction before
    the restart, which would lead SYSTEM's removal by path elsewhere. Above `removedFrom` nothing is
    removed, so there it is enough that no one else can remove or rename an entry. When
    `removedFrom` is not `folder` or above it, every folder up to the root counts. */
int countFoldersTakingNoEntries (const juce::File& folder, const juce::File& removedFrom);
