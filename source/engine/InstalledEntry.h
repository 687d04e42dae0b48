// The product's entry in Windows' list of installed apps, which names the copy of the installer kept for it.
#pragma once

#include "engine/Catalogue.h"
#include "engine/KeptCopy.h"

/**
    After every run the entry under HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall follows
    what is on the disk: while a format is installed the installer keeps a copy of itself in the
    kept-copy folder and the entry names it (Modify, Repair, Uninstall); once none is, both go.
    Only Windows has such an entry: elsewhere nothing is written.
*/
namespace InstalledEntry
{
    /** "Tarnwick Morvane4", the entry's key below the Uninstall key. */
    juce::String getKeyName();

    /** One value of the entry: a text (REG_SZ) or a number (REG_DWORD). */
    struct Value
    {
        juce::String name;
        juce::String text;
        juce::uint32 number = 0;
        bool isNumber = false;
    };

    /** What the entry says. */
    struct Facts
    {
        std::array<bool, numFormats> installed {};
        juce::int64 installedBytes = 0;
        juce::File keptCopy;     // the installer the entry's commands start
        juce::String installDate; // yyyymmdd
    };

    /** The entry's values in the order they are written: DisplayName last, so that the entry is
        listed only once it is whole. */
    juce::Array<Value> makeValues (const Facts& facts);

    /** The installed formats for people, in format order: "VST3, CLAP". */
    juce::String describeFormats (const std::array<bool, numFormats>& installed);

    /** "Remove Morvane4 (VST3, CLAP) from this computer?" */
    juce::String getRemovalQuestion (const std::array<bool, numFormats>& installed);

    /** The bytes of every file below the given bundles (a bundle may be a single file); links
        are not followed. */
    juce::int64 countBytes (const juce::Array<juce::File>& bundles);

    //==============================================================================
    /** Brings the entry and the kept copy in line with the formats now in `installFolders`. An
        empty `keptCopyFolder` (tests, and every system but Windows) leaves everything alone.
        Returns an empty string, or the line that says what could not be done; the run that came
        before stands either way. A release keeps only a copy proven by KeptCopyProof, and replaces
        a kept one that is not; a test build sets `unprovenRemark` to a line saying that the copy it
        kept is unproven. */
    juce::String update (const juce::File& keptCopyFolder, const std::array<juce::File, numFormats>& installFolders,
                         const juce::String& productName, juce::String& unprovenRemark);
} // namespace InstalledEntry
