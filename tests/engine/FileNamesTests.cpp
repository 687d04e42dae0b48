#include "engine/BundleFixture.h"

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
