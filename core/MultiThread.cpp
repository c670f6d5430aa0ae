#include "core/MultiThread.h"

#include <system_error>

TMultiThread::TMultiThread(uint32_t N) : FMaxThread(N ? N : 1), Info(new TThreadInfo[FMaxThread])
{
    for (uint32_t i = 0; i < FMaxThread; ++i) {
        TThreadInfo& t = Info[i];
        t.threadID = i;
        t.threadCount = FMaxThread;
        try {
            t.Thread = std::thread(Execute, &t);
        } catch (const std::system_error&) {
            // Out of threads: this slot is run on the caller's thread instead.
            t.active = false;
        }
    }
}

TMultiThread::~TMultiThread()
{
    for (uint32_t i = 0; i < FMaxThread; ++i) {
        TThreadInfo& t = Info[i];
        t.active = false;
        t.runEvent.Set();
    }
    for (uint32_t i = 0; i < FMaxThread; ++i)
        if (Info[i].Thread.joinable())
            Info[i].Thread.join();
}

void TMultiThread::Execute(TThreadInfo* Info)
{
    for (;;) {
        Info->runEvent.Wait();
        if (!Info->active)
            break;
        try {
            Info->job.proc(Info->threadID, Info->threadCount, Info->job.param);
        } catch (...) {
            // Handing the failure back keeps the caller from waiting forever.
            Info->error = std::current_exception();
        }
        Info->endEvent.Set();
    }
}

void TMultiThread::ExecMultiThreadFunc(TMultiThreadProc Proc, void* Param)
{
    if (!Proc)
        return;
    std::lock_guard<std::mutex> g(FCallLock);
    for (uint32_t i = 0; i < FMaxThread; ++i) {
        TThreadInfo& t = Info[i];
        t.job = {Proc, Param};
        t.error = nullptr;
        if (t.Thread.joinable())
            t.runEvent.Set();
    }
    // Slots without a thread run here, while the workers run theirs.
    for (uint32_t i = 0; i < FMaxThread; ++i) {
        TThreadInfo& t = Info[i];
        if (t.Thread.joinable())
            continue;
        try {
            Proc(t.threadID, t.threadCount, Param);
        } catch (...) {
            t.error = std::current_exception();
        }
    }
    std::exception_ptr first;
    for (uint32_t i = 0; i < FMaxThread; ++i) {
        TThreadInfo& t = Info[i];
        if (t.Thread.joinable())
            t.endEvent.Wait();
        if (t.error && !first)
            first = t.error;
        t.error = nullptr;
    }
    if (first)
        std::rethrow_exception(first);
}
