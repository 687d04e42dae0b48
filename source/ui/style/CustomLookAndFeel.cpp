#include "ui/style/CustomLookAndFeel.h"

#include "ui/style/Palette.h"

#include <BinaryData.h>

CustomLookAndFeel::CustomLookAndFeel()
{
    regularTypeface = juce::Typeface::createSystemTypefaceFor (BinaryData::SFProRoundedRegular_otf,
                                                               (size_t) BinaryData::SFProRoundedRegular_otfSize);
    semiboldTypeface = juce::Typeface::createSystemTypefaceFor (BinaryData::SFProRoundedSemibold_otf,
                                                                (size_t) BinaryData::SFProRoundedSemibold_otfSize);

    // The framework keeps the typeface it once found for a font name and style, whichever
    // look-and-feel answered then: forget those, so every font is answered by this one.
    juce::Typeface::clearTypefaceCache();

    const auto halfGreen = Palette::green.withAlpha ((juce::uint8) 0x80);

    setColour (juce::PopupMenu::backgroundColourId, Palette::black);
    setColour (juce::PopupMenu::highlightedBackgroundColourId, halfGreen);
    setColour (juce::PopupMenu::textColourId, Palette::white);
    setColour (juce::PopupMenu::highlightedTextColourId, Palette::white);
    setColour (juce::AlertWindow::backgroundColourId, Palette::black);
    setColour (juce::AlertWindow::textColourId, Palette::grey);
    setColour (juce::PropertyComponent::labelTextColourId, halfGreen);
    setColour (juce::ScrollBar::thumbColourId, Palette::grey);
    setColour (juce::ResizableWindow::backgroundColourId, Palette::black);
    setColour (juce::TextEditor::backgroundColourId, Palette::black);
    setColour (juce::ListBox::backgroundColourId, Palette::black);
    setColour (juce::TextButton::buttonColourId, Palette::black);
    setColour (juce::Label::textColourId, Palette::white);
}

CustomLookAndFeel::~CustomLookAndFeel()
{
    regularTypeface = nullptr;
    semiboldTypeface = nullptr;
}

juce::Typeface::Ptr CustomLookAndFeel::getTypefaceForFont (const juce::Font&)
{
    // Every font of the application, whatever name, weight or style it asks for.
    return regularTypeface;
}

juce::Font CustomLookAndFeel::getPopupMenuFont()
{
    juce::Font font;
    font.setSizeAndStyle (30.0f, juce::Font::plain, 1.0f, 0.1f);
    return font;
}

void CustomLookAndFeel::drawComboBox (juce::Graphics& g, int width, int height, bool, int, int, int, int, juce::ComboBox&)
{
    g.setColour (Palette::panel);
    g.fillRoundedRectangle (0.0f, 0.0f, (float) width, (float) height, (float) height * 0.5f);
}

juce::Font CustomLookAndFeel::getComboBoxFont (juce::ComboBox& box)
{
    return juce::Font ((float) box.getHeight() * 0.7f, juce::Font::plain);
}

void CustomLookAndFeel::positionComboBoxText (juce::ComboBox& box, juce::Label& label)
{
    label.setBounds (1, 1, box.getWidth(), box.getHeight() - 2);
    label.setFont (getComboBoxFont (box));
    label.setJustificationType (juce::Justification::centred);
}
