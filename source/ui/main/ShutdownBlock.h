// Holds off the end of the Windows session while the installer's formats are not whole yet.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** While it lives, Windows asks the user to wait before the session ends, giving `reason`
    (ShutdownBlockReasonCreate on the component's window). Elsewhere, and for a component on no
    window, it does nothing. */
class ShutdownBlock final
{
public:
    ShutdownBlock (juce::Component& component, const juce::String& reason);
    ~ShutdownBlock();

private:
    void* window = nullptr;

    JUCE_DECLARE_NON_COPYABLE (ShutdownBlock)
};
