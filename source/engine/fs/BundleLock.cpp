#include "engine/fs/BundleLock.h"

namespace DurableFiles
{
    BundleLock::BundleLock (const juce::File& installFolder, const juce::String& bundleName)
        : BundleLock (Folder::open (installFolder), bundleName)
    {
    }

    BundleLock::Outcome BundleLock::acquire (juce::RelativeTime wait)
    {
        const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax ((juce::int64) 0, wait.inMilliseconds());

        for (;;)
        {
            const auto outcome = tryOnce();

            if (outcome != Outcome::busy || juce::Time::getMillisecondCounter() >= deadline)
                return outcome;

            juce::Thread::sleep (20);
        }
    }
} // namespace DurableFiles
