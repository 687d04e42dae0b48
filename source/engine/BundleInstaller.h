// Puts a plug-in bundle from its ZIP archive into an install folder, or removes it, whole or not at all.
#pragma once

#include "engine/Catalogue.h"
#include "engine/FailureReason.h"
#include "engine/Leftovers.h"
#include "engine/RunProgress.h"

#include <juce_core/juce_core.h>

/**
    Installs the bundle `bundleName` carried in a ZIP archive into `installFolder`, which is
    created (with its parents) when missing.

    The archive must hold exactly that bundle: either a single file of that name, or entries that
    all lie below a folder of that name. Its total size is checked against the free space before
    anything is written. It is unpacked into a fresh staging folder beside the bundle, every file
    checked against the size and CRC-32 of the archive's central directory and flushed to the
    disk; the staged bundle must then hold exactly the archive's entries. Only then is the old
    bundle renamed aside, the new one renamed into its place, the folder flushed, and the old one
    deleted. Any failure leaves the old bundle exactly as it was and removes the staging folder.
    Nothing outside the bundle path and the installer's own hidden names beside it is touched.

    One copy of the installer at a time works on a bundle: a second one waits a few seconds for
    the first and then fails with FailureReason::anotherRunning.

    With `progress`, the phase and the bytes written are reported there as the work goes, and its
    cancel flag stops the work at the next piece before the swap (FailureReason::cancelled), the
    old bundle left as it was.

    Returns ok, or a failure whose message is one of the FailureReason texts. When given,
    `removedAtRestart` receives what the run left for Windows to remove at the next restart (a
    file in use by another program, and the folders holding it).
*/
juce::Result installBundle (const juce::File& installFolder, const juce::String& bundleName,
                            const void* archiveData, size_t archiveSize,
                            juce::Array<juce::File>* removedAtRestart = nullptr, FormatProgress* progress = nullptr);

/** Removes the bundle `bundleName` from `installFolder` wholly, or leaves it whole: it is moved
    aside first (which fails while a file inside is in use on Windows) and only then deleted.
    A missing bundle is no failure. `removedAtRestart` as for installBundle; with `progress`, a
    cancel before the bundle is moved leaves it. */
juce::Result uninstallBundle (const juce::File& installFolder, const juce::String& bundleName,
                              juce::Array<juce::File>* removedAtRestart = nullptr, FormatProgress* progress = nullptr);
