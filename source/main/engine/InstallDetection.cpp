#include "main/engine/InstallDetection.h"

#include "main/engine/PeVersion.h"

#include <limits>

namespace
{
   #if ! JUCE_WINDOWS
    /** Reads a module file piece by piece, only where the version reader asks. */
    class FileByteSource final : public PeByteSource
    {
    public:
        explicit FileByteSource (const juce::File& file) : stream (file) {}

        bool isOpen() const { return stream.openedOk(); }

        bool read (std::uint64_t offset, void* destination, std::size_t size) override
        {
            if (size > (std::size_t) std::numeric_limits<int>::max() || offset > (std::uint64_t) std::numeric_limits<juce::int64>::max())
                return false;

            return stream.setPosition ((juce::int64) offset) && stream.read (destination, (int) size) == (int) size;
        }

    private:
        juce::FileInputStream stream;
    };
   #endif
} // namespace

juce::String readModuleVersion (const juce::File& module)
{
    if (! module.existsAsFile())
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
        status.installedVersion = readModuleVersion (getModulePath (bundle, productName, formatIndex));
        status.state = status.installedVersion.isNotEmpty() && status.installedVersion.compareNatural (productVersion) < 0
                           ? InstallState::NeedsUpdate
                           : InstallState::Installed;
    }

    const auto versionPrefix = status.installedVersion.isNotEmpty() ? "v" + status.installedVersion + " " : juce::String();
    status.statusText = status.state == InstallState::NotInstalled ? getStatusWord (status.state)
                                                                   : versionPrefix + getStatusWord (status.state);
    return status;
}
