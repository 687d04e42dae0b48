#include "engine/BundleVerify.h"

#include "engine/DurableFiles.h"
#include "engine/FailureReason.h"
#include "engine/WindowsApi.h"
#include "engine/ZipDirectory.h"

#include <zlib.h>

#include <map>

#if ! JUCE_WINDOWS
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

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

    /** Reads `file` through one handle opened without following a link or waiting, and compares
        it with what the archive holds: no more than `size` + 1 bytes are read. */
    FileComparison compareFile (const juce::File& file, const Expected& expected, juce::HeapBlock<char>& buffer)
    {
        auto crc = crc32 (0, nullptr, 0);
        juce::int64 total = 0;
        const auto wanted = expected.size + 1; // one byte more shows a longer file
        auto ok = true;

       #if JUCE_WINDOWS
        const auto handle = CreateFileW (file.getFullPathName().toWideCharPointer(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);

        if (handle == INVALID_HANDLE_VALUE)
            return FileComparison::unreadable;

        BY_HANDLE_FILE_INFORMATION info {};
        constexpr DWORD notAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;

        if (GetFileType (handle) != FILE_TYPE_DISK || ! GetFileInformationByHandle (handle, &info) || (info.dwFileAttributes & notAFile) != 0)
        {
            CloseHandle (handle);
            return FileComparison::notAFile;
        }

        const auto sizeOnDisk = (juce::int64) (((juce::uint64) info.nFileSizeHigh << 32) | info.nFileSizeLow);

        while (ok && sizeOnDisk == expected.size && total < wanted)
        {
            DWORD got = 0;
            ok = ReadFile (handle, buffer.get(), (DWORD) juce::jmin ((juce::int64) readBlockSize, wanted - total), &got, nullptr) != 0;

            if (got == 0)
                break;

            crc = crc32 (crc, reinterpret_cast<const Bytef*> (buffer.get()), (uInt) got);
            total += got;
        }

        CloseHandle (handle);
       #else
        const auto fd = ::open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);

        if (fd < 0)
            return errno == ELOOP ? FileComparison::notAFile : FileComparison::unreadable;

        struct stat info = {};

        if (::fstat (fd, &info) != 0 || ! S_ISREG (info.st_mode))
        {
            ::close (fd);
            return FileComparison::notAFile;
        }

        const auto sizeOnDisk = (juce::int64) info.st_size;

        while (ok && sizeOnDisk == expected.size && total < wanted)
        {
            const auto got = ::read (fd, buffer.get(), (size_t) juce::jmin ((juce::int64) readBlockSize, wanted - total));

            if (got < 0 && errno == EINTR)
                continue;

            ok = got >= 0;

            if (got <= 0)
                break;

            crc = crc32 (crc, reinterpret_cast<const Bytef*> (buffer.get()), (uInt) got);
            total += got;
        }

        ::close (fd);
       #endif

        if (! ok)
            return FileComparison::unreadable;

        return sizeOnDisk == expected.size && total == expected.size && crc == expected.crc ? FileComparison::same
                                                                                            : FileComparison::different;
    }

    /** Notes what one entry of the bundle is against what the archive says it should be. */
    void checkEntry (const juce::File& file, const juce::String& relativePath, const Expected& expected,
                     juce::HeapBlock<char>& buffer, BundleCheck& check)
    {
        if (file.isSymbolicLink())
        {
            check.links.add (relativePath);
            return;
        }

        if (expected.isFolder || file.isDirectory())
        {
            if (expected.isFolder != file.isDirectory())
                check.changed.add (relativePath);

            return;
        }

        switch (compareFile (file, expected, buffer))
        {
            case FileComparison::same:       break;
            case FileComparison::different:  check.changed.add (relativePath); break;
            case FileComparison::notAFile:   check.links.add (relativePath); break;
            case FileComparison::unreadable: check.changed.add (relativePath); break; // not the file shipped, as far as anyone can tell
        }
    }

    /** The comparison itself, with the bundle's lock held. */
    void compareBundle (const juce::File& bundle, const juce::String& bundleName, bool bundleIsFile,
                        const std::map<juce::String, Expected>& expected, BundleCheck& check)
    {
        juce::HeapBlock<char> buffer (readBlockSize);

        if (bundleIsFile || bundle.isSymbolicLink() || ! bundle.isDirectory())
        {
            // The bundle itself, named by its own name: a file, or a link or file where a folder was.
            checkEntry (bundle, bundleName, expected.at (bundleIsFile ? bundleName : juce::String()), buffer, check);
            return;
        }

        // Each path met inside the bundle, and whether it was reported (then nothing below it is).
        std::map<juce::String, bool> seen { { juce::String(), false } };

        for (const auto& entry : juce::RangedDirectoryIterator (bundle, true, "*", juce::File::findFilesAndDirectories,
                                                                juce::File::FollowSymlinks::no))
        {
            const auto file = entry.getFile();
            const auto relativePath = file.getRelativePathFrom (bundle).replaceCharacter ('\\', '/');
            const auto parent = seen.find (getParentPath (relativePath));

            if (parent != seen.end() && parent->second)
            {
                seen[relativePath] = true;
                continue;
            }

            const auto wanted = expected.find (relativePath);

            if (wanted == expected.end())
            {
                check.extra.add (relativePath);
                seen[relativePath] = true;
                continue;
            }

            const auto reportedBefore = check.links.size() + check.changed.size();
            checkEntry (file, relativePath, wanted->second, buffer, check);
            seen[relativePath] = check.links.size() + check.changed.size() != reportedBefore;
        }

        // A missing folder is named alone, not with everything it should hold; nor is what should
        // be below a link or a file in a folder's place.
        for (const auto& [path, wanted] : expected)
        {
            const auto parent = seen.find (getParentPath (path));

            if (path.isNotEmpty() && seen.count (path) == 0 && parent != seen.end() && ! parent->second)
                check.missing.add (path);
        }
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

    const auto bundle = installFolder.getChildFile (bundleName);

    if (! bundle.exists() && ! bundle.isSymbolicLink())
        return check;

    compareBundle (bundle, bundleName, bundleIsFile, expected, check);

    for (auto* list : { &check.changed, &check.missing, &check.extra, &check.links })
        list->sort (false);

    const auto matches = check.changed.isEmpty() && check.missing.isEmpty() && check.extra.isEmpty() && check.links.isEmpty();
    check.outcome = matches ? BundleCheck::Outcome::matches : BundleCheck::Outcome::differs;
    return check;
}
