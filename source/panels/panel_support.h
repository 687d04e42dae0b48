// The overlay that tells the user where to get help: community chat, e-mail and an about text.
#pragma once

#include "panels/PanelParts.h"

#include <juce_gui_basics/juce_gui_basics.h>

/**
    Covers the main component with three sections: the community chat, the support e-mail and
    an about text naming the settings file. Closing only takes the panel off its parent.
*/
class panel_support final : public juce::Component,
                            public juce::Button::Listener
{
public:
    panel_support();
    ~panel_support() override;

    //==============================================================================
    void paint (juce::Graphics&) override;
    void resized() override;

    /** "X" closes, "DISCORD" opens the chat invitation, "MAIL" the prepared support e-mail. */
    void buttonClicked (juce::Button*) override;

    /** The focus outline, while the keyboard is in use. */
    void paintOverChildren (juce::Graphics&) override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

    //==============================================================================
    float unit = 9.0f; // written by the owner before it sets the bounds
    juce::String settingsFolderPath;
    juce::String productName;
    juce::String productVersion;
    std::unique_ptr<TransparentButton> closeButton;
    std::unique_ptr<TransparentButton> mailButton;
    std::unique_ptr<TransparentButton> discordButton;
    std::unique_ptr<juce::Drawable> discordIcon;
    std::unique_ptr<juce::Drawable> mailIcon;

    /** The painted about text, for screen readers and the keyboard: a read-only text field. */
    std::unique_ptr<ReadableText> aboutText;

    /** Whether the keyboard focus is shown; the owner sets it. */
    std::function<bool()> isKeyboardFocusShown;

    /** Called once the panel has taken itself off its parent; the owner sets it. */
    std::function<void()> onClose;

    /** Hands the chat address and the mail link to the system; the owner may replace it. */
    PanelParts::URLLauncher launchURL = PanelParts::getDefaultLauncher();

    /** The one-line rights notice at the bottom. */
    static const juce::String rightsNotice;

    /** The about text: the installer's version and the settings file's full path. */
    juce::String getAboutText() const;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (panel_support)
};
