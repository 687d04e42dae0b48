#include "ui/main/DesktopPointer.h"
#include "ui/main/MessagePump.h"
#include "ui/main/SnapshotReading.h"
#include "ui/main/TestLocations.h"
#include "ui/main/MainComponent.h"
#include "ui/style/Palette.h"

#include <gtest/gtest.h>

namespace
{
    const juce::File modulesFolder (TW_PE_MODULES_DIR);

    bool anyInstallControlVisible (const MainComponent& component)
    {
        for (const auto& name : formatNames)
            if (component.getControl (name).isVisible())
                return true;

        return component.getControl ("INSTALL").isVisible() || component.getControl ("SELECT_ALL").isVisible();
    }
} // namespace

class MainComponentInstallTest : public TestLocationsFixture
{
};

TEST_F (MainComponentInstallTest, installsTheSelectedFormatsAndShowsTheirVersions)
{
    MainComponent component (locations);
    component.setSelection ({ true, false, true });

    component.installSelectedFormats();
    component.waitForRun();

    EXPECT_TRUE (component.isRunFinished());
    EXPECT_TRUE (component.getRunReport().allSucceeded());
    EXPECT_EQ (component.getRunReport().outcomes.size(), 2);
    EXPECT_EQ (component.getSelection(), (std::array<bool, numFormats> { false, false, false }));
    EXPECT_FALSE (anyInstallControlVisible (component));
    EXPECT_TRUE (component.getControl (mainControls[0].name).isVisible());

    // The carried modules are of version 4.0.2.0.
    EXPECT_EQ (component.getShownStatus (0).statusText, "v4.0.2.0 INSTALLED");
    EXPECT_EQ (component.getShownStatus (1).statusText, "NOT INSTALLED");
    EXPECT_EQ (component.getShownStatus (2).statusText, "v4.0.2.0 INSTALLED");
}

TEST_F (MainComponentInstallTest, aRunWithNothingSelectedSucceedsAndChangesNothing)
{
    MainComponent component (locations);
    component.setSelection ({ false, false, false });

    component.installSelectedFormats();
    component.waitForRun();

    EXPECT_TRUE (component.isRunFinished());
    EXPECT_TRUE (component.getRunReport().allSucceeded());
    EXPECT_TRUE (component.getRunReport().getFailureLines().isEmpty());
    EXPECT_FALSE (anyInstallControlVisible (component));
    EXPECT_FALSE ((folder / "Common Files").exists());
}

TEST_F (MainComponentInstallTest, aFailedFormatIsReportedAndTheOthersStillRun)
{
    (folder / "in the way").create();
    locations.defaultInstallFolders[0] = folder / "in the way/VST3";
    MainComponent component (locations);
    component.setSelection ({ true, true, false });

    component.installSelectedFormats();
    component.waitForRun();

    EXPECT_TRUE (component.isRunFinished());
    EXPECT_FALSE (component.getRunReport().allSucceeded());
    EXPECT_EQ (component.getRunReport().getFailureLines(),
               juce::StringArray ("VST3 not installed: the folder cannot be created. Nothing was changed."));
    EXPECT_EQ (component.getSelection(), (std::array<bool, numFormats> { false, false, false }));
    EXPECT_FALSE (anyInstallControlVisible (component));
    EXPECT_EQ (component.getShownStatus (1).state, InstallState::Installed);
}

TEST_F (MainComponentInstallTest, aFailedFormatRunsAgainWithItsRetryAndNothingElseDoes)
{
    ASSERT_TRUE ((folder / "in the way").create().wasOk());
    locations.defaultInstallFolders[0] = folder / "in the way/VST3";
    MainComponent component (locations);
    component.setSelection ({ true, true, false });
    component.installSelectedFormats();
    component.waitForRun();

    auto& retry = component.getControl ("RETRY_VST3");
    EXPECT_TRUE (retry.isVisible());
    EXPECT_FALSE (component.getControl ("SHOW_VST3").isVisible());
    EXPECT_FALSE (component.getControl ("RETRY_CLAP").isVisible()) << "CLAP was installed";

    // Once what stood in the way is gone, Retry installs VST3; CLAP's line stays as it was.
    ASSERT_TRUE ((folder / "in the way").deleteFile());
    retry.press();
    EXPECT_TRUE (component.isRunWorking());
    component.waitForRun();

    EXPECT_TRUE (component.getRunReport().allSucceeded());
    EXPECT_EQ (component.getRunReport().outcomes.size(), 2);
    EXPECT_TRUE (component.getControl ("SHOW_VST3").isVisible());
    EXPECT_FALSE (retry.isVisible());

    component.installSelectedFormats();
    EXPECT_FALSE (component.isRunWorking()) << "no second run of the selection";
}

