#include "platform/Event.h"

#include <chrono>

namespace platform {

void TEvent::Set()
{
    {
        std::lock_guard<std::mutex> g(FLock);
        FSignalled = true;
    }
    FCond.notify_one();
}

void TEvent::Reset()
{
    std::lock_guard<std::mutex> g(FLock);
    FSignalled = false;
}

void TEvent::Wait()
{
    std::unique_lock<std::mutex> g(FLock);
    FCond.wait(g, [this] { return FSignalled; });
    FSignalled = false;
}

bool TEvent::WaitFor(uint32_t Milliseconds)
{
    std::unique_lock<std::mutex> g(FLock);
    if (!FCond.wait_for(g, std::chrono::milliseconds(Milliseconds), [this] { return FSignalled; }))
        return false;
    FSignalled = false;
    return true;
}

} // namespace platform
