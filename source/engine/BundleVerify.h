// Compares an installed bundle with the archive it came from, file by file, without changing anything.
#pragma once

#include <juce_core/juce_core.h>

/** What the comparison of one installed bundle with its archive found. Paths are '/'-separated
    and relative to the bundle folder; a bundle that is a single file is named by its own name. */
struct BundleCheck
{
    enum class Outcome
    {
        notInstalled, // nothing, not even a link, has the bundle's name
        matches,
        differs,
        busy,       // another copy of the installer held the bundle for the whole wait
        cannotCheck // the archive cannot be read, or the lock cannot be made in the folder
    };

    Outcome outcome = Outcome::notInstalled;
    juce::StringArray changed; // a file of another size or content, or that cannot be read; a folder where a file was (or the reverse)
    juce::StringArray missing; // in the archive, not in the bundle
    juce::StringArray extra;   // in the bundle, not in the archive (a folder is named alone, not what it holds)
    juce::StringArray links;   // a link (or other non-regular entry) where the archive has a file or folder; never followed
    juce::String reason;       // why it cannot be checked
};

/**
    Compares the bundle `bundleName` in `installFolder` with the ZIP archive it is unpacked from:
    every file's size and CRC-32 against the archive's central directory, and no entry missing or
    extra. Holds the bundle's lock (DurableFiles::BundleLock) for the check, so that no run of
    the installer changes the bundle meanwhile, and writes nothing else.

    Each file is opened without following a link and streamed through a small buffer, never read
    whole; no more is read from it than the archive says it holds, plus one byte. A link inside
    the bundle, or in the bundle's place, is reported and never followed.
*/
BundleCheck verifyBundle (const juce::File& installFolder, const juce::String& bundleName,
                          const void* archiveData, size_t archiveSize);
