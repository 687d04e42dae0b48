// The main component as the keyboard and screen readers reach it: through JUCE's accessibility
// handlers and through keys typed into its window.
#include "ui/main/DesktopPointer.h"
#include "ui/main/MessagePump.h"
#include "ui/main/TestLocations.h"
#include "ui/panels/LicenceText.h"
#include "ui/panels/ThirdPartyNotices.h"
#include "ui/main/MainComponent.h"
#include "ui/style/Palette.h"

#include <gtest/gtest.h>

#include <set>

namespace
{
    using Role = juce::AccessibilityRole;

    const juce::KeyPress tab (juce::KeyPress::tabKey);
    const juce::KeyPress shiftTab (juce::KeyPress::tabKey, juce::ModifierKeys::shiftModifier, 0);
    const juce::KeyPress space (juce::KeyPress::spaceKey);
    const juce::KeyPress returnKey (juce::KeyPress::returnKey);
    const juce::KeyPress escape (juce::KeyPress::escapeKey);

    juce::String focusedName()
    {
        auto* focused = juce::Component::getCurrentlyFocusedComponent();
        return focused != nullptr ? focused->getName() : juce::String ("(none)");
    }

    /** The colour at a point of the component as drawn now, children included. */
    juce::Colour colourAt (juce::Component& component, juce::Point<int> point)
    {
        return component.createComponentSnapshot ({ point.x, point.y, 1, 1 }, true, 1.0f).getPixelAt (0, 0);
    }

    bool isNear (juce::Colour a, juce::Colour b)
    {
        const auto near = [] (juce::uint8 x, juce::uint8 y) { return std::abs ((int) x - (int) y) <= 24; };
        return near (a.getRed(), b.getRed()) && near (a.getGreen(), b.getGreen()) && near (a.getBlue(), b.getBlue());
    }

    /** A point on the focus ring of a control: left of it, half-way down. */
    juce::Point<int> onRingOf (const juce::Component& control)
    {
        const auto gap = juce::roundToInt (0.6f * (float) control.getParentWidth() / 100.0f);
        return { control.getX() - gap, control.getBounds().getCentreY() };
    }
} // namespace

/** The main component in a window-like host that takes the focus first, as the main window does. */
class MainComponentAccessTest : public TestLocationsFixture
{
protected:
    void SetUp() override
    {
        component = std::make_unique<MainComponent> (locations);
        component->setURLLauncher ([this] (const juce::URL& url) { launched.add (url.toString (true)); });
        component->setAnnouncer ([this] (const juce::String& text) { announced.add (text); });

        host.setWantsKeyboardFocus (true);
        host.setSize (component->getWidth(), component->getHeight());
        host.addAndMakeVisible (*component);
        pointer = std::make_unique<DesktopPointer> (host);
        host.grabKeyboardFocus();
    }

    void TearDown() override
    {
        pointer.reset();
        component.reset();
    }

    static juce::AccessibilityHandler& handlerOf (juce::Component& control)
    {
        if (auto* handler = control.getAccessibilityHandler())
            return *handler;

        throw std::runtime_error ("no accessibility handler for \"" + control.getName().toStdString() + "\"");
    }

    TransparentButton& button (const juce::String& name)
    {
        for (auto* child : component->getChildren())
            if (auto* b = dynamic_cast<TransparentButton*> (child); b != nullptr && b->getName() == name)
                return *b;

        throw std::runtime_error ("no button " + name.toStdString());
    }

    /** Tab until the named control has the focus; fails after a whole round. */
    void tabTo (const juce::String& name)
    {
        for (int i = 0; i < 12 && focusedName() != name; ++i)
            pointer->type (tab);

        ASSERT_EQ (focusedName(), name);
    }

    juce::Component host;
    std::unique_ptr<MainComponent> component;
    std::unique_ptr<DesktopPointer> pointer;
    juce::StringArray launched;
    juce::StringArray announced;
};

