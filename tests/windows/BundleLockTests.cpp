// Windows only: the bundle lock, a named mutex, taken by two copies at once and squatted by a stranger.
#include "TestFolder.h"
#include "TreeSnapshot.h"
#include "engine/BundleInstaller.h"
#include "engine/DurableFiles.h"

#include <BinaryData.h>

#include <gtest/gtest.h>

#include <windows.h>

namespace
{
    juce::Result installVst3 (const juce::File& installFolder)
    {
        return installBundle (installFolder, "Morvane4.vst3", BinaryData::vst3_zip, (size_t) BinaryData::vst3_zipSize);
    }

    /** hold_lock.exe taking a bundle's lock in a process of its own, holding it while this lives. */
    class LockInAnotherProcess final
    {
    public:
        LockInAnotherProcess (const juce::File& folder, const juce::String& bundleName)
        {
            // The build machine's file system is drive Z: under Wine.
            if (process.start (juce::StringArray { juce::File ("Z:" TW_HOLD_LOCK_EXE).getFullPathName(), folder.getFullPathName(), bundleName }))
                for (char c; process.readProcessOutput (&c, 1) == 1 && c != '\n';)
                    said << c;

            said = said.trim();
        }

        ~LockInAnotherProcess()
        {
            process.kill();
            process.waitForProcessToFinish (30000);
        }

        juce::String said;

    private:
        juce::ChildProcess process;
    };

    class BundleLockTest : public testing::Test
    {
    protected:
        BundleLockTest() { EXPECT_TRUE (installVst3 (installFolder).wasOk()); }

        TestFolder folder;
        juce::File installFolder = folder / "VST3";
    };
} // namespace

TEST_F (BundleLockTest, twoCopiesAtOnceOneHoldsTheOtherIsBusyAndTouchesNothing)
{
    const auto before = snapshot (installFolder);

    {
        const LockInAnotherProcess first (installFolder, "Morvane4.vst3");
        ASSERT_EQ (first.said, "held");

        // The same folder by a path spelt otherwise is the same lock; another bundle has its own.
        EXPECT_EQ (LockInAnotherProcess (installFolder, "Morvane4.vst3").said, "busy");
        EXPECT_EQ (LockInAnotherProcess (folder / "vst3", "Morvane4.vst3").said, "busy");
        EXPECT_EQ (LockInAnotherProcess (installFolder, "Morvane4.clap").said, "held");

        EXPECT_EQ (installVst3 (installFolder).getErrorMessage(), "another installation is running");
        EXPECT_EQ (uninstallBundle (installFolder, "Morvane4.vst3").getErrorMessage(), "another installation is running");

        // No lock file either: the folder is as it was.
        EXPECT_TRUE (sameTree (snapshot (installFolder), before));
    }

    // Once the first copy has gone, even without letting go in order, the next one runs.
    EXPECT_TRUE (installVst3 (installFolder).wasOk());
}

TEST_F (BundleLockTest, aStrangerHoldingTheNameOnlyMakesTheRunBusy)
{
    const auto before = snapshot (installFolder);
    const auto name = DurableFiles::BundleLock::getMutexName (DurableFiles::Folder::open (installFolder), "Morvane4.vst3");
    ASSERT_TRUE (name.startsWith ("Global\\tw_installer-")) << name;

    // An object of another kind under the mutex's name.
    const auto squatter = CreateEventW (nullptr, TRUE, FALSE, name.toWideCharPointer());
    ASSERT_NE (squatter, nullptr);

    EXPECT_EQ (installVst3 (installFolder).getErrorMessage(), "another installation is running");
    EXPECT_TRUE (sameTree (snapshot (installFolder), before));

    CloseHandle (squatter);
    EXPECT_TRUE (installVst3 (installFolder).wasOk());
}
