#include "TestFolder.h"
#include "engine/SettingsFile.h"

#include <gtest/gtest.h>

#include <functional>

#if ! JUCE_WINDOWS
 #include <poll.h>
 #include <signal.h>
 #include <sys/resource.h>
 #include <sys/stat.h>
 #include <sys/wait.h>
 #include <unistd.h>
#endif

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

    /** The settings element with these attribute values, as written (not escaped here). */
    void writeAttributes (const std::string& vst3, const std::string& clap) const
    {
        const auto text = "<?xml version=\"1.0\"?>\n<Plugin_Manager_Settings VST3_Path=\"" + vst3 + "\" CLAP_Path=\"" + clap + "\"/>\n";
        writeSettingsBytes (text.data(), text.size());
    }

    std::string path (const juce::String& relative) const { return (folder / relative).getFullPathName().toStdString(); }

    /** Every name below the test folder, to look for a word that must not have got anywhere. */
    juce::String allNames() const
    {
        juce::String names;

        for (const auto& entry : juce::RangedDirectoryIterator (folder.get(), true, "*", juce::File::findFilesAndDirectories,
                                                                juce::File::FollowSymlinks::no))
            names << entry.getFile().getFullPathName() << "\n";

        return names;
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
                                   std::string ("\xff\xfeV\0S\0T\0" "3\0=\0", 12),
                                   // A processing instruction before text in an element once made the parser loop for ever.
                                   "<Plugin_Manager_Settings VST3_Path=\"/a\">x<?x?>y</Plugin_Manager_Settings>",
                                   "<?xml version=\"1.0\"?><?xml-stylesheet href=\"a\"?><Plugin_Manager_Settings VST3_Path=\"/a\"/>" };

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

    auto folders = defaults;
    EXPECT_EQ (applySettingsFile (settingsFolder, folders), Settings::ignoredAsTooLarge);
    EXPECT_EQ (folders, defaults);
    EXPECT_FALSE ((folder / "Mine").exists());
}

TEST_F (SettingsFileTest, readsUtf16WithAByteOrderMarkInEitherOrder)
{
    const auto text = juce::String ("<Plugin_Manager_Settings VST3_Path=\"") + (folder / juce::CharPointer_UTF8 ("Mine/M\xc3\xbcsik")).getFullPathName() + "\"/>";

    for (const auto bigEndian : { false, true })
    {
        std::string bytes = bigEndian ? "\xfe\xff" : "\xff\xfe";

        for (auto p = text.toUTF16(); ! p.isEmpty();)
        {
            const auto unit = (juce::uint16) *p++;
            bytes += (char) (bigEndian ? unit >> 8 : unit & 0xff);
            bytes += (char) (bigEndian ? unit & 0xff : unit >> 8);
        }

        writeSettingsBytes (bytes.data(), bytes.size());
        EXPECT_EQ (apply()[0], folder / juce::CharPointer_UTF8 ("Mine/M\xc3\xbcsik")) << (bigEndian ? "big-endian" : "little-endian");
    }
}

TEST_F (SettingsFileTest, aFileOfExactlyTheLimitIsReadAndOneByteMoreIsNot)
{
    // Whitespace after the element: a reader that stops at the limit without looking further
    // would still find a complete element in the larger file.
    for (const auto extra : { 0, 1 })
    {
        const auto element = "<Plugin_Manager_Settings VST3_Path=\"" + path ("Mine/vst3") + "\"/>";
        auto text = element + std::string ((size_t) Settings::maximumFileSize - element.size() + (size_t) extra, ' ');
        writeSettingsBytes (text.data(), text.size());
        ASSERT_EQ (settingsFile.getSize(), Settings::maximumFileSize + extra);

        EXPECT_EQ (apply()[0], extra == 0 ? folder / "Mine/vst3" : defaults[0]) << "bytes over the limit: " << extra;
        (folder / "Mine").deleteRecursively();
    }
}

