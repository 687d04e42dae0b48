// The overlay panels of the main window: the licence agreement and the support panel, which cover
// it one at a time and keep the keyboard among their own controls while open.
#pragma once

#include "ui/panels/LicencePanel.h"
#include "ui/panels/SupportPanel.h"

/** What the support panel tells about this copy of the installer. */
struct SupportDetails
{
    juce::String settingsFolderPath;
    juce::String settingsNotice;
    juce::String productName;
    juce::String productVersion;
    PanelParts::URLLauncher launchURL;
};

/**
    Opens the panels over `owner` and closes them: while one is open the owner's other children
    are out of reach of screen readers, and when it closes the focus goes back to the tab that
    opened it.
*/
class MainPanels final
{
public:
    /** `isKeyboardFocusShown` says whether the focus outline shows (a key was pressed last). */
    MainPanels (juce::Component& owner, std::function<bool()> isKeyboardFocusShown);

    void openLicence (juce::Component& tab, float unit);
    void openSupport (juce::Component& tab, const SupportDetails& details, float unit);

    /** The open panel (the frontmost), or nullptr. */
    OverlayPanel* findShown() const;

    /** Keys that no control took: Escape closes the open panel; Tab from outside the controls of
        the open panel (or, with none open, the owner's) goes to the first of them, shift-Tab to
        the last. Whether the key was used. */
    bool handleUnusedKey (const juce::KeyPress& key);

    /** Covers the owner's area anew at its unit; a panel that closed keeps its size off screen. */
    void cover (float unit);

    /** Repaints the panels (the focus outline came or went). */
    void repaintPanels();

    LicencePanel* getLicencePanel() const { return licence.get(); }
    SupportPanel* getSupportPanel() const { return support.get(); }

private:
    void opened (OverlayPanel& panel, juce::Component& tab, float unit);
    void setOwnerControlsAccessible (bool shouldBeAccessible);

    juce::Component& owner;
    const std::function<bool()> keyboardFocusShown;
    std::unique_ptr<LicencePanel> licence;
    std::unique_ptr<SupportPanel> support;

    JUCE_DECLARE_NON_COPYABLE (MainPanels)
};
