// The overlay that shows the licence agreement in a scrollable text editor.
#pragma once

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

    //==============================================================================
    float unit = 9.0f; // written by the owner before it sets the bounds
    std::unique_ptr<juce::TextEditor> editor;
    std::unique_ptr<juce::TextButton> closeButton;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (panel_eula)
};
