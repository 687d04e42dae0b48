#include "engine/KeptCopyProof.h"

// Only Windows keeps a copy of the installer for its list of installed apps.
namespace KeptCopyProof
{
    namespace
    {
        const juce::String noKeptCopies ("this system keeps no copy of the installer");
    }

    juce::String check (const juce::MemoryBlock&)
    {
        return noKeptCopies;
    }

    juce::String checkHeld (void*)
    {
        return noKeptCopies;
    }

    juce::String checkFile (const juce::File&)
    {
        return noKeptCopies;
    }
} // namespace KeptCopyProof
