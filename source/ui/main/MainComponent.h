// The component that fills the installer's window: the face of the install session.
#pragma once

#include "session/InstallSession.h"
#include "ui/main/MainPanels.h"
#include "ui/main/MainParts.h"
#include "ui/style/CustomLookAndFeel.h"
#include "ui/widgets/KeyWatcher.h"

#include <juce_gui_basics/juce_gui_basics.h>

class ShutdownBlock;

/**
    Fills the main window: the header, the format rows (or a run's progress, or its result), the
    tabs and the INSTALL button.

    The session does the work; this component shows the session's latest snapshot and the run's
    progress and outcome, and reads no file itself: the session looks at the disk on its own
    threads, when asked and every second while the window shows, and tells this component what
    changed.
*/
class MainComponent final : public juce::Component,
                            public juce::Button::Listener,
                            private InstallSession::Listener,
                            private juce::AsyncUpdater,
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
    void paintOverChildren (juce::Graphics&) override;
    void resized() override;
    void modifierKeysChanged (const juce::ModifierKeys& modifiers) override;
    void parentHierarchyChanged() override;
    void visibilityChanged() override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

    void buttonClicked (juce::Button*) override;
    void buttonStateChanged (juce::Button*) override;

    //==============================================================================
    /** The session this window drives. */
    InstallSession& getSession() { return *session; }

    /** Has the session look at the disk again soon; the rows follow when it is done. */
    void lookAgain();

    /** The status a format's row shows, from the session's latest snapshot (or, while a run works
        and after it, the snapshot the run took). */
    const FormatStatus& getShownStatus (int formatIndex) const;

    /** Whether format 0..2 has a bundle in its folder, as its row shows it. */
    bool isBundlePresent (int formatIndex) const;

    //==============================================================================
    /** Which formats are selected. */
    std::array<bool, numFormats> getSelection() const { return selected; }
    void setSelection (const std::array<bool, numFormats>& formats);

    /** Whether INSTALL removes (shift held, or the window was opened to remove). */
    bool isUninstallMode() const { return uninstallMode; }
    void setUninstallMode (bool shouldUninstall);

    /** Starts installing (or, in uninstall mode, removing) every selected format through the
        session, shows the progress view, and returns at once; the result view follows when every
        format is done. Once a run has finished, only its failed formats may run again, each with
        its "Retry". */
    void installSelectedFormats();

    /** Whether a run is at work. */
    bool isRunWorking() const { return session->isWorking(); }

    /** Whether a run ended and its result is shown. */
    bool isRunFinished() const { return runFinished; }

    /** Asks the working run to stop each format at its next piece. */
    void cancelRun();

    /** Closing while a run works: cancels it, says "Finishing…" and calls `close` once every format
        is whole; returns true. Returns false, and calls nothing, when no run works. */
    bool closeWhenRunEnds (std::function<void()> close);

    /** Waits for the working run, then ends it as its end message would. */
    void waitForRun();

    /** Ends a run: keeps its report, hides the install controls for good, shows the result and
        announces it. */
    void finishRun (RunReport report, const juce::String& entryNotice = {});

    /** The finished run's report. */
    const RunReport& getRunReport() const { return runReport; }

    //==============================================================================
    /** The line the result view shows for format 0..2, or "" when the run did not touch it. */
    juce::String getResultLine (int formatIndex) const;

    /** The programs that hold a format's bundle and the other copies a host may load first. */
    juce::StringArray getResultNotes (int formatIndex) const;

    /** The run's outcome in words: "Success", or the failure lines; empty before a run. */
    juce::String getOutcomeText() const;

    /** How far a format is while a run works, from 0 to 1, and the words its bar says. */
    double getProgressFraction (int formatIndex) const;
    juce::String getProgressText (int formatIndex) const;

    /** The hint line's text for a button that is pointed at (hovered, or focused from the
        keyboard), or nothing for a button that leaves the hint line as it is. */
    std::optional<juce::String> getHintText (const juce::String& buttonName) const;

    //==============================================================================
    // The keyboard and screen readers.

    /** Turns the keyboard focus outline and focus hints on (a key was pressed) or off (a mouse
        button was). */
    void setKeyboardFocusShown (bool shouldBeShown);

    /** Keys that no control took, from anywhere in the window: Tab into the controls when the
        focus is elsewhere, Escape to close an open panel. */
    bool handleUnusedKey (const juce::KeyPress& key);

    //==============================================================================
    // Parts, found by the names the reading order knows them by.

    /** A control by its name ("VST3", "INSTALL", "SHOW_CLAP", …); it must exist. */
    TransparentButton& getControl (const juce::String& name) const { return parts.getControl (name); }

    /** A painted text's readable stand-in or another child by its name ("OUTCOME", "RESULT_AAX",
        "PROGRESS_VST3", "HINT_LINE", …), or nullptr. */
    juce::Component* findPart (const juce::String& name) const { return parts.find (name); }

    juce::Label& getHintLine() { return parts.hintLine; }
    LicencePanel* getLicencePanel() const { return panels.getLicencePanel(); }
    SupportPanel* getSupportPanel() const { return panels.getSupportPanel(); }
    float getUnit() const { return parts.getUnit(); }

    /** The modifier keys (shift, control, alt, command) last seen. */
    int getModifierFlags() const { return lastModifierFlags; }

    //==============================================================================
    // What reaches outside the window; tests replace each to see what would be done.

    /** Has the screen reader say a text. */
    void setAnnouncer (std::function<void (const juce::String&)> newAnnouncer) { announce = std::move (newAnnouncer); }

    /** Opens the website, the manual and (through the support panel) the chat and mail links. */
    void setURLLauncher (PanelParts::URLLauncher newLauncher) { launchURL = std::move (newLauncher); }

    /** Shows a bundle in the system's file manager. */
    void setRevealer (std::function<void (const juce::File&)> newRevealer) { revealInFolder = std::move (newRevealer); }

    /** Told each run's report when it ends. */
    void setOnRunFinished (std::function<void (const RunReport&)> callback) { onRunFinished = std::move (callback); }

