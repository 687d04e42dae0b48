#include "engine/BundleFixture.h"
#include "engine/BundleVerify.h"

#include <atomic>
#include <thread>

namespace
{
    /** What a case does to the freshly installed bundle (VST3, or CLAP for format 1). False when
        the system cannot make it (a link, under Wine). */
    using Change = std::function<bool (const juce::File& bundle, const juce::File& elsewhere)>;

    bool flipFirstByte (const juce::File& file)
    {
        juce::MemoryBlock bytes;
        file.loadFileAsData (bytes);
        static_cast<char*> (bytes.getData())[0] ^= 1;
        return file.replaceWithData (bytes.getData(), bytes.getSize());
    }

    /** `path` inside the bundle becomes a link to an exact copy of itself elsewhere: a check that
        followed the link would find the right bytes. */
    bool replaceWithLink (const juce::File& file, const juce::File& elsewhere)
    {
        const auto copy = elsewhere.getChildFile (file.getFileName());
        return file.moveFileTo (copy) && copy.createSymbolicLink (file, false);
    }

    struct VerifyCase
    {
        const char* name;
        int format;
        Change change;
        BundleCheck::Outcome outcome;
        juce::StringArray changed, missing, extra, links;
    };

    void PrintTo (const VerifyCase& c, std::ostream* os)
    {
        *os << c.name;
    }

    const char* const module = "Contents/x86_64-win/Morvane4.vst3";

    const VerifyCase verifyCases[] = {
        { "exact", 0, [] (auto&, auto&) { return true; }, BundleCheck::Outcome::matches, {}, {}, {}, {} },
        { "exactClap", 1, [] (auto&, auto&) { return true; }, BundleCheck::Outcome::matches, {}, {}, {}, {} },
        { "oneByteChanged", 0, [] (auto& b, auto&) { return flipFirstByte (b.getChildFile (module)); },
          BundleCheck::Outcome::differs, { module }, {}, {}, {} },
        { "oneByteChangedClap", 1, [] (auto& b, auto&) { return flipFirstByte (b); },
          BundleCheck::Outcome::differs, { "Morvane4.clap" }, {}, {}, {} },
        { "truncated", 0, [] (auto& b, auto&) { return b.getChildFile ("Plugin.ico").replaceWithText ("short"); },
          BundleCheck::Outcome::differs, { "Plugin.ico" }, {}, {}, {} },
        { "fileMissing", 0, [] (auto& b, auto&) { return b.getChildFile ("Contents/Resources/moduleinfo.json").deleteFile(); },
          BundleCheck::Outcome::differs, {}, { "Contents/Resources/moduleinfo.json" }, {}, {} },
        { "folderMissingNamedAlone", 0, [] (auto& b, auto&) { return b.getChildFile ("Contents/Resources").deleteRecursively(); },
          BundleCheck::Outcome::differs, {}, { "Contents/Resources" }, {}, {} },
        { "extraFile", 0, [] (auto& b, auto&) { return b.getChildFile ("Contents/notes.txt").replaceWithText ("notes"); },
          BundleCheck::Outcome::differs, {}, {}, { "Contents/notes.txt" }, {} },
        { "extraFolderNamedAlone", 0,
          [] (auto& b, auto&) { return b.getChildFile ("Contents/arm64-win/a").createDirectory() && b.getChildFile ("Contents/arm64-win/a/x.dll").replaceWithText ("x"); },
          BundleCheck::Outcome::differs, {}, {}, { "Contents/arm64-win" }, {} },
        { "folderWhereAFileWas", 0, [] (auto& b, auto&) { return b.getChildFile ("Plugin.ico").deleteFile() && b.getChildFile ("Plugin.ico").createDirectory(); },
          BundleCheck::Outcome::differs, { "Plugin.ico" }, {}, {}, {} },
        { "linkWhereAFileWas", 0, [] (auto& b, auto& e) { return replaceWithLink (b.getChildFile (module), e); },
          BundleCheck::Outcome::differs, {}, {}, {}, { module } },
        { "linkWhereAFolderWas", 0, [] (auto& b, auto& e) { return replaceWithLink (b.getChildFile ("Contents"), e); },
          BundleCheck::Outcome::differs, {}, {}, {}, { "Contents" } },
        { "linkAsTheBundle", 0, [] (auto& b, auto& e) { return replaceWithLink (b, e); },
          BundleCheck::Outcome::differs, {}, {}, {}, { "Morvane4.vst3" } },
        { "linkAsTheClap", 1, [] (auto& b, auto& e) { return replaceWithLink (b, e); },
          BundleCheck::Outcome::differs, {}, {}, {}, { "Morvane4.clap" } },
        { "notInstalled", 0, [] (auto& b, auto&) { return b.deleteRecursively(); }, BundleCheck::Outcome::notInstalled, {}, {}, {}, {} },
    };
} // namespace

