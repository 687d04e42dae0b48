// Draws the main view.
#include "MainComponent.h"

#include "../style/Palette.h"

void MainComponent::paint (juce::Graphics& g)
{
    g.fillAll (Palette::black);
}
