// One session of the installer: its start-up, what the disk shows of the three formats, and a run
// of them on worker threads with its progress, its cancel, its report and the entry in Installed
// apps that follows it. The window and the command line both drive it.
#pragma once

#include "engine/InstallDetection.h"
#include "engine/InstallRun.h"

#include <condition_variable>
#include <mutex>
#include <thread>

/** What the format rows show, worked out from the disk at one moment. */
struct FormatsSnapshot
{
    std::array<FormatStatus, numFormats> statuses;

    /** Whether a format has a bundle in its folder: only a missing one reads NOT INSTALLED. */
    bool isPresent (int formatIndex) const;

    bool operator== (const FormatsSnapshot&) const;
    bool operator!= (const FormatsSnapshot& other) const { return ! operator== (other); }
};

/** What a finished run leaves: its report and what the entry in Installed apps made of it. */
struct SessionOutcome
{
    RunReport report;
    juce::String entryNotice;    // why the entry in Installed apps does not follow the disk; usually empty
    juce::String unprovenRemark; // a test build's: its kept copy is not proven to be a release
    FormatsSnapshot snapshot;    // the disk as the run left it
};

/**
    The installer's state between its start and its end, for whichever face shows it.

    It is made with the start-up every copy does (the settings file, the repair of interrupted
    runs) and the first look at the disk. Afterwards the disk is read only on threads of its own:
    a run's worker, and a looker that takes a fresh snapshot when asked (requests that come
    together are answered once) and, while asked to, every second. A face reads the latest snapshot
    without waiting on the disk.
*/
class InstallSession final
{
public:
    /** How much the start may change: a full start writes a missing settings file and repairs
        interrupted runs; a reading start changes nothing. */
    enum class Start { full, readOnly };

    /** Told what changed; called on the session's threads, never the caller's. */
    struct Listener
    {
        virtual ~Listener() = default;

        /** getSnapshot() has something new. */
        virtual void snapshotChanged() = 0;

        /** The run ended: takeOutcome() returns at once. */
        virtual void runEnded() = 0;
    };

    InstallSession (const SystemLocations& locations, Start start = Start::full);

    /** Stops a working run at its next piece and waits for every thread. */
    ~InstallSession();

    //==============================================================================
    const InstallerSetup& getSetup() const { return setup; }
    const SystemLocations& getLocations() const { return locations; }

    /** Has `listener` (or nobody, with nullptr) told of changes from now on. */
    void setListener (Listener* listener);

    //==============================================================================
    /** The latest snapshot; reads no file. */
    FormatsSnapshot getSnapshot() const;

    /** Which formats have a bundle in their folder, by the latest snapshot. */
    std::array<bool, numFormats> getPresentFormats() const;

    /** Has the looker take a fresh snapshot soon; requests before it starts are one. */
    void lookSoon();

    /** While on, the looker also takes a snapshot every second. */
    void setLookingEverySecond (bool shouldLook);

    //==============================================================================
    /** Starts installing (or removing) every format whose entry is true on worker threads and
        returns at once; the listener hears when it ends. False, and nothing started, while a run
        works. */
    bool start (const std::array<bool, numFormats>& formats, bool uninstall);

    /** Runs the formats as start() does and returns once they are done, with the outcome. */
    SessionOutcome run (const std::array<bool, numFormats>& formats, bool uninstall);

    /** Whether a run was started and its outcome not yet taken. */
    bool isWorking() const { return worker.joinable(); }

    /** Whether the working run has finished, so that takeOutcome() returns at once. */
    bool isRunDone() const;

    /** Whether the working run (or the last one) works on a format. */
    bool isInRun (int formatIndex) const;

    /** Stops every format of the working run at its next piece; each then stays as it was,
        unless it was already swapped. */
    void cancel();

    /** Whether cancel() was asked since the run started. */
    bool isCancelled() const;

    /** How far each format of the working run is; null before the first run. */
    RunProgress* getProgress() const { return progress.get(); }

    /** Waits for the working run and hands over its outcome (an empty one when none worked). */
    SessionOutcome takeOutcome();

    //==============================================================================
    /** The other copies of a format a host may find before this one's bundle. */
    juce::Array<OtherCopy> findOtherCopies (int formatIndex) const;

private:
    FormatsSnapshot look() const;
    const HostFolders& getHostFolders() const;
    void keepLooking();
    void keep (const FormatsSnapshot& taken);
    void tell (void (Listener::*change)());

    const SystemLocations locations;
    const InstallerSetup setup;

    std::mutex listenerMutex;
    Listener* listener = nullptr;

    mutable std::mutex mutex; // guards what the threads share: the snapshot and the looker's requests
    FormatsSnapshot snapshot;
    bool running = false;
    bool lookRequested = false;
    bool lookingEverySecond = false;
    bool stopping = false;
    std::condition_variable lookerWakes;

    std::thread worker;
    std::array<bool, numFormats> formatsInRun {};
    std::unique_ptr<RunProgress> progress;
    SessionOutcome finished; // written by the worker, read after it was joined

    std::thread looker;

    mutable std::once_flag hostFoldersFound;
    mutable HostFolders hostFolders;

    JUCE_DECLARE_NON_COPYABLE (InstallSession)
};
