// What the two overlay panels share: placement on the unit grid, the close ring, closing.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace PanelParts
{
    /** A rectangle in layout units. */
    struct UnitRect
    {
        float x, y, width, height;
    };

    /** Each coordinate rounded on its own to the nearest integer, halves to even. */
    juce::Rectangle<int> roundEach (juce::Rectangle<float> r);

    /** The rectangle in pixels, each coordinate rounded on its own to the nearest integer, halves to even. */
    juce::Rectangle<int> toPixels (UnitRect r, float unit);

    /** The rectangle in pixels, unrounded. */
    juce::Rectangle<float> toPixelsUnrounded (UnitRect r, float unit);

    /** The close button's place in both panels, in units. */
    constexpr UnitRect closeButtonBounds { 88.0f, 1.5f, 8.0f, 8.0f };

    /** The circle and the "X" over the transparent close button: opaque grey while the pointer
        is over the button, half-transparent grey otherwise. */
    void drawCloseRing (juce::Graphics& g, const juce::Button& closeButton, float unit);

    /** Takes a panel off its parent; the owner keeps the object. */
    void removeFromParent (juce::Component& panel);

    /** A transparent, clickable button that the panel draws itself. */
    std::unique_ptr<juce::TextButton> createTransparentButton (juce::Component& panel,
                                                               const juce::String& name,
                                                               juce::Button::Listener& listener);

    /** Hands a web address or a "mailto:" link to the system; the outcome is not examined. */
    using URLLauncher = std::function<void (const juce::URL&)>;

    /** The launcher the program uses: the system's default handler. */
    URLLauncher getDefaultLauncher();
} // namespace PanelParts
