#include "app/ProgressFrm3.h"

#include "app/Startup.h"
#include "batch/ListUp.h"
#include "core/ResourceText.h"
#include "platform/ProcessWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMetaObject>
#include <QPainter>
#include <QVBoxLayout>

bool WindowOpacityShows()
{
    // Only a compositing manager blends a window with what lies below it;
    // without one an X11 window of any opacity is drawn solid.
    return QGuiApplication::platformName() == QLatin1String("xcb") && CompositorRunning();
}

TProgressForm3::TProgressForm3(QWidget* Owner) : QDialog(Owner), FTranslucent(WindowOpacityShows())
{
    setObjectName("ProgressForm3");
    setWindowFlag(Qt::FramelessWindowHint);
    setCursor(Qt::WaitCursor);
    Message = new QLabel(QString::fromStdString(LoadResText("Adding files to the list...")), this);
    Message->setObjectName("Message");
    Message->setAlignment(Qt::AlignCenter);
    Message->setWordWrap(true);
    auto* Layout = new QVBoxLayout(this);
    Layout->addWidget(Message);
    if (FTranslucent) {
        // Dark and see-through: the main window shows through while it is
        // busy.
        setWindowOpacity(80.0 / 255.0);
        QPalette P = Message->palette();
        P.setColor(QPalette::WindowText, Qt::white);
        Message->setPalette(P);
    }
    if (Owner)
        setGeometry(Owner->geometry());
}

TProgressForm3::~TProgressForm3() = default;

void TProgressForm3::paintEvent(QPaintEvent*)
{
    // Where it cannot be see-through it covers the main window and its
    // dialogs: drawn as a window of its own with its text, not as a black
    // box.
    QPainter P(this);
    if (FTranslucent) {
        P.fillRect(rect(), Qt::black);
        return;
    }
    P.fillRect(rect(), palette().window());
    P.setPen(palette().color(QPalette::Mid));
    P.drawRect(rect().adjusted(0, 0, -1, -1));
}

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
