#include "app/StartBounds.h"

juce::Rectangle<int> getStartBounds (juce::Rectangle<int> userArea,
                                     juce::BorderSize<int> frame,
                                     int preferredSide,
                                     int minimumSide)
{
    const auto roomForClient = frame.subtractedFrom (userArea);
    const auto side = juce::jmax (minimumSide,
                                  juce::jmin (preferredSide, roomForClient.getWidth(), roomForClient.getHeight()));

    const auto framed = frame.addedTo (juce::Rectangle<int> (side, side));
    auto placed = framed.withCentre (userArea.getCentre());

    // Too large for the user area: the title bar and the left edge stay on it.
    placed.setPosition (juce::jmax (placed.getX(), userArea.getX()),
                        juce::jmax (placed.getY(), userArea.getY()));

    return frame.subtractedFrom (placed);
}
