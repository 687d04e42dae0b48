// Linux: the processes that have a bundle's files open or mapped, found in /proc by device and inode.
#include "engine/FileHolders.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <string>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace
{
    using Identity = std::pair<juce::uint64, juce::uint64>;

    /** A descriptor closed when it goes. */
    struct Descriptor final
    {
        explicit Descriptor (int fdToOwn) : fd (fdToOwn) {}
        ~Descriptor() { if (fd >= 0) ::close (fd); }
        const int fd;

        JUCE_DECLARE_NON_COPYABLE (Descriptor)
    };

    bool isIn (const std::vector<Identity>& identities, juce::uint64 device, juce::uint64 inode)
    {
        return std::find (identities.begin(), identities.end(), Identity { device, inode }) != identities.end();
    }

    /** Whether one of the process's open descriptors is one of the files: each entry of
        /proc/PID/fd stat'ed through, which reaches the open file itself, whatever its path now. */
    bool holdsOpen (int processFolder, const std::vector<Identity>& identities)
    {
        const auto fdFolder = ::openat (processFolder, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);

        if (fdFolder < 0)
            return false;

        auto* dir = ::fdopendir (fdFolder);

        if (dir == nullptr)
        {
            ::close (fdFolder);
            return false;
        }

        auto found = false;

        while (const auto* entry = ::readdir (dir))
        {
            struct stat info {};

            if (entry->d_name[0] != '.' && ::fstatat (::dirfd (dir), entry->d_name, &info, 0) == 0
                && S_ISREG (info.st_mode) && isIn (identities, (juce::uint64) info.st_dev, (juce::uint64) info.st_ino))
            {
                found = true;
                break;
            }
        }

        ::closedir (dir);
        return found;
    }

    /** Reads a file of /proc whole, up to `limit` bytes (maps of a large process runs to a few hundred KB). */
    std::string readProcFile (int processFolder, const char* name, size_t limit)
    {
        const Descriptor file (::openat (processFolder, name, O_RDONLY | O_CLOEXEC));
        std::string text;
        char buffer[65536];

        for (ssize_t got = 0; file.fd >= 0 && text.size() < limit && (got = ::read (file.fd, buffer, sizeof (buffer))) > 0;)
            text.append (buffer, (size_t) got);

        return text;
    }

    /** Whether a mapping of the process is one of the files: /proc/PID/maps gives each mapping's
        device (major:minor, in hexadecimal) and inode. Parsed as bytes: a scan reads every process's. */
    bool holdsMapped (int processFolder, const std::vector<Identity>& identities)
    {
        constexpr size_t mostRead = 16 << 20;
        const auto maps = readProcFile (processFolder, "maps", mostRead);

        for (size_t line = 0; line < maps.size();)
        {
            const auto end = std::min (maps.find ('\n', line), maps.size());
            unsigned int major = 0, minor = 0;
            unsigned long long inode = 0;

            // The fields wanted come before the path; sscanf is given only them (it measures the
            // whole of a string it is given).
            char fields[128] = {};
            maps.copy (fields, std::min (end - line, sizeof (fields) - 1), line);

            if (std::sscanf (fields, "%*s %*s %*s %x:%x %llu", &major, &minor, &inode) == 3
                && inode != 0 && isIn (identities, (juce::uint64) makedev (major, minor), (juce::uint64) inode))
                return true;

            line = end + 1;
        }

        return false;
    }

    juce::Array<FileHolder> findHoldersByIdentity (const std::vector<Identity>& identities)
    {
        juce::Array<FileHolder> holders;
        auto* proc = identities.empty() ? nullptr : ::opendir ("/proc");

        if (proc == nullptr)
            return holders;

        const auto ownId = (juce::uint32) ::getpid();

        while (const auto* entry = ::readdir (proc))
        {
            const juce::String name (entry->d_name);

            if (! name.containsOnly ("0123456789") || name.isEmpty())
                continue;

            const auto processId = (juce::uint32) name.getLargeIntValue();
            // Everything of one process is read through its own folder, opened once.
            const Descriptor folder (::openat (::dirfd (proc), entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));

            if (processId == ownId || folder.fd < 0)
                continue;

            if (holdsOpen (folder.fd, identities) || holdsMapped (folder.fd, identities))
                holders.add ({ juce::String (juce::CharPointer_UTF8 (readProcFile (folder.fd, "comm", 256).c_str())).trimEnd(), processId });
        }

        ::closedir (proc);
        return holders;
    }
} // namespace

BundleHolders::BundleHolders (const juce::File& bundle)
{
    forEachBundleFile (bundle, [this] (const DurableFiles::Folder& folder, const juce::String& name)
                       {
                           struct stat info {};

                           // A second name would let a planted hard link name the holders of a file elsewhere.
                           if (::fstatat (folder.getDescriptor(), name.toRawUTF8(), &info, AT_SYMLINK_NOFOLLOW) == 0
                               && S_ISREG (info.st_mode) && info.st_nlink == 1)
                           {
                               files.add (folder.getChildFile (name));
                               identities.emplace_back ((juce::uint64) info.st_dev, (juce::uint64) info.st_ino);
                           }
                       });
}

juce::Array<FileHolder> BundleHolders::afterRun (const juce::Result& result, const juce::Array<juce::File>&) const
{
    // A failed run left the bundle as it was: whoever has it open has the one that is there.
    return result.wasOk() ? findHoldersByIdentity (identities) : juce::Array<FileHolder>();
}

juce::Array<FileHolder> BundleHolders::findHoldersOf (const juce::Array<juce::File>& filesToCheck)
{
    std::vector<Identity> wanted;

    for (const auto& file : filesToCheck)
        if (struct stat info {}; ::lstat (file.getFullPathName().toRawUTF8(), &info) == 0 && S_ISREG (info.st_mode))
            wanted.emplace_back ((juce::uint64) info.st_dev, (juce::uint64) info.st_ino);

    return findHoldersByIdentity (wanted);
}
