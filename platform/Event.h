// A small auto-reset event: Set lets exactly one waiter through (or the next
// one to come, when nobody waits) and then the event is clear again.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

class TEvent {
public:
    explicit TEvent(bool Signalled = false) : FSignalled(Signalled) { }
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    // Signals the event; setting a signalled event changes nothing.
    void Set();
    // Clears the event without waiting.
    void Reset();
    // Waits without a time limit until the event is signalled, then clears it.
    void Wait();
    // Waits at most Milliseconds; true when the event was signalled (and is now
    // cleared), false on time-out.
    bool WaitFor(uint32_t Milliseconds);

private:
    std::mutex FLock;
    std::condition_variable FCond;
    bool FSignalled;
};

} // namespace platform
