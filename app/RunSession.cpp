#include "app/RunSession.h"

#include "app/IniSettings.h"
#include "app/RunEnd.h"
#include "app/Startup.h"
#include "app/TaskbarProgress.h"
#include "batch/BatchRun.h"
#include "batch/BatchJobs.h"
#include "batch/CombineController.h"
#include "batch/ListUp.h"
#include "batch/RunController.h"
#include "core/ErrorLog.h"
#include "core/Funcs.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/OutputFileName.h"
#include "core/Resize.h"
#include "core/ResourceText.h"
#include "effects/Effect.h"

#include <QEventLoop>
#include <QTimer>

#include <cstdio>

namespace {

bool ParseHistoryEntry(const std::string& Entry, int32_t& Rule, double& V1, double& V2)
{
    const std::vector<std::string> p = SplitCommaText(Entry);
    if (p.size() < 3)
        return false;
    try {
        size_t n = 0;
        Rule = std::stoi(p[0], &n);
        V1 = std::stod(p[1]);
        V2 = std::stod(p[2]);
    } catch (const std::exception&) {
        return false;
    }
    // A side of 0 or below (from a hand-written file) makes 1 x 1 pictures.
    return Rule >= 0 && Rule <= 11 && Rule != 9 && V1 > 0 && (Rule < 5 || V2 > 0);
}

} // namespace

void ResizeRuleOfRun(int32_t& Rule, double& V1, double& V2)
{
    const TResizeOption& R = Settings.Resize;
    Rule = R.Rule;
    if (Rule != 9) {
        V1 = R.Size1[size_t(Rule)];
        V2 = R.Size2[size_t(Rule)];
        return;
    }
    // An empty or damaged history would leave no rule at all: the default
    // history's first entry stands in.
    const std::vector<std::string> h = SplitCommaText(R.History);
    if (!h.empty() && ParseHistoryEntry(h.front(), Rule, V1, V2))
        return;
    ParseHistoryEntry(SplitCommaText(TResizeOption{}.History).front(), Rule, V1, V2);
}

TRunSession::TRunSession(bool Combine, bool AtOnce, std::vector<std::string> Paths, QWidget* Owner)
    : FCombine(Combine), FAtOnce(AtOnce), FPaths(std::move(Paths)), FOwner(Owner),
      FTaskbar(std::make_unique<TTaskbarProgress>()), FPollTimer(new QTimer(this))
{
    FPollTimer->setInterval(30);
    connect(FPollTimer, &QTimer::timeout, this, &TRunSession::Poll);
}

TRunSession::~TRunSession()
{
    // A run still going on is cancelled and waited for.
    FBatch.reset();
    FSheets.reset();
    if (FRunInput)
        FRunInput->clear();
}

void TRunSession::Start(TView View)
{
    if (FStarted || FEnded)
        return;
    FStarted = true;
    FView = std::move(View);
    FStart.start();
    // Each run starts with an empty log: what an earlier run (a queued
    // hand-off's, say) logged must neither show again nor stop this one.
    ErrorLog.Clear();
    FFirstLine = ErrorLog.NextNumber();
    if (FCombine)
        StartCombine();
    else
        StartBatch();
}

void TRunSession::StartBatch()
{
    if (FAtOnce && !Startup.KodexLoaded) {
        FNothing = true;
        Finish(true);
        return;
    }
    // A modal run takes the size rule the main window pushed into the chain.
    if (FAtOnce && EffectList) {
        int32_t rule;
        double v1, v2;
        ResizeRuleOfRun(rule, v1, v2);
        EffectList->SetResizeParam(rule, v1, v2);
    }
    // The run follows the settings as they are now, whatever a dialog
    // changes while it goes on.
    const TRunSettings settings = TakeRunSettings();
    TRunEntries entries;
    if (TakeRunInput(settings))
        entries.RunInput = FRunInput;
    else
        entries.List = App.FileList;

    FErrors = std::make_unique<TErrorLogSink>(ErrorLog);
    TWorkerObjectFactory objects =
        ThreadObjectCopies(App.MainResizer, App.MainUnsharpMask, App.AntialiasResizer, App.MainGaussianBlur);
    FBatch = std::make_unique<TRunController>(entries, *EffectList, settings, *FErrors, std::move(objects));
    TRunController::TWatcher watcher;
    watcher.NamesReady = [this](int Count, double AllSize) { NamesReady(Count, AllSize); };
    watcher.Progress = [this](double Size, const std::string& Label) {
        if (FView.Progress)
            FView.Progress(Size, Label);
    };
    watcher.Ended = [this](bool Canceled) { Finish(Canceled); };
    // The end of the run is taken as soon as it comes, not at the next tick.
    FBatch->Start(std::move(watcher), [this] {
        QMetaObject::invokeMethod(
            this, [this] { Poll(); }, Qt::QueuedConnection);
    });
    FPollTimer->start();
}

bool TRunSession::TakeRunInput(const TRunSettings& Settings)
{
    // The main window's "at once" box lists into the run input too.
    if (!FAtOnce && !(Settings.File.AtOnce && App.ImageFileList && !App.ImageFileList->empty()))
        return false;
    FRunInput = App.ImageFileList ? App.ImageFileList : &FOwnInput;
    for (const std::string& p : FPaths)
        if (IsPathArgument(p))
            AddRunInputPath(*FRunInput, p, Settings);
    return true;
}

