#include "engine/ZipDirectory.h"

#include "engine/FileNames.h"

namespace
{
    constexpr juce::uint32 endOfDirectorySignature = 0x06054b50;
    constexpr juce::uint32 zip64LocatorSignature = 0x07064b50;
    constexpr juce::uint32 directoryEntrySignature = 0x02014b50;
    constexpr size_t endOfDirectorySize = 22;
    constexpr size_t directoryEntrySize = 46;

    struct Reader
    {
        const juce::uint8* bytes;
        size_t size;

        bool has (size_t offset, size_t length) const { return offset <= size && length <= size - offset; }
        int u16 (size_t offset) const { return (int) juce::ByteOrder::littleEndianShort (bytes + offset); }
        juce::uint32 u32 (size_t offset) const { return juce::ByteOrder::littleEndianInt (bytes + offset); }
    };
} // namespace

juce::Result readZipDirectory (const void* data, size_t size, ZipDirectory& result)
{
    result = {};

    if (data == nullptr || size < endOfDirectorySize)
        return juce::Result::fail ("the archive is too short");

    const Reader in { static_cast<const juce::uint8*> (data), size };

    // The end record sits in the last 22 bytes, or further up when a comment follows it.
    const size_t earliest = size > endOfDirectorySize + 0xffff ? size - endOfDirectorySize - 0xffff : 0;
    size_t end = size - endOfDirectorySize;

    for (;; --end)
    {
        if (in.u32 (end) == endOfDirectorySignature && end + endOfDirectorySize + (size_t) in.u16 (end + 20) == size)
            break;

        if (end == earliest)
            return juce::Result::fail ("the archive has no end-of-directory record");
    }

    result.archiveCommentLength = in.u16 (end + 20);
    const auto count = in.u16 (end + 10);
    const auto directorySize = (size_t) in.u32 (end + 12);
    const auto directoryOffset = (size_t) in.u32 (end + 16);

    result.isZip64 = count == 0xffff || directorySize == 0xffffffff || directoryOffset == 0xffffffff
                  || (end >= 20 && in.u32 (end - 20) == zip64LocatorSignature);

    if (result.isZip64)
        return juce::Result::fail ("the archive uses ZIP64");

    if (! in.has (directoryOffset, directorySize) || directoryOffset + directorySize > end)
        return juce::Result::fail ("the central directory lies outside the archive");

    size_t pos = directoryOffset;

    for (int i = 0; i < count; ++i)
    {
        if (! in.has (pos, directoryEntrySize) || in.u32 (pos) != directoryEntrySignature)
            return juce::Result::fail ("central directory record " + juce::String (i) + " is damaged");

        ZipDirectoryEntry entry;
        entry.versionMadeBy = in.u16 (pos + 4);
        entry.versionNeeded = in.u16 (pos + 6);
        entry.flags = in.u16 (pos + 8);
        entry.method = in.u16 (pos + 10);
        entry.dosTime = in.u16 (pos + 12);
        entry.dosDate = in.u16 (pos + 14);
        entry.crc32 = in.u32 (pos + 16);
        entry.compressedSize = in.u32 (pos + 20);
        entry.uncompressedSize = in.u32 (pos + 24);
        const auto nameLength = (size_t) in.u16 (pos + 28);
        entry.extraFieldLength = in.u16 (pos + 30);
        entry.commentLength = in.u16 (pos + 32);
        entry.externalAttributes = in.u32 (pos + 38);
        entry.localHeaderOffset = in.u32 (pos + 42);

        const auto recordSize = directoryEntrySize + nameLength + (size_t) entry.extraFieldLength + (size_t) entry.commentLength;

        if (! in.has (pos, recordSize) || pos + recordSize > directoryOffset + directorySize)
            return juce::Result::fail ("central directory record " + juce::String (i) + " runs past the directory");

        const auto* name = reinterpret_cast<const char*> (in.bytes + pos + directoryEntrySize);
        entry.name = juce::String::fromUTF8 (name, (int) nameLength);
        entry.nameIsWellFormed = isWellFormedUtf8 (name, nameLength);

        if (entry.compressedSize == 0xffffffff || entry.uncompressedSize == 0xffffffff || entry.localHeaderOffset == 0xffffffff)
        {
            result.isZip64 = true;
            return juce::Result::fail ("the archive uses ZIP64");
        }

        result.entries.add (entry);
        pos += recordSize;
    }

    return juce::Result::ok();
}
