// The checked plan of a bundle's archive: every entry, where its bytes lie, and what it takes on disk.
#pragma once

#include <juce_core/juce_core.h>

#include <vector>

namespace ArchivePlan
{
    constexpr int methodStored = 0;
    constexpr int methodDeflated = 8;

    /** One checked entry of the archive, with the bytes it is made from. */
    struct PlannedEntry
    {
        juce::String relativePath; // '/'-separated, starting with the bundle name
        bool isFolder = false;
        int method = methodStored;
        const juce::uint8* data = nullptr;
        size_t compressedSize = 0;
        juce::int64 uncompressedSize = 0;
        juce::uint32 crc = 0;
        juce::Time time;
    };

    /** Checks that the archive holds exactly the bundle `bundleName` and nothing else, in a form
        this installer can unpack (stored or deflated, not encrypted, every name the same file on
        every system, nothing twice, nothing below a file), and lists its entries. */
    bool planEntries (const void* archiveData, size_t archiveSize, const juce::String& bundleName,
                      std::vector<PlannedEntry>& plan);

    /** What the bundle takes on disk at most: each file rounded up to whole blocks, a block per folder. */
    juce::int64 getSpaceNeeded (const std::vector<PlannedEntry>& plan);

    /** "a/b/c" gives "a/b"; a path of one part gives "". */
    juce::String getParentPath (const juce::String& path);
} // namespace ArchivePlan
