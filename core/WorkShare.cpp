#include "core/WorkShare.h"

#include "platform/SysInfo.h"

#include <algorithm>
#include <atomic>

namespace {
// How many batch workers are busy now.
std::atomic<int>& BusyWorkers()
{
    static std::atomic<int> Count{0};
    return Count;
}
} // namespace

void BeginBusyWorker()
{
    ++BusyWorkers();
}

void EndBusyWorker()
{
    --BusyWorkers();
}

int WorkThreadShare()
{
    const int busy = std::max(BusyWorkers().load(), 1);
    return std::max(platform::UsableProcessorCount() / busy, 1);
}

int WorkThreadLimit(int Wanted)
{
    return BusyWorkers().load() > 0 ? std::min(Wanted, WorkThreadShare()) : Wanted;
}
