#include "main/engine/BundleInstaller.h"

#include "main/engine/Catalogue.h"
#include "main/engine/DurableFiles.h"
#include "main/engine/FileNames.h"
#include "main/engine/MappedPages.h"
#include "main/engine/SafeRemoval.h"
#include "main/engine/ZipDirectory.h"

#include <zlib.h>

#include <map>
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
        DurableFiles::announceStep ("rename", source);

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
    /** How long a run waits for another copy of the installer to finish the same bundle. A whole
        run of one format takes well under a second; a copy that holds on longer is stuck or busy
        with something large, and failing with a clear reason beats a frozen window. */
    constexpr int lockWaitMilliseconds = 3000;

    constexpr juce::int64 blockSize = 4096;

    /** "a/b/c" gives "a/b"; a path of one part gives "". */
    juce::String getParentPath (const juce::String& path)
    {
        return path.containsChar ('/') ? path.upToLastOccurrenceOf ("/", false, false) : juce::String();
    }

    /** What the bundle takes on disk at most: each file rounded up to whole blocks, a block per folder. */
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

    /** False only when the volume that will hold `folder` says it has less room than `needed`. */
    bool hasRoomFor (juce::File folder, juce::int64 needed)
    {
        while (! folder.exists() && folder != folder.getParentDirectory())
            folder = folder.getParentDirectory();

        // A volume that reports no size at all tells nothing about its room.
        return folder.getBytesFreeOnVolume() >= needed || folder.getVolumeTotalSize() == 0;
    }

    //==============================================================================
    /** Unpacks one file entry to `target`, checking its size and CRC-32 as it is written. */
    juce::Result writeEntry (const PlannedEntry& entry, const juce::File& target, const juce::File& installFolder,
                             juce::HeapBlock<char>& buffer, FormatProgress& progress)
    {
        auto crc = crc32 (0, nullptr, 0);
        juce::int64 written = 0;
        size_t released = 0; // bytes of the entry's data handed back to the system
        DurableFiles::NewFile out (target);

        if (! out.isOpen())
            return fail (reasonForWriteFailure (installFolder, entry.uncompressedSize));

        const auto writeBlock = [&] (const void* bytes, int size)
        {
            crc = crc32 (crc, static_cast<const Bytef*> (bytes), (uInt) size);
            written += size;
            progress.bytesWritten += size;
            return out.write (bytes, (size_t) size);
        };

        // Pages already inflated are not needed again: with three archives unpacked at once, only
        // the pieces being read stay resident.
        const auto releaseUpTo = [&] (size_t consumed)
        {
            if (progress.releaseReadPages && consumed > released)
            {
                releaseMappedPages (entry.data + released, consumed - released);
                released = consumed;
            }
        };

        if (entry.method == methodStored)
        {
            for (size_t done = 0; done < entry.compressedSize;)
            {
                if (progress.isCancelled())
                    return fail (FailureReason::cancelled);

                const auto size = (int) juce::jmin ((size_t) writeBlockSize, entry.compressedSize - done);

                if (! writeBlock (entry.data + done, size))
                    return fail (reasonForWriteFailure (installFolder, entry.uncompressedSize - written + size));

                done += (size_t) size;
                releaseUpTo (done);
            }
        }
        else
        {
            juce::MemoryInputStream compressed (entry.data, entry.compressedSize, false);
            juce::GZIPDecompressorInputStream inflater (&compressed, false, juce::GZIPDecompressorInputStream::deflateFormat,
                                                        entry.uncompressedSize);

            for (;;)
            {
                if (progress.isCancelled())
                    return fail (FailureReason::cancelled);

                // One byte more than still expected, so that a stream longer than declared shows.
                const auto wanted = (int) juce::jmin ((juce::int64) writeBlockSize, entry.uncompressedSize - written + 1);
                const auto size = inflater.read (buffer.get(), wanted);

                if (size <= 0)
                    break;

                if (! writeBlock (buffer.get(), size))
                    return fail (reasonForWriteFailure (installFolder, entry.uncompressedSize - written + size));

                // The inflater reads ahead into its own buffer: what it took is done with.
                releaseUpTo ((size_t) compressed.getPosition());
            }
        }

        if (written != entry.uncompressedSize || crc != entry.crc)
            return fail (FailureReason::archiveDamaged);

        if (! out.finish (entry.time))
            return fail (reasonForWriteFailure (installFolder, 1));

        return juce::Result::ok();
    }

    /** Each worker of a run draws from its own generator. */
    juce::Random& getRandom()
    {
        thread_local juce::Random random;
        return random;
    }

    /** A name beside the bundle that nothing uses yet, e.g. ".Morvane4.vst3.staging-0f3a9c1e". */
    juce::File makeUnusedSibling (const juce::File& installFolder, const juce::String& bundleName, const juce::String& purpose)
    {
        for (;;)
        {
            const auto candidate = installFolder.getChildFile ("." + bundleName + "." + purpose + "-"
                                                               + juce::String::toHexString (getRandom().nextInt()).paddedLeft ('0', 8));

            if (! candidate.exists() && ! candidate.isSymbolicLink())
                return candidate;
        }
    }

    //==============================================================================
    /** Makes the install folder with its missing parents. The formats of a run are installed side
        by side, and two of them may make a shared parent at the same moment: the one that loses
        fails to make it, and its next attempt finds it there. */
    bool createInstallFolder (const juce::File& folder)
    {
        for (int attempt = 0; attempt < 3; ++attempt)
            if (folder.createDirectory().wasOk())
                return true;

        return false;
    }

    /** Every deletion of a leftover goes through here; what is in use goes at the next restart or run. */
    void removeLeftover (const juce::File& file)
    {
        DurableFiles::announceStep ("remove", file);
        removeTreeNowOrAtRestart (file);
    }

    /** Takes a copy out of the hosts' sight under a name that start-up never restores, then
        deletes it. A copy that cannot be moved stays whole under its name, for the next run. */
    void discard (const juce::File& installFolder, const juce::String& bundleName, const juce::File& copy)
    {
        const auto removing = makeUnusedSibling (installFolder, bundleName, "removing");

        if (renameWithin (copy, removing).wasOk())
            removeLeftover (removing);
    }

    /** What runs of this installer leave beside the bundle while they work. */
    struct Leftovers
    {
        juce::Array<juce::File> asideCopies; // ".old-": a whole bundle moved aside for a swap
        juce::Array<juce::File> others;      // ".staging-", ".removing-": never the only copy of anything
        bool lockFile = false;

        bool isEmpty() const { return asideCopies.isEmpty() && others.isEmpty() && ! lockFile; }
    };

    Leftovers findLeftovers (const juce::File& installFolder, const juce::String& bundleName)
    {
        Leftovers found;

        for (const auto* purpose : { "old", "staging", "removing" })
            for (const auto& file : installFolder.findChildFiles (juce::File::findFilesAndDirectories,
                                                                  false, "." + bundleName + "." + purpose + "-*",
                                                                  juce::File::FollowSymlinks::no))
                (juce::String (purpose) == "old" && ! file.isSymbolicLink() ? found.asideCopies : found.others).add (file);

        const auto lock = installFolder.getChildFile (DurableFiles::BundleLock::getLockFileName (bundleName));
        found.lockFile = lock.exists() || lock.isSymbolicLink();
        return found;
    }

    /** With the bundle's lock held: a missing bundle gets its one whole moved-aside copy back;
        everything else an interrupted run left goes. */
    void repairLocked (const juce::File& installFolder, const juce::String& bundleName)
    {
        auto leftovers = findLeftovers (installFolder, bundleName);
        const auto bundle = installFolder.getChildFile (bundleName);

        if (leftovers.asideCopies.size() == 1 && ! bundle.exists() && ! bundle.isSymbolicLink()
            && renameWithin (leftovers.asideCopies.getFirst(), bundle).wasOk())
        {
            leftovers.asideCopies.clear();
            DurableFiles::flushFolder (installFolder);
        }

        for (const auto& copy : leftovers.asideCopies)
            discard (installFolder, bundleName, copy);

        for (const auto& other : leftovers.others)
            removeLeftover (other);
    }

    const char* describeLockFailure (DurableFiles::BundleLock::Outcome outcome, const char* cannotCreateReason)
    {
        return outcome == DurableFiles::BundleLock::Outcome::busy ? FailureReason::anotherRunning : cannotCreateReason;
    }

    //==============================================================================
    /** Removes the staging folder on every way out. */
    struct StagingFolder
    {
        juce::File folder;

        ~StagingFolder()
        {
            if (folder != juce::File())
                removeLeftover (folder);
        }
    };

    /** Makes the folders of `relativePath` below `root` that are not there yet, one level at a
        time: a root that has gone is never made again. */
    bool createFoldersBelow (const juce::File& root, const juce::String& relativePath, std::set<juce::String>& made,
                             juce::Array<juce::File>& madeInOrder)
    {
        const auto parts = juce::StringArray::fromTokens (relativePath, "/", "");
        juce::String path;

        for (const auto& part : parts)
        {
            path += (path.isEmpty() ? "" : "/") + part;

            if (made.count (path) != 0)
                continue;

            const auto folder = root.getChildFile (path);

            if (! DurableFiles::createFolder (folder))
                return false;

            made.insert (path);
            madeInOrder.add (folder);
        }

        return true;
    }

    /** The staged bundle holds exactly the planned entries, files at their sizes, and nothing else
        (no link either). */
    bool holdsExactly (const juce::File& stagingFolder, const std::vector<PlannedEntry>& plan)
    {
        std::map<juce::String, juce::int64> expected; // size, or -1 for a folder

        for (const auto& entry : plan)
        {
            expected[entry.relativePath] = entry.isFolder ? -1 : entry.uncompressedSize;

            for (auto folder = getParentPath (entry.relativePath); folder.isNotEmpty(); folder = getParentPath (folder))
                expected[folder] = -1;
        }

        std::map<juce::String, juce::int64> found;
        const auto bundle = stagingFolder.getChildFile (plan.front().relativePath.upToFirstOccurrenceOf ("/", false, false));

        const auto note = [&] (const juce::File& file)
        {
            if (file.isSymbolicLink())
                return false;

            found[file.getRelativePathFrom (stagingFolder).replaceCharacter ('\\', '/')] = file.isDirectory() ? -1 : file.getSize();
            return true;
        };

        if (! note (bundle))
            return false;

        if (bundle.isDirectory())
            for (const auto& entry : juce::RangedDirectoryIterator (bundle, true, "*", juce::File::findFilesAndDirectories,
                                                                    juce::File::FollowSymlinks::no))
                if (! note (entry.getFile()))
                    return false;

        // Nothing else beside the bundle in the staging folder either.
        return found == expected && stagingFolder.getNumberOfChildFiles (juce::File::findFilesAndDirectories) == 1;
    }
} // namespace

