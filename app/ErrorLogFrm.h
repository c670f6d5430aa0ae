// The window that shows the error log after a run.
//
// One instance, made by the start-up of the main window or of an at-once run
// and kept until shutdown. It shows the lines of the process-wide ErrorLog
// (core/ErrorLog.h), and while it is open the lines that come meanwhile (a
// hand-off of a later start, a thumbnail) are added to it. Closing it, by its
// button or otherwise, hides it and takes out of the log the lines it showed;
// a line that came as it closed is left for the next show.
#pragma once
#include "app/Startup.h"
#include <QDialog>
#include <QTimer>

#include <cstdint>

class QPlainTextEdit;
class QPushButton;

class TErrorLogForm : public QDialog {
    Q_OBJECT
public:
    explicit TErrorLogForm(QWidget* Owner = nullptr);

    QPlainTextEdit* LogText;  // read-only, owned by the window
    QPushButton* CloseButton; // "Close"

    // Shows the log modally, as long as it holds lines: a line that came as
    // the window closed shows it again. When it is open already (the lines
    // came during its own wait), the new lines are added and it returns at
    // once, so that the window is never waited for twice. False when the
    // program ends (Dismiss) and lines are left that nobody saw.
    bool ShowModal();
    // Closes the window for good, as the program ends: it shows no more.
    void Dismiss();
    // Adds to the window the lines logged since it last looked (with the
    // error sound when there are any).
    void ShowNewLines();

    void done(int Result) override;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    // Appends the lines numbered FShownUpTo and on; whether there were any.
    bool AppendNewLines();

    uint64_t FShownUpTo = 0; // the number of the first line not shown (ErrorLog::LinesFrom)
    bool FDismissed = false;
    QTimer FLook; // looks for lines from other threads while the window shows
};
