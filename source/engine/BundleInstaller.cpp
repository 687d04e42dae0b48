#include "engine/BundleInstaller.h"

#include "engine/ArchivePlan.h"
#include "engine/Leftovers.h"

#include "engine/Catalogue.h"
#include "engine/DurableFiles.h"
#include "engine/FileNames.h"
#include "engine/MappedPages.h"
#include "engine/SafeRemoval.h"
#include "engine/ZipDirectory.h"

#include <zlib.h>

#include <map>
#include <set>

namespace
{
    // Files are written in pieces this large: far fewer system calls than a stream chain of 8 KB
    // pieces, while the buffer stays small next to the archive.
    constexpr int writeBlockSize = 1 << 20;

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

    /** Why creating a folder in `folder` failed with the system error `error`. */
    const char* reasonForFolderFailure (const juce::File& folder, int error)
    {
        return folder.getBytesFreeOnVolume() < 1 ? FailureReason::diskFull : reasonForSystemError (error, FailureReason::folderNotCreated);
    }

    /** As above, right after the failure, before anything else asks the system for something. */
    const char* reasonForFolderFailure (const juce::File& folder)
    {
        return reasonForFolderFailure (folder, getLastSystemError());
    }

    using DurableFiles::Folder;
    using namespace ArchivePlan;

