#include "main/engine/SettingsFile.h"

#include "main/engine/FileNames.h"
#include "main/engine/WindowsApi.h"

#include <cstring>

#if ! JUCE_WINDOWS
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

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
        read
    };

    /** Reads the whole settings file through one handle, opened without following a link and
        without waiting: a FIFO or a device must not hold up the start, and a link in a folder that
        others may write to must not make this program read a file of someone else's. Anything
        but a regular file of at most maximumFileSize bytes is unreadable. */
    FileRead readSettingsBytes (const juce::File& file, juce::MemoryBlock& bytes)
    {
        constexpr auto bytesToTry = (size_t) Settings::maximumFileSize + 1; // one more shows a larger file
        bytes.setSize (bytesToTry);
        size_t total = 0;

       #if JUCE_WINDOWS
        const auto handle = CreateFileW (file.getFullPathName().toWideCharPointer(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

        if (handle == INVALID_HANDLE_VALUE)
        {
            const auto error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRead::missing : FileRead::unreadable;
        }

        BY_HANDLE_FILE_INFORMATION info {};
        constexpr DWORD notAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
        bool ok = GetFileType (handle) == FILE_TYPE_DISK && GetFileInformationByHandle (handle, &info) && (info.dwFileAttributes & notAFile) == 0;

        while (ok && total < bytesToTry)
        {
            DWORD got = 0;
            ok = ReadFile (handle, static_cast<char*> (bytes.getData()) + total, (DWORD) (bytesToTry - total), &got, nullptr) != 0;

            if (got == 0)
                break;

            total += got;
        }

        CloseHandle (handle);
       #else
        const auto fd = ::open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);

        if (fd < 0)
            return errno == ENOENT ? FileRead::missing : FileRead::unreadable;

        struct stat info = {};
        bool ok = ::fstat (fd, &info) == 0 && S_ISREG (info.st_mode);

        while (ok && total < bytesToTry)
        {
            const auto got = ::read (fd, static_cast<char*> (bytes.getData()) + total, bytesToTry - total);

            if (got < 0 && errno == EINTR)
                continue;

            ok = got >= 0;

            if (got <= 0)
                break;

            total += (size_t) got;
        }

        ::close (fd);
       #endif

        if (! ok || total > (size_t) Settings::maximumFileSize)
            return FileRead::unreadable;

        bytes.setSize (total);
        return FileRead::read;
    }

    //==============================================================================
    /** The file's text, UTF-8 or UTF-16 after a byte-order mark, with each NUL as the stand-in. */
    juce::String decodeText (const juce::MemoryBlock& bytes)
    {
        const auto* data = static_cast<const juce::uint8*> (bytes.getData());
        const auto size = bytes.getSize();
        const bool littleEndian = size >= 2 && data[0] == 0xff && data[1] == 0xfe;
        const bool bigEndian = size >= 2 && data[0] == 0xfe && data[1] == 0xff;

        if (littleEndian || bigEndian)
        {
            std::vector<juce::CharPointer_UTF16::CharType> units;

            for (size_t i = 2; i + 1 < size; i += 2)
            {
                const int unit = littleEndian ? data[i] | (data[i + 1] << 8) : (data[i] << 8) | data[i + 1];
                units.push_back ((juce::CharPointer_UTF16::CharType) (unit == 0 ? (int) Settings::nulStandIn : unit));
            }

            units.push_back (0);
            return juce::String (juce::CharPointer_UTF16 (units.data()));
        }

        const bool utf8Mark = size >= 3 && data[0] == 0xef && data[1] == 0xbb && data[2] == 0xbf;
        std::string text (reinterpret_cast<const char*> (data) + (utf8Mark ? 3 : 0), size - (utf8Mark ? 3 : 0));
        const auto standIn = juce::String::charToString (Settings::nulStandIn).toStdString();

        for (auto nul = text.find ('\0'); nul != std::string::npos; nul = text.find ('\0', nul))
            text.replace (nul, 1, standIn);

        return juce::String::fromUTF8 (text.data(), (int) text.size());
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

    /** The root element of the settings text, or nothing when it is not XML or declares a
        document type (whose entities could stand for other files). */
    std::unique_ptr<juce::XmlElement> parseSettings (const juce::MemoryBlock& bytes)
    {
        const auto text = decodeText (bytes);

        if (text.containsIgnoreCase ("<!DOCTYPE") || text.containsIgnoreCase ("<!ENTITY"))
            return {};

        // A document parsed from a string has no file to resolve anything against.
        juce::XmlDocument document (markWhatTheParserWouldMisread (text));
        return document.getDocumentElement();
    }

    void readSettings (const juce::XmlElement& root, std::array<juce::File, numFormats>& installFolders,
                       bool createMissingFolders = true)
    {
        // The root's tag is not examined: other tools of the maker may name it differently.
        for (int i = 0; i < numFormats; ++i)
        {
            const auto value = root.getStringAttribute (getPluginFormat (i).settingsKey);

            if (! Settings::isUsableFolderPath (value))
                continue;

            auto& folder = installFolders[(size_t) i];
            folder = juce::File (value);

            if (createMissingFolders && ! folder.exists())
                folder.createDirectory(); // a folder that cannot be made shows up at install time
        }
    }

    //==============================================================================
    bool isWindowsAbsolutePath (const juce::String& path) // with backslashes only
    {
        if (path.length() >= 3 && juce::CharacterFunctions::isLetter (path[0]) && path[0] < 0x80 && path[1] == ':' && path[2] == '\\')
            return true;

        if (! path.startsWith ("\\\\"))
            return false;

        const auto server = path.substring (2).upToFirstOccurrenceOf ("\\", false, false);
        const auto share = path.substring (3 + server.length()).upToFirstOccurrenceOf ("\\", false, false);
        return server.isNotEmpty() && share.isNotEmpty();
    }
} // namespace

bool Settings::isUsableFolderPath (const juce::String& value, PathRules rules)
{
    if (value.trim().isEmpty() || value.length() > maximumPathLength || value.containsChar (nulStandIn))
        return false;

    const auto withBackslashes = value.replaceCharacter ('/', '\\');

    // Device and namespace paths, which reach past the file system's folders.
    if (withBackslashes.startsWith ("\\\\?") || withBackslashes.startsWith ("\\\\."))
        return false;

    if (rules == PathRules::posix)
        return value.startsWithChar ('/');

    if (! isWindowsAbsolutePath (withBackslashes))
        return false;

    for (const auto& part : juce::StringArray::fromTokens (withBackslashes, "\\", ""))
        if (isReservedDeviceName (part))
            return false;

    return true;
}

bool writeSettingsFile (const juce::File& file, const std::array<juce::String, numFormats>& folderPaths)
{
    juce::XmlElement root (Settings::rootTag);
    root.setAttribute (Settings::noteAttribute, Settings::note);

    for (const auto formatIndex : writtenFormatOrder)
        root.setAttribute (getPluginFormat (formatIndex).settingsKey, folderPaths[(size_t) formatIndex]);

    return root.writeTo (file);
}

void applySettingsFile (const juce::File& settingsFolder, std::array<juce::File, numFormats>& installFolders)
{
    const auto file = settingsFolder.getChildFile (Settings::fileName);
    juce::MemoryBlock bytes;

    switch (readSettingsBytes (file, bytes))
    {
        case FileRead::read:
            if (const auto root = parseSettings (bytes))
                readSettings (*root, installFolders);

            return;

        case FileRead::unreadable:
            return;

        case FileRead::missing:
            break;
    }

    std::array<juce::String, numFormats> paths;

    for (size_t i = 0; i < paths.size(); ++i)
        paths[i] = installFolders[i].getFullPathName();

    writeSettingsFile (file, paths);
}

void readSettingsFile (const juce::File& settingsFolder, std::array<juce::File, numFormats>& installFolders)
{
    juce::MemoryBlock bytes;

    if (readSettingsBytes (settingsFolder.getChildFile (Settings::fileName), bytes) == FileRead::read)
        if (const auto root = parseSettings (bytes))
            readSettings (*root, installFolders, false);
}
