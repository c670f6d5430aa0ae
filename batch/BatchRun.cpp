#include "batch/BatchRun.h"

#include "core/Kodex.h"
#include "core/ResourceText.h"
#include "core/WorkShare.h"
#include "platform/FileOps.h"
#include "platform/PageMemory.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>
#include <thread>

uint64_t TileCount(int64_t Width, int64_t Height)
{
    if (Width < 1 || Height < 1)
        return 0;
    return uint64_t((Width + 255) / 256) * uint64_t((Height + 255) / 256);
}

// ---- event queue

void TBatchEventQueue::Push(TEvent E)
{
    {
        std::lock_guard<std::mutex> G(FLock);
        FEvents.push_back(std::move(E));
    }
    FCond.notify_all();
}

void TBatchEventQueue::NamesReady(int Count, double AllSize)
{
    Push({NamesReadyEvent, Count, AllSize, {}});
}

void TBatchEventQueue::Progress(uint32_t ProgressSize, const std::string& LabelText)
{
    Push({ProgressEvent, 0, double(ProgressSize), LabelText});
}

void TBatchEventQueue::WorkerEnded(int ThreadNum, bool Aborted)
{
    Push({WorkerEndedEvent, ThreadNum, Aborted ? 1.0 : 0.0, {}});
}

void TBatchEventQueue::RunEnded(bool Canceled)
{
    Push({RunEndedEvent, Canceled ? 1 : 0, 0, {}});
    if (FEnded)
        FEnded();
}

std::vector<TBatchEventQueue::TEvent> TBatchEventQueue::Take()
{
    std::lock_guard<std::mutex> G(FLock);
    std::vector<TEvent> R(std::make_move_iterator(FEvents.begin()), std::make_move_iterator(FEvents.end()));
    FEvents.clear();
    return R;
}

bool TBatchEventQueue::WaitFor(int Ms)
{
    std::unique_lock<std::mutex> G(FLock);
    return FCond.wait_for(G, std::chrono::milliseconds(Ms), [this] { return !FEvents.empty(); });
}

// ---- names

namespace {

// Position of the extension's dot in the file-name part, or npos.
size_t ExtDot(const std::string& Name)
{
    const size_t Slash = Name.find_last_of('/');
    const size_t Dot = Name.find_last_of('.');
    if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash))
        return std::string::npos;
    return Dot;
}

bool BaseNameEmpty(const std::string& Name)
{
    const size_t Slash = Name.find_last_of('/');
    const size_t Start = Slash == std::string::npos ? 0 : Slash + 1;
    const size_t Dot = ExtDot(Name);
    const size_t End = Dot == std::string::npos ? Name.size() : Dot;
    return End <= Start;
}

std::string FolderOf(const std::string& Name)
{
    const size_t Slash = Name.find_last_of('/');
    return Slash == std::string::npos ? std::string() : Name.substr(0, Slash + 1);
}

} // namespace

namespace {

// The name's folder identity and its file name; false when the folder does
// not exist (yet).
bool FolderKey(const std::string& Name, std::tuple<uint64_t, uint64_t, std::string>& Key)
{
    const std::string Folder = FolderOf(Name);
    platform::TFileId Id;
    if (!platform::GetFileId(Folder.empty() ? std::string(".") : Folder, Id))
        return false;
    Key = {Id.Dev, Id.Ino, Name.substr(Folder.size())};
    return true;
}

} // namespace

bool TGivenNames::Contains(const std::string& Name) const
{
    if (FNames.count(Name) != 0)
        return true;
    std::tuple<uint64_t, uint64_t, std::string> Key;
    return FolderKey(Name, Key) && FInFolders.count(Key) != 0;
}

void TGivenNames::Add(const std::string& Name)
{
    FNames.insert(Name);
    std::tuple<uint64_t, uint64_t, std::string> Key;
    if (FolderKey(Name, Key))
        FInFolders.insert(std::move(Key));
}

std::string NumberedName(const std::string& Name, int K)
{
    const size_t Dot = ExtDot(Name);
    const std::string Stem = Dot == std::string::npos ? Name : Name.substr(0, Dot);
    const std::string Ext = Dot == std::string::npos ? std::string() : Name.substr(Dot);
    return Stem + "[" + std::to_string(K) + "]" + Ext;
}

