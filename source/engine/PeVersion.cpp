#include "engine/PeVersion.h"

#include <algorithm>
#include <array>
#include <vector>

namespace
{
    // Limits that no real module reaches; past them the file is treated as damaged.
    constexpr std::size_t maxSections = 96; // the Windows loader's own limit
    constexpr std::size_t directoryHeaderSize = 16;
    constexpr std::size_t directoryEntrySize = 8;
    constexpr std::size_t sectionHeaderSize = 40;

    constexpr std::uint32_t resourceTypeVersion = 16; // RT_VERSION
    constexpr std::uint32_t versionResourceId = 1;    // VS_VERSION_INFO
    constexpr std::uint32_t subdirectoryFlag = 0x80000000u;
    constexpr std::uint32_t fixedFileInfoSignature = 0xfeef04bdu;

    // VS_VERSIONINFO: wLength, wValueLength, wType, the key "VS_VERSION_INFO" in UTF-16 with its
    // terminator, padding to 32 bits, then VS_FIXEDFILEINFO (52 bytes).
    constexpr std::size_t fixedInfoOffset = 40;
    constexpr std::size_t fixedInfoSize = 52;
    constexpr std::size_t versionHeaderSize = fixedInfoOffset + fixedInfoSize;

    std::uint16_t readLE16 (const unsigned char* p) noexcept
    {
        return (std::uint16_t) (p[0] | (p[1] << 8));
    }

    std::uint32_t readLE32 (const unsigned char* p) noexcept
    {
        return (std::uint32_t) p[0] | ((std::uint32_t) p[1] << 8) | ((std::uint32_t) p[2] << 16) | ((std::uint32_t) p[3] << 24);
    }

    struct Section
    {
        std::uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
    };

    class Image
    {
    public:
        explicit Image (PeByteSource& s) : source (s) {}

        bool read (std::uint64_t offset, void* destination, std::size_t size) { return source.read (offset, destination, size); }

        /** Where `size` bytes at a relative virtual address lie in the file: within the part of
            one section that the file really holds. */
        bool findInFile (std::uint32_t address, std::uint64_t size, std::uint64_t& fileOffset) const
        {
            for (const auto& section : sections)
            {
                const std::uint64_t start = section.virtualAddress;
                const std::uint64_t inMemory = section.virtualSize != 0 ? section.virtualSize : section.rawSize;
                const std::uint64_t inFile = std::min<std::uint64_t> (inMemory, section.rawSize);

                if (address >= start && address - start < inFile && size <= inFile - (address - start))
                {
                    fileOffset = (std::uint64_t) section.rawOffset + (address - start);
                    return true;
                }
            }

            return false;
        }

        bool readAtAddress (std::uint32_t address, void* destination, std::size_t size)
        {
            std::uint64_t fileOffset = 0;
            return findInFile (address, size, fileOffset) && read (fileOffset, destination, size);
        }

        std::vector<Section> sections;

    private:
        PeByteSource& source;
    };

    /** Finds the resource directory: its address, and the section table to reach it. */
    bool readHeaders (Image& image, std::uint32_t& resourceAddress)
    {
        std::array<unsigned char, 64> dosHeader {};

        if (! image.read (0, dosHeader.data(), dosHeader.size()) || dosHeader[0] != 'M' || dosHeader[1] != 'Z')
            return false;

        const std::uint64_t peOffset = readLE32 (dosHeader.data() + 0x3c);
        std::array<unsigned char, 24> peHeader {};

        if (! image.read (peOffset, peHeader.data(), peHeader.size())
            || peHeader[0] != 'P' || peHeader[1] != 'E' || peHeader[2] != 0 || peHeader[3] != 0)
            return false;

        const std::size_t numSections = readLE16 (peHeader.data() + 6);
        const std::size_t optionalHeaderSize = readLE16 (peHeader.data() + 20);
        const auto optionalHeaderOffset = peOffset + peHeader.size();

        if (numSections == 0 || numSections > maxSections)
            return false;

        std::array<unsigned char, 2> magic {};

        if (! image.read (optionalHeaderOffset, magic.data(), magic.size()))
            return false;

        // Where NumberOfRvaAndSizes and the data directories sit, in PE32 and PE32+ images.
        std::size_t countOffset = 0;

        switch (readLE16 (magic.data()))
        {
            case 0x10b: countOffset = 92; break;
            case 0x20b: countOffset = 108; break;
            default:    return false;
        }

        const auto directoriesOffset = countOffset + 4;
        const auto resourceEntryOffset = directoriesOffset + 2 * 8; // data directory 2: resources

        if (optionalHeaderSize < resourceEntryOffset + 8)
            return false;

        std::array<unsigned char, 4> count {};
        std::array<unsigned char, 8> resourceEntry {};

        if (! image.read (optionalHeaderOffset + countOffset, count.data(), count.size())
            || readLE32 (count.data()) < 3
            || ! image.read (optionalHeaderOffset + resourceEntryOffset, resourceEntry.data(), resourceEntry.size()))
            return false;

        resourceAddress = readLE32 (resourceEntry.data());

        if (resourceAddress == 0 || readLE32 (resourceEntry.data() + 4) == 0)
            return false;

        std::vector<unsigned char> table (numSections * sectionHeaderSize);

        if (! image.read (optionalHeaderOffset + optionalHeaderSize, table.data(), table.size()))
            return false;

        for (std::size_t i = 0; i < numSections; ++i)
        {
            const auto* header = table.data() + i * sectionHeaderSize;
            image.sections.push_back ({ readLE32 (header + 12), readLE32 (header + 8), readLE32 (header + 16), readLE32 (header + 20) });
        }

        return true;
    }

