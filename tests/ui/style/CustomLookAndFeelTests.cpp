// The look-and-feel: its typefaces, colours, menu font and plain combo box.
#include "ui/main/MainComponent.h"
#include "ui/main/SnapshotReading.h"
#include "ui/main/TestLocations.h"
#include "ui/style/CustomLookAndFeel.h"
#include "ui/style/Palette.h"

#include <gtest/gtest.h>

namespace
{
    /** Draws a text in a font, white on transparent, into an image of its own. */
    juce::Image renderText (const juce::Font& font, const juce::String& text)
    {
        juce::Image image (juce::Image::ARGB, 200, 60, true);
        juce::Graphics g (image);
        g.setColour (juce::Colours::white);
        g.setFont (font);
        g.drawSingleLineText (text, 4, 45);
        return image;
    }

    bool sameImages (const juce::Image& a, const juce::Image& b)
    {
        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                    return false;

        return true;
    }
} // namespace

class CustomLookAndFeelTest : public testing::Test
{
protected:
    TestFolder folder;
    // The main component makes its look-and-feel the default, as the program does.
    MainComponent component { makeTestLocations (folder) };
    CustomLookAndFeel& lookAndFeel = dynamic_cast<CustomLookAndFeel&> (juce::LookAndFeel::getDefaultLookAndFeel());
};

TEST_F (CustomLookAndFeelTest, makesTwoDifferentTypefacesFromTheEmbeddedFonts)
{
    ASSERT_NE (lookAndFeel.regularTypeface, nullptr);
    ASSERT_NE (lookAndFeel.semiboldTypeface, nullptr);
    EXPECT_NE (lookAndFeel.regularTypeface, lookAndFeel.semiboldTypeface);
    EXPECT_TRUE (lookAndFeel.regularTypeface->getName().isNotEmpty());
   #if JUCE_WINDOWS
    // JUCE on Windows names a typeface made from font data by the font's full name (family and
    // style) and gives it no style of its own.
    EXPECT_NE (lookAndFeel.regularTypeface->getName(), lookAndFeel.semiboldTypeface->getName());
   #else
    EXPECT_EQ (lookAndFeel.regularTypeface->getName(), lookAndFeel.semiboldTypeface->getName()) << "one family";
    EXPECT_NE (lookAndFeel.regularTypeface->getStyle(), lookAndFeel.semiboldTypeface->getStyle());
   #endif
}

TEST_F (CustomLookAndFeelTest, answersEveryFontWithTheRegularTypeface)
{
    const auto regular = lookAndFeel.regularTypeface;

    const juce::Font fonts[] = {
        juce::Font(),
        juce::Font (14.0f),
        juce::Font (20.0f, juce::Font::bold | juce::Font::italic),
        juce::Font (juce::Font::getDefaultMonospacedFontName(), 12.0f, juce::Font::plain),
        juce::Font (juce::Font::getDefaultSerifFontName(), 12.0f, juce::Font::bold),
        juce::Font ("No Such Typeface", "Black", 30.0f),
        lookAndFeel.getPopupMenuFont(),
        lookAndFeel.getLabelFont (component.getHintLine()),
        lookAndFeel.getTextButtonFont (component.getControl ("INSTALL"), 40),
    };

    for (const auto& font : fonts)
    {
        EXPECT_EQ (lookAndFeel.getTypefaceForFont (font), regular) << font.toString();
        EXPECT_EQ (font.getTypefacePtr(), regular) << font.toString();
    }

    EXPECT_EQ (component.getHintLine().getFont().getTypefacePtr(), regular);
}

TEST_F (CustomLookAndFeelTest, rendersABoldFontInTheRegularFace)
{
    juce::Font regular (lookAndFeel.regularTypeface);
    regular.setHeight (40.0f);

    const auto fromRegular = renderText (regular, "Morvane4");
    const auto fromBold = renderText (juce::Font (40.0f, juce::Font::bold), "Morvane4");
    const auto fromSystem = renderText (juce::Font (juce::Font::getDefaultSansSerifFontName(), 40.0f, juce::Font::plain), "Morvane4");

    EXPECT_TRUE (sameImages (fromRegular, fromBold));
    EXPECT_TRUE (sameImages (fromRegular, fromSystem));

    juce::Font semibold (lookAndFeel.semiboldTypeface);
    semibold.setHeight (40.0f);
    EXPECT_FALSE (sameImages (fromRegular, renderText (semibold, "Morvane4"))) << "the comparison can tell faces apart";
}

