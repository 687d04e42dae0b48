#include "engine/BundleVerify.h"

#include "engine/DurableFiles.h"
#include "engine/FailureReason.h"
#include "engine/ZipDirectory.h"

#include <zlib.h>

#include <map>

namespace
{
    // Files are read in pieces this large, whatever their size.
    constexpr size_t readBlockSize = 1 << 20;

    // As long as an install waits for another copy: a run holds a bundle for well under a second.
    constexpr int lockWaitMilliseconds = 3000;

    /** What the archive says a path inside the bundle is: a folder, or a file of this size and CRC-32. */
    struct Expected
    {
        bool isFolder = false;
        juce::int64 size = 0;
        juce::uint32 crc = 0;
    };

    /** "a/b/c" gives "a/b"; a path of one part gives "". */
    juce::String getParentPath (const juce::String& path)
    {
        return path.containsChar ('/') ? path.upToLastOccurrenceOf ("/", false, false) : juce::String();
    }

    /** The archive's entries by their path inside the bundle ("" is the bundle folder itself, and
        a bundle that is one file is its own name). False when the archive is not one bundle's. */
    bool readExpected (const void* archiveData, size_t archiveSize, const juce::String& bundleName,
                       std::map<juce::String, Expected>& expected, bool& bundleIsFile)
    {
        ZipDirectory directory;

        if (bundleName.isEmpty() || readZipDirectory (archiveData, archiveSize, directory).failed() || directory.entries.isEmpty())
            return false;

        bundleIsFile = false;

        for (const auto& entry : directory.entries)
        {
            auto path = entry.name.replaceCharacter ('\\', '/');
            const auto isFolder = path.endsWithChar ('/');

            if (isFolder)
                path = path.dropLastCharacters (1);

            if (! entry.nameIsWellFormed || path.isEmpty())
                return false;

            if (path == bundleName && ! isFolder)
            {
                bundleIsFile = true;
                expected[bundleName] = { false, entry.uncompressedSize, entry.crc32 };
                continue;
            }

            if (! path.startsWith (bundleName + "/") && path != bundleName)
                return false;

            const auto relative = path.substring (bundleName.length() + 1); // "" for the bundle folder itself
            expected[relative] = { isFolder, isFolder ? 0 : entry.uncompressedSize, entry.crc32 };

            for (auto folder = getParentPath (relative); folder.isNotEmpty(); folder = getParentPath (folder))
                expected[folder] = { true, 0, 0 };
        }

        if (! bundleIsFile)
            expected[{}] = { true, 0, 0 };

        return ! bundleIsFile || expected.size() == 1;
    }

    //==============================================================================
    enum class FileComparison
    {
        same,
        different,
        notAFile, // a link, folder, device or other non-regular entry: not read
        unreadable
    };

    /** Reads the file `name` of `folder` through one handle, opened without following a link or
        waiting, and compares it with what the archive holds: no more than `size` + 1 bytes are read. */
    FileComparison compareFile (const DurableFiles::Folder& folder, const juce::String& name, const Expected& expected,
                                juce::HeapBlock<char>& buffer)
    {
        auto file = DurableFiles::ReadableFile::openIn (folder, name);

        if (file.getStatus() == DurableFiles::ReadableFile::Status::notAFile)
            return FileComparison::notAFile;

        if (! file.isOpen())
            return FileComparison::unreadable;

        auto crc = crc32 (0, nullptr, 0);
        juce::int64 total = 0;
        const auto wanted = expected.size + 1; // one byte more shows a longer file

        while (file.getSize() == expected.size && total < wanted)
        {
            const auto got = file.read (buffer.get(), (size_t) juce::jmin ((juce::int64) readBlockSize, wanted - total));

            if (got < 0)
                return FileComparison::unreadable;

            if (got == 0)
                break;

            crc = crc32 (crc, reinterpret_cast<const Bytef*> (buffer.get()), (uInt) got);
            total += got;
        }

        return file.getSize() == expected.size && total == expected.size && crc == expected.crc ? FileComparison::same
                                                                                                : FileComparison::different;
    }

    /** Walks a bundle through held folders, each child reached by its name in the folder above,
        so that a link put anywhere on the way while it walks is met as a link, never followed. */
    struct BundleWalk
    {
        const std::map<juce::String, Expected>& expected;
        BundleCheck& check;
        juce::HeapBlock<char> buffer { readBlockSize };
        std::map<juce::String, bool> seen { { juce::String(), false } }; // each path met, and whether it was reported

