// Where the support panel sends the user, and the prepared support e-mail link.
#pragma once

#include <juce_core/juce_core.h>

namespace Support
{
    /** The invitation to the maker's community chat. */
    constexpr const char* chatInvitationAddress = "https://discord.gg/tWk7Qm4R";

    /** The maker's support mailbox. */
    constexpr const char* mailAddress = "support@tarnwick.com";
} // namespace Support

/** What the support e-mail tells about the machine. */
struct SystemDescription
{
    juce::String operatingSystem;
    juce::String device;
    juce::String cpu;

    /** This machine, as the framework reports it. */
    static SystemDescription fromSystem();
};

/** Escapes a query parameter: every UTF-8 byte that is not an ASCII letter or digit or one of
    "_-.~()" becomes "%" and two upper-case hexadecimal digits. */
juce::String escapeMailParameter (const juce::String& text);

/** The "mailto:" link to the support mailbox, with the subject "<product> help" and a body that
    carries the product, its version and the system description. */
juce::String buildSupportMailLink (const juce::String& productName,
                                   const juce::String& productVersion,
                                   const SystemDescription& system);
