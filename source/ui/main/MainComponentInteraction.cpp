// Clicks, hover hints and the modifier keys.
#include "ui/main/MainComponent.h"

#include "ui/main/RunTexts.h"
#include "ui/panels/LicenceText.h"

namespace
{
    constexpr int lowModifierFlags = 0xF; // shift, control, alt and (where there is one) command
    constexpr int commandFlag = 8;        // the command key's flag on the platforms that have one

    const juce::String selectFirstHint ("Select one or more formats first");
} // namespace

std::optional<juce::String> MainComponent::getHintText (const juce::String& name) const
{
    const auto* control = findMainControl (name);

    if (control == nullptr)
        return std::nullopt;

    if (control->action == ControlAction::toggleFormat)
    {
        // As the row shows it: the session's latest look at the disk.
        if (isBundlePresent (control->index))
            return "Select to update " + name + " to " + productVersion;

        return "Select to install " + name;
    }

    if (control->hint == nullptr)
        return std::nullopt;

    // A result line's holders and other copies, in full where its painted line is cut short.
    if (control->action == ControlAction::showInFolder)
        if (const auto notes = getResultNotes (control->index); ! notes.isEmpty())
            return notes.joinIntoString (" ") + " " + control->hint;

    return juce::String (control->hint);
}

void MainComponent::buttonClicked (juce::Button* button)
{
    const auto* control = findMainControl (button->getName());

    if (control == nullptr)
        return;

    switch (control->action)
    {
        case ControlAction::openLicence:
            openLicencePanel (*button);
            break;

        case ControlAction::openManual:
            if (launchURL)
                launchURL (juce::URL (Product::manualAddress));
            break;

        case ControlAction::openWebsite:
            if (launchURL)
                launchURL (juce::URL (Product::websiteAddress));
            break;

        case ControlAction::openSupport:
            openSupportPanel (*button);
            break;

        case ControlAction::toggleFormat:
            toggleFormat (control->index);
            break;

        case ControlAction::selectAll:
            // Selects; never clears.
            setSelection ({ true, true, true });
            lookAgain();
            break;

        case ControlAction::install:
            pressInstall();
            break;

        case ControlAction::cancelRun:
            cancelRun();
            break;

        case ControlAction::showInFolder:
            showInFolder (control->index);
            break;
    }
}

void MainComponent::toggleFormat (int formatIndex)
{
    auto& flag = selected[(size_t) formatIndex];
    flag = ! flag;
    showRows();
    lookAgain();
}

void MainComponent::pressInstall()
{
    // A run with nothing to do would still end in the result view and hide the controls; say
    // what is missing instead.
    if (std::find (selected.begin(), selected.end(), true) == selected.end())
    {
        askedToSelectFirst = true;
        setHint (selectFirstHint);
        announce (selectFirstHint);
        return;
    }

    installSelectedFormats();
}

void MainComponent::showInFolder (int formatIndex)
{
    if (const auto row = RunTexts::getResultRow (runReport, formatIndex); row >= 0 && revealInFolder)
        if (const auto& bundle = runReport.outcomes.getReference (row).bundlePath; bundle != juce::File())
            revealInFolder (bundle);
}

void MainComponent::setHint (const juce::String& text)
{
    hintLabel->setText (text, juce::dontSendNotification);
}

void MainComponent::openLicencePanel (juce::Component& tab)
{
    // The new panel replaces (and so destroys) any earlier one.
    eulaPanel = std::make_unique<LicencePanel> (licenceText);
    addAndMakeVisible (*eulaPanel);
    eulaPanel->cover (getLocalBounds(), unit);
    openedPanel (*eulaPanel, tab);
}

void MainComponent::openSupportPanel (juce::Component& tab)
{
    supportPanel = std::make_unique<SupportPanel>();
    addAndMakeVisible (*supportPanel);
    supportPanel->settingsFolderPath = session->getSetup().settingsFolder.getFullPathName();
    supportPanel->settingsNotice = startNotice;
    supportPanel->productName = productName;
    supportPanel->productVersion = productVersion;
    supportPanel->launchURL = launchURL;
    supportPanel->cover (getLocalBounds(), unit);
    openedPanel (*supportPanel, tab);
}

void MainComponent::buttonStateChanged (juce::Button* button)
{
    // The request to select stays through INSTALL's own state changes (the pointer leaving it,
    // the flash after a quick click) until another button is pointed at or used.
    if (button->getName() == "INSTALL" && askedToSelectFirst)
    {
        setHint (selectFirstHint);
        return;
    }

    askedToSelectFirst = false;

    // A button focused from the keyboard counts as pointed at, as a hovered one does.
    const auto focused = keyboardFocusShown && button->hasKeyboardFocus (false);

    if (! button->isMouseOver (false) && ! focused)
    {
        setHint ({});
        return;
    }

    if (const auto hint = getHintText (button->getName()))
        setHint (*hint);

    // What the pointer is over may have changed on the disk since the last look.
    lookAgain();
}

void MainComponent::modifierKeysChanged (const juce::ModifierKeys& modifiers)
{
    const auto lowFlags = modifiers.getRawFlags() & lowModifierFlags;
    const auto changed = lowFlags ^ lastModifierFlags;

    if ((changed & juce::ModifierKeys::shiftModifier) != 0)
        setUninstallMode ((lowFlags & juce::ModifierKeys::shiftModifier) != 0);

    for (const auto flag : { (int) juce::ModifierKeys::ctrlModifier, (int) juce::ModifierKeys::altModifier, commandFlag })
        if ((changed & flag) != 0)
            repaint();

    lastModifierFlags = lowFlags;
}
