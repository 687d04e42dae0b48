#include "main/engine/DurableFiles.h"

#include "main/engine/WindowsApi.h"

#include <memory>
#include <mutex>

#if ! JUCE_WINDOWS
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/file.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace DurableFiles
{
    namespace
    {
        // The hook is read by every worker of a run at once; each call works on its own copy.
        std::mutex& getStepHookLock()
        {
            static std::mutex lock;
            return lock;
        }

        std::shared_ptr<const StepHook>& getStepHook()
        {
            static std::shared_ptr<const StepHook> hook;
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
    } // namespace

    void setStepHook (StepHook hook)
    {
        auto shared = hook ? std::make_shared<const StepHook> (std::move (hook)) : nullptr;
        const std::lock_guard<std::mutex> guard (getStepHookLock());
        getStepHook() = std::move (shared);
    }

    void announceStep (const char* step, const juce::File& target)
    {
        std::shared_ptr<const StepHook> hook;

        {
            const std::lock_guard<std::mutex> guard (getStepHookLock());
            hook = getStepHook();
        }

        if (hook != nullptr)
            (*hook) (step, target);
    }

    //==============================================================================
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
    BundleLock::BundleLock (const juce::File& installFolder, const juce::String& bundleName)
        : lockFile (installFolder.getChildFile (getLockFileName (bundleName)))
    {
    }

    BundleLock::~BundleLock()
    {
        release();
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
        const auto path = rawPath (lockFile);
        const auto newFd = ::open (path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);

        if (newFd < 0)
        {
            // A link or other stranger under our name is no lock of ours: it goes, and we try again.
            if (errno == ELOOP && ::unlink (path) == 0)
                return Outcome::busy;

            return Outcome::cannotCreate;
        }

        struct stat held, named;

        if (::fstat (newFd, &held) != 0 || ! S_ISREG (held.st_mode))
        {
            closeKeepingErrno (newFd);
            return ::unlink (path) == 0 ? Outcome::busy : Outcome::cannotCreate;
        }

        if (::flock (newFd, LOCK_EX | LOCK_NB) != 0)
        {
            closeKeepingErrno (newFd);
            return Outcome::busy;
        }

        // The holder before us removes the file before letting go: a lock on a file that no longer
        // has the name locks nothing.
        if (::lstat (path, &named) != 0 || named.st_dev != held.st_dev || named.st_ino != held.st_ino)
        {
            closeKeepingErrno (newFd);
            return Outcome::busy;
        }

        fd = newFd;
        return Outcome::acquired;
    }

    void BundleLock::release()
    {
        if (fd < 0)
            return;

        // Removed while still held, so that nobody can lock the name and find it gone.
        ::unlink (rawPath (lockFile));
        closeKeepingErrno (fd);
        fd = -1;
    }
   #endif
} // namespace DurableFiles
