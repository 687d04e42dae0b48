#include "ui/main/DesktopPointer.h"
#include "ui/main/MessagePump.h"
#include "ui/main/TestLocations.h"
#include "ui/panels/LicenceText.h"
#include "ui/panels/ThirdPartyNotices.h"
#include "ui/main/MainComponent.h"
#include "ui/panels/SupportMail.h"

#include <gtest/gtest.h>

class MainComponentInteractionTest : public TestLocationsFixture
{
protected:
    void SetUp() override
    {
        component = std::make_unique<MainComponent> (locations);
        component->setURLLauncher ([this] (const juce::URL& url) { launched.add (url.toString (true)); });
    }

    void click (juce::Button& button) { component->buttonClicked (&button); }

    juce::TextButton& tab (const juce::String& name) { return component->getControl (name); }

    juce::String hint() const { return component->getHintLine().getText(); }

    template <typename Panel>
    int countChildren() const
    {
        int count = 0;

        for (auto* child : component->getChildren())
            if (dynamic_cast<Panel*> (child) != nullptr)
                ++count;

        return count;
    }

    std::unique_ptr<MainComponent> component;
    juce::StringArray launched;
};

//==============================================================================
TEST_F (MainComponentInteractionTest, aFormatClickedTwiceIsAsBefore)
{
    // CLAP starts selected (its bundle is present), VST3 and AAX do not.
    (folder / "Common Files/CLAP/Morvane4.clap").create();
    SetUp();
    const std::array<bool, numFormats> initial { false, true, false };
    ASSERT_EQ (component->getSelection(), initial);

    for (size_t i = 0; i < numFormats; ++i)
    {
        click (component->getControl (formatNames[i]));
        EXPECT_EQ (component->getSelection()[i], ! initial[i]) << formatNames[(int) i];

        for (size_t other = 0; other < numFormats; ++other)
        {
            if (other != i)
            {
                EXPECT_EQ (component->getSelection()[other], initial[other]) << "clicking " << formatNames[(int) i];
            }
        }

        click (component->getControl (formatNames[i]));
        EXPECT_EQ (component->getSelection(), initial) << formatNames[(int) i];
    }
}

TEST_F (MainComponentInteractionTest, selectAllSelectsEveryFormatAndNeverClears)
{
    click (component->getControl (formatNames[1]));
    click (component->getControl ("SELECT_ALL"));
    EXPECT_EQ (component->getSelection(), (std::array<bool, numFormats> { true, true, true }));

    click (component->getControl ("SELECT_ALL"));
    EXPECT_EQ (component->getSelection(), (std::array<bool, numFormats> { true, true, true }));

    // A format can still be cleared on its own afterwards.
    click (component->getControl (formatNames[2]));
    EXPECT_EQ (component->getSelection(), (std::array<bool, numFormats> { true, true, false }));
}

TEST_F (MainComponentInteractionTest, websiteAndManualOpenTheirAddressesAndNothingElseOpensOne)
{
    click (tab ("WEBSITE"));
    click (tab ("MANUAL"));
    EXPECT_EQ (launched, juce::StringArray (Product::websiteAddress, Product::manualAddress));

    launched.clear();
    click (component->getControl (formatNames[0]));
    click (component->getControl ("SELECT_ALL"));
    click (tab ("EULA"));
    click (tab ("SUPPORT"));
    EXPECT_TRUE (launched.isEmpty());
}

TEST_F (MainComponentInteractionTest, aButtonWithAnotherNameChangesNothing)
{
    juce::TextButton stranger;
    stranger.setName ("Select_All");
    click (stranger);
    stranger.setName ("");
    click (stranger);

    EXPECT_EQ (component->getSelection(), (std::array<bool, numFormats> { false, false, false }));
    EXPECT_FALSE (component->isRunFinished());
    EXPECT_EQ (component->getLicencePanel(), nullptr);
    EXPECT_EQ (component->getSupportPanel(), nullptr);
    EXPECT_TRUE (launched.isEmpty());
}

