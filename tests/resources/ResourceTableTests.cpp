// Tests of the compiled resource table and of the three plug-in archives it carries.
#include "BinaryData.h"
#include "TestFolder.h"
#include "engine/ZipDirectory.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

namespace
{
    //==============================================================================
    struct ResourceRow
    {
        const char* resourceName;
        const char* fileName;
        const char* data;
        int size;
        bool isArchive;
    };

    // The table order the program is built with.
    const std::vector<ResourceRow> resourceTable {
        { "aax_zip", "aax.zip", BinaryData::aax_zip, BinaryData::aax_zipSize, true },
        { "clap_zip", "clap.zip", BinaryData::clap_zip, BinaryData::clap_zipSize, true },
        { "vst3_zip", "vst3.zip", BinaryData::vst3_zip, BinaryData::vst3_zipSize, true },
        { "SFProRoundedRegular_otf", "SF-Pro-Rounded-Regular.otf", BinaryData::SFProRoundedRegular_otf, BinaryData::SFProRoundedRegular_otfSize, false },
        { "SFProRoundedSemibold_otf", "SF-Pro-Rounded-Semibold.otf", BinaryData::SFProRoundedSemibold_otf, BinaryData::SFProRoundedSemibold_otfSize, false },
        { "tw_emblem_png", "tw_emblem.png", BinaryData::tw_emblem_png, BinaryData::tw_emblem_pngSize, false },
        { "icon_aax_svg", "icon_aax.svg", BinaryData::icon_aax_svg, BinaryData::icon_aax_svgSize, false },
        { "icon_auv2_svg", "icon_auv2.svg", BinaryData::icon_auv2_svg, BinaryData::icon_auv2_svgSize, false },
        { "icon_auv3_svg", "icon_auv3.svg", BinaryData::icon_auv3_svg, BinaryData::icon_auv3_svgSize, false },
        { "icon_clap_svg", "icon_clap.svg", BinaryData::icon_clap_svg, BinaryData::icon_clap_svgSize, false },
        { "icon_discord_svg", "icon_discord.svg", BinaryData::icon_discord_svg, BinaryData::icon_discord_svgSize, false },
        { "icon_eula_svg", "icon_eula.svg", BinaryData::icon_eula_svg, BinaryData::icon_eula_svgSize, false },
        { "icon_help_svg", "icon_help.svg", BinaryData::icon_help_svg, BinaryData::icon_help_svgSize, false },
        { "icon_install_svg", "icon_install.svg", BinaryData::icon_install_svg, BinaryData::icon_install_svgSize, false },
        { "icon_lv2_svg", "icon_lv2.svg", BinaryData::icon_lv2_svg, BinaryData::icon_lv2_svgSize, false },
        { "icon_mail_svg", "icon_mail.svg", BinaryData::icon_mail_svg, BinaryData::icon_mail_svgSize, false },
        { "icon_manual_svg", "icon_manual.svg", BinaryData::icon_manual_svg, BinaryData::icon_manual_svgSize, false },
        { "icon_success_svg", "icon_success.svg", BinaryData::icon_success_svg, BinaryData::icon_success_svgSize, false },
        { "icon_vst3_svg", "icon_vst3.svg", BinaryData::icon_vst3_svg, BinaryData::icon_vst3_svgSize, false },
        { "icon_warning_svg", "icon_warning.svg", BinaryData::icon_warning_svg, BinaryData::icon_warning_svgSize, false },
        { "icon_web_svg", "icon_web.svg", BinaryData::icon_web_svg, BinaryData::icon_web_svgSize, false },
        { "logo_tarnwick_svg", "logo_tarnwick.svg", BinaryData::logo_tarnwick_svg, BinaryData::logo_tarnwick_svgSize, false },
    };

    juce::File sourceFileOf (const ResourceRow& row)
    {
        return juce::File (row.isArchive ? TW_PLUGIN_ARCHIVES_FOLDER : TW_RESOURCES_DIR).getChildFile (row.fileName);
    }

    //==============================================================================
    struct ExpectedEntry
    {
        const char* name;
        int method;
        int hour, minute, second;
    };

