// What the main view and the panels make alike: transparent buttons and the launcher of web addresses.
#pragma once

#include "ui/widgets/AccessibleControls.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace PanelParts
{
    /** A transparent, clickable button that the parent draws itself, named after its command. */
    std::unique_ptr<TransparentButton> createTransparentButton (juce::Component& parent,
                                                                const juce::String& name,
                                                                juce::Button::Listener& listener);

    /** Hands a web address or a "mailto:" link to the system; the outcome is not examined. */
    using URLLauncher = std::function<void (const juce::URL&)>;

    /** The launcher the program uses: the user's own handler, started as the user, or the address
        shown when that cannot be done (AddressNotice). */
    URLLauncher getDefaultLauncher();
} // namespace PanelParts
