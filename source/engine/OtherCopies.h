// Other copies of the plug-in where hosts look, which a host may load before the one installed.
#pragma once

#include "engine/HostFolders.h"
#include "engine/InstallRun.h"

/** The copies of the format's bundle (by its name: a bundle folder, or the single-file form a
    VST3 once had) in `folders`, never `ownBundle` itself, each copy once however many paths lead
    to it. Reads only; removes nothing. */
juce::Array<OtherCopy> findOtherCopies (int formatIndex, const juce::File& ownBundle, const juce::String& productName,
                                        const juce::Array<HostFolder>& folders);

/** Fills in the other copies of each format the run processed. */
void findOtherCopies (RunReport& report, const juce::String& productName, const HostFolders& folders);

/** "VST3 another copy at PATH (version 4.0.1.0): a host may load it first". */
juce::String describeOtherCopy (const OtherCopy& copy);
