// Windows only: a plug-in file that another process holds (loaded as a module, or open) while its
// format is updated and then uninstalled.
#include "TestFolder.h"
#include "TreeSnapshot.h"
#include "engine/BundleInstaller.h"
#include "engine/Catalogue.h"
#include "engine/FileHolders.h"
#include "engine/SafeRemoval.h"
#include "engine/WindowsApi.h"

#include <BinaryData.h>

#include <gtest/gtest.h>

#include <iostream>

#include <windows.h>

namespace
{
    juce::Result installCarried (const juce::File& installFolder, int format, juce::Array<juce::File>* removedAtRestart = nullptr)
    {
        const char* const archives[] = { BinaryData::vst3_zip, BinaryData::clap_zip, BinaryData::aax_zip };
        const int sizes[] = { BinaryData::vst3_zipSize, BinaryData::clap_zipSize, BinaryData::aax_zipSize };
        return installBundle (installFolder, getBundleName (Product::name, format), archives[format], (size_t) sizes[format], removedAtRestart);
    }

    /** hold_file.exe holding a file from another process for as long as this lives. */
    class HeldFile final
    {
    public:
        HeldFile (const juce::String& how, const juce::File& file)
        {
            // The build machine's file system is drive Z: under Wine.
            if (process.start (juce::StringArray { juce::File ("Z:" TW_HOLD_FILE_EXE).getFullPathName(), how, file.getFullPathName() }))
                for (char c; process.readProcessOutput (&c, 1) == 1 && c != '\n';)
                    said << c;
        }

        ~HeldFile()
        {
            process.kill();
            process.waitForProcessToFinish (30000);
        }

        bool isHolding() const { return said.trim() == "held"; }

        juce::String said;

    private:
        juce::ChildProcess process;
    };

