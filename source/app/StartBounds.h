// Where the main window opens: its size and place on the screen it starts on.
#pragma once

#include <juce_graphics/juce_graphics.h>

/** The client area the main window opens with, in the display's logical pixels.

    The window opens `preferredSide` square when that, with the frame around it, fits the user
    area (the screen less taskbars and docks); otherwise as the largest square that fits, but
    never below `minimumSide`. The framed window is centred in the user area; a window too large
    even at `minimumSide` keeps its top left corner, and so its title bar, in the user area.

    @param userArea      the display's user area, in logical pixels
    @param frame         the frame the system draws around the client area (title bar at the top);
                         empty where the system draws none or has not said yet
*/
juce::Rectangle<int> getStartBounds (juce::Rectangle<int> userArea,
                                     juce::BorderSize<int> frame,
                                     int preferredSide,
                                     int minimumSide);
