#include "engine/InstallRun.h"

#include "engine/BundleInstaller.h"
#include "engine/MappedPages.h"

#include <thread>
#include <vector>

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
    auto reason = outcome.reason;

    // Who keeps it in use, where the system could tell.
    if (reason.startsWith (FailureReason::fileInUse) && ! outcome.holders.isEmpty())
        reason = outcome.bundlePath.getFileName() + " is in use by " + describeHolders (outcome.holders) + reason.substring (juce::String (FailureReason::fileInUse).length());

    return name + (uninstall ? " not removed: " : " not installed: ") + reason + (leftUntouched ? ". Nothing was changed." : ".");
}

juce::StringArray RunReport::describeRestart (const FormatOutcome& outcome) const
{
    // The files are what the reader can act on; the folders holding them go with them.
    juce::StringArray lines;
    const auto holders = outcome.holders.isEmpty() ? juce::String ("another program") : describeHolders (outcome.holders);

    for (const auto& path : outcome.removedAtRestart)
        if (! path.isDirectory())
            lines.add (formatNames[outcome.formatIndex] + ": " + path.getFullPathName() + " is in use by " + holders + "; it is removed at the next restart");

    if (lines.isEmpty() && outcome.needsRestart())
        lines.add (formatNames[outcome.formatIndex] + ": " + outcome.removedAtRestart.getFirst().getFullPathName() + " is in use; it is removed at the next restart");

    return lines;
}

juce::StringArray RunReport::describeStillOpen (const FormatOutcome& outcome) const
{
    juce::StringArray lines;

    // On Windows the holders of a run that succeeded are those of the files left for the restart.
    if (! outcome.succeeded || outcome.needsRestart())
        return lines;

    const auto product = outcome.bundlePath.getFileNameWithoutExtension();

    for (const auto& holder : outcome.holders)
        lines.add (formatNames[outcome.formatIndex] + ": " + describeHolders ({ holder }) + " still has the "
                   + (uninstall ? "removed " + product + " open: restart it to let it go"
                                : "earlier " + product + " open: restart it to load " + Product::version));

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

InstallerSetup readInstallerSetup (const SystemLocations& locations, Settings::Trust trust)
{
    auto setup = getDefaultSetup (locations);
    setup.settingsNotice = readSettingsFile (setup.settingsFolder, setup.installFolders, trust);
    return setup;
}

InstallerSetup startInstaller (const SystemLocations& locations, Settings::Trust trust)
{
    auto setup = getDefaultSetup (locations);
    setup.settingsNotice = applySettingsFile (setup.settingsFolder, setup.installFolders, trust);

    // What an interrupted run left is put right before anything is detected or run.
    setup.repairNotices = repairInterruptedRuns (setup.installFolders, setup.productName);
    return setup;
}

//==============================================================================
RunReport runFormats (const std::array<bool, numFormats>& formats, bool uninstall,
                      const std::array<juce::File, numFormats>& installFolders,
                      const juce::String& productName, const CarriedArchives& archives,
                      RunProgress* progressToReport)
{
    RunProgress unreported;
    auto& progress = progressToReport != nullptr ? *progressToReport : unreported;

    std::vector<int> chosen;

    for (int i = 0; i < numFormats; ++i)
        if (formats[(size_t) i])
            chosen.push_back (i);

    // The archives live in the executable, read-only and file-backed: what has been inflated can go.
    for (const auto i : chosen)
        progress.formats[(size_t) i].releaseReadPages = true;

    std::array<FormatOutcome, numFormats> outcomes;

    // Each format works only in its own folder, on its own bundle, under its own lock, and writes
    // only its own outcome: a failing one never touches another.
    const auto runOne = [&] (int i)
    {
        const auto& folder = installFolders[(size_t) i];
        const auto bundleName = getBundleName (productName, i);
        const auto bundlePath = getBundlePath (folder, productName, i);
        const auto wasPresent = bundlePath.exists();
        const auto& archive = archives[(size_t) i];
        auto& formatProgress = progress.formats[(size_t) i];

        // The archive is read in place: no copy is needed.
        juce::Array<juce::File> removedAtRestart;
        const BundleHolders holders (bundlePath); // before the swap or removal
        const auto result = uninstall ? uninstallBundle (folder, bundleName, &removedAtRestart, &formatProgress)
                                      : installBundle (folder, bundleName, archive.data, archive.size, &removedAtRestart, &formatProgress);

        outcomes[(size_t) i] = { i, result.wasOk(), result.getErrorMessage(), bundlePath, wasPresent, getFailureKind (result), removedAtRestart,
                                 holders.afterRun (result, removedAtRestart) };

        // Whatever of the archive is still resident goes too (its directory, an entry cut short).
        if (! uninstall)
            releaseMappedPages (archive.data, archive.size);

        formatProgress.phase = RunPhase::done;
    };

    // One worker per format where the machine has a core for it; this thread is one of them.
    const auto workers = juce::jmin ((int) chosen.size(), juce::jmax (1, juce::SystemStats::getNumCpus()));
    std::atomic<size_t> next { 0 };

    const auto work = [&]
    {
        for (auto k = next++; k < chosen.size(); k = next++)
            runOne (chosen[k]);
    };

    std::vector<std::thread> helpers;

    for (int w = 1; w < workers; ++w)
        helpers.emplace_back (work);

    work();

    for (auto& helper : helpers)
        helper.join();

    RunReport report;
    report.uninstall = uninstall;

    for (const auto i : chosen)
        report.outcomes.add (outcomes[(size_t) i]);

    return report;
}