TEST_F (MainComponentInteractionTest, installRunsTheRunAndHidesTheInstallControls)
{
    click (component->getControl (formatNames[1]));
    click (component->getControl ("INSTALL"));
    component->waitForRun();

    EXPECT_TRUE (component->isRunFinished());
    EXPECT_FALSE (component->getControl ("INSTALL").isVisible());
    EXPECT_FALSE (component->getControl ("SELECT_ALL").isVisible());

    for (const auto& name : formatNames)
        EXPECT_FALSE (component->getControl (name).isVisible());

    for (const auto* name : { "EULA", "MANUAL", "WEBSITE", "SUPPORT" })
        EXPECT_TRUE (component->getControl (name).isVisible());
}

//==============================================================================
namespace
{
    /** The caption under INSTALL as drawn now: the bounds moved down by 3.5 units, a little wider. */
    juce::Image captionUnderInstall (MainComponent& component)
    {
        const auto caption = component.getControl ("INSTALL").getBounds().translated (0, 21).expanded (20, 0);
        return component.createComponentSnapshot (caption, true, 1.0f);
    }

    bool sameImages (const juce::Image& a, const juce::Image& b)
    {
        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                    return false;

        return a.getBounds() == b.getBounds();
    }
} // namespace

TEST_F (MainComponentInteractionTest, shiftAloneSwitchesTheInstallCaptionBackAndForth)
{
    const auto install = captionUnderInstall (*component);

    component->modifierKeysChanged (juce::ModifierKeys (juce::ModifierKeys::shiftModifier));
    const auto uninstall = captionUnderInstall (*component);
    EXPECT_FALSE (sameImages (install, uninstall));

    component->modifierKeysChanged (juce::ModifierKeys());
    EXPECT_TRUE (sameImages (install, captionUnderInstall (*component)));

    // Control and alt change nothing that is drawn there.
    component->modifierKeysChanged (juce::ModifierKeys (juce::ModifierKeys::ctrlModifier | juce::ModifierKeys::altModifier));
    EXPECT_TRUE (sameImages (install, captionUnderInstall (*component)));
}

TEST_F (MainComponentInteractionTest, shiftSwitchesUninstallModeAndTheOtherKeysDoNot)
{
    using juce::ModifierKeys;

    component->modifierKeysChanged (ModifierKeys (ModifierKeys::shiftModifier));
    EXPECT_TRUE (component->isUninstallMode());
    EXPECT_EQ (component->getModifierFlags(), 1);

    component->modifierKeysChanged (ModifierKeys (ModifierKeys::shiftModifier | ModifierKeys::ctrlModifier));
    EXPECT_TRUE (component->isUninstallMode());
    EXPECT_EQ (component->getModifierFlags(), 3);

    component->modifierKeysChanged (ModifierKeys (ModifierKeys::ctrlModifier | ModifierKeys::altModifier));
    EXPECT_FALSE (component->isUninstallMode());
    EXPECT_EQ (component->getModifierFlags(), 6);

    component->modifierKeysChanged (ModifierKeys (ModifierKeys::altModifier));
    EXPECT_FALSE (component->isUninstallMode());

    // Mouse buttons are not modifier keys here: only the four low flags are kept.
    component->modifierKeysChanged (ModifierKeys (ModifierKeys::leftButtonModifier | ModifierKeys::shiftModifier));
    EXPECT_TRUE (component->isUninstallMode());
    EXPECT_EQ (component->getModifierFlags(), 1);

    component->modifierKeysChanged (ModifierKeys());
    EXPECT_FALSE (component->isUninstallMode());
    EXPECT_EQ (component->getModifierFlags(), 0);
}

//==============================================================================
TEST_F (MainComponentInteractionTest, theLicencePanelOpensOverEverythingWithTheLicenceText)
{
    click (tab ("EULA"));

    auto* panel = component->getLicencePanel();
    ASSERT_NE (panel, nullptr);
    EXPECT_EQ (panel->getParentComponent(), component.get());
    EXPECT_EQ (component->getChildren().getLast(), panel);
    EXPECT_TRUE (panel->isVisible());
    EXPECT_TRUE (panel->isAlwaysOnTop());
    EXPECT_EQ (panel->getBounds(), component->getBounds());
    EXPECT_FLOAT_EQ (panel->unit, 6.0f);
    EXPECT_EQ (panel->editor->getText(), withThirdPartyNotices (licenceText));
}

