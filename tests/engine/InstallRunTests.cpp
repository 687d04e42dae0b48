#include "TestFolder.h"
#include "TreeSnapshot.h"
#include "engine/DurableFiles.h"
#include "engine/InstallRun.h"

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

//==============================================================================
namespace
{
    std::array<juce::File, numFormats> installFoldersIn (const TestFolder& folder)
    {
        return { folder / "VST3", folder / "CLAP", folder / "AAX" };
    }

    constexpr std::array<bool, numFormats> allFormats { true, true, true };
} // namespace

TEST (RunFormats, oneFormatFailingLeavesTheOthersRunningSideBySideAndTheOutcomesInFormatOrder)
{
    const TestFolder folder;
    auto folders = installFoldersIn (folder);
    ASSERT_TRUE ((folder / "a file").create().wasOk());
    folders[0] = folder / "a file/VST3"; // below a file: cannot be made

    RunProgress progress;
    const auto report = runFormats (allFormats, false, folders, "Morvane4", getCarriedArchives(), &progress);

    ASSERT_EQ (report.outcomes.size(), 3);

    for (int i = 0; i < numFormats; ++i)
    {
        EXPECT_EQ (report.outcomes[i].formatIndex, i);
        EXPECT_EQ (report.outcomes[i].succeeded, i != 0) << i;
        EXPECT_EQ (progress.formats[(size_t) i].phase.load(), RunPhase::done) << i;
    }

    EXPECT_EQ (report.outcomes[0].reason, "the folder cannot be created");
    EXPECT_TRUE ((folder / "CLAP/Morvane4.clap").existsAsFile());
    EXPECT_TRUE ((folder / "AAX/Morvane4.aaxplugin").isDirectory());

    // Every byte of the bundles that went in was counted.
    EXPECT_GT (progress.formats[1].totalBytes.load(), 0);
    EXPECT_EQ (progress.formats[1].bytesWritten.load(), progress.formats[1].totalBytes.load());
    EXPECT_EQ (progress.formats[2].bytesWritten.load(), progress.formats[2].totalBytes.load());
}

TEST (RunFormats, aCancelStopsEveryFormatAtItsNextPieceAndLeavesItsOldBundle)
{
    const TestFolder folder;
    const auto folders = installFoldersIn (folder);

    for (const auto* old : { "VST3/Morvane4.vst3/Contents/old.txt", "CLAP/Morvane4.clap", "AAX/Morvane4.aaxplugin/old.txt" })
        ASSERT_TRUE ((folder / old).create().wasOk() && (folder / old).replaceWithText ("the old version"));

    const auto before = snapshot (folder.get());

    // The first file written, by whichever worker, asks for the cancel.
    RunProgress progress;
    DurableFiles::setStepHook ([&progress] (const char* step, const juce::File&)
                               {
                                   if (juce::String (step) == "write file")
                                       progress.cancelRequested = true;
                               });
    const auto report = runFormats (allFormats, false, folders, "Morvane4", getCarriedArchives(), &progress);
    DurableFiles::setStepHook ({});

    ASSERT_EQ (report.outcomes.size(), 3);

    for (const auto& outcome : report.outcomes)
        EXPECT_EQ (report.describe (outcome), formatNames[outcome.formatIndex] + " not installed: cancelled. Nothing was changed.");

    // Byte for byte as before, with nothing left beside the bundles.
    EXPECT_TRUE (sameTree (snapshot (folder.get()), before));
}

TEST (RunFormats, formatsSideBySideMakeTheirMissingSharedParentFolderBetweenThem)
{
    // The formats race to make "Common Files"; whichever loses must still get its folder.
    for (int round = 0; round < 5; ++round)
    {
        const TestFolder folder;
        const std::array<juce::File, numFormats> folders { folder / "Common Files/VST3", folder / "Common Files/CLAP",
                                                           folder / "Common Files/Avid/Audio/Plug-Ins" };
        const auto report = runFormats (allFormats, false, folders, "Morvane4", getCarriedArchives());

        EXPECT_TRUE (report.allSucceeded()) << report.getFailureLines().joinIntoString ("\n");
    }
}
