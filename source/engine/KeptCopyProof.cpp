#include "engine/KeptCopyProof.h"

// What a release and a build without a publisher do with the proof; the proof itself is per system.
namespace KeptCopyProof
{
    namespace
    {
        bool isRelease()
        {
            return getPublisherSha256().isNotEmpty();
        }
    } // namespace

    juce::String checkOwnCopy (void* heldFile)
    {
        return isRelease() ? checkHeld (heldFile) : juce::String();
    }

    bool mustReplace (const juce::File& keptCopy)
    {
        return isRelease() && keptCopy != juce::File() && checkFile (keptCopy).isNotEmpty();
    }

    juce::String describeKeptCopy (const juce::File& folder)
    {
        if (isRelease())
            return {};

        return "The installer's copy kept in " + folder.getFullPathName() + " is unproven: " + check ({});
    }
} // namespace KeptCopyProof
