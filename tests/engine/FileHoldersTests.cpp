// The lines that name the programs holding a bundle, made from stand-in lists of holders.
#include "engine/FailureReason.h"
#include "engine/InstallRun.h"

#include <gtest/gtest.h>

namespace
{
    struct HoldersCase
    {
        std::vector<FileHolder> holders;
        const char* named;
    };

    void PrintTo (const HoldersCase& c, std::ostream* os) { *os << '"' << c.named << '"'; }

    const juce::File bundle = juce::File::getCurrentWorkingDirectory().getChildFile ("VST3/Morvane4.vst3");

    FormatOutcome outcomeWith (const HoldersCase& c, bool succeeded, const juce::String& reason = {})
    {
        FormatOutcome outcome;
        outcome.formatIndex = 0;
        outcome.succeeded = succeeded;
        outcome.reason = reason;
        outcome.bundlePath = bundle;

        for (const auto& holder : c.holders)
            outcome.holders.add (holder);

        return outcome;
    }
} // namespace

class HolderLines : public testing::TestWithParam<HoldersCase>
{
};

// Each line form of the command line and the log, with one holder, several, and a name that tries
// to start a line of its own.
TEST_P (HolderLines, nameEveryHolderInTheFormatsLine)
{
    const auto& c = GetParam();
    const juce::String named (c.named);
    RunReport report;

    EXPECT_EQ (report.describe (outcomeWith (c, false, FailureReason::fileInUse)),
               "VST3 not installed: Morvane4.vst3 is in use by " + named + ". Nothing was changed.");

    auto restart = outcomeWith (c, true);
    const auto held = bundle.getSiblingFile (".Morvane4.vst3.removing-1").getChildFile ("Morvane4.dll");
    restart.removedAtRestart.add (held);
    EXPECT_EQ (report.describeRestart (restart), juce::StringArray ("VST3: " + held.getFullPathName() + " is in use by " + named + "; it is removed at the next restart"));
    EXPECT_TRUE (report.describeStillOpen (restart).isEmpty()) << "a restart line names them already";

    const auto stillOpen = report.describeStillOpen (outcomeWith (c, true));
    ASSERT_EQ (stillOpen.size(), (int) c.holders.size());
    EXPECT_EQ (stillOpen[0], "VST3: " + describeHolders ({ c.holders[0] }) + " still has the earlier Morvane4 open: restart it to load 4.0.2");
    report.uninstall = true;
    EXPECT_EQ (report.describeStillOpen (outcomeWith (c, true))[0], "VST3: " + describeHolders ({ c.holders[0] }) + " still has the removed Morvane4 open: restart it to let it go");
}

INSTANTIATE_TEST_SUITE_P (FileHolders, HolderLines,
                          testing::Values (HoldersCase { { { "fakehost", 4242 } }, "fakehost (process 4242)" },
                                           HoldersCase { { { "Live 12", 1 }, { "REAPER", 2 } }, "Live 12 (process 1) and REAPER (process 2)" },
                                           HoldersCase { { { "a", 1 }, { "b", 2 }, { "c", 3 } }, "a (process 1), b (process 2) and c (process 3)" },
                                           HoldersCase { { { "x\nVST3 installed", 7 }, { "", 8 } }, "x?VST3 installed (process 7) and a program (process 8)" }));
