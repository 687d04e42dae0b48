// Opens an address as the desktop's user, or shows it for the user to open when that cannot be done.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/**
    What the window does with every web address, mail link and "Show in folder": the user's own
    handler, started as the user (UserShell), never one started with the installer's rights. When
    that cannot be done, a small window shows the address as selectable read-only text, and screen
    readers announce it.
*/
namespace AddressNotice
{
    /** Opens a web address, a "mailto:" link or a path; or shows it. */
    void openAddress (const juce::String& address);

    /** Shows a bundle in the user's file manager; or shows its path. */
    void revealFile (const juce::File& file);

    /** Shows the address in a modal window, which the desktop owns and deletes once it is dismissed,
        and announces it. */
    juce::AlertWindow& show (const juce::String& address);

    /** The name of the text field that holds the address. */
    inline const char* const addressFieldName = "address";
} // namespace AddressNotice
