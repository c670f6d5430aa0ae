#include "app/ProgressFrm.h"

#include "app/TaskbarProgress.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {

constexpr int kBarMax = 768; // 256 x 3 units per tile

} // namespace

TProgressForm::TProgressForm(bool AtOnce, const std::vector<std::string>& Paths, QWidget* Owner)
    : QDialog(Owner), FSession(std::make_unique<TRunSession>(false, AtOnce, Paths, this))
{
    const TRunWindowParts Parts = BuildRunWindow(*this, "ProgressForm");
    StatusLabel = Parts.Label;
    ProgressBar = Parts.Bar;
    CancelButton = Parts.Cancel;
    ProgressBar->setRange(0, 0); // moving bar while names are made
    if (AtOnce)
        PrepareAtOnceWindow(*this);
}

TProgressForm::~TProgressForm()
{
    FSession.reset();
    ReleaseAtOnceWindow(*this);
}

void TProgressForm::StartRun()
{
    TRunSession::TView view;
    view.NamesReady = [this](int Count, double AllSize) { NamesReady(Count, AllSize); };
    view.Progress = [this](double Size, const std::string& Label) { UpdateProgress(Size, Label); };
    view.Ended = [this](int Result) { done(Result); };
    FSession->Start(std::move(view));
}

void TProgressForm::NamesReady(int /*Count*/, double AllSize)
{
    ProgressBar->setRange(0, kBarMax);
    ProgressBar->setValue(0);
    FAllSize = AllSize;
}

void TProgressForm::UpdateProgress(double ProgressSize, const std::string& LabelText)
{
    const qint64 now = FSession->Elapsed();
    FCompletedSize += ProgressSize;
    if (now - FLabelLastUpdate > 500 && !LabelText.empty()) {
        StatusLabel->setText(QString::fromStdString(LabelText));
        FLabelLastUpdate = now;
    }
    if (now - FPBLastUpdate > 500 && FAllSize > 0) {
        const int pos = int(std::min(256.0 * FCompletedSize / FAllSize, double(kBarMax)));
        ProgressBar->setValue(pos);
        FSession->Taskbar().SetProgress(pos, kBarMax);
        FPBLastUpdate = now;
    }
}

void TProgressForm::reject()
{
    close();
}

void TProgressForm::closeEvent(QCloseEvent* Event)
{
    if (FSession->Ended() || !FSession->Running()) {
        // Closed before the run began: nothing was converted.
        FSession->Cancel();
        Event->accept();
        return;
    }
    // Ask the run to stop; the window closes when its end arrives. Each
    // worker finishes its current file first.
    CancelButton->setEnabled(false);
    FSession->Cancel();
    Event->ignore();
}
