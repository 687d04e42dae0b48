// What the hint line says about the control that is pointed at.
#pragma once

#include "engine/InstallRun.h"
#include "ui/main/MainControls.h"

#include <optional>

namespace MainHints
{
    /** The hint for a control pointed at (hovered, or focused from the keyboard), or nothing for
        one that leaves the hint line as it is. A format row offers to install or, where its bundle
        is present, to update; a result line's buttons add the line's holders and other copies,
        which its painted line may cut short. */
    std::optional<juce::String> getHint (const MainControl& control, const RunReport& finishedRun, bool bundlePresent,
                                         const juce::String& productVersion);
} // namespace MainHints
