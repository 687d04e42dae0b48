#include "app/WineRepaintPump.h"

#if JUCE_WINDOWS
#include "engine/WindowsApi.h"
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
    return ::isRunningUnderWine();
#else
    return false;
#endif
}

void WineRepaintPump::timerCallback()
{
    if (auto* const peer = window.getPeer(); peer != nullptr)
        peer->performAnyPendingRepaintsNow();
}
