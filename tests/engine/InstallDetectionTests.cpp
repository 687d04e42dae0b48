#include "TestFolder.h"
#include "engine/BundleInstaller.h"
#include "engine/InstallDetection.h"

#include <BinaryData.h>

#include <gtest/gtest.h>

#include <functional>

#if ! JUCE_WINDOWS
 #include <sys/stat.h>
#endif

namespace
{
    const juce::File modulesFolder (TW_PE_MODULES_DIR);

    juce::File moduleOfVersion (const juce::String& version) { return modulesFolder.getChildFile ("module-" + version + ".dll"); }
    const juce::File moduleWithoutVersion = modulesFolder.getChildFile ("module-without-version.dll");

    struct DetectionCase
    {
        const char* moduleVersion; // "" puts in the module without a version resource
        InstallState state;
        const char* statusText;
    };

    // Different versions can only be told apart where the version resource is read: on Windows
    // through its own API, elsewhere by our reader. Both give the same texts.
    const DetectionCase detectionCases[] = {
        { "4.0.2.0", InstallState::Installed, "v4.0.2.0 INSTALLED" },
        { "4.0.1.0", InstallState::NeedsUpdate, "v4.0.1.0 NEEDS UPDATE" },
        { "3.12.0.0", InstallState::NeedsUpdate, "v3.12.0.0 NEEDS UPDATE" },
        { "4.0.10.0", InstallState::Installed, "v4.0.10.0 INSTALLED" }, // 10 is more than 2, as numbers
        { "5.0.0.0", InstallState::Installed, "v5.0.0.0 INSTALLED" },
        { "", InstallState::NeedsUpdate, "NEEDS UPDATE" }, // no version read is no version that counts
    };
} // namespace

class InstallDetectionTest : public testing::TestWithParam<int>
{
protected:
    int formatIndex() const { return GetParam(); }

    FormatStatus detect() const { return detectFormatStatus (installFolder, "Morvane4", "4.0.2", formatIndex()); }

    juce::File bundle() const { return getBundlePath (installFolder, "Morvane4", formatIndex()); }

    /** Puts a bundle in place whose module is a copy of `module`. */
    void installModule (const juce::File& module) const
    {
        const auto target = getModulePath (bundle(), "Morvane4", formatIndex());
        ASSERT_TRUE (target.getParentDirectory().createDirectory().wasOk());
        ASSERT_TRUE (module.copyFileTo (target));
    }

    TestFolder folder;
    juce::File installFolder = folder / "Plug-Ins";
};

TEST_P (InstallDetectionTest, aMissingBundleIsNotInstalled)
{
    const auto status = detect();

    EXPECT_EQ (status.state, InstallState::NotInstalled);
    EXPECT_EQ (status.statusText, "NOT INSTALLED");
    EXPECT_EQ (status.installedVersion, "");

    // Files of other products and other formats do not count.
    (installFolder.getChildFile ("Other.vst3")).createDirectory();
    (installFolder.getChildFile ("Morvane4.dll")).create();
    EXPECT_EQ (detect().state, InstallState::NotInstalled);
}

TEST_P (InstallDetectionTest, comparesTheModulesFileVersionWithTheProductVersion)
{
    for (const auto& expected : detectionCases)
    {
        bundle().deleteRecursively();
        installModule (juce::String (expected.moduleVersion).isEmpty() ? moduleWithoutVersion : moduleOfVersion (expected.moduleVersion));

        const auto status = detect();
        EXPECT_EQ (status.state, expected.state) << expected.moduleVersion;
        EXPECT_EQ (status.statusText, expected.statusText);
        EXPECT_EQ (status.installedVersion, expected.moduleVersion);
    }
}

TEST_P (InstallDetectionTest, followsTheDiskAtEveryCall)
{
    installModule (moduleOfVersion ("4.0.1.0"));
    EXPECT_EQ (detect().statusText, "v4.0.1.0 NEEDS UPDATE");

    ASSERT_TRUE (bundle().deleteRecursively());
    EXPECT_EQ (detect().statusText, "NOT INSTALLED");

    installModule (moduleOfVersion ("5.0.0.0"));
    EXPECT_EQ (detect().statusText, "v5.0.0.0 INSTALLED");
}

INSTANTIATE_TEST_SUITE_P (Formats, InstallDetectionTest, testing::Values (0, 1, 2),
                          [] (const testing::TestParamInfo<int>& param) { return formatNames[param.param].toStdString(); });

//==============================================================================
class BundleShapesTest : public testing::Test
{
protected:
    BundleShapesTest() { installFolder.createDirectory(); }

    FormatStatus detect (int formatIndex) const { return detectFormatStatus (installFolder, "Morvane4", "4.0.2", formatIndex); }

    TestFolder folder;
    juce::File installFolder = folder / "Plug-Ins";
};

/** A bundle in place whose module file is missing or unreadable, in one of the shapes that leave it so. */
struct MissingModule
{
    const char* name;
    int formatIndex;
    std::function<void (const juce::File& installFolder)> make;
};

