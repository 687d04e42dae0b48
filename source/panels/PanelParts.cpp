#include "panels/PanelParts.h"

#include "style/Palette.h"

namespace PanelParts
{
    juce::Rectangle<int> roundEach (juce::Rectangle<float> r)
    {
        return { juce::roundToInt (r.getX()), juce::roundToInt (r.getY()),
                 juce::roundToInt (r.getWidth()), juce::roundToInt (r.getHeight()) };
    }

    juce::Rectangle<int> toPixels (UnitRect r, float unit)
    {
        return roundEach (toPixelsUnrounded (r, unit));
    }

    juce::Rectangle<float> toPixelsUnrounded (UnitRect r, float unit)
    {
        return { r.x * unit, r.y * unit, r.width * unit, r.height * unit };
    }

    void drawCloseRing (juce::Graphics& g, const juce::Button& closeButton, float unit)
    {
        const auto ring = closeButton.getBounds().toFloat().reduced (2.0f * unit);

        g.setColour (closeButton.isMouseOver (false) ? Palette::grey
                                                     : Palette::grey.withAlpha ((juce::uint8) 0x80));
        g.drawEllipse (ring, unit * 0.25f);
        g.setFont (3.0f * unit);
        g.drawText ("X", ring, juce::Justification::centred, true);
    }

    void removeFromParent (juce::Component& panel)
    {
        if (auto* parent = panel.getParentComponent())
            parent->removeChildComponent (parent->getIndexOfChildComponent (&panel));
    }

    void close (juce::Component& panel, const std::function<void()>& onClose)
    {
        removeFromParent (panel);

        if (onClose)
            onClose();
    }

    void drawKeyboardFocus (juce::Graphics& g, const juce::Component& panel,
                            const std::function<bool()>& isKeyboardFocusShown, float unit)
    {
        if (isKeyboardFocusShown && isKeyboardFocusShown())
            if (auto* focused = KeyboardFocus::findFocusedChild (panel))
                KeyboardFocus::drawOutline (g, *focused, unit);
    }

    void makeFocusGroup (juce::Component& panel, const juce::String& title)
    {
        panel.setTitle (title);
        panel.setFocusContainerType (juce::Component::FocusContainerType::keyboardFocusContainer);
    }

    std::unique_ptr<TransparentButton> createTransparentButton (juce::Component& panel,
                                                                const juce::String& name,
                                                                juce::Button::Listener& listener)
    {
        auto button = std::make_unique<TransparentButton> (listener);
        panel.addAndMakeVisible (*button);
        button->setName (name);
        button->setAlpha (0.0f);
        button->addListener (&listener);
        return button;
    }

    URLLauncher getDefaultLauncher()
    {
        return [] (const juce::URL& url) { url.launchInDefaultBrowser(); };
    }
} // namespace PanelParts
