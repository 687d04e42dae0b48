// The program's command line: installs, removals and a status report for deployment tools, with
// no window and no display.
#pragma once

#include "main/engine/InstallRun.h"

#include <functional>

namespace CommandLine
{
    /** What the program returns to its caller. */
    enum ExitCode
    {
        succeeded = 0,    // every requested format, or --status, --help, --version
        formatFailed = 1, // at least one format failed
        usageError = 2,   // the command line is wrong; nothing was touched
        noDisplay = 3     // started without arguments where no window can be shown
    };

    enum class Action
    {
        window,
        install,
        uninstall,
        status,
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
