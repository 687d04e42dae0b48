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

    for (auto& button : formatButtons)
        button->setVisible (false);

    selectAllButton->setVisible (false);
    installButton->setVisible (false);
    repaint();

    outcomeText->setVisible (true);
    announce (getOutcomeText());
}
