// Lets a test run the message loop's work (timers, messages from other threads) until something holds.
#pragma once

#include <juce_events/juce_events.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace juce
{
    // The message loop's own step: waits for one message and delivers it.
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

/** Delivers the messages that arrive until `done` holds; gives up after a minute. */
inline bool dispatchMessagesUntil (const std::function<bool()>& done)
{
    const auto giveUp = juce::Time::getMillisecondCounter() + 60000;

    while (! done() && juce::Time::getMillisecondCounter() < giveUp)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1); // nothing there yet: a message from another thread is on its way

    return done();
}

/** Has the component look at the disk again and dispatches messages until `done` holds. */
template <typename Component>
bool lookAgainUntil (Component& component, const std::function<bool()>& done)
{
    component.lookAgain();
    return dispatchMessagesUntil (done);
}

/** Holds every worker of a run at its first file write until opened, and tells when one got there. */
class WriteGate final
{
public:
    WriteGate();
    ~WriteGate();

    /** False when no worker got there within a minute (the run wrote nothing). */
    bool waitUntilReached()
    {
        std::unique_lock<std::mutex> lock (mutex);
        return changed.wait_for (lock, std::chrono::minutes (1), [this] { return reached; });
    }

    void open()
    {
        {
            const std::lock_guard<std::mutex> lock (mutex);
            opened = true;
        }
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool reached = false, opened = false;
};

#include "engine/DurableFiles.h"

inline WriteGate::WriteGate()
{
    DurableFiles::setStepHook ([this] (const char* step, const juce::File&)
                               {
                                   if (juce::String (step) != "write file")
                                       return;

                                   std::unique_lock<std::mutex> lock (mutex);
                                   reached = true;
                                   changed.notify_all();
                                   changed.wait (lock, [this] { return opened; });
                               });
}

inline WriteGate::~WriteGate()
{
    open();
    DurableFiles::setStepHook ({});
}
