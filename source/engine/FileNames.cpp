#include "engine/FileNames.h"

bool isReservedDeviceName (const juce::String& name)
{
    // Windows ignores what follows the first dot, and spaces before it.
    const auto base = name.upToFirstOccurrenceOf (".", false, false).trimEnd().toUpperCase();

    for (const auto* device : { "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$" })
        if (base == device)
            return true;

    if (base.length() != 4 || ! (base.startsWith ("COM") || base.startsWith ("LPT")))
        return false;

    const auto digit = base[3];
    return (digit >= '1' && digit <= '9') || digit == 0xb9 || digit == 0xb2 || digit == 0xb3;
}

bool isWellFormedUtf8 (const void* bytes, size_t size)
{
    const auto* p = static_cast<const juce::uint8*> (bytes);
    const auto* const end = p + size;

    while (p < end)
    {
        const auto lead = *p++;

        if (lead == 0)
            return false;

        if (lead < 0x80)
            continue;

        // The lead byte fixes the length and the range the second byte may take (RFC 3629).
        if (lead < 0xc2 || lead > 0xf4)
            return false;

        const int continuationBytes = 1 + (lead >= 0xe0 ? 1 : 0) + (lead >= 0xf0 ? 1 : 0);

        // Overlong forms, surrogates and code points above U+10FFFF show in the second byte.
        const juce::uint8 secondLow = lead == 0xe0 ? 0xa0 : (lead == 0xf0 ? 0x90 : 0x80);
        const juce::uint8 secondHigh = lead == 0xed ? 0x9f : (lead == 0xf4 ? 0x8f : 0xbf);

        if (end - p < continuationBytes || *p < secondLow || *p > secondHigh)
            return false;

        for (int i = 1; i < continuationBytes; ++i)
            if ((p[i] & 0xc0) != 0x80)
                return false;

        p += continuationBytes;
    }

    return true;
}

namespace
{
    constexpr juce::juce_wchar replacementCharacter = 0xfffd;

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

    /** A network path to a server's named pipes, mail slots or IPC$ share, which are no folders.
        Windows drops dots and spaces at the end of a part, so "pipe." is the pipe share too. */
    bool isNetworkPathToAServersInternals (const juce::String& path) // an absolute path with backslashes only
    {
        if (! path.startsWith ("\\\\"))
            return false;

        const auto share = path.fromFirstOccurrenceOf ("\\", false, false).substring (1).fromFirstOccurrenceOf ("\\", false, false)
                               .upToFirstOccurrenceOf ("\\", false, false).trimCharactersAtEnd (". ");

        for (const auto* name : { "pipe", "mailslot", "IPC$" })
            if (share.equalsIgnoreCase (name))
                return true;

        return false;
    }

    bool holdsACharacterNoFolderValueHolds (const juce::String& value, PathRules rules)
    {
        for (auto p = value.getCharPointer(); ! p.isEmpty();)
        {
            const auto c = p.getAndAdvance();

            // Controls (C0, DEL, C1) would forge lines in the log and in --status; U+FFFD is where
            // the file's bytes were not text, the stand-in where they held a NUL.
            if (c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == replacementCharacter || c == nulStandIn)
                return true;

            if (rules == PathRules::windows && juce::String ("<>\"|?*").containsChar (c))
                return true;
        }

        // A colon anywhere but after the drive letter names a stream or a device.
        return rules == PathRules::windows && value.indexOfChar (2, ':') >= 0;
    }
} // namespace

bool isUsableFolderPath (const juce::String& value, PathRules rules)
{
    if (value.trim().isEmpty() || value.length() > maximumPathLength || holdsACharacterNoFolderValueHolds (value, rules))
        return false;

    const auto withBackslashes = value.replaceCharacter ('/', '\\');

    // Device and namespace paths, which reach past the file system's folders.
    if (withBackslashes.startsWith ("\\\\?") || withBackslashes.startsWith ("\\\\.") || withBackslashes.startsWith ("\\??\\"))
        return false;

    if (rules == PathRules::posix)
        return value.startsWithChar ('/');

    if (! isWindowsAbsolutePath (withBackslashes) || isNetworkPathToAServersInternals (withBackslashes))
        return false;

    for (const auto& part : juce::StringArray::fromTokens (withBackslashes, "\\", ""))
        if (isReservedDeviceName (part))
            return false;

    return true;
}
