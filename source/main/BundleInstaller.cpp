#include "BundleInstaller.h"

#include "FileNames.h"
#include "SafeRemoval.h"
#include "ZipDirectory.h"

#include <zlib.h>

#include <set>

namespace
{
    // Files are written in pieces this large: far fewer system calls than a stream chain of 8 KB
    // pieces, while the buffer stays small next to the archive.
    constexpr int writeBlockSize = 1 << 20;

    constexpr juce::uint32 localHeaderSignature = 0x04034b50;
    constexpr size_t localHeaderSize = 30;
    constexpr int methodStored = 0;
    constexpr int methodDeflated = 8;
    constexpr int flagEncrypted = 0x0001;

    juce::Result fail (const char* reason)
    {
        return juce::Result::fail (reason);
    }

    /** Why writing into `folder` failed: the disk is full when it cannot hold what was still to come. */
    const char* reasonForWriteFailure (const juce::File& folder, juce::int64 bytesStillNeeded)
    {
        return folder.getBytesFreeOnVolume() < juce::jmax ((juce::int64) 1, bytesStillNeeded) ? FailureReason::diskFull
                                                                                            : FailureReason::fileNotWritten;
    }

    /** Why creating a folder in `folder` just failed; call it right after the failure, before
        anything else asks the system for something. */
    const char* reasonForFolderFailure (const juce::File& folder)
    {
        const auto error = getLastSystemError();
        return folder.getBytesFreeOnVolume() < 1 ? FailureReason::diskFull : reasonForSystemError (error, FailureReason::folderNotCreated);
    }

    /** Renames within one folder; the failure names why, e.g. a file in use or no permission. */
    juce::Result renameWithin (const juce::File& source, const juce::File& target)
    {
        if (const auto error = renameEntry (source, target); error != 0)
            return juce::Result::fail (reasonForFailureOn (source, error, FailureReason::fileNotMoved));

        return juce::Result::ok();
    }

    //==============================================================================
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

    /** Checks that the archive holds exactly the bundle `bundleName` and nothing else, in a form
        this installer can unpack, and lists its entries. */
    bool planEntries (const void* archiveData, size_t archiveSize, const juce::String& bundleName,
                      std::vector<PlannedEntry>& plan)
    {
        ZipDirectory directory;

        if (readZipDirectory (archiveData, archiveSize, directory).failed() || directory.entries.isEmpty())
            return false;

        const auto* archive = static_cast<const juce::uint8*> (archiveData);
        std::set<juce::String> filePaths, allPaths; // lower case: Windows folds case
        bool bundleIsFile = false;

        for (const auto& entry : directory.entries)
        {
            if (! entry.nameIsWellFormed)
                return false;

            PlannedEntry planned;
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

            if (parts.size() == 1 && ! planned.isFolder)
                bundleIsFile = true;

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

            const auto key = path.toLowerCase();

            if (! allPaths.insert (key).second)
                return false; // the same path twice

            if (! planned.isFolder)
                filePaths.insert (key);

            plan.push_back (planned);
        }

        // A single-file bundle is the only entry; and no entry may lie below a file.
        if (bundleIsFile && plan.size() != 1)
            return false;

        for (const auto& planned : plan)
        {
            auto parent = planned.relativePath.toLowerCase();

            while (parent.containsChar ('/'))
            {
                parent = parent.upToLastOccurrenceOf ("/", false, false);

                if (filePaths.count (parent) != 0)
                    return false;
            }
        }

        return true;
    }

    //==============================================================================
    /** Unpacks one file entry to `target`, checking its size and CRC-32 as it is written. */
    juce::Result writeEntry (const PlannedEntry& entry, const juce::File& target, const juce::File& installFolder,
                             juce::HeapBlock<char>& buffer)
    {
        auto crc = crc32 (0, nullptr, 0);
        juce::int64 written = 0;

        {
            juce::FileOutputStream out (target);

            if (out.failedToOpen())
                return fail (reasonForWriteFailure (installFolder, entry.uncompressedSize));

            const auto writeBlock = [&] (const void* bytes, int size)
            {
                crc = crc32 (crc, static_cast<const Bytef*> (bytes), (uInt) size);
                written += size;
                return out.write (bytes, (size_t) size);
            };

            if (entry.method == methodStored)
            {
                for (size_t done = 0; done < entry.compressedSize;)
                {
                    const auto size = (int) juce::jmin ((size_t) writeBlockSize, entry.compressedSize - done);

                    if (! writeBlock (entry.data + done, size))
                        return fail (reasonForWriteFailure (installFolder, entry.uncompressedSize - written + size));

                    done += (size_t) size;
                }
            }
            else
            {
                juce::MemoryInputStream compressed (entry.data, entry.compressedSize, false);
                juce::GZIPDecompressorInputStream inflater (&compressed, false, juce::GZIPDecompressorInputStream::deflateFormat,
                                                            entry.uncompressedSize);

                for (;;)
                {
                    // One byte more than still expected, so that a stream longer than declared shows.
                    const auto wanted = (int) juce::jmin ((juce::int64) writeBlockSize, entry.uncompressedSize - written + 1);
                    const auto size = inflater.read (buffer.get(), wanted);

                    if (size <= 0)
                        break;

                    if (! writeBlock (buffer.get(), size))
                        return fail (reasonForWriteFailure (installFolder, entry.uncompressedSize - written + size));
                }
            }

            if (written != entry.uncompressedSize || crc != entry.crc)
                return fail (FailureReason::archiveDamaged);
        }

        // The stream's last small piece is written as it closes: the size on disk shows whether it got there.
        if (target.getSize() != entry.uncompressedSize)
            return fail (reasonForWriteFailure (installFolder, 1));

        target.setCreationTime (entry.time);
        target.setLastModificationTime (entry.time);
        target.setLastAccessTime (entry.time);
        return juce::Result::ok();
    }

