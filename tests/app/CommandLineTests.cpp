#include "app/CommandLine.h"

#include <gtest/gtest.h>

// Several formats give the code of the most severe: another failure, disk full, another
// installation running, a restart, success. Each format: its failure kind, and whether a restart
// finishes it.
TEST (CommandLineExitCode, isTheMostSevereOfTheFormats)
{
    using K = FailureKind;
    const std::pair<std::vector<std::pair<K, bool>>, int> cases[] = {
        { {}, CommandLine::succeeded },
        { { { K::none, false }, { K::none, false } }, CommandLine::succeeded },
        { { { K::none, false }, { K::none, true } }, CommandLine::restartNeeded },
        { { { K::none, true }, { K::anotherRunning, false } }, CommandLine::anotherRunning },
        { { { K::anotherRunning, false }, { K::diskFull, false } }, CommandLine::diskFull },
        { { { K::diskFull, false }, { K::other, false }, { K::none, true } }, CommandLine::formatFailed },
    };

    for (const auto& [formats, expected] : cases)
    {
        RunReport report;

        for (const auto& [kind, restart] : formats)
        {
            FormatOutcome outcome;
            outcome.succeeded = kind == K::none;
            outcome.failureKind = kind;

            if (restart)
                outcome.removedAtRestart.add (juce::File::getCurrentWorkingDirectory().getChildFile ("held.dll"));

            report.outcomes.add (outcome);
        }

        EXPECT_EQ (CommandLine::getExitCode (report), expected) << "formats: " << formats.size();
    }
}
