#include "app/CommandLine.h"

#include "app/LogFile.h"
#include "engine/BundleVerify.h"
#include "engine/InstallDetection.h"
#include "engine/InstalledEntry.h"

#include <algorithm>
#include <iterator>

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

            auto formats = options.formats;

            // A repair installs again, whole, what is installed now.
            if (options.action == Action::repair)
                formats = findPresentBundles (setup);

            const auto report = runFormats (formats, uninstall, setup.installFolders, setup.productName,
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

                // Even a quiet run says what waits for a restart: someone has to restart.
                for (const auto& restartLine : report.describeRestart (outcome))
                {
                    outcomes.add (restartLine);
                    output.out (restartLine);
                }
            }

            if (options.action == Action::repair && report.outcomes.isEmpty() && ! options.quiet)
                output.out (setup.productName + " is not installed: nothing to repair");

            // The entry in Installed apps follows the disk; when it cannot, the run stands all the same.
            juce::String unprovenRemark;
            const auto entryNotice = InstalledEntry::update (locations.keptCopyFolder, setup.installFolders, setup.productName, unprovenRemark);

            if (unprovenRemark.isNotEmpty())
            {
                output.err (unprovenRemark);
                outcomes.add (unprovenRemark);
            }

            if (entryNotice.isNotEmpty())
            {
                output.err (entryNotice);
                outcomes.add (entryNotice);
            }

            const auto exitCode = getExitCode (report);
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

        //==============================================================================
        /** How severe a code is: formatFailed is the most severe, succeeded the least. */
        int getSeverity (int exitCode)
        {
            const int order[] = { succeeded, restartNeeded, anotherRunning, diskFull, formatFailed };
            const auto found = std::find (std::begin (order), std::end (order), exitCode);
            return (int) std::distance (std::begin (order), found);
        }

        int getMoreSevere (int a, int b)
        {
            return getSeverity (b) > getSeverity (a) ? b : a;
        }

        /** "A changed, B missing, C not part of the plug-in", the first few of them. */
        juce::String listDifferences (const BundleCheck& check)
        {
            constexpr int mostNamed = 8;
            juce::StringArray items;

            for (const auto& path : check.changed)
                items.add (path + " changed");

            for (const auto& path : check.missing)
                items.add (path + " missing");

            for (const auto& path : check.extra)
                items.add (path + " not part of the plug-in");

            for (const auto& path : check.links)
                items.add (path + " is a link or special file");

            const auto more = items.size() - mostNamed;

            if (more <= 0)
                return items.joinIntoString (", ");

            items.removeRange (mostNamed, more);
            return items.joinIntoString (", ") + " and " + juce::String (more) + " more";
        }

        /** Compares each named format's bundle with its carried archive. A start of its own: the
            settings file is only read (and trusted as by every start), nothing is repaired or
            written, and each bundle's lock is held while it is checked. */
        int verifyFormats (const Options& options, const SystemLocations& locations, const Output& output)
        {
            const auto setup = readInstallerSetup (locations);
            tellSettingsNotice (setup, output);
            const auto archives = getCarriedArchives();
            int exitCode = succeeded;

            for (int i = 0; i < numFormats; ++i)
            {
                if (! options.formats[(size_t) i])
                    continue;

                const auto& folder = setup.installFolders[(size_t) i];
                const auto& archive = archives[(size_t) i];
                const auto& name = formatNames[i];
                const auto check = verifyBundle (folder, getBundleName (setup.productName, i), archive.data, archive.size);

                switch (check.outcome)
                {
                    case BundleCheck::Outcome::notInstalled:
                        output.out (name + " is not installed in " + getBundlePath (folder, setup.productName, i).getFullPathName());
                        break;

                    case BundleCheck::Outcome::matches:
                        output.out (name + " matches the installer's " + setup.productVersion);
                        break;

                    case BundleCheck::Outcome::differs:
                    {
                        const auto status = detectFormatStatus (folder, setup.productName, setup.productVersion, i);
                        const auto outdated = status.state == InstallState::NeedsUpdate
                                                  ? " (the installed " + status.installedVersion + " NEEDS UPDATE to " + setup.productVersion + ")"
                                                  : juce::String();
                        output.out (name + " differs: " + listDifferences (check) + outdated);
                        exitCode = getMoreSevere (exitCode, formatFailed);
                        break;
                    }

                    case BundleCheck::Outcome::busy:
                    case BundleCheck::Outcome::cannotCheck:
                        output.err (name + " cannot be checked: " + check.reason);
                        exitCode = getMoreSevere (exitCode, check.outcome == BundleCheck::Outcome::busy ? anotherRunning : formatFailed);
                        break;
                }
            }

            return exitCode;
        }
    } // namespace

    //==============================================================================
    int getExitCode (const RunReport& report)
    {
        int exitCode = succeeded;

        for (const auto& outcome : report.outcomes)
        {
            if (outcome.succeeded)
                exitCode = getMoreSevere (exitCode, outcome.needsRestart() ? restartNeeded : succeeded);
            else if (outcome.failureKind == FailureKind::diskFull)
                exitCode = getMoreSevere (exitCode, diskFull);
            else if (outcome.failureKind == FailureKind::anotherRunning)
                exitCode = getMoreSevere (exitCode, anotherRunning);
            else
                exitCode = getMoreSevere (exitCode, formatFailed); // also a failure whose kind nobody noted
        }

        return exitCode;
    }

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

            if (argument == "--install" || argument == "--uninstall" || argument == "--verify")
            {
                const auto action = argument == "--install" ? Action::install : argument == "--uninstall" ? Action::uninstall : Action::verify;

                if (! setAction (action))
                    return fail (argument + " cannot be combined with another command");

                if (! hasValue)
                    return fail (argument + " needs a list of formats (vst3, clap, aax or all)");

                options.formats = parseFormats (arguments[++i], options.error);

                if (options.error.isNotEmpty())
                    return options;
            }
            else if (argument == "--repair")
            {
                if (! setAction (Action::repair))
                    return fail (argument + " cannot be combined with another command");
            }
            else if (argument == "--confirm")
            {
                options.confirm = true;
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

        const auto runsFormats = options.action == Action::install || options.action == Action::uninstall || options.action == Action::repair;

        if (! runsFormats && (options.logFile != juce::File() || options.quiet))
            return fail ("--log and --quiet go only with --install, --uninstall or --repair");

        if (options.confirm && (options.action != Action::uninstall || options.quiet || options.logFile != juce::File()))
            return fail ("--confirm goes only with --uninstall, without --quiet or --log");

        return options;
    }

    juce::StringArray getUsage()
    {
        const juce::String name (applicationName);

        return {
            "usage: " + name + "                                  opens the window",
            "       " + name + " --install FORMATS [--log FILE] [--quiet]",
            "       " + name + " --uninstall FORMATS [--log FILE] [--quiet]",
            "       " + name + " --uninstall FORMATS --confirm   asks first, then shows the outcome in the window",
            "       " + name + " --repair [--log FILE] [--quiet]       installs again what is installed",
            "       " + name + " --status",
            "       " + name + " --verify FORMATS",
            "       " + name + " --help | --version",
            "FORMATS: vst3, clap, aax, comma-separated, in any case; or all.",
            "--status prints one line per format: name, state, installed version, bundle path (tab-separated).",
            "--verify compares each installed bundle with the installer's, file by file, and changes nothing.",
            "Exit codes: 0 done, 1 a format failed (or --verify found a difference), 2 wrong command line,",
           #if JUCE_WINDOWS
            "3 no display for the window, 112 disk full, 1618 another installation was running (retry later),",
            "3010 done, a restart finishes it (a file in use is removed then)."
           #else
            "3 no display for the window, 28 disk full, 75 another installation was running (retry later)."
           #endif
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
            case Action::uninstall:
                if (options.confirm)
                {
                    output.err (juce::String (applicationName) + ": --confirm asks in a window, which this run has none of");
                    return noDisplay;
                }

                return runFormatsWithLog (options, locations, output);

            case Action::install:
            case Action::repair:
                return runFormatsWithLog (options, locations, output);

            case Action::status:
                return printStatus (locations, output);

            case Action::verify:
                return verifyFormats (options, locations, output);

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
