#include "engine/BundleFixture.h"

//==============================================================================
struct SystemErrorReason
{
    int error;
    const char* reason;
};

class SystemErrorReasonTest : public testing::TestWithParam<SystemErrorReason>
{
};

TEST_P (SystemErrorReasonTest, namesTheRealCause)
{
    EXPECT_STREQ (reasonForSystemError (GetParam().error, "otherwise"), GetParam().reason);
}

// "a file is in use" only for a sharing or lock error; no permission and a read-only disk apart.
const SystemErrorReason systemErrorReasons[] = {
#if JUCE_WINDOWS
    { ERROR_SHARING_VIOLATION, "a file is in use" },
    { ERROR_LOCK_VIOLATION, "a file is in use" },
    { ERROR_ACCESS_DENIED, "no permission" },
    { ERROR_WRITE_PROTECT, "the disk is read-only" },
    { ERROR_DISK_FULL, "disk full" },
    { ERROR_FILE_NOT_FOUND, "otherwise" },
    { ERROR_NOT_SAME_DEVICE, "otherwise" },
#else
    { EBUSY, "a file is in use" },
    { ETXTBSY, "a file is in use" },
    { EACCES, "no permission" },
    { EPERM, "no permission" },
    { EROFS, "the disk is read-only" },
    { ENOSPC, "disk full" },
    { ENOENT, "otherwise" },
    { EXDEV, "otherwise" },
#endif
};

INSTANTIATE_TEST_SUITE_P (Errors, SystemErrorReasonTest, testing::ValuesIn (systemErrorReasons),
                          [] (const testing::TestParamInfo<SystemErrorReason>& param) { return "error" + std::to_string (param.param.error); });

//==============================================================================
#if ! JUCE_WINDOWS
/** Links to a folder outside the bundle, planted inside it before or while it is removed. */
class LinkInsideABundleTest : public BundleInstallerTest
{
protected:
    void SetUp() override
    {
        makeOldBundle (0);
        writeFile (outside.getChildFile ("precious.txt"), "not the installer's");
        outsideBefore = snapshot (outside);
    }

    void plantLink (const juce::File& where) const
    {
        ASSERT_TRUE (outside.createSymbolicLink (where, true));
    }

    void expectOutsideUntouched() const
    {
        EXPECT_TRUE (sameTree (snapshot (outside), outsideBefore));
    }

    juce::File bundle = installFolder.getChildFile ("Morvane4.vst3");
    juce::File outside = folder / "outside";
    Tree outsideBefore;
};

TEST_F (LinkInsideABundleTest, uninstallAndUpdateRemoveTheLinkNotWhatItLeadsTo)
{
    for (const auto update : { false, true })
    {
        SCOPED_TRACE (update ? "update" : "uninstall");
        makeOldBundle (0);
        plantLink (bundle.getChildFile ("Contents/Resources/link"));

        const auto result = update ? install (installFolder, 0, carriedArchive (0)) : uninstallBundle (installFolder, "Morvane4.vst3");

        ASSERT_TRUE (result.wasOk()) << result.getErrorMessage();
        expectOutsideUntouched();
        EXPECT_EQ (installFolder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), update ? 1 : 0);
    }
}

TEST_F (LinkInsideABundleTest, aBundleThatIsALinkGoesAsALink)
{
    ASSERT_TRUE (bundle.deleteRecursively());
    plantLink (bundle);

    EXPECT_TRUE (removeTree (bundle).wasOk());
    EXPECT_FALSE (bundle.isSymbolicLink());
    expectOutsideUntouched();
}

TEST_F (LinkInsideABundleTest, aFolderSwappedForALinkWhileRemovingIsNotFollowed)
{
    // The swap comes just before "Contents" is opened, or once it is open and being emptied.
    const auto contents = bundle.getChildFile ("Contents");

    for (const auto* moment : { "Morvane4.vst3/Contents", "Morvane4.vst3/Contents/Resources" })
    {
        SCOPED_TRACE (moment);
        makeOldBundle (0);
        const auto movedAway = folder / "moved away";
        auto swapped = false;

        const auto outcome = removeTree (bundle, [&] (const juce::File& about)
                                         {
                                             if (swapped || about != installFolder.getChildFile (moment))
                                                 return;

                                             swapped = true;
                                             ASSERT_TRUE (contents.moveFileTo (movedAway));
                                             plantLink (contents);
                                         });

        EXPECT_TRUE (swapped);
        EXPECT_TRUE (outcome.wasOk()) << outcome.firstError;
        EXPECT_FALSE (bundle.exists() || bundle.isSymbolicLink());
        expectOutsideUntouched();
        movedAway.deleteRecursively();
    }
}
#endif

#if JUCE_LINUX
TEST_F (BundleInstallerTest, whatResistsRemovalIsListedFilesBeforeTheirFoldersAndTheRestGoes)
{
    // A mount point cannot be removed (EBUSY); its folder then cannot either.
    const auto bundle = installFolder.getChildFile ("Morvane4.vst3");
    const auto mountPoint = bundle.getChildFile ("Contents/busy");
    const ScopedTmpfs busy (mountPoint, 64);

    if (! busy.isMounted())
        GTEST_SKIP() << "mounting a tmpfs is not permitted here: " << strerror (errno);

    makeOldBundle (0);
    writeFile (mountPoint.getChildFile ("inside"), "on the mounted disk");

    const auto outcome = removeTree (bundle);

    EXPECT_EQ (outcome.firstError, EBUSY);
    EXPECT_EQ (outcome.resisted, juce::Array<juce::File> ({ mountPoint, mountPoint.getParentDirectory(), bundle }));
    const Tree left { { "Morvane4.vst3/", "" }, { "Morvane4.vst3/Contents/", "" }, { "Morvane4.vst3/Contents/busy/", "" } };
    EXPECT_TRUE (sameTree (snapshot (installFolder), left));
}

TEST_F (BundleInstallerTest, aFolderWithoutWritePermissionGivesNoPermissionAndKeepsTheBundle)
{
    makeOldBundle (0);
    makeOldBundle (1);
    const auto before = snapshot (installFolder);

    // The tests run as root, which any permission lets through: the engine runs as nobody in a child.
    int results[2];
    ASSERT_EQ (pipe (results), 0);
    const auto child = fork();
    ASSERT_GE (child, 0);

    if (child == 0)
    {
        juce::String messages;

        if (setgid (65534) == 0 && setuid (65534) == 0)
            messages << install (installFolder, 0, carriedArchive (0)).getErrorMessage() << "|"
                     << uninstallBundle (installFolder, "Morvane4.vst3").getErrorMessage() << "|"
                     << uninstallBundle (installFolder, "Morvane4.clap").getErrorMessage();

        const auto written = write (results[1], messages.toRawUTF8(), messages.getNumBytesAsUTF8());
        _exit (written >= 0 ? 0 : 1);
    }

    close (results[1]);
    juce::MemoryOutputStream messages;
    char buffer[256];

    for (ssize_t size; (size = read (results[0], buffer, sizeof (buffer))) > 0;)
        messages.write (buffer, (size_t) size);

    close (results[0]);
    waitpid (child, nullptr, 0);

    EXPECT_EQ (messages.toString(), "no permission|no permission|no permission");
    EXPECT_TRUE (sameTree (snapshot (installFolder), before));
}
#endif