std::string ResolveOutputName(const std::string& Name, const TCollisionRules& Rules, const TGivenNames& Given,
                              const std::function<bool(const std::string&)>& IsOtherInput, TNameRefusal* Why)
{
    TNameRefusal Dummy;
    TNameRefusal& R = Why ? *Why : Dummy;
    R = TNameRefusal::None;
    if (Rules.NotOverwrite) {
        auto Free = [&](const std::string& N) { return !platform::PathExists(N) && !Given.Contains(N); };
        if (Free(Name))
            return Name;
        if (Rules.Skip) {
            // A file from before the run is skipped as asked; one that this
            // run gives out would silently take the place of this entry.
            R = Given.Contains(Name) ? TNameRefusal::TakenInRun : TNameRefusal::SkipExisting;
            return std::string();
        }
        for (int K = 1; K < 1000000; ++K) {
            const std::string N = NumberedName(Name, K);
            if (Free(N))
                return N;
        }
        R = TNameRefusal::NoFreeName;
        return std::string();
    }
    if (!Rules.IgnoreReadOnlyAttr && platform::FileExists(Name) && platform::IsReadOnly(Name)) {
        R = TNameRefusal::ReadOnly;
        return std::string();
    }
    if (Given.Contains(Name)) {
        R = TNameRefusal::TakenInRun;
        return std::string();
    }
    // Another entry's source: its worker may not have read it yet.
    if (IsOtherInput && IsOtherInput(Name)) {
        R = TNameRefusal::OtherInput;
        return std::string();
    }
    return Name;
}

std::string RefusalText(TNameRefusal Why)
{
    // No catalogue texts exist for these yet; the English texts are the keys.
    switch (Why) {
    case TNameRefusal::ReadOnly:
        return LoadResText("the file is read-only");
    case TNameRefusal::TakenInRun:
        return LoadResText("another file of this run is written there");
    case TNameRefusal::OtherInput:
        return LoadResText("it is the input of another file of this run");
    case TNameRefusal::NoFreeName:
        return LoadResText("no free numbered name");
    default:
        return std::string();
    }
}

std::string CannotWriteText(const std::string& Target, const std::string& Reason)
{
    return LoadResText("cannot write") + " " + Target + ": " + Reason;
}

std::string ResolvedPath(const std::string& Path)
{
    std::error_code Ec;
    const std::filesystem::path P = std::filesystem::canonical(Path, Ec);
    return Ec ? std::string() : P.string();
}

std::string AbsolutePath(const std::string& Path)
{
    std::error_code Ec;
    const std::filesystem::path P = std::filesystem::absolute(Path, Ec);
    return (Ec ? std::filesystem::path(Path) : P).lexically_normal().string();
}

std::string SameFileText(const std::string& FirstName)
{
    std::string Text = LoadResText("the same file as %s, written once under that name");
    if (const size_t At = Text.find("%s"); At != std::string::npos)
        Text.replace(At, 2, FirstName);
    return Text;
}

int UnusableName(const std::string& Name)
{
    if (Name.empty())
        return kNamesInvalid;
    return BaseNameEmpty(Name) ? kNamesEmpty : 0;
}

std::string UnusableNameText(int Kind)
{
    return LoadResText(Kind == kNamesEmpty ? "The file name rule gives an empty name"
                                           : "The file name contains characters that cannot be used");
}

