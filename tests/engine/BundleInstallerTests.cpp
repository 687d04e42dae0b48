#include "engine/BundleFixture.h"

//==============================================================================
class InstallEachFormatTest : public BundleInstallerTest, public testing::WithParamInterface<int>
{
};

TEST_P (InstallEachFormatTest, createsTheInstallFolderAndUnpacksTheBundleExactlyAsTheArchiveHoldsIt)
{
    const auto formatIndex = GetParam();
    const auto archive = carriedArchive (formatIndex);
    ASSERT_FALSE (installFolder.getParentDirectory().exists());

    const auto installed = install (installFolder, formatIndex, archive);
    ASSERT_TRUE (installed.wasOk()) << installed.getErrorMessage();

    // Only the bundle: no staging folder or anything else beside it.
    EXPECT_TRUE (sameTree (snapshot (installFolder), unpackWithJuce (archive, folder / "reference")));
    EXPECT_EQ (installFolder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);

    // Each file carries its entry's time, as JUCE's own unpacking gives it.
    juce::ZipFile zip (new juce::MemoryInputStream (archive, false), true);

    for (int i = 0; i < zip.getNumEntries(); ++i)
    {
        const auto* entry = zip.getEntry (i);

        if (! entry->filename.endsWithChar ('\\') && ! entry->filename.endsWithChar ('/'))
        {
            EXPECT_EQ (installFolder.getChildFile (entry->filename.replaceCharacter ('\\', '/')).getLastModificationTime().toMilliseconds(),
                       entry->fileTime.toMilliseconds())
                << entry->filename;
        }
    }
}

TEST_P (InstallEachFormatTest, replacesAnOldBundleWholeAndTouchesNothingElse)
{
    const auto formatIndex = GetParam();
    const auto archive = carriedArchive (formatIndex);
    makeOldBundle (formatIndex);

    // Neighbours: other products, other formats, names that only begin like the bundle.
    writeFile (installFolder.getChildFile ("Other.vst3/Contents/x86_64-win/Other.vst3"), "another plug-in");
    writeFile (installFolder.getChildFile ("Morvane4.vst3.bak"), "a copy the user made");
    writeFile (installFolder.getChildFile ("Morvane4.clap.txt"), "notes");
    writeFile (installFolder.getChildFile ("Morvane4.aaxplugin2/file"), "something else");
    const auto bundleName = getBundleName ("Morvane4", formatIndex).toStdString();
    Tree neighbours;

    for (const auto& [path, bytes] : snapshot (installFolder))
        if (path != bundleName && path.rfind (bundleName + "/", 0) != 0)
            neighbours[path] = bytes;

    const auto installed = install (installFolder, formatIndex, archive);
    ASSERT_TRUE (installed.wasOk()) << installed.getErrorMessage();

    auto expected = neighbours;

    for (const auto& [path, bytes] : unpackWithJuce (archive, folder / "reference"))
        expected[path] = bytes;

    // The file only the old version had is gone, and the neighbours are as they were.
    EXPECT_TRUE (sameTree (snapshot (installFolder), expected));
}

INSTANTIATE_TEST_SUITE_P (Formats, InstallEachFormatTest, testing::Values (0, 1, 2),
                          [] (const testing::TestParamInfo<int>& param) { return formatNames[param.param].toStdString(); });

TEST_F (BundleInstallerTest, replacesABundleOfTheOtherKind)
{
    // A CLAP that is a folder becomes the single file; a VST3 that is a file becomes the folder.
    writeFile (installFolder.getChildFile ("Morvane4.clap/Contents/stray.txt"), "stray");
    writeFile (installFolder.getChildFile ("Morvane4.vst3"), "a file in the bundle's place");

    ASSERT_TRUE (install (installFolder, 1, carriedArchive (1)).wasOk());
    ASSERT_TRUE (install (installFolder, 0, carriedArchive (0)).wasOk());

    EXPECT_TRUE ((installFolder.getChildFile ("Morvane4.clap")).existsAsFile());
    EXPECT_TRUE ((installFolder.getChildFile ("Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3")).existsAsFile());
    EXPECT_EQ (installFolder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 2);
}

