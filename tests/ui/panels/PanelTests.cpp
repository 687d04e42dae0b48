#include "ui/main/DesktopPointer.h"
#include "ui/panels/SupportMail.h"
#include "ui/panels/LicencePanel.h"
#include "ui/panels/SupportPanel.h"
#include "ui/panels/ThirdPartyNotices.h"
#include "ui/style/CustomLookAndFeel.h"
#include "ui/style/Palette.h"

#include <gtest/gtest.h>

namespace
{
    /** The brightest channel value found in a region of an image. */
    int brightestIn (const juce::Image& image, juce::Rectangle<int> region)
    {
        int brightest = 0;
        const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::readOnly);

        for (int y = region.getY(); y < region.getBottom(); ++y)
            for (int x = region.getX(); x < region.getRight(); ++x)
            {
                const auto c = pixels.getPixelColour (x, y);
                brightest = juce::jmax (brightest, (int) c.getRed(), (int) c.getGreen(), (int) c.getBlue());
            }

        return brightest;
    }

    ::testing::AssertionResult isNear (juce::Colour actual, juce::Colour expected, int tolerance = 3)
    {
        const auto near = [tolerance] (juce::uint8 a, juce::uint8 b) { return std::abs ((int) a - (int) b) <= tolerance; };

        if (near (actual.getRed(), expected.getRed()) && near (actual.getGreen(), expected.getGreen())
            && near (actual.getBlue(), expected.getBlue()))
            return ::testing::AssertionSuccess();

        return ::testing::AssertionFailure() << actual.toDisplayString (false) << " is not near " << expected.toDisplayString (false);
    }

    /** A palette colour at an alpha, as it shows over the panel's black background. */
    juce::Colour overBlack (juce::Colour colour, int alpha)
    {
        return Palette::black.interpolatedWith (colour, (float) alpha / 255.0f);
    }

    juce::Image snapshotOf (juce::Component& component)
    {
        return component.createComponentSnapshot (component.getLocalBounds(), true, 1.0f);
    }
} // namespace

/** The panels draw with the program's look-and-feel, made the default as the main component does. */
class PanelTest : public testing::Test
{
protected:
    PanelTest() { juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel); }
    ~PanelTest() override { juce::LookAndFeel::setDefaultLookAndFeel (nullptr); }

    /** Sets the panel's unit first and then its bounds, as the owner does. */
    template <typename Panel>
    static void layOut (Panel& panel, float unit, int size)
    {
        panel.unit = unit;
        panel.setBounds (0, 0, size, size);
    }

    CustomLookAndFeel lookAndFeel;
};

//==============================================================================
TEST_F (PanelTest, licencePanelHoldsTheTextInAnEditableWrappedGreyEditor)
{
    LicencePanel panel ("First line.\n\nSecond block.");

    EXPECT_FLOAT_EQ (panel.unit, 9.0f);
    EXPECT_EQ (panel.editor->getText(), withThirdPartyNotices ("First line.\n\nSecond block."));
    EXPECT_TRUE (panel.editor->isMultiLine());
    EXPECT_FALSE (panel.editor->isReadOnly());
    EXPECT_EQ (panel.editor->getPasswordCharacter(), 0);
    EXPECT_TRUE (panel.editor->getName().isEmpty());
    EXPECT_EQ (panel.editor->findColour (juce::TextEditor::textColourId), Palette::grey);
    EXPECT_EQ (panel.editor->findColour (juce::TextEditor::outlineColourId), Palette::black);
    EXPECT_EQ (panel.editor->findColour (juce::TextEditor::focusedOutlineColourId), Palette::black);
    EXPECT_EQ (panel.editor->findColour (juce::TextEditor::backgroundColourId), Palette::black);

    // A paragraph longer than the editor is wide is wrapped onto several lines.
    panel.editor->setText (juce::String::repeatedString ("wrapped words ", 200));
    panel.unit = 9.0f;
    panel.setBounds (0, 0, 900, 900);
    EXPECT_GT (panel.editor->getTextHeight(), 5 * (int) panel.editor->getFont().getHeight());

    EXPECT_EQ (panel.closeButton->getName(), "X");
    EXPECT_TRUE (panel.closeButton->getButtonText().isEmpty());
    EXPECT_EQ (panel.closeButton->getAlpha(), 0.0f);
    EXPECT_TRUE (panel.closeButton->isVisible());
}

TEST_F (PanelTest, licencePanelShowsTheThirdPartyNoticesBelowTheLicence)
{
    LicencePanel panel ("The licence.");
    const auto text = panel.editor->getText();

    EXPECT_TRUE (text.startsWith ("The licence.\n\n\nTHIRD-PARTY NOTICES\n\n")) << text.substring (0, 80);

    // Every build compiles in JUCE and the fonts; only the Windows exe links libjpeg-turbo in.
    const auto jpegNotice = "This software is based in part on the work of the Independent JPEG Group.";
   #if JUCE_WINDOWS
    EXPECT_TRUE (text.contains (jpegNotice));
   #else
    EXPECT_FALSE (text.contains (jpegNotice));
   #endif
    EXPECT_GT (text.indexOf ("SIL OPEN FONT LICENSE Version 1.1"), text.indexOf ("JUCE 7 licence that Tarnwick holds"));
    EXPECT_GT (text.indexOf ("JUCE 7 licence that Tarnwick holds"), text.indexOf ("THIRD-PARTY NOTICES"));
}