private:
    //==============================================================================
    void snapshotChanged() override;
    void runEnded() override;
    void handleAsyncUpdate() override;
    void timerCallback() override;

    MainTexts getTexts();
    void describe (TransparentButton& button, const MainControl& control);
    void showSnapshot (const FormatsSnapshot& newSnapshot);
    void showRows();
    void showView (ControlView view);
    void collectRun();
    void toggleFormat (int formatIndex);
    void pressInstall();
    void showInFolder (int formatIndex);
    void retryFormat (int formatIndex);
    bool startRun (const std::array<bool, numFormats>& formats, bool uninstall);
    void setHint (const juce::String& text);

    //==============================================================================
    CustomLookAndFeel customLookAndFeel;
    std::unique_ptr<InstallSession> session;

    juce::String productName;
    juce::String productVersion;
    juce::String startNotice; // why the settings file was ignored or not written, and which repair was left undone, as sentences; usually empty
    juce::File temporaryFolder; // where a leftover "script.sh" is removed at exit

    FormatsSnapshot snapshot; // what the rows show: the session's latest, or the one a run took
    std::array<bool, numFormats> selected {};
    bool uninstallMode = false;
    bool runFinished = false;
    bool retrying = false; // the working run is one format run again from the result view
    bool askedToSelectFirst = false; // INSTALL was clicked with nothing selected
    bool keyboardFocusShown = false; // a key was pressed after the last mouse button
    int lastModifierFlags = 0;

    RunReport runReport;     // the outcome of the finished run
    juce::String entryNotice; // what went wrong with the entry in Installed apps; empty when nothing did

    MainParts parts;
    MainPanels panels;
    KeyWatcher keyWatcher;
    std::unique_ptr<ShutdownBlock> shutdownBlock;
    std::function<void()> closeAfterRun;

    std::function<void (const juce::String&)> announce;
    PanelParts::URLLauncher launchURL;
    std::function<void (const juce::File&)> revealInFolder;
    std::function<void (const RunReport&)> onRunFinished;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