    /** The paths Windows removes at the next restart (pairs of source and empty target). */
    juce::StringArray pendingRemovals()
    {
        juce::StringArray paths;
        DWORD size = 0;
        const auto* key = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
        const auto* value = L"PendingFileRenameOperations";

        if (RegGetValueW (HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS)
            return paths;

        juce::HeapBlock<wchar_t> text (size / sizeof (wchar_t) + 2, true);

        if (RegGetValueW (HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_MULTI_SZ, nullptr, text.get(), &size) != ERROR_SUCCESS)
            return paths;

        for (const auto* entry = text.get(); *entry != 0;)
        {
            const juce::String source (entry);
            entry += source.length() + 1;
            const juce::String target (entry);
            entry += target.length() + 1;

            if (target.isEmpty())
                paths.add (source.fromFirstOccurrenceOf ("\\??\\", false, false));
        }

        return paths;
    }
} // namespace

//==============================================================================
struct Holding
{
    int format;
    const char* how;
};

class FileInUseTest : public testing::TestWithParam<Holding>
{
protected:
    TestFolder folder;
    juce::File installFolder = folder / "Plug-Ins";
};

// Either the format fails with "a file is in use" and the folder stays byte for byte, or it goes
// through and nothing but the held file (and the folders holding it) stays beside the bundle,
// under a hidden name. Those are scheduled for removal at the next restart only where no one but
// administrators can change the folders on their path (SYSTEM removes them by path at boot);
// elsewhere the next run removes them once they are no longer held.
TEST_P (FileInUseTest, updateThenUninstallFailInUseOrLeaveOnlyTheHeldFileForTheRestartOrTheNextRun)
{
    const auto [format, how] = GetParam();
    const auto bundleName = getBundleName (Product::name, format).toStdString();
    ASSERT_TRUE (installCarried (installFolder, format).wasOk());
    const auto installed = snapshot (installFolder);
    const auto scheduled = onlyAdministratorsCanChange (installFolder);
    std::cout << "[ recorded ] only administrators can change " << installFolder.getFullPathName() << ": "
              << (scheduled ? "yes" : "no") << std::endl;

    {
        const HeldFile held (how, getModulePath (getBundlePath (installFolder, Product::name, format), Product::name, format));
        ASSERT_TRUE (held.isHolding()) << held.said;

        for (const auto uninstall : { false, true })
        {
            SCOPED_TRACE (uninstall ? "uninstall" : "update");
            const auto before = snapshot (installFolder);

            juce::Array<juce::File> removedAtRestart;
            const auto result = uninstall ? uninstallBundle (installFolder, bundleName, &removedAtRestart)
                                          : installCarried (installFolder, format, &removedAtRestart);

            const auto after = snapshot (installFolder);
            std::cout << "[ recorded ] " << formatNames[format] << " held by " << how << ", " << (uninstall ? "uninstall: " : "update: ")
                      << (result.wasOk() ? juce::String ("ok") : result.getErrorMessage()) << ", entries in the folder "
                      << before.size() << " -> " << after.size() << std::endl;

            if (result.failed())
            {
                EXPECT_EQ (result.getErrorMessage(), "a file is in use");
                EXPECT_TRUE (sameTree (after, before));
                EXPECT_TRUE (removedAtRestart.isEmpty());
                continue;
            }

            const auto pending = pendingRemovals();
            Tree bundle;

            for (const auto& [path, bytes] : after)
            {
                if (! uninstall && (path == bundleName || path.rfind (bundleName + "/", 0) == 0))
                    bundle[path] = bytes;
                else
                {
                    // Left for the restart where only administrators can change the folder, and then
                    // reported as such; elsewhere hidden for the next run.
                    const auto left = installFolder.getChildFile (path);
                    EXPECT_EQ (pending.contains (left.getFullPathName(), true), scheduled) << path;
                    EXPECT_EQ (removedAtRestart.contains (left), scheduled) << path;
                }

                EXPECT_TRUE (path.rfind (bundleName, 0) == 0 || path.rfind ("." + bundleName + ".", 0) == 0) << "not hidden: " << path;
            }

            for (const auto& left : removedAtRestart)
                EXPECT_TRUE (left.exists() && pending.contains (left.getFullPathName(), true)) << left.getFullPathName();

            EXPECT_TRUE (sameTree (bundle, uninstall ? Tree() : installed));
        }
    }

    // Let go: the next start removes what was left, and only that.
    const auto bundleLeft = getBundlePath (installFolder, Product::name, format).exists();
    repairInterruptedRun (installFolder, bundleName);

    for (const auto& [path, bytes] : snapshot (installFolder))
        EXPECT_TRUE (bundleLeft && (path == bundleName || path.rfind (bundleName + "/", 0) == 0)) << "left after the next run: " << path;
}

INSTANTIATE_TEST_SUITE_P (HeldFiles, FileInUseTest,
                          testing::Values (Holding { 0, "load" }, Holding { 0, "open" }, Holding { 1, "load" }, Holding { 1, "open" }),
                          [] (const testing::TestParamInfo<Holding>& param)
                          { return formatNames[param.param.format].toStdString() + "_" + param.param.how; });

// Windows gives "access denied" for a folder that holds an open file as for a missing permission.
TEST (AccessDenied, isAFileInUseOnlyWhileAFileBelowIsHeld)
{
    const TestFolder folder;
    const auto bundle = folder / "Morvane4.vst3";
    const auto module = bundle.getChildFile ("Contents/x86_64-win/Morvane4.vst3");
    ASSERT_TRUE (module.getParentDirectory().createDirectory().wasOk());
    ASSERT_TRUE (module.replaceWithText ("a module"));

    EXPECT_STREQ (reasonForFailureOn (bundle, ERROR_ACCESS_DENIED, "otherwise"), "no permission");

    const HeldFile held ("open", module);
    ASSERT_TRUE (held.isHolding()) << held.said;

    EXPECT_STREQ (reasonForFailureOn (bundle, ERROR_ACCESS_DENIED, "otherwise"), "a file is in use");
    EXPECT_STREQ (reasonForFailureOn (bundle, ERROR_FILE_NOT_FOUND, "otherwise"), "otherwise");
}

// The Restart Manager names the program holding a bundle's file (a folder asked about too is left
// out); Wine 8's is a stub that names none, and the run must go on as if nobody were named.
TEST (RestartManager, namesTheProgramHoldingABundlesFileOrNoneUnderWine)
{
    const TestFolder folder;
    const auto module = folder / "Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3";
    ASSERT_TRUE (module.getParentDirectory().createDirectory().wasOk() && module.replaceWithText ("a module"));
    const HeldFile held ("open", module);
    ASSERT_TRUE (held.isHolding()) << held.said;

    const auto holders = BundleHolders::findHoldersOf ({ module, module.getParentDirectory() });
    const BundleHolders watched (folder / "Morvane4.vst3");
    std::cout << "[ recorded ] holders named: '" << describeHolders (holders) << "'" << std::endl;
    EXPECT_EQ (watched.afterRun (juce::Result::fail (FailureReason::fileInUse), {}), holders);
    EXPECT_TRUE (watched.afterRun (juce::Result::ok(), {}).isEmpty()) << "a run that went through names no one";

    if (isRunningUnderWine())
        EXPECT_TRUE (holders.isEmpty()) << "Wine named a holder: the README says it cannot";
    else
        EXPECT_TRUE (holders.size() == 1 && holders[0].name.containsIgnoreCase ("hold_file"));
}
