#include "app/ProgramMain.h"
#include "app/QtTexts.h"

#include "app/ErrorLogFrm.h"
#include "app/IniSettings.h"
#include "app/MainFrm.h"
#include "app/MainIcons.h"
#include "app/ProgramFlow.h"
#include "app/ProgressFrm.h"
#include "app/ProgressFrm2.h"
#include "app/SingleInstance.h"
#include "app/Startup.h"
#include "core/Global.h"
#include "core/IniFile.h"
#include "effects/ui/WindowLook.h"

#include <QApplication>
#include <QDialog>
#include <QFontDatabase>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

// What the window system tells at start-up, and the questions a window may
// ask.
void StartUpWindowSystem()
{
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        App.WorkAreaRight = s->availableGeometry().right() + 1;
        App.WorkAreaBottom = s->availableGeometry().bottom() + 1;
    }
    Startup.SystemFontName = QApplication::font().family().toStdString();
    if (IsNonInteractive())
        return;
    // The interface font is checked only where a window may show it.
    FontInstalled = [](const std::string& F) { return QFontDatabase::hasFamily(QString::fromStdString(F)); };
    SaveRetryQuestion = [](const std::string& Msg) {
        return ShowMessageBox(nullptr, QMessageBox::Warning, "Vestro", QString::fromStdString(Msg),
                              QMessageBox::Retry | QMessageBox::Cancel) == QMessageBox::Retry;
    };
    SaveFailedNotice = [](const std::string& Msg) {
        std::fprintf(stderr, "Vestro: %s\n", Msg.c_str());
        QMessageBox::warning(nullptr, "Vestro", QString::fromStdString(Msg));
    };
}

// The window start: the main window until it closes, with the files of
// later starts going to its list. Returns the process status.
int RunWindow(QCoreApplication& app, TSingleInstance& instance, const std::vector<std::string>& absArgs,
              const std::string& Unread)
{
    QApplication::setWindowIcon(ApplicationIcon());
    int status = 0;
    {
        TMainForm window(absArgs);
        // Files handed over by later starts go to the list (kept until
        // a run going on has ended).
        auto takeQueued = [&instance, &window] {
            for (const auto& q : instance.TakeQueued())
                window.HandOff(q);
        };
        QObject::connect(&instance, &TSingleInstance::Received, &window, takeQueued, Qt::QueuedConnection);
        // Ctrl+C, a TERM signal or a closed terminal ends the program as
        // closing the window does: the settings are saved.
        OnStopSignals(&window, [&window] {
            if (App.ErrorLogForm)
                App.ErrorLogForm->Dismiss(); // not shown again with lines that come late
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible() && w != &window)
                    d->reject();
            QTimer::singleShot(0, &window, &QWidget::close);
        });
        window.show();
        QTimer::singleShot(0, &window, takeQueued);
        // Running on defaults under a profile's name must not go unseen.
        if (!Unread.empty())
            QTimer::singleShot(0, &window, [&window, Unread] { window.TellUnreadSettings(Unread); });
        status = app.exec();
        instance.SetAccepting(false);
        // Without the codec library the window closed at once: refused.
        if (!Startup.KodexLoaded)
            status = 2;
    }
    FinalizeGlobals();
    return status;
}

// An at-once run with its window; closing the window cancels it.
int RunWatched(bool Combine, const std::vector<std::string>& Args, std::function<void()>& Cancel)
{
    std::unique_ptr<QDialog> window;
    std::function<int()> status;
    if (Combine) {
        auto* w = new TProgressForm2(true, Args);
        QTimer::singleShot(0, w, [w] { w->StartRun(); });
        status = [w] { return w->ExitStatus(); };
        window.reset(w);
    } else {
        auto* w = new TProgressForm(true, Args);
        QTimer::singleShot(0, w, [w] { w->StartRun(); });
        status = [w] { return w->ExitStatus(); };
        window.reset(w);
    }
    Cancel = [w = window.get()] { w->close(); };
    window->exec();
    Cancel = nullptr;
    return status();
}

} // namespace

int ProgramMain(int argc, char** argv)
{
    TProgramParts Parts;
    Parts.MakeApplication = [](int& Argc, char** Argv) -> std::unique_ptr<QCoreApplication> {
        return std::make_unique<QApplication>(Argc, Argv);
    };
    Parts.StartUpWindowSystem = StartUpWindowSystem;
    Parts.RunWindow = RunWindow;
    Parts.RunWatched = RunWatched;
    Parts.ShowWarning = [](const std::string& Title, const std::string& Text) {
        ShowMessageBox(nullptr, QMessageBox::Warning, QString::fromStdString(Title), QString::fromStdString(Text));
    };
    Parts.CloseErrorLog = [] {
        if (App.ErrorLogForm)
            App.ErrorLogForm->Dismiss();
    };
    return RunProgram(argc, argv, Parts);
}
