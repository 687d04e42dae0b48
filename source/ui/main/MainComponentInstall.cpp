// The install and uninstall run of the selected formats: on worker threads, with its progress, its
// cancel, and its end back on the message thread.
#include "ui/main/MainComponent.h"

#include "engine/InstalledEntry.h"
#include "engine/OtherCopies.h"
#include "ui/main/ShutdownBlock.h"

namespace
{
    constexpr int progressRefreshHz = 20;

    const juce::String finishingHint (juce::CharPointer_UTF8 ("Finishing\xe2\x80\xa6"));

    const char* getPhaseName (RunPhase phase)
    {
        switch (phase)
        {
            case RunPhase::waiting:
                return "Waiting";
            case RunPhase::unpacking:
                return "Unpacking";
            case RunPhase::writing:
                return "Writing to disk";
            case RunPhase::checking:
                return "Checking";
            case RunPhase::removing:
                return "Removing";
            case RunPhase::done:
                break;
        }

        return "Done";
    }
} // namespace

FormatsSnapshot MainComponent::takeSnapshot() const
{
    // Reads only what stays fixed while a run works, so that a worker may take it too.
    FormatsSnapshot taken;

    for (int i = 0; i < numFormats; ++i)
        taken.statuses[(size_t) i] = detectFormatStatus (installFolders[(size_t) i], productName, productVersion, i);

    return taken;
}

void MainComponent::installSelectedFormats()
{
    if (isRunWorking() || runFinished)
        return;

    // The rows keep showing what was there before the run; the disk is not asked again until it ends.
    snapshot = takeSnapshot();
    runFormatsChosen = selected;
    runProgress = std::make_unique<RunProgress>();
    shutdownBlock = std::make_unique<ShutdownBlock> (*this, "Installing " + productName + " " + productVersion);

    const juce::Component::SafePointer<MainComponent> safeThis (this);

    // The worker touches no component: it reads the run's fixed inputs and writes only the
    // progress atomics and the finished report, which the message thread reads after joining it.
    runWorker = std::thread ([this, safeThis, formats = runFormatsChosen, uninstall = uninstallMode, folders = installFolders,
                              name = productName, progress = runProgress.get(), keptCopy = keptCopyFolder, hosts = hostFolders]
                             {
                                 finishedReport = runFormats (formats, uninstall, folders, name, getCarriedArchives(), progress);
                                 findOtherCopies (finishedReport, name, hosts);
                                 finishedSnapshot = takeSnapshot();
                                 // The entry in Installed apps follows what is now on the disk; its
                                 // failure leaves the run as it is.
                                 juce::String unprovenRemark; // a test build's: the window has no log to say it in
                                 finishedEntryNotice = InstalledEntry::update (keptCopy, folders, name, unprovenRemark);

                                 juce::MessageManager::callAsync ([safeThis]
                                                                  {
                                                                      if (auto* component = safeThis.getComponent())
                                                                          component->collectRun();
                                                                  });
                             });

    showView (ControlView::running);
    resized(); // the progress bars take their places
    startTimerHz (progressRefreshHz);
    repaint();
}

void MainComponent::collectRun()
{
    if (! runWorker.joinable())
        return;

    runWorker.join();
    stopTimer();
    shutdownBlock = nullptr;

    snapshot = finishedSnapshot;
    entryNotice = finishedEntryNotice;

    for (const auto& outcome : finishedReport.outcomes)
        selected[(size_t) outcome.formatIndex] = false;

    finishRun (std::move (finishedReport));

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

    runProgress->cancelRequested = true;
    cancelButton->setEnabled (false);
    repaint();
}

bool MainComponent::closeWhenRunEnds (std::function<void()> close)
{
    if (! isRunWorking())
        return false;

    closeAfterRun = std::move (close);
    cancelRun();
    hintLabel->setText (finishingHint, juce::dontSendNotification);
    announce (finishingHint);
    return true;
}

void MainComponent::timerCallback()
{
    for (int i = 0; i < numFormats; ++i)
        if (const auto row = getProgressRow (i); row >= 0)
        {
            repaint (getProgressArea (row).getSmallestIntegerContainer());
            progressReadouts[(size_t) i]->update();
        }
}

double MainComponent::getProgressFraction (int formatIndex) const
{
    if (runProgress == nullptr || ! juce::isPositiveAndBelow (formatIndex, numFormats))
        return 0.0;

    const auto& progress = runProgress->formats[(size_t) formatIndex];

    if (progress.phase == RunPhase::done)
        return 1.0;

    const auto total = progress.totalBytes.load();
    return total > 0 ? juce::jlimit (0.0, 1.0, (double) progress.bytesWritten.load() / (double) total) : 0.0;
}

juce::String MainComponent::getProgressText (int formatIndex) const
{
    if (runProgress == nullptr || ! juce::isPositiveAndBelow (formatIndex, numFormats))
        return {};

    const auto phase = runProgress->formats[(size_t) formatIndex].phase.load();
    return juce::String (getPhaseName (phase)) + ", " + juce::String (juce::roundToInt (getProgressFraction (formatIndex) * 100.0)) + "%";
}

void MainComponent::finishRun (RunReport report)
{
    runReport = std::move (report);
    runFinished = true;

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
        hintLabel->setText (notes.joinIntoString (" "), juce::dontSendNotification);
    else if (installedAny)
        hintLabel->setText ("Rescan plug-ins in your DAW to find " + productName + " " + productVersion, juce::dontSendNotification);
}

juce::String MainComponent::getResultLine (int formatIndex) const
{
    for (const auto& outcome : runReport.outcomes)
        if (outcome.formatIndex == formatIndex)
        {
            auto lines = juce::StringArray (runReport.describe (outcome));
            lines.addArray (getResultNotes (formatIndex));
            return lines.joinIntoString (" ");
        }

    return {};
}

juce::StringArray MainComponent::getResultNotes (int formatIndex) const
{
    juce::StringArray notes;

    for (const auto& outcome : runReport.outcomes)
        if (outcome.formatIndex == formatIndex)
        {
            notes.addArray (runReport.describeRestart (outcome));
            notes.addArray (runReport.describeStillOpen (outcome));

            for (const auto& copy : outcome.otherCopies)
                notes.add (describeOtherCopy (copy));
        }

    return notes;
}

int MainComponent::getResultRow (int formatIndex) const
{
    for (int row = 0; row < runReport.outcomes.size(); ++row)
        if (runReport.outcomes.getReference (row).formatIndex == formatIndex)
            return row;

    return -1;
}

int MainComponent::getProgressRow (int formatIndex) const
{
    if (! isRunWorking() || ! juce::isPositiveAndBelow (formatIndex, numFormats) || ! runFormatsChosen[(size_t) formatIndex])
        return -1;

    int row = 0;

    for (int i = 0; i < formatIndex; ++i)
        row += runFormatsChosen[(size_t) i] ? 1 : 0;

    return row;
}

void MainComponent::showView (ControlView view)
{
    for (const auto& control : mainControls)
    {
        auto& button = *getButtonHolder (control);
        auto shown = control.view == ControlView::always || control.view == view;

        // A result line offers its folder only where a bundle was put.
        if (control.kind == ControlKind::showInFolder)
        {
            const auto row = getResultRow (control.index);
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

    for (int i = 0; i < numFormats; ++i)
    {
        const auto index = (size_t) i;
        progressReadouts[index]->setVisible (view == ControlView::running && runFormatsChosen[index]);
        resultLineTexts[index]->setVisible (view == ControlView::finished && getResultRow (i) >= 0);
    }
}
