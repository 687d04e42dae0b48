#include "engine/KeptCopy.h"

namespace InstalledEntry
{
    namespace
    {
        struct StreamSource final : public KeptCopySource
        {
            explicit StreamSource (const juce::File& file) : stream (file) { size = file.getSize(); }

            int read (char* into, int wanted) override { return stream.read (into, wanted); }

            juce::FileInputStream stream;
        };
    } // namespace

    // Only Windows keeps a copy for its list of installed apps; the running file needs no holding here.
    void holdOwnExecutable() {}

    void* getOwnExecutable()
    {
        return nullptr;
    }

    juce::String readPluginVersion (const juce::File&)
    {
        return {};
    }

    std::unique_ptr<KeptCopySource> openKeptCopySource (const juce::File& source)
    {
        auto opened = std::make_unique<StreamSource> (source);

        if (! opened->stream.openedOk())
            return {};

        return opened;
    }
} // namespace InstalledEntry
