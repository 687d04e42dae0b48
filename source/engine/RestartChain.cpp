#include "engine/RestartChain.h"

int countFoldersTakingNoEntries (const juce::File& folder, const juce::File& removedFrom)
{
    int count = 1;

    for (auto f = folder; f != removedFrom && f.getParentDirectory() != f; f = f.getParentDirectory())
        ++count;

    return count;
}
