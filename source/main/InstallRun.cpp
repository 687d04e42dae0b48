#include "InstallRun.h"

#include "Catalogue.h"

bool RunReport::allSucceeded() const
{
    for (const auto& outcome : outcomes)
        if (! outcome.succeeded)
            return false;

    return true;
}

juce::StringArray RunReport::getFailureLines() const
{
    juce::StringArray lines;

    for (const auto& outcome : outcomes)
        if (! outcome.succeeded)
            lines.add (formatNames[outcome.formatIndex] + (uninstall ? " not removed: " : " not installed: ")
                       + outcome.reason + ". Nothing was changed.");

    return lines;
}
