#include "TestFolder.h"
#include "TreeSnapshot.h"
#include "main/BundleInstaller.h"
#include "main/Catalogue.h"
#include "main/DurableFiles.h"
#include "main/SafeRemoval.h"
#include "main/ZipDirectory.h"

#include <BinaryData.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <regex>
#include <set>

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <cerrno>
 #include <sys/wait.h>
 #include <unistd.h>
#endif

#if JUCE_LINUX
 #include <sys/mount.h>
 #include <sys/wait.h>
 #include <unistd.h>
#endif

namespace
{
    juce::MemoryBlock carriedArchive (int formatIndex)
    {
        switch (formatIndex)
        {
            case 0:  return { BinaryData::vst3_zip, (size_t) BinaryData::vst3_zipSize };
            case 1:  return { BinaryData::clap_zip, (size_t) BinaryData::clap_zipSize };
            case 2:  return { BinaryData::aax_zip, (size_t) BinaryData::aax_zipSize };
            default: return {};
        }
    }

    juce::Result install (const juce::File& installFolder, int formatIndex, const juce::MemoryBlock& archive)
    {
        return installBundle (installFolder, getBundleName ("Morvane4", formatIndex), archive.getData(), archive.getSize());
    }

    /** The archive unpacked by JUCE's own ZipFile, as a reference to compare with. */
    Tree unpackWithJuce (const juce::MemoryBlock& archive, const juce::File& target)
    {
        juce::ZipFile zip (new juce::MemoryInputStream (archive, false), true);
        EXPECT_TRUE (zip.uncompressTo (target).wasOk());
        return snapshot (target);
    }

    void writeFile (const juce::File& file, const juce::String& text)
    {
        ASSERT_TRUE (file.getParentDirectory().createDirectory().wasOk());
        ASSERT_TRUE (file.replaceWithText (text));
    }

    /** Where the data of an archive's largest entry starts, and its length. */
    juce::Range<size_t> dataOfLargestEntry (const juce::MemoryBlock& archive)
    {
        ZipDirectory directory;
        EXPECT_TRUE (readZipDirectory (archive.getData(), archive.getSize(), directory).wasOk());

        const ZipDirectoryEntry* largest = nullptr;

        for (const auto& entry : directory.entries)
            if (largest == nullptr || entry.compressedSize > largest->compressedSize)
                largest = &entry;

        if (largest == nullptr)
            return {};

        const auto* header = static_cast<const juce::uint8*> (archive.getData()) + largest->localHeaderOffset;
        const auto start = (size_t) largest->localHeaderOffset + 30 + juce::ByteOrder::littleEndianShort (header + 26)
                         + juce::ByteOrder::littleEndianShort (header + 28);
        return { start, start + (size_t) largest->compressedSize };
    }

    /** An archive made here, with the entries given (path, content), compressed or stored. */
    juce::MemoryBlock makeArchive (const std::vector<std::pair<juce::String, juce::String>>& entries, int compressionLevel)
    {
        juce::ZipFile::Builder builder;

        for (const auto& [path, content] : entries)
            builder.addEntry (new juce::MemoryInputStream (content.toRawUTF8(), content.getNumBytesAsUTF8(), true),
                              compressionLevel, path, juce::Time (2026, 3, 26, 18, 53, 52));

        juce::MemoryOutputStream out;
        builder.writeToStream (out, nullptr);
        return out.getMemoryBlock();
    }

   #if JUCE_LINUX
    /** A small file system of its own (tests run as root), gone again when this goes. */
    class ScopedTmpfs final
    {
    public:
        ScopedTmpfs (const juce::File& where, int kilobytes) : folder (where)
        {
            folder.createDirectory();
            mounted = ::mount ("tmpfs", folder.getFullPathName().toRawUTF8(), "tmpfs", 0,
                               ("size=" + juce::String (kilobytes) + "k").toRawUTF8()) == 0;
        }

        ~ScopedTmpfs()
        {
            if (mounted)
                ::umount2 (folder.getFullPathName().toRawUTF8(), MNT_DETACH);
        }

        bool isMounted() const { return mounted; }