TEST_F (PanelTest, licencePanelPlacesItsChildrenOnTheUnitGrid)
{
    LicencePanel panel ("text");

    layOut (panel, 9.0f, 900);
    EXPECT_EQ (panel.editor->getBounds(), juce::Rectangle<int> (36, 108, 828, 720));
    EXPECT_EQ (panel.closeButton->getBounds(), juce::Rectangle<int> (792, 14, 72, 72));

    layOut (panel, 13.5f, 1350);
    EXPECT_EQ (panel.closeButton->getBounds(), juce::Rectangle<int> (1188, 20, 108, 108));
    EXPECT_EQ (panel.editor->getBounds(), juce::Rectangle<int> (54, 162, 1242, 1080));
}

TEST_F (PanelTest, licencePanelDrawsTheHeadingAndAHalfTransparentCloseRingOnBlack)
{
    LicencePanel panel ("text");
    layOut (panel, 9.0f, 900);
    const auto image = snapshotOf (panel);

    EXPECT_TRUE (isNear (image.getPixelAt (5, 5), Palette::black));
    EXPECT_TRUE (isNear (image.getPixelAt (20, 880), Palette::black));

    // "LICENSE AGREEMENT" in white, standing on the baseline at 54 from x 36.
    EXPECT_GE (brightestIn (image, { 36, 24, 400, 30 }), 0xE0);
    EXPECT_LE (brightestIn (image, { 0, 0, 34, 100 }), 0x20);
    EXPECT_LE (brightestIn (image, { 36, 64, 400, 40 }), 0x20);

    // The ring of (810, 32, 36, 36) in grey at half alpha; the button itself shows nothing.
    const auto ring = brightestIn (image, { 808, 30, 40, 40 });
    EXPECT_NEAR (ring, overBlack (Palette::grey, 0x80).getRed(), 8);
    EXPECT_TRUE (isNear (image.getPixelAt (795, 17), Palette::black));
    EXPECT_TRUE (isNear (image.getPixelAt (810, 32), Palette::black));
}

TEST_F (PanelTest, licencePanelCloseRingTurnsOpaqueUnderThePointerAndClosingRemovesThePanel)
{
    juce::Component owner;
    owner.setSize (600, 600);
    LicencePanel panel ("text");
    owner.addAndMakeVisible (panel);
    layOut (panel, 6.0f, 600);

    DesktopPointer pointer (owner);
    const juce::Rectangle<int> ringArea { 538, 19, 28, 28 }; // around (540, 21, 24, 24)

    pointer.moveTo (panel, { 100, 300 });
    EXPECT_LE (brightestIn (snapshotOf (panel), ringArea), 0x66);

    pointer.moveToCentreOf (*panel.closeButton);
    EXPECT_GE (brightestIn (snapshotOf (panel), ringArea), 0x98);

    pointer.press();
    pointer.release();
    EXPECT_EQ (panel.getParentComponent(), nullptr);
    EXPECT_EQ (owner.getNumChildComponents(), 0);
}

//==============================================================================
TEST_F (PanelTest, supportPanelHasItsCloseRingAndTwoPictureButtons)
{
    SupportPanel panel;

    EXPECT_FLOAT_EQ (panel.unit, 9.0f);
    EXPECT_TRUE (panel.settingsFolderPath.isEmpty());
    EXPECT_TRUE (panel.productName.isEmpty());
    EXPECT_TRUE (panel.productVersion.isEmpty());
    EXPECT_NE (panel.discordButton->icon, nullptr);
    EXPECT_NE (panel.mailButton->icon, nullptr);

    juce::StringArray names;

    for (auto* child : panel.getChildren())
        if (auto* button = dynamic_cast<juce::TextButton*> (child))
        {
            names.add (button->getName());
            // The close ring is drawn by the panel; the others show faces of their own.
            EXPECT_EQ (button->getAlpha() == 0.0f, dynamic_cast<FaceButton*> (button) == nullptr);
            EXPECT_TRUE (button->isVisible());
        }

    EXPECT_EQ (names.joinIntoString (" "), "X DISCORD MAIL");
}

TEST_F (PanelTest, supportPanelPlacesItsButtonsOnTheUnitGrid)
{
    SupportPanel panel;
    layOut (panel, 9.0f, 900);

    EXPECT_EQ (panel.closeButton->getBounds(), juce::Rectangle<int> (792, 14, 72, 72));
    EXPECT_EQ (panel.discordButton->getBounds(), juce::Rectangle<int> (90, 135, 90, 90));
    EXPECT_EQ (panel.mailButton->getBounds(), juce::Rectangle<int> (90, 315, 90, 90));
}

