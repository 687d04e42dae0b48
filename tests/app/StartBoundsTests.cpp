#include "app/StartBounds.h"

#include <gtest/gtest.h>

namespace
{
    struct StartCase
    {
        const char* screen;
        juce::Rectangle<int> userArea;
        juce::BorderSize<int> frame; // top, left, bottom, right
        juce::Rectangle<int> expectedClientArea;
    };

    const juce::BorderSize<int> noFrame;
    const juce::BorderSize<int> titledFrame (31, 8, 8, 8);

    const StartCase startCases[] = {
        { "room to spare, no frame", { 0, 0, 1024, 768 }, noFrame, { 212, 84, 600, 600 } },
        { "room to spare, framed", { 0, 0, 1920, 1040 }, titledFrame, { 660, 232, 600, 600 } },
        { "exactly room for the frame", { 0, 0, 616, 639 }, titledFrame, { 8, 31, 600, 600 } },
        { "too low, no frame", { 0, 0, 1024, 540 }, noFrame, { 242, 0, 540, 540 } },
        { "too low, framed, taskbar below", { 0, 0, 1093, 574 }, titledFrame, { 279, 31, 535, 535 } },
        { "too narrow, framed, taskbar on the left", { 48, 0, 500, 900 }, titledFrame, { 56, 220, 484, 484 } },
        { "too low, framed, taskbar above", { 0, 40, 1280, 512 }, titledFrame, { 404, 71, 473, 473 } },
        { "odd room", { 0, 0, 1024, 537 }, noFrame, { 244, 0, 537, 537 } },
        { "smaller than the smallest window", { 10, 20, 100, 90 }, titledFrame, { 18, 51, 128, 128 } },
    };
} // namespace

class StartBoundsTest : public testing::TestWithParam<StartCase>
{
};

TEST_P (StartBoundsTest, opensAsLargeAsAllowedCentredWithTheTitleBarOnScreen)
{
    const auto& c = GetParam();
    const auto client = getStartBounds (c.userArea, c.frame, 600, 128);

    EXPECT_EQ (client, c.expectedClientArea) << client.toString();

    const auto framed = c.frame.addedTo (client);
    EXPECT_TRUE (framed.getY() >= c.userArea.getY() && framed.getX() >= c.userArea.getX()) << framed.toString();

    if (client.getWidth() > 128)
    {
        EXPECT_TRUE (c.userArea.contains (framed)) << framed.toString();
    }
}

INSTANTIATE_TEST_SUITE_P (Screens, StartBoundsTest, testing::ValuesIn (startCases),
                          [] (const auto& testInfo)
                          { return juce::String (testInfo.param.screen).retainCharacters ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ").toStdString(); });
