#include "app/CommandLine.h"

#include "app/LogFile.h"
#include "main/engine/InstallDetection.h"

namespace CommandLine
{
    namespace
    {
#if JUCE_WINDOWS
        constexpr const char* lineEnd = "\r\n";
#else
        constexpr const char* lineEnd = "\n";
#endif

        /** "vst3,CLAP" -> the formats; an empty result and `error` set when a name is unknown. */
        std::array<bool, numFormats> parseFormats (const juce::String& list, juce::String& error)
        {
            std::array<bool, numFormats> formats {};

            if (list.trim().isEmpty())
            {
                error = "the format list is empty (use vst3, clap, aax or all)";
                return {};
            }

            for (const auto& item : juce::StringArray::fromTokens (list, ",", ""))
            {
                const auto name = item.trim();

                if (name.equalsIgnoreCase ("all"))
                {
                    formats.fill (true);
                    continue;
                }

                const auto index = formatNames.indexOf (name, true);

                if (index < 0)
                {
                    error = name.isEmpty() ? "an empty name in the format list '" + list + "'"
                                           : "unknown format '" + name + "' (use vst3, clap, aax or all)";
                    return {};
                }

                formats[(size_t) index] = true;
            }

            return formats;
        }

        /** Appends lines to the log file; the first failure is reported once and ends the log. */
        class RunLog
        {
        public:
            RunLog (const juce::File& fileToUse, const Output& outputToUse)
                : file (fileToUse)
                , output (outputToUse)
            {
            }

            void add (const juce::StringArray& lines)
            {
                if (file == juce::File() || failed)
                    return;

                if (log == nullptr)
                    log = LogFile::open (file);

                juce::String text;

                for (const auto& line : lines)
                    text << line << lineEnd;

                if (log == nullptr || ! log->append (text))
                {
                    failed = true;
                    output.err (juce::String (applicationName) + ": the log " + file.getFullPathName() + " cannot be written; the run goes on without it");
                }
            }

        private:
            juce::File file;
            const Output& output;
            std::unique_ptr<LogFile> log;
            bool failed = false;
        };

        /** Says on standard error why the settings file was not used, where it was not. */
        void tellSettingsNotice (const InstallerSetup& setup, const Output& output)
        {
            if (setup.settingsNotice.isNotEmpty())
                output.err (juce::String (applicationName) + ": " + setup.settingsNotice);
        }

        int runFormatsWithLog (const Options& options, const SystemLocations& locations, const Output& output)
        {
            const auto setup = startInstaller (locations);
            const auto uninstall = options.action == Action::uninstall;
            tellSettingsNotice (setup, output);

            RunLog log (options.logFile, output);
            juce::StringArray header {
                juce::Time::getCurrentTime().toISO8601 (true) + " " + applicationName + " " + applicationVersion + ", " + setup.productName + " " + setup.productVersion + ": " + options.commandLine,
                "settings file: " + setup.getSettingsFile().getFullPathName()
            };

            if (setup.settingsNotice.isNotEmpty())
                header.add (setup.settingsNotice);

            for (int i = 0; i < numFormats; ++i)
                header.add (formatNames[i] + " folder: " + setup.installFolders[(size_t) i].getFullPathName());

            log.add (header);

            const auto report = runFormats (options.formats, uninstall, setup.installFolders, setup.productName,
                                            getCarriedArchives());
            juce::StringArray outcomes;

            for (const auto& outcome : report.outcomes)
            {
                const auto line = report.describe (outcome);
                outcomes.add (line);

                if (! outcome.succeeded)
                    output.err (line);
                else if (! options.quiet)
                    output.out (line);
            }

            const auto exitCode = report.allSucceeded() ? succeeded : formatFailed;
            outcomes.add ("exit code " + juce::String (exitCode));
            log.add (outcomes);
            return exitCode;
        }

        int printStatus (const SystemLocations& locations, const Output& output)
        {
            const auto setup = startInstaller (locations);
            tellSettingsNotice (setup, output);

            for (int i = 0; i < numFormats; ++i)
            {
                const auto& folder = setup.installFolders[(size_t) i];
                const auto status = detectFormatStatus (folder, setup.productName, setup.productVersion, i);

                output.out (juce::StringArray { formatNames[i], getStatusWord (status.state), status.installedVersion,
                                                getBundlePath (folder, setup.productName, i).getFullPathName() }
                                .joinIntoString ("\t"));
            }

            return succeeded;
        }
    } // namespace

