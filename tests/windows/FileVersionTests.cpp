// Windows only: the file versions that Windows' version API reads through juce::File::getVersion
// (what the installed-state detection uses on Windows), from the carried archives' modules and from
// modules of other versions, and our own PE reader's agreement with it on the same files.
#include "TestFolder.h"
#include "engine/Catalogue.h"
#include "engine/PeVersion.h"

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

    // Modules written at build time by tools/pe_module.py, shared with the engine's tests. The test
    // program runs under Wine, which shows the build machine's file system as drive Z:.
    juce::File sharedModule (const juce::String& fileName)
    {
        return juce::File ("Z:" TW_PE_MODULES_DIR).getChildFile (fileName);
    }

    std::string readWithOurReader (const juce::File& file)
    {
        juce::MemoryBlock bytes;

        if (! file.loadFileAsData (bytes))
            return "(unreadable)";

        return readPeFileVersion (bytes.getData(), bytes.getSize());
    }
} // namespace

class FileVersionTest : public testing::Test
{
protected:
    /** Unpacks every carried archive into the folder; gives the three modules in format order. */
    juce::Array<juce::File> unpackCarriedModules()
    {
        juce::Array<juce::File> modules;

        for (int format = 0; format < numFormats; ++format)
        {
            juce::MemoryInputStream archiveStream (carriedArchives[(size_t) format].data,
                                                   (size_t) carriedArchives[(size_t) format].size,
                                                   false);
            juce::ZipFile archive (archiveStream);
            EXPECT_TRUE (archive.uncompressTo (folder.get(), true).wasOk()) << formatNames[format];
            modules.add (getModulePath (getBundlePath (folder.get(), Product::name, format), Product::name, format));
        }

        return modules;
    }

    TestFolder folder;
};

TEST_F (FileVersionTest, readsTheCarriedVersionFromEachUnpackedArchivesModule)
{
    const auto modules = unpackCarriedModules();

    for (int format = 0; format < numFormats; ++format)
    {
        SCOPED_TRACE (formatNames[format]);
        ASSERT_TRUE (modules[format].existsAsFile()) << modules[format].getFullPathName();
        EXPECT_EQ (modules[format].getVersion(), "4.0.2.0");
    }
}

TEST_F (FileVersionTest, readsEachFieldOfOtherVersionsInDecimal)
{
    EXPECT_EQ (sharedModule ("module-4.0.1.0.dll").getVersion(), "4.0.1.0");
    EXPECT_EQ (sharedModule ("module-3.12.0.0.dll").getVersion(), "3.12.0.0");
    EXPECT_EQ (sharedModule ("module-4.0.10.0.dll").getVersion(), "4.0.10.0");
    EXPECT_EQ (sharedModule ("module-5.0.0.0.dll").getVersion(), "5.0.0.0");
    EXPECT_EQ (sharedModule ("module-1.2.3.4.dll").getVersion(), "1.2.3.4");
    EXPECT_EQ (sharedModule ("module-65535.0.258.65535.dll").getVersion(), "65535.0.258.65535");
    EXPECT_EQ (sharedModule ("module-0.0.0.0.dll").getVersion(), "0.0.0.0");
}

TEST_F (FileVersionTest, givesNoVersionForFilesWithoutAVersionResource)
{
    EXPECT_EQ (sharedModule ("module-without-version.dll").getVersion(), "");

    const auto text = folder / "Morvane4.clap";
    ASSERT_TRUE (text.replaceWithText ("not a module"));
    EXPECT_EQ (text.getVersion(), "");

    EXPECT_EQ ((folder / "missing.dll").getVersion(), "");
    EXPECT_EQ (folder.get().getVersion(), "");
}

TEST_F (FileVersionTest, ourPeReaderAgreesWithWindowsOnEveryModule)
{
    juce::Array<juce::File> files = unpackCarriedModules();

    for (const auto* name : { "module-4.0.2.0.dll", "module-4.0.1.0.dll", "module-3.12.0.0.dll",
                              "module-4.0.10.0.dll", "module-5.0.0.0.dll", "module-without-version.dll",
                              "module-1.2.3.4.dll", "module-65535.0.258.65535.dll", "module-0.0.0.0.dll" })
        files.add (sharedModule (name));

    const auto text = folder / "not-a-module.dll";
    ASSERT_TRUE (text.replaceWithText ("MZ but nothing more"));
    files.add (text);

    for (const auto& file : files)
    {
        SCOPED_TRACE (file.getFullPathName().toStdString());
        ASSERT_TRUE (file.existsAsFile());
        EXPECT_EQ (readWithOurReader (file), file.getVersion().toStdString());
    }
}
