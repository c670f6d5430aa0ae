// The main window on a real desktop, shared by the desktop tests: an Xvfb
// server of the test's own at 1366 x 768 with openbox framing the windows.
// Each case runs the test binary again on that display (its DISABLED_ part,
// which only such a run starts), so that placement, frames and key grabs are
// those a user meets.
#pragma once
#include "tests/app/TestApp.h"
#include "app/EffectPanel.h"
#include "app/ErrorLogFrm.h"
#include "app/FolderOptionFrm.h"
#include "app/MainFrm.h"
#include "tests/app/MainWindowTest.h"
#include "tests/app/RunWindowCounter.h"
#include "app/ProgressFrm.h"
#include "app/SingleInstance.h"
#include "app/SusiePluginOptionFrm.h"
#include "app/ThumbnailFrm.h"
#include "app/FileListView.h"
#include "core/ErrorLog.h"
#include "core/IniFile.h"
#include "core/MemReservoir.h"
#include "app/IniSettings.h"
#include "effects/ui/PreviewFrm.h"
#include "platform/Process.h"
#include "tests/WindowManagerFixture.h"
#include "tests/effectsui/DialogLayout.h"

#include <QComboBox>
#include <QCompleter>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <QHeaderView>

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>

namespace fs = std::filesystem;

