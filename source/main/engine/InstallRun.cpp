#include "main/engine/InstallRun.h"

#include "main/engine/BundleInstaller.h"
#include "main/engine/MappedPages.h"
#include "main/engine/SettingsFile.h"

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

juce::StringArray RunReport::describeRestart (const FormatOutcome& outcome) const
{
    // The files are what the reader can act on; the folders holding them go with them.
    juce::StringArray lines;

    for (const auto& path : outcome.removedAtRestart)
        if (! path.isDirectory())
            lines.add (formatNames[outcome.formatIndex] + ": " + path.getFullPathName() + " is in use by another program; it is removed at the next restart");

    if (lines.isEmpty() && outcome.needsRestart())
        lines.add (formatNames[outcome.formatIndex] + ": " + outcome.removedAtRestart.getFirst().getFullPathName() + " is in use; it is removed at the next restart");

    return lines;
}

//==============================================================================
juce::File InstallerSetup::getSettingsFile() const
{
    return settingsFolder.getChildFile (Settings::fileName);
}

namespace
{
    /** The product identity and the default folders, before the settings file is looked at. */
    InstallerSetup getDefaultSetup (const SystemLocations& locations)
    {
        InstallerSetup setup;
        setup.productName = juce::String (Product::name).replaceFirstOccurrenceOf ("_", " ");
        setup.productVersion = Product::version;
        setup.installFolders = locations.defaultInstallFolders;
        setup.settingsFolder = locations.commonApplicationData.getChildFile (Product::makerFolderName);
        return setup;
    }

    FailureKind getFailureKind (const juce::Result& result)
    {
        if (result.wasOk())
            return FailureKind::none;

        const auto reason = result.getErrorMessage().upToFirstOccurrenceOf ("; ", false, false);

        if (reason == FailureReason::diskFull)
            return FailureKind::diskFull;

        if (reason == FailureReason::anotherRunning)
            return FailureKind::anotherRunning;

        return FailureKind::other;
    }
} // namespace

InstallerSetup readInstallerSetup (const SystemLocations& locations)
{
    auto setup = getDefaultSetup (locations);
    readSettingsFile (setup.settingsFolder, setup.installFolders);
    return setup;
}

InstallerSetup startInstaller (const SystemLocations& locations)
{
    auto setup = getDefaultSetup (locations);
    applySettingsFile (setup.settingsFolder, setup.installFolders);

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
        juce::Array<juce::File> removedAtRestart;
        const auto result = uninstall ? uninstallBundle (folder, bundleName, &removedAtRestart)
                                      : installBundle (folder, bundleName, archive.data, archive.size, &removedAtRestart);

        report.outcomes.add ({ i, result.wasOk(), result.getErrorMessage(), bundlePath, wasPresent, getFailureKind (result), removedAtRestart });

        // Unpacking read the whole archive into resident memory; only one is needed at a time.
        if (! uninstall)
            releaseMappedPages (archive.data, archive.size);
    }

    return report;
}
