// The overlay that tells the user where to get help: community chat, e-mail and an about text.
#pragma once

#include "ui/panels/OverlayPanel.h"
#include "ui/panels/PanelParts.h"
#include "ui/widgets/FaceButton.h"

/**
    Covers the main component with three sections: the community chat, the support e-mail and
    an about text naming the settings file.
*/
class SupportPanel final : public OverlayPanel
{
public:
    SupportPanel();
    ~SupportPanel() override;

    //==============================================================================
    void paint (juce::Graphics&) override;
    void resized() override;

    /** "X" closes, "DISCORD" opens the chat invitation, "MAIL" the prepared support e-mail. */
    void buttonClicked (juce::Button*) override;

    /** The chat comes first. */
    juce::Component& getFirstControl() override;

    //==============================================================================
    juce::String settingsFolderPath;
    juce::String settingsNotice; // why this start ignored the settings file, as a sentence; usually empty
    juce::String productName;
    juce::String productVersion;
    std::unique_ptr<FaceButton> mailButton;
    std::unique_ptr<FaceButton> discordButton;

    /** The painted about text, for screen readers and the keyboard: a read-only text field. */
    std::unique_ptr<ReadableText> aboutText;

    /** Hands the chat address and the mail link to the system; the owner may replace it. */
    PanelParts::URLLauncher launchURL = PanelParts::getDefaultLauncher();

    /** The one-line rights notice at the bottom. */
    static const juce::String rightsNotice;

    /** The about text: the installer's version, the settings file's full path and, when this
        start ignored it, why. */
    juce::String getAboutText() const;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SupportPanel)
};