//==============================================================================
struct LeftoverCase
{
    const char* name;
    Tree before, after; // below the install folder
};

void PrintTo (const LeftoverCase& leftovers, std::ostream* out) { *out << leftovers.name; }

class RepairTest : public BundleInstallerTest, public testing::WithParamInterface<LeftoverCase>
{
};

TEST_P (RepairTest, putsBackAMovedAsideBundleAndRemovesEveryOtherLeftover)
{
    for (const auto& [path, bytes] : GetParam().before)
        if (path.back() != '/')
            writeFile (installFolder.getChildFile (path), bytes);

    repairInterruptedRun (installFolder, "Morvane4.vst3");

    EXPECT_TRUE (sameTree (snapshot (installFolder), GetParam().after));
}

const Tree neighbour { { ".Other.vst3.staging-0badf00d/", "" }, { ".Other.vst3.staging-0badf00d/file", "not ours" } };

Tree with (Tree tree, const Tree& more)
{
    tree.insert (more.begin(), more.end());
    return tree;
}

// Moved-aside names carry the time (milliseconds since 1970) before the random part; copies an
// earlier version moved aside have the random part only.
const LeftoverCase leftoverCases[] = {
    { "killedBetweenTheTwoRenames",
      with (neighbour, { { ".Morvane4.vst3.old-0001765297800123-9abcdef0/desktop.ini", "old" },
                         { ".Morvane4.vst3.staging-0badf00d/Morvane4.vst3/Plugin.ico", "new" } }),
      with (neighbour, { { "Morvane4.vst3/", "" }, { "Morvane4.vst3/desktop.ini", "old" } }) },
    { "killedBetweenTheTwoRenamesOfAnEarlierVersion",
      { { ".Morvane4.vst3.old-9abcdef0/desktop.ini", "old" } },
      { { "Morvane4.vst3/", "" }, { "Morvane4.vst3/desktop.ini", "old" } } },
    { "killedAfterTheSwap",
      with (neighbour, { { "Morvane4.vst3/desktop.ini", "new" }, { ".Morvane4.vst3.old-0001765297800123-9abcdef0/desktop.ini", "old" } }),
      with (neighbour, { { "Morvane4.vst3/", "" }, { "Morvane4.vst3/desktop.ini", "new" } }) },
    { "killedWhileRemoving",
      { { ".Morvane4.vst3.removing-12345678/desktop.ini", "half removed" } },
      {} },
    { "theNewestOfSeveralMovedAsideCopiesComesBack",
      { { ".Morvane4.vst3.old-0001765297800123-ffffffff/desktop.ini", "older" },
        { ".Morvane4.vst3.old-0001765297900000-00000001/desktop.ini", "newest" },
        { ".Morvane4.vst3.old-0badf00d/desktop.ini", "of an earlier version" } },
      { { "Morvane4.vst3/", "" }, { "Morvane4.vst3/desktop.ini", "newest" } } },
    { "aUsersLookAlikeNamesAreLeftAlone",
      { { ".Morvane4.vst3.old-backup/desktop.ini", "the user's" },
        { ".Morvane4.vst3.old-0badf00/desktop.ini", "seven digits" },
        { ".Morvane4.vst3.old-0BADF00D/desktop.ini", "capitals" },
        { ".Morvane4.vst3.staging-1765297800123-0badf00d/file", "a time where none belongs" },
        { ".Morvane4.vst3.removing-0badf00d.keep", "more after the random part" } },
      { { ".Morvane4.vst3.old-backup/", "" }, { ".Morvane4.vst3.old-backup/desktop.ini", "the user's" },
        { ".Morvane4.vst3.old-0badf00/", "" }, { ".Morvane4.vst3.old-0badf00/desktop.ini", "seven digits" },
        { ".Morvane4.vst3.old-0BADF00D/", "" }, { ".Morvane4.vst3.old-0BADF00D/desktop.ini", "capitals" },
        { ".Morvane4.vst3.staging-1765297800123-0badf00d/", "" },
        { ".Morvane4.vst3.staging-1765297800123-0badf00d/file", "a time where none belongs" },
        { ".Morvane4.vst3.removing-0badf00d.keep", "more after the random part" } } },
};