TEST_F (CustomLookAndFeelTest, setsTheThirteenColoursFromThePalette)
{
    const auto halfGreen = juce::Colour (0x8086cf7a);

    EXPECT_EQ (lookAndFeel.findColour (juce::PopupMenu::backgroundColourId), juce::Colour (0xff111111));
    EXPECT_EQ (lookAndFeel.findColour (juce::PopupMenu::highlightedBackgroundColourId), halfGreen);
    EXPECT_EQ (lookAndFeel.findColour (juce::PopupMenu::textColourId), juce::Colour (0xfff5f5f5));
    EXPECT_EQ (lookAndFeel.findColour (juce::PopupMenu::highlightedTextColourId), Palette::white);
    EXPECT_EQ (lookAndFeel.findColour (juce::AlertWindow::backgroundColourId), Palette::black);
    EXPECT_EQ (lookAndFeel.findColour (juce::AlertWindow::textColourId), juce::Colour (0xffaaa6a6));
    EXPECT_EQ (lookAndFeel.findColour (juce::PropertyComponent::labelTextColourId), halfGreen);
    EXPECT_EQ (lookAndFeel.findColour (juce::ScrollBar::thumbColourId), Palette::grey);
    EXPECT_EQ (lookAndFeel.findColour (juce::ResizableWindow::backgroundColourId), Palette::black);
    EXPECT_EQ (lookAndFeel.findColour (juce::TextEditor::backgroundColourId), Palette::black);
    EXPECT_EQ (lookAndFeel.findColour (juce::ListBox::backgroundColourId), Palette::black);
    EXPECT_EQ (lookAndFeel.findColour (juce::TextButton::buttonColourId), Palette::black);
    EXPECT_EQ (lookAndFeel.findColour (juce::Label::textColourId), Palette::white);

    // Colours it does not set keep the framework's dark scheme.
    const juce::LookAndFeel_V4 framework;
    EXPECT_EQ (lookAndFeel.findColour (juce::TextEditor::textColourId), framework.findColour (juce::TextEditor::textColourId));
    EXPECT_EQ (lookAndFeel.findColour (juce::ComboBox::backgroundColourId), framework.findColour (juce::ComboBox::backgroundColourId));
}

TEST_F (CustomLookAndFeelTest, widgetsMadeAfterItTakeItsColours)
{
    juce::ResizableWindow window ("w", false);
    EXPECT_EQ (window.getBackgroundColour(), Palette::black);

    juce::TextButton button;
    EXPECT_EQ (button.findColour (juce::TextButton::buttonColourId), Palette::black);
}

TEST_F (CustomLookAndFeelTest, givesPopupMenusA30PixelPlainFontWithATenthExtraKerning)
{
    const auto font = lookAndFeel.getPopupMenuFont();

    EXPECT_FLOAT_EQ (font.getHeight(), 30.0f);
    EXPECT_FALSE (font.isBold());
    EXPECT_FALSE (font.isItalic());
    EXPECT_FLOAT_EQ (font.getHorizontalScale(), 1.0f);
    EXPECT_FLOAT_EQ (font.getExtraKerningFactor(), 0.1f);
}

TEST_F (CustomLookAndFeelTest, drawsAComboBoxAsAPlainPillWithItsTextCentred)
{
    juce::ComboBox box;
    box.setBounds (0, 0, 100, 24);

    juce::Label* label = nullptr;

    for (auto* child : box.getChildren())
        if (auto* l = dynamic_cast<juce::Label*> (child))
            label = l;

    ASSERT_NE (label, nullptr);
    EXPECT_EQ (label->getBounds(), juce::Rectangle<int> (1, 1, 100, 22));
    EXPECT_NEAR (label->getFont().getHeight(), 16.8f, 1.0e-4f);
    EXPECT_EQ (label->getJustificationType(), juce::Justification::centred);
    EXPECT_NEAR (lookAndFeel.getComboBoxFont (box).getHeight(), 16.8f, 1.0e-4f);

    label->setVisible (false);
    const auto image = box.createComponentSnapshot (box.getLocalBounds(), true, 1.0f);

    EXPECT_TRUE (snapshot::hasColourAt (image, 50, 12, Palette::panel));
    EXPECT_TRUE (snapshot::hasColourAt (image, 90, 12, Palette::panel)) << "no arrow";
    EXPECT_TRUE (snapshot::hasColourAt (image, 50, 0, Palette::panel)) << "no outline";
    EXPECT_EQ (image.getPixelAt (0, 0).getAlpha(), 0) << "half-circle ends, corner size 12";
    EXPECT_EQ (image.getPixelAt (2, 3).getAlpha(), 0);
    EXPECT_TRUE (snapshot::hasColourAt (image, 4, 12, Palette::panel));
}
