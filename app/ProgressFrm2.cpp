#include "app/ProgressFrm2.h"

#include "app/RunEnd.h"
#include "app/Startup.h"
#include "app/TaskbarProgress.h"
#include "batch/CombineRun.h"
#include "batch/ListUp.h"
#include "core/ErrorLog.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/OutputFileName.h"
#include "core/ResourceText.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

// Counts finished tiles. Called on the pool's threads; the window reads the
// count on its timer, so nothing is queued per tile.
class TProgressForm2::TObserver : public TCombineObserver {
public:
    explicit TObserver(std::atomic<int>& Count) : FCount(Count) { }
    void TileDone() override { FCount.fetch_add(1, std::memory_order_relaxed); }

private:
    std::atomic<int>& FCount;
};

TProgressForm2::TProgressForm2(bool AtOnce, const std::vector<std::string>& Paths, QWidget* Owner)
    : QDialog(Owner), FAtOnce(AtOnce), FPaths(Paths)
{
    const TRunWindowParts Parts = BuildRunWindow(*this, "ProgressForm2");
    StatusLabel = Parts.Label;
    ProgressBar = Parts.Bar;
    CancelButton = Parts.Cancel;
    ProgressBar->setRange(0, 1);
    ProgressBar->setValue(0);

    FPollTimer = new QTimer(this);
    FPollTimer->setInterval(30);
    connect(FPollTimer, &QTimer::timeout, this, &TProgressForm2::Poll);
    FTaskbar = std::make_unique<TTaskbarProgress>();
    if (FAtOnce)
        PrepareAtOnceWindow(*this);
}

TProgressForm2::~TProgressForm2()
{
    if (FThread.joinable()) {
        FCancel = true;
        FThread.join();
    }
    FRun.reset();
    if (FRunInput)
        FRunInput->clear();
    ClearFolderFileCounts();
    ReleaseAtOnceWindow(*this);
}

void TProgressForm2::StartRun()
{
    if (FStarted || FEnded)
        return;
    FStarted = true;
    FStart.start();
    ErrorLog.Clear(); // as in the batch window: each run starts with an empty log
    if ((FAtOnce && !Startup.KodexLoaded) || !App.MainResizer) {
        FNothing = true;
        Finish();
        return;
    }
    const TRunSettings settings = TakeRunSettings();
    TCombineInput input;
    int total = 0;
    // The main window's "at once" box lists into the run input too.
    if (FAtOnce || (settings.File.AtOnce && App.ImageFileList && !App.ImageFileList->empty())) {
        FRunInput = App.ImageFileList ? App.ImageFileList : &FOwnInput;
        for (const std::string& p : FPaths)
            if (IsPathArgument(p))
                AddRunInputPath(*FRunInput, p, settings);
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
        Finish();
        return;
    }
    ProgressBar->setRange(0, total);
    ProgressBar->setValue(0);

    FObserver = std::make_unique<TObserver>(FTilesDone);
    FRun = std::make_unique<TCombineRun>(input, *App.MainResizer, ErrorLog, FObserver.get(), settings);
    FRun->CurrentNumber = CurrentNumber;
    FThread = std::thread([this] {
        try {
            FRunResult = FRun->Execute(FCancel);
        } catch (const std::exception& Ex) {
            // Whatever stopped the walk (memory for the pool, a damaged list)
            // must be seen, not reported as a finished run.
            ErrorLog.PutErrorMsg(Ex.what());
            FRunResult = !FCancel.load();
        }
        FThreadDone = true;
        // Taken at once, not at the next tick of the timer.
        QMetaObject::invokeMethod(
            this, [this] { Poll(); }, Qt::QueuedConnection);
    });
    FPollTimer->start();
}

void TProgressForm2::Poll()
{
    if (FEnded)
        return;
    const qint64 now = FStart.elapsed();
    if (now - FPBLastUpdate > 500) {
        const int pos = std::min(FTilesDone.load(), ProgressBar->maximum());
        ProgressBar->setValue(pos);
        FTaskbar->SetProgress(pos, ProgressBar->maximum());
        FPBLastUpdate = now;
    }
    if (FThreadDone.load())
        Finish();
}

void TProgressForm2::Finish()
{
    FPollTimer->stop();
    if (FThread.joinable())
        FThread.join();
    if (FRun)
        StoreNextNumber(FRun->Numbers(), CurrentNumber, Settings.File.StartNumber);
    FEnded = true;
    if (FRun && !FRunResult)
        FCanceled = true;
    FErrorCountAtEnd = ErrorLog.GetErrorCount();
    if (!FCanceled && !FNothing) {
        ProgressBar->setValue(ProgressBar->maximum());
        FResultText = FormatElapsed(FStart.elapsed());
    }
    if (FAtOnce)
        FErrorCountAtEnd = FinishAtOnceRun(!FCanceled && !FNothing, *FTaskbar);
    FTaskbar->Clear();
    done(FCanceled || FNothing ? 2 : 1);
}

int TProgressForm2::ExitStatus() const
{
    // Inputs that could not be read are errors even when nothing was left
    // to convert.
    if (FCanceled)
        return 2;
    if (FErrorCountAtEnd > 0)
        return 1;
    return FNothing ? 2 : 0;
}

const std::vector<std::string>& TProgressForm2::Written() const
{
    static const std::vector<std::string> none;
    return FRun ? FRun->Written() : none;
}

void TProgressForm2::reject()
{
    close();
}

void TProgressForm2::closeEvent(QCloseEvent* Event)
{
    if (FEnded) {
        Event->accept();
        return;
    }
    if (!FThread.joinable()) {
        // Closed before the run began: nothing was combined.
        FCanceled = true;
        FEnded = true;
        Event->accept();
        FPollTimer->stop();
        done(2);
        return;
    }
    // Ask the run to stop; the window closes when the thread has ended. The
    // page being loaded is left unwritten.
    FCanceled = true;
    CancelButton->setEnabled(false);
    FCancel = true;
    Event->ignore();
}
