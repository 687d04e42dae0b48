#include "ui/panels/SupportMail.h"

SystemDescription SystemDescription::fromSystem()
{
    return { juce::SystemStats::getOperatingSystemName(),
             juce::SystemStats::getDeviceDescription(),
             juce::SystemStats::getCpuModel() };
}

juce::String escapeMailParameter (const juce::String& text)
{
    // JUCE's parameter escaping, with parentheses left as they are.
    return juce::URL::addEscapeChars (text, true, true);
}

juce::String buildSupportMailLink (const juce::String& productName,
                                   const juce::String& productVersion,
                                   const SystemDescription& system)
{
    const auto subject = productName + " help";

    juce::String body;
    body << "Product: " << productName << " " << productVersion << "\n"
         << "Operating System: " << system.operatingSystem << "\n"
         << "Device: " << system.device << "\n"
         << "CPU: " << system.cpu << "\n"
         << "\n"
         << "Your problem, and the steps to recreate it, if possible:\n";

    return juce::String ("mailto:") + Support::mailAddress
         + "?subject=" + escapeMailParameter (subject)
         + "&body=" + escapeMailParameter (body);
}
