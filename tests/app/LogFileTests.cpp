#include "TestFolder.h"
#include "app/LogFile.h"

#include <gtest/gtest.h>

#include <functional>

#if ! JUCE_WINDOWS
 #include <sys/stat.h>
 #include <unistd.h>

namespace
{
    const char* const outsideText = "an outside file, never to be touched\n";
    bool giveLinkToAnotherUser (const juce::File& link) { return ::lchown (link.getFullPathName().toRawUTF8(), 65534, (gid_t) -1) == 0; }
} // namespace

/** Something planted where the log goes, with an outside file it must not reach. */
struct PlantedLog
{
    const char* name;
    const char* logPath; // below the test folder
    std::function<bool (const TestFolder& folder, const juce::File& outside)> plant;
    bool needsRoot;
};

void PrintTo (const PlantedLog& planted, std::ostream* out) { *out << planted.name; }

class PlantedLogTest : public testing::TestWithParam<PlantedLog>
{
};

TEST_P (PlantedLogTest, isRefusedAndTheOutsideFileStaysAsItWas)
{
    if (GetParam().needsRoot && ::geteuid() != 0)
        GTEST_SKIP() << "needs root, to give a link to another user";

    TestFolder folder;
    const auto outside = folder / "outside/secret.txt";
    ASSERT_TRUE (outside.create().wasOk() && outside.replaceWithText (outsideText, false, false, "\n"));
    ASSERT_TRUE ((folder / "logs").createDirectory().wasOk());
    ASSERT_TRUE (GetParam().plant (folder, outside));

    EXPECT_EQ (LogFile::open (folder / GetParam().logPath), nullptr);
    EXPECT_EQ (outside.loadFileAsString(), outsideText);
    EXPECT_EQ ((folder / "outside").getNumberOfChildFiles (juce::File::findFilesAndDirectories, "*"), 1);
}

const PlantedLog plantedLogs[] = {
    { "aLinkAtTheName", "logs/install.log", [] (const TestFolder& f, const juce::File& outside)
      { return outside.createSymbolicLink (f / "logs/install.log", false); }, false },
    { "aHardLinkAtTheName", "logs/install.log", [] (const TestFolder& f, const juce::File& outside)
      { return ::link (outside.getFullPathName().toRawUTF8(), (f / "logs/install.log").getFullPathName().toRawUTF8()) == 0; }, false },
    { "aFifoAtTheName", "logs/install.log", [] (const TestFolder& f, const juce::File&)
      { return ::mkfifo ((f / "logs/install.log").getFullPathName().toRawUTF8(), 0644) == 0; }, false },
    { "aUsersLinkAsTheFolder", "linked/secret.txt", [] (const TestFolder& f, const juce::File& outside)
      { return outside.getParentDirectory().createSymbolicLink (f / "linked", false) && giveLinkToAnotherUser (f / "linked"); }, true },
    { "aUsersLinkHigherUp", "up/outside/secret.txt", [] (const TestFolder& f, const juce::File&)
      { return f.get().createSymbolicLink (f / "up", false) && giveLinkToAnotherUser (f / "up"); }, true },
    { "aLinkInAFolderAnyoneMayWriteTo", "open/linked/secret.txt", [] (const TestFolder& f, const juce::File& outside)
      {
          return (f / "open").createDirectory().wasOk() && ::chmod ((f / "open").getFullPathName().toRawUTF8(), 0777) == 0
              && outside.getParentDirectory().createSymbolicLink (f / "open/linked", false);
      }, false },
    { "twoMissingFolders", "new/deeper/install.log", [] (const TestFolder&, const juce::File&) { return true; }, false },
};

INSTANTIATE_TEST_SUITE_P (Kinds, PlantedLogTest, testing::ValuesIn (plantedLogs),
                          [] (const testing::TestParamInfo<PlantedLog>& param) { return std::string (param.param.name); });

TEST (LogFileTest, appendsToAPlainFileMakesOnlyItsOwnFolderAndFollowsLinksOfItsOwn)
{
    TestFolder folder;
    const auto log = folder / "logs/install.log";

    for (const auto* line : { "first\n", "second\n" })
    {
        const auto file = LogFile::open (log);
        ASSERT_NE (file, nullptr);
        EXPECT_TRUE (file->append (line));
    }

    EXPECT_EQ (log.loadFileAsString(), "first\nsecond\n");

    // A link this user made, in a folder only this user may change, is this user's own way there.
    ASSERT_TRUE ((folder / "logs").createSymbolicLink (folder / "shortcut", false));
    const auto file = LogFile::open (folder / "shortcut/install.log");
    ASSERT_NE (file, nullptr);
    EXPECT_TRUE (file->append ("third\n"));
    EXPECT_EQ (log.loadFileAsString(), "first\nsecond\nthird\n");
}
#endif
