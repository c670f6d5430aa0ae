// One run of the program as the user asked for it, with or without a window:
// a batch run (TRunController) or a combine run (TCombineController) over the
// main file list, or over the files named on the command line in an at-once
// start. The session sets the run up from the settings as they stand, starts
// it, passes cancel on, and when it ends stores the running number back and,
// in an at-once start, does what the main window does after a run (the
// after-run command, the output folder, the error log). A progress window
// only shows what the session tells it; an at-once start nobody looks at runs
// the session with no window at all.
#pragma once
#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The size rule of the run from [Resize]: rule 9 takes the first history entry
// (rule, value, second value); an empty or damaged history falls back to the
// default history.
void ResizeRuleOfRun(int32_t& Rule, double& V1, double& V2);

class QTimer;
class QWidget;
class TCombineController;
class TErrorLogSink;
class TRunController;
class TTaskbarProgress;
struct TImageFileInfo;
struct TRunSettings;

class TRunSession : public QObject {
public:
    // What a window showing the run is told, on the GUI thread (each may be
    // empty).
    struct TView {
        // Batch: the names are made; Count as TRunController reports it.
        std::function<void(int Count, double AllSize)> NamesReady;
        // Batch: units of work done, the file now started.
        std::function<void(double ProgressSize, const std::string& LabelText)> Progress;
        // Combine: Total entries to tile (once, before the first tile) and
        // the tiles done so far.
        std::function<void(int Total)> CombineBegins;
        std::function<void(int TilesDone)> Tiles;
        // The session is over: 1 finished, 2 cancelled or nothing to do.
        std::function<void(int Result)> Ended;
    };

    // Combine: a combine run, else a batch run. AtOnce: the run input is
    // built from Paths (absolute paths and switches; switches are skipped)
    // and the session ends as an at-once start does. Owner (may be null) is
    // the window questions are shown over.
    TRunSession(bool Combine, bool AtOnce, std::vector<std::string> Paths, QWidget* Owner = nullptr);
    ~TRunSession() override;

    // Starts the run (once).
    void Start(TView View);
    // Asks the run to stop: each worker finishes its current file (a combine
    // run leaves the page being loaded unwritten); the end comes as usual.
    // Before the start, the session ends as cancelled.
    void Cancel();
    // Runs the session to its end with nobody looking; the caller's stop
    // signals (Cancel) still arrive. Returns ExitStatus().
    int RunUnwatched();

    bool Started() const { return FStarted; }
    bool Ended() const { return FEnded; }
    bool Running() const;
    bool Canceled() const { return FCanceled; }
    bool AtOnce() const { return FAtOnce; }
    // "850ms", "12.35s" of a finished run; empty otherwise.
    const std::string& ResultText() const { return FResultText; }
    qint64 Elapsed() const { return FStart.isValid() ? FStart.elapsed() : 0; }
    TTaskbarProgress& Taskbar() { return *FTaskbar; }
    // 0 no error; 1 errors logged (also when they left nothing to convert);
    // 2 cancelled, or nothing converted and nothing failed.
    int ExitStatus() const;
    // After the run: whether entry Index went through without an error (a
    // combine run: is on a sheet that was written), and how many entries it
    // was asked to convert and wrote.
    bool Converted(int Index) const;
    void CountWritten(int& Asked, int& Written) const;
    // Lines the log took from the start of the run to its end, those a
    // window showed and took out meanwhile included.
    uint64_t LinesLogged() const { return FLinesLogged; }
    // Combine, after the run: the sheets written, in order.
    const std::vector<std::string>& Written() const;

private:
    // Whether the run works on the run input (an at-once start, or the main
    // window's list made at once); fills it from the paths.
    bool TakeRunInput(const TRunSettings& Settings);
    void StartBatch();
    void StartCombine();
    void Poll();
    void NamesReady(int Count, double AllSize);
    void Finish(bool Canceled);

    bool FCombine, FAtOnce;
    std::vector<std::string> FPaths;
    QWidget* FOwner;
    TView FView;
    std::vector<TImageFileInfo>* FRunInput = nullptr; // ImageFileList in an at-once start
    std::vector<TImageFileInfo> FOwnInput;            // when the program made no list
    std::unique_ptr<TErrorLogSink> FErrors;
    std::unique_ptr<TRunController> FBatch;
    std::unique_ptr<TCombineController> FSheets;
    std::unique_ptr<TTaskbarProgress> FTaskbar;
    QTimer* FPollTimer;
    QElapsedTimer FStart;
    int FErrorCountAtEnd = 0;
    bool FStarted = false, FCanceled = false, FEnded = false, FNothing = false;
    std::string FResultText;
    uint64_t FFirstLine = 0, FLinesLogged = 0;
};