//==============================================================================
TEST_F (MainComponentAccessTest, everyControlHasItsTitleRoleAndHelpAndTabVisitsThemInReadingOrder)
{
    ASSERT_TRUE (host.hasKeyboardFocus (false)) << "the test display gives no keyboard focus";

    struct Expected
    {
        const char* name;
        const char* title;
        Role role;
        const char* help; // the hint line's text, which Tab shows there too
    };

    // In Tab order. SELECT ALL has no hint: the line keeps what it had, empty after AAX.
    const Expected expected[] = {
        { "VST3", "VST3", Role::toggleButton, "Select to install VST3" },
        { "CLAP", "CLAP", Role::toggleButton, "Select to install CLAP" },
        { "AAX", "AAX", Role::toggleButton, "Select to install AAX" },
        { "SELECT_ALL", "Select all", Role::button, "" },
        { "EULA", "Licence agreement", Role::button, "Click to read End-User License Agreement" },
        { "MANUAL", "Manual", Role::button, "Click to open product manual in your web browser" },
        { "WEBSITE", "Website", Role::button, "Click to open product page on the Tarnwick website" },
        { "SUPPORT", "Support", Role::button, "Email and Discord support" },
        { "INSTALL", "Install", Role::button, "Click to install selected. Shift-click to uninstall selected" },
    };

    EXPECT_EQ (component->getHintLine().getText(), "1.1.0");

    for (const auto& control : expected)
    {
        pointer->type (tab);
        EXPECT_EQ (focusedName(), control.name);

        auto& handler = handlerOf (button (control.name));
        EXPECT_EQ (handler.getTitle(), control.title) << control.name;
        EXPECT_EQ (handler.getRole(), control.role) << control.name;
        EXPECT_EQ (handler.getHelp(), control.help) << control.name;
        EXPECT_TRUE (handler.getCurrentState().isFocused()) << control.name;
        EXPECT_EQ (component->getHintLine().getText(), control.help) << "focus on " << control.name;
    }

    // Around again, and back.
    pointer->type (tab);
    EXPECT_EQ (focusedName(), "VST3");
    pointer->type (shiftTab);
    EXPECT_EQ (focusedName(), "INSTALL");
    pointer->type (shiftTab);
    EXPECT_EQ (focusedName(), "SUPPORT");
}

TEST_F (MainComponentAccessTest, everyControlAndReadableTextHasAPlaceOfItsOwnInTheReadingOrder)
{
    std::set<int> places;

    for (auto* child : component->getChildren())
    {
        // The views only paint; screen readers read them through the readable texts.
        if (dynamic_cast<PaintedView*> (child) != nullptr)
            continue;

        const auto place = child->getExplicitFocusOrder();
        EXPECT_GT (place, 0) << "child " << component->getIndexOfChildComponent (child) << " " << child->getName();
        EXPECT_TRUE (places.insert (place).second) << "place " << place << " is taken twice";
    }

    EXPECT_EQ (places.size(), readingOrder.size());
}

TEST_F (MainComponentAccessTest, aFormatIsAToggleCheckedWhenSelectedAndDescribedByItsStatusAsPainted)
{
    const auto modules = juce::File (TW_PE_MODULES_DIR);
    const auto vst3Module = folder / "Common Files/VST3/Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3";
    ASSERT_TRUE (vst3Module.getParentDirectory().createDirectory());
    ASSERT_TRUE (modules.getChildFile ("module-4.0.1.0.dll").copyFileTo (vst3Module));
    ASSERT_TRUE (lookAgainUntil (*component, [this] { return component->isBundlePresent (0); }));

    auto& vst3 = handlerOf (component->getControl ("VST3"));
    auto& clap = handlerOf (component->getControl ("CLAP"));

    EXPECT_EQ (vst3.getDescription(), "v4.0.1.0 NEEDS UPDATE");
    EXPECT_EQ (clap.getDescription(), "NOT INSTALLED");
    EXPECT_EQ (vst3.getHelp(), "Select to update VST3 to 4.0.2");

    // The disk changes; the description follows the next look.
    ASSERT_TRUE ((folder / "Common Files/CLAP").createDirectory());
    ASSERT_TRUE (modules.getChildFile ("module-4.0.2.0.dll").copyFileTo (folder / "Common Files/CLAP/Morvane4.clap"));
    ASSERT_TRUE (lookAgainUntil (*component, [this] { return component->isBundlePresent (1); }));
    EXPECT_EQ (clap.getDescription(), "v4.0.2.0 INSTALLED");

    EXPECT_TRUE (clap.getCurrentState().isCheckable());
    EXPECT_FALSE (clap.getCurrentState().isChecked());

    // The screen reader's press and toggle act as a click: the selection flips.
    clap.getActions().invoke (juce::AccessibilityActionType::press);
    EXPECT_TRUE (component->getSelection()[1]);
    EXPECT_TRUE (clap.getCurrentState().isChecked());

    clap.getActions().invoke (juce::AccessibilityActionType::toggle);
    EXPECT_FALSE (component->getSelection()[1]);
    EXPECT_FALSE (clap.getCurrentState().isChecked());

    handlerOf (component->getControl ("SELECT_ALL")).getActions().invoke (juce::AccessibilityActionType::press);
    EXPECT_TRUE (vst3.getCurrentState().isChecked());
    EXPECT_TRUE (clap.getCurrentState().isChecked());
}

