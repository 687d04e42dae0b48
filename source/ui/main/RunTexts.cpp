#include "ui/main/RunTexts.h"

#include "engine/OtherCopies.h"

namespace
{
    const char* getPhaseName (RunPhase phase)
    {
        switch (phase)
        {
            case RunPhase::waiting:
                return "Waiting";
            case RunPhase::unpacking:
                return "Unpacking";
            case RunPhase::writing:
                return "Writing to disk";
            case RunPhase::checking:
                return "Checking";
            case RunPhase::removing:
                return "Removing";
            case RunPhase::done:
                break;
        }

        return "Done";
    }
} // namespace

namespace RunTexts
{
    double getProgressFraction (const RunProgress* progress, int formatIndex)
    {
        if (progress == nullptr || ! juce::isPositiveAndBelow (formatIndex, numFormats))
            return 0.0;

        const auto& format = progress->formats[(size_t) formatIndex];

        if (format.phase == RunPhase::done)
            return 1.0;

        const auto total = format.totalBytes.load();
        return total > 0 ? juce::jlimit (0.0, 1.0, (double) format.bytesWritten.load() / (double) total) : 0.0;
    }

    juce::String getProgressText (const RunProgress* progress, int formatIndex)
    {
        if (progress == nullptr || ! juce::isPositiveAndBelow (formatIndex, numFormats))
            return {};

        const auto phase = progress->formats[(size_t) formatIndex].phase.load();
        return juce::String (getPhaseName (phase)) + ", "
             + juce::String (juce::roundToInt (getProgressFraction (progress, formatIndex) * 100.0)) + "%";
    }

    juce::StringArray getNotes (const RunReport& report, int formatIndex)
    {
        juce::StringArray notes;

        for (const auto& outcome : report.outcomes)
            if (outcome.formatIndex == formatIndex)
            {
                notes.addArray (report.describeRestart (outcome));
                notes.addArray (report.describeStillOpen (outcome));

                for (const auto& copy : outcome.otherCopies)
                    notes.add (describeOtherCopy (copy));
            }

        return notes;
    }

    juce::String getLine (const RunReport& report, int formatIndex)
    {
        for (const auto& outcome : report.outcomes)
            if (outcome.formatIndex == formatIndex)
            {
                auto lines = juce::StringArray (report.describe (outcome));
                lines.addArray (report.describeRestart (outcome));
                lines.addArray (report.describeStillOpen (outcome));
                return lines.joinIntoString (" ");
            }

        return {};
    }

    juce::Array<OtherCopy> getOtherCopies (const RunReport& report)
    {
        juce::Array<OtherCopy> copies;

        for (const auto& outcome : report.outcomes)
            copies.addArray (outcome.otherCopies);

        return copies;
    }

    juce::String getCopiesLine (const RunReport& report)
    {
        const auto copies = getOtherCopies (report);

        if (copies.isEmpty())
            return {};

        const auto more = copies.size() - 1;
        return describeOtherCopy (copies.getFirst()) + (more > 0 ? " (and " + juce::String (more) + " more)" : juce::String());
    }

    int getLineCount (const RunReport& report)
    {
        return report.outcomes.size() + (getOtherCopies (report).isEmpty() ? 0 : 1);
    }

    juce::String getOutcome (const RunReport& report, const juce::String& entryNotice)
    {
        auto lines = report.allSucceeded() ? juce::StringArray { "Success" } : report.getFailureLines();

        if (entryNotice.isNotEmpty())
            lines.add (entryNotice);

        // The holders and other copies are announced with the outcome.
        for (const auto& outcome : report.outcomes)
            lines.addArray (getNotes (report, outcome.formatIndex));

        return lines.joinIntoString ("\n");
    }

    bool canRetry (const RunReport& report, const FormatOutcome& outcome)
    {
        return ! outcome.succeeded || (report.uninstall && outcome.needsRestart());
    }

    RunReport merge (RunReport report, const RunReport& retried)
    {
        for (const auto& outcome : retried.outcomes)
            if (const auto row = getResultRow (report, outcome.formatIndex); row >= 0)
                report.outcomes.set (row, outcome);

        return report;
    }

    int getResultRow (const RunReport& report, int formatIndex)
    {
        for (int row = 0; row < report.outcomes.size(); ++row)
            if (report.outcomes.getReference (row).formatIndex == formatIndex)
                return row;

        return -1;
    }
} // namespace RunTexts