// One fixture for every file of the desktop tests: its tests form one suite.
namespace desktoptest {

// Runs this binary's DISABLED_Name of WindowOnDesktop on the desktop of the
// window-manager tests, with Env added; its status and what it printed.
inline std::pair<int, std::string> RunChild(const std::string& Display, const std::string& Name,
                                            const std::vector<std::pair<QString, QString>>& Env)
{
    QProcess P;
    QProcessEnvironment E = QProcessEnvironment::systemEnvironment();
    E.insert("DISPLAY", QString::fromStdString(Display));
    E.insert("QT_QPA_PLATFORM", "xcb");
    E.insert("VESTRO_DESKTOP_RUN", "1");
    for (const auto& [K, V] : Env)
        E.insert(K, V);
    P.setProcessEnvironment(E);
    P.setProcessChannelMode(QProcess::MergedChannels);
    P.start(
        QStringLiteral("/proc/self/exe"),
        {QString::fromStdString("--gtest_filter=WindowOnDesktop.DISABLED_" + Name), "--gtest_also_run_disabled_tests"});
    EXPECT_TRUE(P.waitForFinished(240000));
    return {P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1, P.readAll().toStdString()};
}

// A folder with no program in it: no launcher can be found on this PATH.
inline const QString kNoLauncherPath = QStringLiteral("/nonexistent-vestro-bin");

// Runs DISABLED_Name of WindowOnDesktop on a desktop of its own, with Env
// added to the environment, and expects it to pass.
inline void RunOnDesktop(const std::string& Name, const std::vector<std::pair<QString, QString>>& Env = {})
{
    const wmtest::TWindowManager& W = wmtest::TWindowManager::Get();
    if (!W.Up())
        GTEST_SKIP() << "no window manager: " << W.Why;
    const auto [Status, Out] = RunChild(W.Display, Name, Env);
    EXPECT_EQ(Status, 0) << Out;
    EXPECT_THAT(Out, HasSubstr("[  PASSED  ] 1 test")) << Out;
}

// The window, on the desktop: a started program's globals, the settings file
// of a scratch "program folder" and real events.
class WindowOnDesktop : public TMainWindowTest {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariable("VESTRO_DESKTOP_RUN") != "1")
            GTEST_SKIP() << "runs only on the desktop its test starts";
        TMainWindowTest::SetUp();
    }
    // An at-once profile of the scratch program folder: half size into
    // Dir/out, opening that folder after a clean run when ShowDirectory.
    void UseAtOnceProfile(bool ShowDirectory)
    {
        Startup.ExeDir = Startup.DataDir;
        Startup.IniFileName = GetSettingsFileName({});
        std::ofstream(Startup.IniFileName)
            << "[File]\nAtOnce=1\nSameDirectory=0\nOutPutDirectory=" << (Dir / "out").string()
            << "\nShowDirectory=" << int(ShowDirectory) << "\nFileNameFormat=<old>\n[Resize]\nRule=0\nSize1=50\n";
        LoadIniFile(Startup.IniFileName);
        Startup.ExeDir = VESTRO_DIST_DIR "/";
    }
    // The window listing Args, shown, framed and active.
    void Open(const std::string& Settings, const std::vector<std::string>& Args = {}, int Listed = 0)
    {
        const std::string Dist = Startup.ExeDir;
        Startup.ExeDir = Startup.DataDir;
        Startup.IniFileName = GetSettingsFileName({});
        std::ofstream(Startup.IniFileName) << "[File]\nSameDirectory=0\nOutPutDirectory=" << (Dir / "out").string()
                                           << "\nFileNameFormat=<old>\n[System]\nMaxThread=2\n"
                                           << Settings;
        LoadIniFile(Startup.IniFileName);
        Startup.ExeDir = Dist; // the help and the tools of the built program
        Window = std::make_unique<TMainForm>(Args);
        Window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
        Window->activateWindow();
        ASSERT_TRUE(WaitFor([&] { return Window->isActiveWindow() && App.FileList->Count() == Listed; }, 10000));
        QTest::qWait(300);
    }
    // Calls Answer with each modal window that opens, until it returns true;
    // looks every Ms milliseconds.
    void OnModal(std::function<bool(QWidget*)> Answer, int Ms = 50)
    {
        auto* T = new QTimer(Window.get());
        T->setInterval(Ms);
        QObject::connect(T, &QTimer::timeout, T, [T, Answer] {
            if (QWidget* M = QApplication::activeModalWidget(); M && M->isVisible() && Answer(M))
                T->deleteLater();
        });
        T->start();
    }
    // Answers each message box with Return; their texts go to Messages.
    void AnswerMessages()
    {
        OnModal([this](QWidget* M) {
            if (auto* Box = qobject_cast<QMessageBox*>(M)) {
                Messages.push_back(Box->text().toStdString());
                QTest::keyClick(Box, Qt::Key_Return);
            }
            return false;
        });
    }
    std::vector<std::string> Messages;
    // The window listing Photos pictures p0.jpg.. of Size, half size into
    // out/ under numbered names counted on from run to run (a second run
    // writes names of its own beside the first run's); message boxes
    // answered.
    void OpenNumbered(int Photos, QSize Size)
    {
        std::vector<std::string> Args;
        for (int i = 0; i < Photos; ++i) {
            Args.push_back((Dir / "in" / ("p" + std::to_string(i) + ".jpg")).string());
            WritePhoto(Args.back(), Size.width(), Size.height(), i);
        }
        Open("[File]\nShowDirectory=0\n[Resize]\nRule=0\nSize1=50\n", Args, Photos);
        Settings.File.FileNameFormat = "<n>_<old>";
        Settings.File.ResetType = 2;
        AnswerMessages();
    }
    // The window of an at-once start with Dir/in/a.jpg, as the program shows
    // it: each message box that opens is closed by Return, its text put in
    // Seen. The run's status.
    int RunAtOnceAnsweringMessages(std::vector<std::string>& Seen)
    {
        TProgressForm Run(true, {(Dir / "in" / "a.jpg").string()});
        QTimer::singleShot(0, &Run, [&Run] { Run.StartRun(); });
        QTimer Look;
        QObject::connect(&Look, &QTimer::timeout, &Look, [&Seen] {
            if (auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); Box && Box->isVisible()) {
                Seen.push_back(Box->text().toStdString());
                QTest::keyClick(Box, Qt::Key_Return);
            }
        });
        Look.start(50);
        Run.exec();
        return Run.ExitStatus();
    }
    // A real F5 from the keyboard once the window has the focus back (from a
    // dialog just closed); true when the run it starts writes Output.
    bool F5Writes(const fs::path& Output)
    {
        Window->activateWindow();
        WaitFor([&] { return Window->isActiveWindow(); }, 5000);
        QProcess::execute(QStringLiteral("/usr/bin/xdotool"), {QStringLiteral("key"), QStringLiteral("F5")});
        return WaitFor([&] { return fs::exists(Output); }, 20000);
    }
};

// The frame's top-left corner of a shown window, once the window manager has
// framed it.
inline QPoint FramedCorner(QWidget* W)
{
    WaitFor([W] { return W->frameGeometry().size() != W->geometry().size(); }, 5000);
    QTest::qWait(200);
    return W->frameGeometry().topLeft();
}

} // namespace desktoptest
using namespace desktoptest;