INSTANTIATE_TEST_SUITE_P (Leftovers, RepairTest, testing::ValuesIn (leftoverCases),
                          [] (const testing::TestParamInfo<LeftoverCase>& param) { return std::string (param.param.name); });


//==============================================================================
TEST_F (BundleInstallerTest, aFolderThatCannotBeMadeIsReported)
{
    writeFile (folder / "a file", "in the way");
    const auto below = folder / "a file/VST3";
    const auto before = snapshot (folder.get());

    const auto result = install (below, 0, carriedArchive (0));

    EXPECT_EQ (result.getErrorMessage(), "the folder cannot be created");
    EXPECT_TRUE (sameTree (snapshot (folder.get()), before));
}

#if JUCE_LINUX
TEST_F (BundleInstallerTest, aFullDiskLeavesTheOldBundleByteForByte)
{
    const ScopedTmpfs disk (folder / "disk", 1024);

    if (! disk.isMounted())
        GTEST_SKIP() << "mounting a tmpfs is not permitted here: " << strerror (errno);

    installFolder = folder / "disk/VST3";
    makeOldBundle (0);
    const auto before = snapshot (installFolder);

    // Fill the disk up to 32 KB: less than the new bundle needs (its icon alone is larger).
    const auto filler = folder / "disk/filler";
    {
        juce::FileOutputStream out (filler);
        const juce::MemoryBlock zeros (16 * 1024, true);

        while (filler.getBytesFreeOnVolume() > 32 * 1024 && out.write (zeros.getData(), zeros.getSize()))
            out.flush();
    }
    ASSERT_LE (filler.getBytesFreeOnVolume(), 32 * 1024);

    // Found before anything is written: not one file-system step is taken.
    int steps = 0;
    DurableFiles::setStepHook ([&] (const char*, const juce::File&) { ++steps; });
    const auto result = install (installFolder, 0, carriedArchive (0));
    DurableFiles::setStepHook (nullptr);

    EXPECT_EQ (result.getErrorMessage(), "disk full");
    EXPECT_EQ (steps, 0);
    EXPECT_TRUE (sameTree (snapshot (installFolder), before));

    // With room again the same install goes through: it was the disk.
    ASSERT_TRUE (filler.deleteFile());
    EXPECT_TRUE (install (installFolder, 0, carriedArchive (0)).wasOk());
    EXPECT_FALSE ((installFolder.getChildFile ("Morvane4.vst3/Contents/Resources/only-in-the-old-version.txt")).exists());
}

TEST_F (BundleInstallerTest, aReadOnlyDiskLeavesTheOldBundleByteForByte)
{
    const ScopedTmpfs disk (folder / "disk", 1024);

    if (! disk.isMounted())
        GTEST_SKIP() << "mounting a tmpfs is not permitted here: " << strerror (errno);

    installFolder = folder / "disk/VST3";
    makeOldBundle (0);
    const auto before = snapshot (installFolder);
    ASSERT_TRUE (disk.makeReadOnly());

    EXPECT_EQ (install (installFolder, 0, carriedArchive (0)).getErrorMessage(), "the disk is read-only");
    EXPECT_TRUE (sameTree (snapshot (installFolder), before));
}

