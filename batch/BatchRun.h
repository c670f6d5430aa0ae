// The batch run without windows: the output-name phase, the workers that take
// the next entry under one lock, cancel, abort-on-error and progress.
//
// The run does not know what an entry is. The name phase asks a TNameJob and
// the workers a TBatchJob about entries by their 0-based index; the jobs over
// the main file list and the run input implement them (BatchJobs.h). Progress
// goes to a TBatchObserver from the worker threads; a worker never waits for
// the GUI (TBatchEventQueue gives the window a queue to poll).
#pragma once
#include "platform/Process.h"

#include <atomic>
#include <cstdint>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

// Work of one picture in progress units: its 256 x 256 tiles, rounded up.
// The workers report three units per tile (a bar of 768 runs over 256 tiles
// x 3).
uint64_t TileCount(int64_t Width, int64_t Height);

// Where failures go: one line "name: reason" per failed file. The process-wide
// error log implements it; callable from any thread.
class TErrorSink {
public:
    virtual ~TErrorSink() = default;
    virtual void PutErrorMsg(const std::string& Msg) = 0;
    virtual int GetErrorCount() = 0;
};

// Reports of a run. Called on the run's threads (never on the GUI thread), so
// an implementation must only record or post and return at once.
class TBatchObserver {
public:
    virtual ~TBatchObserver() = default;
    // The name phase ended: Count output names (kNamesInvalid, kNamesEmpty:
    // a name was unusable, 0: nothing to do), AllSize tiles of work in all.
    virtual void NamesReady(int Count, double AllSize) = 0;
    // ProgressSize units of work were done; LabelText is the file now started
    // (empty in the last report of a worker).
    virtual void Progress(uint32_t ProgressSize, const std::string& LabelText) = 0;
    // Worker ThreadNum left its loop, Aborted when the run was cancelled.
    virtual void WorkerEnded(int ThreadNum, bool Aborted) = 0;
    // Everything ended; Canceled when the user cancelled (in either phase).
    virtual void RunEnded(bool Canceled) = 0;
};

// An observer that queues every report for the GUI thread to take.
class TBatchEventQueue : public TBatchObserver {
public:
    // Ended (when given) is called on the run's thread once the run's end is
    // queued, so that the window takes it at once instead of at its next poll.
    explicit TBatchEventQueue(std::function<void()> Ended = {}) : FEnded(std::move(Ended)) { }
    enum TKind { NamesReadyEvent, ProgressEvent, WorkerEndedEvent, RunEndedEvent };
    struct TEvent {
        TKind Kind;
        int Value = 0;    // name count, thread number, or 1 for aborted/cancelled
        double Size = 0;  // AllSize, or the progress units
        std::string Text; // label of a progress report
    };
    void NamesReady(int Count, double AllSize) override;
    void Progress(uint32_t ProgressSize, const std::string& LabelText) override;
    void WorkerEnded(int ThreadNum, bool Aborted) override;
    void RunEnded(bool Canceled) override;
    // Takes every queued event (GUI thread); returns at once.
    std::vector<TEvent> Take();
    // Waits up to Ms milliseconds for an event; true when one is queued.
    bool WaitFor(int Ms);

private:
    void Push(TEvent E);
    std::mutex FLock;
    std::condition_variable FCond;
    std::deque<TEvent> FEvents;
    std::function<void()> FEnded;
};

// Names given out in one run. Letter case counts, as it does in the file
// system: B.jpg and b.jpg are two files. Two spellings of one folder (a link, "//", "./") name the same file, so a
// name whose folder exists is also known by the folder's identity.
class TGivenNames {
public:
    bool Contains(const std::string& Name) const;
    void Add(const std::string& Name);
    size_t Count() const { return FNames.size(); }

private:
    std::set<std::string> FNames;
    std::set<std::tuple<uint64_t, uint64_t, std::string>> FInFolders; // folder dev, ino; file name
};

// "%s[%d]%s" of (name without extension, K, extension).
std::string NumberedName(const std::string& Name, int K);

// The collision rules of the name phase for one candidate name. IsOtherInput
// says whether a name is the input of another entry of the run (the same
// ResolvedPath): an output may not replace a file that another worker may
// still be reading. Returns the name to use, or an empty string when the
// entry gets no output.
struct TCollisionRules {
    bool NotOverwrite = true;
    bool Skip = false;
    bool IgnoreReadOnlyAttr = false;
};
// Why a name was refused. Skipping a file that was there before the run is
// what the settings ask for; every other refusal loses the entry's output
// and is reported.
enum class TNameRefusal { None, SkipExisting, ReadOnly, TakenInRun, OtherInput, NoFreeName };
std::string ResolveOutputName(const std::string& Name, const TCollisionRules& Rules, const TGivenNames& Given,
                              const std::function<bool(const std::string&)>& IsOtherInput, TNameRefusal* Why = nullptr);
// The reason of a reported refusal, in the interface language.
std::string RefusalText(TNameRefusal Why);

// The reason of an input that is not there (any more). No catalogue text
// exists for it yet; the English text is the key.
inline constexpr const char SFileNotFound[] = "File not found";

