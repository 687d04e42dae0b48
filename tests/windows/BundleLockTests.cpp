// Windows only: the bundle lock, a file in a folder only administrators may enter, taken by two copies at once.
#include "TestFolder.h"
#include "TreeSnapshot.h"
#include "engine/BundleInstaller.h"
#include "engine/DurableFiles.h"
#include "engine/WindowsApi.h"

#include <BinaryData.h>

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

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

TEST_F (BundleLockTest, livesInAFolderWhoseAccessListIsSystemAndAdministratorsAlone)
{
    const DurableFiles::BundleLock lock (installFolder, "Morvane4.vst3");
    const auto lockFolder = DurableFiles::BundleLock::getLockFolder();
    ASSERT_TRUE (lockFolder.isDirectory()) << lockFolder.getFullPathName();

    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL list = nullptr;
    ASSERT_EQ (GetNamedSecurityInfoW (lockFolder.getFullPathName().toWideCharPointer(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, &list, nullptr, &descriptor), (DWORD) ERROR_SUCCESS);
    // Each entry allows, and names SYSTEM, Administrators, or (under Wine, which makes the list up
    // from the Unix mode bits) the one account Wine runs everything as; never Everyone or Users.
    juce::StringArray accounts;

    for (DWORD i = 0; list != nullptr && i < list->AceCount; ++i)
    {
        void* entry = nullptr;
        ASSERT_TRUE (GetAce (list, i, &entry));
        EXPECT_EQ (static_cast<ACE_HEADER*> (entry)->AceType, ACCESS_ALLOWED_ACE_TYPE);
        auto* sid = reinterpret_cast<PSID> (&static_cast<ACCESS_ALLOWED_ACE*> (entry)->SidStart);
        LPWSTR text = nullptr;
        ConvertSidToStringSidW (sid, &text);
        accounts.addIfNotAlreadyThere (IsWellKnownSid (sid, WinLocalSystemSid) ? "SYSTEM"
                                       : IsWellKnownSid (sid, WinBuiltinAdministratorsSid) ? "Administrators"
                                       : juce::String (text));
        LocalFree (text);
    }

    EXPECT_FALSE (accounts.contains ("S-1-1-0") || accounts.contains ("S-1-5-32-545") || accounts.contains ("S-1-5-11"))
        << accounts.joinIntoString (",");

    if (! isRunningUnderWine())
    {
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ASSERT_TRUE (GetSecurityDescriptorControl (descriptor, &control, &revision));
        EXPECT_NE (control & SE_DACL_PROTECTED, 0) << "inherits from Program Files";
        accounts.sort (false);
        EXPECT_EQ (accounts.joinIntoString (","), "Administrators,SYSTEM");
    }

    LocalFree (descriptor);
}
