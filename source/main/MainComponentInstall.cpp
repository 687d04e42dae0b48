// The install and uninstall run of the selected formats.
#include "MainComponent.h"

#include "BundleInstaller.h"
#include "MappedPages.h"

#include <BinaryData.h>

namespace
{
    struct CarriedArchive
    {
        const char* data;
        int size;
    };

    /** The archive that carries a format's bundle, from the resource table. */
    CarriedArchive getCarriedArchive (int formatIndex)
    {
        switch (formatIndex)
        {
            case 0:  return { BinaryData::vst3_zip, BinaryData::vst3_zipSize };
            case 1:  return { BinaryData::clap_zip, BinaryData::clap_zipSize };
            case 2:  return { BinaryData::aax_zip, BinaryData::aax_zipSize };
            default: return { nullptr, 0 };
        }
    }
} // namespace

void MainComponent::installSelectedFormats()
{
    RunReport report;
    report.uninstall = uninstallMode;

    // VST3, CLAP, AAX in turn, each from start to end before the next. The archive is read in
    // place from the resource table: no copy is needed.
    for (int i = 0; i < numFormats; ++i)
    {
        if (! selected[(size_t) i])
            continue;

        const auto bundleName = getBundleName (productName, i);
        const auto archive = getCarriedArchive (i);
        const auto result = uninstallMode ? uninstallBundle (installFolders[(size_t) i], bundleName)
                                          : installBundle (installFolders[(size_t) i], bundleName, archive.data, (size_t) archive.size);

        report.outcomes.add ({ i, result.wasOk(), result.getErrorMessage() });
        selected[(size_t) i] = false;

        // Unpacking read the whole archive into resident memory; only one is needed at a time.
        if (! uninstallMode)
            releaseMappedPages (archive.data, (size_t) archive.size);
    }

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
}