// "cannot write <Target>: <Reason>": what an output that was not written
// says after the entry's name.
std::string CannotWriteText(const std::string& Target, const std::string& Reason);
// The file-name part of Path (what a log line names).
std::string FileNameOf(const std::string& Path);

// Which file Path names: its absolute path with every symbolic link, "." and
// ".." resolved; empty when nothing is there. Two inputs are the same file
// when these are equal. Hard links are not: each is a name of its own, and
// an output written over one (through a new file renamed into place) leaves
// the others as they were.
std::string ResolvedPath(const std::string& Path);
// Path made absolute against the current folder, "." and ".." folded, links
// left as they are: the name as the user gave it.
std::string AbsolutePath(const std::string& Path);
// Why an input that is the same file as the input FirstName (a file name) has
// no output of its own, in the interface language.
std::string SameFileText(const std::string& FirstName);

// Name counts of a name phase that gave no names because the rule cannot
// name a file: nothing of the run is converted.
inline constexpr int kNamesInvalid = -1; // a forbidden character or token
inline constexpr int kNamesEmpty = -2;   // the rule gives an empty name
// Whether Name, as the rule made it (empty when the rule is invalid), names
// no file: kNamesInvalid, kNamesEmpty (no file-name part before the
// extension: "out/.jpg", "out/sub/.jpg"), or 0 when it names one.
int UnusableName(const std::string& Name);
// What every input is told when the rule gives no usable name (Kind:
// kNamesInvalid or kNamesEmpty), in the interface language.
std::string UnusableNameText(int Kind);

// What the name phase needs from the run's input.
class TNameJob {
public:
    virtual ~TNameJob() = default;
    virtual int Count() = 0;
    // Called first: sorts the input when the settings ask for it.
    virtual void BeginNames() { }
    // Whether entry Index takes part (checked, exists, probed, a size of at
    // least 1 x 1); fills its pixel size. Clears its output name in any case.
    virtual bool Prepare(int Index, int64_t& Width, int64_t& Height) = 0;
    // After Prepare refused entry Index: the reason to report, or empty when
    // leaving it out is no failure (unchecked, a file a folder walk found).
    virtual std::string Refused(int /*Index*/) { return {}; }
    // The entry's source path, for the identity of the run's inputs.
    virtual std::string InputPath(int Index) = 0;
    // The rule expanded for the entry with Number; an empty name or one whose
    // file name without extension is empty is an invalid rule.
    virtual std::string MakeName(int Index, int32_t Number) = 0;
    virtual void StoreName(int Index, const std::string& Name) = 0;
    // Relative cost of converting entry Index (after Prepare): the workers
    // take the costliest entries first. The pixel count unless the job knows
    // better.
    virtual double EstimatedCost(int /*Index*/, int64_t Width, int64_t Height)
    {
        return double(Width) * double(Height);
    }
    virtual void EndNames() { }
};

// Numbering across runs (ResetType 0: every run from StartNumber, 1: go on
// for the life of the process, 2: go on and store back into StartNumber).
// Values taken when the run is set up: a run never writes a process-wide
// record; its next number comes back in TNamePhaseResult::NextNumber.
struct TNumbering {
    int32_t CurrentNumber = 1; // the running number carried between runs
    int32_t StartNumber = 1;   // [File] StartNumber
    int32_t ResetType = 0;
    // The start value of the rule (its start tokens removed) when the running
    // number stands at Current; called once.
    std::function<int32_t(int32_t Current)> ExtractStartNumber;
};

struct TNamePhaseResult {
    int OutputFileCount = 0; // names given out; kNamesInvalid or kNamesEmpty when a name was unusable
    double AllSize = 0;      // tiles of every entry that got an output name
    // The entries that got a name, costliest first (list order among equals):
    // the order in which the workers take them, so that no large picture is
    // left for the end of the run while the other workers idle.
    std::vector<int> WorkOrder;
    // Per entry: the line "name: reason" of an entry that lost its output
    // here (refused by the job or by the collision rules), else empty.
    std::vector<std::string> Lines;
    // The running number for the next run (when Numbered: the names were
    // made): to be stored by the owner of the process-wide number, after the
    // run, into CurrentNumber, and into [File] StartNumber when NextIsStart
    // (ResetType 2). See StoreNextNumber.
    bool Numbered = false;
    int32_t NextNumber = 1;
    bool NextIsStart = false;
};

// After the run, on the thread that owns them: the run's next number into
// Current (CurrentNumber) and, with ResetType 2, into StartNumber ([File]).
// Nothing when the run made no names.
void StoreNextNumber(const TNamePhaseResult& R, int32_t& Current, int32_t& StartNumber);

// The output-name phase. Stops early (and still gives the next number) when
// Terminated becomes true. Entries that lose their output here (refused by
// the job or by the collision rules) get their line in Errors at once when
// Errors is given (else the caller puts R.Lines where they belong). The same
// file (ResolvedPath) named twice takes part once, under the first entry's
// name; another entry that names it by the same path is left out silently,
// one that names it otherwise (a symbolic link) gets its line.
TNamePhaseResult RunNamePhase(TNameJob& Job, const TCollisionRules& Rules, TNumbering& Numbering,
                              const std::atomic<bool>& Terminated, TErrorSink* Errors = nullptr);

