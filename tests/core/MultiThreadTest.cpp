#include "core/MultiThread.h"

#include <gtest/gtest.h>
#include <atomic>
#include <dlfcn.h>
#include <pthread.h>
#include <stdexcept>
#include <vector>

// Lets a test make the system refuse new threads: while RefuseThreads is above
// 0, thread creation fails with EAGAIN (and the count goes down).
static std::atomic<int> RefuseThreads{0};
static std::atomic<int> SkipBeforeRefusing{0};

extern "C" int pthread_create(pthread_t* T, const pthread_attr_t* A, void* (*F)(void*), void* Arg)
{
    using Fn = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "pthread_create"));
    if (RefuseThreads > 0 && SkipBeforeRefusing-- <= 0) {
        --RefuseThreads;
        return EAGAIN;
    }
    return real(T, A, F, Arg);
}

namespace {

struct Tally {
    std::vector<std::atomic<int>> Runs;
    std::atomic<int> BadCount{0};
    uint32_t Expected;
    explicit Tally(uint32_t N) : Runs(N), Expected(N) { }
};

void CountRun(uint32_t Index, uint32_t Count, void* Param)
{
    auto* t = static_cast<Tally*>(Param);
    if (Count != t->Expected || Index >= Count)
        ++t->BadCount;
    else
        ++t->Runs[Index];
}

void ExpectEachRanTimes(const Tally& T, int Times)
{
    EXPECT_EQ(T.BadCount, 0);
    for (uint32_t i = 0; i < T.Expected; ++i)
        ASSERT_EQ(T.Runs[i], Times) << "index " << i << " of " << T.Expected;
}

} // namespace

TEST(MultiThread, EveryIndexRunsOncePerJob)
{
    for (uint32_t n = 1; n <= 64; ++n) {
        TMultiThread pool(n);
        Tally t(n);
        for (int job = 1; job <= 3; ++job) {
            pool.ExecMultiThreadFunc(CountRun, &t);
            ExpectEachRanTimes(t, job); // nothing runs late, nothing twice
        }
    }
    TMultiThread idle(16); // ends without ever running a job
    TMultiThread zero(0);  // counts as one worker
    Tally t(1);
    zero.ExecMultiThreadFunc(CountRun, &t);
    ExpectEachRanTimes(t, 1);
}

TEST(MultiThread, FailuresDoNotLeaveWorkUndoneOrHang)
{
    // The 3rd to 5th workers cannot be started: their indices run on the caller.
    SkipBeforeRefusing = 2;
    RefuseThreads = 3;
    TMultiThread pool(8);
    EXPECT_EQ(RefuseThreads, 0);
    RefuseThreads = 0;
    Tally t(8);
    pool.ExecMultiThreadFunc(CountRun, &t);
    ExpectEachRanTimes(t, 1);

    // A throwing job reaches the caller after all have run; the pool stays whole.
    auto throwOnTwo = [](uint32_t Index, uint32_t Count, void* Param) {
        CountRun(Index, Count, Param);
        if (Index == 2 || Index == 3)
            throw std::runtime_error("job failed");
    };
    EXPECT_THROW(pool.ExecMultiThreadFunc(throwOnTwo, &t), std::runtime_error);
    ExpectEachRanTimes(t, 2);
    pool.ExecMultiThreadFunc(CountRun, &t);
    ExpectEachRanTimes(t, 3);
}
