#include "engine/ArchivePlan.h"

#include "engine/FileNames.h"
#include "engine/ZipDirectory.h"

#include <set>

namespace ArchivePlan
{
    namespace
    {
        constexpr juce::uint32 localHeaderSignature = 0x04034b50;
        constexpr size_t localHeaderSize = 30;
        constexpr int flagEncrypted = 0x0001;
        constexpr juce::int64 blockSize = 4096;

        /** The time stored with an entry, read as JUCE's ZipFile reads it (local time). */
        juce::Time getEntryTime (int dosTime, int dosDate)
        {
            return { 1980 + (dosDate >> 9), ((dosDate >> 5) & 15) - 1, dosDate & 31,
                     dosTime >> 11, (dosTime >> 5) & 63, (dosTime & 31) << 1 };
        }

        /** Whether a file or folder name means that same name on every system: Windows drops a
            trailing dot or space, and opens device names as devices. */
        bool isSafePathPart (const juce::String& part)
        {
            if (part.isEmpty() || part == "." || part == ".." || part.endsWithChar ('.') || part.endsWithChar (' ') || isReservedDeviceName (part))
                return false;

            for (const auto c : part)
                if (c < 0x20 || c == 0x7f || juce::String (":*?\"<>|").containsChar (c))
                    return false;

            return true;
        }

        /** Checks one entry of the directory and fills `planned` from it; false when the entry
            is not one this installer unpacks. */
        bool planEntry (const ZipDirectoryEntry& entry, const juce::uint8* archive, size_t archiveSize,
                        const juce::String& bundleName, PlannedEntry& planned)
        {
            if (! entry.nameIsWellFormed)
                return false;

            auto path = entry.name.replaceCharacter ('\\', '/');
            planned.isFolder = path.endsWithChar ('/');

            if (planned.isFolder)
                path = path.dropLastCharacters (1);

            const auto parts = juce::StringArray::fromTokens (path, "/", "");

            if (parts.isEmpty() || parts[0] != bundleName)
                return false;

            for (const auto& part : parts)
                if (! isSafePathPart (part))
                    return false;

            if ((entry.flags & flagEncrypted) != 0
                || (entry.method != methodStored && entry.method != methodDeflated)
                || (entry.method == methodStored && entry.compressedSize != entry.uncompressedSize))
                return false;

            // The entry's data follows its local header.
            const auto headerOffset = (size_t) entry.localHeaderOffset;

            if (headerOffset > archiveSize || archiveSize - headerOffset < localHeaderSize
                || juce::ByteOrder::littleEndianInt (archive + headerOffset) != localHeaderSignature)
                return false;

            const auto dataOffset = headerOffset + localHeaderSize
                                  + juce::ByteOrder::littleEndianShort (archive + headerOffset + 26)
                                  + juce::ByteOrder::littleEndianShort (archive + headerOffset + 28);

            if (dataOffset > archiveSize || (juce::uint64) entry.compressedSize > archiveSize - dataOffset)
                return false;

            planned.relativePath = path;
            planned.method = entry.method;
            planned.data = archive + dataOffset;
            planned.compressedSize = (size_t) entry.compressedSize;
            planned.uncompressedSize = planned.isFolder ? 0 : entry.uncompressedSize;
            planned.crc = entry.crc32;
            planned.time = getEntryTime (entry.dosTime, entry.dosDate);
            return true;
        }

        /** Whether any planned entry lies below a file. Paths compare in lower case: Windows folds case. */
        bool liesBelowAFile (const std::vector<PlannedEntry>& plan, const std::set<juce::String>& filePaths)
        {
            for (const auto& planned : plan)
                for (auto parent = getParentPath (planned.relativePath.toLowerCase()); parent.isNotEmpty(); parent = getParentPath (parent))
                    if (filePaths.count (parent) != 0)
                        return true;

            return false;
        }
    } // namespace

    bool planEntries (const void* archiveData, size_t archiveSize, const juce::String& bundleName,
                      std::vector<PlannedEntry>& plan)
    {
        ZipDirectory directory;

        if (readZipDirectory (archiveData, archiveSize, directory).failed() || directory.entries.isEmpty())
            return false;

        std::set<juce::String> filePaths, allPaths; // lower case: Windows folds case
        bool bundleIsFile = false;

        for (const auto& entry : directory.entries)
        {
            PlannedEntry planned;

            if (! planEntry (entry, static_cast<const juce::uint8*> (archiveData), archiveSize, bundleName, planned))
                return false;

            const auto key = planned.relativePath.toLowerCase();

            if (! allPaths.insert (key).second)
                return false; // the same path twice

            if (! planned.isFolder)
                filePaths.insert (key);

            bundleIsFile = bundleIsFile || (! planned.isFolder && ! planned.relativePath.containsChar ('/'));
            plan.push_back (planned);
        }

        // A single-file bundle is the only entry; and no entry may lie below a file.
        return ! (bundleIsFile && plan.size() != 1) && ! liesBelowAFile (plan, filePaths);
    }

    juce::String getParentPath (const juce::String& path)
    {
        return path.containsChar ('/') ? path.upToLastOccurrenceOf ("/", false, false) : juce::String();
    }

    juce::int64 getSpaceNeeded (const std::vector<PlannedEntry>& plan)
    {
        std::set<juce::String> folders;
        juce::int64 bytes = 0;

        for (const auto& entry : plan)
        {
            bytes += (entry.uncompressedSize + blockSize - 1) / blockSize * blockSize;

            for (auto folder = entry.isFolder ? entry.relativePath : getParentPath (entry.relativePath); folder.isNotEmpty();
                 folder = getParentPath (folder))
                folders.insert (folder);
        }

        return bytes + (juce::int64) (folders.size() + 1) * blockSize;
    }
} // namespace ArchivePlan
