// Windows only: the file versions that Windows' version API reads through juce::File::getVersion,
// from the carried archives' modules and from modules of other versions.
#include "TestFolder.h"
#include "main/Catalogue.h"

#include <BinaryData.h>
#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

namespace
{
struct CarriedArchive
{
    const char* data;
    int size;
};

// The archives in format-index order (VST3, CLAP, AAX).
const std::array<CarriedArchive, numFormats> carriedArchives { { { BinaryData::vst3_zip, BinaryData::vst3_zipSize },
                                                                  { BinaryData::clap_zip, BinaryData::clap_zipSize },
                                                                  { BinaryData::aax_zip, BinaryData::aax_zipSize } } };

// Modules written at build time by tools/pe_module.py, in a folder of the build tree.
juce::File fixtureModule (const char* fileName)
{
    return juce::File (TW_VERSION_FIXTURES_DIR).getChildFile (fileName);
}
} // namespace

class FileVersionTest : public testing::Test
{
protected:
    TestFolder folder;
};

TEST_F (FileVersionTest, readsTheCarriedVersionFromEachUnpackedArchivesModule)
{
    for (int format = 0; format < numFormats; ++format)
    {
        SCOPED_TRACE (formatNames[format]);

        juce::MemoryInputStream archiveStream (carriedArchives[(size_t) format].data,
                                               (size_t) carriedArchives[(size_t) format].size,
                                               false);
        juce::ZipFile archive (archiveStream);
        ASSERT_TRUE (archive.uncompressTo (folder.get(), true).wasOk());

        const auto module = getModulePath (getBundlePath (folder.get(), Product::name, format), Product::name, format);
        ASSERT_TRUE (module.existsAsFile()) << module.getFullPathName();
        EXPECT_EQ (module.getVersion(), "4.0.2.0");
    }
}

TEST_F (FileVersionTest, readsEachFieldOfOtherVersionsInDecimal)
{
    EXPECT_EQ (fixtureModule ("v4_0_1_0.dll").getVersion(), "4.0.1.0");
    EXPECT_EQ (fixtureModule ("v4_1_0_0.dll").getVersion(), "4.1.0.0");
    EXPECT_EQ (fixtureModule ("v1_2_3_4.dll").getVersion(), "1.2.3.4");
    EXPECT_EQ (fixtureModule ("v65535_0_258_65535.dll").getVersion(), "65535.0.258.65535");
    EXPECT_EQ (fixtureModule ("v0_0_0_0.dll").getVersion(), "0.0.0.0");
}

TEST_F (FileVersionTest, givesNoVersionForFilesWithoutAVersionResource)
{
    EXPECT_EQ (fixtureModule ("no_version.dll").getVersion(), "");

    const auto text = folder / "Morvane4.clap";
    ASSERT_TRUE (text.replaceWithText ("not a module"));
    EXPECT_EQ (text.getVersion(), "");

    EXPECT_EQ ((folder / "missing.dll").getVersion(), "");
    EXPECT_EQ (folder.get().getVersion(), "");
}
