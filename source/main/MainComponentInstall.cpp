// The install and uninstall run of the selected formats.
#include "MainComponent.h"

void MainComponent::installSelectedFormats()
{
    runReport = {};
    runReport.uninstall = uninstallMode;

    for (auto& flag : selected)
        flag = false;

    runFinished = true;

    for (auto& button : formatButtons)
        button->setVisible (false);

    selectAllButton->setVisible (false);
    installButton->setVisible (false);
    repaint();
}
