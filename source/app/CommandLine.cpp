#include "app/CommandLine.h"

#include "app/LogFile.h"
#include "engine/BundleVerify.h"
#include "engine/OtherCopies.h"
#include "session/InstallSession.h"

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

        /** Says on standard error why the settings file was not used, where it was not, and which
            format's interrupted run was left unrepaired. */
        void tellSettingsNotice (const InstallerSetup& setup, const Output& output)
        {
            if (setup.settingsNotice.isNotEmpty())
                output.err (juce::String (applicationName) + ": " + setup.settingsNotice);

            for (const auto& notice : setup.repairNotices)
                output.err (juce::String (applicationName) + ": " + notice);
        }

        /** The log record's head: when, which installer and command, and where it works. */
        juce::StringArray describeStart (const Options& options, const InstallerSetup& setup)
        {
            juce::StringArray header {
                juce::Time::getCurrentTime().toISO8601 (true) + " " + applicationName + " " + applicationVersion + ", " + setup.productName + " " + setup.productVersion + ": " + options.commandLine,
                "settings file: " + setup.getSettingsFile().getFullPathName()
            };

            if (setup.settingsNotice.isNotEmpty())
                header.add (setup.settingsNotice);

            header.addArray (setup.repairNotices);

            for (int i = 0; i < numFormats; ++i)
                header.add (formatNames[i] + " folder: " + setup.installFolders[(size_t) i].getFullPathName());

            return header;
        }

        int runFormatsWithLog (const Options& options, const SystemLocations& locations, const Output& output)
        {
            InstallSession session (locations);
            const auto& setup = session.getSetup();
            tellSettingsNotice (setup, output);

            RunLog log (options.logFile, output);
            log.add (describeStart (options, setup));

            auto formats = options.formats;

            // A repair installs again, whole, what is installed now.
            if (options.action == Action::repair)
                formats = session.getPresentFormats();

            const auto outcome = session.run (formats, options.action == Action::uninstall);
            const auto& report = outcome.report;
            juce::StringArray outcomes, copies;

            for (const auto& format : report.outcomes)
            {
                const auto line = report.describe (format);
                outcomes.add (line);

                if (! format.succeeded)
                    output.err (line);
                else if (! options.quiet)
                    output.out (line);

                // Even a quiet run says what waits for a restart, or for a host to be restarted:
                // someone has to restart it.
                auto restartLines = report.describeRestart (format);
                restartLines.addArray (report.describeStillOpen (format));

                for (const auto& restartLine : restartLines)
                {
                    outcomes.add (restartLine);
                    output.out (restartLine);
                }

                for (const auto& copy : format.otherCopies)
                    copies.add (describeOtherCopy (copy));
            }

            // After the formats' lines; a user's own copy is said but never changes the exit code.
            for (const auto& line : copies)
                if (! options.quiet)
                    output.out (line);

            outcomes.addArray (copies);

            if (options.action == Action::repair && report.outcomes.isEmpty() && ! options.quiet)
                output.out (setup.productName + " is not installed: nothing to repair");

            // The entry in Installed apps follows the disk; when it cannot, the run stands all the same.
            for (const auto& notice : { outcome.unprovenRemark, outcome.entryNotice })
            {
                if (notice.isNotEmpty())
                {
                    output.err (notice);
                    outcomes.add (notice);
                }
            }

            const auto exitCode = getExitCode (report);
            outcomes.add ("exit code " + juce::String (exitCode));
            log.add (outcomes);
            return exitCode;
        }

        int printStatus (const Options&, const SystemLocations& locations, const Output& output)
        {
            const InstallSession session (locations);
            const auto& setup = session.getSetup();
            const auto snapshot = session.getSnapshot();
            tellSettingsNotice (setup, output);

            for (int i = 0; i < numFormats; ++i)
            {
                const auto& folder = setup.installFolders[(size_t) i];
                const auto& status = snapshot.statuses[(size_t) i];

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
            const InstallSession session (locations, InstallSession::Start::readOnly);
            const auto& setup = session.getSetup();
            tellSettingsNotice (setup, output);
            const auto archives = getCarriedArchives();
            int exitCode = succeeded;
            juce::StringArray copies;

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
                        const auto status = session.getSnapshot().statuses[(size_t) i];
                        const auto installed = status.installedVersion.isNotEmpty() ? status.installedVersion
                                                                                    : juce::String ("module has no readable version:");
                        const auto outdated = status.state == InstallState::NeedsUpdate
                                                  ? " (the installed " + installed + " NEEDS UPDATE to " + setup.productVersion + ")"
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

                for (const auto& copy : session.findOtherCopies (i))
                    copies.add (describeOtherCopy (copy));
            }

            // Said after the formats' lines; the exit code speaks of this installer's bundles alone.
            if (! options.quiet)
                for (const auto& line : copies)
                    output.out (line);

            return exitCode;
        }

        int uninstallFormats (const Options& options, const SystemLocations& locations, const Output& output)
        {
            if (options.confirm)
            {
                output.err (juce::String (applicationName) + ": --confirm asks in a window, which this run has none of");
                return noDisplay;
            }

            return runFormatsWithLog (options, locations, output);
        }

        int printVersion (const Options&, const SystemLocations&, const Output& output)
        {
            output.out (juce::String (applicationName) + " " + applicationVersion + " (" + Product::name + " " + Product::version + ")");
            return succeeded;
        }

        int printUsage (const Options&, const SystemLocations&, const Output& output)
        {
            for (const auto& line : getUsage())
                output.out (line);

            return succeeded;
        }

        //==============================================================================
        /** One command: the arguments that ask for it, what it takes, its lines in the usage text
            and what carries it out. */
        struct Verb
        {
            Action action;
            std::array<const char*, 3> flags; // the first is the one the usage text names; unused ones are nullptr
            bool takesFormats;                // a list of formats follows the flag
            bool takesLog;                    // --log FILE goes with it
            bool takesQuiet;                  // --quiet goes with it
            const char* usage;       // its usage lines as they follow the program's name, one per '\n'
            const char* description; // its line after the usage lines, behind its flag; nullptr for none
            int (*handler) (const Options&, const SystemLocations&, const Output&);
        };

        // In the order of the usage text. The window is what no argument asks for; --version is
        // named on --help's usage line.
        const Verb verbs[] = {
            { Action::window, {}, false, false, false,
              "                                  opens the window", nullptr, printUsage },
            { Action::install, { "--install" }, true, true, true,
              " --install FORMATS [--log FILE] [--quiet]", nullptr, runFormatsWithLog },
            { Action::uninstall, { "--uninstall" }, true, true, true,
              " --uninstall FORMATS [--log FILE] [--quiet]\n"
              " --uninstall FORMATS --confirm   asks first, then shows the outcome in the window",
              nullptr, uninstallFormats },
            { Action::repair, { "--repair" }, false, true, true,
              " --repair [--log FILE] [--quiet]       installs again what is installed", nullptr, runFormatsWithLog },
            { Action::status, { "--status" }, false, false, false,
              " --status", "prints one line per format: name, state, installed version, bundle path (tab-separated).", printStatus },
            { Action::verify, { "--verify" }, true, false, true,
              " --verify FORMATS [--quiet]",
              "compares each installed bundle with the installer's, file by file, and changes nothing; then it names other copies where hosts look (--quiet leaves them out).",
              verifyFormats },
            { Action::help, { "--help", "-h", "/?" }, false, false, false,
              " --help | --version", nullptr, printUsage },
            { Action::version, { "--version" }, false, false, false,
              "", nullptr, printVersion },
        };

        const Verb* findVerb (const juce::String& argument)
        {
            for (const auto& verb : verbs)
                for (const auto* flag : verb.flags)
                    if (flag != nullptr && argument == flag)
                        return &verb;

            return nullptr;
        }

        const Verb& findVerb (Action action)
        {
            for (const auto& verb : verbs)
                if (verb.action == action)
                    return verb;

            return verbs[0];
        }

        /** Whether the argument after i is a value rather than the next option. */
        bool hasValue (const juce::StringArray& arguments, int i)
        {
            return i + 1 < arguments.size() && ! arguments[i + 1].startsWith ("-");
        }

        /** Takes the command at i, with its list of formats where it has one. */
        void takeVerb (const Verb& verb, const juce::StringArray& arguments, int& i, Options& options)
        {
            const auto& argument = arguments[i];

            if (options.action != Action::window)
            {
                options.error = argument + " cannot be combined with another command";
                return;
            }

            options.action = verb.action;

            if (! verb.takesFormats)
                return;

            if (! hasValue (arguments, i))
                options.error = argument + " needs a list of formats (vst3, clap, aax or all)";
            else
                options.formats = parseFormats (arguments[++i], options.error);
        }

        /** Takes the option at i that is no command: --confirm, --log FILE or --quiet. */
        void takeOption (const juce::StringArray& arguments, int& i, Options& options)
        {
            const auto& argument = arguments[i];

            if (argument == "--confirm")
                options.confirm = true;
            else if (argument == "--quiet")
                options.quiet = true;
            else if (argument != "--log")
                options.error = "unknown option '" + argument + "'";
            else if (options.logFile != juce::File())
                options.error = "--log is given twice";
            else if (! hasValue (arguments, i) || arguments[i + 1].trim().isEmpty())
                options.error = "--log needs a file name";
            else
                options.logFile = juce::File::getCurrentWorkingDirectory().getChildFile (arguments[++i]);
        }

        /** Why the options taken do not go together, or "". */
        juce::String findMismatch (const Options& options)
        {
            // "--install, --uninstall or --repair": the flags of the commands that take the option.
            const auto listTaking = [] (bool Verb::*takes)
            {
                juce::StringArray flags;

                for (const auto& verb : verbs)
                    if (verb.*takes)
                        flags.add (verb.flags[0]);

                return flags.joinIntoString (", ", 0, flags.size() - 1) + " or " + flags[flags.size() - 1];
            };

            const auto& verb = findVerb (options.action);

            if (! verb.takesLog && options.logFile != juce::File())
                return "--log goes only with " + listTaking (&Verb::takesLog);

            if (! verb.takesQuiet && options.quiet)
                return "--quiet goes only with " + listTaking (&Verb::takesQuiet);

            if (options.confirm && (options.action != Action::uninstall || options.quiet || options.logFile != juce::File()))
                return "--confirm goes only with --uninstall, without --quiet or --log";

            return {};
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

        for (int i = 0; i < arguments.size() && options.error.isEmpty(); ++i)
        {
            if (const auto* verb = findVerb (arguments[i]))
                takeVerb (*verb, arguments, i, options);
            else
                takeOption (arguments, i, options);
        }

        if (options.error.isEmpty())
            options.error = findMismatch (options);

        return options;
    }

    juce::StringArray getUsage()
    {
        const juce::String name (applicationName);
        juce::StringArray lines;

        for (const auto& verb : verbs)
            if (*verb.usage != 0)
                for (const auto& line : juce::StringArray::fromLines (verb.usage))
                    lines.add ((lines.isEmpty() ? "usage: " : "       ") + name + line);

        lines.add ("FORMATS: vst3, clap, aax, comma-separated, in any case; or all.");

        for (const auto& verb : verbs)
            if (verb.description != nullptr)
                lines.add (juce::String (verb.flags[0]) + " " + verb.description);

        lines.addArray (juce::StringArray {
            "Exit codes: 0 done, 1 a format failed (or --verify found a difference), 2 wrong command line,",
           #if JUCE_WINDOWS
            "3 no display for the window, 112 disk full, 1618 another installation was running (retry later),",
            "3010 done, a restart finishes it (a file in use is removed then)."
           #else
            "3 no display for the window, 28 disk full, 75 another installation was running (retry later)."
           #endif
        });

        return lines;
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

        return findVerb (options.action).handler (options, locations, output);
    }
} // namespace CommandLine