    struct ArchiveCase
    {
        const char* label;
        const char* data;
        int size;
        const char* bundleName;
        bool bundleIsFolder;
        const char* modulePath; // below the install folder, with '/'
        std::vector<ExpectedEntry> entries;
    };

    const std::vector<ArchiveCase> archiveCases {
        { "VST3", BinaryData::vst3_zip, BinaryData::vst3_zipSize, "Morvane4.vst3", true, "Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3", { { "Morvane4.vst3\\Contents\\", 0, 18, 53, 56 }, { "Morvane4.vst3\\desktop.ini", 8, 18, 50, 24 }, { "Morvane4.vst3\\Plugin.ico", 8, 18, 52, 50 }, { "Morvane4.vst3\\Contents\\Resources\\moduleinfo.json", 8, 18, 52, 50 }, { "Morvane4.vst3\\Contents\\x86_64-win\\Morvane4.vst3", 8, 18, 53, 52 } } },
        { "CLAP", BinaryData::clap_zip, BinaryData::clap_zipSize, "Morvane4.clap", false, "Morvane4.clap", { { "Morvane4.clap", 8, 18, 53, 48 } } },
        { "AAX", BinaryData::aax_zip, BinaryData::aax_zipSize, "Morvane4.aaxplugin", true, "Morvane4.aaxplugin/Contents/x64/Morvane4.aaxplugin", { { "Morvane4.aaxplugin\\Contents\\", 0, 18, 53, 54 }, { "Morvane4.aaxplugin\\desktop.ini", 8, 18, 50, 24 }, { "Morvane4.aaxplugin\\Plugin.ico", 8, 18, 51, 32 }, { "Morvane4.aaxplugin\\Contents\\x64\\Morvane4.aaxplugin", 8, 18, 53, 40 } } },
    };

    // Names the parameter in test names by its label alone.
    void PrintTo (const ArchiveCase& archive, std::ostream* os)
    {
        *os << archive.label;
    }

    constexpr int versionTwoOnMsDos = 20; // version 2.0 in the low byte, host 0 (MS-DOS) in the high byte
    constexpr int archiveDosDate = ((2026 - 1980) << 9) | (4 << 5) | 26;
    constexpr juce::uint32 localHeaderSignature = 0x04034b50;
    constexpr size_t localHeaderSize = 30;

    int dosTime (const ExpectedEntry& e)
    {
        return (e.hour << 11) | (e.minute << 5) | (e.second / 2);
    }

    juce::String unpackedPath (const juce::String& entryName)
    {
        return entryName.replaceCharacter ('\\', '/');
    }

#if ! JUCE_WINDOWS
    struct ProcessResult
    {
        bool started = false;
        int exitCode = -1;
        juce::String output;
    };

    ProcessResult runProcess (const juce::StringArray& arguments, int streams)
    {
        ProcessResult result;
        juce::ChildProcess process;
        result.started = process.start (arguments, streams);

        if (result.started)
        {
            result.output = process.readAllProcessOutput();
            process.waitForProcessToFinish (-1);
            result.exitCode = (int) process.getExitCode();
        }

        return result;
    }

    const juce::File toolsFolder = juce::File (TW_SOURCE_DIR).getChildFile ("tools");

    // pefile, a PE reader that is not ours: prints "<file version or none> <number of parser warnings>".
    const char* const pefileVersionScript =
        "import sys, pefile\n"
        "pe = pefile.PE(sys.argv[1])\n"
        "version = 'none'\n"
        "if hasattr(pe, 'VS_FIXEDFILEINFO'):\n"
        "    f = pe.VS_FIXEDFILEINFO[0]\n"
        "    version = '%d.%d.%d.%d' % (f.FileVersionMS >> 16, f.FileVersionMS & 0xFFFF, f.FileVersionLS >> 16, f.FileVersionLS & 0xFFFF)\n"
        "print(version, len(pe.get_warnings()))\n";

    ProcessResult readWithPefile (const juce::File& module)
    {
        return runProcess ({ TW_PYTHON, "-c", pefileVersionScript, module.getFullPathName() }, juce::ChildProcess::wantStdOut);
    }
#endif