TEST_F (MainComponentInteractionTest, openingAPanelTwiceLeavesOneAndDestroysTheFirst)
{
    click (tab ("EULA"));
    const juce::Component::SafePointer<juce::Component> firstLicence (component->getLicencePanel());
    click (tab ("EULA"));

    EXPECT_EQ (firstLicence, nullptr);
    EXPECT_EQ (countChildren<LicencePanel>(), 1);

    click (tab ("SUPPORT"));
    const juce::Component::SafePointer<juce::Component> firstSupport (component->getSupportPanel());
    click (tab ("SUPPORT"));

    EXPECT_EQ (firstSupport, nullptr);
    EXPECT_EQ (countChildren<SupportPanel>(), 1);
    EXPECT_EQ (countChildren<LicencePanel>(), 1);

    // The later panel is in front of the earlier one.
    EXPECT_EQ (component->getChildren().getLast(), component->getSupportPanel());
}

TEST_F (MainComponentInteractionTest, closingAPanelRemovesItButKeepsItOwnedUntilTheTabIsClickedAgain)
{
    click (tab ("EULA"));
    auto* licence = component->getLicencePanel();
    licence->buttonClicked (licence->closeButton.get());

    EXPECT_EQ (licence->getParentComponent(), nullptr);
    EXPECT_EQ (component->getLicencePanel(), licence);
    EXPECT_EQ (countChildren<LicencePanel>(), 0);

    // A layout does not bring it back.
    component->setSize (700, 700);
    EXPECT_EQ (licence->getParentComponent(), nullptr);

    const juce::Component::SafePointer<juce::Component> closed (licence);
    click (tab ("EULA"));
    EXPECT_EQ (closed, nullptr);
    EXPECT_EQ (countChildren<LicencePanel>(), 1);
    EXPECT_FLOAT_EQ (component->getLicencePanel()->unit, 7.0f);

    click (tab ("SUPPORT"));
    auto* support = component->getSupportPanel();
    support->buttonClicked (support->closeButton.get());
    EXPECT_EQ (support->getParentComponent(), nullptr);
    EXPECT_EQ (component->getSupportPanel(), support);
}

TEST_F (MainComponentInteractionTest, aResizeKeepsOpenPanelsCoveringTheComponent)
{
    click (tab ("EULA"));
    click (tab ("SUPPORT"));
    component->setSize (900, 900);

    for (auto* panel : { (juce::Component*) component->getLicencePanel(), (juce::Component*) component->getSupportPanel() })
        EXPECT_EQ (panel->getBounds(), juce::Rectangle<int> (0, 0, 900, 900));

    EXPECT_FLOAT_EQ (component->getLicencePanel()->unit, 9.0f);
    EXPECT_FLOAT_EQ (component->getSupportPanel()->unit, 9.0f);
    EXPECT_EQ (component->getLicencePanel()->editor->getBounds(), juce::Rectangle<int> (36, 108, 828, 720));
    EXPECT_EQ (component->getSupportPanel()->mailButton->getBounds(), juce::Rectangle<int> (90, 315, 90, 90));
}

TEST_F (MainComponentInteractionTest, editingTheLicenceLivesOnlyInThatPanel)
{
    click (tab ("EULA"));
    component->getLicencePanel()->editor->setCaretPosition (0);
    component->getLicencePanel()->editor->insertTextAtCaret ("I have changed this. ");
    EXPECT_NE (component->getLicencePanel()->editor->getText(), withThirdPartyNotices (licenceText));

    click (tab ("EULA"));
    EXPECT_EQ (component->getLicencePanel()->editor->getText(), withThirdPartyNotices (licenceText));
}

