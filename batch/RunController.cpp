#include "batch/RunController.h"

#include "core/Global.h"
#include "core/ImageInfo.h"

#include <algorithm>

TRunCounts CountRun(const TImageInfoList* List, const std::vector<TImageFileInfo>* RunInput,
                    const std::function<bool(int)>& Written)
{
    TRunCounts C;
    const int N = RunInput ? int(RunInput->size()) : List ? List->Count() : 0;
    for (int i = 0; i < N; ++i) {
        const bool Done = Written && Written(i);
        if (Done || (RunInput ? (*RunInput)[size_t(i)].Named : List->Items(i)->Checked))
            ++C.Asked;
        C.Written += Done ? 1 : 0;
    }
    return C;
}

TRunController::TRunController(TRunEntries Entries, const TEffectList& Effects, TRunSettings Settings,
                               TErrorSink& Errors, TWorkerObjectFactory Objects, TConvertIO* IO)
    : FEntries(Entries), FEffects(Effects.Clone()), FSettings(std::move(Settings)), FErrors(Errors),
      FObjects(std::move(Objects)), FOwnIO(IO ? nullptr : std::make_unique<TConvertIO>()), FIO(IO ? IO : FOwnIO.get())
{
    if (FEntries.RunInput)
        FEntries.Probes = &FProbes;
}

TRunController::~TRunController()
{
    if (FRun) {
        FRun->Cancel();
        FRun->Wait();
    }
    FRun.reset();
    FJob.reset();
    FNameJob.reset();
    FProbes.clear();
}

void TRunController::Start(TWatcher Watcher, std::function<void()> Wake)
{
    if (FRun)
        return;
    FWatcher = std::move(Watcher);
    FEvents = std::make_unique<TBatchEventQueue>(std::move(Wake));
    FNameJob = std::make_unique<TOutputNameJob>(FEntries, *FEffects, FSettings.File.FileNameFormat, FSettings);
    FJob = std::make_unique<TConvertJob>(FEntries, *FEffects, *FIO, FErrors, std::move(FObjects), FSettings);
    FNumbering = std::make_unique<TNumbering>(RunNumbering(*FNameJob));
    FRun = std::make_unique<TBatchRun>(*FNameJob, *FJob, FErrors, FEvents.get());
    const int Workers = FSettings.System.ParallelProcessing ? std::max(1, FSettings.System.MaxThread) : 1;
    FRun->Start(RunCollisionRules(FSettings), *FNumbering, Workers, FSettings.System.AbortOnError);
}

void TRunController::Poll()
{
    if (FEnded || !FEvents)
        return;
    for (TBatchEventQueue::TEvent& E : FEvents->Take()) {
        switch (E.Kind) {
        case TBatchEventQueue::NamesReadyEvent:
            if (FWatcher.NamesReady)
                FWatcher.NamesReady(E.Value, E.Size);
            break;
        case TBatchEventQueue::ProgressEvent:
            if (FWatcher.Progress)
                FWatcher.Progress(E.Size, E.Text);
            break;
        case TBatchEventQueue::WorkerEndedEvent:
            break;
        case TBatchEventQueue::RunEndedEvent:
            FEnded = true;
            FCanceled = E.Value != 0;
            if (FWatcher.Ended)
                FWatcher.Ended(FCanceled);
            return;
        }
        // A watcher may end the run's watch from a report (a window closed).
        if (FEnded)
            return;
    }
}

bool TRunController::WaitFor(int Ms)
{
    return FEvents && FEvents->WaitFor(Ms);
}

void TRunController::Cancel()
{
    if (FRun)
        FRun->Cancel();
}

void TRunController::Wait()
{
    if (FRun)
        FRun->Wait();
}

const TNamePhaseResult& TRunController::Names() const
{
    static const TNamePhaseResult None;
    return FRun ? FRun->Names() : None;
}

bool TRunController::Converted(int Index) const
{
    return FJob && FJob->Converted(Index);
}

TRunCounts TRunController::Counts() const
{
    return CountRun(FEntries.List, FEntries.RunInput, [this](int i) { return Converted(i); });
}
