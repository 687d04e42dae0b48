// The component that fills the installer's window and holds its whole state.
#pragma once

#include "ui/main/MainControls.h"
#include "engine/Catalogue.h"
#include "engine/InstallDetection.h"
#include "engine/InstallRun.h"
#include "ui/panels/LicencePanel.h"
#include "ui/panels/SupportPanel.h"
#include "ui/style/CustomLookAndFeel.h"
#include "ui/widgets/AddressNotice.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <thread>

class KeyWatcher;
class ShutdownBlock;

/** What the format rows show, worked out from the disk at one moment. */
struct FormatsSnapshot
{
    std::array<FormatStatus, numFormats> statuses;
};

/**
    Fills the main window: header, format rows, tabs and the INSTALL button.

    Its nine buttons are transparent click targets named after their command; paint() draws what
    the user sees of them. The state is kept in plain members that the component's operations
    read and write directly.
*/
class MainComponent final : public juce::Component,
                            public juce::Button::Listener,
                            private juce::Timer
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
    /** The installed state of format 0..2: read from disk now before any run; while a run works
        and after it, as the snapshot taken before and after it says, so that the message thread
        never waits on a disk the run is busy with. */
    FormatStatus detectInstallState (int formatIndex) const;

    /** Whether format 0..2 has a bundle in its folder, from the same source as detectInstallState. */
    bool isBundlePresent (int formatIndex) const;

    /** Starts installing (or, in uninstall mode, removing) every selected format on worker
        threads, shows the progress view, and returns at once; the result view follows when every
        format is done. */
    void installSelectedFormats();

    /** Ends a run: keeps its report, hides the install controls for good, shows the result and
        announces it. */
    void finishRun (RunReport report);

    /** Whether a run is at work. */
    bool isRunWorking() const { return runWorker.joinable(); }

    /** Asks the working run to stop each format at its next piece; each format then stays as it
        was, unless it was already swapped. */
    void cancelRun();

    /** Closing while a run works: cancels it, says "Finishing…" and calls `close` once every format
        is whole; returns true. Returns false, and calls nothing, when no run works. */
    bool closeWhenRunEnds (std::function<void()> close);

    /** Waits for the working run's workers, then ends the run as its end message would. */
    void waitForRun();

    /** The line the result view shows for format 0..2, or "" when the run did not touch it: the
        command line's line, then what it prints below it (the holders, other copies). */
    juce::String getResultLine (int formatIndex) const;

    /** What the command line prints below a format's line: the programs that hold its bundle and
        the other copies a host may load first. */
    juce::StringArray getResultNotes (int formatIndex) const;

    /** How far a format is while a run works, from 0 to 1 (the bytes written of the bundle's total). */
    double getProgressFraction (int formatIndex) const;

    /** The words a format's progress bar says while a run works, e.g. "Writing to disk, 40%". */
    juce::String getProgressText (int formatIndex) const;

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
    std::unique_ptr<LicencePanel> eulaPanel;
    std::unique_ptr<SupportPanel> supportPanel;
    std::unique_ptr<juce::Label> hintLabel;
    std::array<std::unique_ptr<juce::Drawable>, numFormats> formatIcons;
    std::array<std::unique_ptr<juce::Drawable>, 5> buttonIcons; // the tabs', then INSTALL's
    std::unique_ptr<juce::Drawable> logo;
    std::unique_ptr<juce::Drawable> warningIcon; // the failure view's mark, in its own colours
    juce::URL websiteURL;
    juce::URL manualURL;
    juce::File settingsFolder;
    juce::String settingsNotice; // why the settings file was ignored or not written, and which repair was left undone, as sentences; usually empty
    bool uninstallMode = false;
    bool runFinished = false;
    bool askedToSelectFirst = false; // INSTALL was clicked with nothing selected
    std::array<bool, numFormats> selected {};
    std::array<juce::File, numFormats> installFolders;

    juce::File temporaryFolder; // where a leftover "script.sh" is removed at exit
    RunReport runReport;        // the outcome of the finished run
    juce::File keptCopyFolder;  // where the installer keeps its copy for Installed apps (none in tests)
    HostFolders hostFolders;    // where other copies are looked for after a run (none in tests)
    std::function<void (const RunReport&)> onRunFinished; // told each run's report when it ends
    juce::String entryNotice;   // what went wrong with the entry in Installed apps; empty when nothing did

    std::unique_ptr<juce::TextButton> cancelButton;
    std::array<std::unique_ptr<juce::TextButton>, numFormats> showInFolderButtons;
    std::array<bool, numFormats> runFormatsChosen {}; // the formats the run works on
    std::unique_ptr<RunProgress> runProgress;          // shared with the run's workers
    FormatsSnapshot snapshot;                          // what the rows show during and after a run

    /** Shows a bundle in the system's file manager; tests replace it to see what would be shown. */
    std::function<void (const juce::File&)> revealInFolder = [] (const juce::File& bundle)
    {
        AddressNotice::revealFile (bundle);
    };

    /** Opens the website, the manual and (through the support panel) the chat and mail links;
        tests replace it to see what would be opened. */
    PanelParts::URLLauncher launchURL = PanelParts::getDefaultLauncher();

    bool keyboardFocusShown = false; // a key was pressed after the last mouse button

    /** The painted texts that carry meaning, for screen readers: the product with its version,
        and after a run its outcome. */
    std::unique_ptr<ReadableText> productText;
    std::unique_ptr<ReadableText> outcomeText;
    std::array<std::unique_ptr<ReadableText>, numFormats> resultLineTexts;
    std::array<std::unique_ptr<ProgressReadout>, numFormats> progressReadouts;

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
    void paintProgress (juce::Graphics&);

    void timerCallback() override;
    void showView (ControlView view);
    void collectRun();
    FormatsSnapshot takeSnapshot() const;

    /** Whether the rows, hints and descriptions come from the snapshot: while a run works and after it. */
    bool usesSnapshot() const;

    /** The result view's row of a format's line (in the order of the run's outcomes), or -1. */
    int getResultRow (int formatIndex) const;
    juce::Rectangle<float> getResultLineArea (int row) const;
    juce::Rectangle<float> getProgressArea (int row) const;
    int getProgressRow (int formatIndex) const;

    std::unique_ptr<juce::TextButton> createButton (const MainControl& control);
    std::unique_ptr<juce::TextButton>& getButtonHolder (const MainControl& control);
    std::unique_ptr<juce::Drawable>& getIconHolder (const MainControl& control);
    void describe (TransparentButton& button, const MainControl& control);
    void placeInReadingOrder();
    void openedPanel (OverlayPanel& panel, juce::Component& tab);
    OverlayPanel* findShownPanel() const;
    void setMainControlsAccessible (bool shouldBeAccessible);

    std::unique_ptr<KeyWatcher> keyWatcher;

    std::thread runWorker;
    RunReport finishedReport;   // written by the worker, read after it was joined
    FormatsSnapshot finishedSnapshot;
    juce::String finishedEntryNotice;
    std::function<void()> closeAfterRun;
    std::unique_ptr<ShutdownBlock> shutdownBlock;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
