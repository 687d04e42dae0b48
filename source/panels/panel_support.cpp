#include "panels/panel_support.h"

#include "panels/SupportMail.h"
#include "main/engine/Catalogue.h"

#include "style/Palette.h"

#include <BinaryData.h>

namespace
{
    // In layout units.
    constexpr PanelParts::UnitRect discordButtonBounds { 10.0f, 15.0f, 10.0f, 10.0f };
    constexpr PanelParts::UnitRect mailButtonBounds { 10.0f, 35.0f, 10.0f, 10.0f };
    constexpr PanelParts::UnitRect discordHeadingBox { 10.0f, 7.0f, 80.0f, 10.0f };
    constexpr PanelParts::UnitRect mailHeadingBox { 10.0f, 27.0f, 80.0f, 10.0f };
    constexpr PanelParts::UnitRect aboutHeadingBox { 10.0f, 57.0f, 80.0f, 10.0f };
    constexpr PanelParts::UnitRect aboutTextBox { 10.0f, 65.0f, 80.0f, 30.0f };
    constexpr float sectionHeadingHeight = 5.0f;
    constexpr float textHeight = 3.0f;
    constexpr float closeMarkHeight = 3.0f;
    constexpr float buttonCorner = 1.0f;
    constexpr float iconInset = 2.0f;
    constexpr float buttonTextOffset = 12.0f; // from the button's left edge
    constexpr float buttonTextWidth = 70.0f;
    constexpr float buttonTextHeight = 30.0f;
    constexpr float noticeX = 10.0f;
    constexpr float noticeBaseline = 88.0f;
    constexpr int fittedTextMaxLines = 20;

    const char* const discordText = "The Tarnwick Discord is a vibrant community of musicians and producers, and this is the "
                                    "fastest way to get answers to simple questions. Just join and drop in the appropriate channel. ";
    const char* const mailText = "If you have more complicated questions, or matters that need to remain private, concerning "
                                 "account information, etc., feel free to email us.";

    std::unique_ptr<juce::Drawable> createIcon (const char* data, int size)
    {
        auto icon = juce::Drawable::createFromImageData (data, (size_t) size);

        if (icon != nullptr)
            icon->replaceColour (juce::Colours::black, Palette::panel);

        return icon;
    }

    juce::Colour getFaceColour (const juce::Button& button)
    {
        if (button.isMouseButtonDown())
            return Palette::green;

        return Palette::grey.withAlpha ((juce::uint8) (button.isMouseOver (false) ? 0xBF : 0x80));
    }

    void drawHeading (juce::Graphics& g, const juce::String& text, PanelParts::UnitRect box, float unit)
    {
        g.drawText (text, PanelParts::toPixelsUnrounded (box, unit), juce::Justification::centredLeft, true);
    }

    void drawFitted (juce::Graphics& g, const juce::String& text, juce::Rectangle<int> box)
    {
        g.drawFittedText (text, box, juce::Justification::topLeft, fittedTextMaxLines, 0.0f);
    }

    /** A section's button face, its picture and its text beside it. */
    void drawSectionButton (juce::Graphics& g, const juce::Button& button, juce::Drawable* icon,
                            const juce::String& text, float unit)
    {
        const auto bounds = button.getBounds().toFloat();

        g.setColour (getFaceColour (button));
        g.fillRoundedRectangle (bounds, buttonCorner * unit);

        if (icon != nullptr)
            icon->drawWithin (g, bounds.reduced (iconInset * unit), juce::RectanglePlacement::centred, 1.0f);

        g.setColour (Palette::grey);
        g.setFont (textHeight * unit);

        const juce::Rectangle<float> textBox { bounds.getX() + buttonTextOffset * unit, bounds.getY(),
                                               buttonTextWidth * unit, buttonTextHeight * unit };
        drawFitted (g, text, PanelParts::roundEach (textBox));
    }
} // namespace

const juce::String panel_support::rightsNotice =
    juce::String (juce::CharPointer_UTF8 ("\xc2\xa9 2026 Tarnwick. All rights reserved."));

