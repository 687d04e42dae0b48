// What a run says in words, for the progress rows, the result lines, the hints and screen readers.
#pragma once

#include "engine/InstallRun.h"

namespace RunTexts
{
    /** How far a format is while a run works, from 0 to 1 (the bytes written of the bundle's total). */
    double getProgressFraction (const RunProgress* progress, int formatIndex);

    /** The words a format's progress bar says while a run works, e.g. "Writing to disk, 40%". */
    juce::String getProgressText (const RunProgress* progress, int formatIndex);

    /** What the command line prints below a format's line: the programs that hold its bundle and
        the other copies a host may load first. */
    juce::StringArray getNotes (const RunReport& report, int formatIndex);

    /** The line the result view shows for a format, or "" when the run did not touch it: the
        command line's line, then the programs that hold its bundle (the other copies have a line
        of their own). */
    juce::String getLine (const RunReport& report, int formatIndex);

    /** Every other copy a host may load first, of every format the run touched. */
    juce::Array<OtherCopy> getOtherCopies (const RunReport& report);

    /** The result view's line of the other copies: the first, and how many more; "" for none. */
    juce::String getCopiesLine (const RunReport& report);

    /** How many lines the result view shows: one per format, and one for the other copies. */
    int getLineCount (const RunReport& report);

    /** The run's outcome in words: "Success", or the failure lines; then what went wrong with the
        entry in Installed apps, and the holders and other copies. */
    juce::String getOutcome (const RunReport& report, const juce::String& entryNotice);

    /** Whether a finished format is offered another run: it failed, or its removal waits for the
        next restart (a program holds it). Otherwise an installed one offers its folder. */
    bool canRetry (const RunReport& report, const FormatOutcome& outcome);

    /** The report with `retried`'s outcomes in place of the earlier ones of their formats. */
    RunReport merge (RunReport report, const RunReport& retried);

    /** The row of a format's line in the result view (in the order of the run's outcomes), or -1. */
    int getResultRow (const RunReport& report, int formatIndex);
} // namespace RunTexts