    /** In the resource directory at `offset` (from the start of the resources), the entry with
        the given ID, or the first entry when `id` is negative. Gives the entry's target word. */
    bool findResourceEntry (Image& image, std::uint32_t resourceAddress, std::uint32_t offset,
                            std::int64_t id, std::uint32_t& target)
    {
        std::array<unsigned char, directoryHeaderSize> header {};

        if (resourceAddress + (std::uint64_t) offset > 0xffffffffu
            || ! image.readAtAddress (resourceAddress + offset, header.data(), header.size()))
            return false;

        const std::size_t numNamed = readLE16 (header.data() + 12);
        const std::size_t numIds = readLE16 (header.data() + 14);
        const auto firstEntry = (std::uint64_t) resourceAddress + offset + directoryHeaderSize;

        if (id < 0)
        {
            std::array<unsigned char, directoryEntrySize> entry {};

            if (numNamed + numIds == 0 || firstEntry > 0xffffffffu
                || ! image.readAtAddress ((std::uint32_t) firstEntry, entry.data(), entry.size()))
                return false;

            target = readLE32 (entry.data() + 4);
            return true;
        }

        // Entries named by a string come first; only the numbered ones are looked at.
        const auto firstIdEntry = firstEntry + numNamed * directoryEntrySize;

        if (numIds == 0 || firstIdEntry > 0xffffffffu)
            return false;

        std::vector<unsigned char> entries (numIds * directoryEntrySize);

        if (! image.readAtAddress ((std::uint32_t) firstIdEntry, entries.data(), entries.size()))
            return false;

        for (std::size_t i = 0; i < numIds; ++i)
        {
            const auto* entry = entries.data() + i * directoryEntrySize;

            if (readLE32 (entry) == (std::uint32_t) id)
            {
                target = readLE32 (entry + 4);
                return true;
            }
        }

        return false;
    }

    bool hasVersionInfoKey (const unsigned char* block) noexcept
    {
        static constexpr char key[] = "VS_VERSION_INFO"; // with its terminator: 16 UTF-16 units

        for (std::size_t i = 0; i < sizeof (key); ++i)
            if (readLE16 (block + 6 + 2 * i) != (unsigned char) key[i])
                return false;

        return true;
    }
} // namespace

//==============================================================================
PeMemorySource::PeMemorySource (const void* data, std::size_t size) noexcept
    : bytes (static_cast<const unsigned char*> (data)),
      numBytes (data != nullptr ? size : 0)
{
}

bool PeMemorySource::read (std::uint64_t offset, void* destination, std::size_t size)
{
    if (offset > numBytes || size > numBytes - offset)
        return false;

    std::copy_n (bytes + offset, size, static_cast<unsigned char*> (destination));
    return true;
}

//==============================================================================
bool findPeVersionResource (PeByteSource& source, std::uint64_t& offset, std::uint32_t& size)
{
    Image image (source);
    std::uint32_t resourceAddress = 0;

    if (! readHeaders (image, resourceAddress))
        return false;

    // Three levels: type RT_VERSION, name 1, then the first language. The levels above the last
    // must lead to directories and the last to a data entry, so a loop in the tree cannot be
    // followed more than three steps.
    std::uint32_t target = 0;

    if (! findResourceEntry (image, resourceAddress, 0, resourceTypeVersion, target) || (target & subdirectoryFlag) == 0
        || ! findResourceEntry (image, resourceAddress, target & ~subdirectoryFlag, versionResourceId, target) || (target & subdirectoryFlag) == 0
        || ! findResourceEntry (image, resourceAddress, target & ~subdirectoryFlag, -1, target) || (target & subdirectoryFlag) != 0)
        return false;

    std::array<unsigned char, 16> dataEntry {};

    if (resourceAddress + (std::uint64_t) target > 0xffffffffu
        || ! image.readAtAddress (resourceAddress + target, dataEntry.data(), dataEntry.size()))
        return false;

    // The whole resource must be there.
    size = readLE32 (dataEntry.data() + 4);
    return image.findInFile (readLE32 (dataEntry.data()), size, offset);
}

std::string readPeFileVersion (PeByteSource& source)
{
    std::uint64_t dataOffset = 0;
    std::uint32_t dataSize = 0;
    std::array<unsigned char, versionHeaderSize> block {};

    if (! findPeVersionResource (source, dataOffset, dataSize) || dataSize < versionHeaderSize
        || ! source.read (dataOffset, block.data(), block.size()))
        return {};

    const auto length = readLE16 (block.data());
    const auto valueLength = readLE16 (block.data() + 2);

    if (length < versionHeaderSize || length > dataSize || valueLength < fixedInfoSize
        || ! hasVersionInfoKey (block.data())
        || readLE32 (block.data() + fixedInfoOffset) != fixedFileInfoSignature)
        return {};

    const auto mostSignificant = readLE32 (block.data() + fixedInfoOffset + 8);
    const auto leastSignificant = readLE32 (block.data() + fixedInfoOffset + 12);

    return std::to_string (mostSignificant >> 16) + "." + std::to_string (mostSignificant & 0xffff) + "."
         + std::to_string (leastSignificant >> 16) + "." + std::to_string (leastSignificant & 0xffff);
}

std::string readPeFileVersion (const void* data, std::size_t size)
{
    PeMemorySource source (data, size);
    return readPeFileVersion (source);
}
