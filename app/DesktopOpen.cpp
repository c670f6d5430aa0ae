#include "app/DesktopOpen.h"

#include "core/Global.h"
#include "core/ResourceText.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>

#include <filesystem>

namespace {

// Why nothing opened the file: no program that opens files and folders.
std::string NoOpenerText()
{
    return LoadResText("Nothing could open this: no program for opening files and folders was found.");
}

} // namespace

void OpenWithDesktop(const std::string& Given, QObject* Context, std::function<void(const QString& Text)> Failed,
                     int WaitMs)
{
    // A relative folder (a handed run's output folder, say) is named whole:
    // the launcher and the message must not depend on the folder this
    // process stands in later.
    std::error_code Ec;
    const std::filesystem::path Whole = Given.empty() ? std::filesystem::path() : std::filesystem::absolute(Given, Ec);
    const std::string Path = Ec || Given.empty() ? Given : Whole.lexically_normal().string();
    const QString Launcher = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (Launcher.isEmpty()) {
        // Qt may still know the desktop's own opener or a browser; it says
        // false only when there is none at all.
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(Path))))
            Failed(CannotOpenText(Path, NoOpenerText()));
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
    const auto Say = [Alive, Failed, Path](const std::string& Why) {
        if (Alive)
            Failed(CannotOpenText(Path, Why));
    };
    QObject::connect(P, &QProcess::finished, P, [P, Say, Launcher](int Code, QProcess::ExitStatus Status) {
        P->deleteLater();
        if (Status == QProcess::NormalExit && Code == 0)
            return;
        if (Status == QProcess::NormalExit && Code == 3) { // "no method available for opening"
            Say(NoOpenerText());
            return;
        }
        // Anything else is a failure too: a launcher whose rule needs a
        // terminal that is not installed ends with 4, say.
        std::string Why = Status == QProcess::NormalExit
            ? LoadResText("This could not be opened: %s ended with status %d.")
            : LoadResText("This could not be opened: %s crashed.");
        if (const size_t At = Why.find("%s"); At != std::string::npos)
            Why.replace(At, 2, Launcher.toStdString());
        if (const size_t At = Why.find("%d"); At != std::string::npos)
            Why.replace(At, 2, std::to_string(Code));
        Say(Why);
    });
    QObject::connect(P, &QProcess::errorOccurred, P, [P, Say](QProcess::ProcessError Error) {
        if (Error == QProcess::FailedToStart) {
            P->deleteLater();
            Say(NoOpenerText());
        }
    });
    P->start();
    if (WaitMs > 0)
        P->waitForFinished(WaitMs);
}

QString CannotOpenText(const std::string& Path, const std::string& Why)
{
    return QString::fromStdString(Path) + QStringLiteral("\n\n") + QString::fromStdString(Why);
}

void OpenWithDesktopOrSay(const std::string& Path, QWidget* Parent, int WaitMs)
{
    QObject* Context = Parent ? static_cast<QObject*>(Parent) : QCoreApplication::instance();
    OpenWithDesktop(
        Path, Context,
        [Parent](const QString& Text) { QMessageBox::warning(Parent, QStringLiteral("Vestro Image Resizer"), Text); },
        WaitMs);
}

std::string HelpFilePath()
{
    return Startup.ExeDir + "README.md";
}
