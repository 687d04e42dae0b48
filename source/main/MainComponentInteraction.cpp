// Clicks, hover hints and the modifier keys.
#include "MainComponent.h"

void MainComponent::buttonClicked (juce::Button* button)
{
    const auto name = button->getName();

    if (name == "INSTALL")
        installSelectedFormats();
}

void MainComponent::buttonStateChanged (juce::Button*)
{
}

void MainComponent::modifierKeysChanged (const juce::ModifierKeys&)
{
}
