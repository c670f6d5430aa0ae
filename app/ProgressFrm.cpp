#include "app/ProgressFrm.h"

#include "app/IniSettings.h"
#include "app/RunEnd.h"
#include "app/Startup.h"
#include "app/TaskbarProgress.h"
#include "batch/BatchJobs.h"
#include "batch/BatchRun.h"
#include "batch/ListUp.h"
#include "batch/RunController.h"
#include "core/ErrorLog.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/OutputFileName.h"
#include "core/Resize.h"
#include "core/ResourceText.h"
#include "core/SusiePlugin.h"
#include "effects/Effect.h"
#include "effects/ui/WindowLook.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

namespace {

constexpr int kBarMax = 768; // 256 x 3 units per tile

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

TProgressForm::TProgressForm(bool AtOnce, const std::vector<std::string>& Paths, QWidget* Owner)
    : QDialog(Owner), FAtOnce(AtOnce), FPaths(Paths), FRunInput(nullptr)
{
    const TRunWindowParts Parts = BuildRunWindow(*this, "ProgressForm");
    StatusLabel = Parts.Label;
    ProgressBar = Parts.Bar;
    CancelButton = Parts.Cancel;
    ProgressBar->setRange(0, 0); // moving bar while names are made

    FPollTimer = new QTimer(this);
    FPollTimer->setInterval(30);
    connect(FPollTimer, &QTimer::timeout, this, &TProgressForm::Poll);
    FTaskbar = std::make_unique<TTaskbarProgress>();
    if (FAtOnce)
        PrepareAtOnceWindow(*this);
}

TProgressForm::~TProgressForm()
{
    FRun.reset();
    if (FRunInput)
        FRunInput->clear();
    ClearFolderFileCounts();
    ReleaseAtOnceWindow(*this);
}

void TProgressForm::StartRun()
{
    if (FStarted)
        return;
    FStarted = true;
    FStart.start();
    // Each run starts with an empty log: what an earlier run (a queued
    // hand-off's, say) logged must neither show again nor stop this one.
    ErrorLog.Clear();
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
    if (FAtOnce || (settings.File.AtOnce && App.ImageFileList && !App.ImageFileList->empty())) {
        FRunInput = App.ImageFileList;
        for (const std::string& p : FPaths)
            if (IsPathArgument(p))
                AddRunInputPath(*FRunInput, p, settings);
        entries.RunInput = FRunInput;
    } else {
        entries.List = App.FileList;
    }

    FErrors = std::make_unique<TErrorLogSink>(ErrorLog);
    TWorkerObjectFactory objects =
        ThreadObjectCopies(App.MainResizer, App.MainUnsharpMask, App.AntialiasResizer, App.MainGaussianBlur);
    FRun = std::make_unique<TRunController>(entries, *EffectList, settings, *FErrors, std::move(objects));
    TRunController::TWatcher watcher;
    watcher.NamesReady = [this](int Count, double AllSize) { NamesReady(Count, AllSize); };
    watcher.Progress = [this](double Size, const std::string& Label) { UpdateProgress(Size, Label); };
    watcher.Ended = [this](bool Canceled) { Finish(Canceled); };
    // The end of the run is taken as soon as it comes, not at the next tick.
    FRun->Start(std::move(watcher), [this] {
        QMetaObject::invokeMethod(
            this, [this] { Poll(); }, Qt::QueuedConnection);
    });
    FPollTimer->start();
}

void TProgressForm::Poll()
{
    if (!FEnded && FRun)
        FRun->Poll();
}

void TProgressForm::NamesReady(int Count, double AllSize)
{
    ProgressBar->setRange(0, kBarMax);
    ProgressBar->setValue(0);
    FAllSize = AllSize;
    if (Count == -1) {
        const QString msg =
            QString::fromStdString(LoadResText("The file name contains characters that cannot be used"));
        if (IsNonInteractive())
            std::fprintf(stderr, "%s\n", qPrintable(msg));
        else
            ShowMessageBox(this, QMessageBox::Warning, windowTitle(), msg);
        FNothing = true;
    } else if (Count == 0) {
        FNothing = true;
        if (FAtOnce && !FCanceled && ErrorLog.GetErrorCount() == 0)
            SayNoPicturesFound(FPaths);
    } else {
        // A cancel made while the names were being made is kept by
        // the run: the workers then take no file.
        FConvertStarted = true;
    }
}

void TProgressForm::UpdateProgress(double ProgressSize, const std::string& LabelText)
{
    const qint64 now = FStart.elapsed();
    FCompletedSize += ProgressSize;
    if (now - FLabelLastUpdate > 500 && !LabelText.empty()) {
        StatusLabel->setText(QString::fromStdString(LabelText));
        FLabelLastUpdate = now;
    }
    if (now - FPBLastUpdate > 500 && FAllSize > 0) {
        const int pos = int(std::min(256.0 * FCompletedSize / FAllSize, double(kBarMax)));
        ProgressBar->setValue(pos);
        FTaskbar->SetProgress(pos, kBarMax);
        FPBLastUpdate = now;
    }
}

void TProgressForm::Finish(bool Canceled)
{
    FPollTimer->stop();
    if (FRun) {
        FRun->Wait();
        StoreNextNumber(FRun->Names(), CurrentNumber, Settings.File.StartNumber);
    }
    FEnded = true;
    FCanceled = FCanceled || Canceled;
    FErrorCountAtEnd = ErrorLog.GetErrorCount();
    if (!FCanceled)
        FResultText = FormatElapsed(FStart.elapsed());
    if (FAtOnce)
        FErrorCountAtEnd = FinishAtOnceRun(!FCanceled && !FNothing, *FTaskbar);
    if (FAtOnce && FCanceled && FRunInput) {
        int Asked, Written;
        CountWritten(Asked, Written);
        std::fprintf(stderr, "%s\n", CancelledRunText(Asked - Written, Asked).c_str());
    }
    FTaskbar->Clear();
    done(FCanceled || FNothing ? 2 : 1);
}

bool TProgressForm::Converted(int Index) const
{
    return FRun && FRun->Converted(Index);
}

void TProgressForm::CountWritten(int& Asked, int& Written) const
{
    // Before the run began nothing was written of the main list.
    const TRunCounts C =
        FRun ? FRun->Counts() : CountRun(TRunEntries{FRunInput ? nullptr : App.FileList, FRunInput}, nullptr);
    Asked = C.Asked;
    Written = C.Written;
}

int TProgressForm::ExitStatus() const
{
    // Inputs that could not be read are errors even when nothing was left
    // to convert.
    if (FCanceled)
        return 2;
    if (FErrorCountAtEnd > 0)
        return 1;
    return FNothing ? 2 : 0;
}

void TProgressForm::reject()
{
    close();
}

void TProgressForm::closeEvent(QCloseEvent* Event)
{
    if (FEnded || !FRun) {
        // Closed before the run began: nothing was converted.
        if (!FEnded)
            FCanceled = true;
        Event->accept();
        return;
    }
    // Ask the run to stop; the window closes when its end arrives. Each
    // worker finishes its current file first.
    FCanceled = true;
    CancelButton->setEnabled(false);
    FRun->Cancel();
    Event->ignore();
}
