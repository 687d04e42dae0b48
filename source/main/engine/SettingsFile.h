// The settings file shared by the maker's installers: where each format is installed.
#pragma once

#include "main/engine/Catalogue.h"

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

    /** What a NUL in the file (raw or as a reference) and any reference that names no character
        are read as. The parser would drop such a reference, or end the text at a raw NUL, so a
        value would be read other than written; U+FFFF is no XML character, and no usable value
        holds it. */
    constexpr juce::juce_wchar nulStandIn = 0xffff;

    /** Longer folder values are not taken. */
    constexpr int maximumPathLength = 1024;

    /** Which paths count as absolute: POSIX ones start with '/'; Windows ones are a drive path
        ("C:\..." or "C:/...") or a network share ("\\server\share..."). */
    enum class PathRules
    {
        posix,
        windows
    };

   #if JUCE_WINDOWS
    constexpr PathRules nativePathRules = PathRules::windows;
   #else
    constexpr PathRules nativePathRules = PathRules::posix;
   #endif

    /** Whether a folder value read from the file may be acted on by a program that runs with
        administrator rights: an absolute path of at most maximumPathLength characters, neither
        blank nor holding a NUL (which reaches it as Settings::nulStandIn), that is no device or namespace path ("\\?\", "\\.\", also
        with forward slashes, or under the Windows rules a part named like a device). */
    bool isUsableFolderPath (const juce::String& value, PathRules rules = nativePathRules);
} // namespace Settings

/** Reads the settings file in `settingsFolder`, or writes one with the current folders when there
    is none.

    Reading replaces the install folder of each format whose attribute holds a usable path (see
    Settings::isUsableFolderPath), and creates that folder (with its parents) when it does not
    exist. Any other value, or none, keeps the format's current (default) folder: an empty path
    would resolve to the root of the drive, a relative one to wherever the program was started.

    The file is opened once, without following a symbolic link and without waiting, and read only
    when that handle is a regular file of at most Settings::maximumFileSize bytes; it is parsed
    from memory, so nothing else is ever opened. A file that cannot be read that way (a folder, a
    FIFO, a device, a link), one that is not XML, and one with a document type declaration are
    ignored and left as they are. Writing creates no folder at all: when the settings folder is
    missing, nothing is written and the next start tries again.
*/
void applySettingsFile (const juce::File& settingsFolder, std::array<juce::File, numFormats>& installFolders);

/** Reads the settings file in `settingsFolder` as applySettingsFile does, for a start that must
    change nothing: no file is written and no folder is made. */
void readSettingsFile (const juce::File& settingsFolder, std::array<juce::File, numFormats>& installFolders);

/** Writes the settings element with these folder paths (VST3, CLAP, AAX) through a temporary
    file beside `file`. Returns false when it could not be written. */
bool writeSettingsFile (const juce::File& file, const std::array<juce::String, numFormats>& folderPaths);