        /** Notes what the entry `name` of `folder` is against what the archive says it should be:
            true when something was reported (then nothing below it is). */
        bool checkEntry (const DurableFiles::Folder& folder, const juce::String& name, const juce::String& relativePath,
                         const Expected& wanted)
        {
            const auto reportedBefore = check.links.size() + check.changed.size();

            switch (DurableFiles::getEntryKind (folder, name))
            {
                case DurableFiles::EntryKind::missing: check.missing.add (relativePath); return true;
                case DurableFiles::EntryKind::link:
                case DurableFiles::EntryKind::other:   check.links.add (relativePath); return true;
                case DurableFiles::EntryKind::folder:
                    if (! wanted.isFolder)
                        check.changed.add (relativePath);
                    else
                        walkFolder (folder.openChild (name), relativePath);
                    break;
                case DurableFiles::EntryKind::file:
                    if (wanted.isFolder)
                    {
                        check.changed.add (relativePath);
                        break;
                    }

                    switch (compareFile (folder, name, wanted, buffer))
                    {
                        case FileComparison::same:       break;
                        case FileComparison::notAFile:   check.links.add (relativePath); break;
                        case FileComparison::different:
                        case FileComparison::unreadable: check.changed.add (relativePath); break; // not the file shipped, as far as anyone can tell
                    }
                    break;
            }

            return check.links.size() + check.changed.size() != reportedBefore;
        }

        void walkFolder (const DurableFiles::Folder& folder, const juce::String& relativeFolder)
        {
            juce::StringArray names;

            if (! folder.isOpen() || ! DurableFiles::listNames (folder, names))
            {
                check.changed.add (relativeFolder);
                seen[relativeFolder] = true;
                return;
            }

            for (const auto& name : names)
            {
                const auto relativePath = relativeFolder.isEmpty() ? name : relativeFolder + "/" + name;
                const auto wanted = expected.find (relativePath);

                if (wanted == expected.end())
                {
                    check.extra.add (relativePath);
                    seen[relativePath] = true;
                    continue;
                }

                seen[relativePath] = checkEntry (folder, name, relativePath, wanted->second);
            }
        }

        /** A missing folder is named alone, not with everything it should hold; nor is what should
            be below a link or a file in a folder's place. */
        void noteWhatIsMissing()
        {
            for (const auto& [path, wanted] : expected)
            {
                const auto parent = seen.find (getParentPath (path));

                if (path.isNotEmpty() && seen.count (path) == 0 && parent != seen.end() && ! parent->second)
                    check.missing.add (path);
            }
        }
    };

    /** The comparison itself, with the bundle's lock held and the install folder open. */
    void compareBundle (const DurableFiles::Folder& installFolder, const juce::String& bundleName, bool bundleIsFile,
                        const std::map<juce::String, Expected>& expected, BundleCheck& check)
    {
        BundleWalk walk { expected, check };

        // The bundle itself, named by its own name: a file, or a link or file where a folder was.
        if (bundleIsFile || DurableFiles::getEntryKind (installFolder, bundleName) != DurableFiles::EntryKind::folder)
        {
            walk.checkEntry (installFolder, bundleName, bundleName, expected.at (bundleIsFile ? bundleName : juce::String()));
            return;
        }

        walk.walkFolder (installFolder.openChild (bundleName), {});
        walk.noteWhatIsMissing();
    }
} // namespace

//==============================================================================
BundleCheck verifyBundle (const juce::File& installFolder, const juce::String& bundleName,
                          const void* archiveData, size_t archiveSize)
{
    BundleCheck check;
    std::map<juce::String, Expected> expected;
    bool bundleIsFile = false;

    if (! readExpected (archiveData, archiveSize, bundleName, expected, bundleIsFile))
    {
        check.outcome = BundleCheck::Outcome::cannotCheck;
        check.reason = FailureReason::archiveDamaged;
        return check;
    }

    // A folder that is not there holds no bundle.
    if (! installFolder.isDirectory())
        return check;

    DurableFiles::BundleLock lock (installFolder, bundleName);

    if (const auto outcome = lock.acquire (juce::RelativeTime::milliseconds (lockWaitMilliseconds));
        outcome != DurableFiles::BundleLock::Outcome::acquired)
    {
        const auto busy = outcome == DurableFiles::BundleLock::Outcome::busy;
        check.outcome = busy ? BundleCheck::Outcome::busy : BundleCheck::Outcome::cannotCheck;
        check.reason = busy ? FailureReason::anotherRunning : FailureReason::folderNotRead;
        return check;
    }

    const auto folder = DurableFiles::Folder::open (installFolder);

    if (DurableFiles::getEntryKind (folder, bundleName) == DurableFiles::EntryKind::missing)
        return check;

    compareBundle (folder, bundleName, bundleIsFile, expected, check);

    for (auto* list : { &check.changed, &check.missing, &check.extra, &check.links })
        list->sort (false);

    const auto matches = check.changed.isEmpty() && check.missing.isEmpty() && check.extra.isEmpty() && check.links.isEmpty();
    check.outcome = matches ? BundleCheck::Outcome::matches : BundleCheck::Outcome::differs;
    return check;
}
