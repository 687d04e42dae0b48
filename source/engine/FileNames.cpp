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
