// What the command line and the window say about plug-in hosts: the program that holds the
// installed module (Linux, a stand-in host named "fakehost") and the other copies a host finds first.
#include "app/CommandLine.h"
#include "ui/main/MainComponent.h"
#include "ui/main/TestLocations.h"

#include <gtest/gtest.h>

namespace
{
    const juce::File outdatedModule (juce::File (TW_PE_MODULES_DIR).getChildFile ("module-4.0.1.0.dll"));

    /** Runs a command line: "exit CODE", then the lines it printed on standard output. */
    juce::String run (const char* arguments, const SystemLocations& locations)
    {
        juce::StringArray out;
        const auto code = CommandLine::run (CommandLine::parse (juce::StringArray::fromTokens (arguments, " ", "")), locations,
                                            { [&out] (const juce::String& line) { return out.add (line), true; },
                                              [] (const juce::String&) { return true; } });
        out.insert (0, "exit " + juce::String (code));
        return out.joinIntoString ("\n");
    }
} // namespace

#if JUCE_LINUX
/** fakehost holding a file ("map": mapped, then closed; "open": open, not mapped) while it lives;
    it says "held PID". */
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
    ASSERT_EQ (run ("--install vst3", locations), "exit 0\nVST3 installed in " + getBundlePath (locations.defaultInstallFolders[0], "Morvane4", 0).getFullPathName());
    const auto module = getModulePath (getBundlePath (locations.defaultInstallFolders[0], "Morvane4", 0), "Morvane4", 0);
    const auto lineFor = [] (const StandInHost& host)
    {
        return "VST3: fakehost (process " + host.said.fromFirstOccurrenceOf ("held ", false, false) + ") still has the earlier Morvane4 open: restart it to load 4.0.2";
    };

    {
        const StandInHost host (GetParam(), module);
        ASSERT_TRUE (host.said.startsWith ("held ")) << host.said;
        EXPECT_EQ (run ("--install vst3 --quiet", locations), "exit 0\n" + lineFor (host));
    }

    const StandInHost host (GetParam(), module);
    ASSERT_TRUE (host.said.startsWith ("held ")) << host.said;
    MainComponent component (locations);
    component.setSelection ({ true, false, false });
    component.installSelectedFormats();
    component.waitForRun();
    EXPECT_EQ (component.getResultLine (0), component.getRunReport().describe (component.getRunReport().outcomes[0]) + " " + lineFor (host));
}

INSTANTIATE_TEST_SUITE_P (Hosts, StandInHostTest, testing::Values ("map", "open"));
#endif

// A copy in a per-user VST3 folder, an old single-file VST3 and a CLAP_PATH copy, beside our own
// bundles in folders listed too: --verify names the three after its format lines (the exit code is
// ours), the window after a run, in the format's line and the hint; before they were put, nothing.
TEST_F (TestLocationsFixture, otherCopiesAreNamedByVerifyAndTheWindowAndOurOwnBundleIsNot)
{
    const char* const planted[] = { "user/VST3/Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3", "x86/VST3/Morvane4.vst3", "clap-path/Morvane4.clap" };
    juce::StringArray lines { "exit 0", "VST3 matches the installer's 4.0.2", "CLAP matches the installer's 4.0.2" };

    for (int i = 0; i < 2; ++i)
        locations.hostFolders[(size_t) i].add ({ locations.defaultInstallFolders[(size_t) i], {} });

    ASSERT_EQ (run ("--install vst3,clap --quiet", locations), "exit 0");
    EXPECT_EQ (run ("--verify vst3,clap", locations), lines.joinIntoString ("\n"));

    for (const auto* path : planted)
    {
        const auto copy = folder / path;
        const auto top = folder / juce::String (path).upToFirstOccurrenceOf ("/Morvane4", false, false);
        ASSERT_TRUE (copy.getParentDirectory().createDirectory() && outdatedModule.copyFileTo (copy));
        locations.hostFolders[path[0] == 'c' ? 1u : 0u].add ({ top.getParentDirectory(), top.getFileName() });
        lines.add (juce::String (path[0] == 'c' ? "CLAP" : "VST3") + " another copy at " + top.getChildFile (copy.getFileName()).getFullPathName()
                   + " (version 4.0.1.0): a host may load it first");
    }

   #if ! JUCE_WINDOWS
    // Below a home no link is followed: not on the way to the folder, nor to read a copy's version.
    ASSERT_TRUE ((folder / "links/VST3").createDirectory() && outdatedModule.createSymbolicLink (folder / "links/VST3/Morvane4.vst3", false));
    ASSERT_TRUE ((folder / "elsewhere/VST3").createDirectory() && outdatedModule.copyFileTo (folder / "elsewhere/VST3/Morvane4.vst3")
                 && (folder / "elsewhere").createSymbolicLink (folder / "linked", false));
    locations.hostFolders[0].add ({ folder.get(), "linked/VST3" });
    locations.hostFolders[0].add ({ folder.get(), "links/VST3" });
    lines.insert (5, "VST3 another copy at " + (folder / "links/VST3/Morvane4.vst3").getFullPathName() + " (version unknown): a host may load it first");
   #endif
    EXPECT_EQ (run ("--verify vst3,clap", locations), lines.joinIntoString ("\n"));

    MainComponent component (locations);
    juce::File revealed;
    component.setRevealer ([&revealed] (const juce::File& file) { revealed = file; });
    component.setSelection ({ false, true, false });
    component.installSelectedFormats();
    component.waitForRun();
    EXPECT_EQ (component.getResultLine (1), "CLAP installed in " + getBundlePath (locations.defaultInstallFolders[1], "Morvane4", 1).getFullPathName());
    EXPECT_EQ (component.getHintLine().getText(), lines[lines.size() - 1]);

    // The other copy has a line of its own, whose "Show in folder" shows it.
    auto* copiesLine = dynamic_cast<ReadableText*> (component.findPart ("RESULT_COPIES"));
    ASSERT_TRUE (copiesLine != nullptr && copiesLine->isVisible());
    EXPECT_EQ (copiesLine->getText(), lines[lines.size() - 1]);
    component.getControl ("SHOW_COPIES").press();
    EXPECT_TRUE (lines[lines.size() - 1].contains (revealed.getFullPathName())) << revealed.getFullPathName();
}