std::string FileNameOf(const std::string& Path)
{
    const size_t Slash = Path.find_last_of('/');
    return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

TNamePhaseResult RunNamePhase(TNameJob& Job, const TCollisionRules& Rules, TNumbering& Numbering,
                              const std::atomic<bool>& Terminated, TErrorSink* Errors)
{
    TNamePhaseResult R;
    Job.BeginNames();
    const int32_t Current = Numbering.ResetType == 0 ? Numbering.StartNumber : Numbering.CurrentNumber;
    // Counted in 64 bits and held to the 32-bit range where it is handed on:
    // a start number near the top of the range must not wrap to negative.
    auto Clamp32 = [](int64_t V) { return int32_t(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX)); };
    int64_t Number = int64_t(Numbering.ExtractStartNumber ? Numbering.ExtractStartNumber(Current) : Current) - 1;

    // Which entries take part, and the identities of their sources.
    const int N = Job.Count();
    struct TPrepared {
        bool Use = false;
        int64_t W = 0, H = 0;
    };
    std::vector<TPrepared> Prep(size_t(std::max(N, 0)));
    R.Lines.assign(size_t(std::max(N, 0)), std::string());
    auto Refuse = [&](int i, const std::string& Why) {
        std::string& L = R.Lines[size_t(i)];
        L = FileNameOf(Job.InputPath(i)) + ": " + Why;
        if (Errors)
            Errors->PutErrorMsg(L);
    };
    // The inputs by the path they name once links are resolved: the same
    // file named twice, by a symbolic link or found again by a folder walk,
    // is one input. Hard links are names of their own and each is written.
    std::map<std::string, int> Inputs;
    for (int i = 0; i < N && !Terminated; ++i) {
        TPrepared& P = Prep[size_t(i)];
        const bool Prepared = Job.Prepare(i, P.W, P.H);
        P.Use = Prepared && P.W >= 1 && P.H >= 1;
        if (!P.Use) {
            std::string Why = Job.Refused(i);
            if (Why.empty() && Prepared)
                Why = LoadResText("the picture has no pixels") + " (" + std::to_string(P.W) + " x " +
                    std::to_string(P.H) + ")";
            if (!Why.empty())
                Refuse(i, Why);
        }
        if (!P.Use)
            continue;
        const std::string Path = Job.InputPath(i);
        const auto [It, New] = Inputs.emplace(ResolvedPath(Path), i);
        if (New || It->first.empty())
            continue;
        // Converted once, under the first entry's name. Named again as it
        // was, nothing is missing; under another name, that name gets no
        // output of its own and says so.
        P.Use = false;
        const std::string First = Job.InputPath(It->second);
        if (AbsolutePath(Path) != AbsolutePath(First))
            Refuse(i, SameFileText(FileNameOf(First)));
    }

    TGivenNames Given;
    int Failed = 0; // kNamesInvalid or kNamesEmpty once a name is unusable
    std::vector<std::pair<double, int>> Costs;
    for (int i = 0; i < N && !Terminated; ++i) {
        const TPrepared& P = Prep[size_t(i)];
        if (!P.Use)
            continue;
        ++Number;
        std::string Name = Job.MakeName(i, Clamp32(Number));
        Failed = UnusableName(Name);
        if (Failed != 0) {
            // Nothing of the run is converted: every input says why.
            for (int k = 0; k < N; ++k)
                if (Prep[size_t(k)].Use)
                    Refuse(k, UnusableNameText(Failed));
            break;
        }
        const std::string Wanted = Name;
        TNameRefusal Why = TNameRefusal::None;
        Name = ResolveOutputName(
            Name, Rules, Given,
            [&](const std::string& Cand) {
                const std::string Key = ResolvedPath(Cand);
                const auto It = Key.empty() ? Inputs.end() : Inputs.find(Key);
                return It != Inputs.end() && It->second != i;
            },
            &Why);
        if (Name.empty() && Why != TNameRefusal::SkipExisting)
            Refuse(i, CannotWriteText(Wanted, RefusalText(Why)));
        if (!Name.empty()) {
            // A failure here shows later as the worker's failed write.
            const std::string Folder = FolderOf(Name);
            if (!Folder.empty() && !platform::DirectoryExists(Folder))
                platform::ForceDirectories(Folder);
        }
        Job.StoreName(i, Name);
        if (!Name.empty()) {
            Given.Add(Name);
            // Only entries that get a name are worked on and reported; the
            // others must not keep the bar from its end.
            R.AllSize += double(TileCount(P.W, P.H));
            Costs.emplace_back(Job.EstimatedCost(i, P.W, P.H), i);
        }
    }
    Job.EndNames();
    std::stable_sort(Costs.begin(), Costs.end(), [](const auto& A, const auto& B) { return A.first > B.first; });
    R.WorkOrder.reserve(Costs.size());
    for (const auto& C : Costs)
        R.WorkOrder.push_back(C.second);
    R.OutputFileCount = Failed ? Failed : int(Given.Count());
    R.Numbered = true;
    R.NextNumber = Clamp32(Number + 1);
    R.NextIsStart = Numbering.ResetType == 2;
    return R;
}

// ---- workers

