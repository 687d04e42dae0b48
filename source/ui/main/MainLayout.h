// Where everything of the main view is, in layout units (one hundredth of the view's width), and
// the heights of its texts: each measure written once, for the layout and the views alike.
#pragma once

#include "engine/Catalogue.h"
#include "ui/style/Drawing.h"

#include <array>

namespace MainLayout
{
    struct UnitPoint
    {
        float x, baseline;
    };

    /** A single line of text on its baseline; it sits on whole pixels, truncated toward zero. */
    inline void drawSingleLine (juce::Graphics& g, const juce::String& text, UnitPoint p, float unit)
    {
        g.drawSingleLineText (text, (int) (p.x * unit), (int) (p.baseline * unit), juce::Justification::left);
    }

    // The header: the top bar, the title with its version line, the maker's logo, and the product
    // line with the application's version at the right.
    constexpr float topBarHeight = 1.0f;
    constexpr UnitRect headerBox { 4.0f, 8.0f, 92.0f, 12.0f }; // its text may run on to the view's right edge
    constexpr float titleHeight = 9.0f;
    constexpr float versionLineHeight = 4.0f;
    constexpr UnitRect logoBox { 4.0f, 2.5f, 26.7f, 3.7f };
    constexpr UnitPoint productLine { 75.0f, 4.0f };
    constexpr float productLineHeight = 3.0f;
    constexpr UnitPoint applicationVersionLine { 75.0f, 6.0f };
    constexpr float applicationVersionHeight = 2.0f;

    // The corner dots, the two sections and their rules.
    constexpr float dotDiameter = 1.0f;
    constexpr float sectionTitleHeight = 4.0f;
    constexpr UnitPoint formatsTitle { 4.0f, 26.0f };
    constexpr UnitRect formatsRule { 4.0f, 27.5f, 92.0f, 0.25f };
    constexpr UnitPoint extrasTitle { 4.0f, 70.0f };
    constexpr UnitRect extrasRule { 4.0f, 71.5f, 92.0f, 0.25f };

    // The tabs and INSTALL, with a caption centred under each in a box wider than the button, so
    // that "UNINSTALL" is not cut short; the captions of neighbouring tabs are far narrower than
    // the tab step.
    constexpr float firstTabX = 4.0f;
    constexpr float tabStep = 11.5f;
    constexpr float tabRowY = 73.5f;
    constexpr float tabSize = 10.0f;
    constexpr UnitRect installBounds { 86.0f, 73.5f, 10.0f, 10.0f };
    constexpr float tabIconInset = 2.0f;
    constexpr float installIconInset = 1.5f;
    constexpr float captionHeight = 2.5f;
    constexpr float captionDrop = 3.5f;
    constexpr float captionWidth = 14.0f;

    // The format rows and SELECT ALL.
    constexpr UnitRect selectAllBounds { 77.0f, 22.0f, 19.0f, 5.0f };
    constexpr float selectAllTextHeight = 3.0f;
    constexpr std::array<UnitRect, numFormats> formatRowBounds { { { 4.0f, 30.0f, 45.0f, 10.0f },
                                                                   { 51.0f, 30.0f, 45.0f, 10.0f },
                                                                   { 4.0f, 42.0f, 45.0f, 10.0f } } };
    constexpr float selectionThickness = 0.5f;
    constexpr float rowTextInset = 1.5f;
    constexpr float rowIconWidth = 10.0f;
    constexpr float rowIconInset = 1.0f;
    constexpr float formatNameHeight = 3.5f;
    constexpr float statusHeight = 3.0f;

    // The hint line.
    constexpr UnitRect hintBounds { 4.0f, 90.0f, 92.0f, 3.0f };
    constexpr float hintFontHeight = 3.0f;

    // While a run works: a row per format it works on, where the format rows were (the format and
    // what it is doing above its bar), and Cancel below.
    constexpr UnitRect firstProgressRow { 4.0f, 30.0f, 92.0f, 8.0f };
    constexpr float progressRowStep = 10.0f;
    constexpr float progressTextHeight = 3.0f;
    constexpr float progressTextBandHeight = 4.5f;
    constexpr float progressBarHeight = 2.0f;
    constexpr float progressBarOffset = 5.5f;
    constexpr UnitRect cancelBounds { 77.0f, 60.0f, 19.0f, 5.0f };
    constexpr float cancelTextHeight = 3.0f;

    // After it: the result's picture and word, and a line per format it touched at the bottom of
    // the band between the section rule and the picture, each installed one with its "Show in
    // folder" at the right.
    constexpr UnitRect resultBox { 4.0f, 28.0f, 92.0f, 38.0f };
    constexpr float resultIconInset = 12.0f;
    constexpr float resultTextHeight = 8.0f;
    constexpr UnitRect resultLinesBand { 4.0f, 29.0f, 92.0f, 10.8f };
    constexpr float resultLineStep = 3.6f;
    constexpr float resultTextWidth = 74.0f;
    constexpr float resultLineHeight = 2.5f;
    constexpr float resultLineMinimumScale = 0.8f; // squeezed this far before the end gives way to an ellipsis
    constexpr float showButtonX = 79.0f;
    constexpr float showButtonWidth = 17.0f;
    constexpr float showButtonHeight = 3.0f;
    constexpr float showButtonTextHeight = 2.0f;

    // The alpha of a format row's face that shows a state, while the pointer is elsewhere.
    constexpr juce::uint8 alphaStateRow = 230;

    /** A progress row's area, in pixels. */
    inline juce::Rectangle<float> getProgressArea (int row, float unit)
    {
        return firstProgressRow.toPixelsUnrounded (unit).translated (0.0f, (float) row * progressRowStep * unit);
    }

    /** The most result lines the band holds; more run on below it, over the result's picture. */
    constexpr int linesInBand = 3;

    /** A result line's area, in pixels: up to three lines end at the bottom of the band; row -1 is
        the line above the first. */
    inline juce::Rectangle<float> getResultLineArea (int row, int rows, float unit)
    {
        const auto band = resultLinesBand.toPixelsUnrounded (unit);
        const auto step = resultLineStep * unit;
        const auto top = band.getBottom() - step * (float) (juce::jmin (rows, linesInBand) - row);
        return { band.getX(), top, resultTextWidth * unit, step };
    }
} // namespace MainLayout
