// The window of a combine run: a bar stepped once per tile, cancel, the
// elapsed time. It watches the run's controller (TCombineController), which
// makes the sheets on a thread of its own. In
// an at-once start it is the only window and also does what the main window
// does after a run: the after-run command, opening the output folder, the
// error log, and storing the running number back.
#pragma once
#include "core/Global.h"

#include <QDialog>
#include <QElapsedTimer>

#include <memory>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class TCombineController;
class TTaskbarProgress;

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
    bool Canceled() const { return FCanceled; }
    const std::string& ResultText() const { return FResultText; }
    // 0 no error; 1 errors logged (also when they left nothing to combine);
    // 2 cancelled, or nothing combined and nothing failed.
    int ExitStatus() const;
    // The sheets written, in order (valid once the run ended).
    const std::vector<std::string>& Written() const;

protected:
    void closeEvent(QCloseEvent* Event) override;
    void reject() override;

private:
    void Poll();
    void ShowProgress(int TilesDone);
    void Finish(bool Canceled);

    bool FAtOnce;
    std::vector<std::string> FPaths;
    std::vector<TImageFileInfo>* FRunInput = nullptr; // ImageFileList in an at-once start
    std::vector<TImageFileInfo> FOwnInput;            // when the program made no list
    std::unique_ptr<TCombineController> FRun;         // the run this window watches
    std::unique_ptr<TTaskbarProgress> FTaskbar;
    QTimer* FPollTimer;
    QElapsedTimer FStart;
    qint64 FPBLastUpdate = -1000;
    int FErrorCountAtEnd = 0;
    bool FStarted = false, FCanceled = false, FEnded = false, FNothing = false;
    std::string FResultText;
};