// What a worker does with entries.
class TBatchJob {
public:
    virtual ~TBatchJob() = default;
    virtual int Count() = 0;
    // Called on the runner's thread before the workers start, one at a time:
    // make the per-worker objects (copies of the resizer and filters when
    // Workers > 1). Cancel (the run's flag) and ToolCancel (ends running
    // external tools) stay valid for the run.
    virtual void CreateThreadObjects(int ThreadNum, int Workers, const std::atomic<bool>* Cancel,
                                     TProcessCancel* ToolCancel) = 0;
    // And after every worker has ended.
    virtual void FreeThreadObjects(int ThreadNum) = 0;
    // Under the run's lock: whether entry Index is to be processed (it has an
    // output name and its source exists or probes). Fills the label and the
    // entry's tiles.
    virtual bool TakeEntry(int Index, std::string& Label, uint64_t& Tiles) = 0;
    // Converts entry Index on worker ThreadNum. Failures are logged by the
    // job ("name: reason"); nothing may escape but is caught and logged.
    virtual void ProcessEntry(int Index, int ThreadNum) = 0;
    // Worker ThreadNum is done with entry Index (it may free a probe).
    virtual void ReleaseEntry(int /*Index*/, int /*ThreadNum*/) { }
};

// The workers of one run.
class TBatchRunner {
public:
    TBatchRunner(TBatchJob& Job, TErrorSink& Errors, TBatchObserver* Observer);
    ~TBatchRunner();
    TBatchRunner(const TBatchRunner&) = delete;
    TBatchRunner& operator=(const TBatchRunner&) = delete;

    // Runs Workers workers (at least 1) until the entries are used up, a
    // cancel, or (AbortOnError) a logged error; returns when all have ended.
    // Entries are taken in Order (indices into the job), else in list order.
    void Run(int Workers, bool AbortOnError, std::vector<int> Order = {});
    // Cancel from any thread: no worker takes a further entry and a running
    // external tool is ended. Each worker finishes or fails its current file.
    void Cancel()
    {
        FCanceled = true;
        FToolCancel.Cancel();
    }
    bool Canceled() const { return FCanceled; }
    const std::atomic<bool>* CancelFlag() const { return &FCanceled; }

    // The next entry for a worker, or -1. Only the index walk is locked.
    // Last (when given) is set when no entry is left after this one.
    int GetNextImageItem(std::string& Label, uint64_t& Tiles, bool* Last = nullptr);
    // Lines of the name phase held back (per entry, as TNamePhaseResult::
    // Lines): each is logged when the walk reaches its entry, so that with
    // AbortOnError the files before it are still done. Set before Run.
    void HoldLines(std::vector<std::string>* Lines) { FHeld = Lines; }
    // The position in the walk that was reached last (-1: none).
    int Reached() const { return FCurrentImageIndex; }

private:
    void Execute(int ThreadNum);
    TBatchJob& FJob;
    TErrorSink& FErrors;
    TBatchObserver* FObserver;
    std::mutex FLock;            // guards FCurrentImageIndex
    int FCurrentImageIndex = -1; // position in FOrder (or the list)
    std::vector<int> FOrder;
    std::vector<std::string>* FHeld = nullptr;
    bool FAbortOnError = false;
    std::atomic<bool> FCanceled{false};
    TProcessCancel FToolCancel;
};

// A whole run: the name phase, then min(MaxThreadNum, names) workers. Reports
// go to Observer; Cancel may come from any thread at any time.
class TBatchRun {
public:
    TBatchRun(TNameJob& Names, TBatchJob& Job, TErrorSink& Errors, TBatchObserver* Observer);
    // Blocking. Returns true when the run was not cancelled.
    bool Run(const TCollisionRules& Rules, TNumbering& Numbering, int MaxThreadNum, bool AbortOnError);
    // The same on a thread of its own; Wait joins it. Numbering must stay
    // alive until then.
    void Start(const TCollisionRules& Rules, TNumbering& Numbering, int MaxThreadNum, bool AbortOnError);
    void Wait();
    void Cancel();
    bool Canceled() const { return FCanceled; }
    const TNamePhaseResult& Names() const { return FNames; }
    ~TBatchRun();

private:
    TNameJob& FNameJob;
    TBatchJob& FJob;
    TErrorSink& FErrors;
    TBatchObserver* FObserver;
    std::atomic<bool> FCanceled{false};
    std::mutex FRunnerLock; // guards FRunner while it is being made or ends
    TBatchRunner* FRunner = nullptr;
    // Logs the held lines of the name phase from walk position From on, and,
    // after a stop at an error (Stopped), a line for each named entry there.
    void PutLinesFrom(int From, bool Stopped);
    TNamePhaseResult FNames;
    std::thread FThread;
};