TEST_F (MainComponentInstallTest, uninstallRemovesOnlyTheSelectedBundles)
{
    for (const auto* bundle : { "Common Files/VST3/Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3",
                                "Common Files/CLAP/Morvane4.clap",
                                "Common Files/Avid/Audio/Plug-Ins/Morvane4.aaxplugin/Contents/x64/Morvane4.aaxplugin" })
        (folder / bundle).create();

    ASSERT_TRUE (modulesFolder.getChildFile ("module-4.0.2.0.dll").copyFileTo (folder / "Common Files/CLAP/Morvane4.clap"));
    MainComponent component (locations);
    ASSERT_EQ (component.getSelection(), (std::array<bool, numFormats> { true, true, true }));
    component.setSelection ({ true, false, true });
    component.setUninstallMode (true);

    component.installSelectedFormats();
    component.waitForRun();

    EXPECT_TRUE (component.getRunReport().allSucceeded());
    EXPECT_EQ (component.getShownStatus (0).statusText, "NOT INSTALLED");
    EXPECT_EQ (component.getShownStatus (1).statusText, "v4.0.2.0 INSTALLED");
    EXPECT_EQ (component.getShownStatus (2).statusText, "NOT INSTALLED");
    EXPECT_TRUE ((folder / "Common Files/VST3").isDirectory());
}

TEST_F (MainComponentInstallTest, detectsEachFormatInItsOwnFolder)
{
    const auto vst3Module = folder / "Common Files/VST3/Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3";
    vst3Module.getParentDirectory().createDirectory();
    ASSERT_TRUE (modulesFolder.getChildFile ("module-4.0.1.0.dll").copyFileTo (vst3Module));
    (folder / "Common Files/CLAP").createDirectory();
    ASSERT_TRUE (modulesFolder.getChildFile ("module-4.0.10.0.dll").copyFileTo (folder / "Common Files/CLAP/Morvane4.clap"));

    MainComponent component (locations);

    EXPECT_EQ (component.getShownStatus (0).statusText, "v4.0.1.0 NEEDS UPDATE");
    EXPECT_EQ (component.getShownStatus (0).state, InstallState::NeedsUpdate);
    EXPECT_EQ (component.getShownStatus (1).statusText, "v4.0.10.0 INSTALLED");
    EXPECT_EQ (component.getShownStatus (2).statusText, "NOT INSTALLED");
}

TEST_F (MainComponentInstallTest, takesTheInstallFoldersFromTheSettingsFile)
{
    const auto settingsFile = folder / "ProgramData/Tarnwick/PluginManagerSettings.txt";

    // First start with the maker's folder present: the defaults are written.
    (folder / "ProgramData/Tarnwick").createDirectory();
    {
        MainComponent component (locations);
        EXPECT_EQ (component.getSession().getSetup().installFolders[0], locations.defaultInstallFolders[0]);
    }
    ASSERT_TRUE (settingsFile.existsAsFile());
    EXPECT_TRUE (settingsFile.loadFileAsString().contains ("VST3_Path=\"" + locations.defaultInstallFolders[0].getFullPathName() + "\""));

    // The user moves VST3 elsewhere and empties the CLAP path.
    auto xml = juce::parseXML (settingsFile);
    ASSERT_NE (xml, nullptr);
    xml->setAttribute ("VST3_Path", (folder / "Elsewhere/VST3").getFullPathName());
    xml->setAttribute ("CLAP_Path", "");
    ASSERT_TRUE (xml->writeTo (settingsFile));

    MainComponent component (locations);
    EXPECT_EQ (component.getSession().getSetup().installFolders[0], folder / "Elsewhere/VST3");
    EXPECT_TRUE ((folder / "Elsewhere/VST3").isDirectory());
    EXPECT_EQ (component.getSession().getSetup().installFolders[1], locations.defaultInstallFolders[1]);
    EXPECT_EQ (component.getSession().getSetup().installFolders[2], locations.defaultInstallFolders[2]);
}

