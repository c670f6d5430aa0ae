// Pieces shared by the run windows (batch and combine): the elapsed-time
// text, the window set-up of an at-once start, and what an at-once start does
// when its run ends (the main window does the same itself after a modal run).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QDialog;
class QWidget;
class QLabel;
class QProgressBar;
class QPushButton;
class TTaskbarProgress;
struct TImageFileInfo;

// "850ms" below a second, else "12.35s" (two decimals, locale's separator).
std::string FormatElapsed(int64_t Milliseconds);

// The after-run command split into arguments, each "<DIR>" (any letter case)
// replaced by Dir inside its argument: a folder with blanks stays one
// argument, and nothing goes through a shell.
std::vector<std::string> AfterRunArguments(const std::string& Command, const std::string& Dir);

// The face every run window shares: a label, a bar and a Cancel button that
// closes the window (the window's close handling turns that into a cancel),
// in the interface font, wide enough for its whole caption (where nobody can
// look, from the moment it is shown: the caption is not measured for a
// window that never shows).
struct TRunWindowParts {
    QLabel* Label = nullptr;
    QProgressBar* Bar = nullptr;
    QPushButton* Cancel = nullptr;
};
TRunWindowParts BuildRunWindow(QDialog& Form, const char* ObjectName);

// An at-once start's run window is the program's only window: it owns the
// error log window (unless nobody looks) and sits in the middle of the screen.
void PrepareAtOnceWindow(QDialog& Form);
// Forgets the error log window when Form owned it (Form is going away).
void ReleaseAtOnceWindow(QDialog& Form);

// The end of an at-once run. With [File] ResetType 2 the running number is
// first written back to the settings file; when that fails it is an error of
// the run (the next run would number from the old value and overwrite). Then,
// only when Finished (not cancelled, something was done) and no error was
// logged, the after-run command ([System] Command, "<DIR>" = [File]
// OutputDirectory) starts and the output folder opens. Logged errors are
// shown (on stderr when nobody looks) and mark the taskbar entry. Returns the
// number of errors logged.
int FinishAtOnceRun(bool Finished, TTaskbarProgress& Taskbar);

// What a run's end shows where someone looks, in the program with windows:
// the output folder opened in the desktop's file manager (or a box that says
// why not), the error log's window (false when there is none), a warning box
// over Owner. The program without windows never looks for them.
void OpenFolderAfterRun(const std::string& Folder);
bool ShowErrorLogWindow();
void ShowRunWarning(QWidget* Owner, const std::string& Text);

// An at-once run that found nothing to convert in what it was given (and
// logged nothing): one line "no pictures found in <folder>" on standard error
// for each folder among Args, so that the refused run is not silent.
void SayNoPicturesFound(const std::vector<std::string>& Args);

// What a cancelled run says in place of its time: "Cancelled: 2 of 8 files
// not written" (NotWritten of Asked).
std::string CancelledRunText(int NotWritten, int Asked);
// What a cancelled at-once run says on standard error: a line "name: not
// written, the run was cancelled" for each named input of Input that
// Written(index) does not report written and the error log has no line
// for, then CancelledRunText.
void SayCancelledRun(const std::vector<TImageFileInfo>& Input, const std::function<bool(int)>& Written, int NotWritten,
                     int Asked);
// What a finished run that lost files says: its time and "with errors: 2 of 8
// files not written", so that the status never reads as a clean run's.
std::string FailedRunText(const std::string& Elapsed, int NotWritten, int Asked);
