#include "ui/main/ShutdownBlock.h"

#include "engine/WindowsApi.h"

ShutdownBlock::ShutdownBlock ([[maybe_unused]] juce::Component& component, [[maybe_unused]] const juce::String& reason)
{
   #if JUCE_WINDOWS
    if (auto* peer = component.getPeer())
        if (ShutdownBlockReasonCreate ((HWND) peer->getNativeHandle(), reason.toWideCharPointer()))
            window = peer->getNativeHandle();
   #endif
}

ShutdownBlock::~ShutdownBlock()
{
   #if JUCE_WINDOWS
    if (window != nullptr)
        ShutdownBlockReasonDestroy ((HWND) window);
   #endif
}
