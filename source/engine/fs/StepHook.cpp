#include "engine/fs/StepHook.h"

#include <memory>
#include <mutex>

namespace DurableFiles
{
    namespace
    {
        // The hook is read by every worker of a run at once; each call works on its own copy.
        std::mutex& getStepHookLock()
        {
            static std::mutex lock;
            return lock;
        }

        std::shared_ptr<const StepHook>& getStepHook()
        {
            static std::shared_ptr<const StepHook> hook;
            return hook;
        }
    } // namespace

    void setStepHook (StepHook hook)
    {
        auto shared = hook ? std::make_shared<const StepHook> (std::move (hook)) : nullptr;
        const std::lock_guard<std::mutex> guard (getStepHookLock());
        getStepHook() = std::move (shared);
    }

    void announceStep (const char* step, const juce::File& target)
    {
        std::shared_ptr<const StepHook> hook;

        {
            const std::lock_guard<std::mutex> guard (getStepHookLock());
            hook = getStepHook();
        }

        if (hook != nullptr)
            (*hook) (step, target);
    }
} // namespace DurableFiles
