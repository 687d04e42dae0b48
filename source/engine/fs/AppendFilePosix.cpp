#include "engine/fs/AppendFile.h"
#include "engine/fs/PosixWrite.h"

#include "engine/FileNames.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
    bool isOwnersOnly (const struct stat& info)
    {
        return info.st_uid == 0 || info.st_uid == ::geteuid();
    }

    /** Whether the link `name` in the folder `folder` could only have been put there by root or
        this user: it is theirs, and so is the folder, which no one else may write to (or which is
        sticky, so that no one else may replace their entries). */
    bool isLinkOfOurOwn (int folder, const char* name)
    {
        struct stat folderInfo = {}, linkInfo = {};

        if (::fstat (folder, &folderInfo) != 0 || ::fstatat (folder, name, &linkInfo, AT_SYMLINK_NOFOLLOW) != 0)
            return false;

        const auto othersMayWrite = (folderInfo.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        const auto othersMayReplace = othersMayWrite && (folderInfo.st_mode & S_ISVTX) == 0;
        return S_ISLNK (linkInfo.st_mode) && isOwnersOnly (linkInfo) && isOwnersOnly (folderInfo) && ! othersMayReplace;
    }
} // namespace

std::unique_ptr<DurableFiles::AppendFile> DurableFiles::AppendFile::open (const juce::File& file)
{
    const auto folderPath = file.getParentDirectory().getFullPathName();

    if (! isUsableFolderPath (folderPath, PathRules::posix))
        return {};

    auto parts = partsOf (folderPath);
    auto folder = ::open ("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    int linksFollowed = 0;

    auto moveTo = [&folder] (int next)
    {
        ::close (folder);
        folder = next;
        return next >= 0;
    };

    while (folder >= 0 && ! parts.empty())
    {
        const auto part = parts.front();
        parts.pop_front();
        const auto* name = part.toRawUTF8();
        auto next = ::openat (folder, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);

        // Only the log's own folder is made.
        if (next < 0 && errno == ENOENT && parts.empty())
            if (::mkdirat (folder, name, 0755) == 0)
                next = ::openat (folder, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);

        if (next >= 0 || (errno != ENOTDIR && errno != ELOOP) || ++linksFollowed > 40 || ! isLinkOfOurOwn (folder, name))
        {
            moveTo (next);
            continue;
        }

        // A link of root's own: its target is walked in the same way, part by part.
        char target[4096];
        const auto length = ::readlinkat (folder, name, target, sizeof (target) - 1);

        if (length <= 0)
        {
            moveTo (-1);
            break;
        }

        target[length] = 0;
        auto targetParts = partsOf (juce::String (juce::CharPointer_UTF8 (target)));
        parts.insert (parts.begin(), targetParts.begin(), targetParts.end());

        if (target[0] == '/')
            moveTo (::open ("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    }

    if (folder < 0)
        return {};

    // Without waiting on a FIFO, and never making a terminal the controlling one.
    const auto descriptor = ::openat (folder, file.getFileName().toRawUTF8(),
                                      O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    ::close (folder);

    if (descriptor < 0)
        return {};

    struct stat info = {};

    if (::fstat (descriptor, &info) != 0 || ! S_ISREG (info.st_mode) || info.st_nlink != 1)
    {
        ::close (descriptor);
        return {};
    }

    return std::unique_ptr<DurableFiles::AppendFile> (new DurableFiles::AppendFile (descriptor));
}

DurableFiles::AppendFile::~AppendFile()
{
    ::close (descriptor);
}

bool DurableFiles::AppendFile::append (const juce::String& text)
{
    return writeAll (descriptor, text.toRawUTF8(), text.getNumBytesAsUTF8());
}
