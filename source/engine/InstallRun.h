// The install and uninstall run over the three formats, the start-up that precedes it, and its outcome.
#pragma once

#include "engine/Catalogue.h"
#include "engine/FileHolders.h"
#include "engine/HostFolders.h"
#include "engine/RunProgress.h"

/** What kind of failure a format met, as deployment tools tell them apart. */
enum class FailureKind
{
    none,
    other,
    diskFull,
    anotherRunning
};
#include "engine/SettingsFile.h"

/** What happened to one processed format. */
struct FormatOutcome
{
    int formatIndex = -1;
    bool succeeded = true;
    juce::String reason; // short, lower case, e.g. "disk full"; empty on success. A detail after
                         // "; " tells where a version was left when the bundle could not be kept.
    juce::File bundlePath;
    bool wasPresent = false; // whether the bundle existed when its turn came
    FailureKind failureKind = FailureKind::none;
    juce::Array<juce::File> removedAtRestart {}; // files in use (and the folders holding them) that
                                                 // Windows removes at the next restart
    juce::Array<FileHolder> holders {};     // programs that kept the bundle in use, or (Linux) still
                                            // have the bundle that was replaced or removed open
    juce::Array<OtherCopy> otherCopies {};  // copies in host folders a host may load first

    /** Whether the next restart finishes what this format's run began. */
    bool needsRestart() const { return ! removedAtRestart.isEmpty(); }
};

/** The record of one run: one outcome per processed format, in format order. */
struct RunReport
{
    bool uninstall = false;
    juce::Array<FormatOutcome> outcomes;

    /** True when every processed format succeeded; a run that processed nothing succeeded too. */
    bool allSucceeded() const;

    /** One line per failed format, e.g. "VST3 not installed: disk full. Nothing was changed." */
    juce::StringArray getFailureLines() const;

    /** The line that tells what happened to one format: its failure line, or e.g.
        "VST3 installed in <bundle path>", "CLAP removed from <bundle path>". */
    juce::String describe (const FormatOutcome& outcome) const;

    /** One line per file that waits for the next restart, e.g. "VST3: <path> is in use by another
        program; it is removed at the next restart" (by NAME (process PID), where the system named it). */
    juce::StringArray describeRestart (const FormatOutcome& outcome) const;

    /** One line per program that still has the bundle a successful run replaced or removed open
        (Linux), e.g. "VST3: fakehost (process 4242) still has the earlier Morvane4 open: restart it
        to load 4.0.2". */
    juce::StringArray describeStillOpen (const FormatOutcome& outcome) const;
};

//==============================================================================
/** Where a copy of the installer works, as its start-up found it. */
struct InstallerSetup
{
    juce::String productName; // with its first "_" shown as a space, as in the bundle names
    juce::String productVersion;
    juce::File settingsFolder;
    std::array<juce::File, numFormats> installFolders;
    juce::String settingsNotice; // why the settings file was ignored or not written; usually empty
    juce::StringArray repairNotices; // each format whose interrupted run was left unrepaired at the start

    juce::File getSettingsFile() const;
};

/** What every start does before anything is detected or run, the window's and the command
    line's alike: the product identity, the default install folders, and the settings file read
    (or written with the defaults when there is none), trusted as this process needs it. */
InstallerSetup startInstaller (const SystemLocations& locations, Settings::Trust trust = Settings::getProcessTrust());

/** The same places as startInstaller finds, for a start that must change nothing: the settings
    file is only read (never written, no folder made) and nothing is repaired. */
InstallerSetup readInstallerSetup (const SystemLocations& locations, Settings::Trust trust = Settings::getProcessTrust());

//==============================================================================
/** A plug-in archive carried by the program: its bytes and size. */
struct CarriedArchive
{
    const void* data = nullptr;
    size_t size = 0;
};

using CarriedArchives = std::array<CarriedArchive, numFormats>;

/** The three archives of the resource table, by format index. */
CarriedArchives getCarriedArchives();

/** Installs (or, with `uninstall`, removes) the bundle of every format whose entry of `formats`
    is true: the formats side by side on worker threads where the machine has the cores, the
    outcomes in format order. A failed format does not stop or touch the others. The archives must
    be mapped read-only from a file, as the carried ones are: their pages are handed back as they
    are read. With `progress`, each format's work is reported there and its cancel flag stops
    every format at its next piece. Returns once every format is done. */
RunReport runFormats (const std::array<bool, numFormats>& formats, bool uninstall,
                      const std::array<juce::File, numFormats>& installFolders,
                      const juce::String& productName, const CarriedArchives& archives,
                      RunProgress* progress = nullptr);