    // The module's file version as an outside reader sees it: Windows' own version API where there
    // is one, pefile elsewhere.
    juce::String readFileVersionFromOutside (const juce::File& module)
    {
#if JUCE_WINDOWS
        return module.getVersion();
#else
        const auto result = readWithPefile (module);
        return result.exitCode == 0 ? juce::StringArray::fromTokens (result.output, false)[0] : "(" + result.output + ")";
#endif
    }
} // namespace

//==============================================================================
TEST (ResourceTable, listsTheTwentyTwoResourcesInTableOrder)
{
    ASSERT_EQ (BinaryData::namedResourceListSize, 22);
    ASSERT_EQ (resourceTable.size(), 22u);

    for (int i = 0; i < BinaryData::namedResourceListSize; ++i)
    {
        SCOPED_TRACE (i);
        EXPECT_STREQ (BinaryData::namedResourceList[i], resourceTable[(size_t) i].resourceName);
        EXPECT_STREQ (BinaryData::originalFilenames[i], resourceTable[(size_t) i].fileName);
    }
}

TEST (ResourceTable, eachResourceHoldsItsSourceFileByteForByte)
{
    for (const auto& row : resourceTable)
    {
        SCOPED_TRACE (row.resourceName);
        const auto source = sourceFileOf (row);
        ASSERT_TRUE (source.existsAsFile()) << source.getFullPathName();

        juce::MemoryBlock bytes;
        ASSERT_TRUE (source.loadFileAsData (bytes));

        EXPECT_EQ ((juce::int64) row.size, source.getSize());
        ASSERT_EQ ((size_t) row.size, bytes.getSize());
        EXPECT_EQ (std::memcmp (row.data, bytes.getData(), bytes.getSize()), 0);
        EXPECT_EQ (row.data[row.size], 0) << "the byte after the data is not counted and is zero";
    }
}

//==============================================================================
class CarriedArchive : public ::testing::TestWithParam<ArchiveCase>
{
protected:
    ZipDirectory readDirectory() const
    {
        ZipDirectory directory;
        const auto result = readZipDirectory (GetParam().data, (size_t) GetParam().size, directory);
        EXPECT_TRUE (result.wasOk()) << result.getErrorMessage();
        return directory;
    }

    juce::Result unpackInto (const juce::File& folder) const
    {
        juce::MemoryInputStream stream (GetParam().data, (size_t) GetParam().size, false);
        juce::ZipFile zip (stream);
        return zip.uncompressTo (folder, true);
    }
};

TEST_P (CarriedArchive, centralDirectoryListsExactlyTheLayoutsEntries)
{
    const auto& expected = GetParam().entries;
    const auto directory = readDirectory();

    EXPECT_FALSE (directory.isZip64);
    EXPECT_EQ (directory.archiveCommentLength, 0);
    ASSERT_EQ ((size_t) directory.entries.size(), expected.size());

    for (size_t i = 0; i < expected.size(); ++i)
    {
        const auto& entry = directory.entries.getReference ((int) i);
        SCOPED_TRACE (expected[i].name);

        EXPECT_EQ (entry.name, juce::String (expected[i].name));
        EXPECT_EQ (entry.method, expected[i].method);
        EXPECT_EQ (entry.flags, 0);
        EXPECT_EQ (entry.versionMadeBy, versionTwoOnMsDos);
        EXPECT_EQ (entry.versionNeeded, versionTwoOnMsDos);
        EXPECT_EQ (entry.dosDate, archiveDosDate);
        EXPECT_EQ (entry.dosTime, dosTime (expected[i]));
        EXPECT_EQ (entry.extraFieldLength, 0);
        EXPECT_EQ (entry.commentLength, 0);
        EXPECT_EQ (entry.externalAttributes, 0u);

        if (entry.isFolder())
        {
            EXPECT_EQ (entry.compressedSize, 0);
            EXPECT_EQ (entry.uncompressedSize, 0);
        }
    }
}

