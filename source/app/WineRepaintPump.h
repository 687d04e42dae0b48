// Keeps a window repainting when the Windows build runs under Wine.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** JUCE 7 on Windows applies a window's pending repaints only when its vblank thread sees a
    vertical blank (IDXGIOutput::WaitForVBlank). Wine does not implement that call, so under Wine
    a window never repaints after its first paint: hover, selection and the success view would not
    show. Under Wine this timer applies the pending repaints from the message thread instead.

    On Windows itself, and on every other system, it never starts and changes nothing.
*/
class WineRepaintPump final : private juce::Timer
{
public:
    /** Starts pumping `window`'s repaints if, and only if, the program runs under Wine. */
    explicit WineRepaintPump (juce::Component& window);
    ~WineRepaintPump() override;

    /** True when this process is a Windows program running under Wine (Wine's ntdll exports
        wine_get_version; Windows' own does not). */
    static bool isRunningUnderWine();

private:
    void timerCallback() override;

    juce::Component& window;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WineRepaintPump)
};
