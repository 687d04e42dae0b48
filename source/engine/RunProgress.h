// How far a run has come, written by the workers that do it and read by whoever shows it.
#pragma once

#include "engine/Catalogue.h"

#include <atomic>

/** The piece of its work a format is at. */
enum class RunPhase
{
    waiting,   // not started yet
    unpacking, // the archive into the staging folder
    writing,   // flushing the staged bundle to the disk
    checking,  // the staged bundle against the archive
    removing,  // an uninstall's removal
    done
};

/** One format's progress. Every field is an atomic that any thread may read while the run works. */
struct FormatProgress
{
    std::atomic<RunPhase> phase { RunPhase::waiting };
    std::atomic<juce::int64> bytesWritten { 0 };
    std::atomic<juce::int64> totalBytes { 0 }; // the bundle's unpacked size, once known

    /** When set, the work stops at its next piece and leaves the bundle as it was; a bundle already
        swapped stays new. */
    const std::atomic<bool>* cancelled = nullptr;

    /** Hands the archive's pages back as they are inflated: only for archives mapped read-only
        from a file (see MappedPages.h). Set before the work starts. */
    bool releaseReadPages = false;

    bool isCancelled() const { return cancelled != nullptr && cancelled->load(); }
};

/** A whole run's progress, with the one cancel flag that all of its formats follow. */
struct RunProgress
{
    RunProgress()
    {
        for (auto& format : formats)
            format.cancelled = &cancelRequested;
    }

    std::array<FormatProgress, numFormats> formats;
    std::atomic<bool> cancelRequested { false };

    JUCE_DECLARE_NON_COPYABLE (RunProgress)
};
