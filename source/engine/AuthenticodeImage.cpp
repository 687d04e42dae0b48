#include "engine/AuthenticodeImage.h"

#include <algorithm>
#include <cstring>

namespace Authenticode
{
    namespace
    {
        constexpr std::uint16_t certificateRevision = 0x0200;    // WIN_CERT_REVISION_2_0
        constexpr std::uint16_t certificateTypePkcs7 = 0x0002;   // WIN_CERT_TYPE_PKCS_SIGNED_DATA
        constexpr std::size_t certificateHeaderSize = 8;          // dwLength, wRevision, wCertificateType
        constexpr std::size_t securityDirectory = 4;              // IMAGE_DIRECTORY_ENTRY_SECURITY
        constexpr std::size_t checksumOffset = 64;                // in the optional header, PE32 and PE32+

        constexpr unsigned char tagSequence = 0x30, tagOctetString = 0x04, tagOid = 0x06;

        // 1.3.6.1.4.1.311.2.1.15 (SPC_PE_IMAGE_DATAOBJ) and 2.16.840.1.101.3.4.2.1 (SHA-256), as DER values.
        constexpr unsigned char peImageDataOid[] = { 0x2b, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x0f };
        constexpr unsigned char sha256Oid[] = { 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01 };
        constexpr std::size_t sha256Size = 32;

        std::uint32_t readLE (const unsigned char* p, int bytes) noexcept
        {
            std::uint32_t value = 0;

            for (int i = bytes - 1; i >= 0; --i)
                value = (value << 8) | p[i];

            return value;
        }

        bool readChild (const unsigned char* data, const DerElement& parent, std::size_t offset, unsigned char tag, DerElement& child)
        {
            const auto end = parent.value.offset + parent.value.size;
            return offset >= parent.value.offset && readDer (data, end, offset, child) && child.tag == tag;
        }

        bool isOid (const unsigned char* data, const DerElement& element, const unsigned char* oid, std::size_t oidSize)
        {
            return element.tag == tagOid && element.value.size == oidSize && std::memcmp (data + element.value.offset, oid, oidSize) == 0;
        }
    } // namespace

    bool readImageLayout (const unsigned char* data, std::size_t size, ImageLayout& layout)
    {
        if (data == nullptr || size < 0x40 || data[0] != 'M' || data[1] != 'Z')
            return false;

        const std::size_t peOffset = readLE (data + 0x3c, 4);

        if (peOffset > size || size - peOffset < 24 + 2 || std::memcmp (data + peOffset, "PE\0\0", 4) != 0)
            return false;

        const std::size_t optionalHeaderSize = readLE (data + peOffset + 20, 2);
        const auto optional = peOffset + 24;
        const auto magic = readLE (data + optional, 2);
        const std::size_t countOffset = magic == 0x20b ? 108 : (magic == 0x10b ? 92 : 0);
        const auto entryOffset = countOffset + 4 + securityDirectory * 8;

        if (countOffset == 0 || optionalHeaderSize < entryOffset + 8 || size - optional < optionalHeaderSize
            || readLE (data + optional + countOffset, 4) <= securityDirectory)
            return false;

        const auto checksum = optional + checksumOffset;
        const auto entry = optional + entryOffset;
        const std::size_t tableOffset = readLE (data + entry, 4);
        const std::size_t tableSize = readLE (data + entry + 4, 4);

        // The table ends the file, after the headers, and holds one entry and its padding.
        if (tableOffset < entry + 8 || tableOffset > size || size - tableOffset != tableSize || tableSize < certificateHeaderSize)
            return false;

        const auto* table = data + tableOffset;
        const std::size_t entryLength = readLE (table, 4);

        if (entryLength <= certificateHeaderSize || entryLength > tableSize || ((entryLength + 7) & ~(std::size_t) 7) != tableSize
            || readLE (table + 4, 2) != certificateRevision || readLE (table + 6, 2) != certificateTypePkcs7
            || std::any_of (table + entryLength, table + tableSize, [] (unsigned char c) { return c != 0; }))
            return false;

        layout.digested = { { 0, checksum }, { checksum + 4, entry - checksum - 4 }, { entry + 8, tableOffset - entry - 8 } };
        layout.signature = { tableOffset + certificateHeaderSize, entryLength - certificateHeaderSize };
        return true;
    }

    bool readDer (const unsigned char* data, std::size_t end, std::size_t offset, DerElement& element)
    {
        if (offset >= end || end - offset < 2 || (data[offset] & 0x1f) == 0x1f) // no multi-byte tags
            return false;

        element.tag = data[offset];
        std::size_t length = data[offset + 1];
        auto header = (std::size_t) 2;

        if (length & 0x80)
        {
            const auto lengthBytes = length & 0x7f;

            if (lengthBytes == 0 || lengthBytes > 4 || end - offset - 2 < lengthBytes)
                return false;

            length = 0;

            for (std::size_t i = 0; i < lengthBytes; ++i)
                length = (length << 8) | data[offset + 2 + i];

            header += lengthBytes;
        }

        if (length > end - offset - header)
            return false;

        element.whole = { offset, header + length };
        element.value = { offset + header, length };
        return true;
    }

    bool readSignedContent (const unsigned char* content, std::size_t size, Range& digest, Range& hashedContent)
    {
        DerElement outer, indirect, data, dataType, digestInfo, algorithm, algorithmOid, digestValue;

        if (! readDer (content, size, 0, outer))
            return false;

        if (outer.tag == tagOctetString)
        {
            if (! readChild (content, outer, outer.value.offset, tagSequence, indirect))
                return false;
        }
        else
        {
            indirect = outer;
        }

        // SpcIndirectDataContent: SEQUENCE { SEQUENCE { type, value }, DigestInfo SEQUENCE { SEQUENCE { algorithm, ... }, OCTET STRING } }
        if (indirect.tag != tagSequence
            || ! readChild (content, indirect, indirect.value.offset, tagSequence, data)
            || ! readChild (content, data, data.value.offset, tagOid, dataType)
            || ! isOid (content, dataType, peImageDataOid, sizeof (peImageDataOid))
            || ! readChild (content, indirect, data.whole.offset + data.whole.size, tagSequence, digestInfo)
            || ! readChild (content, digestInfo, digestInfo.value.offset, tagSequence, algorithm)
            || ! readChild (content, algorithm, algorithm.value.offset, tagOid, algorithmOid)
            || ! isOid (content, algorithmOid, sha256Oid, sizeof (sha256Oid))
            || ! readChild (content, digestInfo, algorithm.whole.offset + algorithm.whole.size, tagOctetString, digestValue)
            || digestValue.value.size != sha256Size)
            return false;

        digest = digestValue.value;
        hashedContent = indirect.value;
        return true;
    }
} // namespace Authenticode
