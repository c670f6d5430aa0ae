#include "app/ProgressFrm3.h"

#include "app/Startup.h"
#include "batch/ListUp.h"

#include <QCloseEvent>
#include <QMetaObject>

TProgressForm3::TProgressForm3(QWidget* Owner) : QDialog(Owner)
{
    setObjectName("ProgressForm3");
    setWindowFlag(Qt::FramelessWindowHint);
    setWindowOpacity(80.0 / 255.0);
    setStyleSheet("background-color: black;");
    setCursor(Qt::WaitCursor);
    if (Owner)
        setGeometry(Owner->geometry());
}

TProgressForm3::~TProgressForm3() = default;

void TProgressForm3::AddFiles(const std::vector<std::string>& Files)
{
    FFiles = Files;
}

void TProgressForm3::AddFolder(const std::string& Dir)
{
    FFiles = {Dir};
}

void TProgressForm3::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    if (FListupThread)
        return;
    // The walk reports its end from its own thread: the window is told
    // through its event queue and frees the thread there.
    FListupThread = std::make_unique<TListupThread>(
        FFiles, TListupOptions::FromSettings(TakeRunSettings()), App.FileList, App.ImageFileList, [this](bool Aborted) {
            QMetaObject::invokeMethod(
                this, [this, Aborted] { OnListupEnded(Aborted); }, Qt::QueuedConnection);
        });
    FListupThread->Start();
}

void TProgressForm3::OnListupEnded(bool Aborted)
{
    if (FListupThread)
        FListupThread->Join();
    FListupThread.reset();
    // What could not be listed is shown by the caller once we are gone: the
    // log must not open while we still cover the main window.
    done(Aborted ? 2 : 1);
}

void TProgressForm3::reject()
{
    close();
}

void TProgressForm3::closeEvent(QCloseEvent* Event)
{
    // While the walk runs, closing only asks it to stop; its end closes us.
    if (FListupThread) {
        FListupThread->Terminate();
        Event->ignore();
        return;
    }
    Event->accept();
}