TEST_F (SettingsFileTest, aDocumentTypeMakesTheFileMalformedAndNoOtherFileIsRead)
{
    // Outside files that entities could name: their word must not get anywhere.
    const auto secret = folder / "outside/secret.txt";
    const auto dtd = folder / "outside/entities.dtd";
    ASSERT_TRUE (secret.create().wasOk() && secret.replaceWithText ("quillonword and more"));
    ASSERT_TRUE (dtd.replaceWithText ("<!ENTITY x \"quillonword\">"));

    const auto element = "<Plugin_Manager_Settings VST3_Path=\"" + path ("leak") + "/&x;\"/>\n";
    const std::string documents[] = {
        "<!DOCTYPE a [ <!ENTITY % p SYSTEM \"" + secret.getFullPathName().toStdString() + "\"> <!ENTITY x %p; > ]>\n" + element,
        "<!DOCTYPE a SYSTEM \"" + dtd.getFullPathName().toStdString() + "\">\n" + element,
        "<?xml version=\"1.0\"?>\n<!DOCTYPE a [ <!ENTITY x \"quillonword\"> ]>\n" + element,
    };

    for (const auto& document : documents)
    {
        writeSettingsBytes (document.data(), document.size());

        EXPECT_EQ (apply(), defaults) << document;
        EXPECT_FALSE (allNames().contains ("quillonword")) << document;
        EXPECT_FALSE ((folder / "leak").exists()) << document;
        EXPECT_EQ (readBytes (settingsFile), juce::String (document));
    }
}

// The parser recurses per nested element: a text beyond the bounds never reaches it, and says so.
TEST_F (SettingsFileTest, markupBeyondTheBoundsIsIgnoredWithANoticeAndWithinThemIsRead)
{
    const auto nested = [] (int depth, const char* open) { return juce::String::repeatedString (open, depth) + juce::String::repeatedString ("</a>", depth); };
    const std::pair<juce::String, juce::String> cases[] = {
        { juce::String::repeatedString ("<a>", 300000), "its elements nest deeper than 32 levels" }, // unclosed, 900 KB
        { nested (32, "<a>"), "its elements nest deeper than 32 levels" }, // in the root: 33 levels
        { nested (32, "<a x=\"/>\">"), "its elements nest deeper than 32 levels" }, // "/>" inside a value closes nothing
        { juce::String::repeatedString ("<a/>", 1024), "it holds more than 1024 elements" },
        { nested (31, "<a>") + "<!-- </a></a> --><![CDATA[</a>]]>" + juce::String::repeatedString ("<a/>", 990), "" }, // 32 levels, 1024 openings
    };

    for (const auto& [body, reason] : cases)
    {
        writeSettings ("<Plugin_Manager_Settings VST3_Path=\"" + juce::String (path ("Mine")) + "\">" + body + "</Plugin_Manager_Settings>");
        auto folders = defaults;

        EXPECT_EQ (applySettingsFile (settingsFolder, folders), reason.isEmpty() ? juce::String() : Settings::ignoredBecause + reason);
        EXPECT_EQ (folders[0] == defaults[0], reason.isNotEmpty()) << reason;
    }
}

//==============================================================================
#if ! JUCE_WINDOWS
namespace
{
    juce::String linesOf (const std::array<juce::File, numFormats>& folders)
    {
        juce::String lines;

        for (const auto& f : folders)
            lines << f.getFullPathName() << "\n";

        return lines;
    }

