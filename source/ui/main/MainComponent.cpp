// The main component: what it shows of the session, the run it starts there, the clicks, hints and
// modifier keys, and the keyboard and screen readers.
#include "ui/main/MainComponent.h"

#include "engine/OwnLeftover.h"
#include "ui/main/MainHints.h"
#include "ui/main/RunTexts.h"
#include "ui/main/ShutdownBlock.h"
#include "ui/widgets/AddressNotice.h"

namespace
{
    constexpr int progressRefreshHz = 20;
    constexpr int lowModifierFlags = 0xF; // shift, control, alt and (where there is one) command
    constexpr int commandFlag = 8;        // the command key's flag on the platforms that have one

    const juce::String selectFirstHint ("Select one or more formats first");

    const juce::String finishingHint (juce::CharPointer_UTF8 ("Finishing\xe2\x80\xa6"));

    /** What the start could not do as usual (a settings file ignored, a repair left to another
        copy), each as a sentence. */
    juce::String describeStartNotices (const InstallerSetup& setup)
    {
        juce::StringArray notices (setup.repairNotices);

        if (setup.settingsNotice.isNotEmpty())
            notices.insert (0, setup.settingsNotice);

        for (auto& notice : notices)
            notice = notice.substring (0, 1).toUpperCase() + notice.substring (1) + ".";

        return notices.joinIntoString (" ");
    }
} // namespace

MainComponent::MainComponent()
    : MainComponent (SystemLocations::fromSystem())
{
}

MainComponent::MainComponent (const SystemLocations& locations)
    : session (std::make_unique<InstallSession> (locations))
    , productName (session->getSetup().productName)
    , productVersion (session->getSetup().productVersion)
    , startNotice (describeStartNotices (session->getSetup()))
    , temporaryFolder (locations.temporaryFolder)
    , snapshot (session->getSnapshot())
    , parts (*this, *this, productName, "Version " + productVersion + Product::platformSuffix, getTexts())
    , panels (*this, [this] { return keyboardFocusShown; })
    , keyWatcher (*this,
                  [this] (const juce::KeyPress& key)
                  {
                      setKeyboardFocusShown (true);
                      return handleUnusedKey (key);
                  },
                  [this] { setKeyboardFocusShown (false); })
    , announce ([] (const juce::String& text)
                { juce::AccessibilityHandler::postAnnouncement (text, juce::AccessibilityHandler::AnnouncementPriority::high); })
    , launchURL (PanelParts::getDefaultLauncher())
    , revealInFolder ([] (const juce::File& bundle) { AddressNotice::revealFile (bundle); })
{
    juce::LookAndFeel::setDefaultLookAndFeel (&customLookAndFeel);

    // The session made every start's start-up and first look at the disk, before the window
    // shows; afterwards it looks on threads of its own.
    selected = session->getPresentFormats();

    for (const auto& control : mainControls)
        describe (getControl (control.name), control);

    showRows();
    setHint (startNotice.isNotEmpty() ? startNotice : juce::String (applicationVersion));

    // Said once the window is up, through whatever `announce` is by then.
    if (startNotice.isNotEmpty())
        juce::MessageManager::callAsync ([safe = juce::Component::SafePointer<MainComponent> (this)]
                                         {
                                             if (safe != nullptr)
                                                 safe->announce (safe->startNotice);
                                         });

    // A click on no control leaves the focus where it is, as it leaves everything else.
    setMouseClickGrabsKeyboardFocus (false);
    showView (ControlView::choosingFormats);
    session->setListener (this);

    setSize (600, 600);
}

MainComponent::~MainComponent()
{
    // Nothing the session's threads say reaches this component from here on; a run still at work
    // stops at its next piece when the session goes.
    session->setListener (nullptr);
    cancelPendingUpdate();
    stopTimer();

    // The focused control loses the focus as it goes, after the hint line went: nothing may act on it.
    keyboardFocusShown = false;

    // A leftover of older installers of this maker: only this account's own plain file of that
    // name, in a temporary folder that others may share.
    if (temporaryFolder != juce::File())
        removeOwnPlainFile (temporaryFolder, "script.sh");
}

//==============================================================================
MainTexts MainComponent::getTexts()
{
    MainTexts texts;
    texts.product = [this] { return productName + ", version " + productVersion + Product::platformSuffix; };
    texts.outcome = [this] { return getOutcomeText(); };
    texts.resultLine = [this] (int formatIndex) { return getResultLine (formatIndex); };
    texts.copiesLine = [this] { return RunTexts::getCopiesLine (runReport); };
    texts.progressFraction = [this] (int formatIndex) { return getProgressFraction (formatIndex); };
    texts.progressText = [this] (int formatIndex) { return getProgressText (formatIndex); };
    return texts;
}

