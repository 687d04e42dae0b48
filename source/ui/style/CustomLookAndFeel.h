// The installer's look-and-feel: embedded typefaces, palette colours, the buttons' faces and a plain
// combo box.
#pragma once

#include "ui/widgets/FaceButton.h"

#include <juce_gui_basics/juce_gui_basics.h>

class CustomLookAndFeel final : public juce::LookAndFeel_V4,
                                public FaceButton::LookAndFeelMethods
{
public:
    CustomLookAndFeel();
    ~CustomLookAndFeel() override;

    juce::Typeface::Ptr getTypefaceForFont (const juce::Font&) override;
    juce::Font getPopupMenuFont() override;
    void drawComboBox (juce::Graphics&, int width, int height, bool isButtonDown,
                       int buttonX, int buttonY, int buttonW, int buttonH, juce::ComboBox&) override;
    void drawFaceButton (juce::Graphics&, const FaceButton&) override;
    juce::Font getComboBoxFont (juce::ComboBox&) override;
    void positionComboBoxText (juce::ComboBox&, juce::Label&) override;

    juce::Typeface::Ptr regularTypeface;
    juce::Typeface::Ptr semiboldTypeface;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CustomLookAndFeel)
};
