#include "ui/style/CustomLookAndFeel.h"

#include "ui/style/Drawing.h"
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

void CustomLookAndFeel::drawFaceButton (juce::Graphics& g, const FaceButton& button)
{
    const auto bounds = button.getLocalBounds().toFloat();
    const auto u = button.unit;
    const auto pressed = button.isMouseButtonDown();
    const auto enabled = button.isEnabled();
    auto textColour = Palette::panel;

    switch (button.style)
    {
        case FaceButton::Style::picture:
        case FaceButton::Style::word:
            g.setColour (Faces::getFaceColour (button));
            break;

        case FaceButton::Style::faintWord:
        case FaceButton::Style::faintWordLit:
        {
            // Faint until pressed; one that lights up does so under the pointer, and its word
            // fades once it can no longer be pressed.
            const auto lit = button.style == FaceButton::Style::faintWordLit && button.isMouseOver() && enabled;
            g.setColour (pressed ? Palette::green : Palette::grey.withAlpha (lit ? Faces::alphaIdleRow : Faces::alphaFaint));
            textColour = pressed ? Palette::panel : Palette::grey.withAlpha (enabled ? (juce::uint8) 255 : Faces::alphaHalf);
            break;
        }
    }

    g.fillRoundedRectangle (bounds, Faces::cornerSize * u);

    if (button.style == FaceButton::Style::picture)
    {
        if (button.icon != nullptr)
            button.icon->drawWithin (g, bounds.reduced (button.iconInset * u), juce::RectanglePlacement::centred, 1.0f);

        return;
    }

    g.setColour (textColour);
    g.setFont (juce::Font (regularTypeface).withHeight (button.textHeight * u));
    g.drawText (button.getButtonText(), bounds, juce::Justification::centred, true);
}