void TRunSession::StartCombine()
{
    if ((FAtOnce && !Startup.KodexLoaded) || !App.MainResizer) {
        FNothing = true;
        Finish(false);
        return;
    }
    const TRunSettings settings = TakeRunSettings();
    TCombineInput input;
    int total = 0;
    if (TakeRunInput(settings)) {
        input.RunInput = FRunInput;
        total = int(FRunInput->size());
    } else if (App.FileList) {
        input.List = App.FileList;
        total = App.FileList->Count();
    }
    if (total == 0) {
        FNothing = true;
        if (FAtOnce && ErrorLog.GetErrorCount() == 0)
            SayNoPicturesFound(FPaths);
        Finish(false);
        return;
    }
    if (FView.CombineBegins)
        FView.CombineBegins(total);

    FSheets = std::make_unique<TCombineController>(input, *App.MainResizer, ErrorLog, settings);
    TCombineController::TWatcher watcher;
    watcher.Progress = [this](int Tiles) {
        if (FView.Tiles)
            FView.Tiles(Tiles);
    };
    watcher.Ended = [this](bool Canceled) { Finish(Canceled); };
    FSheets->Start(std::move(watcher), [this] {
        QMetaObject::invokeMethod(
            this, [this] { Poll(); }, Qt::QueuedConnection);
    });
    FPollTimer->start();
}

void TRunSession::Poll()
{
    if (FEnded)
        return;
    if (FBatch)
        FBatch->Poll();
    else if (FSheets)
        FSheets->Poll();
}

void TRunSession::NamesReady(int Count, double AllSize)
{
    if (Count == kNamesInvalid || Count == kNamesEmpty) {
        const QString msg = QString::fromStdString(UnusableNameText(Count));
        if (IsNonInteractive())
            std::fprintf(stderr, "%s\n", qPrintable(msg));
        else
            ShowRunWarning(FOwner, msg.toStdString());
        FNothing = true;
    } else if (Count == 0) {
        // Pictures were listed and none failed, yet none got a name: each
        // kept the output it already has ([File] Skip), as asked.
        const bool AllSkipped =
            !FCanceled && ErrorLog.GetErrorCount() == 0 && FRunInput && !FRunInput->empty() && Settings.File.Skip;
        if (!AllSkipped) {
            FNothing = true;
            if (FAtOnce && !FCanceled && ErrorLog.GetErrorCount() == 0)
                SayNoPicturesFound(FPaths);
        }
    }
    // Otherwise the workers start; a cancel made while the names were being
    // made is kept by the run: the workers then take no file.
    if (FView.NamesReady)
        FView.NamesReady(Count, AllSize);
}

void TRunSession::Cancel()
{
    if (FEnded)
        return;
    FCanceled = true;
    if (FBatch) {
        FBatch->Cancel();
    } else if (FSheets) {
        FSheets->Cancel();
    } else if (FCombine) {
        // Nothing began: nothing was combined.
        FEnded = true;
        FPollTimer->stop();
        if (FView.Ended)
            FView.Ended(2);
    }
}

bool TRunSession::Running() const
{
    return !FEnded && ((FBatch && FBatch->Started()) || (FSheets && FSheets->Started()));
}

void TRunSession::Finish(bool Canceled)
{
    FPollTimer->stop();
    if (FBatch) {
        FBatch->Wait();
        StoreNextNumber(FBatch->Names(), CurrentNumber, Settings.File.StartNumber);
    }
    if (FSheets)
        StoreNextNumber(FSheets->Numbers(), CurrentNumber, Settings.File.StartNumber);
    FEnded = true;
    FCanceled = FCanceled || Canceled;
    FErrorCountAtEnd = ErrorLog.GetErrorCount();
    FLinesLogged = ErrorLog.NextNumber() - FFirstLine;
    // A combine run that had nothing to combine shows no time.
    if (!FCanceled && !(FCombine && FNothing))
        FResultText = FormatElapsed(FStart.elapsed());
    if (FAtOnce)
        FErrorCountAtEnd = FinishAtOnceRun(!FCanceled && !FNothing, *FTaskbar);
    if (FAtOnce && FCanceled && FRunInput) {
        int Asked, Written;
        CountWritten(Asked, Written);
        SayCancelledRun(
            *FRunInput, [this](int i) { return Converted(i); }, Asked - Written, Asked);
    }
    FTaskbar->Clear();
    if (FView.Ended)
        FView.Ended(FCanceled || FNothing ? 2 : 1);
}

int TRunSession::RunUnwatched()
{
    QEventLoop loop;
    TView view;
    view.Ended = [&loop](int) { loop.quit(); };
    Start(std::move(view));
    if (!FEnded)
        loop.exec();
    return ExitStatus();
}

int TRunSession::ExitStatus() const
{
    // Inputs that could not be read are errors even when nothing was left
    // to convert.
    if (FCanceled)
        return 2;
    if (FErrorCountAtEnd > 0)
        return 1;
    return FNothing ? 2 : 0;
}

bool TRunSession::Converted(int Index) const
{
    return FBatch ? FBatch->Converted(Index) : FSheets && FSheets->Converted(Index);
}

void TRunSession::CountWritten(int& Asked, int& Written) const
{
    // Before the run began nothing was written of the main list.
    const TRunCounts C = FBatch ? FBatch->Counts()
        : FSheets               ? FSheets->Counts()
                                : CountRun(FRunInput ? nullptr : App.FileList, FRunInput, {});
    Asked = C.Asked;
    Written = C.Written;
}

const std::vector<std::string>& TRunSession::Written() const
{
    static const std::vector<std::string> none;
    return FSheets ? FSheets->Written() : none;
}
