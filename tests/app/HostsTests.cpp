// What the command line and the window say about plug-in hosts: the program that holds the
// installed module (Linux, a stand-in host named "fakehost") and the other copies a host finds first.
#include "app/CommandLine.h"
#include "ui/main/MainComponent.h"
#include "ui/main/TestLocations.h"

#include <gtest/gtest.h>

namespace
{
    const juce::File outdatedModule (juce::File (TW_PE_MODULES_DIR).getChildFile ("module-4.0.1.0.dll"));

    struct Printed
    {
        juce::StringArray out, err;

        int run (const char* arguments, const SystemLocations& locations)
        {
            out.clear();
            err.clear();
            return CommandLine::run (CommandLine::parse (juce::StringArray::fromTokens (arguments, " ", "")), locations,
                                     { [this] (const juce::String& line) { return out.add (line), true; },
                                       [this] (const juce::String& line) { return err.add (line), true; } });
        }
    };
} // namespace

#if JUCE_LINUX
/** fakehost holding a file ("map": mapped, then closed; "open": open, not mapped) while it lives. */
class StandInHost final
{
public:
    StandInHost (const char* how, const juce::File& file)
    {
        if (process.start (juce::StringArray { TW_FAKEHOST, how, file.getFullPathName() }))
            for (char c; process.readProcessOutput (&c, 1) == 1 && c != '\n';)
                said << c;
    }

    ~StandInHost() { process.kill(); }

    juce::String said;
    juce::ChildProcess process;
};

class StandInHostTest : public TestLocationsFixture, public testing::WithParamInterface<const char*>
{
};

// The update goes through and then names the host, exit code unchanged, from the command line and
// in the window's line of the format.
TEST_P (StandInHostTest, isNamedWithItsProcessIdAfterAnUpdate)
{
    Printed printed;
    ASSERT_EQ (printed.run ("--install vst3", locations), CommandLine::succeeded);
    const auto module = getModulePath (getBundlePath (locations.defaultInstallFolders[0], "Morvane4", 0), "Morvane4", 0);
    const auto lineFor = [] (const StandInHost& host)
    {
        return "VST3: fakehost (process " + juce::String (host.process.getPID()) + ") still has the earlier Morvane4 open: restart it to load 4.0.2";
    };

    {
        const StandInHost host (GetParam(), module);
        ASSERT_EQ (host.said, "held");
        EXPECT_EQ (printed.run ("--install vst3 --quiet", locations), CommandLine::succeeded);
        EXPECT_EQ (printed.out, juce::StringArray (lineFor (host)));
    }

    const StandInHost host (GetParam(), module);
    MainComponent component (locations);
    component.selected = { true, false, false };
    component.installSelectedFormats();
    component.waitForRun();
    EXPECT_EQ (component.getResultLine (0), component.runReport.describe (component.runReport.outcomes[0]) + " " + lineFor (host));
}

INSTANTIATE_TEST_SUITE_P (Hosts, StandInHostTest, testing::Values ("map", "open"));
#endif

class OtherCopies : public TestLocationsFixture
{
protected:
    void SetUp() override
    {
        // Each host folder (a per-user one, an old single-file VST3's, a CLAP_PATH one), and the
        // install folders themselves, whose bundles are ours.
        for (const auto* name : { "user/Programs/Common/VST3", "x86/VST3", "clap-path" })
            locations.hostFolders[name[0] == 'c' ? 1u : 0u].add ({ folder / name, {} });

        for (int i = 0; i < 2; ++i)
            locations.hostFolders[(size_t) i].add ({ locations.defaultInstallFolders[(size_t) i], {} });
    }

    void plant()
    {
        const auto copy = folder / "user/Programs/Common/VST3/Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3";
        ASSERT_TRUE (copy.getParentDirectory().createDirectory() && outdatedModule.copyFileTo (copy));
        ASSERT_TRUE ((folder / "x86/VST3").createDirectory() && outdatedModule.copyFileTo (folder / "x86/VST3/Morvane4.vst3"));
        ASSERT_TRUE ((folder / "clap-path").createDirectory() && outdatedModule.copyFileTo (folder / "clap-path/Morvane4.clap"));
    }

    juce::StringArray expectedLines() const
    {
        juce::StringArray lines;

        for (const auto* path : { "user/Programs/Common/VST3/Morvane4.vst3", "x86/VST3/Morvane4.vst3", "clap-path/Morvane4.clap" })
            lines.add (juce::String (path[0] == 'c' ? "CLAP" : "VST3") + " another copy at " + (folder / path).getFullPathName()
                       + " (version 4.0.1.0): a host may load it first");

        return lines;
    }
};

// Named by --verify after its format lines and by a run after its own; --quiet leaves them out, and
// the exit code speaks of our bundles alone. Nothing is said when there is none.
TEST_F (OtherCopies, areNamedAfterTheFormatLinesAndNeverChangeTheExitCode)
{
    Printed printed;
    EXPECT_EQ (printed.run ("--install vst3,clap", locations), CommandLine::succeeded);
    EXPECT_EQ (printed.out.size(), 2) << printed.out.joinIntoString ("\n");
    plant();

    EXPECT_EQ (printed.run ("--verify vst3,clap", locations), CommandLine::succeeded);
    auto lines = juce::StringArray ("VST3 matches the installer's 4.0.2", "CLAP matches the installer's 4.0.2");
    lines.addArray (expectedLines());
    EXPECT_EQ (printed.out, lines);

    EXPECT_EQ (printed.run ("--verify vst3,clap --quiet", locations), CommandLine::succeeded);
    EXPECT_EQ (printed.out, juce::StringArray ("VST3 matches the installer's 4.0.2", "CLAP matches the installer's 4.0.2"));

    EXPECT_EQ (printed.run ("--install vst3,clap", locations), CommandLine::succeeded);
    EXPECT_EQ (printed.out.joinIntoString ("\n", 2), expectedLines().joinIntoString ("\n"));
    EXPECT_TRUE ((folder / "x86/VST3/Morvane4.vst3").existsAsFile()) << "a copy we did not install stays";

    MainComponent component (locations);
    component.selected = { false, true, false };
    component.installSelectedFormats();
    component.waitForRun();
    EXPECT_EQ (component.getResultLine (1), "CLAP installed in " + getBundlePath (locations.defaultInstallFolders[1], "Morvane4", 1).getFullPathName() + " " + expectedLines()[2]);
    EXPECT_EQ (component.hintLabel->getText(), expectedLines()[2]);
}

TEST_F (OtherCopies, nothingIsSaidWhenThereIsNone)
{
    Printed printed;
    EXPECT_EQ (printed.run ("--install vst3,clap", locations), CommandLine::succeeded);
    EXPECT_EQ (printed.run ("--verify vst3,clap", locations), CommandLine::succeeded);
    EXPECT_EQ (printed.out, juce::StringArray ("VST3 matches the installer's 4.0.2", "CLAP matches the installer's 4.0.2"));
}
