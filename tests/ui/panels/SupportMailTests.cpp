#include "ui/panels/SupportMail.h"

#include <gtest/gtest.h>

namespace
{
    /** Runs Debian's python with a script and arguments; gives its standard output. */
    juce::String runPython (const juce::String& script, const juce::StringArray& arguments)
    {
        juce::StringArray command { TW_PYTHON, "-c", script };
        command.addArray (arguments);

        juce::ChildProcess python;

        if (! python.start (command, juce::ChildProcess::wantStdOut))
            return "could not start " TW_PYTHON;

        const auto output = python.readAllProcessOutput();
        python.waitForProcessToFinish (30000);
        return python.getExitCode() == 0 ? output : "python failed: " + output;
    }

    juce::String toHex (const juce::String& text)
    {
        return juce::String::toHexString (text.toRawUTF8(), (int) text.getNumBytesAsUTF8(), 0);
    }

    /** Another URL parser than ours splits the link and decodes its query. */
    juce::var decodeWithPython (const juce::String& link)
    {
        const auto script = R"(
import json, sys, urllib.parse
parts = urllib.parse.urlsplit(sys.argv[1])
query = urllib.parse.parse_qs(parts.query, keep_blank_values=True, strict_parsing=True)
result = {"scheme": parts.scheme, "address": parts.path, "keys": sorted(query),
          "subject": query.get("subject", [""])[0], "body": query.get("body", [""])[0]}
sys.stdout.buffer.write(json.dumps(result, ensure_ascii=False).encode("utf-8"))
)";
        const auto output = runPython (script, { link });
        auto parsed = juce::JSON::parse (output);
        EXPECT_TRUE (parsed.isObject()) << output;
        return parsed;
    }

    /** A Windows test program (run under Wine) cannot start the build machine's Python; the
        checks against Python's URL functions run in the Linux build. */
#if JUCE_WINDOWS
    constexpr bool canRunPython = false;
#else
    constexpr bool canRunPython = true;
#endif

    const SystemDescription windowsDesktop { "Windows 10", "Windows (Desktop)", "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz" };
} // namespace

TEST (SupportMail, escapesEveryByteButLettersDigitsAndUnderscoreHyphenDotTildeParentheses)
{
    if (! canRunPython)
        GTEST_SKIP() << "needs the build machine's Python";

    // Every ASCII character but NUL, and a few beyond ASCII (two, three and four UTF-8 bytes).
    juce::String text;

    for (juce::juce_wchar c = 1; c < 128; ++c)
        text += juce::String::charToString (c);

    text += juce::String (juce::CharPointer_UTF8 ("\xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xb9"));

    const auto expected = runPython ("import sys, urllib.parse\n"
                                     "sys.stdout.write(urllib.parse.quote(bytes.fromhex(sys.argv[1]), safe='()'))",
                                     { toHex (text) });

    EXPECT_EQ (escapeMailParameter (text), expected);
    EXPECT_EQ (escapeMailParameter (" \n:@&=+?#%"), "%20%0A%3A%40%26%3D%2B%3F%23%25");
    EXPECT_EQ (escapeMailParameter ("a_b-c.d~e(f)"), "a_b-c.d~e(f)");
}

TEST (SupportMail, buildsTheLinkByteForByte)
{
    const auto link = buildSupportMailLink ("Morvane4", "4.0.2", windowsDesktop);

    EXPECT_TRUE (link.startsWith (juce::String ("mailto:") + Support::mailAddress
                                  + "?subject=Morvane4%20help&body=Product%3A%20Morvane4%204.0.2%0AOperating%20System%3A%20"))
        << link;
    EXPECT_TRUE (link.contains ("Operating%20System%3A%20Windows%2010%0A"));
    EXPECT_TRUE (link.contains ("Device%3A%20Windows%20(Desktop)%0A"));
    EXPECT_TRUE (link.contains ("CPU%3A%20Intel(R)%20Core(TM)%20i7-8700%20CPU%20%40%203.20GHz%0A%0A"));
    EXPECT_TRUE (link.endsWith ("if%20possible%3A%0A"));
    EXPECT_EQ (link.indexOfChar ('&'), link.indexOf ("&body="));
    EXPECT_EQ (link.indexOfChar ('?'), link.indexOf ("?subject="));
}

TEST (SupportMail, anotherParserGetsBackExactlyTheSubjectAndBody)
{
    if (! canRunPython)
        GTEST_SKIP() << "needs the build machine's Python";

    const auto product = juce::String (juce::CharPointer_UTF8 ("R&D Synth (beta) caf\xc3\xa9"));
    const auto link = buildSupportMailLink (product, "4.0.2", windowsDesktop);
    const auto decoded = decodeWithPython (link);

    EXPECT_EQ (decoded["scheme"].toString(), "mailto");
    EXPECT_EQ (decoded["address"].toString(), Support::mailAddress);
    EXPECT_EQ (juce::JSON::toString (decoded["keys"], true), R"(["body", "subject"])");
    EXPECT_EQ (decoded["subject"].toString(), product + " help");
    EXPECT_EQ (decoded["body"].toString(),
               "Product: " + product + " 4.0.2\n"
               "Operating System: Windows 10\n"
               "Device: Windows (Desktop)\n"
               "CPU: Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\n"
               "\n"
               "Your problem, and the steps to recreate it, if possible:\n");
}

TEST (SupportMail, carriesThisMachinesDescriptionAndAnEmptyProcessorName)
{
    if (! canRunPython)
        GTEST_SKIP() << "needs the build machine's Python";

    const auto system = SystemDescription::fromSystem();
    EXPECT_EQ (system.operatingSystem, juce::SystemStats::getOperatingSystemName());
    EXPECT_EQ (system.device, juce::SystemStats::getDeviceDescription());
    EXPECT_EQ (system.cpu, juce::SystemStats::getCpuModel());

    const auto decoded = decodeWithPython (buildSupportMailLink ("Morvane4", "4.0.2", { "Linux", "", "" }));
    EXPECT_EQ (decoded["body"].toString(),
               "Product: Morvane4 4.0.2\nOperating System: Linux\nDevice: \nCPU: \n\n"
               "Your problem, and the steps to recreate it, if possible:\n");
}

TEST (SupportMail, pointsAtTheChatInvitationAndTheMakersMailbox)
{
    const juce::URL chat (Support::chatInvitationAddress);
    EXPECT_EQ (chat.getScheme(), "https");
    EXPECT_EQ (chat.getDomain(), "discord.gg");
    EXPECT_TRUE (chat.getSubPath().containsOnly ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"));
    EXPECT_GE (chat.getSubPath().length(), 6);

    EXPECT_TRUE (juce::String (Support::mailAddress).endsWith ("@tarnwick.com"));
}
