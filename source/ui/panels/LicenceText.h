// The end-user licence agreement that the licence panel shows.
#pragma once

#include <juce_core/juce_core.h>

/** The licence agreement: plain ASCII, eleven paragraphs in eight blocks separated by blank lines. */
extern const juce::String licenceText;