    /** Runs applySettingsFile in a child process and returns the folders it settled on, one full
        path a line, and its notice; or "no answer" when the child blocked, read without end (its memory is
        capped) or died. A broken reader then fails the test instead of hanging the suite. */
    juce::String applyInChild (const juce::File& settingsFolder, const std::array<juce::File, numFormats>& defaults)
    {
        int fds[2];

        if (::pipe (fds) != 0)
            return "no pipe";

        const auto child = ::fork();

        if (child == 0)
        {
            ::close (fds[0]);
            const rlimit oneGigabyte { 1 << 30, 1 << 30 };
            ::setrlimit (RLIMIT_AS, &oneGigabyte);

            // The child never returns into the test runner, whatever happens.
            try
            {
                auto folders = defaults;
                const auto notice = applySettingsFile (settingsFolder, folders);
                const auto answer = linesOf (folders) + notice;
                const auto written = ::write (fds[1], answer.toRawUTF8(), answer.getNumBytesAsUTF8());
                ::_exit (written == (ssize_t) answer.getNumBytesAsUTF8() ? 0 : 1);
            }
            catch (...)
            {
                ::_exit (2);
            }
        }

        ::close (fds[1]);
        std::string answer;
        bool finished = false;

        // A bound against hanging, far beyond what reading a small file takes; not a measurement.
        for (int waited = 0; ! finished && waited < 300; ++waited)
        {
            pollfd readable { fds[0], POLLIN, 0 };

            if (::poll (&readable, 1, 100) <= 0)
                continue;

            char buffer[4096];
            const auto got = ::read (fds[0], buffer, sizeof (buffer));
            finished = got <= 0;

            if (got > 0)
                answer.append (buffer, (size_t) got);
        }

        ::close (fds[0]);
        ::kill (child, SIGKILL); // no effect when it has ended
        int status = 0;
        ::waitpid (child, &status, 0);

        if (! finished || ! WIFEXITED (status) || WEXITSTATUS (status) != 0)
            return "no answer";

        return answer;
    }
} // namespace

struct UnreadableSettings
{
    const char* name;
    std::function<bool (const juce::File& settingsFile, const juce::File& elsewhere)> make;
};

void PrintTo (const UnreadableSettings& kind, std::ostream* out) { *out << kind.name; }

class UnreadableSettingsTest : public SettingsFileTest, public testing::WithParamInterface<UnreadableSettings>
{
};

TEST_P (UnreadableSettingsTest, givesTheDefaultsAtOnceAndIsLeftAsItIs)
{
   #if defined (__has_feature)
    #if __has_feature (address_sanitizer)
    GTEST_SKIP() << "caps a child's address space, which AddressSanitizer's shadow memory exceeds";
    #endif
   #endif

    settingsFolder.createDirectory();
    const auto elsewhere = folder / "elsewhere";
    ASSERT_TRUE (elsewhere.createDirectory().wasOk());
    ASSERT_TRUE (GetParam().make (settingsFile, elsewhere));

    struct stat before = {};
    ASSERT_EQ (::lstat (settingsFile.getFullPathName().toRawUTF8(), &before), 0);

    EXPECT_EQ (applyInChild (settingsFolder, defaults), linesOf (defaults) + Settings::ignoredAsNotAPlainFile);

    struct stat after = {};
    ASSERT_EQ (::lstat (settingsFile.getFullPathName().toRawUTF8(), &after), 0);
    EXPECT_EQ (after.st_mode, before.st_mode);
    EXPECT_EQ (after.st_ino, before.st_ino);
    EXPECT_EQ (settingsFolder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1); // nothing written beside it
    EXPECT_FALSE ((folder / "Mine").exists());
}

const UnreadableSettings unreadableSettings[] = {
    { "aFifo", [] (const juce::File& file, const juce::File&)
      { return ::mkfifo (file.getFullPathName().toRawUTF8(), 0644) == 0; } },
    { "aLinkToDevZero", [] (const juce::File& file, const juce::File&)
      { return juce::File ("/dev/zero").createSymbolicLink (file, false); } },
    { "aFolder", [] (const juce::File& file, const juce::File&)
      { return file.createDirectory().wasOk(); } },
    { "aLinkToAFileElsewhere", [] (const juce::File& file, const juce::File& elsewhere)
      {
          // Settings that would be used if the link were followed.
          const auto target = elsewhere.getChildFile ("settings.txt");
          const auto mine = elsewhere.getSiblingFile ("Mine").getFullPathName();
          return target.replaceWithText ("<Plugin_Manager_Settings VST3_Path=\"" + mine + "\"/>") && target.createSymbolicLink (file, false);
      } },
};

