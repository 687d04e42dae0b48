// The component that fills the installer's window and holds its whole state.
#pragma once

#include "main/MainControls.h"
#include "main/engine/Catalogue.h"
#include "main/engine/InstallDetection.h"
#include "main/engine/InstallRun.h"
#include "panels/panel_eula.h"
#include "panels/panel_support.h"
#include "style/CustomLookAndFeel.h"

#include <juce_gui_basics/juce_gui_basics.h>

class KeyWatcher;

/** Tab names by tab index: "EULA", "MANUAL", "WEBSITE", "SUPPORT". */
extern const juce::StringArray tabNames;

/**
    Fills the main window: header, format rows, tabs and the INSTALL button.

    Its nine buttons are transparent click targets named after their command; paint() draws what
    the user sees of them. The state is kept in plain members that the component's operations
    read and write directly.
*/
class MainComponent final : public juce::Component,
                            public juce::Button::Listener
{
public:
    /** Uses the real system folders. */
    MainComponent();

    /** Uses the given folders in place of the system's (for tests). */
    explicit MainComponent (const SystemLocations& locations);

    ~MainComponent() override;

    //==============================================================================
    void paint (juce::Graphics&) override;
    void modifierKeysChanged (const juce::ModifierKeys& modifiers) override;
    void resized() override;

    void buttonClicked (juce::Button*) override;
    void buttonStateChanged (juce::Button*) override;

    //==============================================================================
    /** The installed state of format 0..2, read from disk now. */
    FormatStatus detectInstallState (int formatIndex) const;

    /** Installs (or, in uninstall mode, removes) every selected format, then shows the result. */
    void installSelectedFormats();

    /** Ends a run: keeps its report, hides the install controls for good, shows the result and
        announces it. */
    void finishRun (RunReport report);

    //==============================================================================
    // The keyboard and screen readers.

    /** The hint line's text for a button that is pointed at (hovered, or focused from the
        keyboard), or nothing for a button that leaves the hint line as it is. */
    std::optional<juce::String> getHintText (const juce::String& buttonName) const;

    /** The run's outcome in words: "Success", or the failure lines; empty before a run. */
    juce::String getOutcomeText() const;

    /** Turns the keyboard focus outline and focus hints on (a key was pressed) or off (a mouse
        button was). */
    void setKeyboardFocusShown (bool shouldBeShown);

    /** Keys that no control took, from anywhere in the window: Tab into the controls when the
        focus is elsewhere, Escape to close an open panel. */
    bool handleUnusedKey (const juce::KeyPress& key);

    void paintOverChildren (juce::Graphics&) override;
    void parentHierarchyChanged() override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

    //==============================================================================
    int lastModifierFlags = 0;
    CustomLookAndFeel customLookAndFeel;
    float unit = 9.0f;
    juce::String productName;
    juce::String productVersion;
    juce::String platformSuffix;
    std::array<std::unique_ptr<juce::TextButton>, 4> tabButtons;
    std::array<std::unique_ptr<juce::TextButton>, numFormats> formatButtons;
    std::unique_ptr<juce::TextButton> installButton;
    std::unique_ptr<juce::TextButton> selectAllButton;
    std::unique_ptr<panel_eula> eulaPanel;
    std::unique_ptr<panel_support> supportPanel;
    std::unique_ptr<juce::Label> hintLabel;
    std::array<std::unique_ptr<juce::Drawable>, numFormats> formatIcons;
    std::array<std::unique_ptr<juce::Drawable>, 5> buttonIcons; // the tabs', then INSTALL's
    std::unique_ptr<juce::Drawable> logo;
    std::unique_ptr<juce::Drawable> warningIcon; // the failure view's mark, in its own colours
    juce::URL websiteURL;
    juce::URL manualURL;
    juce::File settingsFolder;
    bool uninstallMode = false;
    bool runFinished = false;
    bool askedToSelectFirst = false; // INSTALL was clicked with nothing selected
    std::array<bool, numFormats> selected {};
    std::array<juce::File, numFormats> installFolders;

    juce::File temporaryFolder; // where a leftover "script.sh" is removed at exit
    RunReport runReport;        // the outcome of the finished run
    juce::File keptCopyFolder;  // where the installer keeps its copy for Installed apps (none in tests)
    juce::String entryNotice;   // what went wrong with the entry in Installed apps; empty when nothing did

    /** Opens the website, the manual and (through the support panel) the chat and mail links;
        tests replace it to see what would be opened. */
    PanelParts::URLLauncher launchURL = PanelParts::getDefaultLauncher();

    bool keyboardFocusShown = false; // a key was pressed after the last mouse button

    /** The painted texts that carry meaning, for screen readers: the product with its version,
        and after a run its outcome. */
    std::unique_ptr<ReadableText> productText;
    std::unique_ptr<ReadableText> outcomeText;

    /** Has the screen reader say a text; tests replace it to hear what would be said. */
    std::function<void (const juce::String&)> announce = [] (const juce::String& text)
    {
        juce::AccessibilityHandler::postAnnouncement (text, juce::AccessibilityHandler::AnnouncementPriority::high);
    };

private:
    void paintHeader (juce::Graphics&);
    void paintSections (juce::Graphics&);
    void paintTabFaces (juce::Graphics&);
    void paintResult (juce::Graphics&);
    void paintFormatRows (juce::Graphics&);

    std::unique_ptr<juce::TextButton> createButton (const MainControl& control);
    std::unique_ptr<juce::TextButton>& getButtonHolder (const MainControl& control);
    std::unique_ptr<juce::Drawable>& getIconHolder (const MainControl& control);
    void describe (TransparentButton& button, const MainControl& control);
    void placeInReadingOrder();
    void openedPanel (OverlayPanel& panel, juce::Component& tab);
    OverlayPanel* findShownPanel() const;
    void setMainControlsAccessible (bool shouldBeAccessible);

    std::unique_ptr<KeyWatcher> keyWatcher;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