    //==============================================================================
    Options parse (const juce::StringArray& arguments)
    {
        Options options;
        options.commandLine = arguments.joinIntoString (" ");

        auto fail = [&options] (const juce::String& reason)
        {
            options.error = reason;
            return options;
        };

        auto setAction = [&options] (Action action)
        {
            if (options.action != Action::window)
                return false;

            options.action = action;
            return true;
        };

        for (int i = 0; i < arguments.size(); ++i)
        {
            const auto& argument = arguments[i];
            const auto hasValue = i + 1 < arguments.size() && ! arguments[i + 1].startsWith ("-");

            if (argument == "--install" || argument == "--uninstall")
            {
                if (! setAction (argument == "--install" ? Action::install : Action::uninstall))
                    return fail (argument + " cannot be combined with another command");

                if (! hasValue)
                    return fail (argument + " needs a list of formats (vst3, clap, aax or all)");

                options.formats = parseFormats (arguments[++i], options.error);

                if (options.error.isNotEmpty())
                    return options;
            }
            else if (argument == "--status" || argument == "--help" || argument == "-h" || argument == "/?" || argument == "--version")
            {
                const auto action = argument == "--status"    ? Action::status
                                    : argument == "--version" ? Action::version
                                                              : Action::help;

                if (! setAction (action))
                    return fail (argument + " cannot be combined with another command");
            }
            else if (argument == "--log")
            {
                if (options.logFile != juce::File())
                    return fail ("--log is given twice");

                if (! hasValue || arguments[i + 1].trim().isEmpty())
                    return fail ("--log needs a file name");

                options.logFile = juce::File::getCurrentWorkingDirectory().getChildFile (arguments[++i]);
            }
            else if (argument == "--quiet")
            {
                options.quiet = true;
            }
            else
            {
                return fail ("unknown option '" + argument + "'");
            }
        }

        const auto runsFormats = options.action == Action::install || options.action == Action::uninstall;

        if (! runsFormats && (options.logFile != juce::File() || options.quiet))
            return fail ("--log and --quiet go only with --install or --uninstall");

        return options;
    }

    juce::StringArray getUsage()
    {
        const juce::String name (applicationName);

        return {
            "usage: " + name + "                                  opens the window",
            "       " + name + " --install FORMATS [--log FILE] [--quiet]",
            "       " + name + " --uninstall FORMATS [--log FILE] [--quiet]",
            "       " + name + " --status",
            "       " + name + " --help | --version",
            "FORMATS: vst3, clap, aax, comma-separated, in any case; or all.",
            "--status prints one line per format: name, state, installed version, bundle path (tab-separated).",
            "Exit codes: 0 done, 1 a format failed, 2 wrong command line, 3 no display for the window."
        };
    }

    int run (const Options& options, const SystemLocations& locations, const Output& output)
    {
        // A caller that was told nothing it asked for must not read success.
        bool writeFailed = false;
        const auto watch = [&writeFailed] (const std::function<bool (const juce::String&)>& write)
        {
            return [&writeFailed, write] (const juce::String& line)
            {
                const auto written = write (line);
                writeFailed = writeFailed || ! written;
                return written;
            };
        };

        const auto exitCode = runCommand (options, locations, { watch (output.out), watch (output.err) });
        return exitCode == succeeded && writeFailed ? formatFailed : exitCode;
    }

    int runCommand (const Options& options, const SystemLocations& locations, const Output& output)
    {
        if (options.error.isNotEmpty())
        {
            output.err (juce::String (applicationName) + ": " + options.error);

            for (const auto& line : getUsage())
                output.err (line);

            return usageError;
        }

        switch (options.action)
        {
            case Action::install:
            case Action::uninstall:
                return runFormatsWithLog (options, locations, output);

            case Action::status:
                return printStatus (locations, output);

            case Action::version:
                output.out (juce::String (applicationName) + " " + applicationVersion + " (" + Product::name + " " + Product::version + ")");
                return succeeded;

            case Action::help:
            case Action::window:
                break;
        }

        for (const auto& line : getUsage())
            output.out (line);

        return succeeded;
    }
} // namespace CommandLine