//==============================================================================
juce::Result installBundle (const juce::File& installFolder, const juce::String& bundleName,
                            const void* archiveData, size_t archiveSize, FormatProgress* progressToReport)
{
    FormatProgress unreported;
    auto& progress = progressToReport != nullptr ? *progressToReport : unreported;
    std::vector<PlannedEntry> plan;

    if (bundleName.isEmpty() || ! planEntries (archiveData, archiveSize, bundleName, plan))
        return fail (FailureReason::archiveDamaged);

    // The whole bundle must fit beside the old one before anything is written.
    if (! hasRoomFor (installFolder, getSpaceNeeded (plan)))
        return fail (FailureReason::diskFull);

    if (! createInstallFolder (installFolder))
        return fail (reasonForFolderFailure (installFolder));

    DurableFiles::BundleLock lock (installFolder, bundleName);

    if (const auto outcome = lock.acquire (juce::RelativeTime::milliseconds (lockWaitMilliseconds));
        outcome != DurableFiles::BundleLock::Outcome::acquired)
        return fail (describeLockFailure (outcome, reasonForFolderFailure (installFolder)));

    repairLocked (installFolder, bundleName);

    if (progress.isCancelled())
        return fail (FailureReason::cancelled);

    juce::int64 totalBytes = 0;

    for (const auto& entry : plan)
        totalBytes += entry.uncompressedSize;

    progress.totalBytes = totalBytes;
    progress.phase = RunPhase::unpacking;

    const auto stagingFolder = makeUnusedSibling (installFolder, bundleName, "staging");

    if (! DurableFiles::createFolder (stagingFolder))
        return fail (reasonForFolderFailure (installFolder));

    const StagingFolder staging { stagingFolder };
    juce::HeapBlock<char> buffer (writeBlockSize);
    std::set<juce::String> madeFolders;
    juce::Array<juce::File> foldersInOrder;

    for (const auto& entry : plan)
    {
        const auto folder = entry.isFolder ? entry.relativePath : getParentPath (entry.relativePath);

        if (! createFoldersBelow (stagingFolder, folder, madeFolders, foldersInOrder))
            return fail (reasonForFolderFailure (installFolder));

        if (progress.isCancelled())
            return fail (FailureReason::cancelled);

        if (! entry.isFolder)
            if (const auto result = writeEntry (entry, stagingFolder.getChildFile (entry.relativePath), installFolder, buffer, progress);
                result.failed())
                return result;
    }

    progress.phase = RunPhase::writing;

    // Every file, then every folder's entries, on the disk, so that a power cut after the swap
    // finds the new bundle whole. Flushed together, they share the file system's commits.
    for (const auto& entry : plan)
        if (! entry.isFolder && ! DurableFiles::flushFile (stagingFolder.getChildFile (entry.relativePath)))
            return fail (reasonForWriteFailure (installFolder, 1));

    for (const auto& folder : foldersInOrder)
        if (! DurableFiles::flushFolder (folder))
            return fail (reasonForWriteFailure (installFolder, 1));

    progress.phase = RunPhase::checking;

    if (! holdsExactly (stagingFolder, plan))
        return fail (FailureReason::fileNotWritten);

    // The last point where a cancel leaves the old bundle: the swap itself is never cut short.
    if (progress.isCancelled())
        return fail (FailureReason::cancelled);

    // The swap, which only renames within one folder: old aside, new in, flushed, then old deleted.
    const auto bundle = installFolder.getChildFile (bundleName);
    const auto newBundle = stagingFolder.getChildFile (bundleName);
    juce::File oldBundle;

    if (bundle.exists() || bundle.isSymbolicLink())
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

    // Should the flush fail, the old copy stays aside and goes at the next run. A file in use (a
    // loaded module on Windows) stays until the next restart or run.
    if (DurableFiles::flushFolder (installFolder) && oldBundle != juce::File())
        discard (installFolder, bundleName, oldBundle);

    return juce::Result::ok();
}