//==============================================================================
namespace
{
    struct EndRunBefore
    {
        WriteGate& gate;
        MainComponent& component;

        ~EndRunBefore()
        {
            component.cancelRun();
            gate.open();
            component.waitForRun();
        }
    };
} // namespace

/** The main component on the desktop, where the pointer can move over it while a run works. */
class MainComponentRunTest : public TestLocationsFixture
{
protected:
    void start()
    {
        component = std::make_unique<MainComponent> (locations);
        component->setAnnouncer ([this] (const juce::String& text) { announced.add (text); });
        pointer = std::make_unique<DesktopPointer> (*component);
    }

    void TearDown() override
    {
        pointer.reset();
        component.reset();
    }

    juce::String hint() const { return component->getHintLine().getText(); }

    juce::File bundleOf (int formatIndex) const
    {
        return getBundlePath (component->getSession().getSetup().installFolders[(size_t) formatIndex], "Morvane4", formatIndex);
    }

    juce::TextButton& tab (const char* name)
    {
        return component->getControl (name);
    }

    juce::StringArray tabOrder() const
    {
        juce::StringArray names;

        for (auto* control : juce::KeyboardFocusTraverser().getAllComponents (component.get()))
            names.add (control->getName());

        return names;
    }

    std::unique_ptr<MainComponent> component;
    std::unique_ptr<DesktopPointer> pointer;
    juce::StringArray announced;
};

TEST_F (MainComponentRunTest, aSlowRunShowsItsProgressTheWindowAnswersAndClosingWaitsUntilEveryFormatIsWhole)
{
    const auto oldClap = folder / "Common Files/CLAP/Morvane4.clap";
    ASSERT_TRUE (oldClap.create().wasOk() && oldClap.replaceWithText ("the old version"));
    start();

    WriteGate gate;
    // However the test ends, the workers are let go and waited for before the gate goes.
    const EndRunBefore endRun { gate, *component };
    component->setSelection ({ true, true, true });
    component->installSelectedFormats();
    ASSERT_TRUE (gate.waitUntilReached());

    // The click has returned while the run works: the progress view, INSTALL out of use.
    ASSERT_TRUE (component->isRunWorking());
    EXPECT_FALSE (component->isRunFinished());
    EXPECT_TRUE (component->getControl ("CANCEL").isShowing());
    EXPECT_FALSE (component->getControl ("INSTALL").isEnabled());
    EXPECT_FALSE (component->getControl ("SELECT_ALL").isShowing());
    EXPECT_EQ (tabOrder(), juce::StringArray ("CANCEL", "EULA", "MANUAL", "WEBSITE", "SUPPORT"));

    int unpacking = 0;

    for (int i = 0; i < numFormats; ++i)
    {
        EXPECT_FALSE (component->getControl (formatNames[(size_t) i]).isShowing());

        auto& readout = *component->findPart ("PROGRESS_" + formatNames[i]);
        auto* handler = readout.getAccessibilityHandler();
        ASSERT_NE (handler, nullptr);
        EXPECT_TRUE (readout.isShowing());
        EXPECT_EQ (handler->getRole(), juce::AccessibilityRole::progressBar);
        EXPECT_EQ (handler->getTitle(), formatNames[i]);
        ASSERT_NE (handler->getValueInterface(), nullptr);

        // Held at the first file it writes, or not started yet.
        const auto value = handler->getValueInterface()->getCurrentValueAsString();
        EXPECT_TRUE (value == "Unpacking, 0%" || value == "Waiting, 0%") << value;
        unpacking += value.startsWith ("Unpacking") ? 1 : 0;
    }

    EXPECT_GE (unpacking, 1);

    // The first row's bar is drawn, faint, where the VST3 row was.
    const auto image = component->createComponentSnapshot (component->getLocalBounds(), true, 1.0f);
    EXPECT_TRUE (snapshot::hasColourAt (image, 300, 219, snapshot::over (Palette::black, Palette::grey.withAlpha ((juce::uint8) 26))));

    // The window answers: a hover changes the hint line.
    pointer->moveToCentreOf (tab ("EULA"));
    EXPECT_EQ (hint(), "Click to read End-User License Agreement");
    pointer->moveToCentreOf (component->getControl ("CANCEL"));
    EXPECT_EQ (hint(), "Click to stop: formats not yet written stay as they were");

    // Closing cancels, says so, and closes only once every format is whole.
    auto closed = false;
    ASSERT_TRUE (component->closeWhenRunEnds ([&closed] { closed = true; }));
    EXPECT_EQ (hint(), juce::String (juce::CharPointer_UTF8 ("Finishing\xe2\x80\xa6")));
    EXPECT_FALSE (closed);

    gate.open();
    ASSERT_TRUE (dispatchMessagesUntil ([&closed] { return closed; }));

    EXPECT_TRUE (component->isRunFinished());
    EXPECT_FALSE (component->isRunWorking());
    EXPECT_EQ (oldClap.loadFileAsString(), "the old version");

    for (int i = 0; i < numFormats; ++i)
    {
        EXPECT_EQ (component->getResultLine (i), formatNames[i] + " not installed: cancelled. Nothing was changed.");

        // Nothing half-written, nothing left beside the bundles.
        const auto installFolder = component->getSession().getSetup().installFolders[(size_t) i];
        const auto children = installFolder.findChildFiles (juce::File::findFilesAndDirectories, false, "*");
        EXPECT_EQ (children.size(), i == 1 ? 1 : 0) << installFolder.getFullPathName();
    }
}

