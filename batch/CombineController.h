// One combine run started, cancelled and reported without any window, in the
// shape of TRunController: the owner hands it the run's input and settings,
// the controller runs the sheets on a thread of its own, and whoever watches
// it calls Poll on its own thread to be told about progress and the end.
#pragma once
#include "batch/CombineRun.h"
#include "batch/RunController.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TCombineController {
public:
    // What the watcher is told, on the thread that calls Poll.
    struct TWatcher {
        // TilesDone tiles of the run have been loaded so far (one per entry
        // reached, read or not).
        std::function<void(int TilesDone)> Progress;
        // The run ended (its thread is joined); Canceled when it was
        // cancelled.
        std::function<void(bool Canceled)> Ended;
    };

    // MainResizer, Log (and Observer, when given: told about each tile on the
    // pool's threads as well) must outlive the controller.
    TCombineController(TCombineInput Input, TResizer& MainResizer, TErrorLog& Log, TRunSettings Settings,
                       TCombineObserver* Observer = nullptr);
    // Cancels a run still going on and waits for it.
    ~TCombineController();
    TCombineController(const TCombineController&) = delete;
    TCombineController& operator=(const TCombineController&) = delete;

    // Starts the run (once) with the process-wide running number as it stands
    // now. Wake (when given) is called on the run's thread once it has ended.
    void Start(TWatcher Watcher, std::function<void()> Wake = {});
    // Delivers what is new to the watcher; stops after the end.
    void Poll();
    // Waits up to Ms milliseconds for the end; true when the run has ended.
    bool WaitFor(int Ms);
    // From any thread: the page being loaded is left unwritten and no further
    // page is begun.
    void Cancel() { FCancel = true; }
    // Joins the run's thread (after its end, at once).
    void Wait();

    bool Started() const { return FStarted; }
    bool Ended() const { return FEnded; }
    bool Canceled() const { return FCanceled; }
    // After the run: the sheets written, in order, and the next running number.
    const std::vector<std::string>& Written() const { return FRun.Written(); }
    const TNamePhaseResult& Numbers() const { return FRun.Numbers(); }
    // After the run: whether input Index is on a sheet that was written, and
    // how many inputs the run was asked to combine and wrote (counted as a
    // batch run's).
    bool Converted(int Index) const { return FRun.Converted(Index); }
    TRunCounts Counts() const;

private:
    class TCounter;
    std::unique_ptr<TCounter> FCounter;
    TCombineInput FInput;
    TCombineRun FRun;
    TErrorLog& FLog;
    TWatcher FWatcher;
    std::function<void()> FWake;
    std::thread FThread;
    std::atomic<bool> FCancel{false};
    std::mutex FLock;
    std::condition_variable FDone;
    bool FThreadDone = false; // under FLock
    bool FResult = false;     // Execute's result, read after the join
    int FReported = 0;        // tiles told to the watcher
    bool FStarted = false, FEnded = false, FCanceled = false;
};
