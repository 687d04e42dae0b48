// Tests of the module version reader. Plain C++ and GoogleTest only, so that the sanitizer build
// can compile this file with the reader alone.
#include "engine/PeVersion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <vector>

namespace
{
    using Bytes = std::vector<unsigned char>;

    const std::string modulesFolder = TW_PE_MODULES_DIR;

    /** The versions of the modules written at build time, separated by commas. */
    std::vector<std::string> getModuleVersions()
    {
        std::vector<std::string> versions;
        std::istringstream list (TW_PE_MODULE_VERSIONS);

        for (std::string version; std::getline (list, version, ',');)
            versions.push_back (version);

        return versions;
    }

    const auto moduleVersions = getModuleVersions();

    std::string modulePath (const std::string& version) { return modulesFolder + "/module-" + version + ".dll"; }
    const std::string moduleWithoutVersion = modulesFolder + "/module-without-version.dll";

    Bytes loadFile (const std::string& path)
    {
        std::ifstream in (path, std::ios::binary);
        return Bytes ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char>());
    }

    std::string versionOf (const Bytes& bytes) { return readPeFileVersion (bytes.data(), bytes.size()); }

    /** Empty, or four numbers of 0..65535. */
    bool isEmptyOrWellFormed (const std::string& version)
    {
        static const std::regex pattern ("(\\d{1,5})\\.(\\d{1,5})\\.(\\d{1,5})\\.(\\d{1,5})");
        std::smatch match;

        if (version.empty())
            return true;

        if (! std::regex_match (version, match, pattern))
            return false;

        for (size_t i = 1; i < match.size(); ++i)
            if (std::stoul (match[i].str()) > 0xffff)
                return false;

        return true;
    }

    std::uint32_t readLE32 (const Bytes& bytes, size_t offset)
    {
        std::uint32_t value = 0;
        std::memcpy (&value, bytes.data() + offset, 4); // the tests run on little-endian machines
        return value;
    }

    void writeLE32 (Bytes& bytes, size_t offset, std::uint32_t value) { std::memcpy (bytes.data() + offset, &value, 4); }

    /** File offset of the resource tree in the modules made for the tests: found by its first entry,
        the type RT_VERSION (16) leading to the subdirectory at offset 24. */
    size_t findResourceTree (const Bytes& module)
    {
        const unsigned char typeEntry[] = { 16, 0, 0, 0, 24, 0, 0, 0x80 };
        const auto found = std::search (module.begin(), module.end(), std::begin (typeEntry), std::end (typeEntry));
        return found == module.end() ? 0 : (size_t) (found - module.begin()) - 16;
    }

    /** Counts the reads and bytes the reader asks for. */
    class CountingSource final : public PeByteSource
    {
    public:
        explicit CountingSource (const Bytes& b) : inner (b.data(), b.size()) {}

        bool read (std::uint64_t offset, void* destination, std::size_t size) override
        {
            ++numReads;
            bytesRead += size;
            return inner.read (offset, destination, size);
        }

        PeMemorySource inner;
        int numReads = 0;
        std::size_t bytesRead = 0;
    };
} // namespace

TEST (PeVersion, readsTheFixedFileVersionOfEachModule)
{
    for (const auto& version : moduleVersions)
        EXPECT_EQ (versionOf (loadFile (modulePath (version))), version) << modulePath (version);
}

TEST (PeVersion, givesNothingForAModuleWithoutVersionResource)
{
    const auto module = loadFile (moduleWithoutVersion);
    ASSERT_GT (module.size(), 512u);
    EXPECT_EQ (versionOf (module), "");
}

TEST (PeVersion, givesNothingForFilesThatAreNoModules)
{
    EXPECT_EQ (readPeFileVersion (nullptr, 0), "");
    EXPECT_EQ (readPeFileVersion (nullptr, 100), "");
    EXPECT_EQ (versionOf (Bytes {}), "");
    EXPECT_EQ (versionOf (Bytes { 'M', 'Z' }), "");
    EXPECT_EQ (versionOf (Bytes (4096, 0)), "");

    const std::string text = "[.ShellClassInfo]\r\nIconResource=Plugin.ico,0\r\n";
    EXPECT_EQ (versionOf (Bytes (text.begin(), text.end())), "");
}

TEST (PeVersion, readsOnlyAFewSmallPiecesOfTheFile)
{
    const auto module = loadFile (modulePath ("4.0.2.0"));
    CountingSource source (module);

    EXPECT_EQ (readPeFileVersion (source), "4.0.2.0");
    EXPECT_LE (source.numReads, 16);
    EXPECT_LE (source.bytesRead, 512u);
}