    /** A name beside the bundle that nothing uses yet, e.g. ".Morvane4.vst3.staging-0f3a9c1e". */
    juce::File makeUnusedSibling (const juce::File& installFolder, const juce::String& bundleName, const juce::String& purpose)
    {
        for (;;)
        {
            const auto candidate = installFolder.getChildFile ("." + bundleName + "." + purpose + "-"
                                                               + juce::String::toHexString (juce::Random::getSystemRandom().nextInt()).paddedLeft ('0', 8));

            if (! candidate.exists() && ! candidate.isSymbolicLink())
                return candidate;
        }
    }

    /** Staging and removal folders that an interrupted run left behind; they never hold the only
        copy of anything. */
    void removeLeftovers (const juce::File& installFolder, const juce::String& bundleName)
    {
        for (const auto* purpose : { "staging", "removing" })
            for (const auto& leftover : installFolder.findChildFiles (juce::File::findFilesAndDirectories, false,
                                                                      "." + bundleName + "." + purpose + "-*"))
                removeTreeNowOrAtRestart (leftover);
    }

    /** Removes the staging folder on every way out. */
    struct StagingFolder
    {
        juce::File folder;

        ~StagingFolder()
        {
            if (folder != juce::File())
                removeTreeNowOrAtRestart (folder);
        }
    };
} // namespace

//==============================================================================
juce::Result installBundle (const juce::File& installFolder, const juce::String& bundleName,
                            const void* archiveData, size_t archiveSize)
{
    std::vector<PlannedEntry> plan;

    if (bundleName.isEmpty() || ! planEntries (archiveData, archiveSize, bundleName, plan))
        return fail (FailureReason::archiveDamaged);

    if (! installFolder.isDirectory() && installFolder.createDirectory().failed())
        return fail (reasonForFolderFailure (installFolder));

    removeLeftovers (installFolder, bundleName);

    const auto stagingFolder = makeUnusedSibling (installFolder, bundleName, "staging");

    if (stagingFolder.createDirectory().failed())
        return fail (reasonForFolderFailure (installFolder));

    const StagingFolder staging { stagingFolder };
    juce::HeapBlock<char> buffer (writeBlockSize);
    auto lastFolder = stagingFolder;

    for (const auto& entry : plan)
    {
        const auto target = stagingFolder.getChildFile (entry.relativePath);
        const auto folder = entry.isFolder ? target : target.getParentDirectory();

        if (folder != lastFolder && ! folder.isDirectory() && folder.createDirectory().failed())
            return fail (reasonForFolderFailure (installFolder));

        lastFolder = folder;

        if (! entry.isFolder)
            if (const auto result = writeEntry (entry, target, installFolder, buffer); result.failed())
                return result;
    }

    // Everything is written and checked: now the swap, which only renames within one folder.
    const auto bundle = installFolder.getChildFile (bundleName);
    const auto newBundle = stagingFolder.getChildFile (bundleName);
    juce::File oldBundle;

    if (bundle.exists())
    {
        oldBundle = makeUnusedSibling (installFolder, bundleName, "old");

        if (const auto result = renameWithin (bundle, oldBundle); result.failed())
            return result;
    }

    if (const auto result = renameWithin (newBundle, bundle); result.failed())
    {
        if (oldBundle != juce::File() && renameWithin (oldBundle, bundle).failed())
            return juce::Result::fail (result.getErrorMessage() + "; the old version is kept as " + oldBundle.getFileName());

        return result;
    }

    // A file that is in use (a loaded module on Windows) stays until the next restart or run.
    if (oldBundle != juce::File())
        removeTreeNowOrAtRestart (oldBundle);

    return juce::Result::ok();
}

juce::Result uninstallBundle (const juce::File& installFolder, const juce::String& bundleName)
{
    if (bundleName.isEmpty())
        return juce::Result::ok();

    const auto bundle = installFolder.getChildFile (bundleName);

    if (! bundle.exists())
    {
        // A link that leads nowhere is no bundle, but it goes with the uninstall all the same.
        if (bundle.isSymbolicLink())
            if (const auto outcome = removeTree (bundle); ! outcome.wasOk())
                return fail (reasonForSystemError (outcome.firstError, FailureReason::fileNotMoved));

        return juce::Result::ok();
    }

    removeLeftovers (installFolder, bundleName);

    const auto removing = makeUnusedSibling (installFolder, bundleName, "removing");

    if (const auto result = renameWithin (bundle, removing); result.failed())
        return result;

    // Out of the plug-in hosts' sight now; a file in use goes at the next restart or run.
    removeTreeNowOrAtRestart (removing);
    return juce::Result::ok();
}