TEST_F (PanelTest, supportPanelAboutTextNamesTheInstallerVersionAndTheSettingsFile)
{
    SupportPanel panel;
    panel.productVersion = "4.0.2";
    panel.settingsFolderPath = "/opt/Tarnwick";

    EXPECT_EQ (panel.getAboutText(),
               "The Tarnwick Plugin Manager v1.1.0 cross-platform installater. \nFeel free to drop us a line if you "
               "have any suggestions or questions concerning its use. You can edit the default installation paths in "
               "the text file found at /opt/Tarnwick/PluginManagerSettings.txt");

    // Always a forward slash before the file name, whatever the path uses.
    panel.settingsFolderPath = "C:\\ProgramData\\Tarnwick";
    EXPECT_TRUE (panel.getAboutText().endsWith (" C:\\ProgramData\\Tarnwick/PluginManagerSettings.txt"));
    EXPECT_FALSE (panel.getAboutText().contains ("4.0.2"));
}

TEST_F (PanelTest, supportPanelRightsNoticeIsOneLineStartingWithTheCopyrightSign)
{
    const auto notice = SupportPanel::rightsNotice;

    EXPECT_EQ (notice[0], (juce::juce_wchar) 0xa9);
    EXPECT_EQ (std::string (notice.toRawUTF8()).substr (0, 3), "\xc2\xa9 ");
    EXPECT_TRUE (notice.contains ("Tarnwick"));
    EXPECT_FALSE (notice.containsAnyOf ("\r\n"));
}

TEST_F (PanelTest, supportPanelDrawsFacesByStateHeadingsAndTexts)
{
    juce::Component owner;
    owner.setSize (600, 600);
    SupportPanel panel;
    owner.addAndMakeVisible (panel);
    panel.settingsFolderPath = "/opt/Tarnwick";
    layOut (panel, 6.0f, 600);

    juce::StringArray launched;
    panel.launchURL = [&launched] (const juce::URL& url) { launched.add (url.toString (true)); };

    DesktopPointer pointer (owner);
    pointer.moveTo (panel, { 300, 590 });
    auto image = snapshotOf (panel);

    // Discord button (60, 90, 60, 60): its face above the picture, at half alpha grey.
    const juce::Point<int> face { 90, 93 };
    EXPECT_TRUE (isNear (image.getPixelAt (face.x, face.y), overBlack (Palette::grey, 0x80)));
    EXPECT_TRUE (isNear (image.getPixelAt (90, 213), overBlack (Palette::grey, 0x80))); // the mail face

    // White headings, grey texts, the notice near the bottom, black between.
    EXPECT_GE (brightestIn (image, { 60, 42, 300, 60 }), 0xE0);   // "DISCORD"
    EXPECT_GE (brightestIn (image, { 60, 162, 300, 60 }), 0xE0);  // "E-MAIL"
    EXPECT_NEAR (brightestIn (image, { 132, 90, 420, 60 }), 0xAA, 8); // discord text
    EXPECT_NEAR (brightestIn (image, { 60, 342, 480, 60 }), 0xAA, 8); // about heading
    EXPECT_NEAR (brightestIn (image, { 60, 390, 480, 100 }), 0xAA, 8); // about text
    EXPECT_NEAR (brightestIn (image, { 60, 512, 300, 20 }), 0xAA, 8);  // notice at baseline 528
    EXPECT_TRUE (isNear (image.getPixelAt (20, 300), Palette::black));

    pointer.moveToCentreOf (*panel.discordButton);
    EXPECT_TRUE (isNear (snapshotOf (panel).getPixelAt (face.x, face.y), overBlack (Palette::grey, 0xBF)));

    pointer.press();
    EXPECT_TRUE (isNear (snapshotOf (panel).getPixelAt (face.x, face.y), Palette::green));
    EXPECT_TRUE (launched.isEmpty());

    pointer.release();
    EXPECT_TRUE (isNear (snapshotOf (panel).getPixelAt (face.x, face.y), overBlack (Palette::grey, 0xBF)));
    EXPECT_EQ (launched, juce::StringArray (Support::chatInvitationAddress));

    pointer.clickOn (*panel.closeButton);
    EXPECT_EQ (panel.getParentComponent(), nullptr);
}

TEST_F (PanelTest, supportPanelMailButtonOpensThePreparedMail)
{
    SupportPanel panel;
    panel.productName = "Morvane4";
    panel.productVersion = "4.0.2";

    juce::StringArray launched;
    panel.launchURL = [&launched] (const juce::URL& url) { launched.add (url.toString (true)); };

    panel.buttonClicked (panel.mailButton.get());
    ASSERT_EQ (launched.size(), 1);
    EXPECT_EQ (launched[0], buildSupportMailLink ("Morvane4", "4.0.2", SystemDescription::fromSystem()));
    EXPECT_TRUE (launched[0].startsWith ("mailto:support@tarnwick.com?subject=Morvane4%20help&body="));

    juce::TextButton other;
    other.setName ("HELP");
    panel.buttonClicked (&other);
    EXPECT_EQ (launched.size(), 1);
}
