#include "engine/fs/Folder.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DurableFiles
{
    namespace
    {
        const char* rawPath (const juce::File& file)
        {
            return file.getFullPathName().toRawUTF8();
        }

        void closeKeepingErrno (int fd)
        {
            const auto saved = errno;
            ::close (fd);
            errno = saved;
        }

        void setError (int& error, int value)
        {
            error = value;
            errno = value;
        }

        /** Owned by root and writable by no one else; a folder may be writable by others when it
            is sticky, as only an entry's owner may then delete or rename it. */
        bool isOnlyRoots (const struct stat& info)
        {
            const auto othersMayWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
            return info.st_uid == 0 && (! othersMayWrite || (S_ISDIR (info.st_mode) && (info.st_mode & S_ISVTX) != 0));
        }
    } // namespace

    Folder::~Folder()
    {
        if (fd >= 0)
            closeKeepingErrno (fd);
    }

    Folder& Folder::operator= (Folder&& other) noexcept
    {
        if (this != &other)
        {
            path = other.path;
            error = other.error;
            reachedThroughLink = other.reachedThroughLink;

            if (fd >= 0)
                closeKeepingErrno (fd);

            fd = std::exchange (other.fd, -1);
        }

        return *this;
    }

    bool Folder::isOpen() const
    {
        return fd >= 0;
    }

    bool Folder::wasMissing() const
    {
        return fd < 0 && error == ENOENT;
    }

    Folder Folder::open (const juce::File& path, Hold)
    {
        Folder folder;
        folder.path = path;
        folder.fd = ::open (rawPath (path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

        if (folder.fd < 0)
            folder.error = errno;

        return folder;
    }

    Folder Folder::makeChild (const juce::String& name, bool isPrivate) const
    {
        announceStep ("create folder", getChildFile (name));

        // One made meanwhile by someone else is opened only if it is a folder, not a link.
        if (! isPlainName (name) || (::mkdirat (fd, name.toRawUTF8(), isPrivate ? 0700 : 0755) != 0 && errno != EEXIST))
        {
            Folder failed;
            failed.path = getChildFile (name);
            setError (failed.error, isPlainName (name) ? errno : EINVAL);
            return failed;
        }

        return openChild (name);
    }

    Folder Folder::openChild (const juce::String& name, bool ownOnly) const
    {
        Folder child;
        child.path = path.getChildFile (name);

        if (! isPlainName (name) || fd < 0)
        {
            setError (child.error, fd < 0 ? EBADF : EINVAL);
            return child;
        }

        // O_NOFOLLOW: a link at the name fails with ELOOP; O_DIRECTORY: so does anything but a folder.
        child.fd = ::openat (fd, name.toRawUTF8(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);

        if (child.fd < 0)
        {
            child.error = errno;
            return child;
        }

        struct stat info;

        if (ownOnly && (::fstat (child.fd, &info) != 0 || info.st_uid != ::geteuid()))
        {
            closeKeepingErrno (child.fd);
            child.fd = -1;
            setError (child.error, EACCES);
        }

        return child;
    }

    bool Folder::onlyAdministratorsCanChange() const
    {
        struct stat info = {};
        return fd >= 0 && ! reachedThroughLink && ::fstat (fd, &info) == 0 && isOnlyRoots (info);
    }

    bool Folder::makePrivate() const
    {
        struct stat info = {};

        if (fd < 0 || ::fstat (fd, &info) != 0 || info.st_uid != ::geteuid())
            return false;

        return (info.st_mode & 077) == 0 || ::fchmod (fd, 0700) == 0;
    }

    EntryKind getEntryKind (const Folder& folder, const juce::String& name, juce::int64* size)
    {
        struct stat info;

        if (! isPlainName (name) || ::fstatat (folder.getDescriptor(), name.toRawUTF8(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return EntryKind::missing;

        if (S_ISLNK (info.st_mode))
            return EntryKind::link;

        if (S_ISDIR (info.st_mode))
            return EntryKind::folder;

        if (! S_ISREG (info.st_mode))
            return EntryKind::other;

        if (size != nullptr)
            *size = (juce::int64) info.st_size;

        return EntryKind::file;
    }

    bool listNames (const Folder& folder, juce::StringArray& names)
    {
        // A copy of the handle shares its place in the listing: start from the beginning.
        const auto copy = ::dup (folder.getDescriptor());
        auto* stream = copy >= 0 ? ::fdopendir (copy) : nullptr;

        if (stream == nullptr)
        {
            if (copy >= 0)
                closeKeepingErrno (copy);

            return false;
        }

        ::rewinddir (stream);

        while (const auto* entry = ::readdir (stream))
            if (std::strcmp (entry->d_name, ".") != 0 && std::strcmp (entry->d_name, "..") != 0)
                names.add (juce::String::fromUTF8 (entry->d_name));

        ::closedir (stream);
        return true;
    }

    bool createFolder (const Folder& parent, const juce::String& name)
    {
        announceStep ("create folder", parent.getChildFile (name));

        if (! isPlainName (name))
            return (errno = EINVAL, false);

        return ::mkdirat (parent.getDescriptor(), name.toRawUTF8(), 0755) == 0;
    }

    bool createFolder (const juce::File& folder)
    {
        announceStep ("create folder", folder);
        return ::mkdir (rawPath (folder), 0755) == 0;
    }

    bool removeFile (const Folder& parent, const juce::String& name)
    {
        if (! isPlainName (name))
            return (errno = EINVAL, false);

        return ::unlinkat (parent.getDescriptor(), name.toRawUTF8(), 0) == 0;
    }
} // namespace DurableFiles

int renameEntry (const juce::File& source, const juce::File& target)
{
    const auto* from = source.getFullPathName().toRawUTF8();
    const auto* to = target.getFullPathName().toRawUTF8();

    // A plain rename() would replace a file or an empty folder at the target.
    if (::renameat2 (AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;

    if (errno != EINVAL)
        return errno;

    struct stat existing;

    if (::lstat (to, &existing) == 0)
        return EEXIST;

    return ::rename (from, to) == 0 ? 0 : errno;
}

int renameEntry (const DurableFiles::Folder& sourceFolder, const juce::String& sourceName,
                 const DurableFiles::Folder& targetFolder, const juce::String& targetName)
{
    if (! DurableFiles::isPlainName (sourceName) || ! DurableFiles::isPlainName (targetName))
        return EINVAL;

    const auto from = sourceFolder.getDescriptor();
    const auto to = targetFolder.getDescriptor();

    if (::renameat2 (from, sourceName.toRawUTF8(), to, targetName.toRawUTF8(), RENAME_NOREPLACE) == 0)
        return 0;

    // A file system without RENAME_NOREPLACE: look first, then rename.
    if (errno != EINVAL)
        return errno;

    struct stat existing;

    if (::fstatat (to, targetName.toRawUTF8(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;

    return ::renameat (from, sourceName.toRawUTF8(), to, targetName.toRawUTF8()) == 0 ? 0 : errno;
}
