// The one way this program orders versions: the installed module's against the product's, and a
// kept copy's against its own.
#pragma once

#include <juce_core/juce_core.h>

#include <vector>

/** A version of dot-separated numbers ("4.0.2"), compared part by part where a missing part counts
    as 0: "4.0" = "4.0.0.0" < "4.0.2" < "4.0.10". A part that does not start with a digit counts as
    0; a number too large for 64 bits counts as the largest. */
class Version final
{
public:
    Version() = default;
    explicit Version (const juce::String& text);

    /** Below 0 when this comes before other, 0 when they are the same version, above 0 after. */
    int compare (const Version& other) const;

    bool operator== (const Version& other) const { return compare (other) == 0; }
    bool operator!= (const Version& other) const { return compare (other) != 0; }
    bool operator< (const Version& other) const { return compare (other) < 0; }
    bool operator<= (const Version& other) const { return compare (other) <= 0; }
    bool operator> (const Version& other) const { return compare (other) > 0; }
    bool operator>= (const Version& other) const { return compare (other) >= 0; }

private:
    std::vector<juce::uint64> parts; // without trailing zeros, so that equal versions hold equal parts
};
