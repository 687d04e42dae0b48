#include "TestFolder.h"
#include "main/engine/InstalledEntry.h"

#include <gtest/gtest.h>

using namespace InstalledEntry;

namespace
{
    juce::String valueOf (const juce::Array<Value>& values, const juce::String& name)
    {
        for (const auto& value : values)
            if (value.name == name)
                return value.isNumber ? "dword:" + juce::String (value.number) : value.text;

        return "(none)";
    }
} // namespace

TEST (InstalledEntry, holdsEveryValueWithQuotedPathsAndListsItselfLast)
{
    const auto exe = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("Kept Copy/tw_installer-1.exe");
    const auto quotedExe = "\"" + exe.getFullPathName() + "\"";
    const auto values = makeValues ({ { true, true, false }, 2049, exe, "20261209" });

    EXPECT_EQ (values.getLast().name, "DisplayName");
    EXPECT_EQ (getKeyName(), "Tarnwick Morvane4");

    const std::pair<const char*, juce::String> expected[] = {
        { "DisplayName", "Morvane4" },
        { "DisplayVersion", "4.0.2" },
        { "Publisher", "Tarnwick" },
        { "DisplayIcon", quotedExe },
        { "InstallLocation", "\"" + exe.getParentDirectory().getFullPathName() + "\"" },
        { "EstimatedSize", "dword:3" }, // 2049 bytes, rounded up to whole KiB
        { "Comments", "VST3, CLAP" },
        { "URLInfoAbout", "https://www.tarnwick.com/products/morvane4" },
        { "HelpLink", "https://www.tarnwick.com/downloads/manuals/Morvane4_Manual.pdf" },
        { "NoRepair", "dword:0" },
        { "ModifyPath", quotedExe },
        { "UninstallString", quotedExe + " --uninstall all --confirm" },
        { "QuietUninstallString", quotedExe + " --uninstall all --quiet" },
        { "InstallDate", "20261209" },
    };

    EXPECT_EQ (values.size(), (int) std::size (expected));

    for (const auto& [name, value] : expected)
        EXPECT_EQ (valueOf (values, name), value) << name;
}

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

TEST (InstalledEntry, writesNoCopyWhereAPlainFileHasTheFoldersName)
{
    TestFolder folder;
    const auto source = folder / "installer.exe";
    ASSERT_TRUE (source.replaceWithText ("MZ"));
    const auto blocker = folder / "Tarnwick/Morvane4";
    ASSERT_TRUE (blocker.create());

    EXPECT_EQ (writeKeptCopy (source, blocker), juce::File());
    EXPECT_TRUE (blocker.existsAsFile());
    EXPECT_EQ (blocker.getParentDirectory().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
}

TEST (InstalledEntry, removesOtherKeptCopiesAndTheFolderOnceNothingIsKept)
{
    TestFolder folder;
    const auto keptFolder = folder / "Morvane4";
    const auto keep = keptFolder.getChildFile ("tw_installer-b.exe");

    for (const auto* name : { "tw_installer-a.exe", "tw_installer-b.exe", ".tw_installer-c.exe.staging", "notes.txt" })
        ASSERT_TRUE (keptFolder.getChildFile (name).create());

    removeKeptCopies (keptFolder, keep);
    juce::StringArray left;

    for (const auto& file : keptFolder.findChildFiles (juce::File::findFilesAndDirectories, false))
        left.add (file.getFileName());

    left.sort (false);
    EXPECT_EQ (left, juce::StringArray ("notes.txt", "tw_installer-b.exe"));

    ASSERT_TRUE (keptFolder.getChildFile ("notes.txt").deleteFile());
    removeKeptCopies (keptFolder, {});
    EXPECT_FALSE (keptFolder.exists());
}

TEST (InstalledEntry, countsTheBytesOfFileAndFolderBundles)
{
    TestFolder folder;

    for (const auto& [path, size] : { std::pair { "CLAP/Morvane4.clap", 1000 },
                                      std::pair { "VST3/Morvane4.vst3/Contents/a.bin", 300 },
                                      std::pair { "VST3/Morvane4.vst3/b.bin", 24 } })
    {
        ASSERT_TRUE ((folder / path).getParentDirectory().createDirectory());
        ASSERT_TRUE ((folder / path).replaceWithText (juce::String::repeatedString ("x", size)));
    }

    EXPECT_EQ (countBytes ({ folder / "CLAP/Morvane4.clap", folder / "VST3/Morvane4.vst3" }), 1324);
    EXPECT_EQ (countBytes ({ folder / "AAX/Morvane4.aaxplugin" }), 0);
}

TEST (InstalledEntry, writesNothingWithoutAKeptCopyFolder)
{
    TestFolder folder;
    ASSERT_TRUE ((folder / "CLAP/Morvane4.clap").create());
    const std::array<juce::File, numFormats> installFolders { folder / "VST3", folder / "CLAP", folder / "AAX" };

    EXPECT_EQ (update ({}, installFolders, "Morvane4"), "");
    EXPECT_EQ (folder.get().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
}