INSTANTIATE_TEST_SUITE_P (Kinds, UnreadableSettingsTest, testing::ValuesIn (unreadableSettings),
                          [] (const testing::TestParamInfo<UnreadableSettings>& param) { return std::string (param.param.name); });
#endif

//==============================================================================
struct FolderValue
{
    const char* name;
    std::string written;  // "{}" stands for the test folder
    const char* expected; // below the test folder; nullptr: the format's default
};

void PrintTo (const FolderValue& value, std::ostream* out) { *out << value.name; }

class FolderValueTest : public SettingsFileTest, public testing::WithParamInterface<FolderValue>
{
};

TEST_P (FolderValueTest, isTakenOnlyWhenItIsTheFolderWrittenAndSafeToActOn)
{
    // A relative value would resolve against the working folder: make that one we can look into.
    const auto previousWorkingFolder = juce::File::getCurrentWorkingDirectory();
    (folder / "cwd").createDirectory();
    (folder / "cwd").setAsCurrentWorkingDirectory();

    auto written = GetParam().written;
    const auto root = folder.get().getFullPathName().toStdString();

    for (auto at = written.find ("{}"); at != std::string::npos; at = written.find ("{}"))
        written.replace (at, 2, root);

    writeAttributes (written, path ("Mine/clap"));
    const auto installFolders = apply();
    previousWorkingFolder.setAsCurrentWorkingDirectory();

    if (GetParam().expected == nullptr)
    {
        EXPECT_EQ (installFolders[0], defaults[0]);
        EXPECT_EQ ((folder / "cwd").getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0);
        EXPECT_EQ ((folder / "Mine").getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1); // clap alone
    }
    else
    {
        EXPECT_EQ (installFolders[0].getFullPathName(), (folder / juce::CharPointer_UTF8 (GetParam().expected)).getFullPathName());
    }

    // One unusable value costs only its own format.
    EXPECT_EQ (installFolders[1], folder / "Mine/clap");
    EXPECT_EQ (installFolders[2], defaults[2]);
}

const FolderValue folderValues[] = {
    { "anAbsolutePath", "{}/Mine/vst3", "Mine/vst3" },
    { "escapedCharacters", "{}/Mine/a&amp;b&#233;&#x42;", "Mine/a&b\303\251B" },
    { "aNulByReference", "{}/Mine/a&#0;b", nullptr },
    { "aNulByHexadecimalReference", "{}/Mine/a&#x0;b", nullptr },
    { "aNulByAReferenceThatWrapsAround", "{}/Mine/a&#4294967296;b", nullptr },
    { "anEmptyReference", "{}/Mine/a&#x;b", nullptr },
    { "aRawNul", std::string ("{}/Mine/a\0b", 11), nullptr },
    { "anUndeclaredEntity", "{}/Mine/a&unknown;b", nullptr },
    { "aLoneAmpersand", "{}/Mine/a & b", nullptr },
    { "aControlCharacterByReference", "{}/Mine/a&#1;b", nullptr },
    { "aRelativePath", "Mine/vst3", nullptr },
    { "aDevicePath", "\\\\.\\{}/Mine/vst3", nullptr },
    { "aNamespacePathWithForwardSlashes", "//?/{}/Mine/vst3", nullptr },
    { "longerThanTheLimit", "{}/Mine/" + std::string (Settings::maximumPathLength, 'a'), nullptr },
    { "aLineFeed", "{}/Mine/a&#10;forged line", nullptr },
    { "aRawLineFeed", "{}/Mine/a\nb", nullptr },
    { "aTab", "{}/Mine/a&#9;b", nullptr },
    { "anEscape", "{}/Mine/a\x1b[2Jb", nullptr },
    { "aC1Control", "{}/Mine/a\xc2\x85" "b", nullptr },
    { "aDelete", "{}/Mine/a\x7f" "b", nullptr },
    { "aByteThatIsNoUtf8", "{}/Mine/a\xff" "b", nullptr },
};

