#include "engine/InstalledEntry.h"

namespace InstalledEntry
{
    juce::String update (const juce::File&, const std::array<juce::File, numFormats>&, const juce::String&, juce::String&)
    {
        // Only Windows keeps such an entry.
        return {};
    }
} // namespace InstalledEntry