    //==============================================================================
    /** How long a run waits for another copy of the installer to finish the same bundle. A whole
        run of one format takes well under a second; a copy that holds on longer is stuck or busy
        with something large, and failing with a clear reason beats a frozen window. */
    constexpr int lockWaitMilliseconds = 3000;

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
    juce::Result writeEntry (const PlannedEntry& entry, const Folder& parent, const juce::File& installFolder,
                             juce::HeapBlock<char>& buffer, FormatProgress& progress)
    {
        auto crc = crc32 (0, nullptr, 0);
        juce::int64 written = 0;
        size_t released = 0; // bytes of the entry's data handed back to the system
        DurableFiles::NewFile out (parent, entry.relativePath.fromLastOccurrenceOf ("/", false, false));

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

    //==============================================================================
    /** Removes the staging folder on every way out. */
    struct StagingGuard
    {
        const Folder& installFolder;
        juce::String name;
        juce::Array<juce::File>* removedAtRestart = nullptr;

        ~StagingGuard()
        {
            Leftovers::removeLeftover (installFolder, name, removedAtRestart);
        }
    };

    /** The folders of the staged bundle, held open as they are made, by their path below the
        staging folder ("" is the staging folder itself). */
    using StagedFolders = std::map<juce::String, Folder>;

    /** Makes the folders of `relativePath` that are not there yet, one level at a time inside the
        one above it: a staging folder that has gone is never made again. */
    bool createFoldersBelow (StagedFolders& folders, const juce::String& relativePath, int& error)
    {
        const auto parts = juce::StringArray::fromTokens (relativePath, "/", "");
        juce::String path;

        for (const auto& part : parts)
        {
            const auto parentPath = path;
            path += (path.isEmpty() ? "" : "/") + part;

            if (folders.count (path) != 0)
                continue;

            const auto& parent = folders.at (parentPath);

            if (! DurableFiles::createFolder (parent, part))
                return (error = getLastSystemError(), false);

            auto folder = parent.openChild (part, true);

            if (! folder.isOpen())
                return (error = folder.getError(), false);

            folders.emplace (path, std::move (folder));
        }

        return true;
    }

    /** The staged bundle holds exactly the planned entries, files at their sizes, and nothing else
        (no link either). */
    bool holdsExactly (const Folder& stagingFolder, const std::vector<PlannedEntry>& plan)
    {
        std::map<juce::String, juce::int64> expected; // size, or -1 for a folder

        for (const auto& entry : plan)
        {
            expected[entry.relativePath] = entry.isFolder ? -1 : entry.uncompressedSize;

            for (auto folder = getParentPath (entry.relativePath); folder.isNotEmpty(); folder = getParentPath (folder))
                expected[folder] = -1;
        }

        std::map<juce::String, juce::int64> found;

        // Each folder read through its own handle, opened without following a link.
        std::function<bool (const Folder&, const juce::String&, const juce::String&)> note;
        note = [&] (const Folder& parent, const juce::String& name, const juce::String& path)
        {
            juce::int64 size = 0;
            const auto kind = DurableFiles::getEntryKind (parent, name, &size);

            if ((kind != DurableFiles::EntryKind::file && kind != DurableFiles::EntryKind::folder) || found.size() > expected.size())
                return false;

            found[path] = kind == DurableFiles::EntryKind::folder ? -1 : size;

            if (kind == DurableFiles::EntryKind::file)
                return true;

            const auto folder = parent.openChild (name);
            juce::StringArray names;

            if (! folder.isOpen() || ! DurableFiles::listNames (folder, names))
                return false;

            for (const auto& child : names)
                if (! note (folder, child, path + "/" + child))
                    return false;

            return true;
        };

        // Nothing else beside the bundle in the staging folder either.
        const auto bundleName = plan.front().relativePath.upToFirstOccurrenceOf ("/", false, false);
        juce::StringArray names;

        return DurableFiles::listNames (stagingFolder, names) && names == juce::StringArray (bundleName)
               && note (stagingFolder, bundleName, bundleName) && found == expected;
    }

    /** The install folder, held open for the whole run. */
    const char* openInstallFolder (const juce::File& path, bool create, Folder& folder)
    {
        folder = create ? Folder::openOrCreate (path) : Folder::open (path);
        return folder.isOpen() ? nullptr : reasonForFolderFailure (path, folder.getError());
    }

    /** Unpacks the plan into the staging folder `stagingName` of `folder`, flushes every file and
        folder of it, and checks that it holds exactly the plan. */
    juce::Result stage (const Folder& folder, const juce::String& stagingName, const juce::File& installFolder,
                        const std::vector<PlannedEntry>& plan, StagedFolders& folders, FormatProgress& progress)
    {
        juce::int64 totalBytes = 0;

        for (const auto& entry : plan)
            totalBytes += entry.uncompressedSize;

        progress.totalBytes = totalBytes;
        progress.phase = RunPhase::unpacking;

        folders.emplace ("", folder.openChild (stagingName, true));

        if (! folders.at ("").isOpen())
            return fail (reasonForFolderFailure (installFolder, folders.at ("").getError()));

        juce::HeapBlock<char> buffer (writeBlockSize);

        for (const auto& entry : plan)
        {
            const auto parentPath = entry.isFolder ? entry.relativePath : getParentPath (entry.relativePath);

            if (int error = 0; ! createFoldersBelow (folders, parentPath, error))
                return fail (reasonForFolderFailure (installFolder, error));

            if (progress.isCancelled())
                return fail (FailureReason::cancelled);

            if (! entry.isFolder)
                if (const auto result = writeEntry (entry, folders.at (parentPath), installFolder, buffer, progress); result.failed())
                    return result;
        }

        progress.phase = RunPhase::writing;

        // Every file, then every folder's entries, on the disk, so that a power cut after the swap
        // finds the new bundle whole. Flushed together, they share the file system's commits.
        for (const auto& entry : plan)
            if (! entry.isFolder
                && ! DurableFiles::flushFile (folders.at (getParentPath (entry.relativePath)), entry.relativePath.fromLastOccurrenceOf ("/", false, false)))
                return fail (reasonForWriteFailure (installFolder, 1));

        for (const auto& [path, staged] : folders)
            if (path.isNotEmpty() && ! DurableFiles::flushFolder (staged))
                return fail (reasonForWriteFailure (installFolder, 1));

        progress.phase = RunPhase::checking;

        if (! holdsExactly (folders.at (""), plan))
            return fail (FailureReason::fileNotWritten);

        return juce::Result::ok();
    }

    /** The swap, which only renames: old aside, new in from the staging folder (whatever name that
        now has), flushed, then old deleted. */
    juce::Result swapIn (const Folder& folder, const Folder& staging, const juce::String& bundleName,
                         juce::Array<juce::File>* removedAtRestart)
    {
        juce::String oldName;

        if (DurableFiles::getEntryKind (folder, bundleName) != DurableFiles::EntryKind::missing)
        {
            oldName = Leftovers::makeUnusedName (folder, bundleName, "old");

            if (const auto result = DurableFiles::renameWithin (folder, bundleName, folder, oldName); result.failed())
                return result;
        }

        if (const auto result = DurableFiles::renameWithin (staging, bundleName, folder, bundleName); result.failed())
        {
            if (oldName.isNotEmpty() && DurableFiles::renameWithin (folder, oldName, folder, bundleName).failed())
                return juce::Result::fail (result.getErrorMessage() + "; the old version is kept as " + oldName);

            return result;
        }

        // Should the flush fail, the old copy stays aside and goes at the next run. A file in use (a
        // loaded module on Windows) stays until the next restart or run.
        if (DurableFiles::flushFolder (folder) && oldName.isNotEmpty())
            Leftovers::discard (folder, bundleName, oldName, removedAtRestart);

        return juce::Result::ok();
    }
} // namespace

//==============================================================================
juce::Result installBundle (const juce::File& installFolder, const juce::String& bundleName,
                            const void* archiveData, size_t archiveSize, juce::Array<juce::File>* removedAtRestart,
                            FormatProgress* progressToReport)
{
    FormatProgress unreported;
    auto& progress = progressToReport != nullptr ? *progressToReport : unreported;
    std::vector<PlannedEntry> plan;

    if (bundleName.isEmpty() || ! planEntries (archiveData, archiveSize, bundleName, plan))
        return fail (FailureReason::archiveDamaged);

    // The whole bundle must fit beside the old one before anything is written.
    if (! hasRoomFor (installFolder, getSpaceNeeded (plan)))
        return fail (FailureReason::diskFull);

    // From here on every name is reached through this folder, or a folder made in it.
    Folder folder;

    if (const auto* reason = openInstallFolder (installFolder, true, folder))
        return fail (reason);

    DurableFiles::BundleLock lock (folder, bundleName);

    if (const auto outcome = lock.acquire (juce::RelativeTime::milliseconds (lockWaitMilliseconds));
        outcome != DurableFiles::BundleLock::Outcome::acquired)
        return fail (Leftovers::describeLockFailure (outcome, reasonForFolderFailure (installFolder)));

    Leftovers::repairLocked (folder, bundleName, removedAtRestart);

    if (progress.isCancelled())
        return fail (FailureReason::cancelled);

    const auto stagingName = Leftovers::makeUnusedName (folder, bundleName, "staging");

    if (! DurableFiles::createFolder (folder, stagingName))
        return fail (reasonForFolderFailure (installFolder));

    const StagingGuard staging { folder, stagingName, removedAtRestart };
    StagedFolders folders;

    if (const auto result = stage (folder, stagingName, installFolder, plan, folders, progress); result.failed())
        return result;

    // The last point where a cancel leaves the old bundle: the swap itself is never cut short.
    if (progress.isCancelled())
        return fail (FailureReason::cancelled);

    return swapIn (folder, folders.at (""), bundleName, removedAtRestart);
}

juce::Result uninstallBundle (const juce::File& installFolder, const juce::String& bundleName,
                              juce::Array<juce::File>* removedAtRestart, FormatProgress* progress)
{
    if (bundleName.isEmpty())
        return juce::Result::ok();

    // Only a folder that is not there holds no bundle; one that cannot be looked into might.
    auto folder = Folder::open (installFolder);

    if (folder.wasMissing())
        return juce::Result::ok();

    if (! folder.isOpen())
        return fail (reasonForSystemError (folder.getError(), FailureReason::folderNotRead));

    if (DurableFiles::getEntryKind (folder, bundleName) == DurableFiles::EntryKind::missing && Leftovers::find (folder, bundleName).isEmpty())
        return juce::Result::ok();

    DurableFiles::BundleLock lock (folder, bundleName);

    if (const auto outcome = lock.acquire (juce::RelativeTime::milliseconds (lockWaitMilliseconds));
        outcome != DurableFiles::BundleLock::Outcome::acquired)
        return fail (Leftovers::describeLockFailure (outcome, reasonForSystemError (getLastSystemError(), FailureReason::fileNotWritten)));

    Leftovers::repairLocked (folder, bundleName, removedAtRestart);

    if (progress != nullptr)
    {
        if (progress->isCancelled())
            return fail (FailureReason::cancelled);

        progress->phase = RunPhase::removing;
    }

    // Whatever has the bundle's name goes, as what it is: a link, even one that leads nowhere,
    // goes as a link.
    if (DurableFiles::getEntryKind (folder, bundleName) == DurableFiles::EntryKind::missing)
        return juce::Result::ok();

    const auto removing = Leftovers::makeUnusedName (folder, bundleName, "removing");

    if (const auto result = DurableFiles::renameWithin (folder, bundleName, folder, removing); result.failed())
        return result;

    // Out of the plug-in hosts' sight now; a file in use goes at the next restart or run.
    DurableFiles::flushFolder (folder);
    Leftovers::removeLeftover (folder, removing, removedAtRestart);
    return juce::Result::ok();
}
