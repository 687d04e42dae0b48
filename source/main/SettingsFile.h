// The settings file shared by the maker's installers: where each format is installed.
#pragma once

#include "Catalogue.h"

namespace Settings
{
    /** The file's name in the settings folder (XML, despite its extension). */
    constexpr const char* fileName = "PluginManagerSettings.txt";

    /** The root element's tag, and the explanatory note written with the defaults. */
    constexpr const char* rootTag = "Plugin_Manager_Settings";
    constexpr const char* noteAttribute = "Important_Note:";
    extern const char* const note;

    /** Files larger than this are not settings files of ours; they are ignored like any other
        unreadable file. */
    constexpr juce::int64 maximumFileSize = 1024 * 1024;
} // namespace Settings

/** Reads the settings file in `settingsFolder`, or writes one with the current folders when there
    is none.

    Reading replaces the install folder of each format whose attribute holds a path, and creates
    that folder (with its parents) when it does not exist. A missing or empty attribute keeps the
    format's current (default) folder: an empty path would resolve to the root of the drive. A file
    that is not XML is ignored and left as it is. Writing creates no folder at all: when the
    settings folder is missing, nothing is written and the next start tries again.
*/
void applySettingsFile (const juce::File& settingsFolder, std::array<juce::File, numFormats>& installFolders);

/** Writes the settings element with these folder paths (VST3, CLAP, AAX) through a temporary
    file beside `file`. Returns false when it could not be written. */
bool writeSettingsFile (const juce::File& file, const std::array<juce::String, numFormats>& folderPaths);