TEST_F (MainComponentRunTest, theResultViewHasALinePerTouchedFormatAndAShowInFolderButtonPerInstalledOne)
{
    struct Case
    {
        const char* name;
        std::array<bool, numFormats> selection;
        bool uninstall;
        bool vst3FolderBlocked; // below a file: VST3 fails
        std::array<const char*, numFormats> lines; // "@" stands for the bundle's path
        std::array<bool, numFormats> showButtons;
        bool asksForARescan;
    };

    const Case cases[] = {
        { "install", { true, true, false }, false, false,
          { "VST3 installed in @", "CLAP installed in @", "" }, { true, true, false }, true },
        { "uninstall", { false, true, true }, true, false,
          { "", "CLAP removed from @", "AAX was not installed in @" }, { false, false, false }, false },
        { "failure", { true, false, false }, false, true,
          { "VST3 not installed: the folder cannot be created. Nothing was changed.", "", "" }, { false, false, false }, false },
        { "mix", { true, false, true }, false, true,
          { "VST3 not installed: the folder cannot be created. Nothing was changed.", "", "AAX installed in @" },
          { false, false, true }, true },
    };

    for (const auto& c : cases)
    {
        const auto clap = folder / "Common Files/CLAP/Morvane4.clap";
        ASSERT_TRUE (clap.create().wasOk());
        ASSERT_TRUE ((folder / "in the way").create().wasOk());
        locations.defaultInstallFolders[0] = c.vst3FolderBlocked ? folder / "in the way/VST3" : makeTestLocations (folder).defaultInstallFolders[0];
        start();

        component->setSelection (c.selection);
        component->setUninstallMode (c.uninstall);
        component->installSelectedFormats();
        ASSERT_TRUE (dispatchMessagesUntil ([this] { return component->isRunFinished(); })) << c.name;

        for (int i = 0; i < numFormats; ++i)
        {
            const auto index = (size_t) i;
            const auto expected = juce::String (c.lines[index]).replace ("@", bundleOf (i).getFullPathName());
            EXPECT_EQ (component->getResultLine (i), expected) << c.name << " " << i;
            EXPECT_EQ (component->findPart ("RESULT_" + formatNames[index])->isShowing(), expected.isNotEmpty()) << c.name << " " << i;
            EXPECT_EQ (component->getControl ("SHOW_" + formatNames[index]).isShowing(), c.showButtons[index]) << c.name << " " << i;

            if (expected.isNotEmpty())
            {
                EXPECT_EQ (component->findPart ("RESULT_" + formatNames[index])->getAccessibilityHandler()->getTitle(), expected) << c.name;
            }
        }

        EXPECT_EQ (hint() == "Rescan plug-ins in your DAW to find Morvane4 4.0.2", c.asksForARescan) << c.name;

        TearDown();
        (folder / "Common Files").deleteRecursively();
        (folder / "in the way").deleteFile();
    }
}

