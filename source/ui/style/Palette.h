// The fixed colours of everything the installer draws.
#pragma once

#include <juce_graphics/juce_graphics.h>

namespace Palette
{
    inline const juce::Colour black = juce::Colour::fromString ("FF111111");
    inline const juce::Colour panel = juce::Colour::fromString ("FF171717");
    inline const juce::Colour white = juce::Colour::fromString ("FFF5F5F5");
    inline const juce::Colour grey = juce::Colour::fromString ("FFAAA6A6");
    inline const juce::Colour green = juce::Colour::fromString ("FF86cf7a");
    inline const juce::Colour blue = juce::Colour::fromString ("FF0094d8");
    inline const juce::Colour yellow = juce::Colour::fromString ("FFD3C55F");
    inline const juce::Colour slate = juce::Colour::fromString ("FF393E44");
    inline const juce::Colour ink = juce::Colour::fromString ("FF101316");
    inline const juce::Colour charcoal = juce::Colour::fromString ("FF21272C");
} // namespace Palette
