#include "session/InstallSession.h"

#include "engine/InstalledEntry.h"
#include "engine/OtherCopies.h"

namespace
{
    constexpr auto lookInterval = std::chrono::seconds (1);

    bool sameStatus (const FormatStatus& a, const FormatStatus& b)
    {
        return a.state == b.state && a.installedVersion == b.installedVersion && a.statusText == b.statusText;
    }
} // namespace

bool FormatsSnapshot::isPresent (int formatIndex) const
{
    return juce::isPositiveAndBelow (formatIndex, numFormats)
        && statuses[(size_t) formatIndex].state != InstallState::NotInstalled;
}

bool FormatsSnapshot::operator== (const FormatsSnapshot& other) const
{
    return std::equal (statuses.begin(), statuses.end(), other.statuses.begin(), sameStatus);
}

//==============================================================================
InstallSession::InstallSession (const SystemLocations& whereToWork, Start start)
    : locations (whereToWork)
    , setup (start == Start::full ? startInstaller (locations) : readInstallerSetup (locations))
    , snapshot (look())
{
    looker = std::thread ([this] { keepLooking(); });
}

InstallSession::~InstallSession()
{
    setListener (nullptr);
    cancel();

    if (worker.joinable())
        worker.join();

    {
        const std::lock_guard<std::mutex> lock (mutex);
        stopping = true;
    }

    lookerWakes.notify_all();
    looker.join();
}

void InstallSession::setListener (Listener* newListener)
{
    const std::lock_guard<std::mutex> lock (listenerMutex);
    listener = newListener;
}

void InstallSession::tell (void (Listener::*change)())
{
    // Held while the listener is told, so that one taken away is never told afterwards.
    const std::lock_guard<std::mutex> lock (listenerMutex);

    if (listener != nullptr)
        (listener->*change)();
}

//==============================================================================
FormatsSnapshot InstallSession::look() const
{
    FormatsSnapshot taken;

    for (int i = 0; i < numFormats; ++i)
        taken.statuses[(size_t) i] = detectFormatStatus (setup.installFolders[(size_t) i], setup.productName, setup.productVersion, i);

    return taken;
}

FormatsSnapshot InstallSession::getSnapshot() const
{
    const std::lock_guard<std::mutex> lock (mutex);
    return snapshot;
}

std::array<bool, numFormats> InstallSession::getPresentFormats() const
{
    const auto latest = getSnapshot();
    std::array<bool, numFormats> present {};

    for (int i = 0; i < numFormats; ++i)
        present[(size_t) i] = latest.isPresent (i);

    return present;
}

void InstallSession::keep (const FormatsSnapshot& taken)
{
    {
        const std::lock_guard<std::mutex> lock (mutex);

        if (taken == snapshot)
            return;

        snapshot = taken;
    }

    tell (&Listener::snapshotChanged);
}

void InstallSession::lookSoon()
{
    {
        const std::lock_guard<std::mutex> lock (mutex);
        lookRequested = true;
    }

    lookerWakes.notify_all();
}

void InstallSession::setLookingEverySecond (bool shouldLook)
{
    {
        const std::lock_guard<std::mutex> lock (mutex);
        lookingEverySecond = shouldLook;
    }

    lookerWakes.notify_all();
}

void InstallSession::keepLooking()
{
    std::unique_lock<std::mutex> lock (mutex);

    for (;;)
    {
        const auto woken = [this] { return stopping || lookRequested; };

        if (lookingEverySecond)
            lookerWakes.wait_for (lock, lookInterval, woken);
        else
            lookerWakes.wait (lock, [this, woken] { return woken() || lookingEverySecond; });

        if (stopping)
            return;

        // A run's worker looks when it is done; until then the disk is the run's.
        lookRequested = false;

        if (running)
            continue;

        lock.unlock();
        keep (look());
        lock.lock();
    }
}

//==============================================================================
bool InstallSession::start (const std::array<bool, numFormats>& formats, bool uninstall)
{
    if (worker.joinable())
        return false;

    {
        const std::lock_guard<std::mutex> lock (mutex);
        running = true;
    }

    formatsInRun = formats;
    progress = std::make_unique<RunProgress>();

    // The worker reads only what stays fixed during the run, and writes the progress atomics and
    // its outcome, which is read after it was joined.
    worker = std::thread ([this, formats, uninstall, runProgress = progress.get()]
                          {
                              finished = {};
                              finished.report = ::runFormats (formats, uninstall, setup.installFolders, setup.productName,
                                                               getCarriedArchives(), runProgress);
                              ::findOtherCopies (finished.report, setup.productName, getHostFolders());

                              // The entry in Installed apps follows what is now on the disk; when it
                              // cannot, the run stands all the same.
                              finished.entryNotice = InstalledEntry::update (locations.keptCopyFolder, setup.installFolders,
                                                                             setup.productName, finished.unprovenRemark);
                              finished.snapshot = look();

                              {
                                  const std::lock_guard<std::mutex> lock (mutex);
                                  running = false;
                                  snapshot = finished.snapshot;
                              }

                              tell (&Listener::runEnded);
                          });
    return true;
}

SessionOutcome InstallSession::run (const std::array<bool, numFormats>& formats, bool uninstall)
{
    start (formats, uninstall);
    return takeOutcome();
}

SessionOutcome InstallSession::takeOutcome()
{
    if (! worker.joinable())
        return {};

    worker.join();
    return std::move (finished);
}

bool InstallSession::isRunDone() const
{
    const std::lock_guard<std::mutex> lock (mutex);
    return worker.joinable() && ! running;
}

bool InstallSession::isInRun (int formatIndex) const
{
    return progress != nullptr && juce::isPositiveAndBelow (formatIndex, numFormats) && formatsInRun[(size_t) formatIndex];
}

void InstallSession::cancel()
{
    if (worker.joinable() && progress != nullptr)
        progress->cancelRequested = true;
}

bool InstallSession::isCancelled() const
{
    return progress != nullptr && progress->cancelRequested;
}

juce::Array<OtherCopy> InstallSession::findOtherCopies (int formatIndex) const
{
    const auto& folder = setup.installFolders[(size_t) formatIndex];
    return ::findOtherCopies (formatIndex, getBundlePath (folder, setup.productName, formatIndex), setup.productName,
                              getHostFolders()[(size_t) formatIndex]);
}

const HostFolders& InstallSession::getHostFolders() const
{
    // Found once, by the first run or check that needs them, never by a start that does not.
    std::call_once (hostFoldersFound, [this] { hostFolders = locations.findsHostFolders ? findHostFolders() : locations.hostFolders; });
    return hostFolders;
}
