#include "app/ProgressFrm2.h"

#include "app/RunEnd.h"
#include "app/TaskbarProgress.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

TProgressForm2::TProgressForm2(bool AtOnce, const std::vector<std::string>& Paths, QWidget* Owner)
    : QDialog(Owner), FSession(std::make_unique<TRunSession>(true, AtOnce, Paths, this))
{
    const TRunWindowParts Parts = BuildRunWindow(*this, "ProgressForm2");
    StatusLabel = Parts.Label;
    ProgressBar = Parts.Bar;
    CancelButton = Parts.Cancel;
    ProgressBar->setRange(0, 1);
    ProgressBar->setValue(0);
    if (AtOnce)
        PrepareAtOnceWindow(*this);
}

TProgressForm2::~TProgressForm2()
{
    FSession.reset();
    ReleaseAtOnceWindow(*this);
}

void TProgressForm2::StartRun()
{
    TRunSession::TView view;
    view.CombineBegins = [this](int Total) {
        ProgressBar->setRange(0, Total);
        ProgressBar->setValue(0);
    };
    view.Tiles = [this](int Tiles) { ShowProgress(Tiles); };
    view.Ended = [this](int Result) {
        if (Result == 1)
            ProgressBar->setValue(ProgressBar->maximum());
        done(Result);
    };
    FSession->Start(std::move(view));
}

void TProgressForm2::ShowProgress(int TilesDone)
{
    const qint64 now = FSession->Elapsed();
    if (now - FPBLastUpdate > 500) {
        const int pos = std::min(TilesDone, ProgressBar->maximum());
        ProgressBar->setValue(pos);
        FSession->Taskbar().SetProgress(pos, ProgressBar->maximum());
        FPBLastUpdate = now;
    }
}

void TProgressForm2::reject()
{
    close();
}

void TProgressForm2::closeEvent(QCloseEvent* Event)
{
    if (FSession->Ended() || !FSession->Running()) {
        // Closed before the run began: nothing was combined.
        FSession->Cancel();
        Event->accept();
        return;
    }
    // Ask the run to stop; the window closes when the run has ended. The
    // page being loaded is left unwritten.
    CancelButton->setEnabled(false);
    FSession->Cancel();
    Event->ignore();
}