#if ! defined(_WIN32)
TEST (PeVersion, agreesWithPefileOnEveryModule)
{
    // pefile (Debian's python3-pefile) is a reader that is not ours.
    auto command = std::string (TW_PYTHON) + " " + TW_SOURCE_DIR + "/tests/engine/pe_version_reference.py";
    std::vector<std::string> paths;

    for (const auto& version : moduleVersions)
        paths.push_back (modulePath (version));

    paths.push_back (moduleWithoutVersion);

    for (const auto& path : paths)
        command += " '" + path + "'";

    auto* pipe = popen (command.c_str(), "r");
    ASSERT_NE (pipe, nullptr);

    std::map<std::string, std::string> reference;
    char line[4096];

    while (std::fgets (line, sizeof (line), pipe) != nullptr)
    {
        std::string text (line);
        const auto tab = text.find ('\t');
        ASSERT_NE (tab, std::string::npos) << text;
        reference[text.substr (tab + 1, text.find_last_not_of ("\r\n") - tab)] = text.substr (0, tab);
    }

    ASSERT_EQ (pclose (pipe), 0) << "is python3-pefile installed?";
    ASSERT_EQ (reference.size(), paths.size());

    for (const auto& path : paths)
        EXPECT_EQ (versionOf (loadFile (path)), reference[path]) << path;
}
#endif

//==============================================================================
TEST (PeVersion, truncatedModulesGiveNothingOrTheTrueVersion)
{
    const auto module = loadFile (modulePath ("4.0.10.0"));
    const auto tree = findResourceTree (module);
    ASSERT_GT (tree, 0u);

    for (size_t length = 0; length < module.size(); ++length)
    {
        const Bytes cut (module.begin(), module.begin() + (std::ptrdiff_t) length);
        const auto version = versionOf (cut);

        // The version block lies at the end of the resource tree: nothing before it is enough.
        if (length < tree + 88 + 92)
            EXPECT_EQ (version, "") << length;
        else
            EXPECT_TRUE (version.empty() || version == "4.0.10.0") << length;
    }
}

TEST (PeVersion, loopsInTheResourceTreeGiveNothing)
{
    const auto module = loadFile (modulePath ("4.0.2.0"));
    const auto tree = findResourceTree (module);
    ASSERT_GT (tree, 0u);

    // The tree of these modules: type directory at 0, name directory at 24, language directory
    // at 48, data entry at 72; each directory holds one entry (ID, target) after its 16 bytes.
    auto nameLeadsBackToRoot = module;
    writeLE32 (nameLeadsBackToRoot, tree + 24 + 16 + 4, 0x80000000u);
    EXPECT_EQ (versionOf (nameLeadsBackToRoot), "");

    auto nameLeadsToItself = module;
    writeLE32 (nameLeadsToItself, tree + 24 + 16 + 4, 0x80000018u);
    EXPECT_EQ (versionOf (nameLeadsToItself), "");

    auto languageLeadsToRoot = module;
    writeLE32 (languageLeadsToRoot, tree + 48 + 16 + 4, 0x80000000u);
    EXPECT_EQ (versionOf (languageLeadsToRoot), "");

    auto typeLeadsToItself = module;
    writeLE32 (typeLeadsToItself, tree + 16 + 4, 0x80000000u);
    EXPECT_EQ (versionOf (typeLeadsToItself), "");
}

TEST (PeVersion, offsetsAndSizesOutOfRangeGiveNothing)
{
    const auto module = loadFile (modulePath ("4.0.2.0"));
    const auto tree = findResourceTree (module);
    const auto peOffset = readLE32 (module, 0x3c);
    ASSERT_GT (tree, 0u);

    const auto changed = [&] (size_t offset, std::uint32_t value)
    {
        auto copy = module;
        writeLE32 (copy, offset, value);
        return versionOf (copy);
    };

    EXPECT_EQ (changed (0x3c, 0xfffffff0u), "");                  // the PE header beyond the file
    EXPECT_EQ (changed (0x3c, (std::uint32_t) module.size() - 8), ""); // ... running past its end
    EXPECT_EQ (changed (peOffset + 4, 0xffff8664u), "");          // 65535 sections
    EXPECT_EQ (changed (peOffset + 24 + 108, 2), "");             // too few data directories
    EXPECT_EQ (changed (peOffset + 24 + 112 + 16, 0x7ffff000u), ""); // resources at an unmapped address
    EXPECT_EQ (changed (tree + 72, 0xfffffff0u), "");             // version data at an unmapped address
    EXPECT_EQ (changed (tree + 76, 0xffffffffu), "");             // version data larger than its section
    EXPECT_EQ (changed (tree + 76, 40), "");                      // version data too small to hold the version
    EXPECT_EQ (changed (tree + 12, 0xffff0000u), "");             // 65535 ID entries, none of them read past the file

    // The unchanged module still reads, so each refusal above is due to its own change.
    EXPECT_EQ (changed (0x3c, peOffset), "4.0.2.0");
}

TEST (PeVersion, randomDamageNeverGivesAMalformedVersion)
{
    const auto module = loadFile (modulePath ("4.0.2.0"));
    ASSERT_FALSE (module.empty());

    std::mt19937 random (20260426);
    std::uniform_int_distribution<size_t> position (0, module.size() - 1);
    std::uniform_int_distribution<int> byte (0, 255);
    int stillRead = 0;

    for (int round = 0; round < 20000; ++round)
    {
        auto copy = module;

        for (int k = 1 + round % 8; --k >= 0;)
            copy[position (random)] = (unsigned char) byte (random);

        const auto version = versionOf (copy);
        ASSERT_TRUE (isEmptyOrWellFormed (version)) << version;
        stillRead += version == "4.0.2.0" ? 1 : 0;
    }

    // Most changes hit bytes the reader never looks at.
    EXPECT_GT (stillRead, 10000);
}
