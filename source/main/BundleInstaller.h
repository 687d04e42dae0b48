// Puts a plug-in bundle from its ZIP archive into an install folder, or removes it, whole or not at all.
#pragma once

#include <juce_core/juce_core.h>

/** The short reasons a format can fail for, as shown to the user after "not installed: ". */
namespace FailureReason
{
    constexpr const char* diskFull = "disk full";
    constexpr const char* fileInUse = "a file is in use";
    constexpr const char* noPermission = "no permission";
    constexpr const char* readOnlyDisk = "the disk is read-only";
    constexpr const char* fileNotMoved = "a file cannot be moved";
    constexpr const char* folderNotCreated = "the folder cannot be created";
    constexpr const char* fileNotWritten = "a file cannot be written";
    constexpr const char* archiveDamaged = "the archive is damaged";
} // namespace FailureReason

/**
    Installs the bundle `bundleName` carried in a ZIP archive into `installFolder`, which is
    created (with its parents) when missing.

    The archive must hold exactly that bundle: either a single file of that name, or entries that
    all lie below a folder of that name. It is unpacked into a fresh staging folder beside the
    bundle, and every file is checked against the size and CRC-32 of the archive's central
    directory. Only then is the old bundle moved aside, the new one moved into its place and the
    old one deleted. Any failure leaves the old bundle exactly as it was and removes the staging
    folder. Nothing outside the bundle path and the staging folder is touched.

    Returns ok, or a failure whose message is one of the FailureReason texts.
*/
juce::Result installBundle (const juce::File& installFolder, const juce::String& bundleName,
                            const void* archiveData, size_t archiveSize);

/** Removes the bundle `bundleName` from `installFolder` wholly, or leaves it whole: it is moved
    aside first (which fails while a file inside is in use on Windows) and only then deleted.
    A missing bundle is no failure. */
juce::Result uninstallBundle (const juce::File& installFolder, const juce::String& bundleName);
