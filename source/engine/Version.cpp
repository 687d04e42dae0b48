#include "engine/Version.h"

#include <algorithm>
#include <limits>

namespace
{
    /** The leading digits of a part ("10" -> 10, "2-beta" -> 2, "x" -> 0), held at the largest
        64-bit number rather than wrapping round to a small one. */
    juce::uint64 parsePart (const juce::String& part)
    {
        constexpr auto largest = std::numeric_limits<juce::uint64>::max();
        juce::uint64 value = 0;

        for (auto p = part.trim().getCharPointer(); *p >= '0' && *p <= '9'; ++p)
        {
            const auto digit = (juce::uint64) (*p - '0');

            if (value > (largest - digit) / 10)
                return largest;

            value = value * 10 + digit;
        }

        return value;
    }
} // namespace

Version::Version (const juce::String& text)
{
    juce::StringArray tokens;
    tokens.addTokens (text.trim(), ".", "");

    for (const auto& token : tokens)
        parts.push_back (parsePart (token));

    while (! parts.empty() && parts.back() == 0)
        parts.pop_back();
}

int Version::compare (const Version& other) const
{
    // Without trailing zeros, a version that runs on past a shared start is the later one.
    if (std::lexicographical_compare (parts.begin(), parts.end(), other.parts.begin(), other.parts.end()))
        return -1;

    return parts == other.parts ? 0 : 1;
}
