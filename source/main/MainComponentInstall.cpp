// The install and uninstall run of the selected formats.
#include "main/MainComponent.h"

#include "main/engine/InstalledEntry.h"

void MainComponent::installSelectedFormats()
{
    auto report = runFormats (selected, uninstallMode, installFolders, productName, getCarriedArchives());

    for (const auto& outcome : report.outcomes)
        selected[(size_t) outcome.formatIndex] = false;

    // The entry in Installed apps follows what is now on the disk; its failure leaves the run as it is.
    entryNotice = InstalledEntry::update (keptCopyFolder, installFolders, productName);
    finishRun (std::move (report));
}

void MainComponent::finishRun (RunReport report)
{
    runReport = std::move (report);
    runFinished = true;

    // The view where formats are chosen ends with its controls.
    for (const auto& control : mainControls)
        if (control.view == ControlView::choosingFormats)
            getButtonHolder (control)->setVisible (false);

    repaint();

    outcomeText->setVisible (true);
    announce (getOutcomeText());
}
