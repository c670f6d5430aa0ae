#include "app/DesktopOpen.h"

#include "core/ResourceText.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>

void OpenWithDesktop(const std::string& Path, QObject* Context, std::function<void()> Nothing, int WaitMs)
{
    const QString Launcher = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (Launcher.isEmpty()) {
        // Qt may still know the desktop's own opener or a browser; it says
        // false only when there is none at all.
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(Path))))
            Nothing();
        return;
    }
    // xdg-open is watched for its answer. It may wait for the program it
    // started, so the watch is never tied to a window: closing one must not
    // end the file manager it opened.
    auto* P = new QProcess;
    P->setProcessChannelMode(QProcess::ForwardedChannels);
    P->setProgram(Launcher);
    P->setArguments({QString::fromStdString(Path)});
    QPointer<QObject> Alive(Context);
    const auto Say = [Alive, Nothing] {
        if (Alive)
            Nothing();
    };
    QObject::connect(P, &QProcess::finished, P, [P, Say](int Code, QProcess::ExitStatus Status) {
        P->deleteLater();
        if (Status == QProcess::NormalExit && Code == 3) // "no method available for opening"
            Say();
    });
    QObject::connect(P, &QProcess::errorOccurred, P, [P, Say](QProcess::ProcessError Error) {
        if (Error == QProcess::FailedToStart) {
            P->deleteLater();
            Say();
        }
    });
    P->start();
    if (WaitMs > 0)
        P->waitForFinished(WaitMs);
}

QString CannotOpenText(const std::string& Path)
{
    return QString::fromStdString(Path) + QStringLiteral("\n\n") +
        QString::fromStdString(
               LoadResText("Nothing could open this: no program for opening files and folders was found."));
}

void OpenWithDesktopOrSay(const std::string& Path, QWidget* Parent, int WaitMs)
{
    QObject* Context = Parent ? static_cast<QObject*>(Parent) : QCoreApplication::instance();
    OpenWithDesktop(
        Path, Context,
        [Path, Parent] { QMessageBox::warning(Parent, QStringLiteral("Vestro Image Resizer"), CannotOpenText(Path)); },
        WaitMs);
}
