// The standard streams and the display, as a program that is both a window and a command line
// finds them.
#pragma once

#include "app/CommandLine.h"

namespace Console
{
    /** Output that reaches the caller: standard output and error as they were handed over
        (redirected to a file or a pipe), or else the console the program was started from. A
        Windows GUI program is given no console of its own, so it attaches to its parent's. */
    CommandLine::Output connect();

    /** Empty when a window can be shown; otherwise why not, in a few words. */
    juce::String whyNoDisplay();
} // namespace Console
