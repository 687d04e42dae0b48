#include "app/LogFile.h"

#include "engine/SettingsFile.h"
#include "engine/WindowsApi.h"

#include <deque>

#if ! JUCE_WINDOWS
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace
{
    /** The parts of a path below its root, in order. */
    std::deque<juce::String> partsOf (const juce::String& path)
    {
        std::deque<juce::String> parts;

        for (const auto& part : juce::StringArray::fromTokens (path, "/\\", ""))
            if (part.isNotEmpty() && part != ".")
                parts.push_back (part);

        return parts;
    }
} // namespace

#if JUCE_WINDOWS
namespace
{
    /** Opens a folder or file `name` inside the folder `folder` holds, never following a reparse
        point at the name. */
    HANDLE openBelow (HANDLE folder, const juce::String& name, ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options)
    {
        DWORD error = 0;
        const auto handle = openRelative (folder, name, access | FILE_READ_ATTRIBUTES, share, disposition, options | FILE_OPEN_REPARSE_POINT, error);

        if (handle == nullptr)
            return INVALID_HANDLE_VALUE;

        BY_HANDLE_FILE_INFORMATION info {};

        if (! GetFileInformationByHandle (handle, &info) || (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0)
        {
            CloseHandle (handle);
            return INVALID_HANDLE_VALUE;
        }

        return handle;
    }
} // namespace

std::unique_ptr<LogFile> LogFile::open (const juce::File& file)
{
    const auto path = file.getFullPathName();
    const auto folderPath = file.getParentDirectory().getFullPathName();

    // A drive or a network share, never a device or a server's pipes.
    if (! Settings::isUsableFolderPath (folderPath, Settings::PathRules::windows))
        return {};

    // The root is a drive's ("C:\") or a share's ("\\server\share\").
    auto parts = partsOf (path);
    const auto isNetworkPath = path.startsWith ("\\");

    if (parts.size() < (isNetworkPath ? 3u : 2u))
        return {};

    const auto rootFolder = isNetworkPath ? "\\\\" + parts[0] + "\\" + parts[1] + "\\" : parts[0] + "\\";
    parts.erase (parts.begin(), parts.begin() + (isNetworkPath ? 2 : 1));

    if (parts.empty())
        return {};

    auto folder = CreateFileW (rootFolder.toWideCharPointer(), FILE_TRAVERSE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);

    for (size_t i = 0; folder != INVALID_HANDLE_VALUE && i + 1 < parts.size(); ++i)
    {
        // Only the log's own folder may be made.
        const ULONG disposition = i + 2 == parts.size() ? FILE_OPEN_IF : FILE_OPEN;
        const auto next = openBelow (folder, parts[i], FILE_TRAVERSE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     disposition, FILE_DIRECTORY_FILE);
        CloseHandle (folder);
        folder = next;
    }

    if (folder == INVALID_HANDLE_VALUE)
        return {};

    const auto handle = openBelow (folder, parts.back(), FILE_APPEND_DATA, FILE_SHARE_READ, FILE_OPEN_IF, FILE_NON_DIRECTORY_FILE);
    CloseHandle (folder);

    if (handle == INVALID_HANDLE_VALUE)
        return {};

    BY_HANDLE_FILE_INFORMATION info {};

    if (GetFileType (handle) != FILE_TYPE_DISK || ! GetFileInformationByHandle (handle, &info) || info.nNumberOfLinks != 1)
    {
        CloseHandle (handle);
        return {};
    }

    return std::unique_ptr<LogFile> (new LogFile (handle));
}

LogFile::~LogFile()
{
    CloseHandle (handle);
}

bool LogFile::append (const juce::String& text)
{
    const auto* utf8 = text.toRawUTF8();
    const auto size = (DWORD) text.getNumBytesAsUTF8();
    DWORD written = 0;
    return WriteFile (handle, utf8, size, &written, nullptr) && written == size;
}

#else
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

std::unique_ptr<LogFile> LogFile::open (const juce::File& file)
{
    const auto folderPath = file.getParentDirectory().getFullPathName();

    if (! Settings::isUsableFolderPath (folderPath, Settings::PathRules::posix))
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

    return std::unique_ptr<LogFile> (new LogFile (descriptor));
}

LogFile::~LogFile()
{
    ::close (descriptor);
}

bool LogFile::append (const juce::String& text)
{
    const auto* data = text.toRawUTF8();
    auto left = text.getNumBytesAsUTF8();

    while (left > 0)
    {
        const auto wrote = ::write (descriptor, data, left);

        if (wrote < 0 && errno == EINTR)
            continue;

        if (wrote <= 0)
            return false;

        data += wrote;
        left -= (size_t) wrote;
    }

    return true;
}
#endif
