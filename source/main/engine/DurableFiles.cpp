#include "main/engine/DurableFiles.h"

#include "main/engine/WindowsApi.h"

#include <cstring>
#include <utility>

#if ! JUCE_WINDOWS
 #include <cerrno>
 #include <dirent.h>
 #include <fcntl.h>
 #include <sys/file.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace DurableFiles
{
    namespace
    {
        StepHook& getStepHook()
        {
            static StepHook hook;
            return hook;
        }

       #if JUCE_WINDOWS
        const wchar_t* widePath (const juce::File& file)
        {
            return file.getFullPathName().toWideCharPointer();
        }

        FILETIME toFileTime (juce::Time time)
        {
            // 100 ns steps since 1601, from milliseconds since 1970.
            ULARGE_INTEGER value;
            value.QuadPart = (ULONGLONG) (time.toMilliseconds() * 10000 + 116444736000000000LL);
            return { value.LowPart, value.HighPart };
        }
       #else
        const char* rawPath (const juce::File& file)
        {
            return file.getFullPathName().toRawUTF8();
        }

        int closeKeepingErrno (int fd)
        {
            const auto saved = errno;
            const auto result = ::close (fd);
            errno = saved;
            return result;
        }
       #endif

        /** A name of one entry: never a path that could lead past the folder it is looked up in. */
        bool isPlainName (const juce::String& name)
        {
            return name.isNotEmpty() && name != "." && name != ".." && ! name.containsAnyOf ("/\\") && ! name.containsChar (0);
        }

       #if ! JUCE_WINDOWS
        void setError (int& error, int value)
        {
            error = value;
            errno = value;
        }
       #endif
    } // namespace

    void setStepHook (StepHook hook)
    {
        getStepHook() = std::move (hook);
    }

    void announceStep (const char* step, const juce::File& target)
    {
        if (auto& hook = getStepHook())
            hook (step, target);
    }

    //==============================================================================
    Folder::~Folder()
    {
       #if ! JUCE_WINDOWS
        if (fd >= 0)
            closeKeepingErrno (fd);
       #endif
    }

    Folder::Folder (Folder&& other) noexcept
    {
        *this = std::move (other);
    }

    Folder& Folder::operator= (Folder&& other) noexcept
    {
        if (this != &other)
        {
            path = other.path;
            error = other.error;
           #if JUCE_WINDOWS
            opened = std::exchange (other.opened, false);
           #else
            if (fd >= 0)
                closeKeepingErrno (fd);

            fd = std::exchange (other.fd, -1);
           #endif
        }

        return *this;
    }

    bool Folder::isOpen() const
    {
       #if JUCE_WINDOWS
        return opened;
       #else
        return fd >= 0;
       #endif
    }

    bool Folder::wasMissing() const
    {
       #if JUCE_WINDOWS
        return ! opened && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
       #else
        return fd < 0 && error == ENOENT;
       #endif
    }

   #if JUCE_WINDOWS
    Folder Folder::open (const juce::File& path)
    {
        Folder folder;
        folder.path = path;
        const auto attributes = GetFileAttributesW (widePath (path));

        if (attributes == INVALID_FILE_ATTRIBUTES)
            folder.error = (int) GetLastError();
        else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            folder.error = ERROR_DIRECTORY;
        else
            folder.opened = true;

        return folder;
    }

    Folder Folder::openOrCreate (const juce::File& path)
    {
        auto folder = open (path);

        if (folder.wasMissing() && path.createDirectory().failed())
            folder.error = (int) GetLastError();
        else if (folder.wasMissing())
            folder = open (path);

        return folder;
    }

    Folder Folder::openChild (const juce::String& name, bool) const
    {
        Folder child;
        child.path = path.getChildFile (name);

        if (! isPlainName (name))
        {
            child.error = ERROR_INVALID_NAME;
            return child;
        }

        const auto attributes = GetFileAttributesW (widePath (child.path));

        if (attributes == INVALID_FILE_ATTRIBUTES)
            child.error = (int) GetLastError();
        else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            child.error = ERROR_CANT_ACCESS_FILE;
        else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            child.error = ERROR_DIRECTORY;
        else
            child.opened = true;

        return child;
    }

    EntryKind getEntryKind (const Folder& folder, const juce::String& name, juce::int64* size)
    {
        WIN32_FILE_ATTRIBUTE_DATA data;

        if (! isPlainName (name) || ! GetFileAttributesExW (widePath (folder.getChildFile (name)), GetFileExInfoStandard, &data))
            return EntryKind::missing;

        if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return EntryKind::link;

        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return EntryKind::folder;

        if (size != nullptr)
            *size = ((juce::int64) data.nFileSizeHigh << 32) | data.nFileSizeLow;

        return EntryKind::file;
    }

    bool listNames (const Folder& folder, juce::StringArray& names)
    {
        WIN32_FIND_DATAW found;
        const auto search = FindFirstFileW ((folder.getPath().getFullPathName() + "\\*").toWideCharPointer(), &found);

        if (search == INVALID_HANDLE_VALUE)
            return GetLastError() == ERROR_FILE_NOT_FOUND;

        do
        {
            const juce::String name (found.cFileName);

            if (name != "." && name != "..")
                names.add (name);
        } while (FindNextFileW (search, &found));

        FindClose (search);
        return true;
    }
   #else
    Folder Folder::open (const juce::File& path)
    {
        Folder folder;
        folder.path = path;
        folder.fd = ::open (rawPath (path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

        if (folder.fd < 0)
            folder.error = errno;

        return folder;
    }

    Folder Folder::openOrCreate (const juce::File& path)
    {
        auto folder = open (path);

        if (! folder.wasMissing())
            return folder;

        // Up to the nearest folder that exists, then down again making each level.
        juce::StringArray missing;
        auto existing = path;

        while (folder.wasMissing() && existing != existing.getParentDirectory())
        {
            missing.insert (0, existing.getFileName());
            existing = existing.getParentDirectory();
            folder = open (existing);
        }

        for (const auto& name : missing)
        {
            if (! folder.isOpen())
                break;

            announceStep ("create folder", folder.getChildFile (name));

            // One made meanwhile by someone else is opened only if it is a folder, not a link.
            if (::mkdirat (folder.fd, name.toRawUTF8(), 0755) != 0 && errno != EEXIST)
            {
                Folder failed;
                failed.path = folder.getChildFile (name);
                setError (failed.error, errno);
                return failed;
            }

            folder = folder.openChild (name);
        }

        return folder;
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
   #endif

    //==============================================================================
    bool createFolder (const Folder& parent, const juce::String& name)
    {
        announceStep ("create folder", parent.getChildFile (name));

       #if JUCE_WINDOWS
        return isPlainName (name) && CreateDirectoryW (widePath (parent.getChildFile (name)), nullptr) != 0;
       #else
        if (! isPlainName (name))
            return (errno = EINVAL, false);

        return ::mkdirat (parent.getDescriptor(), name.toRawUTF8(), 0755) == 0;
       #endif
    }

    bool createFolder (const juce::File& folder)
    {
        announceStep ("create folder", folder);

       #if JUCE_WINDOWS
        return CreateDirectoryW (widePath (folder), nullptr) != 0;
       #else
        return ::mkdir (rawPath (folder), 0755) == 0;
       #endif
    }

    namespace
    {
        bool flushToDisk (const char* step, const juce::File& fileOrFolder)
        {
            announceStep (step, fileOrFolder);

           #if JUCE_WINDOWS
            // NewFile flushed each file, and every rename is written through.
            juce::ignoreUnused (fileOrFolder);
            return true;
           #else
            const auto fd = ::open (rawPath (fileOrFolder), O_RDONLY | O_CLOEXEC);

            if (fd < 0)
                return false;

            const auto ok = ::fsync (fd) == 0;
            closeKeepingErrno (fd);
            return ok;
           #endif
        }
    } // namespace

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

       #if JUCE_WINDOWS
        return isPlainName (name);
       #else
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
       #endif
    }

    bool flushFolder (const Folder& folder)
    {
        announceStep ("flush folder", folder.getPath());

       #if JUCE_WINDOWS
        return folder.isOpen();
       #else
        return ::fsync (folder.getDescriptor()) == 0;
       #endif
    }

    //==============================================================================
    NewFile::NewFile (const juce::File& file)
    {
        announceStep ("write file", file);

       #if JUCE_WINDOWS
        // CREATE_NEW fails on any existing name, a link's included.
        const auto h = CreateFileW (widePath (file), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);

        if (h != INVALID_HANDLE_VALUE)
            handle = h;
       #else
        fd = ::open (rawPath (file), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
       #endif
    }

    NewFile::NewFile (const Folder& parent, const juce::String& name)
    {
        announceStep ("write file", parent.getChildFile (name));

        if (! isPlainName (name))
            return;

       #if JUCE_WINDOWS
        const auto h = CreateFileW (widePath (parent.getChildFile (name)), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);

        if (h != INVALID_HANDLE_VALUE)
            handle = h;
       #else
        fd = ::openat (parent.getDescriptor(), name.toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
       #endif
    }

    NewFile::~NewFile()
    {
       #if JUCE_WINDOWS
        if (handle != nullptr)
            CloseHandle (handle);
       #else
        if (fd >= 0)
            closeKeepingErrno (fd);
       #endif
    }

    bool NewFile::isOpen() const
    {
       #if JUCE_WINDOWS
        return handle != nullptr;
       #else
        return fd >= 0;
       #endif
    }

    bool NewFile::write (const void* data, size_t size)
    {
        const auto* bytes = static_cast<const char*> (data);

        while (size > 0)
        {
           #if JUCE_WINDOWS
            DWORD written = 0;
            const auto piece = (DWORD) juce::jmin (size, (size_t) 0x40000000);

            if (! WriteFile (handle, bytes, piece, &written, nullptr) || written == 0)
                return false;
           #else
            const auto written = ::write (fd, bytes, size);

            if (written < 0 && errno == EINTR)
                continue;

            if (written <= 0)
                return false;
           #endif

            bytes += written;
            size -= (size_t) written;
        }

       #if JUCE_LINUX
        // Start writing what has come so far to the disk now, while the next piece is unpacked,
        // so that the flush at the end waits for little more than the last piece.
        const auto end = ::lseek (fd, 0, SEEK_CUR);
        ::sync_file_range (fd, (off_t) writtenBefore, (off_t) end - (off_t) writtenBefore, SYNC_FILE_RANGE_WRITE);
        writtenBefore = end;
       #endif

        return true;
    }

    bool NewFile::finish (juce::Time time)
    {
       #if JUCE_WINDOWS
        const auto fileTime = toFileTime (time);
        return SetFileTime (handle, &fileTime, &fileTime, &fileTime) && FlushFileBuffers (handle);
       #else
        const auto seconds = time.toMilliseconds() / 1000;
        const auto nanoseconds = (long) (time.toMilliseconds() % 1000) * 1000000L;
        const struct timespec times[2] = { { (time_t) seconds, nanoseconds }, { (time_t) seconds, nanoseconds } };
        return ::futimens (fd, times) == 0;
       #endif
    }

    //==============================================================================
   #if JUCE_WINDOWS
    BundleLock::BundleLock (const juce::File& installFolder, const juce::String& bundleName)
        : lockFile (installFolder.getChildFile (getLockFileName (bundleName)))
    {
    }

    BundleLock::BundleLock (const Folder& installFolder, const juce::String& bundleName)
        : BundleLock (installFolder.getPath(), bundleName)
    {
    }
   #else
    BundleLock::BundleLock (const juce::File& installFolder, const juce::String&)
        : fd (::open (rawPath (installFolder), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
          openError (fd < 0 ? errno : 0)
    {
    }

    BundleLock::BundleLock (const Folder& installFolder, const juce::String&)
        // An open of its own: a lock belongs to one open of the folder, and the run's other
        // opens (another format's lock in the same folder) must not share it.
        : fd (installFolder.isOpen() ? ::openat (installFolder.getDescriptor(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1),
          openError (fd < 0 ? (installFolder.isOpen() ? errno : installFolder.getError()) : 0)
    {
    }
   #endif

    BundleLock::~BundleLock()
    {
        release();

       #if ! JUCE_WINDOWS
        if (fd >= 0)
            closeKeepingErrno (fd);
       #endif
    }

    juce::String BundleLock::getLockFileName (const juce::String& bundleName)
    {
        return "." + bundleName + ".lock";
    }

    BundleLock::Outcome BundleLock::acquire (juce::RelativeTime wait)
    {
        const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax ((juce::int64) 0, wait.inMilliseconds());

        for (;;)
        {
            const auto outcome = tryOnce();

            if (outcome != Outcome::busy || juce::Time::getMillisecondCounter() >= deadline)
                return outcome;

            juce::Thread::sleep (20);
        }
    }

   #if JUCE_WINDOWS
    BundleLock::Outcome BundleLock::tryOnce()
    {
        // No sharing: a second open fails while this handle lives. The file goes when the handle
        // closes, also when the process dies. A link of that name is opened as itself, never followed.
        const auto h = CreateFileW (widePath (lockFile), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

        if (h != INVALID_HANDLE_VALUE)
        {
            handle = h;
            return Outcome::acquired;
        }

        // ACCESS_DENIED is also what a lock file whose deletion is still pending gives.
        const auto error = GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED
                   ? Outcome::busy
                   : Outcome::cannotCreate;
    }

    void BundleLock::release()
    {
        if (handle != nullptr)
            CloseHandle (handle);

        handle = nullptr;
    }
   #else
    BundleLock::Outcome BundleLock::tryOnce()
    {
        if (fd < 0)
        {
            errno = openError;
            return Outcome::cannotCreate;
        }

        // The folder itself is locked, not a file in it: nothing a user can remove, swap or link
        // takes the lock away, and it needs no write permission.
        if (::flock (fd, LOCK_EX | LOCK_NB) == 0)
        {
            held = true;
            return Outcome::acquired;
        }

        return errno == EWOULDBLOCK || errno == EINTR ? Outcome::busy : Outcome::cannotCreate;
    }

    void BundleLock::release()
    {
        if (held)
            ::flock (fd, LOCK_UN);

        held = false;
    }
   #endif
} // namespace DurableFiles
