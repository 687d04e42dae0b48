#include "main/engine/InstallDetection.h"

#include "main/engine/PeVersion.h"

#include <limits>

#if ! JUCE_WINDOWS
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace
{
   #if ! JUCE_WINDOWS
    /** Reads a module file piece by piece, only where the version reader asks. Opened without
        waiting, so that a FIFO put in the module's place cannot stall the start, and read only
        when what was opened is a plain file. */
    class FileByteSource final : public PeByteSource
    {
    public:
        explicit FileByteSource (const juce::File& file)
            : fd (::open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC))
        {
            struct stat info;

            if (fd >= 0 && (::fstat (fd, &info) != 0 || ! S_ISREG (info.st_mode)))
            {
                ::close (fd);
                fd = -1;
            }
        }

        ~FileByteSource() override
        {
            if (fd >= 0)
                ::close (fd);
        }

        bool isOpen() const { return fd >= 0; }

        bool read (std::uint64_t offset, void* destination, std::size_t size) override
        {
            if (offset > (std::uint64_t) std::numeric_limits<off_t>::max())
                return false;

            auto* bytes = static_cast<char*> (destination);

            while (size > 0)
            {
                const auto got = ::pread (fd, bytes, size, (off_t) offset);

                if (got < 0 && errno == EINTR)
                    continue;

                if (got <= 0)
                    return false;

                bytes += got;
                offset += (std::uint64_t) got;
                size -= (std::size_t) got;
            }

            return true;
        }

    private:
        int fd = -1;

        JUCE_DECLARE_NON_COPYABLE (FileByteSource)
    };
   #endif
} // namespace

bool isModulePresent (const juce::File& module)
{
   #if JUCE_WINDOWS
    return module.existsAsFile();
   #else
    // A plain file, also through a link (a developer's build linked into the folder); a FIFO or
    // device of that name is no module.
    struct stat info;
    return ::stat (module.getFullPathName().toRawUTF8(), &info) == 0 && S_ISREG (info.st_mode);
   #endif
}

juce::String readModuleVersion (const juce::File& module)
{
    if (! isModulePresent (module))
        return {};

   #if JUCE_WINDOWS
    return module.getVersion();
   #else
    FileByteSource source (module);

    if (! source.isOpen())
        return {};

    return juce::String (readPeFileVersion (source));
   #endif
}

FormatStatus detectFormatStatus (const juce::File& installFolder, const juce::String& productName,
                                 const juce::String& productVersion, int formatIndex)
{
    FormatStatus status;
    const auto bundle = getBundlePath (installFolder, productName, formatIndex);

    if (bundle.exists())
    {
        const auto module = getModulePath (bundle, productName, formatIndex);

        // A bundle without its module cannot load: only installing it again puts it right.
        if (! isModulePresent (module))
        {
            status.state = InstallState::NeedsUpdate;
        }
        else
        {
            status.installedVersion = readModuleVersion (module);
            status.state = status.installedVersion.isNotEmpty() && status.installedVersion.compareNatural (productVersion) < 0
                               ? InstallState::NeedsUpdate
                               : InstallState::Installed;
        }
    }

    const auto versionPrefix = status.installedVersion.isNotEmpty() ? "v" + status.installedVersion + " " : juce::String();
    status.statusText = status.state == InstallState::NotInstalled ? getStatusWord (status.state)
                                                                   : versionPrefix + getStatusWord (status.state);
    return status;
}
