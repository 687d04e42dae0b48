// The command line taken apart: every usage error with its reason, every accepted form with what
// it asks for, and what a wrong command line and --version print.
#include "app/CommandLine.h"
#include "ui/main/TestLocations.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace
{
    using CommandLine::Action;

    juce::StringArray argumentsOf (const char* line)
    {
        return juce::StringArray::fromTokens (line, " ", "");
    }

    struct UsageErrorCase
    {
        const char* arguments;
        const char* reason;
    };

    const UsageErrorCase usageErrorCases[] = {
        { "--bogus", "unknown option '--bogus'" },
        { "--install", "--install needs a list of formats (vst3, clap, aax or all)" },
        { "--uninstall --quiet", "--uninstall needs a list of formats (vst3, clap, aax or all)" },
        { "--install vst4", "unknown format 'vst4' (use vst3, clap, aax or all)" },
        { "--install vst3,,aax", "an empty name in the format list 'vst3,,aax'" },
        { "--install ,", "an empty name in the format list ','" },
        { "--install vst3 --uninstall clap", "--uninstall cannot be combined with another command" },
        { "--status --install all", "--install cannot be combined with another command" },
        { "--help --version", "--version cannot be combined with another command" },
        { "--status --log status.log", "--log goes only with --install, --uninstall or --repair" },
        { "--quiet", "--quiet goes only with --install, --uninstall, --repair or --verify" },
        { "--install all --log", "--log needs a file name" },
        { "--install all --log --quiet", "--log needs a file name" },
        { "--install all --log a.log --log b.log", "--log is given twice" },
        { "--status extra", "unknown option 'extra'" },
        { "--install all --confirm", "--confirm goes only with --uninstall, without --quiet or --log" },
        { "--uninstall all --confirm --quiet", "--confirm goes only with --uninstall, without --quiet or --log" },
        { "--repair vst3", "unknown option 'vst3'" },
        { "--verify", "--verify needs a list of formats (vst3, clap, aax or all)" },
        { "--verify all --log verify.log", "--log goes only with --install, --uninstall or --repair" },
        { "--status --quiet", "--quiet goes only with --install, --uninstall, --repair or --verify" },
    };

    struct AcceptedCase
    {
        const char* arguments;
        Action action;
        std::array<bool, numFormats> formats;
        const char* logFile; // relative to the working folder; empty for none
        bool quiet;
        bool confirm = false;
    };

    const AcceptedCase acceptedCases[] = {
        { "", Action::window, {}, "", false },
        { "--install vst3", Action::install, { true, false, false }, "", false },
        { "--install vst3,CLAP", Action::install, { true, true, false }, "", false },
        { "--install ALL", Action::install, { true, true, true }, "", false },
        { "--install aax,all", Action::install, { true, true, true }, "", false },
        { "--install clap --log logs/install.log --quiet", Action::install, { false, true, false }, "logs/install.log", true },
        { "--quiet --uninstall Aax", Action::uninstall, { false, false, true }, "", true },
        { "--uninstall all --log u.log", Action::uninstall, { true, true, true }, "u.log", false },
        { "--status", Action::status, {}, "", false },
        { "--help", Action::help, {}, "", false },
        { "-h", Action::help, {}, "", false },
        { "/?", Action::help, {}, "", false },
        { "--version", Action::version, {}, "", false },
        { "--repair --quiet", Action::repair, {}, "", true },
        { "--verify vst3,aax", Action::verify, { true, false, true }, "", false },
        { "--verify all --quiet", Action::verify, { true, true, true }, "", true },
        { "--uninstall all --confirm", Action::uninstall, { true, true, true }, "", false, true },
    };

    // Each case named and printed by its command line, so that a failure says which one it was.
    void PrintTo (const UsageErrorCase& c, std::ostream* os) { *os << '"' << c.arguments << '"'; }
    void PrintTo (const AcceptedCase& c, std::ostream* os) { *os << '"' << c.arguments << '"'; }

    template <typename Case>
    std::string nameOf (const ::testing::TestParamInfo<Case>& info)
    {
        auto name = std::to_string (info.index);

        for (const auto* c = info.param.arguments; *c != 0; ++c)
            if (std::isalnum ((unsigned char) *c) != 0)
                name += *c;
            else if (name.back() != '_')
                name += '_';

        return name;
    }

    struct Printed
    {
        juce::StringArray out, err;

        CommandLine::Output getOutput()
        {
            return { [this] (const juce::String& line) { out.add (line); return true; },
                     [this] (const juce::String& line) { err.add (line); return true; } };
        }
    };
} // namespace

