// The window that shows the error log after a run.
//
// One instance, made by the start-up of the main window or of an at-once run
// and kept until shutdown. It shows the lines of the process-wide ErrorLog
// (core/ErrorLog.h); closing it, by its button or otherwise, hides it and
// empties both the window and the log, so the next run starts afresh.
#pragma once
#include "app/Startup.h"
#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class TErrorLogForm : public QDialog {
    Q_OBJECT
public:
    explicit TErrorLogForm(QWidget* Owner = nullptr);

    QPlainTextEdit* LogText;  // read-only, owned by the window
    QPushButton* CloseButton; // "Close"

    void done(int Result) override;

protected:
    void showEvent(QShowEvent* Event) override;
};

// The process-wide instance; null until the start-up makes it.