//==============================================================================
const FormatStatus& MainComponent::getShownStatus (int formatIndex) const
{
    static const FormatStatus none;
    return juce::isPositiveAndBelow (formatIndex, numFormats) ? snapshot.statuses[(size_t) formatIndex] : none;
}

bool MainComponent::isBundlePresent (int formatIndex) const
{
    return snapshot.isPresent (formatIndex);
}

void MainComponent::lookAgain()
{
    // While the window shows, the session also looks every second, so that a bundle that came or
    // went outside shows without any input.
    session->setLookingEverySecond (isShowing());
    session->lookSoon();
}

void MainComponent::visibilityChanged()
{
    session->setLookingEverySecond (isShowing());
}

void MainComponent::snapshotChanged()
{
    triggerAsyncUpdate();
}

void MainComponent::runEnded()
{
    triggerAsyncUpdate();
}

void MainComponent::handleAsyncUpdate()
{
    // A run's end brings the snapshot it took; before it ends the rows keep the one taken before it.
    if (isRunWorking())
    {
        if (! session->isRunDone())
            return;

        collectRun();
        return;
    }

    showSnapshot (session->getSnapshot());
}

void MainComponent::showSnapshot (const FormatsSnapshot& newSnapshot)
{
    if (newSnapshot == snapshot)
        return;

    snapshot = newSnapshot;
    showRows();

    // A hint that speaks of a bundle follows it: the hint of the row pointed at, by the pointer
    // or, while the keyboard is in use, by the focus. Any other hint stays as it is.
    for (auto& row : parts.rows)
        if (row->isMouseOver() || (keyboardFocusShown && row->hasKeyboardFocus (false)))
            buttonStateChanged (row.get());
}

void MainComponent::showRows()
{
    for (int i = 0; i < numFormats; ++i)
        parts.rows[(size_t) i]->show (snapshot.statuses[(size_t) i], selected[(size_t) i]);
}

void MainComponent::setSelection (const std::array<bool, numFormats>& formats)
{
    selected = formats;
    showRows();
}

void MainComponent::setUninstallMode (bool shouldUninstall)
{
    if (uninstallMode == shouldUninstall)
        return;

    uninstallMode = shouldUninstall;
    repaint();

    // INSTALL's title follows its caption.
    if (auto* handler = getControl ("INSTALL").getAccessibilityHandler())
        handler->notifyAccessibilityEvent (juce::AccessibilityEvent::titleChanged);
}

//==============================================================================
void MainComponent::installSelectedFormats()
{
    // One run per window; after it only a failed format may run again (Retry).
    if (! runFinished)
        startRun (selected, uninstallMode);
}

void MainComponent::retryFormat (int formatIndex)
{
    std::array<bool, numFormats> formats {};
    formats[(size_t) formatIndex] = true;
    retrying = runFinished && startRun (formats, runReport.uninstall);
}

bool MainComponent::startRun (const std::array<bool, numFormats>& formats, bool uninstall)
{
    if (! session->start (formats, uninstall))
        return false;

    // The rows keep showing what was there before the run; the session looks again when it ends.
    shutdownBlock = std::make_unique<ShutdownBlock> (*this, "Installing " + productName + " " + productVersion);
    parts.progress.show (session->getProgress(), formats);

    showView (ControlView::running);
    resized(); // the progress bars take their places
    startTimerHz (progressRefreshHz);
    repaint();
    return true;
}

void MainComponent::collectRun()
{
    if (! isRunWorking())
        return;

    auto outcome = session->takeOutcome();
    stopTimer();
    shutdownBlock = nullptr;
    snapshot = outcome.snapshot;

    for (const auto& format : outcome.report.outcomes)
        selected[(size_t) format.formatIndex] = false;

    showRows();

    // A format run again takes its place among the outcomes of the first run.
    auto report = retrying ? RunTexts::merge (runReport, outcome.report) : std::move (outcome.report);
    retrying = false;
    finishRun (std::move (report), outcome.entryNotice);

    if (auto close = std::move (closeAfterRun))
        close();
}

void MainComponent::waitForRun()
{
    collectRun();
}

void MainComponent::cancelRun()
{
    if (! isRunWorking())
        return;

    session->cancel();
    getControl ("CANCEL").setEnabled (false);
}

bool MainComponent::closeWhenRunEnds (std::function<void()> close)
{
    if (! isRunWorking())
        return false;

    closeAfterRun = std::move (close);
    cancelRun();
    setHint (finishingHint);
    announce (finishingHint);
    return true;
}

