#include "engine/SettingsFile.h"

#include "engine/Elevation.h"
#include "engine/FileNames.h"
#include "engine/fs/NewFile.h"
#include "engine/fs/ReadableFile.h"

#include <cstring>

const char* const Settings::note =
    "These are the paths that all Tarnwick installers will use for their respective formats. Edit them to personal taste, "
    "but keep in mind that some formats have specific homes. Use this feature at your own risk; follow the naming and "
    "separator conventions exactly as you see them, or you could end up with unintended consequences. If you delete this "
    "file, the next time you run the Plugin Manager for any TW product, a new one with the default locations will be written.";

namespace
{
    // The attributes are written in this order; the folder paths are read in format order.
    constexpr std::array<int, numFormats> writtenFormatOrder { 1, 0, 2 }; // CLAP, VST3, AAX

    //==============================================================================
    enum class FileRead
    {
        missing,
        unreadable,
        changeableByOthers,
        read
    };

    constexpr auto bytesToTry = (size_t) Settings::maximumFileSize + 1; // one more shows a larger file


    //==============================================================================
    /** The settings folder, held open from the first look at it to the last, so that the file read
        or written is the one in the folder that was examined. */
    class SettingsFolder
    {
    public:
        explicit SettingsFolder (const juce::File& folderToOpen)
            : folder (DurableFiles::Folder::open (folderToOpen, DurableFiles::Folder::Hold::againstRenaming)),
              onlyAdministrators (folder.onlyAdministratorsCanChange())
        {
        }

        bool isMissing() const { return folder.wasMissing(); }

        /** Whether only administrators can delete, rename or re-permission the folder's entries. */
        bool onlyAdministratorsCanChangeIt() const { return onlyAdministrators; }

        /** Reads the whole file through one handle, opened without following a link and without
            waiting: a FIFO or a device must not hold up the start. Anything but a regular file of
            at most maximumFileSize bytes is unreadable; under administratorsOnly, a file that others
            can change, or that lies in a folder others can change, is not read at all. */
        FileRead read (const juce::String& name, Settings::Trust trust, juce::MemoryBlock& bytes) const
        {
            if (! folder.isOpen())
                return folder.wasMissing() ? FileRead::missing : FileRead::unreadable;

            auto file = DurableFiles::ReadableFile::openIn (folder, name);

            if (file.getStatus() == DurableFiles::ReadableFile::Status::missing)
                return FileRead::missing;

            if (! file.isOpen())
                return FileRead::unreadable;

            if (trust == Settings::Trust::administratorsOnly && ! (onlyAdministrators && file.onlyAdministratorsCanChange()))
                return FileRead::changeableByOthers;

            bytes.setSize (bytesToTry);
            size_t total = 0;

            while (total < bytesToTry)
            {
                const auto got = file.read (static_cast<char*> (bytes.getData()) + total, bytesToTry - total);

                if (got < 0)
                    return FileRead::unreadable;

                if (got == 0)
                    break;

                total += (size_t) got;
            }

            if (total > (size_t) Settings::maximumFileSize)
                return FileRead::unreadable;

            bytes.setSize (total);
            return FileRead::read;
        }

        /** Writes a new file of that name: a temporary file, created new, is filled, flushed and
            then given the name, only when no file holds it. Everyone may read it; only
            administrators may change it. */
        bool createNew (const juce::String& name, const juce::MemoryBlock& bytes) const
        {
            return folder.isOpen() && DurableFiles::writeWholeNewFile (folder, name, bytes, DurableFiles::Readers::everyone);
        }

    private:
        DurableFiles::Folder folder;
        bool onlyAdministrators = false;

        JUCE_DECLARE_NON_COPYABLE (SettingsFolder)
    };

    //==============================================================================
    constexpr juce::uint32 replacementCharacter = 0xfffd;

    void appendUtf8 (std::string& text, juce::uint32 c)
    {
        if (c < 0x80)
        {
            text += (char) c;
            return;
        }

        static constexpr juce::uint8 leads[] = { 0, 0, 0xc0, 0xe0, 0xf0 };
        const auto length = c < 0x800 ? 2 : (c < 0x10000 ? 3 : 4);
        char buffer[4];

        for (int i = length - 1; i > 0; --i, c >>= 6)
            buffer[i] = (char) (0x80 | (c & 0x3f));

        buffer[0] = (char) (leads[length] | c);
        text.append (buffer, (size_t) length);
    }

