#include "batch/CombineController.h"

#include "core/ErrorLog.h"
#include "core/OutputFileName.h"

// Counts finished tiles on the pool's threads and passes each on to the
// owner's observer; the watcher reads the count when it polls, so nothing is
// queued per tile.
class TCombineController::TCounter : public TCombineObserver {
public:
    explicit TCounter(TCombineObserver* Next) : FNext(Next) { }
    void TileDone() override
    {
        FCount.fetch_add(1, std::memory_order_relaxed);
        if (FNext)
            FNext->TileDone();
    }
    int Count() const { return FCount.load(std::memory_order_relaxed); }

private:
    std::atomic<int> FCount{0};
    TCombineObserver* FNext;
};

TCombineController::TCombineController(TCombineInput Input, TResizer& MainResizer, TErrorLog& Log,
                                       TRunSettings Settings, TCombineObserver* Observer)
    : FCounter(std::make_unique<TCounter>(Observer)), FInput(Input),
      FRun(Input, MainResizer, Log, FCounter.get(), std::move(Settings)), FLog(Log)
{
}

TCombineController::~TCombineController()
{
    Cancel();
    Wait();
}

void TCombineController::Start(TWatcher Watcher, std::function<void()> Wake)
{
    if (FStarted)
        return;
    FStarted = true;
    FWatcher = std::move(Watcher);
    FWake = std::move(Wake);
    FRun.CurrentNumber = CurrentNumber;
    FThread = std::thread([this] {
        bool Result = false;
        try {
            Result = FRun.Execute(FCancel);
        } catch (const std::exception& Ex) {
            // Whatever stopped the walk (memory for the pool, a damaged list)
            // must be seen, not reported as a finished run.
            FLog.PutErrorMsg(Ex.what());
            Result = !FCancel.load();
        }
        {
            const std::lock_guard<std::mutex> L(FLock);
            FResult = Result;
            FThreadDone = true;
        }
        FDone.notify_all();
        if (FWake)
            FWake();
    });
}

void TCombineController::Poll()
{
    if (FEnded || !FStarted)
        return;
    bool Done;
    {
        const std::lock_guard<std::mutex> L(FLock);
        Done = FThreadDone;
    }
    if (const int Tiles = FCounter->Count(); Tiles != FReported) {
        FReported = Tiles;
        if (FWatcher.Progress)
            FWatcher.Progress(Tiles);
    }
    if (!Done)
        return;
    Wait();
    FEnded = true;
    FCanceled = !FResult;
    if (FWatcher.Ended)
        FWatcher.Ended(FCanceled);
}

bool TCombineController::WaitFor(int Ms)
{
    std::unique_lock<std::mutex> L(FLock);
    return FDone.wait_for(L, std::chrono::milliseconds(Ms), [this] { return FThreadDone; });
}

void TCombineController::Wait()
{
    if (FThread.joinable())
        FThread.join();
}

TRunCounts TCombineController::Counts() const
{
    return CountRun(FInput.List, FInput.RunInput, [this](int i) { return Converted(i); });
}
