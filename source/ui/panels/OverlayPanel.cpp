#include "ui/panels/OverlayPanel.h"

#include "ui/panels/PanelParts.h"
#include "ui/style/Drawing.h"
#include "ui/style/Palette.h"

namespace
{
    // In layout units.
    constexpr UnitRect closeButtonBounds { 88.0f, 1.5f, 8.0f, 8.0f };
    constexpr float closeRingInset = 2.0f;
    constexpr float closeRingThickness = 0.25f;
    constexpr float closeMarkHeight = 3.0f;
} // namespace

OverlayPanel::OverlayPanel (const juce::String& title)
{
    closeButton = PanelParts::createTransparentButton (*this, "X", *this);
    closeButton->setTitle ("Close");

    setTitle (title);
    setFocusContainerType (juce::Component::FocusContainerType::keyboardFocusContainer);
}

OverlayPanel::~OverlayPanel() = default;

void OverlayPanel::paintOverChildren (juce::Graphics& g)
{
    if (isKeyboardFocusShown && isKeyboardFocusShown())
        if (auto* focused = KeyboardFocus::findFocusedChild (*this))
            KeyboardFocus::drawOutline (g, *focused, unit);
}

std::unique_ptr<juce::AccessibilityHandler> OverlayPanel::createAccessibilityHandler()
{
    return KeyboardFocus::createGroupHandler (*this);
}

void OverlayPanel::cover (juce::Rectangle<int> ownerArea, float ownerUnit)
{
    unit = ownerUnit;
    setBounds (ownerArea);
    setAlwaysOnTop (true);
}

void OverlayPanel::dismiss()
{
    if (auto* parent = getParentComponent())
        parent->removeChildComponent (parent->getIndexOfChildComponent (this));

    if (onClose)
        onClose();
}

void OverlayPanel::placeCloseButton()
{
    closeButton->setBounds (closeButtonBounds.toPixels (unit));
}

void OverlayPanel::drawCloseRing (juce::Graphics& g) const
{
    const auto ring = closeButton->getBounds().toFloat().reduced (closeRingInset * unit);

    g.setColour (closeButton->isMouseOver (false) ? Palette::grey : Palette::grey.withAlpha (Faces::alphaHalf));
    g.drawEllipse (ring, unit * closeRingThickness);
    g.setFont (closeMarkHeight * unit);
    g.drawText ("X", ring, juce::Justification::centred, true);
}
