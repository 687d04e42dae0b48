#include "main/InstallRun.h"

#include <gtest/gtest.h>

TEST (RunReport, saysNothingChangedOnlyWhenTheBundleWasLeftAsItWas)
{
    RunReport report;
    report.outcomes.add ({ 0, true, {} });
    EXPECT_TRUE (report.allSucceeded());
    EXPECT_TRUE (report.getFailureLines().isEmpty());

    report.outcomes.add ({ 1, false, "disk full" });
    report.outcomes.add ({ 2, false, "a file is in use; the old version is kept as .Morvane4.aaxplugin.old-1" });
    EXPECT_FALSE (report.allSucceeded());
    EXPECT_EQ (report.getFailureLines(),
               juce::StringArray ("CLAP not installed: disk full. Nothing was changed.",
                                  "AAX not installed: a file is in use; the old version is kept as .Morvane4.aaxplugin.old-1."));

    report.uninstall = true;
    EXPECT_EQ (report.getFailureLines()[0], "CLAP not removed: disk full. Nothing was changed.");
}