TEST_F (BundleInstallerTest, aBundleThatCannotBeMovedIsInUseAndStays)
{
    // A bundle that is a mount point cannot be renamed, as a folder with an open file cannot on Windows.
    const auto bundle = installFolder.getChildFile ("Morvane4.vst3");
    const ScopedTmpfs busy (bundle, 1024);

    if (! busy.isMounted())
        GTEST_SKIP() << "mounting a tmpfs is not permitted here: " << strerror (errno);

    makeOldBundle (0);
    const auto before = snapshot (installFolder);

    EXPECT_EQ (install (installFolder, 0, carriedArchive (0)).getErrorMessage(), "a file is in use");
    EXPECT_TRUE (sameTree (snapshot (installFolder), before));

    EXPECT_EQ (uninstallBundle (installFolder, "Morvane4.vst3").getErrorMessage(), "a file is in use");
    EXPECT_TRUE (sameTree (snapshot (installFolder), before));
}
#endif

//==============================================================================
TEST_F (BundleInstallerTest, uninstallRemovesOnlyTheBundle)
{
    makeOldBundle (0);
    makeOldBundle (1);
    writeFile (installFolder.getChildFile ("Other.vst3/file"), "a neighbour");
    writeFile (installFolder.getChildFile ("Morvane4.vst3.bak"), "a copy the user made");

    ASSERT_TRUE (uninstallBundle (installFolder, "Morvane4.vst3").wasOk());
    ASSERT_TRUE (uninstallBundle (installFolder, "Morvane4.clap").wasOk());

    const Tree expected { { "Other.vst3/", "" }, { "Other.vst3/file", "a neighbour" }, { "Morvane4.vst3.bak", "a copy the user made" } };
    EXPECT_TRUE (sameTree (snapshot (installFolder), expected));
}

#if ! JUCE_WINDOWS
/** An install folder that cannot be looked into, and how: root reads every folder whatever its
    permissions, so these fail for another reason. */
struct UnreadableFolder
{
    const char* name;
    juce::String relativePath;
};

class UnreadableFolderTest : public BundleInstallerTest, public testing::WithParamInterface<UnreadableFolder>
{
};

TEST_P (UnreadableFolderTest, anUninstallFailsWithTheReasonAndChangesNothing)
{
    writeFile (folder / "a file", "in the way");
    const auto before = snapshot (folder.get());
    const std::array<juce::File, numFormats> folders { folder / GetParam().relativePath, installFolder, installFolder };

    const auto report = runFormats ({ true, false, false }, true, folders, "Morvane4", {});

    EXPECT_EQ (report.getFailureLines(), juce::StringArray ("VST3 not removed: the folder cannot be read. Nothing was changed."));
    EXPECT_TRUE (sameTree (snapshot (folder.get()), before));
}

const UnreadableFolder unreadableFolders[] = {
    { "aFileOnThePath_ENOTDIR", "a file/VST3" },
    { "aNameTooLong_ENAMETOOLONG", juce::String::repeatedString ("x", 300) + "/VST3" },
};

INSTANTIATE_TEST_SUITE_P (Folders, UnreadableFolderTest, testing::ValuesIn (unreadableFolders),
                          [] (const testing::TestParamInfo<UnreadableFolder>& param) { return std::string (param.param.name); });
#endif

TEST_F (BundleInstallerTest, uninstallingAMissingBundleChangesNothing)
{
    writeFile (installFolder.getChildFile ("Other.vst3/file"), "a neighbour");
    const auto before = snapshot (folder.get());

    EXPECT_TRUE (uninstallBundle (installFolder, "Morvane4.vst3").wasOk());
    EXPECT_TRUE (uninstallBundle (folder / "missing", "Morvane4.vst3").wasOk());
    EXPECT_TRUE (sameTree (snapshot (folder.get()), before));
}


/** Something that meddles with the staging folder at the n-th step of a given kind. */
struct Interference
{
    const char* name;
    const char* step;
    int occurrence;
    std::function<void (const juce::File& staging)> act;
    const char* reason;
};

void PrintTo (const Interference& interference, std::ostream* out) { *out << interference.name; }

class InterferenceTest : public BundleInstallerTest, public testing::WithParamInterface<Interference>
{
};