TEST_F (MainComponentAccessTest, theProductIsReadableAndTheOutcomeOnlyAfterARun)
{
    auto& product = handlerOf (*component->findPart ("PRODUCT_LINE"));
    EXPECT_EQ (product.getRole(), Role::staticText);
    EXPECT_EQ (product.getTitle(), "Morvane4, version 4.0.2 for Windows");
    ASSERT_NE (product.getTextInterface(), nullptr);
    EXPECT_EQ (product.getTextInterface()->getAllText(), product.getTitle());
    EXPECT_TRUE (product.getTextInterface()->isReadOnly());

    EXPECT_FALSE (component->findPart ("OUTCOME")->isVisible());

    RunReport failed;
    failed.outcomes.add ({ 0, true, {}, {}, false });
    failed.outcomes.add ({ 1, false, "disk full", {}, false });
    failed.outcomes.add ({ 2, false, "access denied", {}, false });
    component->finishRun (failed);

    const auto lines = failed.getFailureLines();
    ASSERT_EQ (lines.size(), 2);
    EXPECT_TRUE (component->findPart ("OUTCOME")->isVisible());
    EXPECT_EQ (handlerOf (*component->findPart ("OUTCOME")).getTitle(), lines.joinIntoString ("\n"));
    EXPECT_EQ (announced, juce::StringArray (lines.joinIntoString ("\n")));
}

//==============================================================================
TEST_F (MainComponentAccessTest, spaceAndReturnPressTheFocusedControl)
{
    // From the window, shift-Tab goes to the last control; with nothing selected, it asks for a
    // selection, on the hint line and to the screen reader.
    pointer->type (shiftTab);
    EXPECT_EQ (focusedName(), "INSTALL");
    pointer->type (returnKey);
    EXPECT_FALSE (component->isRunFinished());
    EXPECT_EQ (announced, juce::StringArray ("Select one or more formats first"));
    EXPECT_EQ (component->getHintLine().getText(), announced[0]);

    tabTo ("VST3");
    pointer->type (space);
    EXPECT_EQ (component->getSelection(), (std::array<bool, numFormats> { true, false, false }));
    pointer->type (returnKey);
    EXPECT_EQ (component->getSelection(), (std::array<bool, numFormats> { false, false, false }));

    tabTo ("SELECT_ALL");
    pointer->type (space);
    EXPECT_EQ (component->getSelection(), (std::array<bool, numFormats> { true, true, true }));

    tabTo ("WEBSITE");
    pointer->type (returnKey);
    EXPECT_EQ (launched, juce::StringArray (Product::websiteAddress));

    // Keys that no control takes change nothing.
    pointer->type (juce::KeyPress ('x'));
    pointer->type (escape);
    EXPECT_EQ (focusedName(), "WEBSITE");
    EXPECT_EQ (launched.size(), 1);
}

TEST_F (MainComponentAccessTest, aPanelKeepsTabAmongItsControlsAndEscapeGivesTheFocusBackToItsTab)
{
    struct Case
    {
        const char* tab;
        const char* firstFocused; // the panel's control that the focus goes to
        int controls;             // that Tab goes round
        const char* textTitle;    // of the panel's readable text field
    };

    for (const auto& c : { Case { "EULA", "", 2, "Licence agreement" }, Case { "SUPPORT", "DISCORD", 4, "About Tarnwick Plugin Manager" } })
    {
        tabTo (c.tab);
        pointer->type (returnKey);

        auto* panel = component->getChildren().getLast();
        ASSERT_TRUE (panel == component->getLicencePanel() || panel == component->getSupportPanel()) << c.tab;
        EXPECT_EQ (focusedName(), c.firstFocused) << c.tab;

        // Its text is a readable text field.
        const auto isLicence = panel == component->getLicencePanel();
        auto& text = handlerOf (isLicence ? (juce::Component&) *component->getLicencePanel()->editor : *component->getSupportPanel()->aboutText);
        EXPECT_EQ (text.getRole(), Role::editableText);
        EXPECT_EQ (text.getTitle(), c.textTitle);
        ASSERT_NE (text.getTextInterface(), nullptr);
        EXPECT_EQ (text.getTextInterface()->getAllText(), isLicence ? withThirdPartyNotices (licenceText) : component->getSupportPanel()->getAboutText());

        // Around the panel's controls and only them; the focused one has the outline.
        juce::StringArray visited;

        for (int i = 0; i < c.controls; ++i)
        {
            pointer->type (tab);
            auto* focused = juce::Component::getCurrentlyFocusedComponent();
            ASSERT_NE (focused, nullptr);
            EXPECT_TRUE (panel->isParentOf (focused)) << c.tab << ": " << focused->getName();
            visited.addIfNotAlreadyThere (focused->getName());
            EXPECT_TRUE (isNear (colourAt (*panel, onRingOf (*focused)), Palette::white)) << focused->getName();
        }

        EXPECT_EQ (visited.size(), c.controls) << c.tab;
        EXPECT_EQ (focusedName(), c.firstFocused) << c.tab << ": the round ends where it began";

        // The covered controls are out of a screen reader's reach while the panel is open.
        EXPECT_EQ (component->getControl (formatNames[0]).getAccessibilityHandler(), nullptr);

        pointer->type (escape);
        EXPECT_EQ (panel->getParentComponent(), nullptr) << c.tab;
        EXPECT_EQ (focusedName(), c.tab);
        EXPECT_NE (component->getControl (formatNames[0]).getAccessibilityHandler(), nullptr);
    }
}

