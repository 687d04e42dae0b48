// A hook before each file-system step, so that tests can stop a run at a chosen step.
#pragma once

#include <juce_core/juce_core.h>

#include <functional>

namespace DurableFiles
{
    /** Called before each file-system step with the step's name ("create folder", "write file",
        "flush folder", "rename", "remove") and the path it acts on. Tests use it to stop a run
        at a chosen step; the program sets none. The workers of a run call it at once from their
        threads, so it must be safe for that; setting a new one while they work is safe. */
    using StepHook = std::function<void (const char* step, const juce::File& target)>;

    void setStepHook (StepHook hook);

    /** Calls the step hook, if one is set. */
    void announceStep (const char* step, const juce::File& target);
} // namespace DurableFiles