    /** UTF-8 kept where it is well-formed; each maximal ill-formed part becomes one U+FFFD. */
    std::string decodeUtf8 (const juce::uint8* p, const juce::uint8* const end)
    {
        std::string text;
        text.reserve ((size_t) (end - p));

        while (p < end)
        {
            const auto lead = *p;

            if (lead < 0x80)
            {
                appendUtf8 (text, lead == 0 ? (juce::uint32) Settings::nulStandIn : lead);
                ++p;
                continue;
            }

            // The lead byte fixes the length and the range of the second byte (RFC 3629), which
            // shuts out overlong forms, surrogates and code points above U+10FFFF.
            const int length = lead >= 0xc2 && lead <= 0xdf ? 2 : (lead >= 0xe0 && lead <= 0xef ? 3 : (lead >= 0xf0 && lead <= 0xf4 ? 4 : 0));
            const juce::uint8 secondLow = lead == 0xe0 ? 0xa0 : (lead == 0xf0 ? 0x90 : 0x80);
            const juce::uint8 secondHigh = lead == 0xed ? 0x9f : (lead == 0xf4 ? 0x8f : 0xbf);
            int taken = 1;

            while (taken < length && p + taken < end)
            {
                const auto next = p[taken];

                if (taken == 1 ? (next < secondLow || next > secondHigh) : (next & 0xc0) != 0x80)
                    break;

                ++taken;
            }

            if (taken == length)
                text.append (reinterpret_cast<const char*> (p), (size_t) length);
            else
                appendUtf8 (text, replacementCharacter);

            p += taken;
        }

        return text;
    }

    /** UTF-16 as UTF-8; each unpaired surrogate, and an odd byte at the end, becomes U+FFFD. */
    std::string decodeUtf16 (const juce::uint8* p, const juce::uint8* const end, bool bigEndian)
    {
        std::string text;
        text.reserve ((size_t) (end - p));
        const auto unitAt = [bigEndian] (const juce::uint8* q) { return (juce::uint32) (bigEndian ? (q[0] << 8) | q[1] : q[0] | (q[1] << 8)); };

        for (; end - p >= 2; p += 2)
        {
            const auto unit = unitAt (p);
            const auto next = end - p >= 4 ? unitAt (p + 2) : 0u;

            if (unit >= 0xd800 && unit <= 0xdbff && next >= 0xdc00 && next <= 0xdfff)
            {
                appendUtf8 (text, 0x10000 + ((unit - 0xd800) << 10) + (next - 0xdc00));
                p += 2;
            }
            else if (unit >= 0xd800 && unit <= 0xdfff)
            {
                appendUtf8 (text, replacementCharacter);
            }
            else
            {
                appendUtf8 (text, unit == 0 ? (juce::uint32) Settings::nulStandIn : unit);
            }
        }

        if (p != end)
            appendUtf8 (text, replacementCharacter);

        return text;
    }

    bool isXmlCharacter (juce::int64 c)
    {
        return c == 0x9 || c == 0xa || c == 0xd || (c >= 0x20 && c <= 0xd7ff) || (c >= 0xe000 && c <= 0xfffd) || (c >= 0x10000 && c <= 0x10ffff);
    }

    /** The length of the reference at `p` (an ampersand) when the parser reads it as exactly one
        character that XML allows, else 0. */
    int lengthOfCharacterReference (juce::String::CharPointerType p)
    {
        for (const auto* named : { "&amp;", "&lt;", "&gt;", "&quot;", "&apos;" })
        {
            const auto length = (int) std::strlen (named);

            if (p.compareIgnoreCaseUpTo (juce::CharPointer_ASCII (named), length) == 0)
                return length;
        }

        auto q = p;
        ++q;

        if (*q != '#')
            return 0;

        const auto hex = q[1] == 'x' || q[1] == 'X';
        q += hex ? 2 : 1;
        int length = hex ? 3 : 2;
        juce::int64 code = 0;

        // The parser reads at most 8 hexadecimal or 12 decimal digits; 7 are enough for any character.
        for (int digits = 0; digits <= 7; ++digits, ++q, ++length)
        {
            const auto c = *q;
            const auto value = hex ? juce::CharacterFunctions::getHexDigitValue (c) : (c >= '0' && c <= '9' ? (int) (c - '0') : -1);

            if (value < 0)
                return c == ';' && digits > 0 && isXmlCharacter (code) ? length + 1 : 0;

            code = code * (hex ? 16 : 10) + value;
        }

        return 0;
    }

    /** The text to parse: every NUL, and every ampersand that does not start a reference to one
        allowed character, becomes the stand-in, so that no value is read other than written. */
    juce::String markWhatTheParserWouldMisread (const juce::String& text)
    {
        juce::String result;
        result.preallocateBytes (text.getNumBytesAsUTF8());
        auto p = text.getCharPointer();

        for (auto ampersand = p.indexOf ((juce::juce_wchar) '&'); ampersand >= 0; ampersand = p.indexOf ((juce::juce_wchar) '&'))
        {
            const auto start = p;
            p += ampersand;
            const auto length = lengthOfCharacterReference (p);

            if (length == 0)
            {
                result += juce::String (start, p) + juce::String::charToString (Settings::nulStandIn);
                ++p;
            }
            else
            {
                p += length;
                result += juce::String (start, p);
            }
        }

        return result + juce::String (p);
    }