void MainComponent::timerCallback()
{
    parts.progress.refresh();

    for (int i = 0; i < numFormats; ++i)
        if (parts.progress.getRow (i) >= 0)
            parts.progressReadouts[(size_t) i]->update();
}

double MainComponent::getProgressFraction (int formatIndex) const
{
    return isRunWorking() ? RunTexts::getProgressFraction (session->getProgress(), formatIndex) : 0.0;
}

juce::String MainComponent::getProgressText (int formatIndex) const
{
    return isRunWorking() ? RunTexts::getProgressText (session->getProgress(), formatIndex) : juce::String();
}

void MainComponent::finishRun (RunReport report, const juce::String& notice)
{
    runReport = std::move (report);
    entryNotice = notice;
    runFinished = true;
    parts.result.show (runReport, entryNotice);

    if (onRunFinished)
        onRunFinished (runReport);

    showView (ControlView::finished);
    resized(); // the result lines and their buttons take their places
    repaint();

    announce (getOutcomeText());

    // Hosts look for new plug-ins only when asked to.
    auto installedAny = false;
    juce::StringArray notes;

    for (const auto& outcome : runReport.outcomes)
    {
        installedAny = installedAny || (outcome.succeeded && ! runReport.uninstall);
        notes.addArray (getResultNotes (outcome.formatIndex));
    }

    // A program that holds the plug-in, or a copy loaded first, matters more than the rescan.
    if (! notes.isEmpty())
        setHint (notes.joinIntoString (" "));
    else if (installedAny)
        setHint ("Rescan plug-ins in your DAW to find " + productName + " " + productVersion);
}

juce::String MainComponent::getResultLine (int formatIndex) const
{
    return RunTexts::getLine (runReport, formatIndex);
}

juce::StringArray MainComponent::getResultNotes (int formatIndex) const
{
    return RunTexts::getNotes (runReport, formatIndex);
}

juce::String MainComponent::getOutcomeText() const
{
    return runFinished ? RunTexts::getOutcome (runReport, entryNotice) : juce::String();
}

void MainComponent::showView (ControlView view)
{
    parts.show (view, runReport);
}

//==============================================================================
void MainComponent::resized()
{
    parts.layOut (getWidth(), runReport, juce::Font (customLookAndFeel.regularTypeface));
    panels.cover (getUnit());
}

void MainComponent::paint (juce::Graphics& g)
{
    parts.paintBackground (g, juce::Font (customLookAndFeel.regularTypeface), uninstallMode);
}

//==============================================================================
// Clicks, hover hints and the modifier keys.
std::optional<juce::String> MainComponent::getHintText (const juce::String& name) const
{
    // A row's as it shows: the session's latest look at the disk.
    if (const auto* control = findMainControl (name))
        return MainHints::getHint (*control, runReport, isBundlePresent (control->index), productVersion);

    return std::nullopt;
}

void MainComponent::buttonClicked (juce::Button* button)
{
    const auto* control = findMainControl (button->getName());

    if (control == nullptr)
        return;

    switch (control->action)
    {
        case ControlAction::openLicence:
            panels.openLicence (*button, getUnit());
            break;

        case ControlAction::openManual:
            if (launchURL)
                launchURL (juce::URL (Product::manualAddress));
            break;

        case ControlAction::openWebsite:
            if (launchURL)
                launchURL (juce::URL (Product::websiteAddress));
            break;

        case ControlAction::openSupport:
            panels.openSupport (*button, { session->getSetup().settingsFolder.getFullPathName(), startNotice, productName, productVersion, launchURL },
                                getUnit());
            break;

        case ControlAction::toggleFormat:
            toggleFormat (control->index);
            break;

        case ControlAction::selectAll:
            // Selects; never clears.
            setSelection ({ true, true, true });
            lookAgain();
            break;

        case ControlAction::install:
            pressInstall();
            break;

        case ControlAction::cancelRun:
            cancelRun();
            break;

        case ControlAction::showInFolder:
            showInFolder (control->index);
            break;

        case ControlAction::retryFormat:
            retryFormat (control->index);
            break;

        case ControlAction::showOtherCopy:
            if (const auto copies = RunTexts::getOtherCopies (runReport); ! copies.isEmpty() && revealInFolder)
                revealInFolder (copies.getFirst().path);
            break;
    }
}

void MainComponent::toggleFormat (int formatIndex)
{
    auto& flag = selected[(size_t) formatIndex];
    flag = ! flag;
    showRows();
    lookAgain();
}

