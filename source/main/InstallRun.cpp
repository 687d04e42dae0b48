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
    {
        if (outcome.succeeded)
            continue;

        // A reason with a detail after "; " says where the old version was left: then something
        // did change, and the line must not claim otherwise.
        const auto leftUntouched = ! outcome.reason.contains ("; ");

        lines.add (formatNames[outcome.formatIndex] + (uninstall ? " not removed: " : " not installed: ")
                   + outcome.reason + (leftUntouched ? ". Nothing was changed." : "."));
    }

    return lines;
}
