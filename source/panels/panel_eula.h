// The overlay that shows the licence agreement in a scrollable text editor.
#pragma once

#include "panels/PanelParts.h"

#include <juce_gui_basics/juce_gui_basics.h>

/**
    Covers the main component with the heading, the licence text and a close ring.

    Closing only takes the panel off its parent; the main component keeps owning it.
*/
class panel_eula final : public juce::Component,
                         public juce::Button::Listener
{
public:
    /** The editor holds the text; the panel keeps no copy of its own. */
    explicit panel_eula (const juce::String& text);
    ~panel_eula() override;

    //==============================================================================
    void paint (juce::Graphics&) override;
    void resized() override;

    void buttonClicked (juce::Button*) override;

    /** The focus outline, while the keyboard is in use. */
    void paintOverChildren (juce::Graphics&) override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

    //==============================================================================
    float unit = 9.0f; // written by the owner before it sets the bounds
    std::unique_ptr<juce::TextEditor> editor;
    std::unique_ptr<TransparentButton> closeButton;

    /** Whether the keyboard focus is shown; the owner sets it. */
    std::function<bool()> isKeyboardFocusShown;

    /** Called once the panel has taken itself off its parent; the owner sets it. */
    std::function<void()> onClose;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (panel_eula)
};
