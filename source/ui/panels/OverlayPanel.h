// The base of the two overlay panels: the unit, the close ring, closing, the focus outline and
// the screen readers' group.
#pragma once

#include "ui/widgets/AccessibleControls.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/**
    A panel that covers the main component and closes itself with its close ring, a transparent
    button named "X". Closing only takes the panel off its parent; the owner keeps the object.
    For screen readers and the keyboard the panel is one group: Tab stays among its controls.
*/
class OverlayPanel : public juce::Component,
                     public juce::Button::Listener
{
public:
    /** The title names the group for screen readers. */
    explicit OverlayPanel (const juce::String& title);
    ~OverlayPanel() override;

    /** The control the keyboard focus goes to when the panel opens from the keyboard. */
    virtual juce::Component& getFirstControl() = 0;

    /** The focus outline, while the keyboard is in use. */
    void paintOverChildren (juce::Graphics&) override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

    //==============================================================================
    float unit = 9.0f; // written by the owner before it sets the bounds

    /** Takes the owner's layout unit and covers `ownerArea`, in front of the owner's other children. */
    void cover (juce::Rectangle<int> ownerArea, float ownerUnit);
    std::unique_ptr<TransparentButton> closeButton;

    /** Whether the keyboard focus is shown; the owner sets it. */
    std::function<bool()> isKeyboardFocusShown;

    /** Called once the panel has taken itself off its parent; the owner sets it. */
    std::function<void()> onClose;

protected:
    /** Takes the panel off its parent and then tells the owner, when the owner asked to be told. */
    void dismiss();

    /** Places the close button at the same place in every panel. */
    void placeCloseButton();

    /** The circle and the "X" over the close button: opaque grey while the pointer is over the
        button, half-transparent grey otherwise. */
    void drawCloseRing (juce::Graphics& g) const;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OverlayPanel)
};