TEST_F (MainComponentRunTest, theShowInFolderButtonsAreNamedAndInTheTabOrderAfterTheirLines)
{
    start();
    component->setSelection ({ true, false, true });
    component->installSelectedFormats();
    ASSERT_TRUE (dispatchMessagesUntil ([this] { return component->isRunFinished(); }));

    EXPECT_EQ (tabOrder(), juce::StringArray ("SHOW_VST3", "SHOW_AAX", "EULA", "MANUAL", "WEBSITE", "SUPPORT"));
    EXPECT_EQ (component->getControl ("SHOW_" + formatNames[0]).getAccessibilityHandler()->getTitle(), "Show VST3 in folder");
    EXPECT_EQ (component->getControl ("SHOW_" + formatNames[2]).getAccessibilityHandler()->getTitle(), "Show AAX in folder");
    EXPECT_LT (component->findPart ("RESULT_" + formatNames[0])->getExplicitFocusOrder(), component->getControl ("SHOW_" + formatNames[0]).getExplicitFocusOrder());
    EXPECT_LT (component->getControl ("SHOW_" + formatNames[0]).getExplicitFocusOrder(), component->findPart ("RESULT_" + formatNames[2])->getExplicitFocusOrder());
}

#if JUCE_LINUX
 #include <pwd.h>
 #include <sys/stat.h>

TEST_F (MainComponentRunTest, showInFolderRunsTheFileManagerWithTheBundlesPath)
{
    // A stand-in file manager first on the PATH writes down what it was asked to open.
    const auto bin = folder / "bin";
    const auto opened = folder / "opened.txt";
    ASSERT_TRUE (bin.createDirectory().wasOk());
    ASSERT_TRUE (bin.getChildFile ("xdg-open").replaceWithText ("#!/bin/sh\nprintf '%s' \"$1\" > \"" + opened.getFullPathName() + ".part\"\nmv \""
                                                                 + opened.getFullPathName() + ".part\" \"" + opened.getFullPathName() + "\"\n",
                                                                 false, false, "\n"));
    ASSERT_TRUE (bin.getChildFile ("xdg-open").setExecutePermission (true));
    const juce::String oldPath (getenv ("PATH"));
    setenv ("PATH", (bin.getFullPathName() + ":" + oldPath).toRawUTF8(), 1);
    // Root runs it as the desktop's user only (here nobody, who may write the record).
    setenv ("SUDO_UID", std::to_string (getpwnam ("nobody")->pw_uid).c_str(), 1);
    chmod (folder.get().getFullPathName().toRawUTF8(), 0777);

    start();
    component->setSelection ({ true, false, false });
    component->installSelectedFormats();
    ASSERT_TRUE (dispatchMessagesUntil ([this] { return component->isRunFinished(); }));
    pointer->clickOn (component->getControl ("SHOW_VST3"));

    // The file manager runs in a process of its own: wait for what it wrote.
    for (int i = 0; i < 500 && ! opened.existsAsFile(); ++i)
        juce::Thread::sleep (20);

    setenv ("PATH", oldPath.toRawUTF8(), 1);
    unsetenv ("SUDO_UID");
    EXPECT_EQ (opened.loadFileAsString(), bundleOf (0).getFullPathName());
}
#endif
