// A fork-join pool: N worker threads kept alive, each running the same job
// with its own index, while the caller waits for all of them.
#pragma once
#include "platform/Event.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

// A job: called once per worker with its index (0 .. Count - 1), the worker
// count and the caller's parameter. The job splits the work itself (rows,
// tiles, or a shared atomic counter).
using TMultiThreadProc = void (*)(uint32_t ThreadIndex, uint32_t ThreadCount, void* Param);

struct TThreadJob {
    TMultiThreadProc proc = nullptr;
    void* param = nullptr;
};

// One worker's slot. The caller writes job only while the worker waits on
// runEvent; the events order the hand-over, so no further lock is needed.
struct TThreadInfo {
    std::atomic<bool> active{true};
    uint32_t threadID = 0;
    uint32_t threadCount = 0;
    TThreadJob job;
    platform::TEvent runEvent;
    platform::TEvent endEvent;
    std::exception_ptr error; // what the job threw, handed back to the caller
    std::thread Thread;       // not joinable when the thread could not be started
};

class TMultiThread {
public:
    // Starts N workers (N of 0 counts as 1). A worker that the system refuses
    // to start is stood in for by the caller's thread in every job, so a job
    // always runs with every index.
    explicit TMultiThread(uint32_t N);
    // Ends the workers (a running job is finished first) and waits for them.
    ~TMultiThread();
    TMultiThread(const TMultiThread&) = delete;
    TMultiThread& operator=(const TMultiThread&) = delete;

    // Runs Proc(i, MaxThread, Param) for every i at once and returns when all
    // have returned. When a job throws, the first exception (in index order)
    // is rethrown here after all have finished. Concurrent callers are served
    // one after the other.
    void ExecMultiThreadFunc(TMultiThreadProc Proc, void* Param);

    uint32_t MaxThread() const { return FMaxThread; }

private:
    static void Execute(TThreadInfo* Info);

    uint32_t FMaxThread;
    std::unique_ptr<TThreadInfo[]> Info;
    std::mutex FCallLock;
};
