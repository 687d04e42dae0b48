// The install and uninstall run over the three formats, the start-up that precedes it, and its outcome.
#pragma once

#include "main/engine/Catalogue.h"
#include "main/engine/SettingsFile.h"

/** What happened to one processed format. */
struct FormatOutcome
{
    int formatIndex = -1;
    bool succeeded = true;
    juce::String reason; // short, lower case, e.g. "disk full"; empty on success. A detail after
                         // "; " tells where a version was left when the bundle could not be kept.
    juce::File bundlePath;
    bool wasPresent = false; // whether the bundle existed when its turn came
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

    juce::File getSettingsFile() const;
};

/** What every start does before anything is detected or run, the window's and the command
    line's alike: the product identity, the default install folders, and the settings file read
    (or written with the defaults when there is none), trusted as this process needs it. */
InstallerSetup startInstaller (const SystemLocations& locations, Settings::Trust trust = Settings::getProcessTrust());

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
    is true, in format order, each from start to end before the next. A failed format does not
    stop the others. */
RunReport runFormats (const std::array<bool, numFormats>& formats, bool uninstall,
                      const std::array<juce::File, numFormats>& installFolders,
                      const juce::String& productName, const CarriedArchives& archives);