TEST_P (InterferenceTest, failsTheRunAndLeavesTheOldBundleWithoutLeftovers)
{
    makeOldBundle (0);
    const auto before = snapshot (installFolder);
    juce::File staging;
    int seen = 0;

    const ScopedStepHook hook ([&] (const char* step, const juce::File& target)
                               {
                                   if (target.getFileName().startsWith (".Morvane4.vst3.staging-"))
                                       staging = target;

                                   if (juce::String (step) == GetParam().step && ++seen == GetParam().occurrence)
                                       GetParam().act (staging);
                               });

    EXPECT_EQ (install (installFolder, 0, carriedArchive (0)).getErrorMessage(), juce::String (GetParam().reason));
    EXPECT_GE (seen, GetParam().occurrence);
    EXPECT_TRUE (sameTree (snapshot (installFolder), before)); // the staging folder was not made again
}

const Interference interferences[] = {
   #if ! JUCE_WINDOWS
    // On Windows the run holds the staging folder and the folders in it open: their deletion
    // waits until the run lets go.
    { "stagingFolderVanishesBeforeAFolderIsMade", "create folder", 3,
      [] (const juce::File& staging) { staging.deleteRecursively(); }, "the folder cannot be created" },
   #endif
    { "stagingFolderVanishesBeforeAFileIsWritten", "write file", 2,
      [] (const juce::File& staging) { staging.deleteRecursively(); }, "a file cannot be written" },
    { "aStrangerFileAppearsInTheStagedBundle", "flush folder", 1,
      [] (const juce::File& staging) { staging.getChildFile ("Morvane4.vst3/Contents/extra.dll").replaceWithText ("x"); },
      "a file cannot be written" },
    { "aStagedFileIsCutShort", "flush folder", 1,
      [] (const juce::File& staging) { staging.getChildFile ("Morvane4.vst3/Plugin.ico").replaceWithText ("short"); },
      "a file cannot be written" },
};

INSTANTIATE_TEST_SUITE_P (Staging, InterferenceTest, testing::ValuesIn (interferences),
                          [] (const testing::TestParamInfo<Interference>& param) { return std::string (param.param.name); });

#if ! JUCE_WINDOWS
//==============================================================================
/** Something a user who can write to the install folder put at a name the run uses. */
enum class Plant
{
    linkToAFile,
    linkToAFolder,
    fifo,
    hardLinkToAFile
};

const char* const plantedNames[] = { "Morvane4.vst3", ".Morvane4.vst3.staging-0badf00d", ".Morvane4.vst3.removing-0badf00d",
                                     ".Morvane4.vst3.old-0001765297800123-0badf00d", ".Morvane4.vst3.old-0badf00d",
                                     ".Morvane4.vst3.lock" };

class PlantedNameTest : public BundleInstallerTest, public testing::WithParamInterface<std::tuple<const char*, Plant>>
{
protected:
    void SetUp() override
    {
        writeFile (outside.getChildFile ("precious.txt"), "not the installer's");
        writeFile (outside.getChildFile ("folder/inside.txt"), "not the installer's either");
        outsideBefore = snapshot (outside);
    }

    /** Puts the plant in place; returns its file type as lstat gives it. */
    mode_t plant() const
    {
        const auto path = installFolder.getChildFile (std::get<0> (GetParam())).getFullPathName();
        const auto precious = outside.getChildFile ("precious.txt").getFullPathName();
        int result = -1;

        switch (std::get<1> (GetParam()))
        {
            case Plant::linkToAFile:     result = ::symlink (precious.toRawUTF8(), path.toRawUTF8()); break;
            case Plant::linkToAFolder:   result = ::symlink (outside.getChildFile ("folder").getFullPathName().toRawUTF8(), path.toRawUTF8()); break;
            case Plant::fifo:            result = ::mkfifo (path.toRawUTF8(), 0666); break;
            case Plant::hardLinkToAFile: result = ::link (precious.toRawUTF8(), path.toRawUTF8()); break;
        }

        EXPECT_EQ (result, 0) << strerror (errno);
        return typeOfPlant();
    }

