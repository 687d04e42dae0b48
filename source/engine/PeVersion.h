// Reads the fixed file version of a Windows module (a PE image) without the Windows API.
#pragma once

// Plain standard C++ on purpose: the fuzz target and the sanitizer build compile this file alone.
#include <cstddef>
#include <cstdint>
#include <string>

/** Random access to the bytes of a module. */
class PeByteSource
{
public:
    virtual ~PeByteSource() = default;

    /** Copies `size` bytes starting at `offset` into `destination`. Returns false, and may leave
        `destination` partly written, when the bytes are not all there. */
    virtual bool read (std::uint64_t offset, void* destination, std::size_t size) = 0;
};

/** A module held whole in memory. */
class PeMemorySource final : public PeByteSource
{
public:
    PeMemorySource (const void* data, std::size_t size) noexcept;

    bool read (std::uint64_t offset, void* destination, std::size_t size) override;

private:
    const unsigned char* bytes;
    std::size_t numBytes;
};

/** The fixed file version of the module's version resource (VS_FIXEDFILEINFO of the RT_VERSION
    resource with ID 1), as "a.b.c.d": the high and low words of dwFileVersionMS, then those of
    dwFileVersionLS, in decimal. Gives an empty string for anything that is not a well-formed
    PE image with such a resource.

    The input is treated as hostile: every offset and size is checked before use, the resource
    tree is walked exactly three levels deep, and at most about 1.1 MB are read whatever the
    headers claim (a normal module needs a few hundred bytes).
*/
std::string readPeFileVersion (PeByteSource& source);

/** Where the module's version resource (RT_VERSION, ID 1, first language) lies in the file: its
    offset and size, all of it within the file. False when there is none. */
bool findPeVersionResource (PeByteSource& source, std::uint64_t& offset, std::uint32_t& size);

/** The same for a module held in memory. */
std::string readPeFileVersion (const void* data, std::size_t size);