TEST_F (MainComponentAccessTest, anInstallAndAShiftUninstallRunFromTheKeyboardAreAnnounced)
{
    const auto bundle = folder / "Common Files/CLAP/Morvane4.clap";

    tabTo ("CLAP");
    pointer->type (space);
    pointer->type (shiftTab);
    pointer->type (shiftTab);
    ASSERT_EQ (focusedName(), "INSTALL");
    pointer->type (returnKey);
    component->waitForRun();

    EXPECT_TRUE (component->isRunFinished());
    EXPECT_TRUE (bundle.existsAsFile());
    EXPECT_EQ (announced, juce::StringArray ("Success"));
    EXPECT_EQ (handlerOf (*component->findPart ("OUTCOME")).getTitle(), "Success");

    // The next start: CLAP begins selected; shift held while pressing INSTALL uninstalls.
    pointer.reset();
    component.reset();
    announced.clear();
    SetUp();

    tabTo ("INSTALL");
    EXPECT_EQ (handlerOf (component->getControl ("INSTALL")).getTitle(), "Install");
    pointer->holdShift (true);
    EXPECT_EQ (handlerOf (component->getControl ("INSTALL")).getTitle(), "Uninstall");
    pointer->type (juce::KeyPress (juce::KeyPress::returnKey, juce::ModifierKeys::shiftModifier, 0));
    pointer->holdShift (false);
    component->waitForRun();

    EXPECT_TRUE (component->getRunReport().uninstall);
    EXPECT_FALSE (bundle.exists());
    EXPECT_EQ (announced, juce::StringArray ("Success"));
}

TEST_F (MainComponentAccessTest, theFocusOutlineShowsOnlyAfterAKeyAndAMousePressHidesIt)
{
    // An installed, selected row: blue face with the yellow selection outline.
    const auto modules = juce::File (TW_PE_MODULES_DIR);
    const auto clapFile = folder / "Common Files/CLAP/Morvane4.clap";
    ASSERT_TRUE (clapFile.getParentDirectory().createDirectory());
    ASSERT_TRUE (modules.getChildFile ("module-4.0.2.0.dll").copyFileTo (clapFile));
    pointer.reset();
    component.reset();
    SetUp();
    ASSERT_TRUE (component->getSelection()[1]);

    auto& vst3 = component->getControl ("VST3");
    auto& clap = component->getControl ("CLAP");

    // A mouse click gives the focus but shows no outline, as without a keyboard.
    pointer->clickOn (vst3);
    EXPECT_EQ (focusedName(), "VST3");
    EXPECT_TRUE (isNear (colourAt (*component, onRingOf (vst3)), Palette::black));

    // The keyboard goes on from there; only the focused row has the outline, whatever its face.
    pointer->type (tab);
    EXPECT_EQ (focusedName(), "CLAP");
    EXPECT_TRUE (isNear (colourAt (*component, onRingOf (clap)), Palette::white));
    EXPECT_TRUE (isNear (colourAt (*component, onRingOf (vst3)), Palette::black));

    pointer->type (shiftTab);
    EXPECT_TRUE (isNear (colourAt (*component, onRingOf (vst3)), Palette::white));
    EXPECT_TRUE (isNear (colourAt (*component, onRingOf (clap)), Palette::black));

    // A mouse press anywhere hides it; the focus stays.
    pointer->moveTo (*component, { 300, 20 });
    pointer->press();
    pointer->release();
    EXPECT_EQ (focusedName(), "VST3");
    EXPECT_TRUE (isNear (colourAt (*component, onRingOf (vst3)), Palette::black));
}
