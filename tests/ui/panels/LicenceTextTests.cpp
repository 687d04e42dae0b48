#include "ui/panels/LicenceText.h"

#include <gtest/gtest.h>

namespace
{
    juce::StringArray splitLines (const juce::String& text)
    {
        return juce::StringArray::fromTokens (text, "\n", {});
    }

    bool isUpperCaseText (const juce::String& line)
    {
        return line.containsAnyOf ("ABCDEFGHIJKLMNOPQRSTUVWXYZ") && ! line.containsAnyOf ("abcdefghijklmnopqrstuvwxyz");
    }
} // namespace

TEST (LicenceText, isPlainAsciiOf4785BytesIn18LinesWithoutCarriageReturnsOrTabs)
{
    const auto bytes = std::string (licenceText.toRawUTF8());

    EXPECT_EQ (bytes.size(), 4785u);
    EXPECT_EQ ((size_t) licenceText.getNumBytesAsUTF8(), bytes.size());
    EXPECT_EQ (std::count (bytes.begin(), bytes.end(), '\n'), 17);
    EXPECT_EQ (bytes.find ('\r'), std::string::npos);
    EXPECT_EQ (bytes.find ('\t'), std::string::npos);
    EXPECT_NE (bytes.back(), '\n');
    EXPECT_EQ (bytes.back(), ' ');

    for (const auto c : bytes)
        ASSERT_TRUE (c == '\n' || (c >= 0x20 && c < 0x7F)) << "byte " << (int) (unsigned char) c;
}

TEST (LicenceText, hasBlankLinesExactlyAt2_5_7_9_11_13_16AndElevenParagraphsOfTheRightLength)
{
    const auto lines = splitLines (licenceText);
    ASSERT_EQ (lines.size(), 18);

    const std::set<int> blank { 2, 5, 7, 9, 11, 13, 16 };
    int paragraphs = 0;

    for (int n = 1; n <= lines.size(); ++n)
    {
        const auto& line = lines[n - 1];

        if (blank.count (n) != 0)
        {
            EXPECT_TRUE (line.isEmpty()) << "line " << n;
            continue;
        }

        ++paragraphs;
        EXPECT_GE (line.length(), 208) << "line " << n;
        EXPECT_LE (line.length(), 757) << "line " << n;
        EXPECT_FALSE (line.startsWithChar (' ')) << "line " << n;
    }

    EXPECT_EQ (paragraphs, 11);
}

TEST (LicenceText, takesTheSubjectsInOrderWithConsentRestrictionsDisclaimerAndLiabilityInCapitals)
{
    juce::StringArray paragraphs;

    for (const auto& line : splitLines (licenceText))
        if (line.isNotEmpty())
            paragraphs.add (line);

    ASSERT_EQ (paragraphs.size(), 11);

    // The key word of each subject, in the agreed order.
    const char* const subjects[] = { "BY INSTALLING", "License grant", "RESTRICTIONS", "Confidentiality", "Limited warranty",
                                     "DISCLAIMER", "LIMITATION OF LIABILITY", "Beta software", "Termination",
                                     "Export and government use", "Governing law" };

    for (int i = 0; i < 11; ++i)
        EXPECT_TRUE (paragraphs[i].contains (subjects[i])) << "paragraph " << i + 1 << ": " << paragraphs[i];

    for (const int i : { 0, 2, 5, 6 })
        EXPECT_TRUE (isUpperCaseText (paragraphs[i])) << "paragraph " << i + 1;

    for (const int i : { 1, 3, 4, 7, 8, 9, 10 })
        EXPECT_FALSE (isUpperCaseText (paragraphs[i])) << "paragraph " << i + 1;

    // The first sentence says what to do when the user does not agree.
    EXPECT_TRUE (paragraphs[0].contains ("IF YOU DO NOT AGREE"));
}

TEST (LicenceText, namesTheMakerInSeveralPlaces)
{
    int count = 0;

    for (const auto& line : splitLines (licenceText))
        if (line.containsIgnoreCase ("Tarnwick"))
            ++count;

    EXPECT_GE (count, 5);
}
