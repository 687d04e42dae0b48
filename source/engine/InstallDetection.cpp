#include "engine/InstallDetection.h"

#include "engine/PeVersion.h"
#include "engine/Version.h"

#include "engine/fs/ReadableFile.h"

namespace
{
    /** Reads a module file piece by piece, only where the version reader asks, through the one
        handle it was opened with (without waiting, and only if it is a plain file). */
    class FileByteSource final : public PeByteSource
    {
    public:
        explicit FileByteSource (const juce::File& file)
            : readable (DurableFiles::ReadableFile::open (file))
        {
        }

        bool isOpen() const { return readable.isOpen(); }

        bool read (std::uint64_t offset, void* destination, std::size_t size) override
        {
            return readable.readAt (offset, destination, size);
        }

    private:
        DurableFiles::ReadableFile readable;

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
            status.installedVersion = juce::String (readPeFileVersion (module));
            status.state = status.installedVersion.isNotEmpty() && Version (status.installedVersion) < Version (productVersion)
                               ? InstallState::NeedsUpdate
                               : InstallState::Installed;
        }
    }

    const auto versionPrefix = status.installedVersion.isNotEmpty() ? "v" + status.installedVersion + " " : juce::String();
    status.statusText = status.state == InstallState::NotInstalled ? getStatusWord (status.state)
                                                                   : versionPrefix + getStatusWord (status.state);
    return status;
}