void MainComponent::pressInstall()
{
    // A run with nothing to do would still end in the result view and hide the controls; say
    // what is missing instead.
    if (std::find (selected.begin(), selected.end(), true) == selected.end())
    {
        askedToSelectFirst = true;
        setHint (selectFirstHint);
        announce (selectFirstHint);
        return;
    }

    installSelectedFormats();
}

void MainComponent::showInFolder (int formatIndex)
{
    if (const auto row = RunTexts::getResultRow (runReport, formatIndex); row >= 0 && revealInFolder)
        if (const auto& bundle = runReport.outcomes.getReference (row).bundlePath; bundle != juce::File())
            revealInFolder (bundle);
}

void MainComponent::setHint (const juce::String& text)
{
    parts.hintLine.setText (text, juce::dontSendNotification);
}

void MainComponent::buttonStateChanged (juce::Button* button)
{
    // The request to select stays through INSTALL's own state changes (the pointer leaving it,
    // the flash after a quick click) until another button is pointed at or used.
    if (button->getName() == "INSTALL" && askedToSelectFirst)
    {
        setHint (selectFirstHint);
        return;
    }

    askedToSelectFirst = false;

    // A button focused from the keyboard counts as pointed at, as a hovered one does.
    const auto focused = keyboardFocusShown && button->hasKeyboardFocus (false);

    if (! button->isMouseOver (false) && ! focused)
    {
        setHint ({});
        return;
    }

    if (const auto hint = getHintText (button->getName()))
        setHint (*hint);

    // What the pointer is over may have changed on the disk since the last look.
    lookAgain();
}

void MainComponent::modifierKeysChanged (const juce::ModifierKeys& modifiers)
{
    const auto lowFlags = modifiers.getRawFlags() & lowModifierFlags;
    const auto changed = lowFlags ^ lastModifierFlags;

    if ((changed & juce::ModifierKeys::shiftModifier) != 0)
        setUninstallMode ((lowFlags & juce::ModifierKeys::shiftModifier) != 0);

    for (const auto flag : { (int) juce::ModifierKeys::ctrlModifier, (int) juce::ModifierKeys::altModifier, commandFlag })
        if ((changed & flag) != 0)
            repaint();

    lastModifierFlags = lowFlags;
}

//==============================================================================
// The keyboard and screen readers.
void MainComponent::describe (TransparentButton& button, const MainControl& control)
{
    button.setTitle (control.title);
    button.getHelpNow = [this, &control] { return getHintText (control.name).value_or (juce::String()); };

    button.onKeyModifiers = [this] (const juce::ModifierKeys& modifiers) { modifierKeysChanged (modifiers); };

    button.onFocusChange = [this, &button]
    {
        if (keyboardFocusShown)
            buttonStateChanged (&button);
    };

    if (control.action == ControlAction::toggleFormat)
    {
        // Checked is selected; the description is the row's status line as painted now.
        const auto formatIndex = control.index;
        button.isCheckedNow = [this, formatIndex] { return selected[(size_t) formatIndex]; };
        button.getDescriptionNow = [this, formatIndex] { return getShownStatus (formatIndex).statusText; };
    }

    if (control.action == ControlAction::install)
        button.getTitleNow = [this] { return juce::String (uninstallMode ? "Uninstall" : "Install"); };
}

std::unique_ptr<juce::AccessibilityHandler> MainComponent::createAccessibilityHandler()
{
    // The component is only the window's content: screen readers see its controls directly.
    return createIgnoredAccessibilityHandler (*this);
}

//==============================================================================
void MainComponent::setKeyboardFocusShown (bool shouldBeShown)
{
    if (keyboardFocusShown == shouldBeShown)
        return;

    keyboardFocusShown = shouldBeShown;
    repaint();

    panels.repaintPanels();

    // A control that had the focus before the keyboard was used shows its hint now.
    if (shouldBeShown)
        if (auto* focused = dynamic_cast<juce::Button*> (KeyboardFocus::findFocusedChild (*this)))
            buttonStateChanged (focused);
}

bool MainComponent::handleUnusedKey (const juce::KeyPress& key)
{
    return panels.handleUnusedKey (key);
}

void MainComponent::paintOverChildren (juce::Graphics& g)
{
    // An open panel shows the focus itself.
    if (keyboardFocusShown && panels.findShown() == nullptr)
        if (auto* focused = KeyboardFocus::findFocusedChild (*this))
            KeyboardFocus::drawOutline (g, *focused, getUnit());
}

void MainComponent::parentHierarchyChanged()
{
    keyWatcher.followWindow();
    session->setLookingEverySecond (isShowing());
}
