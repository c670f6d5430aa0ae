// The window of one batch run: output names first (a moving bar), then the
// workers with a bar of 0..768, the current file name, cancel and the elapsed
// time. It only shows the run its session (TRunSession) sets up and reports;
// in an at-once start it is the only window, and the session also does what
// the main window does after a run.
#pragma once
#include "app/RunEnd.h"
#include "app/RunSession.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;

class TProgressForm : public QDialog {
    Q_OBJECT
public:
    // AtOnce: the run input is built from Paths (absolute paths and switches;
    // switches are skipped) and the window acts as the program's main form.
    // Otherwise the run works on the main file list.
    TProgressForm(bool AtOnce, const std::vector<std::string>& Paths, QWidget* Owner = nullptr);
    ~TProgressForm() override;

    QLabel* StatusLabel;
    QProgressBar* ProgressBar;
    QPushButton* CancelButton;

    // Starts the run (called by exec/show through the first event).
    void StartRun();
    bool Canceled() const { return FSession->Canceled(); }
    const std::string& ResultText() const { return FSession->ResultText(); }
    uint64_t LinesLogged() const { return FSession->LinesLogged(); }
    // 0 no error; 1 errors logged (also when they left nothing to convert);
    // 2 cancelled, or nothing converted and nothing failed.
    int ExitStatus() const { return FSession->ExitStatus(); }
    // After the run: whether entry Index of the run's list went through
    // without an error.
    bool Converted(int Index) const { return FSession->Converted(Index); }
    // After the run: how many entries it was asked to convert (checked
    // entries of the list; files of the run input that were named or look
    // like pictures) and how many of them went through.
    void CountWritten(int& Asked, int& Written) const { FSession->CountWritten(Asked, Written); }

protected:
    void closeEvent(QCloseEvent* Event) override;
    void reject() override;

private:
    void NamesReady(int Count, double AllSize);
    void UpdateProgress(double ProgressSize, const std::string& LabelText);

    std::unique_ptr<TRunSession> FSession;
    double FAllSize = 0, FCompletedSize = 0;
    qint64 FLabelLastUpdate = -1000, FPBLastUpdate = -1000;
};