TEST_F (MainComponentInteractionTest, theSupportPanelGetsTheSettingsPathAndProductAndOpensItsLinks)
{
    click (tab ("SUPPORT"));

    auto* panel = component->getSupportPanel();
    ASSERT_NE (panel, nullptr);
    EXPECT_EQ (panel->settingsFolderPath, (folder / "ProgramData/Tarnwick").getFullPathName());
    EXPECT_EQ (panel->productName, "Morvane4");
    EXPECT_EQ (panel->productVersion, "4.0.2");
    EXPECT_TRUE (panel->isAlwaysOnTop());
    EXPECT_EQ (panel->getBounds(), component->getBounds());
    EXPECT_FLOAT_EQ (panel->unit, 6.0f);

    panel->buttonClicked (panel->discordButton.get());
    panel->buttonClicked (panel->mailButton.get());

    ASSERT_EQ (launched.size(), 2);
    EXPECT_EQ (launched[0], Support::chatInvitationAddress);
    // The link reaches the system exactly as built, parentheses and all.
    EXPECT_EQ (launched[1], buildSupportMailLink ("Morvane4", "4.0.2", SystemDescription::fromSystem()));
    EXPECT_EQ (panel->getParentComponent(), component.get());
}

//==============================================================================
/** The same component on the desktop, driven with the pointer. */
class MainComponentPointerTest : public MainComponentInteractionTest
{
protected:
    void SetUp() override
    {
        MainComponentInteractionTest::SetUp();
        pointer = std::make_unique<DesktopPointer> (*component);
    }

    void TearDown() override { pointer.reset(); }

    std::unique_ptr<DesktopPointer> pointer;
};

TEST_F (MainComponentPointerTest, eachTabAndInstallExplainsItselfAndLeavingClearsTheLine)
{
    EXPECT_EQ (hint(), "1.1.0");

    const std::pair<const char*, const char*> expected[] = {
        { "EULA", "Click to read End-User License Agreement" },
        { "MANUAL", "Click to open product manual in your web browser" },
        { "WEBSITE", "Click to open product page on the Tarnwick website" },
        { "SUPPORT", "Email and Discord support" },
    };

    for (const auto& [name, text] : expected)
    {
        pointer->moveToCentreOf (tab (name));
        EXPECT_EQ (hint(), text) << name;
    }

    pointer->moveToCentreOf (component->getControl ("INSTALL"));
    EXPECT_EQ (hint(), "Click to install selected. Shift-click to uninstall selected");

    // The same with shift held.
    component->modifierKeysChanged (juce::ModifierKeys (juce::ModifierKeys::shiftModifier));
    pointer->moveTo (component->getControl ("INSTALL"), { 5, 5 });
    pointer->moveToCentreOf (component->getControl ("INSTALL"));
    EXPECT_EQ (hint(), "Click to install selected. Shift-click to uninstall selected");

    pointer->moveTo (*component, { 300, 20 }); // the header: no button
    EXPECT_EQ (hint(), "");

    // The version never comes back.
    pointer->leave();
    EXPECT_EQ (hint(), "");
}

TEST_F (MainComponentPointerTest, aFormatOffersInstallOrUpdateByWhetherItsBundleIsThereNow)
{
    const std::array<juce::File, numFormats> bundles { folder / "Common Files/VST3/Morvane4.vst3",
                                                      folder / "Common Files/CLAP/Morvane4.clap",
                                                      folder / "Common Files/Avid/Audio/Plug-Ins/Morvane4.aaxplugin" };

    for (size_t i = 0; i < numFormats; ++i)
    {
        const auto name = formatNames[(int) i];
        pointer->moveToCentreOf (component->getControl (name));
        EXPECT_EQ (hint(), "Select to install " + name);

        // A bundle folder, or the CLAP file, comes: the hint of the row under the pointer follows
        // the session's next look with no further move.
        ASSERT_TRUE (i == 1 ? bundles[i].create().wasOk() : bundles[i].createDirectory().wasOk());
        ASSERT_TRUE (lookAgainUntil (*component, [&] { return component->isBundlePresent ((int) i); }));
        EXPECT_EQ (hint(), "Select to update " + name + " to 4.0.2");

        // Pressing and releasing asks for a look too.
        ASSERT_TRUE (bundles[i].deleteRecursively());
        pointer->press();
        pointer->release();
        ASSERT_TRUE (dispatchMessagesUntil ([&] { return ! component->isBundlePresent ((int) i); }));
        EXPECT_EQ (hint(), "Select to install " + name);
    }
}