    mode_t typeOfPlant() const
    {
        struct stat info;
        return ::lstat (installFolder.getChildFile (std::get<0> (GetParam())).getFullPathName().toRawUTF8(), &info) == 0
                   ? info.st_mode & S_IFMT
                   : 0;
    }

    juce::File outside = folder / "outside";
    Tree outsideBefore;
};

TEST_P (PlantedNameTest, isRemovedAsItselfOrLeftAloneAndNeverFollowed)
{
    const auto name = juce::String (std::get<0> (GetParam()));
    const auto isLockName = name.endsWith (".lock"); // a name the run no longer uses

    for (const auto uninstall : { false, true })
    {
        SCOPED_TRACE (uninstall ? "uninstall" : "install");
        installFolder.deleteRecursively();

        if (name != "Morvane4.vst3")
            makeOldBundle (0);

        ASSERT_TRUE (installFolder.createDirectory().wasOk());
        const auto planted = plant();

        const auto result = uninstall ? uninstallBundle (installFolder, "Morvane4.vst3") : install (installFolder, 0, carriedArchive (0));

        EXPECT_TRUE (result.wasOk()) << result.getErrorMessage();
        EXPECT_TRUE (sameTree (snapshot (outside), outsideBefore));

        // Checked, and a plant that stays taken away, before the snapshot, which would wait at a FIFO.
        const auto newBundleThere = name == "Morvane4.vst3" && ! uninstall;
        ASSERT_EQ (typeOfPlant(), isLockName ? planted : newBundleThere ? S_IFDIR : 0);

        if (isLockName)
        {
            ASSERT_EQ (::unlink (installFolder.getChildFile (name).getFullPathName().toRawUTF8()), 0);
        }

        EXPECT_TRUE (sameTree (snapshot (installFolder), uninstall ? Tree() : unpackWithJuce (carriedArchive (0), folder / "reference")));
    }
}

TEST_F (PlantedNameTest, aStagingFolderSwappedForALinkWhileBeingWrittenLeadsNowhere)
{
    makeOldBundle (0);
    const auto movedAway = folder / "moved away";
    int files = 0;

    // After the first file, the staging folder goes elsewhere and a link to the outside takes its name.
    const ScopedStepHook hook ([&] (const char* step, const juce::File& target)
                               {
                                   if (juce::String (step) != "write file" || ++files != 2)
                                       return;

                                   auto staging = target;

                                   while (staging.getParentDirectory() != installFolder)
                                       staging = staging.getParentDirectory();

                                   ASSERT_TRUE (staging.moveFileTo (movedAway));
                                   ASSERT_TRUE (outside.getChildFile ("folder").createSymbolicLink (staging, true));
                               });

    const auto result = install (installFolder, 0, carriedArchive (0));

    // The files went on into the folder the run made, wherever it is now, and the swap took them from there.
    EXPECT_TRUE (result.wasOk()) << result.getErrorMessage();
    EXPECT_EQ (files, 4);
    EXPECT_TRUE (sameTree (snapshot (outside), outsideBefore));
    EXPECT_TRUE (sameTree (snapshot (installFolder), unpackWithJuce (carriedArchive (0), folder / "reference")));
}

std::string nameOfPlantCase (const testing::TestParamInfo<std::tuple<const char*, Plant>>& info)
{
    const char* const kinds[] = { "linkToAFile", "linkToAFolder", "fifo", "hardLinkToAFile" };
    return juce::String (std::get<0> (info.param)).retainCharacters ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789").toStdString()
         + "_" + kinds[(int) std::get<1> (info.param)];
}

INSTANTIATE_TEST_SUITE_P (Plants, PlantedNameTest,
                          testing::Combine (testing::ValuesIn (plantedNames),
                                            testing::Values (Plant::linkToAFile, Plant::linkToAFolder, Plant::fifo, Plant::hardLinkToAFile)),
                          nameOfPlantCase);
#endif
