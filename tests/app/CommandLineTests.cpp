#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace
{
    /** One format's outcome: a failure kind, and with none, whether a restart finishes it. */
    struct Ending
    {
        FailureKind kind;
        bool restart;
    };

    struct ExitCase
    {
        std::vector<Ending> formats;
        int expected;
    };
} // namespace

// Several formats give the code of the most severe: another failure, disk full, another
// installation running, a restart, success.
TEST (CommandLineExitCode, isTheMostSevereOfTheFormats)
{
    const auto none = FailureKind::none;
    const ExitCase cases[] = {
        { {}, CommandLine::succeeded },
        { { { none, false }, { none, false } }, CommandLine::succeeded },
        { { { none, false }, { none, true } }, CommandLine::restartNeeded },
        { { { none, true }, { FailureKind::anotherRunning, false } }, CommandLine::anotherRunning },
        { { { FailureKind::anotherRunning, false }, { FailureKind::diskFull, false } }, CommandLine::diskFull },
        { { { FailureKind::diskFull, false }, { FailureKind::other, false }, { none, true } }, CommandLine::formatFailed },
    };

    for (const auto& c : cases)
    {
        RunReport report;

        for (const auto& [kind, restart] : c.formats)
        {
            FormatOutcome outcome;
            outcome.succeeded = kind == none;
            outcome.failureKind = kind;

            if (restart)
                outcome.removedAtRestart.add (juce::File::getCurrentWorkingDirectory().getChildFile ("held.dll"));

            report.outcomes.add (outcome);
        }

        EXPECT_EQ (CommandLine::getExitCode (report), c.expected) << "formats: " << c.formats.size();
    }
}
