// The outcome of an install or uninstall run, format by format.
#pragma once

#include <juce_core/juce_core.h>

/** What happened to one processed format. */
struct FormatOutcome
{
    int formatIndex = -1;
    bool succeeded = true;
    juce::String reason; // short, lower case, e.g. "disk full"; empty on success. A detail after
                         // "; " tells where a version was left when the bundle could not be kept.
};

/** The record of one run: one outcome per processed format, in format order. */
struct RunReport
{
    bool uninstall = false;
    juce::Array<FormatOutcome> outcomes;

    /** True when every processed format succeeded; a run that processed nothing succeeded too. */
    bool allSucceeded() const;

    /** One line per failed format, e.g. "VST3 not installed: disk full. Nothing was changed." */
    juce::StringArray getFailureLines() const;
};
