#include "main/engine/InstallRun.h"

#include <gtest/gtest.h>

TEST (RunReport, saysNothingChangedOnlyWhenTheBundleWasLeftAsItWas)
{
    RunReport report;
    report.outcomes.add ({ 0, true, {}, {}, false });
    EXPECT_TRUE (report.allSucceeded());
    EXPECT_TRUE (report.getFailureLines().isEmpty());

    report.outcomes.add ({ 1, false, "disk full", {}, false });
    report.outcomes.add ({ 2, false, "a file is in use; the old version is kept as .Morvane4.aaxplugin.old-1", {}, false });
    EXPECT_FALSE (report.allSucceeded());
    EXPECT_EQ (report.getFailureLines(),
               juce::StringArray ("CLAP not installed: disk full. Nothing was changed.",
                                  "AAX not installed: a file is in use; the old version is kept as .Morvane4.aaxplugin.old-1."));

    report.uninstall = true;
    EXPECT_EQ (report.getFailureLines()[0], "CLAP not removed: disk full. Nothing was changed.");
}

TEST (RunReport, describesEachOutcomeWithItsBundlePath)
{
    const auto bundle = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("CLAP/Morvane4.clap");
    const auto path = bundle.getFullPathName();

    struct Case
    {
        bool uninstall, succeeded, wasPresent;
        juce::String reason, expected;
    };

    for (const auto& c : { Case { false, true, false, {}, "CLAP installed in " + path },
                           Case { false, true, true, {}, "CLAP installed in " + path },
                           Case { true, true, true, {}, "CLAP removed from " + path },
                           Case { true, true, false, {}, "CLAP was not installed in " + path },
                           Case { true, false, true, "a file is in use", "CLAP not removed: a file is in use. Nothing was changed." } })
    {
        RunReport report;
        report.uninstall = c.uninstall;
        report.outcomes.add ({ 1, c.succeeded, c.reason, bundle, c.wasPresent });
        EXPECT_EQ (report.describe (report.outcomes[0]), c.expected);
    }
}
