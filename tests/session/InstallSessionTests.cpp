#include "TestFolder.h"
#include "session/InstallSession.h"

#include <gtest/gtest.h>

namespace
{
    SystemLocations makeLocations (const TestFolder& folder)
    {
        SystemLocations locations;
        locations.defaultInstallFolders = { folder / "VST3", folder / "CLAP", folder / "AAX" };
        locations.commonApplicationData = folder / "ProgramData";
        locations.temporaryFolder = folder / "Temp";
        return locations;
    }

    /** Counts what the session tells, from its threads. */
    struct Counter final : InstallSession::Listener
    {
        void snapshotChanged() override { tell (snapshots); }
        void runEnded() override { tell (runs); }

        void tell (int& count)
        {
            const std::lock_guard<std::mutex> lock (mutex);
            ++count;
            changed.notify_all();
        }

        bool waitFor (const int& count, int atLeast)
        {
            std::unique_lock<std::mutex> lock (mutex);
            return changed.wait_for (lock, std::chrono::seconds (30), [&] { return count >= atLeast; });
        }

        std::mutex mutex;
        std::condition_variable changed;
        int snapshots = 0, runs = 0;
    };
} // namespace

TEST (InstallSession, looksWhenAskedAndEverySecondAndTellsOnlyItsListener)
{
    TestFolder folder;
    InstallSession session (makeLocations (folder));
    Counter counter;
    session.setListener (&counter);
    ASSERT_FALSE (session.getSnapshot().isPresent (1));

    // Asked: the file is seen and told once.
    ASSERT_TRUE ((folder / "CLAP/Morvane4.clap").create().wasOk());
    session.lookSoon();
    ASSERT_TRUE (counter.waitFor (counter.snapshots, 1));
    EXPECT_TRUE (session.getSnapshot().isPresent (1));

    // Unasked, while looking every second.
    session.setLookingEverySecond (true);
    ASSERT_TRUE ((folder / "CLAP/Morvane4.clap").deleteFile());
    ASSERT_TRUE (counter.waitFor (counter.snapshots, 2));
    EXPECT_FALSE (session.getSnapshot().isPresent (1));

    // A listener taken away hears nothing more, although the snapshot follows the disk.
    session.setListener (nullptr);
    ASSERT_TRUE ((folder / "AAX/Morvane4.aaxplugin").createDirectory().wasOk());

    for (int i = 0; i < 3000 && ! session.getSnapshot().isPresent (2); ++i)
        juce::Thread::sleep (10);

    EXPECT_TRUE (session.getSnapshot().isPresent (2));
    EXPECT_EQ (counter.snapshots, 2);
}

TEST (InstallSession, runsOnAWorkerOneRunAtATimeAndKeepsTheDiskAsTheRunLeftIt)
{
    TestFolder folder;
    InstallSession session (makeLocations (folder));
    Counter counter;
    session.setListener (&counter);

    ASSERT_TRUE (session.start ({ true, false, true }, false));
    EXPECT_FALSE (session.start ({ false, true, false }, false)) << "a second run while the first works";
    EXPECT_TRUE (session.isInRun (2));
    EXPECT_FALSE (session.isInRun (1));
    ASSERT_TRUE (counter.waitFor (counter.runs, 1));
    EXPECT_TRUE (session.isRunDone());

    const auto outcome = session.takeOutcome();
    EXPECT_FALSE (session.isWorking());
    EXPECT_TRUE (outcome.report.allSucceeded());
    EXPECT_EQ (outcome.report.outcomes.size(), 2);
    EXPECT_TRUE (outcome.snapshot.isPresent (0) && outcome.snapshot.isPresent (2) && ! outcome.snapshot.isPresent (1));
    EXPECT_TRUE (session.getSnapshot() == outcome.snapshot);

    // The command line's way: the same run, waited for.
    const auto removed = session.run ({ true, true, true }, true);
    EXPECT_TRUE (removed.report.allSucceeded());
    EXPECT_FALSE (session.getSnapshot().isPresent (0));
    EXPECT_EQ (counter.runs, 2);
}