INSTANTIATE_TEST_SUITE_P (Values, FolderValueTest, testing::ValuesIn (folderValues),
                          [] (const testing::TestParamInfo<FolderValue>& param) { return std::string (param.param.name); });

//==============================================================================
struct PathCase
{
    juce::String value;
    Settings::PathRules rules;
    bool usable;
};

void PrintTo (const PathCase& path, std::ostream* out)
{
    *out << path.value << (path.rules == Settings::PathRules::windows ? " (Windows)" : " (POSIX)");
}

class UsableFolderPathTest : public testing::TestWithParam<PathCase>
{
};

TEST_P (UsableFolderPathTest, acceptsOnlyAbsoluteFileSystemPaths)
{
    EXPECT_EQ (Settings::isUsableFolderPath (GetParam().value, GetParam().rules), GetParam().usable);
}

const auto posix = Settings::PathRules::posix; // short names for the table
const auto windows = Settings::PathRules::windows;

const PathCase pathCases[] = {
    { "/opt/plug-ins", posix, true },
    { "/" + juce::String::repeatedString ("a", Settings::maximumPathLength - 1), posix, true },
    { "/" + juce::String::repeatedString ("a", Settings::maximumPathLength), posix, false },
    { "plug-ins/vst3", posix, false },
    { "./vst3", posix, false },
    { "~/vst3", posix, false },
    { "C:\\Plug-Ins", posix, false },
    { "   ", posix, false },
    { "//./dev/sda", posix, false },
    { "/a" + juce::String::charToString (Settings::nulStandIn), posix, false },
    { "C:\\Program Files\\Common Files\\VST3", windows, true },
    { "d:/Plug-Ins/VST3", windows, true },
    { "D:\\", windows, true },
    { "C:\\CONSOLE\\com10\\nul_", windows, true },
    { "\\\\server\\share\\VST3", windows, true },
    { "//server/share", windows, true },
    { "\\\\server", windows, false },
    { "\\\\server\\", windows, false },
    { "\\\\?\\C:\\Plug-Ins", windows, false },
    { "\\\\.\\C:\\Plug-Ins", windows, false },
    { "//?/C:/Plug-Ins", windows, false },
    { "\\/./pipe/x", windows, false },
    { "\\\\?\\UNC\\server\\share", windows, false },
    { "\\??\\C:\\Plug-Ins", windows, false },
    { "\\Plug-Ins", windows, false },
    { "C:Plug-Ins", windows, false },
    { "C:", windows, false },
    { "Plug-Ins\\VST3", windows, false },
    { "/opt/plug-ins", windows, false },
    { "C:\\Plug-Ins\\NUL", windows, false },
    { "C:\\Plug-Ins\\com1.txt\\VST3", windows, false },
    { "C:\\" + juce::String::repeatedString ("a", Settings::maximumPathLength), windows, false },
    { "/a\tb", posix, false },
    { "/a\x1b" "b", posix, false },
    { "/a" + juce::String::charToString (0x85), posix, false },
    { "/a" + juce::String::charToString (0xfffd), posix, false },
    { "/a<b>|\"?*:c", posix, true },
    { "C:\\a\nb", windows, false },
    { "\\\\host\\pipe\\x", windows, false },
    { "\\\\127.0.0.1\\PIPE. \\x", windows, false },
    { "//host/pipe", windows, false },
    { "\\\\host\\mailslot\\x", windows, false },
    { "\\\\host\\ipc$", windows, false },
    { "\\\\host\\pipes\\x", windows, true },
    { "\\\\host\\share\\pipe", windows, true },
    { "C:\\a<b", windows, false },
    { "C:\\a|b", windows, false },
    { "C:\\a?b", windows, false },
    { "C:\\a*b", windows, false },
    { "C:\\a:b", windows, false },
    { "C:\\VST3::$DATA", windows, false },
    { "\\\\host\\share:x", windows, false },
};

