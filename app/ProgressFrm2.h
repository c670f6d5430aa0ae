// The window of a combine run: a bar stepped once per tile, cancel, the
// elapsed time. It only shows the run its session (TRunSession) sets up and
// reports; the sheets are made by the run's controller on a thread of its
// own. In an at-once start it is the only window, and the session also does
// what the main window does after a run.
#pragma once
#include "app/RunSession.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;

class TProgressForm2 : public QDialog {
    Q_OBJECT
public:
    // AtOnce: the run input is built from Paths (absolute paths and switches;
    // switches are skipped) and the window acts as the program's main form.
    // Otherwise the run works on the main file list.
    TProgressForm2(bool AtOnce, const std::vector<std::string>& Paths, QWidget* Owner = nullptr);
    ~TProgressForm2() override;

    QLabel* StatusLabel;
    QProgressBar* ProgressBar; // 0..number of entries, one step per tile
    QPushButton* CancelButton;

    // Starts the run (called through the first event of exec/show).
    void StartRun();
    bool Canceled() const { return FSession->Canceled(); }
    const std::string& ResultText() const { return FSession->ResultText(); }
    uint64_t LinesLogged() const { return FSession->LinesLogged(); }
    // 0 no error; 1 errors logged (also when they left nothing to combine);
    // 2 cancelled, or nothing combined and nothing failed.
    int ExitStatus() const { return FSession->ExitStatus(); }
    // Once the run ended: how many entries it was asked to combine (checked
    // or named) and how many are on sheets that were written.
    void CountWritten(int& Asked, int& Written) const { FSession->CountWritten(Asked, Written); }
    // The sheets written, in order (valid once the run ended).
    const std::vector<std::string>& Written() const { return FSession->Written(); }

protected:
    void closeEvent(QCloseEvent* Event) override;
    void reject() override;

private:
    void ShowProgress(int TilesDone);

    std::unique_ptr<TRunSession> FSession;
    qint64 FPBLastUpdate = -1000;
};
