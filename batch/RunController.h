// One batch run set up, started, cancelled and reported without any window.
// The owner hands it the run's settings (its snapshot), its entries, the
// effect chain and where failures go; the controller makes the name and
// convert jobs, the numbering and the run, and runs it on a thread of its
// own. Whoever watches it (a progress window, a test) calls Poll on its own
// thread: the run's reports then come to its callbacks there, in order.
#pragma once
#include "batch/BatchJobs.h"
#include "batch/BatchRun.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// How many entries a run was asked to convert (checked entries of the list;
// files of the run input that were named, or found by a folder walk and
// converted) and how many of them went through.
struct TRunCounts {
    int Asked = 0;
    int Written = 0;
    int NotWritten() const { return Asked - Written; }
};

// The counts of a run over List, or over RunInput when given, after the run:
// Written(i) tells whether entry i went through (empty: a run that never
// started, which wrote nothing). A batch run and a combine run count alike.
TRunCounts CountRun(const TImageInfoList* List, const std::vector<TImageFileInfo>* RunInput,
                    const std::function<bool(int)>& Written);

class TRunController {
public:
    // What the watcher is told, on the thread that calls Poll.
    struct TWatcher {
        // The name phase ended: Count output names (-1: a name was invalid,
        // 0: nothing to do), AllSize tiles of work in all.
        std::function<void(int Count, double AllSize)> NamesReady;
        // Units of work done; LabelText the file now started (may be empty).
        std::function<void(double ProgressSize, const std::string& LabelText)> Progress;
        // The run ended (its thread is joined by Wait); Canceled when it was
        // cancelled in either phase.
        std::function<void(bool Canceled)> Ended;
    };

    // Entries.Probes is the controller's own when Entries has a run input.
    // The run works with a copy of Effects made here: the chain may change
    // (a dialog, a profile read again) while it goes on. Errors (and IO,
    // when given) must outlive the controller.
    TRunController(TRunEntries Entries, const TEffectList& Effects, TRunSettings Settings, TErrorSink& Errors,
                   TWorkerObjectFactory Objects, TConvertIO* IO = nullptr);
    // Cancels a run still going on and waits for it.
    ~TRunController();
    TRunController(const TRunController&) = delete;
    TRunController& operator=(const TRunController&) = delete;

    // Starts the run (once) with the process-wide running number as it stands
    // now. Wake (when given) is called on the run's thread once its end is
    // queued, so that the watcher can Poll at once instead of at its next tick.
    void Start(TWatcher Watcher, std::function<void()> Wake = {});
    // Delivers the queued reports to the watcher; stops after the end.
    void Poll();
    // Waits up to Ms milliseconds for a report; true when one is queued.
    bool WaitFor(int Ms);
    // From any thread: no worker takes a further entry; each finishes its
    // current file.
    void Cancel();
    // Joins the run's thread (after its end, at once).
    void Wait();

    bool Started() const { return FRun != nullptr; }
    bool Ended() const { return FEnded; }
    bool Canceled() const { return FCanceled; }
    // After the run: the next running number and the name phase's result.
    const TNamePhaseResult& Names() const;
    // After the run: whether entry Index went through without an error.
    bool Converted(int Index) const;
    TRunCounts Counts() const;

private:
    TRunEntries FEntries;
    TRunProbes FProbes;
    std::unique_ptr<TEffectList> FEffects; // the run's own chain
    TRunSettings FSettings;
    TErrorSink& FErrors;
    TWorkerObjectFactory FObjects;
    std::unique_ptr<TConvertIO> FOwnIO;
    TConvertIO* FIO;
    TWatcher FWatcher;
    std::unique_ptr<TBatchEventQueue> FEvents;
    std::unique_ptr<TOutputNameJob> FNameJob;
    std::unique_ptr<TConvertJob> FJob;
    std::unique_ptr<TNumbering> FNumbering;
    std::unique_ptr<TBatchRun> FRun;
    bool FEnded = false, FCanceled = false;
};
