#include "engine/SafeRemoval.h"

RemovalOutcome removeTree (const juce::File& path, const std::function<void (const juce::File&)>& beforeEntry)
{
    const auto parent = DurableFiles::Folder::open (path.getParentDirectory());

    // Nothing there is nothing to remove.
    if (parent.wasMissing())
        return {};

    return removeTree (parent, path.getFileName(), beforeEntry);
}

namespace
{
    /** What resisted removal now is scheduled for the next restart, where that is safe. */
    RemovalOutcome leavingTheRestForTheRestart (RemovalOutcome outcome)
    {
        if (! outcome.wasOk())
            outcome.leftForRestart = removeAtNextRestart (outcome.resisted);

        return outcome;
    }
} // namespace

RemovalOutcome removeTreeNowOrAtRestart (const DurableFiles::Folder& parent, const juce::String& name)
{
    return leavingTheRestForTheRestart (removeTree (parent, name));
}

RemovalOutcome removeTreeNowOrAtRestart (const juce::File& path)
{
    return leavingTheRestForTheRestart (removeTree (path));
}
