#include "engine/fs/ReadableFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DurableFiles
{
    namespace
    {
        constexpr int readOnlyNoWaiting = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

        /** Keeps `fd` only when it is a plain file; a FIFO or device was opened without waiting. */
        ReadableFile::Status examine (int& fd, juce::int64& size)
        {
            if (fd < 0)
                return errno == ENOENT ? ReadableFile::Status::missing
                     : errno == ELOOP  ? ReadableFile::Status::notAFile
                                       : ReadableFile::Status::unreadable;

            struct stat info = {};

            if (::fstat (fd, &info) == 0 && S_ISREG (info.st_mode))
            {
                size = (juce::int64) info.st_size;
                return ReadableFile::Status::opened;
            }

            ::close (fd);
            fd = -1;
            return ReadableFile::Status::notAFile;
        }
    } // namespace

    ReadableFile::~ReadableFile()
    {
        if (fd >= 0)
            ::close (fd);
    }

    ReadableFile& ReadableFile::operator= (ReadableFile&& other) noexcept
    {
        if (this != &other)
        {
            if (fd >= 0)
                ::close (fd);

            fd = std::exchange (other.fd, -1);
            status = other.status;
            size = other.size;
        }

        return *this;
    }

    ReadableFile ReadableFile::open (const juce::File& path)
    {
        ReadableFile file;
        file.fd = ::open (path.getFullPathName().toRawUTF8(), readOnlyNoWaiting);
        file.status = examine (file.fd, file.size);
        return file;
    }

    ReadableFile ReadableFile::openIn (const Folder& folder, const juce::String& name)
    {
        ReadableFile file;
        errno = EINVAL;
        file.fd = isPlainName (name) && folder.isOpen() ? ::openat (folder.getDescriptor(), name.toRawUTF8(), readOnlyNoWaiting | O_NOFOLLOW) : -1;
        file.status = examine (file.fd, file.size);
        return file;
    }

    juce::int64 ReadableFile::read (void* into, size_t wanted)
    {
        for (;;)
        {
            const auto got = fd >= 0 ? ::read (fd, into, wanted) : -1;

            if (got >= 0 || errno != EINTR)
                return (juce::int64) got;
        }
    }

    bool ReadableFile::readAt (std::uint64_t offset, void* into, size_t wanted)
    {
        auto* bytes = static_cast<char*> (into);

        while (wanted > 0)
        {
            if (offset > (std::uint64_t) std::numeric_limits<off_t>::max())
                return false;

            const auto got = ::pread (fd, bytes, wanted, (off_t) offset);

            if (got < 0 && errno == EINTR)
                continue;

            if (got <= 0)
                return false;

            bytes += got;
            offset += (std::uint64_t) got;
            wanted -= (size_t) got;
        }

        return true;
    }

    bool ReadableFile::onlyAdministratorsCanChange() const
    {
        struct stat info = {};
        return fd >= 0 && ::fstat (fd, &info) == 0 && info.st_uid == 0 && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    }
} // namespace DurableFiles
