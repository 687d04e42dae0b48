// Where a signed image's signature and digested bytes are found. (Reading a real signature, under
// Wine with the signed release: tests/windows/kept_copy_proof.sh.)
#include "engine/AuthenticodeImage.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

namespace
{
    using Bytes = std::vector<unsigned char>;

    constexpr std::size_t optional = 0x98, checksum = optional + 64, entry = optional + 112 + 4 * 8, table = 0x400;

    void put32 (Bytes& bytes, std::size_t at, std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            bytes[at + (size_t) i] = (unsigned char) (value >> (8 * i));
    }

    /** A PE32+ image whose certificate table holds one 13-byte signature, padded to 8 bytes. */
    Bytes makeSignedImage()
    {
        Bytes bytes (table + 24, 0x11);
        bytes[0] = 'M', bytes[1] = 'Z';
        put32 (bytes, 0x3c, 0x80);
        put32 (bytes, 0x80, 0x00004550);               // "PE\0\0"
        put32 (bytes, 0x94, 0xf0);                     // the optional header's size
        put32 (bytes, optional, 0x20b);                // PE32+
        put32 (bytes, optional + 108, 16);             // data directories
        put32 (bytes, entry, table), put32 (bytes, entry + 4, 24);
        put32 (bytes, table, 8 + 13), put32 (bytes, table + 4, 0x00020200);
        std::fill (bytes.begin() + table + 21, bytes.end(), 0);
        return bytes;
    }

    using Damage = std::pair<const char*, std::function<void (Bytes&)>>;

    class DamagedImage : public testing::TestWithParam<Damage> {};
}

TEST (AuthenticodeImage, digestsEverythingButTheChecksumTheTableEntryAndTheTable)
{
    const auto image = makeSignedImage();
    Authenticode::ImageLayout layout;
    ASSERT_TRUE (Authenticode::readImageLayout (image.data(), image.size(), layout));

    const std::vector<std::pair<size_t, size_t>> expected { { 0, checksum }, { checksum + 4, entry - checksum - 4 }, { entry + 8, table - entry - 8 } };
    ASSERT_EQ (layout.digested.size(), expected.size());

    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ (std::make_pair (layout.digested[i].offset, layout.digested[i].size), expected[i]);

    EXPECT_EQ (layout.signature.offset, table + 8);
    EXPECT_EQ (layout.signature.size, 13u);
}

TEST_P (DamagedImage, isRefused)
{
    auto image = makeSignedImage();
    GetParam().second (image);
    Authenticode::ImageLayout layout;
    EXPECT_FALSE (Authenticode::readImageLayout (image.data(), image.size(), layout));
}

INSTANTIATE_TEST_SUITE_P (AuthenticodeImage, DamagedImage, testing::Values (
    Damage { "bytesAfterTheTable", [] (Bytes& b) { b.push_back (0); } },
    Damage { "aSecondEntryInTheTable", [] (Bytes& b) { b.resize (b.size() + 24); put32 (b, entry + 4, 48); } },
    Damage { "paddingThatIsNotZero", [] (Bytes& b) { b.back() = 1; } },
    Damage { "anEntryLongerThanTheTable", [] (Bytes& b) { put32 (b, table, 25); } },
    Damage { "anotherRevision", [] (Bytes& b) { put32 (b, table + 4, 0x00020100); } },
    Damage { "anX509Entry", [] (Bytes& b) { put32 (b, table + 4, 0x00010200); } },
    Damage { "aTableOverTheHeaders", [] (Bytes& b) { put32 (b, entry, (std::uint32_t) entry); put32 (b, entry + 4, (std::uint32_t) (b.size() - entry)); } },
    Damage { "noSecurityDirectory", [] (Bytes& b) { put32 (b, optional + 108, 4); } },
    Damage { "noPeSignature", [] (Bytes& b) { b[0x81] = 'X'; } }),
    [] (const testing::TestParamInfo<Damage>& info) { return std::string (info.param.first); });