    /** The root element of the settings text, or nothing when it is not XML, declares a
        document type (whose entities could stand for other files) or holds a processing
        instruction other than the leading XML declaration (the parser, rolling back over one
        before text in an element, would never end). */
    std::unique_ptr<juce::XmlElement> parseSettings (const void* bytes, size_t size)
    {
        const auto text = Settings::decodeText (bytes, size);

        if (text.containsIgnoreCase ("<!DOCTYPE") || text.containsIgnoreCase ("<!ENTITY"))
            return {};

        const auto declaration = text.indexOf ("<?");

        if (declaration >= 0 && (text.substring (0, declaration).trim().isNotEmpty() || text.indexOf (declaration + 2, "<?") >= 0))
            return {};

        // A document parsed from a string has no file to resolve anything against.
        juce::XmlDocument document (markWhatTheParserWouldMisread (text));
        return document.getDocumentElement();
    }

    /** The file's bytes as the framework's XML writer lays them out. */
    juce::MemoryBlock getSettingsText (const std::array<juce::String, numFormats>& folderPaths)
    {
        juce::XmlElement root (Settings::rootTag);
        root.setAttribute (Settings::noteAttribute, Settings::note);

        for (const auto formatIndex : writtenFormatOrder)
            root.setAttribute (getPluginFormat (formatIndex).settingsKey, folderPaths[(size_t) formatIndex]);

        juce::MemoryOutputStream text;
        root.writeTo (text, {});
        return text.getMemoryBlock();
    }

    //==============================================================================
} // namespace

juce::String Settings::decodeText (const void* bytes, size_t size)
{
    const auto* data = static_cast<const juce::uint8*> (bytes);
    const auto* const end = data + size;
    const bool littleEndian = size >= 2 && data[0] == 0xff && data[1] == 0xfe;
    const bool bigEndian = size >= 2 && data[0] == 0xfe && data[1] == 0xff;
    const bool utf8Mark = size >= 3 && data[0] == 0xef && data[1] == 0xbb && data[2] == 0xbf;

    const auto text = littleEndian || bigEndian ? decodeUtf16 (data + 2, end, bigEndian)
                                                : decodeUtf8 (data + (utf8Mark ? 3 : 0), end);
    return juce::String (juce::CharPointer_UTF8 (text.c_str()));
}

std::array<juce::String, numFormats> Settings::readFolderValues (const void* bytes, size_t size, PathRules rules)
{
    std::array<juce::String, numFormats> values;

    // The root's tag is not examined: other tools of the maker may name it differently.
    if (const auto root = parseSettings (bytes, size))
    {
        for (int i = 0; i < numFormats; ++i)
        {
            const auto value = root->getStringAttribute (getPluginFormat (i).settingsKey);

            if (isUsableFolderPath (value, rules))
                values[(size_t) i] = value;
        }
    }

    return values;
}

Settings::Trust Settings::getProcessTrust()
{
    return isElevated() ? Trust::administratorsOnly : Trust::anyReadableFile;
}

bool writeSettingsFile (const juce::File& file, const std::array<juce::String, numFormats>& folderPaths)
{
    return SettingsFolder (file.getParentDirectory()).createNew (file.getFileName(), getSettingsText (folderPaths));
}

namespace
{
    /** Reads the settings file into `installFolders` under `trust`; a start that may change the
        disk also makes the folders named and writes a missing file. Returns the notice to tell. */
    juce::String useSettingsFile (const juce::File& settingsFolder, std::array<juce::File, numFormats>& installFolders,
                                  Settings::Trust trust, bool mayChangeTheDisk)
    {
        const SettingsFolder folder (settingsFolder);

        if (folder.isMissing())
            return {};

        juce::MemoryBlock bytes;

        switch (folder.read (Settings::fileName, trust, bytes))
        {
            case FileRead::read:
            {
                const auto values = Settings::readFolderValues (bytes.getData(), bytes.getSize());

                for (size_t i = 0; i < values.size(); ++i)
                {
                    if (values[i].isEmpty())
                        continue;

                    auto& installFolder = installFolders[i];
                    installFolder = juce::File (values[i]);

                    if (mayChangeTheDisk && ! installFolder.exists())
                        installFolder.createDirectory(); // a folder that cannot be made shows up at install time
                }

                return {};
            }

            case FileRead::changeableByOthers:
                return Settings::ignoredAsChangeableByUsers;

            case FileRead::unreadable:
                return {};

            case FileRead::missing:
                break;
        }

        if (! mayChangeTheDisk)
            return {};

        if (trust == Settings::Trust::administratorsOnly && ! folder.onlyAdministratorsCanChangeIt())
            return Settings::notWrittenIntoAFolderUsersCanChange;

        std::array<juce::String, numFormats> paths;

        for (size_t i = 0; i < paths.size(); ++i)
            paths[i] = installFolders[i].getFullPathName();

        folder.createNew (Settings::fileName, getSettingsText (paths));
        return {};
    }
} // namespace

juce::String applySettingsFile (const juce::File& settingsFolder, std::array<juce::File, numFormats>& installFolders,
                                Settings::Trust trust)
{
    return useSettingsFile (settingsFolder, installFolders, trust, true);
}

juce::String readSettingsFile (const juce::File& settingsFolder, std::array<juce::File, numFormats>& installFolders,
                               Settings::Trust trust)
{
    return useSettingsFile (settingsFolder, installFolders, trust, false);
}
