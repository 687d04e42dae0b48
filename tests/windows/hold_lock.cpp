// Takes a bundle's lock as a second copy of the installer would, and holds it until it is ended.
// Prints "held", or "busy" when another copy holds it, and waits to be ended either way.
//
//   hold_lock.exe FOLDER BUNDLE_NAME
#include "engine/DurableFiles.h"

#include <cstdio>

#include <windows.h>

int wmain (int argc, wchar_t** argv)
{
    if (argc != 3)
    {
        std::fprintf (stderr, "usage: hold_lock.exe FOLDER BUNDLE_NAME\n");
        return 2;
    }

    const juce::File folder { juce::String (argv[1]) };
    DurableFiles::BundleLock lock (folder, juce::String (argv[2]));
    const auto outcome = lock.acquire (juce::RelativeTime());

    std::printf ("%s\n", outcome == DurableFiles::BundleLock::Outcome::acquired ? "held"
                         : outcome == DurableFiles::BundleLock::Outcome::busy   ? "busy"
                                                                                : "cannot");
    std::fflush (stdout);

    // Alive until ended, whatever it printed: a reader under Wine can lose what a process that
    // has already ended wrote to its pipe.
    Sleep (INFINITE);
    return 0;
}
