#include "main/engine/InstallRun.h"

#include "main/engine/BundleInstaller.h"
#include "main/engine/MappedPages.h"

bool RunReport::allSucceeded() const
{
    for (const auto& outcome : outcomes)
        if (! outcome.succeeded)
            return false;

    return true;
}

juce::StringArray RunReport::getFailureLines() const
{
    juce::StringArray lines;

    for (const auto& outcome : outcomes)
        if (! outcome.succeeded)
            lines.add (describe (outcome));

    return lines;
}

juce::String RunReport::describe (const FormatOutcome& outcome) const
{
    const auto& name = formatNames[outcome.formatIndex];
    const auto path = outcome.bundlePath.getFullPathName();

    if (outcome.succeeded)
    {
        if (! uninstall)
            return name + " installed in " + path;

        return outcome.wasPresent ? name + " removed from " + path
                                  : name + " was not installed in " + path;
    }

    // A reason with a detail after "; " says where the old version was left: then something did
    // change, and the line must not claim otherwise.
    const auto leftUntouched = ! outcome.reason.contains ("; ");

    return name + (uninstall ? " not removed: " : " not installed: ") + outcome.reason + (leftUntouched ? ". Nothing was changed." : ".");
}

//==============================================================================
juce::File InstallerSetup::getSettingsFile() const
{
    return settingsFolder.getChildFile (Settings::fileName);
}

InstallerSetup startInstaller (const SystemLocations& locations, Settings::Trust trust)
{
    InstallerSetup setup;
    setup.productName = juce::String (Product::name).replaceFirstOccurrenceOf ("_", " ");
    setup.productVersion = Product::version;
    setup.installFolders = locations.defaultInstallFolders;
    setup.settingsFolder = locations.commonApplicationData.getChildFile (Product::makerFolderName);
    setup.settingsNotice = applySettingsFile (setup.settingsFolder, setup.installFolders, trust);

    // What an interrupted run left is put right before anything is detected or run.
    repairInterruptedRuns (setup.installFolders, setup.productName);
    return setup;
}

//==============================================================================
RunReport runFormats (const std::array<bool, numFormats>& formats, bool uninstall,
                      const std::array<juce::File, numFormats>& installFolders,
                      const juce::String& productName, const CarriedArchives& archives)
{
    RunReport report;
    report.uninstall = uninstall;

    for (int i = 0; i < numFormats; ++i)
    {
        if (! formats[(size_t) i])
            continue;

        const auto& folder = installFolders[(size_t) i];
        const auto bundleName = getBundleName (productName, i);
        const auto bundlePath = getBundlePath (folder, productName, i);
        const auto wasPresent = bundlePath.exists();
        const auto& archive = archives[(size_t) i];

        // The archive is read in place: no copy is needed.
        const auto result = uninstall ? uninstallBundle (folder, bundleName)
                                      : installBundle (folder, bundleName, archive.data, archive.size);

        report.outcomes.add ({ i, result.wasOk(), result.getErrorMessage(), bundlePath, wasPresent });

        // Unpacking read the whole archive into resident memory; only one is needed at a time.
        if (! uninstall)
            releaseMappedPages (archive.data, archive.size);
    }

    return report;
}
