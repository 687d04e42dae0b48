// What the main view and the panels draw alike: rectangles in layout units, icons and button faces.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** A rectangle in layout units (one hundredth of the width of the view it is drawn in). */
struct UnitRect
{
    float x, y, width, height;

    /** In pixels, unrounded. */
    juce::Rectangle<float> toPixelsUnrounded (float unit) const;

    /** In pixels, each coordinate rounded on its own to the nearest integer, halves to even. */
    juce::Rectangle<int> toPixels (float unit) const;
};

namespace Faces
{
    /** Alphas of the palette colours on faces and faint texts. */
    constexpr juce::uint8 alphaHovered = 191;
    constexpr juce::uint8 alphaHalf = 128;
    constexpr juce::uint8 alphaFaint = 26;
    constexpr juce::uint8 alphaIdleRow = 89;

    /** The corners of every face, in layout units. */
    constexpr float cornerSize = 1.0f;

    /** The picture of that resource name, drawn in the panel colour: its opaque black is replaced.
        Nothing for a name the resources do not hold. */
    std::unique_ptr<juce::Drawable> createIcon (const char* resourceName);

    /** The face of a tab-like button: green while pressed, grey at three quarters while the
        pointer is over it, half-transparent grey otherwise. */
    juce::Colour getFaceColour (const juce::Button& button);
} // namespace Faces
