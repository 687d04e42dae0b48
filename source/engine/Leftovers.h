// What runs of this installer leave beside a bundle while they work, and the repair of an interrupted run.
#pragma once

#include "engine/Catalogue.h"
#include "engine/DurableFiles.h"
#include "engine/FailureReason.h"

namespace Leftovers
{
    /** What runs of this installer leave beside the bundle while they work, by name. */
    struct Found
    {
        juce::StringArray asideCopies; // ".old-": a whole bundle (or the link it was) moved aside for a swap, oldest first
        juce::StringArray others;      // ".staging-", ".removing-": never the only copy of anything

        bool isEmpty() const { return asideCopies.isEmpty() && others.isEmpty(); }
    };

    /** A name beside the bundle that nothing uses yet, e.g. ".Morvane4.vst3.staging-0f3a9c1e". A
        moved-aside copy ("old") carries the time first, so that the newest of several is known. */
    juce::String makeUnusedName (const DurableFiles::Folder& installFolder, const juce::String& bundleName, const juce::String& purpose);

    /** Every name this installer made beside the bundle, moved-aside copies oldest first. */
    Found find (const DurableFiles::Folder& installFolder, const juce::String& bundleName);

    /** Removes a leftover; what is in use goes at the next restart or run, and what waits for the
        restart is added to `removedAtRestart` when one is given. */
    void removeLeftover (const DurableFiles::Folder& installFolder, const juce::String& name, juce::Array<juce::File>* removedAtRestart);

    /** Takes a copy out of the hosts' sight under a name that start-up never restores, then
        deletes it. A copy that cannot be moved stays whole under its name, for the next run. */
    void discard (const DurableFiles::Folder& installFolder, const juce::String& bundleName, const juce::String& copy,
                  juce::Array<juce::File>* removedAtRestart);

    /** With the bundle's lock held: a missing bundle gets its newest moved-aside copy back, as
        what it was (a link stays a link); everything else an interrupted run left goes. */
    void repairLocked (const DurableFiles::Folder& installFolder, const juce::String& bundleName, juce::Array<juce::File>* removedAtRestart);

    /** The reason a run gives when it could not take the bundle's lock. */
    const char* describeLockFailure (DurableFiles::BundleLock::Outcome outcome, const char* cannotCreateReason);
} // namespace Leftovers

/** Puts right what an interrupted run left beside the bundle: a missing bundle gets the newest
    copy that a swap had moved aside back, as what it was (a link stays a link), and every other
    leftover of the installer's own names (staging, removing, other moved-aside copies) goes.
    False when that was left undone because another copy of the installer holds the bundle's
    lock (or it could not be taken): what lies there may be that copy's. */
bool repairInterruptedRun (const juce::File& installFolder, const juce::String& bundleName);

/** The start-up repair of every format, before anything is detected: a line for each format whose
    repair was left undone, e.g. "VST3: what an interrupted run left in /x was not repaired:
    another installation is running". */
juce::StringArray repairInterruptedRuns (const std::array<juce::File, numFormats>& installFolders, const juce::String& productName);
