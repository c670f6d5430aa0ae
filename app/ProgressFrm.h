// The window of one batch run: output names first (a moving bar), then the
// workers with a bar of 0..768, the current file name, cancel and the elapsed
// time. In an at-once start it is the only window and also does what the main
// window does after a run: the after-run command, opening the output folder,
// the error log, and storing the running number back.
#pragma once
#include "app/RunEnd.h"
#include "batch/BatchJobs.h"

#include <QDialog>
#include <QElapsedTimer>

#include <memory>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class TErrorLogSink;
class TRunController;
struct TImageFileInfo;
class TTaskbarProgress;

// The size rule of the run from [Resize]: rule 9 takes the first history entry
// (rule, value, second value); an empty or damaged history falls back to the
// default history.
void ResizeRuleOfRun(int32_t& Rule, double& V1, double& V2);

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
    bool Canceled() const { return FCanceled; }
    const std::string& ResultText() const { return FResultText; }
    // 0 no error; 1 errors logged (also when they left nothing to convert);
    // 2 cancelled, or nothing converted and nothing failed.
    int ExitStatus() const;
    // After the run: whether entry Index of the run's list went through
    // without an error.
    bool Converted(int Index) const;
    // After the run: how many entries it was asked to convert (checked
    // entries of the list; files of the run input that were named or look
    // like pictures) and how many of them went through.
    void CountWritten(int& Asked, int& Written) const;

protected:
    void closeEvent(QCloseEvent* Event) override;
    void reject() override;

private:
    void Poll();
    void NamesReady(int Count, double AllSize);
    void UpdateProgress(double ProgressSize, const std::string& LabelText);
    void Finish(bool Canceled);

    bool FAtOnce;
    std::vector<std::string> FPaths;
    std::vector<TImageFileInfo>* FRunInput; // ImageFileList in an at-once start
    std::unique_ptr<TErrorLogSink> FErrors;
    std::unique_ptr<TRunController> FRun; // the run this window watches
    std::unique_ptr<TTaskbarProgress> FTaskbar;
    QTimer* FPollTimer;
    QElapsedTimer FStart;
    double FAllSize = 0, FCompletedSize = 0;
    qint64 FLabelLastUpdate = -1000, FPBLastUpdate = -1000;
    int FErrorCountAtEnd = 0;
    bool FStarted = false, FConvertStarted = false, FCanceled = false, FEnded = false, FNothing = false;
    std::string FResultText;
};