TEST_P (CarriedArchive, localHeadersRepeatTheDirectoryInOrderWithoutDataDescriptors)
{
    const auto directory = readDirectory();
    const auto* bytes = reinterpret_cast<const juce::uint8*> (GetParam().data);
    const auto size = (juce::int64) GetParam().size;
    juce::int64 expectedOffset = 0;

    for (const auto& entry : directory.entries)
    {
        SCOPED_TRACE (entry.name);
        ASSERT_EQ (entry.localHeaderOffset, expectedOffset) << "local records follow each other in directory order";
        ASSERT_LE (entry.localHeaderOffset + (juce::int64) localHeaderSize, size);

        const auto* header = bytes + entry.localHeaderOffset;
        const auto nameLength = (int) juce::ByteOrder::littleEndianShort (header + 26);
        const auto extraLength = (int) juce::ByteOrder::littleEndianShort (header + 28);

        EXPECT_EQ (juce::ByteOrder::littleEndianInt (header), localHeaderSignature);
        EXPECT_EQ ((int) juce::ByteOrder::littleEndianShort (header + 4), versionTwoOnMsDos);
        EXPECT_EQ ((int) juce::ByteOrder::littleEndianShort (header + 6), 0) << "flags: no data descriptor";
        EXPECT_EQ ((int) juce::ByteOrder::littleEndianShort (header + 8), entry.method);
        EXPECT_EQ ((int) juce::ByteOrder::littleEndianShort (header + 10), entry.dosTime);
        EXPECT_EQ ((int) juce::ByteOrder::littleEndianShort (header + 12), entry.dosDate);
        EXPECT_EQ (juce::ByteOrder::littleEndianInt (header + 14), entry.crc32);
        EXPECT_EQ ((juce::int64) juce::ByteOrder::littleEndianInt (header + 18), entry.compressedSize);
        EXPECT_EQ ((juce::int64) juce::ByteOrder::littleEndianInt (header + 22), entry.uncompressedSize);
        EXPECT_EQ (extraLength, 0);
        ASSERT_LE (entry.localHeaderOffset + (juce::int64) localHeaderSize + nameLength, size);
        EXPECT_EQ (juce::String::fromUTF8 (reinterpret_cast<const char*> (header + localHeaderSize), nameLength), entry.name);

        expectedOffset = entry.localHeaderOffset + (juce::int64) localHeaderSize + nameLength + extraLength + entry.compressedSize;
    }
}

TEST_P (CarriedArchive, everyEntryUnpacksToItsDeclaredSizeAndChecksum)
{
    // juce::ZipFile checks neither, so a damaged archive would install damaged files silently.
    const auto directory = readDirectory();
    juce::MemoryInputStream stream (GetParam().data, (size_t) GetParam().size, false);
    juce::ZipFile zip (stream);
    ASSERT_EQ (zip.getNumEntries(), directory.entries.size());

    for (int i = 0; i < directory.entries.size(); ++i)
    {
        const auto& entry = directory.entries.getReference (i);
        SCOPED_TRACE (entry.name);

        std::unique_ptr<juce::InputStream> in (zip.createStreamForEntry (i));
        ASSERT_NE (in, nullptr);

        juce::MemoryBlock unpacked;
        in->readIntoMemoryBlock (unpacked);

        EXPECT_EQ ((juce::int64) unpacked.getSize(), entry.uncompressedSize);
        const auto crc = (juce::uint32) crc32 (0, static_cast<const Bytef*> (unpacked.getData()), (uInt) unpacked.getSize());
        EXPECT_EQ (crc, entry.crc32);
    }
}

TEST_P (CarriedArchive, unpacksIntoOneTopLevelItemNamedAfterTheBundleWithNestedFolders)
{
    const TestFolder target;
    const auto result = unpackInto (target.get());
    ASSERT_TRUE (result.wasOk()) << result.getErrorMessage();

    const auto topLevel = target.get().findChildFiles (juce::File::findFilesAndDirectories, false);
    ASSERT_EQ (topLevel.size(), 1);
    EXPECT_EQ (topLevel[0].getFileName(), juce::String (GetParam().bundleName));
    EXPECT_EQ (topLevel[0].isDirectory(), GetParam().bundleIsFolder);

    // The archive has no entries for intermediate folders such as "x64"; unpacking makes them.
    const auto module = target / GetParam().modulePath;
    EXPECT_TRUE (module.existsAsFile()) << module.getFullPathName();

    const auto everything = target.get().findChildFiles (juce::File::findFilesAndDirectories, true);
    int files = 0;

    for (const auto& item : everything)
    {
        EXPECT_FALSE (item.getFileName().containsChar ('\\')) << item.getFullPathName();

        if (item.existsAsFile())
            ++files;
    }

    int fileEntries = 0;

    for (const auto& entry : readDirectory().entries)
    {
        SCOPED_TRACE (entry.name);
        const auto unpacked = target / unpackedPath (entry.name);

        if (entry.isFolder())
        {
            EXPECT_TRUE (unpacked.isDirectory());
        }
        else
        {
            ++fileEntries;
            EXPECT_TRUE (unpacked.existsAsFile());
            EXPECT_EQ (unpacked.getSize(), entry.uncompressedSize);
        }
    }

    EXPECT_EQ (files, fileEntries) << "nothing but the archive's files is written";
}

