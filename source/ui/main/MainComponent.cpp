// The main component's making, what it shows of the session, and the run it starts there.
#include "ui/main/MainComponent.h"

#include "engine/OwnLeftover.h"
#include "ui/main/MainLayout.h"
#include "ui/main/RunTexts.h"
#include "ui/main/ShutdownBlock.h"
#include "ui/style/Palette.h"
#include "ui/widgets/AddressNotice.h"

namespace
{
    constexpr int progressRefreshHz = 20;

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

    FaceButton::Style getFaceStyle (ControlKind kind)
    {
        switch (kind)
        {
            case ControlKind::selectAll:
                return FaceButton::Style::faintWord;
            case ControlKind::cancel:
                return FaceButton::Style::faintWordLit;
            case ControlKind::showInFolder:
                return FaceButton::Style::word;
            case ControlKind::tab:
            case ControlKind::install:
            case ControlKind::formatRow:
                break;
        }

        return FaceButton::Style::picture;
    }
} // namespace

MainComponent::MainComponent()
    : MainComponent (SystemLocations::fromSystem())
{
}

MainComponent::MainComponent (const SystemLocations& locations)
    : keyWatcher (*this,
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

    // Every start's start-up and first look at the disk, before the window shows; afterwards the
    // session looks on its own threads.
    session = std::make_unique<InstallSession> (locations);
    const auto& setup = session->getSetup();
    productName = setup.productName;
    productVersion = setup.productVersion;
    startNotice = describeStartNotices (setup);
    temporaryFolder = locations.temporaryFolder;
    snapshot = session->getSnapshot();

    for (int i = 0; i < numFormats; ++i)
        selected[(size_t) i] = snapshot.isPresent (i);

    header = std::make_unique<HeaderView> (productName, "Version " + productVersion + Product::platformSuffix);
    addAndMakeVisible (*header);
    progressView = std::make_unique<ProgressView>();
    addChildComponent (*progressView);
    resultView = std::make_unique<ResultView>();
    addChildComponent (*resultView);

    createControls();
    createReadableTexts();
    showRows();

    hintLabel = std::make_unique<juce::Label> ("HINT_LINE");
    addAndMakeVisible (*hintLabel);
    hintLabel->setJustificationType (juce::Justification::centred);
    hintLabel->setColour (juce::Label::textColourId, Palette::grey.withAlpha (Faces::alphaHalf));
    hintLabel->setText (startNotice.isNotEmpty() ? startNotice : juce::String (applicationVersion), juce::dontSendNotification);

    // Said once the window is up, through whatever `announce` is by then.
    if (startNotice.isNotEmpty())
        juce::MessageManager::callAsync ([safe = juce::Component::SafePointer<MainComponent> (this)]
                                         {
                                             if (safe != nullptr)
                                                 safe->announce (safe->startNotice);
                                         });

    // A click on no control leaves the focus where it is, as it leaves everything else.
    setMouseClickGrabsKeyboardFocus (false);
    placeInReadingOrder();
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
void MainComponent::createControls()
{
    for (const auto& control : mainControls)
    {
        if (control.kind == ControlKind::formatRow)
        {
            auto& row = formatRows[(size_t) control.index];
            row = std::make_unique<FormatRow> (*this, control.index, control.icon);
            addAndMakeVisible (*row);
            describe (*row, control);
            continue;
        }

        describe (addFaceButton (control), control);
    }
}

FaceButton& MainComponent::addFaceButton (const MainControl& control)
{
    auto* button = faceButtons.add (new FaceButton (*this, control.name, getFaceStyle (control.kind)));
    addAndMakeVisible (button);

    switch (control.kind)
    {
        case ControlKind::tab:
        case ControlKind::install:
            button->icon = Faces::createIcon (control.icon);
            button->iconInset = control.kind == ControlKind::install ? MainLayout::installIconInset : MainLayout::tabIconInset;
            break;
        case ControlKind::selectAll:
            button->setButtonText ("SELECT ALL");
            button->textHeight = MainLayout::selectAllTextHeight;
            break;
        case ControlKind::cancel:
            button->setButtonText ("CANCEL");
            button->textHeight = MainLayout::cancelTextHeight;
            break;
        case ControlKind::showInFolder:
            button->setButtonText ("Show in folder");
            button->textHeight = MainLayout::showButtonTextHeight;
            break;
        case ControlKind::formatRow:
            break;
    }

    return *button;
}

void MainComponent::createReadableTexts()
{
    // Invisible: the texts are painted, these only let screen readers read them.
    productText = std::make_unique<ReadableText> (juce::AccessibilityRole::staticText,
                                                  [this] { return productName + ", version " + productVersion + Product::platformSuffix; });
    productText->setName ("PRODUCT_LINE");
    addAndMakeVisible (*productText);
    outcomeText = std::make_unique<ReadableText> (juce::AccessibilityRole::staticText, [this] { return getOutcomeText(); });
    outcomeText->setName ("OUTCOME");
    addChildComponent (*outcomeText);

    for (int i = 0; i < numFormats; ++i)
    {
        const auto index = (size_t) i;
        resultLineTexts[index] = std::make_unique<ReadableText> (juce::AccessibilityRole::staticText, [this, i] { return getResultLine (i); });
        resultLineTexts[index]->setName ("RESULT_" + formatNames[i]);
        addChildComponent (*resultLineTexts[index]);

        progressReadouts[index] = std::make_unique<ProgressReadout> ([this, i] { return getProgressFraction (i); },
                                                                     [this, i] { return getProgressText (i); });
        progressReadouts[index]->setName ("PROGRESS_" + formatNames[i]);
        progressReadouts[index]->setTitle (formatNames[i]);
        addChildComponent (*progressReadouts[index]);
    }
}

TransparentButton& MainComponent::getControl (const juce::String& name) const
{
    auto* control = dynamic_cast<TransparentButton*> (findPart (name));
    jassert (control != nullptr);
    return *control;
}

juce::Component* MainComponent::findPart (const juce::String& name) const
{
    for (auto* child : getChildren())
        if (child->getName() == name)
            return child;

    return nullptr;
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

    // A hint that speaks of a bundle follows it.
    if (auto* focused = dynamic_cast<juce::Button*> (KeyboardFocus::findFocusedChild (*this)))
        buttonStateChanged (focused);
    else
        for (auto& row : formatRows)
            if (row->isMouseOver())
                buttonStateChanged (row.get());
}

void MainComponent::showRows()
{
    for (int i = 0; i < numFormats; ++i)
        formatRows[(size_t) i]->show (snapshot.statuses[(size_t) i], selected[(size_t) i]);
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
    if (! session->start (selected, uninstallMode))
        return;

    // The rows keep showing what was there before the run; the session looks again when it ends.
    shutdownBlock = std::make_unique<ShutdownBlock> (*this, "Installing " + productName + " " + productVersion);
    progressView->show (session->getProgress(), selected);

    showView (ControlView::running);
    resized(); // the progress bars take their places
    startTimerHz (progressRefreshHz);
    repaint();
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
    finishRun (std::move (outcome.report), outcome.entryNotice);

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
    progressView->refresh();

    for (int i = 0; i < numFormats; ++i)
        if (progressView->getRow (i) >= 0)
            progressReadouts[(size_t) i]->update();
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
    resultView->show (runReport, entryNotice);

    if (onRunFinished)
        onRunFinished (runReport);

    showView (ControlView::finished);
    resized(); // the result lines and their buttons take their places
    repaint();

    outcomeText->setVisible (true);
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
    for (const auto& control : mainControls)
    {
        auto& button = getControl (control.name);
        auto shown = control.view == ControlView::always || control.view == view;

        // A result line offers its folder only where a bundle was put.
        if (control.kind == ControlKind::showInFolder)
        {
            const auto row = RunTexts::getResultRow (runReport, control.index);
            shown = shown && row >= 0 && ! runReport.uninstall && runReport.outcomes.getReference (row).succeeded;
        }

        // INSTALL stays in sight during a run, but cannot be pressed.
        if (control.kind == ControlKind::install && view == ControlView::running)
        {
            button.setVisible (true);
            button.setEnabled (false);
            continue;
        }

        button.setEnabled (true);
        button.setVisible (shown);
    }

    progressView->setVisible (view == ControlView::running);
    resultView->setVisible (view == ControlView::finished);

    for (int i = 0; i < numFormats; ++i)
    {
        const auto index = (size_t) i;
        progressReadouts[index]->setVisible (view == ControlView::running && progressView->getRow (i) >= 0);
        resultLineTexts[index]->setVisible (view == ControlView::finished && RunTexts::getResultRow (runReport, i) >= 0);
    }
}
