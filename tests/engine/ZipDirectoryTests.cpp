#include "engine/BundleFixture.h"

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
