#include "engine/BundleInstaller.h"

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

    /** Renames an entry of a held folder into a held folder (the same one, or the install folder
        from the staging folder); the failure names why, e.g. a file in use or no permission. */
    juce::Result renameWithin (const Folder& sourceFolder, const juce::String& sourceName,
                               const Folder& targetFolder, const juce::String& targetName)
    {
        const auto source = sourceFolder.getChildFile (sourceName);
        DurableFiles::announceStep ("rename", source);

        if (const auto error = renameEntry (sourceFolder, sourceName, targetFolder, targetName); error != 0)
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

    constexpr int randomPartLength = 8;  // lower-case hexadecimal digits
    constexpr int timePartLength = 16;   // decimal milliseconds since 1970, padded with zeros

    /** Each worker of a run draws from its own generator. */
    juce::Random& getRandom()
    {
        thread_local juce::Random random;
        return random;
    }

    juce::String makeRandomPart()
    {
        return juce::String::toHexString ((juce::int64) (juce::uint32) getRandom().nextInt())
            .paddedLeft ('0', randomPartLength);
    }

    bool isMadeOf (const juce::String& text, int length, const char* characters)
    {
        return text.length() == length && text.containsOnly (characters);
    }

    /** "." + bundle name + "." + purpose + "-": the start of every name a run makes beside the bundle. */
    juce::String getLeftoverPrefix (const juce::String& bundleName, const juce::String& purpose)
    {
        return "." + bundleName + "." + purpose + "-";
    }

    /** A name beside the bundle that nothing uses yet, e.g. ".Morvane4.vst3.staging-0f3a9c1e". A
        moved-aside copy carries the time first (".old-0001765297800123-0f3a9c1e"), so that the
        newest of several is known. */
    juce::String makeUnusedName (const Folder& installFolder, const juce::String& bundleName, const juce::String& purpose)
    {
        for (;;)
        {
            const auto time = purpose == "old" ? juce::String (juce::Time::currentTimeMillis()).paddedLeft ('0', timePartLength) + "-"
                                               : juce::String();
            const auto candidate = getLeftoverPrefix (bundleName, purpose) + time + makeRandomPart();

            if (DurableFiles::getEntryKind (installFolder, candidate) == DurableFiles::EntryKind::missing)
                return candidate;
        }
    }

    /** For a name this program makes for `purpose` beside the bundle: what follows the prefix,
        which sorts moved-aside copies from oldest to newest. Empty for any other name (a user's
        ".Morvane4.vst3.old-backup"). Copies moved aside by earlier versions carry no time and
        count as the oldest. */
    juce::String getLeftoverKey (const juce::String& fileName, const juce::String& bundleName, const juce::String& purpose)
    {
        const auto prefix = getLeftoverPrefix (bundleName, purpose);

        if (! fileName.startsWith (prefix))
            return {};

        const auto rest = fileName.substring (prefix.length());
        constexpr const char* hexDigits = "0123456789abcdef";

        if (isMadeOf (rest, randomPartLength, hexDigits))
            return "0" + rest;

        if (purpose == "old" && rest[timePartLength] == '-' && isMadeOf (rest.substring (0, timePartLength), timePartLength, "0123456789")
            && isMadeOf (rest.substring (timePartLength + 1), randomPartLength, hexDigits))
            return "1" + rest;

        return {};
    }

    //==============================================================================
    /** Every deletion of a leftover goes through here; what is in use goes at the next restart or
        run, and what waits for the restart is added to `removedAtRestart` when one is given. */
    void removeLeftover (const Folder& installFolder, const juce::String& name, juce::Array<juce::File>* removedAtRestart)
    {
        DurableFiles::announceStep ("remove", installFolder.getChildFile (name));

        if (const auto outcome = removeTreeNowOrAtRestart (installFolder, name); outcome.leftForRestart && removedAtRestart != nullptr)
            removedAtRestart->addArray (outcome.resisted);
    }

    /** Takes a copy out of the hosts' sight under a name that start-up never restores, then
        deletes it. A copy that cannot be moved stays whole under its name, for the next run. */
    void discard (const Folder& installFolder, const juce::String& bundleName, const juce::String& copy,
                  juce::Array<juce::File>* removedAtRestart)
    {
        const auto removing = makeUnusedName (installFolder, bundleName, "removing");

        if (renameWithin (installFolder, copy, installFolder, removing).wasOk())
            removeLeftover (installFolder, removing, removedAtRestart);
    }

    /** What runs of this installer leave beside the bundle while they work, by name. */
    struct Leftovers
    {
        juce::StringArray asideCopies; // ".old-": a whole bundle (or the link it was) moved aside for a swap, oldest first
        juce::StringArray others;      // ".staging-", ".removing-": never the only copy of anything

        bool isEmpty() const { return asideCopies.isEmpty() && others.isEmpty(); }
    };

    Leftovers findLeftovers (const Folder& installFolder, const juce::String& bundleName)
    {
        Leftovers found;
        std::map<juce::String, juce::String> asideByKey;
        juce::StringArray names;
        DurableFiles::listNames (installFolder, names);

        for (const auto& name : names)
        {
            for (const auto* purpose : { "old", "staging", "removing" })
            {
                const auto key = getLeftoverKey (name, bundleName, purpose);

                if (key.isEmpty())
                    continue;

                if (juce::String (purpose) == "old")
                    asideByKey[key] = name;
                else
                    found.others.add (name);
            }
        }

        for (const auto& [key, name] : asideByKey)
            found.asideCopies.add (name);

        return found;
    }

    /** With the bundle's lock held: a missing bundle gets its newest moved-aside copy back, as
        what it was (a link stays a link); everything else an interrupted run left goes. */
    void repairLocked (const Folder& installFolder, const juce::String& bundleName,
                       juce::Array<juce::File>* removedAtRestart = nullptr)
    {
        auto leftovers = findLeftovers (installFolder, bundleName);

        if (! leftovers.asideCopies.isEmpty()
            && DurableFiles::getEntryKind (installFolder, bundleName) == DurableFiles::EntryKind::missing
            && renameWithin (installFolder, leftovers.asideCopies[leftovers.asideCopies.size() - 1], installFolder, bundleName).wasOk())
        {
            leftovers.asideCopies.remove (leftovers.asideCopies.size() - 1);
            DurableFiles::flushFolder (installFolder);
        }

        for (const auto& copy : leftovers.asideCopies)
            discard (installFolder, bundleName, copy, removedAtRestart);

        for (const auto& other : leftovers.others)
            removeLeftover (installFolder, other, removedAtRestart);
    }

    const char* describeLockFailure (DurableFiles::BundleLock::Outcome outcome, const char* cannotCreateReason)
    {
        return outcome == DurableFiles::BundleLock::Outcome::busy ? FailureReason::anotherRunning : cannotCreateReason;
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
            removeLeftover (installFolder, name, removedAtRestart);
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
        return fail (describeLockFailure (outcome, reasonForFolderFailure (installFolder)));

    repairLocked (folder, bundleName, removedAtRestart);

    if (progress.isCancelled())
        return fail (FailureReason::cancelled);

    juce::int64 totalBytes = 0;

    for (const auto& entry : plan)
        totalBytes += entry.uncompressedSize;

    progress.totalBytes = totalBytes;
    progress.phase = RunPhase::unpacking;

    const auto stagingName = makeUnusedName (folder, bundleName, "staging");

    if (! DurableFiles::createFolder (folder, stagingName))
        return fail (reasonForFolderFailure (installFolder));

    const StagingGuard staging { folder, stagingName, removedAtRestart };
    StagedFolders folders;
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

    // The last point where a cancel leaves the old bundle: the swap itself is never cut short.
    if (progress.isCancelled())
        return fail (FailureReason::cancelled);

    // The swap, which only renames: old aside, new in from the staging folder (whatever name that
    // now has), flushed, then old deleted.
    juce::String oldName;

    if (DurableFiles::getEntryKind (folder, bundleName) != DurableFiles::EntryKind::missing)
    {
        oldName = makeUnusedName (folder, bundleName, "old");

        if (const auto result = renameWithin (folder, bundleName, folder, oldName); result.failed())
            return result;
    }

    if (const auto result = renameWithin (folders.at (""), bundleName, folder, bundleName); result.failed())
    {
        if (oldName.isNotEmpty() && renameWithin (folder, oldName, folder, bundleName).failed())
            return juce::Result::fail (result.getErrorMessage() + "; the old version is kept as " + oldName);

        return result;
    }

    // Should the flush fail, the old copy stays aside and goes at the next run. A file in use (a
    // loaded module on Windows) stays until the next restart or run.
    if (DurableFiles::flushFolder (folder) && oldName.isNotEmpty())
        discard (folder, bundleName, oldName, removedAtRestart);

    return juce::Result::ok();
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

    if (DurableFiles::getEntryKind (folder, bundleName) == DurableFiles::EntryKind::missing && findLeftovers (folder, bundleName).isEmpty())
        return juce::Result::ok();

    DurableFiles::BundleLock lock (folder, bundleName);

    if (const auto outcome = lock.acquire (juce::RelativeTime::milliseconds (lockWaitMilliseconds));
        outcome != DurableFiles::BundleLock::Outcome::acquired)
        return fail (describeLockFailure (outcome, reasonForSystemError (getLastSystemError(), FailureReason::fileNotWritten)));

    repairLocked (folder, bundleName, removedAtRestart);

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

    const auto removing = makeUnusedName (folder, bundleName, "removing");

    if (const auto result = renameWithin (folder, bundleName, folder, removing); result.failed())
        return result;

    // Out of the plug-in hosts' sight now; a file in use goes at the next restart or run.
    DurableFiles::flushFolder (folder);
    removeLeftover (folder, removing, removedAtRestart);
    return juce::Result::ok();
}

void repairInterruptedRun (const juce::File& installFolder, const juce::String& bundleName)
{
    if (bundleName.isEmpty())
        return;

    const auto folder = Folder::open (installFolder);

    if (! folder.isOpen() || findLeftovers (folder, bundleName).isEmpty())
        return;

    // A copy that holds the lock is at work on this bundle: what lies beside it is its own.
    DurableFiles::BundleLock lock (folder, bundleName);

    if (lock.acquire (juce::RelativeTime()) == DurableFiles::BundleLock::Outcome::acquired)
        repairLocked (folder, bundleName);
}

void repairInterruptedRuns (const std::array<juce::File, numFormats>& installFolders, const juce::String& productName)
{
    for (int i = 0; i < numFormats; ++i)
        repairInterruptedRun (installFolders[(size_t) i], getBundleName (productName, i));
}
