#include "TestFolder.h"
#include "engine/InstalledEntry.h"

#include <gtest/gtest.h>

using namespace InstalledEntry;

TEST (InstalledEntry, namesTheInstalledFormatsInTheQuestionAndComments)
{
    struct Case
    {
        std::array<bool, numFormats> installed;
        const char* formats;
        const char* question;
    };

    for (const auto& c : { Case { { true, true, false }, "VST3, CLAP", "Remove Morvane4 (VST3, CLAP) from this computer?" },
                           Case { { false, false, true }, "AAX", "Remove Morvane4 (AAX) from this computer?" },
                           Case { { false, false, false }, "", "Remove Morvane4 from this computer?" } })
    {
        EXPECT_EQ (describeFormats (c.installed), c.formats);
        EXPECT_EQ (getRemovalQuestion (c.installed), c.question);
    }
}

TEST (InstalledEntry, replacesAKeptCopyOnlyWhenItsVersionsAreNotNewer)
{
    struct Case
    {
        const char* keptPlugin;
        const char* keptInstaller;
        bool replaced;
    };

    for (const auto& c : { Case { "4.0.1", "9.0.0.0", true },  // older plug-in, whatever the installer
                           Case { "4.0.2", "1.1.0.0", true },  // the same
                           Case { "4.0.2", "1.0.9.0", true },  // same plug-in, older installer
                           Case { "4.0.2", "1.2.0.0", false }, // same plug-in, newer installer
                           Case { "4.0.10", "1.0.0.0", false }, // newer plug-in, compared by number
                           Case { "", "", true } })            // unreadable: not a copy worth keeping
        EXPECT_EQ (replacesKeptCopy (c.keptPlugin, c.keptInstaller, "4.0.2", "1.1.0"), c.replaced)
            << c.keptPlugin << " " << c.keptInstaller;
}

TEST (InstalledEntry, keepsAWholeCopyUnderAFreshNameEachTime)
{
    TestFolder folder;
    const auto source = folder / "installer.exe";
    juce::MemoryBlock bytes (3 * 1024 * 1024 + 17);
    juce::Random (7).fillBitsRandomly (bytes.getData(), bytes.getSize());
    ASSERT_TRUE (source.replaceWithData (bytes.getData(), bytes.getSize()));

    const auto keptFolder = folder / "Program Files/Tarnwick/Morvane4";
    const auto first = writeKeptCopy (source, keptFolder);
    const auto second = writeKeptCopy (source, keptFolder);

    ASSERT_TRUE (first.existsAsFile());
    ASSERT_TRUE (second.existsAsFile());
    EXPECT_NE (first.getFileName(), second.getFileName());
    EXPECT_TRUE (isKeptCopyName (first.getFileName()));
    EXPECT_EQ (first.getParentDirectory(), keptFolder);

    juce::MemoryBlock copied;
    ASSERT_TRUE (second.loadFileAsData (copied));
    EXPECT_EQ (copied, bytes);
    EXPECT_EQ (keptFolder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 2); // no staging left
}

TEST (InstalledEntry, writesNothingWithoutAKeptCopyFolder)
{
    TestFolder folder;
    ASSERT_TRUE ((folder / "CLAP/Morvane4.clap").create());
    const std::array<juce::File, numFormats> installFolders { folder / "VST3", folder / "CLAP", folder / "AAX" };

    juce::String unprovenRemark;
    EXPECT_EQ (update ({}, installFolders, "Morvane4", unprovenRemark), "");
    EXPECT_EQ (unprovenRemark, "");
    EXPECT_EQ (folder.get().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
}