TEST_F (MainComponentPointerTest, selectAllKeepsTheHintLineAndLeavingItEmptiesIt)
{
    pointer->moveToCentreOf (component->getControl ("SELECT_ALL"));
    EXPECT_EQ (hint(), "1.1.0");

    pointer->moveToCentreOf (tab ("EULA"));
    pointer->moveToCentreOf (component->getControl ("SELECT_ALL"));
    EXPECT_EQ (hint(), "");

    pointer->moveToCentreOf (tab ("SUPPORT"));
    pointer->moveToCentreOf (component->getControl ("SELECT_ALL"));
    EXPECT_EQ (hint(), "");

    pointer->clickOn (tab ("SUPPORT"));
    pointer->leave();
    EXPECT_EQ (hint(), "");
}

TEST_F (MainComponentPointerTest, realClicksSelectAFormatAndOpenThePanel)
{
    pointer->clickOn (component->getControl (formatNames[2]));
    EXPECT_EQ (component->getSelection(), (std::array<bool, numFormats> { false, false, true }));

    pointer->clickOn (component->getControl ("SELECT_ALL"));
    EXPECT_EQ (component->getSelection(), (std::array<bool, numFormats> { true, true, true }));

    pointer->clickOn (tab ("EULA"));
    ASSERT_NE (component->getLicencePanel(), nullptr);
    EXPECT_EQ (component->getLicencePanel()->getParentComponent(), component.get());

    // The panel covers the buttons: a click where a format row is reaches the panel, not the row.
    pointer->clickOn (component->getControl (formatNames[0]));
    EXPECT_TRUE (component->getSelection()[0]);

    pointer->clickOn (*component->getLicencePanel()->closeButton);
    EXPECT_EQ (component->getLicencePanel()->getParentComponent(), nullptr);

    pointer->clickOn (component->getControl (formatNames[0]));
    EXPECT_FALSE (component->getSelection()[0]);
}

TEST_F (MainComponentPointerTest, installWithNothingSelectedStartsNoRunAndAsksForASelection)
{
    // CLAP is installed and begins selected; the user clears it.
    const auto clapBundle = folder / "Common Files/CLAP/Morvane4.clap";
    ASSERT_TRUE (clapBundle.create().wasOk());
    TearDown();
    SetUp();
    pointer->clickOn (component->getControl (formatNames[1]));
    ASSERT_EQ (component->getSelection(), (std::array<bool, numFormats> { false, false, false }));

    for (const auto shift : { false, true })
    {
        const auto mode = shift ? "shift-click" : "click";
        component->modifierKeysChanged (shift ? juce::ModifierKeys (juce::ModifierKeys::shiftModifier) : juce::ModifierKeys());
        pointer->clickOn (component->getControl ("INSTALL"));

        EXPECT_FALSE (component->isRunFinished()) << mode;
        EXPECT_TRUE (component->getRunReport().outcomes.isEmpty()) << mode;
        EXPECT_TRUE (component->getControl ("INSTALL").isVisible() && component->getControl ("SELECT_ALL").isVisible()) << mode;

        for (const auto& name : formatNames)
            EXPECT_TRUE (component->getControl (name).isVisible()) << mode;

        EXPECT_TRUE (clapBundle.existsAsFile()) << mode;
        EXPECT_FALSE ((folder / "Common Files/VST3").exists()) << mode;
        EXPECT_EQ (hint(), "Select one or more formats first") << mode;

        // The request stays while the pointer goes nowhere else, and gives way to the next button.
        pointer->moveTo (*component, { 300, 20 });
        EXPECT_EQ (hint(), "Select one or more formats first") << mode;
        pointer->moveToCentreOf (tab ("EULA"));
        EXPECT_EQ (hint(), "Click to read End-User License Agreement") << mode;
        pointer->moveToCentreOf (component->getControl ("INSTALL"));
        EXPECT_EQ (hint(), "Click to install selected. Shift-click to uninstall selected") << mode;
    }

    // Selecting a format and clicking again installs as usual.
    component->modifierKeysChanged (juce::ModifierKeys());
    pointer->clickOn (component->getControl (formatNames[0]));
    pointer->clickOn (component->getControl ("INSTALL"));
    component->waitForRun();

    EXPECT_TRUE (component->isRunFinished());
    EXPECT_TRUE (component->getRunReport().allSucceeded());
    EXPECT_EQ (component->getShownStatus (0).state, InstallState::Installed);
    EXPECT_TRUE (clapBundle.existsAsFile());
}