class CommandLineUsageError : public ::testing::TestWithParam<UsageErrorCase>
{
};

TEST_P (CommandLineUsageError, givesItsReason)
{
    const auto options = CommandLine::parse (argumentsOf (GetParam().arguments));
    EXPECT_EQ (options.error, juce::String (GetParam().reason));
}

INSTANTIATE_TEST_SUITE_P (CommandLine, CommandLineUsageError, ::testing::ValuesIn (usageErrorCases), nameOf<UsageErrorCase>);

class CommandLineAccepted : public ::testing::TestWithParam<AcceptedCase>
{
};

TEST_P (CommandLineAccepted, asksForItsActionFormatsLogAndQuiet)
{
    const auto& c = GetParam();
    const auto options = CommandLine::parse (argumentsOf (c.arguments));

    EXPECT_EQ (options.error, juce::String());
    EXPECT_EQ (options.action, c.action);
    EXPECT_EQ (options.formats, c.formats);
    EXPECT_EQ (options.quiet, c.quiet);
    EXPECT_EQ (options.confirm, c.confirm);
    EXPECT_EQ (options.commandLine, juce::String (c.arguments));

    const juce::String logFile (c.logFile);
    EXPECT_EQ (options.logFile, logFile.isEmpty() ? juce::File() : juce::File::getCurrentWorkingDirectory().getChildFile (logFile));
}

INSTANTIATE_TEST_SUITE_P (CommandLine, CommandLineAccepted, ::testing::ValuesIn (acceptedCases), nameOf<AcceptedCase>);

TEST (CommandLine, aWrongCommandLinePrintsItsReasonAndTheUsageOnStandardErrorAndTouchesNothing)
{
    const TestFolder folder;
    Printed printed;
    const auto exitCode = CommandLine::run (CommandLine::parse (argumentsOf ("--install vst4")),
                                            makeTestLocations (folder), printed.getOutput());

    EXPECT_EQ (exitCode, CommandLine::usageError);
    EXPECT_EQ (folder.get().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0) << "not even the settings file";
    EXPECT_TRUE (printed.out.isEmpty());
    ASSERT_GT (printed.err.size(), 1);
    EXPECT_EQ (printed.err[0], "tw_installer: unknown format 'vst4' (use vst3, clap, aax or all)");
    EXPECT_EQ (printed.err.joinIntoString ("\n", 1), CommandLine::getUsage().joinIntoString ("\n"));
}

// Each form the usage shows, its placeholders filled in, is a command line the parser takes.
TEST (CommandLine, acceptsEveryFormItsUsageShows)
{
    juce::StringArray forms;

    for (const auto& line : CommandLine::getUsage())
    {
        const auto synopsis = line.fromFirstOccurrenceOf ("tw_installer", false, false).upToFirstOccurrenceOf ("  ", false, false);

        if (synopsis.isEmpty() && line.startsWith ("usage: "))
            forms.add ({}); // the window
        else if (line.startsWith ("       "))
            forms.addTokens (synopsis, "|", "");
    }

    EXPECT_EQ (forms.size(), 9) << "the window, install, uninstall and with --confirm, repair, status, verify, help, version";

    for (const auto& form : forms)
    {
        const auto filledIn = form.removeCharacters ("[]").replace ("FORMATS", "vst3").replace ("FILE", "x.log");
        const auto options = CommandLine::parse (juce::StringArray::fromTokens (filledIn.trim(), " ", ""));
        EXPECT_EQ (options.error, "") << form;
        EXPECT_EQ (options.action == Action::window, filledIn.trim().isEmpty()) << form;
    }
}

TEST (CommandLine, versionPrintsTheInstallerAndTheProductItCarries)
{
    const TestFolder folder;
    Printed printed;
    EXPECT_EQ (CommandLine::run (CommandLine::parse ({ "--version" }), makeTestLocations (folder), printed.getOutput()),
               CommandLine::succeeded);
    EXPECT_EQ (printed.out, juce::StringArray ("tw_installer 1.1.0 (Morvane4 4.0.2)"));
    EXPECT_TRUE (printed.err.isEmpty());
}

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