panel_support::panel_support()
{
    unit = 9.0f;

    discordIcon = createIcon (BinaryData::icon_discord_svg, BinaryData::icon_discord_svgSize);
    mailIcon = createIcon (BinaryData::icon_mail_svg, BinaryData::icon_mail_svgSize);

    closeButton = PanelParts::createTransparentButton (*this, "X", *this);
    discordButton = PanelParts::createTransparentButton (*this, "DISCORD", *this);
    mailButton = PanelParts::createTransparentButton (*this, "MAIL", *this);

    closeButton->setTitle ("Close");
    discordButton->setTitle ("Discord chat");
    discordButton->setDescription (discordText);
    mailButton->setTitle ("E-mail support");
    mailButton->setDescription (mailText);

    aboutText = std::make_unique<ReadableText> (juce::AccessibilityRole::editableText, [this] { return getAboutText(); });
    addAndMakeVisible (*aboutText);
    aboutText->setTitle ("About Tarnwick Plugin Manager");
    aboutText->setWantsKeyboardFocus (true);

    PanelParts::makeFocusGroup (*this, "Support");
}

panel_support::~panel_support() = default;

juce::String panel_support::getAboutText() const
{
    return juce::String ("The Tarnwick Plugin Manager v") + applicationVersion
         + " cross-platform installater. \nFeel free to drop us a line if you have any suggestions or questions "
           "concerning its use. You can edit the default installation paths in the text file found at "
         + settingsFolderPath + "/PluginManagerSettings.txt";
}

void panel_support::paint (juce::Graphics& g)
{
    g.fillAll (Palette::black);

    PanelParts::drawCloseRing (g, *closeButton, unit);

    g.setColour (Palette::white);
    g.setFont (sectionHeadingHeight * unit);
    drawHeading (g, "DISCORD", discordHeadingBox, unit);
    drawSectionButton (g, *discordButton, discordIcon.get(), discordText, unit);

    g.setColour (Palette::white);
    g.setFont (sectionHeadingHeight * unit);
    drawHeading (g, "E-MAIL", mailHeadingBox, unit);
    drawSectionButton (g, *mailButton, mailIcon.get(), mailText, unit);

    g.setColour (Palette::grey);
    g.setFont (textHeight * unit);
    drawHeading (g, "ABOUT TARNWICK PLUGIN MANAGER", aboutHeadingBox, unit);
    drawFitted (g, getAboutText(), PanelParts::toPixels (aboutTextBox, unit));

    g.drawSingleLineText (rightsNotice, (int) (noticeX * unit), (int) (noticeBaseline * unit), juce::Justification::left);
}

void panel_support::resized()
{
    closeButton->setBounds (PanelParts::toPixels (PanelParts::closeButtonBounds, unit));
    discordButton->setBounds (PanelParts::toPixels (discordButtonBounds, unit));
    mailButton->setBounds (PanelParts::toPixels (mailButtonBounds, unit));
    aboutText->setBounds (PanelParts::toPixels (aboutTextBox, unit));
}

void panel_support::buttonClicked (juce::Button* button)
{
    const auto name = button->getName();

    if (name == "X")
    {
        PanelParts::close (*this, onClose);
    }
    else if (name == "DISCORD")
    {
        if (launchURL)
            launchURL (juce::URL (Support::chatInvitationAddress));
    }
    else if (name == "MAIL")
    {
        // Taken as built: parsing would re-escape the parentheses that the link keeps.
        if (launchURL)
            launchURL (juce::URL::createWithoutParsing (buildSupportMailLink (productName, productVersion,
                                                                              SystemDescription::fromSystem())));
    }
}

void panel_support::paintOverChildren (juce::Graphics& g)
{
    PanelParts::drawKeyboardFocus (g, *this, isKeyboardFocusShown, unit);
}

std::unique_ptr<juce::AccessibilityHandler> panel_support::createAccessibilityHandler()
{
    return KeyboardFocus::createGroupHandler (*this);
}
