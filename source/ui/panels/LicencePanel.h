// The overlay that shows the licence agreement and the third-party notices in a scrollable text editor.
#pragma once

#include "ui/panels/OverlayPanel.h"

/** Covers the main component with the heading, the licence text (the third-party notices below it)
    and a close ring.
*/
class LicencePanel final : public OverlayPanel
{
public:
    /** The editor holds the text and, below it, the compiled-in third-party notices; the panel keeps
        no copy of its own.
    */
    explicit LicencePanel (const juce::String& text);
    ~LicencePanel() override;

    //==============================================================================
    void paint (juce::Graphics&) override;
    void resized() override;

    void buttonClicked (juce::Button*) override;

    /** The licence text is what the keyboard user came for. */
    juce::Component& getFirstControl() override;

    //==============================================================================
    std::unique_ptr<juce::TextEditor> editor;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LicencePanel)
};
