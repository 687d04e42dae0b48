// Where a signed image's signature and digested bytes are found, and the digest in its signed content.
#include "engine/AuthenticodeImage.h"

#include <gtest/gtest.h>

#include <functional>

namespace
{
    using Bytes = std::vector<unsigned char>;
    using Authenticode::Range;

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

    struct Damage
    {
        const char* name;
        std::function<void (Bytes&)> apply;
    };

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
    GetParam().apply (image);
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
    [] (const testing::TestParamInfo<Damage>& info) { return std::string (info.param.name); });

TEST (AuthenticodeImage, readsTheSha256DigestOfAPeImageOnly)
{
    const Bytes peImage { 0x06, 0x0a, 0x2b, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x0f };
    const Bytes sha256 { 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01 };
    const auto element = [] (unsigned char tag, Bytes value) { value.insert (value.begin(), { tag, (unsigned char) value.size() }); return value; };
    const auto join = [] (Bytes a, const Bytes& b) { a.insert (a.end(), b.begin(), b.end()); return a; };
    const auto content = [&] (const Bytes& type, const Bytes& algorithm, size_t digestSize)
    {
        const auto digestInfo = join (element (0x30, join (algorithm, { 0x05, 0x00 })), element (0x04, Bytes (digestSize, 0xab)));
        return element (0x30, join (element (0x30, join (type, { 0x03, 0x01, 0x00 })), element (0x30, digestInfo)));
    };

    const auto good = content (peImage, sha256, 32);
    Range digest, hashed;
    ASSERT_TRUE (Authenticode::readSignedContent (good.data(), good.size(), digest, hashed));
    EXPECT_EQ (Bytes (good.begin() + (long) digest.offset, good.begin() + (long) (digest.offset + digest.size)), Bytes (32, 0xab));
    EXPECT_EQ (hashed.offset, 2u);
    EXPECT_EQ (hashed.size, good.size() - 2);

    const auto wrapped = element (0x04, good);
    ASSERT_TRUE (Authenticode::readSignedContent (wrapped.data(), wrapped.size(), digest, hashed));
    EXPECT_EQ (wrapped[digest.offset], 0xab);

    auto sha384 = sha256;
    sha384.back() = 0x02;

    for (const auto& refused : { content (sha256, sha256, 32), content (peImage, sha384, 32), content (peImage, sha256, 20),
                                 Bytes (good.begin(), good.end() - 1) })
        EXPECT_FALSE (Authenticode::readSignedContent (refused.data(), refused.size(), digest, hashed));
}
