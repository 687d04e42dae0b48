#include "TestFolder.h"
#include "main/SettingsFile.h"

#include <gtest/gtest.h>

namespace
{
    // Written out here, not taken from the program, so that a change to either shows.
    const juce::String expectedNote =
        "These are the paths that all Tarnwick installers will use for their respective formats. Edit them to "
        "personal taste, but keep in mind that some formats have specific homes. Use this feature at your own risk; "
        "follow the naming and separator conventions exactly as you see them, or you could end up with unintended "
        "consequences. If you delete this file, the next time you run the Plugin Manager for any TW product, a new "
        "one with the default locations will be written.";

    const juce::String indent = juce::String::repeatedString (" ", 24);

    juce::MemoryBlock readRaw (const juce::File& file)
    {
        juce::MemoryBlock bytes;
        file.loadFileAsData (bytes);
        return bytes;
    }

    juce::String readBytes (const juce::File& file) { return readRaw (file).toString(); }

    /** The settings file as it must look, for three folder paths that fit the line layout. */
    juce::String expectedFile (const juce::String& clap, const juce::String& vst3, const juce::String& aax)
    {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
               "\r\n"
               "<Plugin_Manager_Settings Important_Note:=\"" + expectedNote + "\"\r\n"
             + indent + " CLAP_Path=\"" + clap + "\" VST3_Path=\"" + vst3 + "\"\r\n"
             + indent + " AAX_Path=\"" + aax + "\"/>\r\n";
    }
} // namespace

class SettingsFileTest : public testing::Test
{
protected:
    void writeSettings (const juce::String& text) const { writeSettingsBytes (text.toRawUTF8(), text.getNumBytesAsUTF8()); }

    void writeSettingsBytes (const void* bytes, size_t size) const
    {
        settingsFolder.createDirectory();
        settingsFile.deleteFile();
        ASSERT_TRUE (size == 0 ? settingsFile.create().wasOk() : settingsFile.replaceWithData (bytes, size));
    }

    std::array<juce::File, numFormats> apply() const
    {
        auto installFolders = defaults;
        applySettingsFile (settingsFolder, installFolders);
        return installFolders;
    }

    TestFolder folder;
    juce::File settingsFolder = folder / "PD/Tarnwick";
    juce::File settingsFile = settingsFolder.getChildFile ("PluginManagerSettings.txt");
    const std::array<juce::File, numFormats> defaults { folder / "CF/VST3", folder / "CF/CLAP", folder / "CF/Avid/Audio/Plug-Ins" };
};

TEST_F (SettingsFileTest, writesTheDefaultFileByteForByte)
{
    settingsFolder.createDirectory();

    const std::array<juce::String, numFormats> windowsDefaults { "C:\\Program Files\\Common Files\\VST3",
                                                                 "C:\\Program Files\\Common Files\\CLAP",
                                                                 "C:\\Program Files\\Common Files\\Avid\\Audio\\Plug-Ins" };
    ASSERT_TRUE (writeSettingsFile (settingsFile, windowsDefaults));

    const juce::String expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "\r\n"
        "<Plugin_Manager_Settings Important_Note:=\"These are the paths that all Tarnwick installers will use for their "
        "respective formats. Edit them to personal taste, but keep in mind that some formats have specific homes. Use "
        "this feature at your own risk; follow the naming and separator conventions exactly as you see them, or you "
        "could end up with unintended consequences. If you delete this file, the next time you run the Plugin Manager "
        "for any TW product, a new one with the default locations will be written.\"\r\n"
        "                         CLAP_Path=\"C:\\Program Files\\Common Files\\CLAP\" VST3_Path=\"C:\\Program Files\\Common Files\\VST3\"\r\n"
        "                         AAX_Path=\"C:\\Program Files\\Common Files\\Avid\\Audio\\Plug-Ins\"/>\r\n";

    EXPECT_EQ (readBytes (settingsFile), expected);
    EXPECT_EQ (settingsFolder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1); // no temporary file left
}

TEST_F (SettingsFileTest, escapesWhatXmlCannotHoldAsIs)
{
    settingsFolder.createDirectory();

    const std::array<juce::String, numFormats> paths { "a", juce::CharPointer_UTF8 ("D:\\M\xc3\xbcsik & <Co> \"^`\x7f"), "b" };
    ASSERT_TRUE (writeSettingsFile (settingsFile, paths));

    // The escaped value is longer than a line, so VST3 starts the next one.
    EXPECT_TRUE (readBytes (settingsFile).endsWith (" CLAP_Path=\"D:\\M&#252;sik &amp; &lt;Co&gt; &quot;&#94;&#96;&#127;\"\r\n"
                                                    + indent + " VST3_Path=\"a\" AAX_Path=\"b\"/>\r\n"));

    // What is written reads back as it was.
    const auto root = juce::parseXML (settingsFile);
    ASSERT_NE (root, nullptr);
    EXPECT_EQ (root->getStringAttribute ("CLAP_Path"), paths[1]);
}

TEST_F (SettingsFileTest, firstStartWritesTheCurrentFoldersAndCreatesNoFolder)
{
    settingsFolder.createDirectory();

    // Short enough that CLAP and VST3 share a line, as with the Windows defaults.
    ASSERT_LE (defaults[1].getFullPathName().length(), 60 - 14);

    EXPECT_EQ (apply(), defaults);
    EXPECT_EQ (readBytes (settingsFile), expectedFile (defaults[1].getFullPathName(), defaults[0].getFullPathName(), defaults[2].getFullPathName()));

    for (const auto& installFolder : defaults)
        EXPECT_FALSE (installFolder.exists());
}

