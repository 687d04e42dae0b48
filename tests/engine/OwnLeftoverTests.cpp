#include "TestFolder.h"
#include "engine/OwnLeftover.h"

#include <gtest/gtest.h>

#include <functional>

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <sys/stat.h>
 #include <unistd.h>
#endif

using MakeLeftover = std::function<bool (const juce::File& at, const juce::File& elsewhere)>;

class OwnLeftoverTest : public testing::TestWithParam<std::pair<const char*, MakeLeftover>>
{
};

// Only the first kind is this account's own plain file of one name; nothing else goes, nor what it leads to.
TEST_P (OwnLeftoverTest, removesOnlyThisAccountsOwnPlainFile)
{
    TestFolder folder;
    const auto at = folder / "Temp/script.sh", elsewhere = folder / "elsewhere.txt";
    ASSERT_TRUE (at.getParentDirectory().createDirectory().wasOk() && elsewhere.replaceWithText ("kept"));

    if (! GetParam().second (at, elsewhere))
        GTEST_SKIP() << "cannot be made by this user";

    const auto own = juce::String (GetParam().first) == "aPlainFileOfItsOwn";
    EXPECT_EQ (removeOwnPlainFile (at.getParentDirectory(), "script.sh"), own);
    EXPECT_EQ (at.exists() || at.isSymbolicLink(), ! own);
    EXPECT_EQ (elsewhere.loadFileAsString(), "kept");
}

const std::pair<const char*, MakeLeftover> leftovers[] = {
    { "aPlainFileOfItsOwn", [] (const juce::File& at, const juce::File&) { return at.replaceWithText ("rm -rf"); } },
    { "aFolder", [] (const juce::File& at, const juce::File&) { return at.createDirectory().wasOk(); } },
   #if JUCE_WINDOWS
    { "aSecondName", [] (const juce::File& at, const juce::File& e) { return CreateHardLinkW (at.getFullPathName().toWideCharPointer(), e.getFullPathName().toWideCharPointer(), nullptr) != 0; } },
   #else
    { "aSecondName", [] (const juce::File& at, const juce::File& e) { return ::link (e.getFullPathName().toRawUTF8(), at.getFullPathName().toRawUTF8()) == 0; } },
    { "aLinkToAFile", [] (const juce::File& at, const juce::File& e) { return e.createSymbolicLink (at, false); } },
    { "aFifo", [] (const juce::File& at, const juce::File&) { return ::mkfifo (at.getFullPathName().toRawUTF8(), 0600) == 0; } },
    { "anotherUsersFile", [] (const juce::File& at, const juce::File&) { return at.replaceWithText ("x") && ::chown (at.getFullPathName().toRawUTF8(), 65534, 65534) == 0; } },
   #endif
};

INSTANTIATE_TEST_SUITE_P (Kinds, OwnLeftoverTest, testing::ValuesIn (leftovers),
                          [] (const testing::TestParamInfo<std::pair<const char*, MakeLeftover>>& param) { return std::string (param.param.first); });
