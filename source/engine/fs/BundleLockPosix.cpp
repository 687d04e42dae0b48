#include "engine/fs/BundleLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DurableFiles
{
    juce::File BundleLock::getLockFolder()
    {
        // /run is root's alone; a user's run locks only against the same user's other runs.
        if (::geteuid() == 0)
            return juce::File ("/run/tw_installer");

        const auto runtime = juce::SystemStats::getEnvironmentVariable ("XDG_RUNTIME_DIR", {});

        if (juce::File::isAbsolutePath (runtime))
            return juce::File (runtime).getChildFile ("tw_installer");

        return juce::File ("/tmp").getChildFile ("tw_installer-" + juce::String ((int) ::geteuid()));
    }

    juce::String BundleLock::getLockName (const Folder& installFolder, const juce::String&)
    {
        struct stat info = {};

        if (! installFolder.isOpen() || ::fstat (installFolder.getDescriptor(), &info) != 0)
            return {};

        return juce::String ((juce::uint64) info.st_dev) + "-" + juce::String ((juce::uint64) info.st_ino) + ".lock";
    }

    BundleLock::BundleLock (const Folder& installFolder, const juce::String& bundleName)
        : lockName (getLockName (installFolder, bundleName)),
          openError (installFolder.isOpen() ? 0 : installFolder.getError())
    {
        if (lockName.isEmpty())
            return;

        // A folder only this account can enter: no one else can hold, plant or link the lock.
        lockFolder = Folder::openOrCreatePrivate (getLockFolder());

        if (! lockFolder.isOpen())
        {
            openError = lockFolder.getError();
            return;
        }

        fd = ::openat (lockFolder.getDescriptor(), lockName.toRawUTF8(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);

        if (fd < 0)
            openError = errno;
    }

    BundleLock::~BundleLock()
    {
        release();

        if (fd >= 0)
            ::close (fd);
    }

    BundleLock::Outcome BundleLock::tryOnce()
    {
        if (fd < 0)
        {
            errno = openError != 0 ? openError : EINVAL;
            return Outcome::cannotCreate;
        }

        // A lock of this open of the file, not of the process: two formats of one run that share
        // the folder keep each other out too.
        struct flock whole = {};
        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;

        if (::fcntl (fd, F_OFD_SETLK, &whole) == 0)
        {
            held = true;
            return Outcome::acquired;
        }

        return errno == EAGAIN || errno == EACCES || errno == EINTR ? Outcome::busy : Outcome::cannotCreate;
    }

    void BundleLock::release()
    {
        if (! held)
            return;

        struct flock whole = {};
        whole.l_type = F_UNLCK;
        whole.l_whence = SEEK_SET;
        ::fcntl (fd, F_OFD_SETLK, &whole);
        held = false;
    }
} // namespace DurableFiles