INSTANTIATE_TEST_SUITE_P (Table, UsableFolderPathTest, testing::ValuesIn (pathCases));

//==============================================================================
TEST (SettingsTextTest, illFormedBytesAreReadAsReplacementCharacters)
{
    const std::pair<std::string, const char*> cases[] = {
        { "<P VST3_Path=\"/a&\xff", "<P VST3_Path=\"/a&\xef\xbf\xbd" },
        { "a\x80\xbf" "b", "a\xef\xbf\xbd\xef\xbf\xbd" "b" },                                     // stray continuation bytes
        { "a\xc0\xaf" "b", "a\xef\xbf\xbd\xef\xbf\xbd" "b" },                                     // an overlong slash
        { "a\xed\xa0\x80", "a\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd" },                              // a surrogate
        { "a\xf4\x90\x80\x80", "a\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd" },              // above U+10FFFF
        { "a\xe2\x82", "a\xef\xbf\xbd" },                                                         // cut short at the end
        { std::string ("a\0b", 3), "a\xef\xbf\xbf" "b" },                                         // NUL as the stand-in
        { std::string ("\xff\xfe" "a\0\x00\xd8" "b\0", 8), "a\xef\xbf\xbd" "b" },                 // UTF-16: a lone high surrogate
        { std::string ("\xfe\xff\xdc\x00\0a", 6), "\xef\xbf\xbd" "a" },                           // a lone low surrogate
        { std::string ("\xff\xfe\x3c\xd8\xb9\xdf" "a", 7), "\xf0\x9f\x8e\xb9\xef\xbf\xbd" },     // a pair, then half a unit
    };

    for (const auto& [bytes, expected] : cases)
    {
        const auto text = Settings::decodeText (bytes.data(), bytes.size());
        EXPECT_EQ (text, juce::String (juce::CharPointer_UTF8 (expected))) << testing::PrintToString (bytes);
        EXPECT_TRUE (juce::CharPointer_UTF8::isValidString (text.toRawUTF8(), 1 << 20));
    }
}

//==============================================================================
#if ! JUCE_WINDOWS
/** A settings file as others may have left it; root reads it only when no one else can change it. */
struct SettingsOwnership
{
    const char* name;
    std::function<bool (const juce::File& file, const juce::File& folder)> make;
    bool used;
};

void PrintTo (const SettingsOwnership& kind, std::ostream* out) { *out << kind.name; }

namespace
{
    bool changeMode (const juce::File& f, mode_t mode) { return ::chmod (f.getFullPathName().toRawUTF8(), mode) == 0; }
    bool giveToAnotherUser (const juce::File& f) { return ::chown (f.getFullPathName().toRawUTF8(), 65534, (gid_t) -1) == 0; }

    std::tuple<mode_t, uid_t, juce::String> modeOwnerAndText (const juce::File& f)
    {
        struct stat info = {};
        ::lstat (f.getFullPathName().toRawUTF8(), &info);
        return { info.st_mode, info.st_uid, f.loadFileAsString() };
    }
} // namespace

class SettingsTrustTest : public SettingsFileTest, public testing::WithParamInterface<SettingsOwnership>
{
};

