// What the two overlay panels share: placement on the unit grid, the close ring, closing.
#pragma once

#include "style/AccessibleControls.h"

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

    /** Takes a panel off its parent and then tells its owner, when the owner asked to be told. */
    void close (juce::Component& panel, const std::function<void()>& onClose);

    /** The focus outline around the panel's focused control, while the owner says that the
        keyboard focus is shown. */
    void drawKeyboardFocus (juce::Graphics& g, const juce::Component& panel,
                            const std::function<bool()>& isKeyboardFocusShown, float unit);

    /** Makes the panel one group for screen readers and the keyboard: Tab stays among its controls. */
    void makeFocusGroup (juce::Component& panel, const juce::String& title);

    /** A transparent, clickable button that the panel draws itself, named after its command. */
    std::unique_ptr<TransparentButton> createTransparentButton (juce::Component& panel,
                                                                const juce::String& name,
                                                                juce::Button::Listener& listener);

    /** Hands a web address or a "mailto:" link to the system; the outcome is not examined. */
    using URLLauncher = std::function<void (const juce::URL&)>;

    /** The launcher the program uses: the system's default handler. */
    URLLauncher getDefaultLauncher();
} // namespace PanelParts