        bool makeReadOnly() const
        {
            return ::mount ("tmpfs", folder.getFullPathName().toRawUTF8(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
        }

    private:
        juce::File folder;
        bool mounted = false;

        JUCE_DECLARE_NON_COPYABLE (ScopedTmpfs)
    };
   #endif
} // namespace

class BundleInstallerTest : public testing::Test
{
protected:
    /** An older bundle, with a file the carried archive does not have. */
    void makeOldBundle (int formatIndex) const
    {
        const auto bundle = getBundlePath (installFolder, "Morvane4", formatIndex);

        if (formatIndex == 1)
        {
            writeFile (bundle, "an older CLAP");
            return;
        }

        writeFile (getModulePath (bundle, "Morvane4", formatIndex), "an older module");
        writeFile (bundle.getChildFile ("desktop.ini"), "[.ShellClassInfo]");
        writeFile (bundle.getChildFile ("Contents/Resources/only-in-the-old-version.txt"), "old");
    }

    TestFolder folder;
    juce::File installFolder = folder / "Common Files/VST3";
};

//==============================================================================
class InstallEachFormatTest : public BundleInstallerTest, public testing::WithParamInterface<int>
{
};

TEST_P (InstallEachFormatTest, createsTheInstallFolderAndUnpacksTheBundleExactlyAsTheArchiveHoldsIt)
{
    const auto formatIndex = GetParam();
    const auto archive = carriedArchive (formatIndex);
    ASSERT_FALSE (installFolder.getParentDirectory().exists());

    ASSERT_TRUE (install (installFolder, formatIndex, archive).wasOk());

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

    ASSERT_TRUE (install (installFolder, formatIndex, archive).wasOk());

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

const LeftoverCase leftoverCases[] = {
    { "killedBetweenTheTwoRenames",
      with (neighbour, { { ".Morvane4.vst3.old-9abcdef0/desktop.ini", "old" },
                         { ".Morvane4.vst3.staging-0badf00d/Morvane4.vst3/Plugin.ico", "new" },
                         { ".Morvane4.vst3.lock", "" } }),
      with (neighbour, { { "Morvane4.vst3/", "" }, { "Morvane4.vst3/desktop.ini", "old" } }) },
    { "killedAfterTheSwap",
      with (neighbour, { { "Morvane4.vst3/desktop.ini", "new" }, { ".Morvane4.vst3.old-9abcdef0/desktop.ini", "old" } }),
      with (neighbour, { { "Morvane4.vst3/", "" }, { "Morvane4.vst3/desktop.ini", "new" } }) },
    { "killedWhileRemoving",
      { { ".Morvane4.vst3.removing-12345678/desktop.ini", "half removed" } },
      {} },
    { "twoMovedAsideCopiesAreNotOneWholeCopy",
      { { ".Morvane4.vst3.old-00000001/desktop.ini", "one" }, { ".Morvane4.vst3.old-00000002/desktop.ini", "two" } },
      {} },
};

INSTANTIATE_TEST_SUITE_P (Leftovers, RepairTest, testing::ValuesIn (leftoverCases),
                          [] (const testing::TestParamInfo<LeftoverCase>& param) { return std::string (param.param.name); });

//==============================================================================
struct DamagedArchive
{
    const char* name;
    std::function<juce::MemoryBlock()> make;
};

class DamagedArchiveTest : public BundleInstallerTest, public testing::WithParamInterface<DamagedArchive>
{
};

TEST_P (DamagedArchiveTest, isRefusedAndTheOldBundleStaysByteForByte)
{
    makeOldBundle (0);
    writeFile (installFolder.getChildFile ("Other.vst3/file"), "a neighbour");
    const auto before = snapshot (installFolder);

    const auto result = install (installFolder, 0, GetParam().make());

    EXPECT_EQ (result.getErrorMessage(), "the archive is damaged");
    EXPECT_TRUE (sameTree (snapshot (installFolder), before)); // no staging folder either
}

const DamagedArchive damagedArchives[] = {
    { "aFlippedByteInCompressedData", []
      {
          auto archive = carriedArchive (0);
          const auto data = dataOfLargestEntry (archive);
          static_cast<juce::uint8*> (archive.getData())[data.getStart() + data.getLength() / 2] ^= 0x10;
          return archive;
      } },
    { "aFlippedByteInStoredData", []
      {
          auto archive = makeArchive ({ { "Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3", juce::String::repeatedString ("module ", 500) } }, 0);
          const auto data = dataOfLargestEntry (archive);
          static_cast<juce::uint8*> (archive.getData())[data.getStart() + 100] ^= 0x01;
          return archive;
      } },
    { "moreDataThanDeclared", []
      {
          // The central directory says 100 bytes less than the stream unpacks to.
          auto archive = makeArchive ({ { "Morvane4.vst3/desktop.ini", juce::String::repeatedString ("[.ShellClassInfo]", 20) } }, 6);
          auto* bytes = static_cast<juce::uint8*> (archive.getData());
          const auto directoryOffset = juce::ByteOrder::littleEndianInt (bytes + archive.getSize() - 22 + 16);
          const auto declared = juce::ByteOrder::littleEndianInt (bytes + directoryOffset + 24) - 100;
          bytes[directoryOffset + 24] = (juce::uint8) (declared & 0xff);
          bytes[directoryOffset + 25] = (juce::uint8) ((declared >> 8) & 0xff);
          return archive;
      } },
    { "truncated", []
      {
          auto archive = carriedArchive (0);
          archive.setSize (archive.getSize() / 2);
          return archive;
      } },
    { "randomBytes", []
      {
          juce::MemoryBlock bytes (4096);
          juce::Random (4026).fillBitsRandomly (bytes.getData(), bytes.getSize());
          return bytes;
      } },
    { "anEntryOutsideTheBundle", []
      { return makeArchive ({ { "Morvane4.vst3/desktop.ini", "ini" }, { "Other.vst3/desktop.ini", "ini" } }, 6); } },
    { "anEntryClimbingOut", []
      { return makeArchive ({ { "Morvane4.vst3/desktop.ini", "ini" }, { "Morvane4.vst3/../../evil.txt", "evil" } }, 6); } },
    { "anAbsolutePath", []
      { return makeArchive ({ { "/Morvane4.vst3/desktop.ini", "ini" } }, 6); } },
    { "anotherBundleName", []
      { return makeArchive ({ { "Morvane5.vst3/desktop.ini", "ini" } }, 6); } },
    { "theBundleAsAFileWithEntriesBelowIt", []
      { return makeArchive ({ { "Morvane4.vst3", "file" }, { "Morvane4.vst3/desktop.ini", "ini" } }, 6); } },
    { "theSamePathTwice", []
      { return makeArchive ({ { "Morvane4.vst3/desktop.ini", "ini" }, { "Morvane4.vst3\\Desktop.ini", "ini" } }, 6); } },
};

INSTANTIATE_TEST_SUITE_P (Archives, DamagedArchiveTest, testing::ValuesIn (damagedArchives),
                          [] (const testing::TestParamInfo<DamagedArchive>& param) { return std::string (param.param.name); });

// Names that Windows cannot hold as they are, or that mean a device there.
struct NameWindowsCannotHold
{
    const char* testName;
    const char* entryName; // "@@@@" in it stands for `raw`, the same number of bytes as stored
    std::string raw;
};

const NameWindowsCannotHold namesWindowsCannotHold[] = {
    { "aTrailingDot", "Morvane4.vst3/desktop.ini.", "" },
    { "aTrailingSpace", "Morvane4.vst3/desktop.ini ", "" },
    { "aFolderWithATrailingDot", "Morvane4.vst3/Contents./x", "" },
    { "threeDots", "Morvane4.vst3/...", "" },
    { "aDevice", "Morvane4.vst3/CON", "" },
    { "aDeviceWithAnExtension", "Morvane4.vst3/nul.txt", "" },
    { "aDeviceWithTwoExtensions", "Morvane4.vst3/Aux.tar.gz", "" },
    { "aDeviceAsAFolder", "Morvane4.vst3/Contents/lpt9/x", "" },
    { "aDeviceBeforeASpace", "Morvane4.vst3/com1 .txt", "" },
    { "aDeviceWithASuperscriptDigit", "Morvane4.vst3/COM\xc2\xb9", "" },
    { "aByteThatIsNoUtf8", "Morvane4.vst3/@@@@", "a\377bc" },
    { "anOverlongSlash", "Morvane4.vst3/@@@@", "a\300\257b" },
    { "aSurrogate", "Morvane4.vst3/@@@@", "a\xed\xa0\x80" },
    { "aSequenceCutShort", "Morvane4.vst3/@@@@", "abc\xc3" },
    { "aNul", "Morvane4.vst3/a@@@@", std::string ("b\0cd", 4) },
};

std::vector<DamagedArchive> archivesWithNamesWindowsCannotHold()
{
    std::vector<DamagedArchive> archives;

    for (const auto& name : namesWindowsCannotHold)
    {
        archives.push_back ({ name.testName, [name]
                              {
                                  auto archive = makeArchive ({ { "Morvane4.vst3/desktop.ini", "ini" }, { juce::CharPointer_UTF8 (name.entryName), "x" } }, 6);
                                  auto* const begin = static_cast<char*> (archive.getData());
                                  auto* const end = begin + archive.getSize();
                                  const std::string placeholder ("@@@@");

                                  for (auto* at = std::search (begin, end, placeholder.begin(), placeholder.end()); at != end;
                                       at = std::search (at, end, placeholder.begin(), placeholder.end()))
                                      at = std::copy (name.raw.begin(), name.raw.end(), at);

                                  return archive;
                              } });
    }

    return archives;
}

INSTANTIATE_TEST_SUITE_P (EntryNames, DamagedArchiveTest, testing::ValuesIn (archivesWithNamesWindowsCannotHold()),
                          [] (const testing::TestParamInfo<DamagedArchive>& param) { return std::string (param.param.name); });

TEST_F (BundleInstallerTest, namesThatOnlyLookLikeDevicesOrOddNamesInstall)
{
    const juce::StringArray names { "CONSOLE.txt", "com10", "LPT0", "nul_", ".hidden", " leading space", juce::CharPointer_UTF8 ("M\xc3\xbcsik.txt") };
    std::vector<std::pair<juce::String, juce::String>> entries;

    for (const auto& name : names)
        entries.push_back ({ "Morvane4.vst3/" + name, name });

    ASSERT_TRUE (install (installFolder, 0, makeArchive (entries, 6)).wasOk());

    for (const auto& name : names)
        EXPECT_EQ (installFolder.getChildFile ("Morvane4.vst3").getChildFile (name).loadFileAsString(), name);
}

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

TEST_F (BundleInstallerTest, uninstallingAMissingBundleChangesNothing)
{
    writeFile (installFolder.getChildFile ("Other.vst3/file"), "a neighbour");
    const auto before = snapshot (folder.get());

    EXPECT_TRUE (uninstallBundle (installFolder, "Morvane4.vst3").wasOk());
    EXPECT_TRUE (uninstallBundle (folder / "missing", "Morvane4.vst3").wasOk());
    EXPECT_TRUE (sameTree (snapshot (folder.get()), before));
}

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

//==============================================================================
/** Sets the engine's step hook for one test. */
struct ScopedStepHook
{
    explicit ScopedStepHook (DurableFiles::StepHook hook) { DurableFiles::setStepHook (std::move (hook)); }
    ~ScopedStepHook() { DurableFiles::setStepHook (nullptr); }
};

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
    { "stagingFolderVanishesBeforeAFolderIsMade", "create folder", 3,
      [] (const juce::File& staging) { staging.deleteRecursively(); }, "the folder cannot be created" },
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

#if JUCE_LINUX
//==============================================================================
#ifdef TW_TRACED_INSTALL
/** One successful system call of a recorded run: its name, the paths strace showed for its file
    descriptors (-y), and the path strings it was given (other strings are cut short by -s 0). */
struct TracedCall
{
    std::string name;
    std::vector<std::string> descriptorPaths, strings;
};

std::vector<TracedCall> readTrace (const juce::File& log)
{
    static const std::regex callPattern (R"(^\d+\s+(\w+)\((.*)\) = \d+)"), stringPattern (R"("((?:[^"\\]|\\.)*)\")"),
        descriptorPattern (R"(<([^>]*)>)");
    std::vector<TracedCall> calls;

    for (const auto& line : juce::StringArray::fromLines (log.loadFileAsString()))
    {
        std::smatch call;
        const auto text = line.toStdString();

        if (! std::regex_search (text, call, callPattern))
            continue;

        TracedCall traced { call[1], {}, {} };
        const auto arguments = call[2].str();

        for (std::sregex_iterator m (arguments.begin(), arguments.end(), stringPattern), end; m != end; ++m)
            traced.strings.push_back ((*m)[1]);

        const auto withoutStrings = std::regex_replace (arguments, stringPattern, "");

        for (std::sregex_iterator m (withoutStrings.begin(), withoutStrings.end(), descriptorPattern), end; m != end; ++m)
            traced.descriptorPaths.push_back ((*m)[1]);

        calls.push_back (traced);
    }

    return calls;
}

TEST_F (BundleInstallerTest, flushesTheNewBundleBeforeTheSwapAndTheSwapBeforeTheOldBundleIsDeleted)
{
    makeOldBundle (0);
    const auto log = folder / "trace.log";
    juce::ChildProcess strace;
    ASSERT_TRUE (strace.start (juce::StringArray { "strace", "-f", "-qq", "-y", "-s", "0", "-o", log.getFullPathName(),
                                                   "-e", "trace=write,fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat,rmdir",
                                                   TW_TRACED_INSTALL, installFolder.getFullPathName() }));
    const auto output = strace.readAllProcessOutput();
    ASSERT_EQ (strace.getExitCode(), 0u) << output;

    const auto calls = readTrace (log);
    const auto bundle = installFolder.getChildFile ("Morvane4.vst3").getFullPathName().toStdString();
    const auto isFlush = [] (const TracedCall& call) { return call.name == "fsync" || call.name == "fdatasync"; };
    const auto pathOf = [] (const TracedCall& call) { return call.descriptorPaths.empty() ? std::string() : call.descriptorPaths.back(); };
    size_t swapIn = calls.size(), movedAside = calls.size();

    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i].name.rfind ("rename", 0) == 0 && calls[i].strings.size() == 2)
            (calls[i].strings[1] == bundle ? swapIn : calls[i].strings[0] == bundle ? movedAside : i) = i;

    ASSERT_LT (swapIn, calls.size()) << "no rename brought the new bundle in";
    EXPECT_LT (movedAside, swapIn) << "the old bundle was not renamed aside first";
    const auto staged = calls[swapIn].strings[0];

    // Before the swap: each staged file flushed after its last write, and each staged folder flushed.
    std::map<std::string, size_t> lastWrite, lastFlush;
    std::set<std::string> folders;

    for (size_t i = 0; i < swapIn; ++i)
    {
        const auto path = pathOf (calls[i]);

        if (isFlush (calls[i]))
            lastFlush[path] = i;
        else if (calls[i].name == "write" && path.rfind (staged + "/", 0) == 0)
            lastWrite[path] = i;

        for (auto dir = path.substr (0, path.rfind ('/')); calls[i].name == "write" && dir.rfind (staged, 0) == 0; dir = dir.substr (0, dir.rfind ('/')))
            folders.insert (dir);
    }

    ASSERT_EQ (lastWrite.size(), 4u); // the archive's four files
    ASSERT_EQ (folders.size(), 4u);   // the bundle, Contents, Resources, x86_64-win

    for (const auto& [file, written] : lastWrite)
        EXPECT_TRUE (lastFlush.count (file) != 0 && lastFlush[file] > written) << "not flushed: " << file;

    for (const auto& dir : folders)
        EXPECT_EQ (lastFlush.count (dir), 1u) << "not flushed: " << dir;

    // After it: the install folder flushed before anything of the old bundle is deleted.
    size_t folderFlushed = calls.size(), firstDeletion = calls.size();

    for (size_t i = calls.size(); i-- > swapIn;)
    {
        const auto removed = calls[i].name == "unlinkat" ? pathOf (calls[i]) + "/" + calls[i].strings[0]
                                                         : calls[i].strings.empty() ? std::string() : calls[i].strings[0];

        if (isFlush (calls[i]) && pathOf (calls[i]) == installFolder.getFullPathName().toStdString())
            folderFlushed = i;
        else if ((calls[i].name == "unlink" || calls[i].name == "unlinkat" || calls[i].name == "rmdir")
                 && removed.find (".staging-") == std::string::npos && removed.find (".lock") == std::string::npos)
            firstDeletion = i;
    }

    ASSERT_LT (firstDeletion, calls.size()) << "the old bundle was never deleted";
    EXPECT_LT (folderFlushed, firstDeletion);
}
#endif

//==============================================================================
/** A copy of the installer in a child process; `whileRunning` is called at its steps. */
pid_t startCopy (const std::function<juce::Result()>& run, const DurableFiles::StepHook& whileRunning)
{
    const auto child = fork();

    if (child == 0)
    {
        DurableFiles::setStepHook (whileRunning);
        _exit (run().wasOk() ? 0 : 1);
    }

    return child;
}

int waitForExitCode (pid_t child)
{
    int status = 0;
    return waitpid (child, &status, 0) == child && WIFEXITED (status) ? WEXITSTATUS (status) : -1;
}

TEST_F (BundleInstallerTest, aSecondCopyNeverTouchesTheFirstOnesBundle)
{
    makeOldBundle (0);
    int toParent[2], toChild[2];
    ASSERT_EQ (pipe (toParent), 0);
    ASSERT_EQ (pipe (toChild), 0);

    // The first copy stops after its first file, staging folder and lock in place, until told to go on.
    const auto first = startCopy ([&] { return install (installFolder, 0, carriedArchive (0)); },
                                  [&, paused = false] (const char* step, const juce::File&) mutable
                                  {
                                      if (paused || juce::String (step) != "write file")
                                          return;

                                      paused = true;
                                      char byte = 0;
                                      (void) ! write (toParent[1], &byte, 1);
                                      (void) ! read (toChild[0], &byte, 1);
                                  });
    char byte = 0;
    ASSERT_EQ (read (toParent[0], &byte, 1), 1);
    const auto whileFirstRuns = snapshot (installFolder);

    EXPECT_EQ (install (installFolder, 0, carriedArchive (0)).getErrorMessage(), "another installation is running");
    EXPECT_EQ (uninstallBundle (installFolder, "Morvane4.vst3").getErrorMessage(), "another installation is running");
    repairInterruptedRun (installFolder, "Morvane4.vst3");
    EXPECT_TRUE (sameTree (snapshot (installFolder), whileFirstRuns));

    ASSERT_EQ (write (toChild[1], &byte, 1), 1);
    EXPECT_EQ (waitForExitCode (first), 0);
    EXPECT_TRUE (sameTree (snapshot (installFolder), unpackWithJuce (carriedArchive (0), folder / "reference")));

    for (auto fd : { toParent[0], toParent[1], toChild[0], toChild[1] })
        close (fd);
}

//==============================================================================
struct InterruptedRun
{
    const char* name;
    int formatIndex;
    bool uninstall;
};

void PrintTo (const InterruptedRun& run, std::ostream* out) { *out << run.name; }

class InterruptedRunTest : public BundleInstallerTest, public testing::WithParamInterface<InterruptedRun>
{
};

TEST_P (InterruptedRunTest, killedAtAnyStepTheNextStartLeavesTheOldOrTheNewBundleAndNothingElse)
{
    const auto [name, formatIndex, uninstall] = GetParam();
    const auto bundleName = getBundleName ("Morvane4", formatIndex);
    const auto archive = carriedArchive (formatIndex);
    makeOldBundle (formatIndex);
    const auto oldTree = snapshot (installFolder);
    const auto newTree = uninstall ? Tree() : unpackWithJuce (archive, folder / "reference");
    constexpr int killed = 42;
    juce::StringArray outcomes;

    for (int n = 1; n < 200; ++n)
    {
        const auto copy = startCopy ([&] { return uninstall ? uninstallBundle (installFolder, bundleName) : install (installFolder, formatIndex, archive); },
                                     [n, steps = 0] (const char*, const juce::File&) mutable
                                     {
                                         if (++steps == n)
                                             _exit (killed);
                                     });
        const auto exitCode = waitForExitCode (copy);
        ASSERT_TRUE (exitCode == 0 || exitCode == killed) << "step " << n << ": exit code " << exitCode;

        repairInterruptedRun (installFolder, bundleName); // the next start
        const auto now = snapshot (installFolder);
        const auto isNew = sameTree (now, newTree);
        ASSERT_TRUE (isNew || sameTree (now, oldTree)) << "killed at step " << n << ": " << sameTree (now, oldTree).message();
        outcomes.add (isNew ? "new" : "old");

        if (exitCode == 0)
            break;

        installFolder.deleteRecursively();
        makeOldBundle (formatIndex);
    }

    // Old up to one step, new from then on; and the run did finish.
    const auto text = outcomes.joinIntoString (" ");
    EXPECT_TRUE (outcomes.size() > 3 && text.startsWith ("old") && text.endsWith ("new")
                 && ! text.fromFirstOccurrenceOf ("new", false, false).contains ("old"))
        << text;
}

const InterruptedRun interruptedRuns[] = {
    { "updateOfAFolderBundle", 0, false },
    { "updateOfASingleFileBundle", 1, false },
    { "uninstallOfAFolderBundle", 2, true },
    { "uninstallOfASingleFileBundle", 1, true },
};

INSTANTIATE_TEST_SUITE_P (Runs, InterruptedRunTest, testing::ValuesIn (interruptedRuns),
                          [] (const testing::TestParamInfo<InterruptedRun>& param) { return std::string (param.param.name); });
#endif
