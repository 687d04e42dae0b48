#include "engine/InstallDetection.h"

#include "engine/PeVersion.h"

#include "engine/WindowsApi.h"

#include <limits>

#if ! JUCE_WINDOWS
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace
{
    /** Reads a module file piece by piece, only where the version reader asks. Opened without
        waiting (a FIFO in the module's place cannot stall the start) and, on Windows, at the
        identification level only (a pipe reached through a planted link cannot act as this
        process); read only when what was opened is a plain file on a disk. */
    class FileByteSource final : public PeByteSource
    {
    public:
        explicit FileByteSource (const juce::File& file)
        {
           #if JUCE_WINDOWS
            const auto h = CreateFileW (file.getFullPathName().toWideCharPointer(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
            BY_HANDLE_FILE_INFORMATION info {};

            if (h == INVALID_HANDLE_VALUE)
                return;

            if (GetFileType (h) == FILE_TYPE_DISK && GetFileInformationByHandle (h, &info)
                && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                handle = h;
            else
                CloseHandle (h);
           #else
            fd = ::open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            struct stat info;

            if (fd >= 0 && (::fstat (fd, &info) != 0 || ! S_ISREG (info.st_mode)))
            {
                ::close (fd);
                fd = -1;
            }
           #endif
        }

        ~FileByteSource() override
        {
           #if JUCE_WINDOWS
            if (handle != nullptr)
                CloseHandle (handle);
           #else
            if (fd >= 0)
                ::close (fd);
           #endif
        }

        bool isOpen() const
        {
           #if JUCE_WINDOWS
            return handle != nullptr;
           #else
            return fd >= 0;
           #endif
        }

        bool read (std::uint64_t offset, void* destination, std::size_t size) override
        {
            if (offset > (std::uint64_t) std::numeric_limits<juce::int64>::max())
                return false;

            auto* bytes = static_cast<char*> (destination);

            while (size > 0)
            {
               #if JUCE_WINDOWS
                OVERLAPPED at {};
                at.Offset = (DWORD) offset;
                at.OffsetHigh = (DWORD) (offset >> 32);
                DWORD got = 0;

                if (! ReadFile (handle, bytes, (DWORD) juce::jmin (size, (std::size_t) 0x40000000), &got, &at) || got == 0)
                    return false;
               #else
                const auto got = ::pread (fd, bytes, size, (off_t) offset);

                if (got < 0 && errno == EINTR)
                    continue;

                if (got <= 0)
                    return false;
               #endif

                bytes += got;
                offset += (std::uint64_t) got;
                size -= (std::size_t) got;
            }

            return true;
        }

    private:
       #if JUCE_WINDOWS
        void* handle = nullptr;
       #else
        int fd = -1;
       #endif

        JUCE_DECLARE_NON_COPYABLE (FileByteSource)
    };
} // namespace

juce::String readModuleVersion (const juce::File& module)
{
    FileByteSource source (module);

    if (! source.isOpen())
        return {};

    // The same fixed file version Windows' version API gives, read from the handle just checked.
    return juce::String (readPeFileVersion (source));
}

FormatStatus detectFormatStatus (const juce::File& installFolder, const juce::String& productName,
                                 const juce::String& productVersion, int formatIndex)
{
    FormatStatus status;
    const auto bundle = getBundlePath (installFolder, productName, formatIndex);

    if (bundle.exists())
    {
        // The module: a plain file, also through a link (a developer's build linked into the
        // folder); a FIFO, device or pipe of that name is no module. A bundle without its module
        // cannot load: only installing it again puts it right.
        FileByteSource module (getModulePath (bundle, productName, formatIndex));

        if (! module.isOpen())
        {
            status.state = InstallState::NeedsUpdate;
        }
        else
        {
            // A module whose version cannot be read (empty, cut short, not a module at all) is
            // damaged as surely as a missing one: only installing it again puts it right.
            status.installedVersion = juce::String (readPeFileVersion (module));
            status.state = status.installedVersion.isEmpty() || status.installedVersion.compareNatural (productVersion) < 0
                               ? InstallState::NeedsUpdate
                               : InstallState::Installed;
        }
    }

    const auto versionPrefix = status.installedVersion.isNotEmpty() ? "v" + status.installedVersion + " " : juce::String();
    status.statusText = status.state == InstallState::NotInstalled ? getStatusWord (status.state)
                                                                   : versionPrefix + getStatusWord (status.state);
    return status;
}
