// Clicks, hover hints and the modifier keys.
#include "main/MainComponent.h"

#include "panels/LicenceText.h"

namespace
{
    constexpr int lowModifierFlags = 0xF; // shift, control, alt and (where there is one) command
    constexpr int commandFlag = 8;        // the command key's flag on the platforms that have one

    const juce::String selectFirstHint ("Select one or more formats first");

    /** Adds a freshly created panel over the whole owner and keeps it in front. */
    template <typename Panel>
    void showOver (MainComponent& owner, Panel& panel)
    {
        panel.setBounds (owner.getBounds());
        panel.setAlwaysOnTop (true);
    }

    void openLicencePanel (MainComponent& owner)
    {
        // The new panel replaces (and so destroys) any earlier one.
        owner.eulaPanel = std::make_unique<panel_eula> (licenceText);
        owner.addAndMakeVisible (*owner.eulaPanel);
        owner.eulaPanel->unit = owner.unit;
        showOver (owner, *owner.eulaPanel);
    }

    void openSupportPanel (MainComponent& owner)
    {
        owner.supportPanel = std::make_unique<panel_support>();
        owner.addAndMakeVisible (*owner.supportPanel);
        owner.supportPanel->unit = owner.unit;
        owner.supportPanel->settingsFolderPath = owner.settingsFolder.getFullPathName();
        owner.supportPanel->productName = owner.productName;
        owner.supportPanel->productVersion = owner.productVersion;
        owner.supportPanel->launchURL = owner.launchURL;
        showOver (owner, *owner.supportPanel);
    }

    /** The hint for a hovered button, or nothing for a button that leaves the hint line as it is. */
    std::optional<juce::String> getHint (const MainComponent& owner, const juce::String& name)
    {
        if (name == "EULA")
            return juce::String ("Click to read End-User License Agreement");

        if (name == "MANUAL")
            return juce::String ("Click to open product manual in your web browser");

        if (name == "WEBSITE")
            return juce::String ("Click to open product page on the Tarnwick website");

        if (name == "SUPPORT")
            return juce::String ("Email and Discord support");

        if (const auto formatIndex = formatNames.indexOf (name); formatIndex >= 0)
        {
            // Asked afresh each time: the bundle may have come or gone since the last hover.
            const auto bundle = getBundlePath (owner.installFolders[(size_t) formatIndex], owner.productName, formatIndex);

            if (bundle.exists())
                return "Select to update " + name + " to " + owner.productVersion;

            return "Select to install " + name;
        }

        if (name == "INSTALL")
            return juce::String ("Click to install selected. ") + "Shift-click to uninstall selected";

        return std::nullopt;
    }
} // namespace

std::optional<juce::String> MainComponent::getHintText (const juce::String& buttonName) const
{
    return getHint (*this, buttonName);
}

void MainComponent::buttonClicked (juce::Button* button)
{
    const auto name = button->getName();

    if (name == "EULA")
    {
        openLicencePanel (*this);
        openedPanel (*eulaPanel);
    }
    else if (name == "WEBSITE")
    {
        if (launchURL)
            launchURL (websiteURL);
    }
    else if (name == "MANUAL")
    {
        if (launchURL)
            launchURL (manualURL);
    }
    else if (name == "SUPPORT")
    {
        openSupportPanel (*this);
        openedPanel (*supportPanel);
    }
    else if (const auto formatIndex = formatNames.indexOf (name); formatIndex >= 0)
    {
        auto& flag = selected[(size_t) formatIndex];
        flag = ! flag;
        repaint();
    }
    else if (name == "INSTALL")
    {
        // A run with nothing to do would still end in the result view and hide the controls;
        // say what is missing instead.
        if (std::find (selected.begin(), selected.end(), true) == selected.end())
        {
            askedToSelectFirst = true;
            hintLabel->setText (selectFirstHint, juce::dontSendNotification);
            announce (selectFirstHint);
        }
        else
        {
            installSelectedFormats();
        }
    }
    else if (name == "SELECT_ALL")
    {
        // Selects; never clears.
        selected.fill (true);
        repaint();
    }
}

void MainComponent::buttonStateChanged (juce::Button* button)
{
    // The request to select stays through INSTALL's own state changes (the pointer leaving it,
    // the flash after a quick click) until another button is pointed at or used.
    if (button == installButton.get() && askedToSelectFirst)
    {
        hintLabel->setText (selectFirstHint, juce::dontSendNotification);
        return;
    }

    askedToSelectFirst = false;

    // A button focused from the keyboard counts as pointed at, as a hovered one does.
    const auto focused = keyboardFocusShown && button->hasKeyboardFocus (false);

    if (! button->isMouseOver (false) && ! focused)
    {
        hintLabel->setText ({}, juce::dontSendNotification);
        return;
    }

    if (const auto hint = getHint (*this, button->getName()))
        hintLabel->setText (*hint, juce::dontSendNotification);
}

void MainComponent::modifierKeysChanged (const juce::ModifierKeys& modifiers)
{
    const auto flags = modifiers.getRawFlags() & lowModifierFlags;
    const auto changed = flags ^ lastModifierFlags;

    if ((changed & juce::ModifierKeys::shiftModifier) != 0)
    {
        uninstallMode = (flags & juce::ModifierKeys::shiftModifier) != 0;
        repaint();

        // INSTALL's title follows its caption.
        if (auto* handler = installButton->getAccessibilityHandler())
            handler->notifyAccessibilityEvent (juce::AccessibilityEvent::titleChanged);
    }

    for (const auto flag : { (int) juce::ModifierKeys::ctrlModifier, (int) juce::ModifierKeys::altModifier, commandFlag })
        if ((changed & flag) != 0)
            repaint();

    lastModifierFlags = flags;
}
