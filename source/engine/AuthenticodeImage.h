// Where a signed Windows image keeps its Authenticode signature, which of its bytes the signed digest
// covers, and the digest inside the signed content: read from memory without the Windows API.
#pragma once

// Plain standard C++, like PeVersion: the input is a file anyone may have written.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Authenticode
{
    /** A run of bytes within a buffer. */
    struct Range
    {
        std::size_t offset = 0;
        std::size_t size = 0;
    };

    /** A signed PE image: the bytes its Authenticode digest covers, in order, and its one signature. */
    struct ImageLayout
    {
        std::vector<Range> digested; // all but the checksum, the certificate table's entry and the table
        Range signature;             // PKCS#7 SignedData, DER
    };

    /** Reads the layout of a PE image (PE32 or PE32+) held in memory. False unless the certificate
        table ends the file and holds exactly one entry, a PKCS#7 signature of revision 2, followed by
        nothing but its zero padding to 8 bytes: every byte of the file is then either digested or
        part of that signature. */
    bool readImageLayout (const unsigned char* data, std::size_t size, ImageLayout& layout);

    /** One DER element: its tag, the whole element and its value. */
    struct DerElement
    {
        unsigned char tag = 0;
        Range whole, value;
    };

    /** Reads the element that starts at `offset` and ends by `end`; definite lengths of at most four
        bytes only. */
    bool readDer (const unsigned char* data, std::size_t end, std::size_t offset, DerElement& element);

    /** In the signed content (SpcIndirectDataContent, DER, bare or inside an OCTET STRING): `digest`,
        the SHA-256 image digest it carries, and `hashedContent`, the bytes the signer's message-digest
        attribute is the hash of (the content's value, without its tag and length). False unless the
        content is a PE image's and its digest algorithm SHA-256. */
    bool readSignedContent (const unsigned char* content, std::size_t size, Range& digest, Range& hashedContent);
} // namespace Authenticode
