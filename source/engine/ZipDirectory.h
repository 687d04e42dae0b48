// Reads the central directory of a ZIP archive: the fields that juce::ZipFile does not expose.
#pragma once

#include <juce_core/juce_core.h>

/** One record of an archive's central directory, as stored. */
struct ZipDirectoryEntry
{
    juce::String name;             // as stored, with the archive's own separators
    bool nameIsWellFormed = true;  // false when the stored bytes are not UTF-8 (or hold a NUL): name is then not what is stored
    int versionMadeBy = 0;         // low byte: version, high byte: host system
    int versionNeeded = 0;
    int flags = 0;
    int method = 0;
    int dosTime = 0;
    int dosDate = 0;
    juce::uint32 crc32 = 0;
    juce::int64 compressedSize = 0;
    juce::int64 uncompressedSize = 0;
    int extraFieldLength = 0;
    int commentLength = 0;
    juce::uint32 externalAttributes = 0;
    juce::int64 localHeaderOffset = 0;

    bool isFolder() const { return name.endsWithChar ('\\') || name.endsWithChar ('/'); }
};

/** The parsed directory of an archive. */
struct ZipDirectory
{
    juce::Array<ZipDirectoryEntry> entries;
    int archiveCommentLength = 0;
    bool isZip64 = false;
};

/** Parses the central directory of the archive held in memory. Fails with a reason for anything
    that is not a well-formed, complete directory; never reads outside the given bytes. */
juce::Result readZipDirectory (const void* data, size_t size, ZipDirectory& result);
