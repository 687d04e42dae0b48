#include "main/TestLocations.h"
#include "main/MainComponent.h"

#include <gtest/gtest.h>

namespace
{
    const juce::File modulesFolder (TW_PE_MODULES_DIR);

    bool anyInstallControlVisible (const MainComponent& component)
    {
        for (const auto& button : component.formatButtons)
            if (button->isVisible())
                return true;

        return component.installButton->isVisible() || component.selectAllButton->isVisible();
    }
} // namespace

class MainComponentInstallTest : public TestLocationsFixture
{
};

TEST_F (MainComponentInstallTest, installsTheSelectedFormatsAndShowsTheirVersions)
{
    MainComponent component (locations);
    component.selected = { true, false, true };

    component.installSelectedFormats();

    EXPECT_TRUE (component.runFinished);
    EXPECT_TRUE (component.runReport.allSucceeded());
    EXPECT_EQ (component.runReport.outcomes.size(), 2);
    EXPECT_EQ (component.selected, (std::array<bool, numFormats> { false, false, false }));
    EXPECT_FALSE (anyInstallControlVisible (component));
    EXPECT_TRUE (component.tabButtons[0]->isVisible());

    // The carried modules are of version 4.0.2.0.
    EXPECT_EQ (component.detectInstallState (0).statusText, "v4.0.2.0 INSTALLED");
    EXPECT_EQ (component.detectInstallState (1).statusText, "NOT INSTALLED");
    EXPECT_EQ (component.detectInstallState (2).statusText, "v4.0.2.0 INSTALLED");
}

TEST_F (MainComponentInstallTest, aRunWithNothingSelectedSucceedsAndChangesNothing)
{
    MainComponent component (locations);
    component.selected = { false, false, false };

    component.installSelectedFormats();

    EXPECT_TRUE (component.runFinished);
    EXPECT_TRUE (component.runReport.allSucceeded());
    EXPECT_TRUE (component.runReport.getFailureLines().isEmpty());
    EXPECT_FALSE (anyInstallControlVisible (component));
    EXPECT_FALSE ((folder / "Common Files").exists());
}

TEST_F (MainComponentInstallTest, aFailedFormatIsReportedAndTheOthersStillRun)
{
    (folder / "in the way").create();
    MainComponent component (locations);
    component.installFolders[0] = folder / "in the way/VST3";
    component.selected = { true, true, false };

    component.installSelectedFormats();

    EXPECT_TRUE (component.runFinished);
    EXPECT_FALSE (component.runReport.allSucceeded());
    EXPECT_EQ (component.runReport.getFailureLines(),
               juce::StringArray ("VST3 not installed: the folder cannot be created. Nothing was changed."));
    EXPECT_EQ (component.selected, (std::array<bool, numFormats> { false, false, false }));
    EXPECT_FALSE (anyInstallControlVisible (component));
    EXPECT_EQ (component.detectInstallState (1).state, InstallState::Installed);
}

TEST_F (MainComponentInstallTest, uninstallRemovesOnlyTheSelectedBundles)
{
    for (const auto* bundle : { "Common Files/VST3/Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3",
                                "Common Files/CLAP/Morvane4.clap",
                                "Common Files/Avid/Audio/Plug-Ins/Morvane4.aaxplugin/Contents/x64/Morvane4.aaxplugin" })
        (folder / bundle).create();

    MainComponent component (locations);
    ASSERT_EQ (component.selected, (std::array<bool, numFormats> { true, true, true }));
    component.selected[1] = false;
    component.uninstallMode = true;

    component.installSelectedFormats();

    EXPECT_TRUE (component.runReport.allSucceeded());
    EXPECT_EQ (component.detectInstallState (0).statusText, "NOT INSTALLED");
    EXPECT_EQ (component.detectInstallState (1).statusText, "INSTALLED");
    EXPECT_EQ (component.detectInstallState (2).statusText, "NOT INSTALLED");
    EXPECT_TRUE ((folder / "Common Files/VST3").isDirectory());
}

TEST_F (MainComponentInstallTest, detectsEachFormatInItsOwnFolder)
{
    const auto vst3Module = folder / "Common Files/VST3/Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3";
    vst3Module.getParentDirectory().createDirectory();
    ASSERT_TRUE (modulesFolder.getChildFile ("module-4.0.1.0.dll").copyFileTo (vst3Module));
    (folder / "Common Files/CLAP").createDirectory();
    ASSERT_TRUE (modulesFolder.getChildFile ("module-4.0.10.0.dll").copyFileTo (folder / "Common Files/CLAP/Morvane4.clap"));

    const MainComponent component (locations);

    EXPECT_EQ (component.detectInstallState (0).statusText, "v4.0.1.0 NEEDS UPDATE");
    EXPECT_EQ (component.detectInstallState (0).state, InstallState::NeedsUpdate);
    EXPECT_EQ (component.detectInstallState (1).statusText, "v4.0.10.0 INSTALLED");
    EXPECT_EQ (component.detectInstallState (2).statusText, "NOT INSTALLED");
}

TEST_F (MainComponentInstallTest, takesTheInstallFoldersFromTheSettingsFile)
{
    const auto settingsFile = folder / "ProgramData/Tarnwick/PluginManagerSettings.txt";

    // First start with the maker's folder present: the defaults are written.
    (folder / "ProgramData/Tarnwick").createDirectory();
    {
        const MainComponent component (locations);
        EXPECT_EQ (component.installFolders[0], locations.defaultInstallFolders[0]);
    }
    ASSERT_TRUE (settingsFile.existsAsFile());
    EXPECT_TRUE (settingsFile.loadFileAsString().contains ("VST3_Path=\"" + locations.defaultInstallFolders[0].getFullPathName() + "\""));

    // The user moves VST3 elsewhere and empties the CLAP path.
    auto xml = juce::parseXML (settingsFile);
    ASSERT_NE (xml, nullptr);
    xml->setAttribute ("VST3_Path", (folder / "Elsewhere/VST3").getFullPathName());
    xml->setAttribute ("CLAP_Path", "");
    ASSERT_TRUE (xml->writeTo (settingsFile));

    const MainComponent component (locations);
    EXPECT_EQ (component.installFolders[0], folder / "Elsewhere/VST3");
    EXPECT_TRUE ((folder / "Elsewhere/VST3").isDirectory());
    EXPECT_EQ (component.installFolders[1], locations.defaultInstallFolders[1]);
    EXPECT_EQ (component.installFolders[2], locations.defaultInstallFolders[2]);
}