class BundleVerifyTest : public testing::TestWithParam<VerifyCase>
{
protected:
    TestFolder folder;
    juce::File installFolder = folder / "Plug-Ins";
    juce::File elsewhere = folder / "elsewhere";
};

// Every difference is named by its path in the bundle, a link is reported and never followed,
// and the check leaves the folder exactly as it found it.
TEST_P (BundleVerifyTest, namesEachDifferenceAndChangesNothing)
{
    const auto& c = GetParam();
    const auto archive = carriedArchive (c.format);
    const auto bundleName = getBundleName ("Morvane4", c.format);
    ASSERT_TRUE (install (installFolder, c.format, archive).wasOk());
    ASSERT_TRUE (elsewhere.createDirectory().wasOk());

    if (! c.change (installFolder.getChildFile (bundleName), elsewhere))
        GTEST_SKIP() << "this system cannot make the change (a symbolic link under Wine)";

    const auto before = snapshot (folder.get());
    const auto check = verifyBundle (installFolder, bundleName, archive.getData(), archive.getSize());

    EXPECT_EQ (check.outcome, c.outcome);
    EXPECT_EQ (check.changed, c.changed);
    EXPECT_EQ (check.missing, c.missing);
    EXPECT_EQ (check.extra, c.extra);
    EXPECT_EQ (check.links, c.links);
    EXPECT_TRUE (sameTree (snapshot (folder.get()), before));
}

INSTANTIATE_TEST_SUITE_P (Bundles, BundleVerifyTest, testing::ValuesIn (verifyCases),
                          [] (const testing::TestParamInfo<VerifyCase>& param)
                          { return std::string (param.param.name); });

TEST (BundleVerify, aMissingFolderIsNotInstalledAndGetsNoLockFile)
{
    const TestFolder folder;
    const auto archive = carriedArchive (0);

    EXPECT_EQ (verifyBundle (folder / "none", "Morvane4.vst3", archive.getData(), archive.getSize()).outcome,
               BundleCheck::Outcome::notInstalled);
    EXPECT_FALSE ((folder / "none").exists());
}

TEST (BundleVerify, waitsForAnotherCopyThenSaysSo)
{
    const TestFolder folder;
    const auto archive = carriedArchive (0);
    ASSERT_TRUE (install (folder.get(), 0, archive).wasOk());

    DurableFiles::BundleLock held (folder.get(), "Morvane4.vst3");
    ASSERT_EQ (held.acquire (juce::RelativeTime()), DurableFiles::BundleLock::Outcome::acquired);

    // Another thread stands in for another copy: on Windows the lock is its holder thread's own.
    BundleCheck check;
    std::thread other ([&] { check = verifyBundle (folder.get(), "Morvane4.vst3", archive.getData(), archive.getSize()); });
    other.join();
    EXPECT_EQ (check.outcome, BundleCheck::Outcome::busy);
    EXPECT_EQ (check.reason, "another installation is running");
}

#if JUCE_LINUX
// A user who may write a folder on the way swaps a changed Contents for a link to a pristine copy
// and back while the check walks: whatever moment it meets, it never says the bundle matches.
TEST (BundleVerify, aFolderSwappedForALinkWhileItWalksNeverMatches)
{
    const TestFolder folder;
    const auto archive = carriedArchive (0);
    const auto bundle = folder / "Plug-Ins/Morvane4.vst3";
    ASSERT_TRUE (install (folder / "Plug-Ins", 0, archive).wasOk());
    ASSERT_TRUE (install (folder / "pristine", 0, archive).wasOk());
    ASSERT_TRUE (flipFirstByte (bundle.getChildFile (module)));

    // The names it swaps through lie outside the bundle, so that only Contents ever changes in it.
    const auto contents = bundle.getChildFile ("Contents"), aside = folder / "Contents.aside", link = folder / "Contents.link";
    ASSERT_TRUE ((folder / "pristine/Morvane4.vst3/Contents").createSymbolicLink (link, true));
    std::atomic<bool> stop { false };
    std::thread swapper ([&]
    {
        while (! stop)
        {
            ::rename (contents.getFullPathName().toRawUTF8(), aside.getFullPathName().toRawUTF8());
            ::rename (link.getFullPathName().toRawUTF8(), contents.getFullPathName().toRawUTF8());
            ::rename (contents.getFullPathName().toRawUTF8(), link.getFullPathName().toRawUTF8());
            ::rename (aside.getFullPathName().toRawUTF8(), contents.getFullPathName().toRawUTF8());
        }
    });

    int matched = 0;

    for (int i = 0; i < 300; ++i)
        matched += verifyBundle (folder / "Plug-Ins", "Morvane4.vst3", archive.getData(), archive.getSize()).outcome
                   == BundleCheck::Outcome::matches ? 1 : 0;

    stop = true;
    swapper.join();
    EXPECT_EQ (matched, 0);
}
#endif
