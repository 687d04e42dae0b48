// The program's command line: installs, removals and a status report for deployment tools, with
// no window and no display.
#pragma once

#include "engine/InstallRun.h"

#include <functional>

namespace CommandLine
{
    /** What the program returns to its caller. Deployment tools know the Windows codes above 3;
        a Unix exit status keeps only 8 bits, so Linux gives the nearest codes of its own. */
    enum ExitCode
    {
        succeeded = 0,    // every requested format, or --status, --help, --version
        formatFailed = 1, // a format failed for another reason, or --verify found a difference
        usageError = 2,   // the command line is wrong; nothing was touched
        noDisplay = 3,    // started without arguments where no window can be shown
       #if JUCE_WINDOWS
        diskFull = 112,        // ERROR_DISK_FULL
        anotherRunning = 1618, // ERROR_INSTALL_ALREADY_RUNNING: retry later
        restartNeeded = 3010   // ERROR_SUCCESS_REBOOT_REQUIRED: done, a restart finishes it
       #else
        diskFull = 28,       // ENOSPC
        anotherRunning = 75, // EX_TEMPFAIL: retry later
        restartNeeded = 0    // never needed: Linux removes a file in use at once
       #endif
    };

    /** The code of a run: that of its most severe format, in the order formatFailed, diskFull,
        anotherRunning, restartNeeded, succeeded. */
    int getExitCode (const RunReport& report);

    enum class Action
    {
        window,
        install,
        uninstall,
        repair,
        status,
        verify,
        help,
        version
    };

    /** A command line, taken apart. */
    struct Options
    {
        Action action = Action::window;
        std::array<bool, numFormats> formats {};
        juce::File logFile; // none when it is juce::File()
        bool quiet = false;
        bool confirm = false;     // --uninstall asks first, in a dialog, and shows its outcome in the window
        juce::String error;       // why the command line is wrong; empty when it is right
        juce::String commandLine; // the arguments as given, for the log
    };

    /** Takes the arguments apart (without the program's name). No arguments means the window. */
    Options parse (const juce::StringArray& arguments);

    /** Where the lines go: standard output and standard error. Each gives false when the line
        could not be written. */
    struct Output
    {
        std::function<bool (const juce::String&)> out;
        std::function<bool (const juce::String&)> err;
    };

    /** The usage text, line by line. */
    juce::StringArray getUsage();

    /** Carries out a command line that is not the window's, and returns its exit code: that of
        the command, or formatFailed when it succeeded but a line could not be written. */
    int run (const Options& options, const SystemLocations& locations, const Output& output);

    /** The same, with the command's own exit code whatever became of its lines. */
    int runCommand (const Options& options, const SystemLocations& locations, const Output& output);
} // namespace CommandLine
