// Where a signed image's signature and digested bytes are found (a real one: tests/windows/kept_copy_proof.sh).
#include "engine/AuthenticodeImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace
{
    using Bytes = std::vector<unsigned char>;

    constexpr std::size_t optional = 0x98, checksum = optional + 64, entry = optional + 112 + 4 * 8, table = 0x400;

    void put32 (Bytes& bytes, std::size_t at, std::uint32_t value)
    {
        std::memcpy (bytes.data() + at, &value, 4); // little-endian, as the image
    }

    /** A PE32+ image ("PE\0\0", optional header, 16 directories) whose certificate table holds one
        13-byte signature, padded to 8 bytes. */
    Bytes makeSignedImage()
    {
        Bytes bytes (table + 24, 0x11);
        bytes[0] = 'M', bytes[1] = 'Z';

        for (const auto& [at, value] : { std::pair<size_t, std::uint32_t> { 0x3c, 0x80 }, { 0x80, 0x4550 }, { 0x94, 0xf0 }, { optional, 0x20b },
                                         { optional + 108, 16 }, { entry, table }, { entry + 4, 24 }, { table, 21 }, { table + 4, 0x20200 } })
            put32 (bytes, at, value);

        std::fill (bytes.begin() + table + 21, bytes.end(), 0);
        return bytes;
    }

    // Each a change that must cost the image its layout, named.
    const std::vector<std::pair<const char*, std::function<void (Bytes&)>>> damages {
        { "bytesAfterTheTable", [] (Bytes& b) { b.push_back (0); } },
        { "aSecondEntryInTheTable", [] (Bytes& b) { b.resize (b.size() + 24); put32 (b, entry + 4, 48); } },
        { "paddingThatIsNotZero", [] (Bytes& b) { b.back() = 1; } },
        { "anEntryLongerThanTheTable", [] (Bytes& b) { put32 (b, table, 25); } },
        { "anotherRevision", [] (Bytes& b) { put32 (b, table + 4, 0x00020100); } },
        { "anX509Entry", [] (Bytes& b) { put32 (b, table + 4, 0x00010200); } },
        { "aTableOverTheHeaders", [] (Bytes& b) { put32 (b, entry, (std::uint32_t) entry); put32 (b, entry + 4, (std::uint32_t) (b.size() - entry)); } },
        { "noSecurityDirectory", [] (Bytes& b) { put32 (b, optional + 108, 4); } },
        { "noPeSignature", [] (Bytes& b) { b[0x81] = 'X'; } }
    };

    class DamagedImage : public testing::TestWithParam<size_t> {};
}

TEST (AuthenticodeImage, digestsEverythingButTheChecksumTheTableEntryAndTheTable)
{
    const auto image = makeSignedImage();
    Authenticode::ImageLayout layout;
    ASSERT_TRUE (Authenticode::readImageLayout (image.data(), image.size(), layout));

    std::vector<std::pair<size_t, size_t>> digested;

    for (const auto& range : layout.digested)
        digested.emplace_back (range.offset, range.size);

    EXPECT_EQ (digested, (std::vector<std::pair<size_t, size_t>> { { 0, checksum }, { checksum + 4, entry - checksum - 4 }, { entry + 8, table - entry - 8 } }));

    EXPECT_EQ (layout.signature.offset, table + 8);
    EXPECT_EQ (layout.signature.size, 13u);
}

TEST_P (DamagedImage, isRefused)
{
    auto image = makeSignedImage();
    damages[GetParam()].second (image);
    Authenticode::ImageLayout layout;
    EXPECT_FALSE (Authenticode::readImageLayout (image.data(), image.size(), layout));
}

INSTANTIATE_TEST_SUITE_P (AuthenticodeImage, DamagedImage, testing::Range ((size_t) 0, damages.size()),
                          [] (const testing::TestParamInfo<size_t>& param) { return std::string (damages[param.param].first); });