TEST_P (CarriedArchive, unpackedModuleReadsAsFileVersion4020ToAnOutsideReader)
{
    const TestFolder target;
    const auto result = unpackInto (target.get());
    ASSERT_TRUE (result.wasOk()) << result.getErrorMessage();

    EXPECT_EQ (readFileVersionFromOutside (target / GetParam().modulePath), juce::String ("4.0.2.0"));
}

INSTANTIATE_TEST_SUITE_P (Archives, CarriedArchive, ::testing::ValuesIn (archiveCases),
                          [] (const ::testing::TestParamInfo<ArchiveCase>& archive)
                          { return std::string (archive.param.label); });

#if ! JUCE_WINDOWS
//==============================================================================
// tools/check_archives.py guards the build against deliverable archives that break the layout.
class ArchiveChecker : public ::testing::Test
{
protected:
    struct Entry
    {
        juce::String name;
        juce::String content;
    };

    static ProcessResult runChecker (const juce::File& archivesFolder)
    {
        return runProcess ({ TW_PYTHON, toolsFolder.getChildFile ("check_archives.py").getFullPathName(), archivesFolder.getFullPathName() },
                           juce::ChildProcess::wantStdErr);
    }

    // The carried archives, with one of them replaced by an archive of the given entries.
    juce::File folderWithReplacedArchive (const juce::String& archiveName, const std::vector<Entry>& entries) const
    {
        for (const auto* name : { "aax.zip", "clap.zip", "vst3.zip" })
            juce::File (TW_PLUGIN_ARCHIVES_FOLDER).getChildFile (name).copyFileTo (folder / name);

        juce::ZipFile::Builder builder;

        for (const auto& entry : entries)
        {
            const auto isFolder = entry.name.endsWithChar ('\\');
            builder.addEntry (new juce::MemoryInputStream (entry.content.toRawUTF8(), entry.content.getNumBytesAsUTF8(), true),
                              isFolder ? 0 : 9, entry.name, juce::Time (2026, 3, 26, 18, 0));
        }

        const auto archive = folder / archiveName;
        archive.deleteFile();
        juce::FileOutputStream out (archive);
        EXPECT_TRUE (out.openedOk());
        EXPECT_TRUE (builder.writeToStream (out, nullptr));
        return folder.get();
    }

    void expectRejection (const ProcessResult& result, const juce::String& archiveName, const juce::String& rule) const
    {
        ASSERT_TRUE (result.started);
        EXPECT_EQ (result.exitCode, 1);
        EXPECT_TRUE (result.output.contains ((folder / archiveName).getFullPathName() + ": ")) << result.output;
        EXPECT_TRUE (result.output.contains (rule)) << result.output;
    }

    TestFolder folder;
};

TEST_F (ArchiveChecker, acceptsTheCarriedArchives)
{
    const auto result = runChecker (juce::File (TW_PLUGIN_ARCHIVES_FOLDER));
    ASSERT_TRUE (result.started);
    EXPECT_EQ (result.exitCode, 0);
    EXPECT_TRUE (result.output.isEmpty()) << result.output;
}

TEST_F (ArchiveChecker, rejectsTwoTopLevelNames)
{
    const auto dir = folderWithReplacedArchive ("vst3.zip", { { "Morvane4.vst3\\Contents\\x86_64-win\\Morvane4.vst3", "module" },
                                                              { "Extras\\readme.txt", "text" } });
    expectRejection (runChecker (dir), "vst3.zip", "2 top-level names");
}