juce::Result uninstallBundle (const juce::File& installFolder, const juce::String& bundleName, FormatProgress* progress)
{
    if (bundleName.isEmpty() || ! installFolder.isDirectory())
        return juce::Result::ok();

    const auto bundle = installFolder.getChildFile (bundleName);

    if (! bundle.exists() && ! bundle.isSymbolicLink() && findLeftovers (installFolder, bundleName).isEmpty())
        return juce::Result::ok();

    DurableFiles::BundleLock lock (installFolder, bundleName);

    if (const auto outcome = lock.acquire (juce::RelativeTime::milliseconds (lockWaitMilliseconds));
        outcome != DurableFiles::BundleLock::Outcome::acquired)
        return fail (describeLockFailure (outcome, reasonForSystemError (getLastSystemError(), FailureReason::fileNotWritten)));

    repairLocked (installFolder, bundleName);

    if (progress != nullptr)
    {
        if (progress->isCancelled())
            return fail (FailureReason::cancelled);

        progress->phase = RunPhase::removing;
    }

    if (! bundle.exists())
    {
        // A link that leads nowhere is no bundle, but it goes with the uninstall all the same.
        if (bundle.isSymbolicLink())
        {
            DurableFiles::announceStep ("remove", bundle);

            if (const auto outcome = removeTree (bundle); ! outcome.wasOk())
                return fail (reasonForSystemError (outcome.firstError, FailureReason::fileNotMoved));
        }

        return juce::Result::ok();
    }

    const auto removing = makeUnusedSibling (installFolder, bundleName, "removing");

    if (const auto result = renameWithin (bundle, removing); result.failed())
        return result;

    // Out of the plug-in hosts' sight now; a file in use goes at the next restart or run.
    DurableFiles::flushFolder (installFolder);
    removeLeftover (removing);
    return juce::Result::ok();
}

void repairInterruptedRun (const juce::File& installFolder, const juce::String& bundleName)
{
    if (bundleName.isEmpty() || ! installFolder.isDirectory() || findLeftovers (installFolder, bundleName).isEmpty())
        return;

    // A copy that holds the lock is at work on this bundle: what lies beside it is its own.
    DurableFiles::BundleLock lock (installFolder, bundleName);

    if (lock.acquire (juce::RelativeTime()) == DurableFiles::BundleLock::Outcome::acquired)
        repairLocked (installFolder, bundleName);
}

void repairInterruptedRuns (const std::array<juce::File, numFormats>& installFolders, const juce::String& productName)
{
    for (int i = 0; i < numFormats; ++i)
        repairInterruptedRun (installFolders[(size_t) i], getBundleName (productName, i));
}
