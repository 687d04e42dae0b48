// Whether a file may be kept as the installer's copy in Program Files: the released program, proven
// by its Authenticode signature and its publisher's certificate.
#pragma once

#include <juce_core/juce_core.h>

/**
    The kept copy is started as administrator by Installed apps and as SYSTEM by deployment tools, so
    it must be the program the administrator trusted, not whatever a user put at its name while it
    started. A release names its publisher (scripts/release --sign, the configure value
    TW_PUBLISHER_SHA256); a build without one is for testing, and its copies are unproven.
*/
namespace KeptCopyProof
{
    /** The SHA-256 of the publisher's signing certificate (64 lower-case hex digits) that this
        program was built with, or "" in a build without a publisher. */
    juce::String getPublisherSha256();

    /** Why the image in `bytes` is not proven, or "" when it is: it carries one Authenticode
        signature that verifies, whose digest is that of these bytes, whose signer's certificate is
        the publisher's, and its version block is the running program's. Always a reason in a build
        without a publisher, and on systems that keep no copy. */
    juce::String check (const juce::MemoryBlock& bytes);

    /** The same for the whole file read through `fileHandle` (a Windows HANDLE, read from its start;
        the caller keeps it open). */
    juce::String checkHeld (void* fileHandle);

    /** The same for the file at `file`, opened without sharing writes and read once. */
    juce::String checkFile (const juce::File& file);

    //==============================================================================
    /** Why the running program, held open as `heldFile`, may not keep a copy of itself: checkHeld
        in a release, and "" in a build without a publisher (which keeps its copy unproven). */
    juce::String checkOwnCopy (void* heldFile);

    /** Whether `keptCopy` is to be replaced whatever its versions: in a release, when it is not proven. */
    bool mustReplace (const juce::File& keptCopy);

    /** The line a build without a publisher says after keeping its copy in `folder`; "" in a release. */
    juce::String describeKeptCopy (const juce::File& folder);
} // namespace KeptCopyProof
