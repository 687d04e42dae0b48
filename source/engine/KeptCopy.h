// The copy of the installer kept for Installed apps: its own file held from the start, written whole
// under a fresh name, and removed once no format is left.
#pragma once

#include <juce_core/juce_core.h>

#include <memory>

namespace InstalledEntry
{
    /** Holds the program's own file open from the start, so that no one can rename it and put
        another program at its name before the kept copy is made from it (Windows; nothing
        elsewhere). A file at that name whose headers are not the running program's is not held,
        and then no copy is kept; in a release, the held file is kept only once KeptCopyProof
        proves it. */
    void holdOwnExecutable();

    /** Whether this installer's copy replaces a kept one that carries the given versions: when
        the kept one's plug-in version is older, or equal with an installer version older or
        equal. Unreadable versions count as older. Versions are "a.b.c.d", shorter ones padded. */
    bool replacesKeptCopy (const juce::String& keptPluginVersion, const juce::String& keptInstallerVersion,
                           const juce::String& ownPluginVersion, const juce::String& ownInstallerVersion);

    /** Writes a copy of `source` into `folder` (made with its parents when missing) under a name no
        copy had before, whole or not at all: staged under a hidden name, flushed, then renamed.
        Returns the copy, or juce::File() when it could not be written (nothing is left then). On
        Windows the running program is copied only from the file held by holdOwnExecutable. */
    juce::File writeKeptCopy (const juce::File& source, const juce::File& folder);

    /** Whether `file` is a kept copy of the installer, or a leftover of writing one, by its name. */
    bool isKeptCopyName (const juce::String& fileName);

    /** Removes every kept copy and leftover in `folder` but `keep`; what resists (the running
        copy) is left to the next restart. Without anything to keep, the folder goes as well,
        now or, when something in it resists, after it at the restart. */
    void removeKeptCopies (const juce::File& folder, const juce::File& keep);

    /** The program's own file as holdOwnExecutable holds it (a Windows HANDLE), or nothing. */
    void* getOwnExecutable();

    /** The plug-in version in a kept copy's version block ("PluginVersion"), or "" (and on every
        system but Windows). */
    juce::String readPluginVersion (const juce::File& exe);

    /** A file a kept copy is written from, read from its start piece by piece. */
    struct KeptCopySource
    {
        virtual ~KeptCopySource() = default;

        /** The bytes read, 0 at the end, -1 on failure. */
        virtual int read (char* into, int wanted) = 0;

        juce::int64 size = 0;
    };

    /** Opens `source` to be copied; on Windows the running program only through the file held
        since the start, never whatever now has its name. nullptr when it cannot be read. */
    std::unique_ptr<KeptCopySource> openKeptCopySource (const juce::File& source);
} // namespace InstalledEntry
