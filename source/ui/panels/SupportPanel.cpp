#include "ui/panels/SupportPanel.h"

#include "ui/panels/SupportMail.h"
#include "engine/Catalogue.h"

#include "ui/style/Drawing.h"
#include "ui/style/Palette.h"

#include <tuple>

namespace
{
    // In layout units.
    constexpr UnitRect discordButtonBounds { 10.0f, 15.0f, 10.0f, 10.0f };
    constexpr UnitRect mailButtonBounds { 10.0f, 35.0f, 10.0f, 10.0f };
    constexpr UnitRect discordHeadingBox { 10.0f, 7.0f, 80.0f, 10.0f };
    constexpr UnitRect mailHeadingBox { 10.0f, 27.0f, 80.0f, 10.0f };
    constexpr UnitRect aboutHeadingBox { 10.0f, 57.0f, 80.0f, 10.0f };
    constexpr UnitRect aboutTextBox { 10.0f, 65.0f, 80.0f, 30.0f };
    constexpr float sectionHeadingHeight = 5.0f;
    constexpr float textHeight = 3.0f;
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

    void drawHeading (juce::Graphics& g, const juce::String& text, UnitRect box, float unit)
    {
        g.drawText (text, box.toPixelsUnrounded (unit), juce::Justification::centredLeft, true);
    }

    void drawFitted (juce::Graphics& g, const juce::String& text, juce::Rectangle<int> box)
    {
        g.drawFittedText (text, box, juce::Justification::topLeft, fittedTextMaxLines, 0.0f);
    }

    /** The text beside a section's button. */
    void drawSectionText (juce::Graphics& g, const juce::Button& button, const juce::String& text, float unit)
    {
        const auto bounds = button.getBounds().toFloat();

        g.setColour (Palette::grey);
        g.setFont (textHeight * unit);

        const juce::Rectangle<float> textBox { bounds.getX() + buttonTextOffset * unit, bounds.getY(),
                                               buttonTextWidth * unit, buttonTextHeight * unit };
        drawFitted (g, text, textBox.toNearestInt());
    }
} // namespace

const juce::String SupportPanel::rightsNotice =
    juce::String (juce::CharPointer_UTF8 ("\xc2\xa9 2026 Tarnwick. All rights reserved."));

SupportPanel::SupportPanel()
    : OverlayPanel ("Support")
{
    for (auto [button, name, icon] : { std::make_tuple (&discordButton, "DISCORD", "icon_discord_svg"),
                                       std::make_tuple (&mailButton, "MAIL", "icon_mail_svg") })
    {
        *button = std::make_unique<FaceButton> (*this, name, FaceButton::Style::picture);
        (*button)->icon = Faces::createIcon (icon);
        (*button)->iconInset = iconInset;
        addAndMakeVisible (**button);
    }

    discordButton->setTitle ("Discord chat");
    discordButton->setDescription (discordText);
    mailButton->setTitle ("E-mail support");
    mailButton->setDescription (mailText);

    aboutText = std::make_unique<ReadableText> (juce::AccessibilityRole::editableText, [this] { return getAboutText(); });
    addAndMakeVisible (*aboutText);
    aboutText->setTitle ("About Tarnwick Plugin Manager");
    aboutText->setWantsKeyboardFocus (true);
}

SupportPanel::~SupportPanel() = default;

juce::String SupportPanel::getAboutText() const
{
    return juce::String ("The Tarnwick Plugin Manager v") + applicationVersion
         + " cross-platform installater. \nFeel free to drop us a line if you have any suggestions or questions "
           "concerning its use. You can edit the default installation paths in the text file found at "
         + settingsFolderPath + "/PluginManagerSettings.txt" + (settingsNotice.isNotEmpty() ? "\n" + settingsNotice : juce::String());
}

void SupportPanel::paint (juce::Graphics& g)
{
    g.fillAll (Palette::black);

    drawCloseRing (g);

    g.setColour (Palette::white);
    g.setFont (sectionHeadingHeight * unit);
    drawHeading (g, "DISCORD", discordHeadingBox, unit);
    drawSectionText (g, *discordButton, discordText, unit);

    g.setColour (Palette::white);
    g.setFont (sectionHeadingHeight * unit);
    drawHeading (g, "E-MAIL", mailHeadingBox, unit);
    drawSectionText (g, *mailButton, mailText, unit);

    g.setColour (Palette::grey);
    g.setFont (textHeight * unit);
    drawHeading (g, "ABOUT TARNWICK PLUGIN MANAGER", aboutHeadingBox, unit);
    drawFitted (g, getAboutText(), aboutTextBox.toPixels (unit));

    g.drawSingleLineText (rightsNotice, (int) (noticeX * unit), (int) (noticeBaseline * unit), juce::Justification::left);
}

void SupportPanel::resized()
{
    placeCloseButton();
    discordButton->unit = unit;
    discordButton->setBounds (discordButtonBounds.toPixels (unit));
    mailButton->unit = unit;
    mailButton->setBounds (mailButtonBounds.toPixels (unit));
    aboutText->setBounds (aboutTextBox.toPixels (unit));
}

void SupportPanel::buttonClicked (juce::Button* button)
{
    const auto name = button->getName();

    if (name == "X")
    {
        dismiss();
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

juce::Component& SupportPanel::getFirstControl()
{
    return *discordButton;
}