TEST_F (SettingsFileTest, aMissingSettingsFolderIsNotCreated)
{
    EXPECT_EQ (apply(), defaults);
    EXPECT_FALSE (settingsFolder.exists());
    EXPECT_FALSE ((folder / "CF").exists());
}

TEST_F (SettingsFileTest, readsTheFoldersAndCreatesMissingOnesWithTheirParents)
{
    writeSettings (expectedFile ((folder / "Mine/clap").getFullPathName(), (folder / "Mine/deep/vst3").getFullPathName(),
                                 (folder / "Mine/aax").getFullPathName()));
    const auto before = readBytes (settingsFile);

    const auto installFolders = apply();

    EXPECT_EQ (installFolders[0], folder / "Mine/deep/vst3");
    EXPECT_EQ (installFolders[1], folder / "Mine/clap");
    EXPECT_EQ (installFolders[2], folder / "Mine/aax");

    for (const auto& installFolder : installFolders)
        EXPECT_TRUE (installFolder.isDirectory());

    EXPECT_EQ (readBytes (settingsFile), before); // read, never rewritten
}

TEST_F (SettingsFileTest, aMissingOrEmptyPathKeepsThatFormatsDefaultFolder)
{
    // An empty folder would put the bundle at the root of the drive, and an uninstall would delete it there.
    writeSettings ("<?xml version=\"1.0\"?>\n<Plugin_Manager_Settings VST3_Path=\"\" AAX_Path=\"   \" CLAP_Path=\""
                   + (folder / "Mine/clap").getFullPathName() + "\"/>\n");

    const auto installFolders = apply();

    EXPECT_EQ (installFolders[0], defaults[0]);
    EXPECT_EQ (installFolders[1], folder / "Mine/clap");
    EXPECT_EQ (installFolders[2], defaults[2]);
    EXPECT_FALSE (defaults[0].exists());

    writeSettings ("<Plugin_Manager_Settings AAX_Path=\"" + (folder / "Mine/aax").getFullPathName() + "\"/>");
    const auto onlyAax = apply();

    EXPECT_EQ (onlyAax[0], defaults[0]);
    EXPECT_EQ (onlyAax[1], defaults[1]);
    EXPECT_EQ (onlyAax[2], folder / "Mine/aax");
}

TEST_F (SettingsFileTest, forwardSlashesWorkLikeTheSystemsSeparator)
{
    const auto withForwardSlashes = (folder / "Mine/vst3").getFullPathName().replaceCharacter ('\\', '/') + "/";
    writeSettings ("<Plugin_Manager_Settings VST3_Path=\"" + withForwardSlashes + "\"/>");

    const auto installFolders = apply();

    EXPECT_EQ (installFolders[0], folder / "Mine/vst3");
    EXPECT_EQ (installFolders[0].getFullPathName(), (folder / "Mine/vst3").getFullPathName());
    EXPECT_TRUE ((folder / "Mine/vst3").isDirectory());
}

TEST_F (SettingsFileTest, anotherRootTagIsAcceptedAndOtherContentIgnored)
{
    writeSettings ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<Settings_Of_Another_Tool vst3_path=\"/wrong/case\" VST3_Path=\""
                   + (folder / "Mine/vst3").getFullPathName() + "\" Colour=\"red\">\n"
                   "  <CLAP_Path>/not/an/attribute</CLAP_Path>\n"
                   "</Settings_Of_Another_Tool>\n");

    const auto installFolders = apply();

    EXPECT_EQ (installFolders[0], folder / "Mine/vst3");
    EXPECT_EQ (installFolders[1], defaults[1]);
    EXPECT_EQ (installFolders[2], defaults[2]);
}

TEST_F (SettingsFileTest, aFileThatIsNotXmlIsIgnoredAndLeftUntouched)
{
    const std::string notXml[] = { "VST3_Path=C:\\Plugins\\VST3\r\nCLAP_Path=C:\\Plugins\\CLAP\r\n",
                                   "",
                                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n",
                                   "{ \"VST3_Path\": \"" + (folder / "Mine/vst3").getFullPathName().toStdString() + "\" }",
                                   std::string ("\xff\xfeV\0S\0T\0" "3\0=\0", 12) };

    for (const auto& text : notXml)
    {
        writeSettingsBytes (text.data(), text.size());
        const auto before = readRaw (settingsFile);

        EXPECT_EQ (apply(), defaults) << text;
        EXPECT_TRUE (readRaw (settingsFile) == before);
        EXPECT_FALSE ((folder / "CF").exists());
        EXPECT_FALSE ((folder / "Mine").exists());
    }
}

TEST_F (SettingsFileTest, anOversizedFileIsIgnoredAndLeftUntouched)
{
    const auto path = (folder / "Mine/vst3").getFullPathName();
    writeSettings ("<Plugin_Manager_Settings VST3_Path=\"" + path + "\">" + juce::String::repeatedString ("<!-- -->", 140000)
                   + "</Plugin_Manager_Settings>");
    ASSERT_GT (settingsFile.getSize(), Settings::maximumFileSize);

    EXPECT_EQ (apply(), defaults);
    EXPECT_FALSE ((folder / "Mine").exists());
}