TEST_F (ArchiveChecker, rejectsAnEntryThatClimbsOutWithDotDot)
{
    const auto dir = folderWithReplacedArchive ("aax.zip", { { "Morvane4.aaxplugin\\Contents\\x64\\Morvane4.aaxplugin", "module" },
                                                             { "Morvane4.aaxplugin\\..\\..\\escaped.txt", "text" } });
    expectRejection (runChecker (dir), "aax.zip", "'..' component");
}

TEST_F (ArchiveChecker, rejectsABundleWhoseModuleIsMissing)
{
    const auto dir = folderWithReplacedArchive ("vst3.zip", { { "Morvane4.vst3\\Contents\\", "" },
                                                              { "Morvane4.vst3\\Contents\\x64\\Morvane4.vst3", "module" } });
    expectRejection (runChecker (dir), "vst3.zip", "module file \"Morvane4.vst3\\Contents\\x86_64-win\\Morvane4.vst3\" missing");
}

TEST_F (ArchiveChecker, rejectsAClapThatIsAFolderAndAWrongBundleName)
{
    auto dir = folderWithReplacedArchive ("clap.zip", { { "Morvane4.clap/Morvane4.clap", "module" } });
    expectRejection (runChecker (dir), "clap.zip", "must be a single file");

    dir = folderWithReplacedArchive ("clap.zip", { { "Morvane4 (1).clap", "module" } });
    expectRejection (runChecker (dir), "clap.zip", "is not the bundle name \"Morvane4.clap\"");
}

TEST_F (ArchiveChecker, rejectsAFolderEntryThatHoldsData)
{
    const auto dir = folderWithReplacedArchive ("aax.zip", { { "Morvane4.aaxplugin\\Contents\\", "not empty" },
                                                             { "Morvane4.aaxplugin\\Contents\\x64\\Morvane4.aaxplugin", "module" } });
    expectRejection (runChecker (dir), "aax.zip", "is not stored and empty");
}

TEST_F (ArchiveChecker, rejectsAMissingArchiveAndOneThatIsNoZip)
{
    const auto dir = folderWithReplacedArchive ("clap.zip", { { "Morvane4.clap", "module" } });
    (folder / "aax.zip").deleteFile();
    (folder / "vst3.zip").replaceWithText ("not an archive");

    const auto result = runChecker (dir);
    expectRejection (result, "aax.zip", "archive missing");
    expectRejection (result, "vst3.zip", "not a ZIP archive");
    EXPECT_FALSE (result.output.contains ((folder / "clap.zip").getFullPathName())) << result.output;
}

//==============================================================================
// tools/make_archives.py and tools/pe_module.py, which make the carried stand-ins and test modules.
TEST (ArchiveTools, committedArchivesAreExactlyWhatTheToolMakes)
{
    const auto result = runProcess ({ TW_PYTHON, toolsFolder.getChildFile ("make_archives.py").getFullPathName(), "--check" },
                                    juce::ChildProcess::wantStdErr);
    ASSERT_TRUE (result.started);
    EXPECT_EQ (result.exitCode, 0) << result.output;
}

TEST (ArchiveTools, peModuleWritesTheRequestedVersionAndOmitsTheResourceOnRequest)
{
    const TestFolder folder;
    const auto tool = toolsFolder.getChildFile ("pe_module.py").getFullPathName();
    const auto withVersion = folder / "Morvane4.clap";
    const auto withoutVersion = folder / "bare.dll";

    ASSERT_EQ (runProcess ({ TW_PYTHON, tool, withVersion.getFullPathName(), "--version", "4.0.10.7", "--name", "Morvane4.clap" }, 0).exitCode, 0);
    ASSERT_EQ (runProcess ({ TW_PYTHON, tool, withoutVersion.getFullPathName(), "--no-version-resource" }, 0).exitCode, 0);

    // pefile reports the version and no parser warnings at all.
    EXPECT_EQ (readWithPefile (withVersion).output.trim(), juce::String ("4.0.10.7 0"));
    EXPECT_EQ (readWithPefile (withoutVersion).output.trim(), juce::String ("none 0"));
}
#endif
