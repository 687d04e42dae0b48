// What the engine's install, removal and repair tests share: the carried archives, small
// archives made here, and a fixture with a temporary install folder.
#pragma once

#include "TestFolder.h"
#include "TreeSnapshot.h"
#include "engine/BundleInstaller.h"
#include "engine/Catalogue.h"
#include "engine/DurableFiles.h"
#include "engine/InstallRun.h"
#include "engine/SafeRemoval.h"
#include "engine/ZipDirectory.h"

#include <BinaryData.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <regex>
#include <set>

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <cerrno>
 #include <sys/wait.h>
 #include <unistd.h>
#endif

#if JUCE_LINUX
 #include <sys/mount.h>
 #include <sys/wait.h>
 #include <unistd.h>
#endif

namespace BundleTesting
{
    inline juce::MemoryBlock carriedArchive (int formatIndex)
    {
        switch (formatIndex)
        {
            case 0:  return { BinaryData::vst3_zip, (size_t) BinaryData::vst3_zipSize };
            case 1:  return { BinaryData::clap_zip, (size_t) BinaryData::clap_zipSize };
            case 2:  return { BinaryData::aax_zip, (size_t) BinaryData::aax_zipSize };
            default: return {};
        }
    }

    inline juce::Result install (const juce::File& installFolder, int formatIndex, const juce::MemoryBlock& archive)
    {
        return installBundle (installFolder, getBundleName ("Morvane4", formatIndex), archive.getData(), archive.getSize());
    }

    /** The archive unpacked by JUCE's own ZipFile, as a reference to compare with. */
    inline Tree unpackWithJuce (const juce::MemoryBlock& archive, const juce::File& target)
    {
        juce::ZipFile zip (new juce::MemoryInputStream (archive, false), true);
        EXPECT_TRUE (zip.uncompressTo (target).wasOk());
        return snapshot (target);
    }

    inline void writeFile (const juce::File& file, const juce::String& text)
    {
        ASSERT_TRUE (file.getParentDirectory().createDirectory().wasOk());
        ASSERT_TRUE (file.replaceWithText (text));
    }

    /** Where the data of an archive's largest entry starts, and its length. */
    inline juce::Range<size_t> dataOfLargestEntry (const juce::MemoryBlock& archive)
    {
        ZipDirectory directory;
        EXPECT_TRUE (readZipDirectory (archive.getData(), archive.getSize(), directory).wasOk());

        const ZipDirectoryEntry* largest = nullptr;

        for (const auto& entry : directory.entries)
            if (largest == nullptr || entry.compressedSize > largest->compressedSize)
                largest = &entry;

        if (largest == nullptr)
            return {};

        const auto* header = static_cast<const juce::uint8*> (archive.getData()) + largest->localHeaderOffset;
        const auto start = (size_t) largest->localHeaderOffset + 30 + juce::ByteOrder::littleEndianShort (header + 26)
                         + juce::ByteOrder::littleEndianShort (header + 28);
        return { start, start + (size_t) largest->compressedSize };
    }

    /** An archive made here, with the entries given (path, content), compressed or stored. */
    inline juce::MemoryBlock makeArchive (const std::vector<std::pair<juce::String, juce::String>>& entries, int compressionLevel)
    {
        juce::ZipFile::Builder builder;

        for (const auto& [path, content] : entries)
            builder.addEntry (new juce::MemoryInputStream (content.toRawUTF8(), content.getNumBytesAsUTF8(), true),
                              compressionLevel, path, juce::Time (2026, 3, 26, 18, 53, 52));

        juce::MemoryOutputStream out;
        builder.writeToStream (out, nullptr);
        return out.getMemoryBlock();
    }

   #if JUCE_LINUX
    /** A small file system of its own (tests run as root), gone again when this goes. */
    class ScopedTmpfs final
    {
    public:
        ScopedTmpfs (const juce::File& where, int kilobytes) : folder (where)
        {
            folder.createDirectory();
            mounted = ::mount ("tmpfs", folder.getFullPathName().toRawUTF8(), "tmpfs", 0,
                               ("size=" + juce::String (kilobytes) + "k").toRawUTF8()) == 0;
        }

        ~ScopedTmpfs()
        {
            if (mounted)
                ::umount2 (folder.getFullPathName().toRawUTF8(), MNT_DETACH);
        }

        bool isMounted() const { return mounted; }

        bool makeReadOnly() const
        {
            return ::mount ("tmpfs", folder.getFullPathName().toRawUTF8(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
        }

    private:
        juce::File folder;
        bool mounted = false;

        JUCE_DECLARE_NON_COPYABLE (ScopedTmpfs)
    };
   #endif
} // namespace BundleTesting

using namespace BundleTesting;

class BundleInstallerTest : public testing::Test
{
protected:
    /** An older bundle, with a file the carried archive does not have. */
    void makeOldBundle (int formatIndex) const
    {
        const auto bundle = getBundlePath (installFolder, "Morvane4", formatIndex);

        if (formatIndex == 1)
        {
            writeFile (bundle, "an older CLAP");
            return;
        }

        writeFile (getModulePath (bundle, "Morvane4", formatIndex), "an older module");
        writeFile (bundle.getChildFile ("desktop.ini"), "[.ShellClassInfo]");
        writeFile (bundle.getChildFile ("Contents/Resources/only-in-the-old-version.txt"), "old");
    }

    TestFolder folder;
    juce::File installFolder = folder / "Common Files/VST3";
};


/** An archive that must be refused, and why. */
struct DamagedArchive
{
    const char* name;
    std::function<juce::MemoryBlock()> make;
};

class DamagedArchiveTest : public BundleInstallerTest, public testing::WithParamInterface<DamagedArchive>
{
};


/** Sets the engine's step hook for one test. */
struct ScopedStepHook
{
    explicit ScopedStepHook (DurableFiles::StepHook hook) { DurableFiles::setStepHook (std::move (hook)); }
    ~ScopedStepHook() { DurableFiles::setStepHook (nullptr); }
};
