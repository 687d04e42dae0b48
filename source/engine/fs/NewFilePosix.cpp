#include "engine/fs/NewFile.h"
#include "engine/fs/PosixWrite.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DurableFiles
{
    namespace
    {
        void closeKeepingErrno (int fd)
        {
            const auto saved = errno;
            ::close (fd);
            errno = saved;
        }

        bool flushToDisk (const char* step, const juce::File& fileOrFolder)
        {
            announceStep (step, fileOrFolder);
            const auto fd = ::open (fileOrFolder.getFullPathName().toRawUTF8(), O_RDONLY | O_CLOEXEC);

            if (fd < 0)
                return false;

            const auto ok = ::fsync (fd) == 0;
            closeKeepingErrno (fd);
            return ok;
        }
    } // namespace

    NewFile::NewFile (const juce::File& file)
    {
        announceStep ("write file", file);
        fd = ::open (file.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    }

    NewFile::NewFile (const Folder& parent, const juce::String& name, Readers readers)
    {
        announceStep ("write file", parent.getChildFile (name));

        if (! isPlainName (name))
            return;

        fd = ::openat (parent.getDescriptor(), name.toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);

        // Whatever the umask says, everyone reads it.
        if (fd >= 0 && readers == Readers::everyone && ::fchmod (fd, 0644) != 0)
        {
            closeKeepingErrno (fd);
            fd = -1;
        }
    }

    NewFile::~NewFile()
    {
        if (fd >= 0)
            closeKeepingErrno (fd);
    }

    bool NewFile::isOpen() const
    {
        return fd >= 0;
    }

    bool NewFile::write (const void* data, size_t size)
    {
        if (! writeAll (fd, data, size))
            return false;

        // Start writing what has come so far to the disk now, while the next piece is unpacked,
        // so that the flush at the end waits for little more than the last piece.
        const auto end = ::lseek (fd, 0, SEEK_CUR);
        ::sync_file_range (fd, (off_t) writtenBefore, (off_t) end - (off_t) writtenBefore, SYNC_FILE_RANGE_WRITE);
        writtenBefore = end;
        return true;
    }

    bool NewFile::finish (juce::Time time)
    {
        const auto seconds = time.toMilliseconds() / 1000;
        const auto nanoseconds = (long) (time.toMilliseconds() % 1000) * 1000000L;
        const struct timespec times[2] = { { (time_t) seconds, nanoseconds }, { (time_t) seconds, nanoseconds } };
        return ::futimens (fd, times) == 0;
    }

    bool flushFile (const juce::File& file)
    {
        return flushToDisk ("flush file", file);
    }

    bool flushFolder (const juce::File& folder)
    {
        return flushToDisk ("flush folder", folder);
    }

    bool flushFile (const Folder& parent, const juce::String& name)
    {
        announceStep ("flush file", parent.getChildFile (name));

        if (! isPlainName (name))
            return false;

        // Only the plain file it was: a FIFO in its place would stall the open, a link lead away.
        const auto fd = ::openat (parent.getDescriptor(), name.toRawUTF8(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);

        if (fd < 0)
            return false;

        struct stat info;
        const auto ok = ::fstat (fd, &info) == 0 && S_ISREG (info.st_mode) && ::fsync (fd) == 0;
        closeKeepingErrno (fd);
        return ok;
    }

    bool flushFolder (const Folder& folder)
    {
        announceStep ("flush folder", folder.getPath());
        return ::fsync (folder.getDescriptor()) == 0;
    }
} // namespace DurableFiles
