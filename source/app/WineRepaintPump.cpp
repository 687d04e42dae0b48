#include "app/WineRepaintPump.h"

#if JUCE_WINDOWS
#include <windows.h>
#endif

namespace
{
    // About the rate of the vertical blanks that drive repaints on Windows.
    constexpr int pumpRateHz = 60;
} // namespace

WineRepaintPump::WineRepaintPump (juce::Component& windowToPump)
    : window (windowToPump)
{
    if (isRunningUnderWine())
        startTimerHz (pumpRateHz);
}

WineRepaintPump::~WineRepaintPump()
{
    stopTimer();
}

bool WineRepaintPump::isRunningUnderWine()
{
#if JUCE_WINDOWS
    if (const auto ntdll = GetModuleHandleW (L"ntdll.dll"); ntdll != nullptr)
        return GetProcAddress (ntdll, "wine_get_version") != nullptr;
#endif
    return false;
}

void WineRepaintPump::timerCallback()
{
    if (auto* const peer = window.getPeer(); peer != nullptr)
        peer->performAnyPendingRepaintsNow();
}