void PrintTo (const MissingModule& missing, std::ostream* out) { *out << missing.name; }

class MissingModuleTest : public BundleShapesTest, public testing::WithParamInterface<MissingModule>
{
};

TEST_P (MissingModuleTest, needsAnUpdateAndInstallingPutsItRight)
{
    GetParam().make (installFolder);
    const auto formatIndex = GetParam().formatIndex;

    const auto status = detect (formatIndex);
    EXPECT_EQ (status.state, InstallState::NeedsUpdate);
    EXPECT_EQ (status.statusText, "NEEDS UPDATE");
    EXPECT_EQ (status.installedVersion, "");

    const std::pair<const char*, int> archives[] = { { BinaryData::vst3_zip, BinaryData::vst3_zipSize },
                                                     { BinaryData::clap_zip, BinaryData::clap_zipSize },
                                                     { BinaryData::aax_zip, BinaryData::aax_zipSize } };
    const auto [archive, size] = archives[formatIndex];
    ASSERT_TRUE (installBundle (installFolder, getBundleName ("Morvane4", formatIndex), archive, (size_t) size).wasOk());

    EXPECT_EQ (detect (formatIndex).statusText, "v4.0.2.0 INSTALLED");
}

const MissingModule missingModules[] = {
    { "aVst3FolderWithoutItsModule", 0, [] (const juce::File& f) { f.getChildFile ("Morvane4.vst3/Contents/Resources").createDirectory(); } },
    { "anEmptyAaxFolder", 2, [] (const juce::File& f) { f.getChildFile ("Morvane4.aaxplugin").createDirectory(); } },
    { "aVst3ThatIsAPlainFile", 0, [] (const juce::File& f) { moduleOfVersion ("4.0.1.0").copyFileTo (f.getChildFile ("Morvane4.vst3")); } },
    { "aClapThatIsAFolder", 1, [] (const juce::File& f) { f.getChildFile ("Morvane4.clap/Contents").createDirectory(); } },
    { "aVst3ModuleAtTheAaxPlace", 0, [] (const juce::File& f)
      {
          f.getChildFile ("Morvane4.vst3/Contents/x64").createDirectory();
          moduleOfVersion ("4.0.1.0").copyFileTo (f.getChildFile ("Morvane4.vst3/Contents/x64/Morvane4.vst3"));
      } },
    { "anAaxModuleAtTheVst3Place", 2, [] (const juce::File& f)
      {
          f.getChildFile ("Morvane4.aaxplugin/Contents/x86_64-win").createDirectory();
          moduleOfVersion ("4.0.1.0").copyFileTo (f.getChildFile ("Morvane4.aaxplugin/Contents/x86_64-win/Morvane4.aaxplugin"));
      } },
    // Modules whose version cannot be read: damaged, so put right like a missing one.
    { "anEmptyVst3Module", 0, [] (const juce::File& f) { f.getChildFile ("Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3").create(); } },
    { "anAaxModuleOfRandomBytes", 2, [] (const juce::File& f)
      {
          juce::MemoryBlock noise (4096);
          juce::Random (26).fillBitsRandomly (noise.getData(), noise.getSize());
          f.getChildFile ("Morvane4.aaxplugin/Contents/x64").createDirectory();
          f.getChildFile ("Morvane4.aaxplugin/Contents/x64/Morvane4.aaxplugin").replaceWithData (noise.getData(), noise.getSize());
      } },
    { "aClapOfFourBytesOfText", 1, [] (const juce::File& f) { f.getChildFile ("Morvane4.clap").replaceWithText ("text"); } },
    { "aClapModuleCutInHalf", 1, [] (const juce::File& f)
      {
          juce::MemoryBlock module;
          moduleOfVersion ("4.0.1.0").loadFileAsData (module);
          f.getChildFile ("Morvane4.clap").replaceWithData (module.getData(), module.getSize() / 2);
      } },
   #if ! JUCE_WINDOWS
    { "aFifoInTheModulesPlace", 1, [] (const juce::File& f) { ::mkfifo (f.getChildFile ("Morvane4.clap").getFullPathName().toRawUTF8(), 0644); } },
   #endif
};

INSTANTIATE_TEST_SUITE_P (Shapes, MissingModuleTest, testing::ValuesIn (missingModules),
                          [] (const testing::TestParamInfo<MissingModule>& param) { return std::string (param.param.name); });

TEST_F (BundleShapesTest, aClapIsReadAsTheFileItself)
{
    ASSERT_TRUE (moduleOfVersion ("3.12.0.0").copyFileTo (installFolder.getChildFile ("Morvane4.clap")));
    EXPECT_EQ (detect (1).statusText, "v3.12.0.0 NEEDS UPDATE");
}

TEST (ModuleVersion, isEmptyForMissingFilesAndFolders)
{
    TestFolder folder;

    EXPECT_EQ (readModuleVersion (folder / "missing.dll"), "");
    EXPECT_EQ (readModuleVersion (folder.get()), "");
    EXPECT_EQ (readModuleVersion (moduleOfVersion ("4.0.10.0")), "4.0.10.0");
}
