// What is installed of each format: worked out from the file system every time it is asked.
#pragma once

#include "engine/Catalogue.h"

/** The status of one format, worked out from the file system each time it is shown. */
struct FormatStatus
{
    InstallState state = InstallState::NotInstalled;
    juce::String installedVersion; // "a.b.c.d" read from the module; empty when none could be read
    juce::String statusText;       // e.g. "v4.0.1.0 NEEDS UPDATE", "INSTALLED", "NOT INSTALLED"
};

/** The installed state of a format (0..2) in its install folder, compared with productVersion.
    A bundle whose module file is missing, or has no version that can be read, needs an update.
    Reads the disk and changes nothing. */
FormatStatus detectFormatStatus (const juce::File& installFolder, const juce::String& productName,
                                 const juce::String& productVersion, int formatIndex);

/** The fixed file version ("a.b.c.d") of a Windows module, or "" when the file has none or cannot
    be read: the version resource read directly, through the handle of the plain file opened (the
    same answer as Windows' version API), so that the rows show versions on Linux too. */
juce::String readModuleVersion (const juce::File& module);

