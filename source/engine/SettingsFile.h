// The settings file shared by the maker's installers: where each format is installed.
#pragma once

#include "engine/Catalogue.h"
#include "engine/FileNames.h"

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

    // The rules for folder values, kept with the other rules for names.
    using ::PathRules;
    using ::nativePathRules;
    using ::nulStandIn;
    using ::maximumPathLength;
    using ::isUsableFolderPath;

    /** The settings file's text from its bytes: UTF-8, or UTF-16 after a byte-order mark. Every
        ill-formed sequence (a stray or cut-short one, an overlong form, a surrogate, an unpaired
        UTF-16 surrogate) is read as U+FFFD and every NUL as nulStandIn, so that what the parser
        walks is always well-formed. */
    juce::String decodeText (const void* bytes, size_t size);

    /** The folder values that a settings file's bytes hold, by format index; a value that is
        missing or not usable (see isUsableFolderPath) is empty. Reads nothing but the bytes. */
    std::array<juce::String, numFormats> readFolderValues (const void* bytes, size_t size, PathRules rules = nativePathRules);

    //==============================================================================
    /** Whose settings file this program uses. A program with administrator rights (Windows: an
        elevated token; elsewhere: effective user id 0) acts on the folders the file names, so it
        takes only a file that no one else can change. */
    enum class Trust
    {
        anyReadableFile,   // not elevated: whatever file the user may read
        administratorsOnly // elevated: only a file that only administrators can change
    };

    /** The trust this process needs: administratorsOnly when it runs elevated. */
    Trust getProcessTrust();

    /** Why a settings file was not used, or the defaults not written, as the run tells it. */
    constexpr const char* ignoredAsChangeableByUsers = "settings file ignored: users who are not administrators can change it";
    constexpr const char* notWrittenIntoAFolderUsersCanChange = "settings file not written: users who are not administrators can change its folder";
} // namespace Settings

/** Reads the settings file in `settingsFolder`, or writes one with the current folders when there
    is none; returns why the file was ignored or not written (one of Settings' notices), or an empty
    string.

    Reading replaces the install folder of each format whose attribute holds a usable path (see
    Settings::isUsableFolderPath), and creates that folder (with its parents) when it does not
    exist. Any other value, or none, keeps the format's current (default) folder: an empty path
    would resolve to the root of the drive, a relative one to wherever the program was started.

    The settings folder is opened once, and the file once through it, without following a link at
    the file's name and without waiting; the file is read only when that handle is a regular file
    of at most Settings::maximumFileSize bytes and, under Trust::administratorsOnly, when that same
    handle shows a file that only administrators can change (Linux: owned by root and writable by
    no one else) in a folder whose entries only administrators can delete, rename or re-permission
    (Linux: owned by root and writable by no one else, or sticky; on Windows a settings folder that
    is a junction or link is never trusted). The file is parsed from memory,
    so nothing else is ever opened. A file that cannot be read that way (a folder, a FIFO, a device,
    a link), one that is not XML, one with a document type declaration and one that others can
    change are ignored and left as they are.

    Writing creates no folder at all: when the settings folder is missing, nothing is written and
    the next start tries again. Under Trust::administratorsOnly nothing is written into a folder
    that fails the test above.
*/
juce::String applySettingsFile (const juce::File& settingsFolder, std::array<juce::File, numFormats>& installFolders,
                                Settings::Trust trust = Settings::getProcessTrust());

/** Reads the settings file in `settingsFolder` as applySettingsFile does, for a start that must
    change nothing: no file is written and no folder is made. Returns the same notices. */
juce::String readSettingsFile (const juce::File& settingsFolder, std::array<juce::File, numFormats>& installFolders,
                               Settings::Trust trust = Settings::getProcessTrust());

/** Writes the settings element with these folder paths (VST3, CLAP, AAX) as a new file: through a
    temporary file beside `file`, which then takes the name only when no file holds it yet. The file
    lets only administrators change it (Windows: its owner and access list; elsewhere: mode 0644
    for the writing user). Returns false when it could not be written or the name was taken. */
bool writeSettingsFile (const juce::File& file, const std::array<juce::String, numFormats>& folderPaths);