TBatchRunner::TBatchRunner(TBatchJob& Job, TErrorSink& Errors, TBatchObserver* Observer)
    : FJob(Job), FErrors(Errors), FObserver(Observer)
{
}

TBatchRunner::~TBatchRunner() = default;

int TBatchRunner::GetNextImageItem(std::string& Label, uint64_t& Tiles, bool* Last)
{
    if (FAbortOnError && FErrors.GetErrorCount() > 0)
        return -1;
    std::lock_guard<std::mutex> G(FLock);
    const int N = FOrder.empty() ? FJob.Count() : int(FOrder.size());
    for (;;) {
        ++FCurrentImageIndex;
        if (FCurrentImageIndex >= N)
            return -1;
        const int Index = FOrder.empty() ? FCurrentImageIndex : FOrder[size_t(FCurrentImageIndex)];
        if (FHeld && size_t(Index) < FHeld->size() && !(*FHeld)[size_t(Index)].empty()) {
            FErrors.PutErrorMsg((*FHeld)[size_t(Index)]);
            (*FHeld)[size_t(Index)].clear();
            if (FAbortOnError)
                return -1;
            continue;
        }
        Label.clear();
        Tiles = 0;
        if (FJob.TakeEntry(Index, Label, Tiles)) {
            if (Last)
                *Last = FCurrentImageIndex + 1 >= N;
            return Index;
        }
        // The job may have logged why the entry cannot be done.
        if (FAbortOnError && FErrors.GetErrorCount() > 0)
            return -1;
    }
}

namespace {

uint32_t Units(uint64_t Tiles)
{
    const uint64_t U = Tiles * 3;
    return U > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(U);
}

} // namespace

void TBatchRunner::Execute(int ThreadNum)
{
    // A cancel stops the decode under way too, not only the next file.
    const TKodexCancelScope CancelDecodes(&FCanceled);
    // The next file takes the pixel blocks the last one left, already mapped,
    // instead of fresh pages the system must fault in and clear. What is
    // kept stays within half the run's picture budget, which each file sets
    // (TPictureBudgetScope).
    platform::TPageReuse Reuse(0);
    uint64_t PrevTiles = 0;
    BeginBusyWorker();
    while (!FCanceled) {
        std::string Label;
        uint64_t Tiles = 0;
        bool Last = false;
        const int Index = GetNextImageItem(Label, Tiles, &Last);
        if (Index < 0)
            break;
        // No file follows: what this one frees would only wait, beside the
        // writer's memory, for the worker to end.
        if (Last)
            Reuse.KeepNoMore();
        // Each report carries the previous file's work.
        if (FObserver)
            FObserver->Progress(Units(PrevTiles), Label);
        PrevTiles = Tiles;
        try {
            FJob.ProcessEntry(Index, ThreadNum);
        } catch (const std::exception& E) {
            // A file stopped by the cancel (its decode or tool cut short) did
            // not fail: the run's end counts it among those not written.
            if (!FCanceled)
                FErrors.PutErrorMsg(Label + ": " + E.what());
        } catch (...) {
            FErrors.PutErrorMsg(Label + ": unknown error");
        }
        FJob.ReleaseEntry(Index, ThreadNum);
    }
    EndBusyWorker();
    // The last file's work too, so that the bar reaches its end.
    if (FObserver) {
        if (PrevTiles > 0)
            FObserver->Progress(Units(PrevTiles), std::string());
        FObserver->WorkerEnded(ThreadNum, FCanceled);
    }
}

void TBatchRunner::Run(int Workers, bool AbortOnError, std::vector<int> Order)
{
    FAbortOnError = AbortOnError;
    FOrder = std::move(Order);
    Workers = std::max(Workers, 1);
    int Made = 0;
    try {
        for (; Made < Workers; ++Made)
            FJob.CreateThreadObjects(Made, Workers, &FCanceled, &FToolCancel);
    } catch (const std::exception& E) {
        // Without its objects no worker can start; the run ends with the reason.
        FErrors.PutErrorMsg(E.what());
        for (int i = 0; i <= Made && i < Workers; ++i)
            FJob.FreeThreadObjects(i);
        if (FObserver)
            for (int i = 0; i < Workers; ++i)
                FObserver->WorkerEnded(i, false);
        return;
    }
    std::vector<std::thread> Threads;
    std::vector<int> NotStarted;
    Threads.reserve(size_t(Workers));
    for (int i = 0; i < Workers; ++i) {
        try {
            Threads.emplace_back([this, i] { Execute(i); });
        } catch (const std::system_error&) {
            NotStarted.push_back(i); // the system refused a thread
        }
    }
    // A worker whose thread could not start works on this thread instead, so
    // every file is still done and every worker reports its end.
    for (int i : NotStarted)
        Execute(i);
    for (auto& T : Threads)
        T.join();
    for (int i = 0; i < Workers; ++i)
        FJob.FreeThreadObjects(i);
}

