#include "engine/KeptCopyProof.h"

#include "engine/AuthenticodeImage.h"
#include "engine/PeVersion.h"
#include "engine/WindowsApi.h"

#include <wincrypt.h>

#include <array>

// The signature is decoded by crypt32 from memory, never from a path: the bytes checked are the
// bytes read through the handle held since the start, and those are the bytes that get copied.
namespace KeptCopyProof
{
    namespace
    {
        using Digest = std::array<unsigned char, 32>;

        constexpr DWORD encodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
        constexpr juce::int64 largestImage = 512 * 1024 * 1024;

        const juce::String unproven ("it is not the released program: ");

        /** SHA-256 over the given runs of `data` (advapi32's provider; advapi32 is a KnownDLL). */
        bool hash (const unsigned char* data, const std::vector<Authenticode::Range>& ranges, Digest& digest)
        {
            HCRYPTPROV provider = 0;
            HCRYPTHASH hashObject = 0;

            if (! CryptAcquireContextW (&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
                return false;

            auto ok = CryptCreateHash (provider, CALG_SHA_256, 0, 0, &hashObject) != FALSE;

            for (const auto& range : ranges)
                for (std::size_t done = 0; ok && done < range.size;)
                {
                    const auto piece = (DWORD) juce::jmin (range.size - done, (std::size_t) 1 << 24);
                    ok = CryptHashData (hashObject, data + range.offset + done, piece, 0) != FALSE;
                    done += piece;
                }

            auto size = (DWORD) digest.size();
            ok = ok && CryptGetHashParam (hashObject, HP_HASHVAL, digest.data(), &size, 0) && size == digest.size();

            if (hashObject != 0)
                CryptDestroyHash (hashObject);

            CryptReleaseContext (provider, 0);
            return ok;
        }

        /** A parameter of the decoded message, read into `block` where it stays: structures such as
            CERT_INFO point into their own bytes, so the block must not be copied. */
        bool getParameter (HCRYPTMSG message, DWORD type, juce::MemoryBlock& block)
        {
            DWORD size = 0;

            if (! CryptMsgGetParam (message, type, 0, nullptr, &size) || size == 0)
                return false;

            block.setSize (size, true);
            return CryptMsgGetParam (message, type, 0, block.getData(), &size) != FALSE;
        }

        /** The signer's authenticated message-digest attribute (one SHA-256), or false. */
        bool findMessageDigest (const CMSG_SIGNER_INFO& signer, Digest& digest)
        {
            for (DWORD i = 0; i < signer.AuthAttrs.cAttr; ++i)
            {
                const auto& attribute = signer.AuthAttrs.rgAttr[i];

                if (std::strcmp (attribute.pszObjId, szOID_PKCS_9_MESSAGE_DIGEST) != 0 || attribute.cValue != 1)
                    continue;

                const auto& blob = attribute.rgValue[0];
                Authenticode::DerElement octets;

                if (! Authenticode::readDer (blob.pbData, blob.cbData, 0, octets) || octets.tag != 0x04 || octets.value.size != digest.size())
                    return false;

                std::memcpy (digest.data(), blob.pbData + octets.value.offset, digest.size());
                return true;
            }

            return false;
        }

        /** Why the one signer of `message` did not sign `imageDigest` with the publisher's certificate. */
        juce::String checkSigner (HCRYPTMSG message, HCERTSTORE store, const Digest& imageDigest)
        {
            DWORD signers = 0, size = sizeof (signers);

            if (! CryptMsgGetParam (message, CMSG_SIGNER_COUNT_PARAM, 0, &signers, &size) || signers != 1)
                return "its signature does not have exactly one signer";

            juce::MemoryBlock signerBlock, certInfoBlock, content;

            if (! getParameter (message, CMSG_SIGNER_INFO_PARAM, signerBlock) || ! getParameter (message, CMSG_SIGNER_CERT_INFO_PARAM, certInfoBlock)
                || ! getParameter (message, CMSG_CONTENT_PARAM, content))
                return "its signature cannot be read";

            const auto& signer = *static_cast<const CMSG_SIGNER_INFO*> (signerBlock.getData());
            const auto certificate = CertGetSubjectCertificateFromStore (store, encodings, (PCERT_INFO) certInfoBlock.getData());

            if (certificate == nullptr)
                return "its signature does not carry its signer's certificate";

            const juce::ScopeGuard freeCertificate { [certificate] { CertFreeCertificateContext (certificate); } };
            Digest certificateDigest {};

            if (! hash (certificate->pbCertEncoded, { { 0, certificate->cbCertEncoded } }, certificateDigest)
                || juce::String::toHexString (certificateDigest.data(), (int) certificateDigest.size(), 0) != getPublisherSha256())
                return "it is signed with another certificate than the publisher's";

            // The signer signed its authenticated attributes; their message digest is that of the
            // signed content, which carries the image digest.
            Digest attributeDigest {}, contentDigest {};
            Authenticode::Range signedImageDigest, hashedContent;
            const auto* contentBytes = static_cast<const unsigned char*> (content.getData());

            if (std::strcmp (signer.HashAlgorithm.pszObjId, szOID_NIST_sha256) != 0 || ! findMessageDigest (signer, attributeDigest)
                || ! Authenticode::readSignedContent (contentBytes, content.getSize(), signedImageDigest, hashedContent))
                return "its signature is not a SHA-256 Authenticode signature";

            if (! CryptMsgControl (message, 0, CMSG_CTRL_VERIFY_SIGNATURE, certificate->pCertInfo))
                return "its signature does not verify";

            if (! hash (contentBytes, { hashedContent }, contentDigest) || contentDigest != attributeDigest)
                return "its signed content is not what was signed";

            if (std::memcmp (contentBytes + signedImageDigest.offset, imageDigest.data(), imageDigest.size()) != 0)
                return "its contents are not what was signed";

            return {};
        }

        juce::String checkSignature (const unsigned char* data, const Authenticode::ImageLayout& layout)
        {
            Digest imageDigest {};

            if (! hash (data, layout.digested, imageDigest))
                return "its digest cannot be computed";

            const auto message = CryptMsgOpenToDecode (encodings, 0, 0, 0, nullptr, nullptr);

            if (message == nullptr)
                return "its signature cannot be read";

            const juce::ScopeGuard closeMessage { [message] { CryptMsgClose (message); } };

            if (! CryptMsgUpdate (message, data + layout.signature.offset, (DWORD) layout.signature.size, TRUE))
                return "its signature cannot be read";

            const auto store = CertOpenStore (CERT_STORE_PROV_MSG, encodings, 0, 0, message);

            if (store == nullptr)
                return "its signature's certificates cannot be read";

            const juce::ScopeGuard closeStore { [store] { CertCloseStore (store, 0); } };
            return checkSigner (message, store, imageDigest);
        }

        /** Whether the version block in the image is the running program's, as mapped. */
        bool hasRunningVersionBlock (const juce::MemoryBlock& bytes)
        {
            const auto resource = FindResourceW (nullptr, MAKEINTRESOURCEW (1), MAKEINTRESOURCEW (16)); // VS_VERSION_INFO, RT_VERSION
            const auto loaded = resource != nullptr ? LoadResource (nullptr, resource) : nullptr;
            const auto* running = loaded != nullptr ? LockResource (loaded) : nullptr;
            const auto runningSize = resource != nullptr ? SizeofResource (nullptr, resource) : 0;

            PeMemorySource source (bytes.getData(), bytes.getSize());
            std::uint64_t offset = 0;
            std::uint32_t size = 0;

            return running != nullptr && findPeVersionResource (source, offset, size) && size == runningSize
                   && std::memcmp (static_cast<const char*> (bytes.getData()) + offset, running, size) == 0;
        }

        juce::String readWhole (HANDLE file, juce::MemoryBlock& bytes)
        {
            LARGE_INTEGER start {}, size {};

            if (! SetFilePointerEx (file, start, nullptr, FILE_BEGIN) || ! GetFileSizeEx (file, &size)
                || size.QuadPart <= 0 || size.QuadPart > largestImage)
                return "it cannot be read";

            bytes.setSize ((size_t) size.QuadPart);
            auto* into = static_cast<char*> (bytes.getData());

            for (juce::int64 done = 0; done < size.QuadPart;)
            {
                DWORD got = 0;

                if (! ReadFile (file, into + done, (DWORD) juce::jmin (size.QuadPart - done, (juce::int64) 1 << 24), &got, nullptr) || got == 0)
                    return "it cannot be read";

                done += got;
            }

            return {};
        }
    } // namespace

    juce::String check (const juce::MemoryBlock& bytes)
    {
        if (getPublisherSha256().isEmpty())
            return "this build names no publisher (a build for testing), so nothing proves it is the released program";

        const auto* data = static_cast<const unsigned char*> (bytes.getData());
        Authenticode::ImageLayout layout;

        if (! Authenticode::readImageLayout (data, bytes.getSize(), layout))
            return unproven + "it carries no single Authenticode signature";

        if (const auto problem = checkSignature (data, layout); problem.isNotEmpty())
            return unproven + problem;

        if (! hasRunningVersionBlock (bytes))
            return unproven + "its version block is not the running program's";

        return {};
    }

    juce::String checkHeld (void* fileHandle)
    {
        if (fileHandle == nullptr || fileHandle == INVALID_HANDLE_VALUE)
            return "the program's own file is not held";

        juce::MemoryBlock bytes;
        const auto problem = readWhole (fileHandle, bytes);
        return problem.isNotEmpty() ? problem : check (bytes);
    }

    juce::String checkFile (const juce::File& file)
    {
        const auto handle = CreateFileW (file.getFullPathName().toWideCharPointer(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

        if (handle == INVALID_HANDLE_VALUE)
            return "it cannot be opened";

        const juce::ScopeGuard closeHandle { [handle] { CloseHandle (handle); } };
        return checkHeld (handle);
    }
} // namespace KeptCopyProof
