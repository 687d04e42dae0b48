// Reading colours out of rendered snapshots, with a small tolerance for anti-aliasing.
#pragma once

#include <juce_graphics/juce_graphics.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace snapshot
{
    constexpr int tolerance = 3;

    /** The colour a palette colour at some alpha shows when drawn over an opaque background. */
    inline juce::Colour over (juce::Colour background, juce::Colour colour)
    {
        return background.overlaidWith (colour);
    }

    inline bool isNear (juce::Colour a, juce::Colour b, int maxDifference = tolerance)
    {
        return std::abs ((int) a.getRed() - (int) b.getRed()) <= maxDifference
               && std::abs ((int) a.getGreen() - (int) b.getGreen()) <= maxDifference
               && std::abs ((int) a.getBlue() - (int) b.getBlue()) <= maxDifference
               && std::abs ((int) a.getAlpha() - (int) b.getAlpha()) <= maxDifference;
    }

    inline testing::AssertionResult hasColourAt (const juce::Image& image, int x, int y, juce::Colour expected)
    {
        const auto actual = image.getPixelAt (x, y);

        if (isNear (actual, expected))
            return testing::AssertionSuccess();

        return testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is #" << actual.toDisplayString (true)
                                           << ", expected #" << expected.toDisplayString (true);
    }

    /** How many pixels of an area are near a colour. */
    inline int countNear (const juce::Image& image, juce::Rectangle<int> area, juce::Colour colour,
                          int maxDifference = tolerance)
    {
        int count = 0;
        area = area.getIntersection (image.getBounds());

        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                if (isNear (image.getPixelAt (x, y), colour, maxDifference))
                    ++count;

        return count;
    }

    /** How many pixels of an area differ from a colour. */
    inline int countDifferent (const juce::Image& image, juce::Rectangle<int> area, juce::Colour colour)
    {
        const auto clipped = area.getIntersection (image.getBounds());
        return clipped.getWidth() * clipped.getHeight() - countNear (image, clipped, colour);
    }
} // namespace snapshot