// ---- the whole run

TBatchRun::TBatchRun(TNameJob& Names, TBatchJob& Job, TErrorSink& Errors, TBatchObserver* Observer)
    : FNameJob(Names), FJob(Job), FErrors(Errors), FObserver(Observer)
{
}

TBatchRun::~TBatchRun()
{
    if (FThread.joinable()) {
        Cancel();
        FThread.join();
    }
}

void TBatchRun::PutLinesFrom(int From, bool Stopped)
{
    if (FNames.Lines.empty())
        return; // logged by the name phase itself
    std::vector<char> Named(FNames.Lines.size(), 0);
    for (int i : FNames.WorkOrder)
        Named[size_t(i)] = 1;
    for (size_t i = size_t(std::max(From, 0)); i < FNames.Lines.size(); ++i) {
        if (!FNames.Lines[i].empty())
            FErrors.PutErrorMsg(FNames.Lines[i]);
        else if (Stopped && Named[i])
            FErrors.PutErrorMsg(FileNameOf(FNameJob.InputPath(int(i))) + ": " +
                                LoadResText("not converted: the run stopped at an error"));
    }
}

bool TBatchRun::Run(const TCollisionRules& Rules, TNumbering& Numbering, int MaxThreadNum, bool AbortOnError)
{
    // With AbortOnError the name phase's lines wait until the walk reaches
    // their entries: one input that cannot be read stops the run there, not
    // before its first file.
    FNames = RunNamePhase(FNameJob, Rules, Numbering, FCanceled, AbortOnError ? nullptr : &FErrors);
    if (!AbortOnError)
        FNames.Lines.clear();
    if (FCanceled) {
        PutLinesFrom(0, false);
        if (FObserver)
            FObserver->RunEnded(true);
        return false;
    }
    // Nothing to convert: the reasons are in the log before the window
    // hears of it (it says "no pictures found" only to an empty log).
    if (FNames.OutputFileCount <= 0)
        PutLinesFrom(0, false);
    if (FObserver)
        FObserver->NamesReady(FNames.OutputFileCount, FNames.AllSize);
    bool Converted = false;
    if (FNames.OutputFileCount > 0) {
        TBatchRunner Runner(FJob, FErrors, FObserver);
        Runner.HoldLines(&FNames.Lines);
        {
            std::lock_guard<std::mutex> G(FRunnerLock);
            FRunner = &Runner;
            if (FCanceled)
                Runner.Cancel();
        }
        // With AbortOnError the files after a failed one stay undone, so the
        // list order is kept there.
        Runner.Run(std::min(std::max(MaxThreadNum, 1), FNames.OutputFileCount), AbortOnError,
                   AbortOnError ? std::vector<int>() : FNames.WorkOrder);
        {
            std::lock_guard<std::mutex> G(FRunnerLock);
            FRunner = nullptr;
        }
        // Every entry the walk did not reach says why it was not written.
        PutLinesFrom(Runner.Reached() + 1, AbortOnError && !FCanceled && FErrors.GetErrorCount() > 0);
        Converted = !FCanceled;
    }
    if (FObserver)
        FObserver->RunEnded(FCanceled);
    return Converted;
}

void TBatchRun::Start(const TCollisionRules& Rules, TNumbering& Numbering, int MaxThreadNum, bool AbortOnError)
{
    FThread = std::thread(
        [this, Rules, &Numbering, MaxThreadNum, AbortOnError] { Run(Rules, Numbering, MaxThreadNum, AbortOnError); });
}

void TBatchRun::Wait()
{
    if (FThread.joinable())
        FThread.join();
}

void TBatchRun::Cancel()
{
    FCanceled = true;
    std::lock_guard<std::mutex> G(FRunnerLock);
    if (FRunner)
        FRunner->Cancel();
}