TEST_P (SettingsTrustTest, anElevatedRunUsesOnlyAFileThatOnlyRootCanChange)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to give files to another user";

    writeAttributes (path ("Mine/vst3"), path ("Mine/clap"));
    ASSERT_TRUE (changeMode (settingsFile, 0644) && changeMode (settingsFolder, 0755) && GetParam().make (settingsFile, settingsFolder));
    const auto before = modeOwnerAndText (settingsFile);

    auto installFolders = defaults;
    const auto notice = applySettingsFile (settingsFolder, installFolders, Settings::Trust::administratorsOnly);

    EXPECT_EQ (installFolders[0], GetParam().used ? folder / "Mine/vst3" : defaults[0]);
    EXPECT_EQ (installFolders[1], GetParam().used ? folder / "Mine/clap" : defaults[1]);
    EXPECT_EQ (notice, GetParam().used ? juce::String() : juce::String (Settings::ignoredAsChangeableByUsers));
    EXPECT_EQ ((folder / "Mine").exists(), GetParam().used);
    EXPECT_EQ (modeOwnerAndText (settingsFile), before); // left as it was, and nothing beside it
    EXPECT_EQ (settingsFolder.getNumberOfChildFiles (juce::File::findFilesAndDirectories, "*"), 1);

    // A run that is not elevated keeps to the rules of a user's own files.
    installFolders = defaults;
    EXPECT_EQ (applySettingsFile (settingsFolder, installFolders, Settings::Trust::anyReadableFile), juce::String());
    EXPECT_EQ (installFolders[0], folder / "Mine/vst3");
}

const SettingsOwnership settingsOwnerships[] = {
    { "rootsFileInRootsFolder", [] (const juce::File&, const juce::File&) { return true; }, true },
    { "inAStickyFolderAnyoneMayWriteTo", [] (const juce::File&, const juce::File& f) { return changeMode (f, 01777); }, true },
    { "ownedByAnotherUser", [] (const juce::File& f, const juce::File&) { return giveToAnotherUser (f); }, false },
    { "groupWritable", [] (const juce::File& f, const juce::File&) { return changeMode (f, 0664); }, false },
    { "worldWritable", [] (const juce::File& f, const juce::File&) { return changeMode (f, 0646); }, false },
    { "inAFolderAnyoneMayWriteTo", [] (const juce::File&, const juce::File& f) { return changeMode (f, 0777); }, false },
    { "inAGroupWritableFolder", [] (const juce::File&, const juce::File& f) { return changeMode (f, 0775); }, false },
    { "inAFolderOfAnotherUser", [] (const juce::File&, const juce::File& f) { return giveToAnotherUser (f); }, false },
};

INSTANTIATE_TEST_SUITE_P (Kinds, SettingsTrustTest, testing::ValuesIn (settingsOwnerships),
                          [] (const testing::TestParamInfo<SettingsOwnership>& param) { return std::string (param.param.name); });

TEST_F (SettingsFileTest, anElevatedRunWritesOnlyIntoAFolderOnlyRootCanChangeAndOnlyANewFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";

    // A folder anyone may write to gets nothing; root's own folder gets root's file, 0644.
    ASSERT_TRUE (settingsFolder.createDirectory().wasOk() && changeMode (settingsFolder, 0777));
    auto installFolders = defaults;
    EXPECT_EQ (applySettingsFile (settingsFolder, installFolders, Settings::Trust::administratorsOnly),
               juce::String (Settings::notWrittenIntoAFolderUsersCanChange));
    EXPECT_EQ (settingsFolder.getNumberOfChildFiles (juce::File::findFilesAndDirectories, "*"), 0);

    ASSERT_TRUE (changeMode (settingsFolder, 0755));
    EXPECT_EQ (applySettingsFile (settingsFolder, installFolders, Settings::Trust::administratorsOnly), juce::String());
    EXPECT_EQ (std::get<0> (modeOwnerAndText (settingsFile)), (mode_t) (S_IFREG | 0644));
    EXPECT_EQ (std::get<1> (modeOwnerAndText (settingsFile)), 0u);
    EXPECT_EQ (settingsFolder.getNumberOfChildFiles (juce::File::findFilesAndDirectories, "*"), 1);

    // A name that is taken, even by a dangling link, is never written through.
    const auto outside = folder / "outside.txt";
    ASSERT_TRUE (outside.replaceWithText ("outside") && settingsFile.deleteFile() && outside.createSymbolicLink (settingsFile, false));
    EXPECT_FALSE (writeSettingsFile (settingsFile, { "/a", "/b", "/c" }));
    EXPECT_EQ (outside.loadFileAsString(), "outside");
    EXPECT_TRUE (settingsFile.isSymbolicLink());
}
#endif
