// Clicks, hover hints and the modifier keys.
#include "ui/main/MainComponent.h"

#include "ui/panels/LicenceText.h"

namespace
{
    constexpr int lowModifierFlags = 0xF; // shift, control, alt and (where there is one) command
    constexpr int commandFlag = 8;        // the command key's flag on the platforms that have one

    const juce::String selectFirstHint ("Select one or more formats first");

    void openLicencePanel (MainComponent& owner)
    {
        // The new panel replaces (and so destroys) any earlier one.
        owner.eulaPanel = std::make_unique<LicencePanel> (licenceText);
        owner.addAndMakeVisible (*owner.eulaPanel);
        owner.eulaPanel->cover (owner.getLocalBounds(), owner.unit);
    }

    void openSupportPanel (MainComponent& owner)
    {
        owner.supportPanel = std::make_unique<SupportPanel>();
        owner.addAndMakeVisible (*owner.supportPanel);
        owner.supportPanel->settingsFolderPath = owner.settingsFolder.getFullPathName();
        owner.supportPanel->settingsNotice = owner.settingsNotice;
        owner.supportPanel->productName = owner.productName;
        owner.supportPanel->productVersion = owner.productVersion;
        owner.supportPanel->launchURL = owner.launchURL;
        owner.supportPanel->cover (owner.getLocalBounds(), owner.unit);
    }

    /** The hint for a hovered button, or nothing for a button that leaves the hint line as it is. */
    std::optional<juce::String> getHint (const MainComponent& owner, const juce::String& name)
    {
        const auto* control = findMainControl (name);

        if (control == nullptr)
            return std::nullopt;

        if (control->action == ControlAction::toggleFormat)
        {
            // Asked afresh each time before a run (the bundle may have come or gone since the last
            // hover); during and after one, the run's snapshot answers without touching the disk.
            if (owner.isBundlePresent (control->index))
                return "Select to update " + name + " to " + owner.productVersion;

            return "Select to install " + name;
        }

        if (control->hint == nullptr)
            return std::nullopt;

        // A result line's holders and other copies, in full where its painted line is cut short.
        if (control->action == ControlAction::showInFolder)
            if (const auto notes = owner.getResultNotes (control->index); ! notes.isEmpty())
                return notes.joinIntoString (" ") + " " + control->hint;

        return juce::String (control->hint);
    }
} // namespace

std::optional<juce::String> MainComponent::getHintText (const juce::String& buttonName) const
{
    return getHint (*this, buttonName);
}

void MainComponent::buttonClicked (juce::Button* button)
{
    const auto* control = findMainControl (button->getName());

    if (control == nullptr)
        return;

    switch (control->action)
    {
        case ControlAction::openLicence:
            openLicencePanel (*this);
            openedPanel (*eulaPanel, *button);
            break;

        case ControlAction::openManual:
            if (launchURL)
                launchURL (manualURL);
            break;

        case ControlAction::openWebsite:
            if (launchURL)
                launchURL (websiteURL);
            break;

        case ControlAction::openSupport:
            openSupportPanel (*this);
            openedPanel (*supportPanel, *button);
            break;

        case ControlAction::toggleFormat:
        {
            auto& flag = selected[(size_t) control->index];
            flag = ! flag;
            repaint();
            break;
        }

        case ControlAction::selectAll:
            // Selects; never clears.
            selected.fill (true);
            repaint();
            break;

        case ControlAction::install:
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
            break;

        case ControlAction::cancelRun:
            cancelRun();
            break;

        case ControlAction::showInFolder:
            if (const auto row = getResultRow (control->index); row >= 0 && revealInFolder)
                if (const auto& bundle = runReport.outcomes.getReference (row).bundlePath; bundle != juce::File())
                    revealInFolder (bundle);
            break;
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
    const auto lowFlags = modifiers.getRawFlags() & lowModifierFlags;
    const auto changed = lowFlags ^ lastModifierFlags;

    if ((changed & juce::ModifierKeys::shiftModifier) != 0)
    {
        uninstallMode = (lowFlags & juce::ModifierKeys::shiftModifier) != 0;
        repaint();

        // INSTALL's title follows its caption.
        if (auto* handler = installButton->getAccessibilityHandler())
            handler->notifyAccessibilityEvent (juce::AccessibilityEvent::titleChanged);
    }

    for (const auto flag : { (int) juce::ModifierKeys::ctrlModifier, (int) juce::ModifierKeys::altModifier, commandFlag })
        if ((changed & flag) != 0)
            repaint();

    lastModifierFlags = lowFlags;
}
