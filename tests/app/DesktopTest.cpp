// The main window on a real desktop: an Xvfb server of the test's own at
// 1366 x 768 with openbox framing the windows. Each case runs this binary
// again on that display (its DISABLED_ part below, which only such a run
// starts), so that placement, frames and key grabs are those a user meets.
#include "TestApp.h"
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

namespace {

// Runs this binary's DISABLED_Name of WindowOnDesktop on the desktop of the
// window-manager tests, with Env added; its status and what it printed.
std::pair<int, std::string> RunChild(const std::string& Display, const std::string& Name,
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
const QString kNoLauncherPath = QStringLiteral("/nonexistent-vestro-bin");

// Runs DISABLED_Name of WindowOnDesktop on a desktop of its own, with Env
// added to the environment, and expects it to pass.
void RunOnDesktop(const std::string& Name, const std::vector<std::pair<QString, QString>>& Env = {})
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
QPoint FramedCorner(QWidget* W)
{
    WaitFor([W] { return W->frameGeometry().size() != W->geometry().size(); }, 5000);
    QTest::qWait(200);
    return W->frameGeometry().topLeft();
}

} // namespace

// ------------------------------------------------------------------ help

TEST(Desktop, F1WithNoLauncherSaysWhatCouldNotBeOpened)
{
    RunOnDesktop("F1WithNoLauncherSaysWhatCouldNotBeOpened", {{"PATH", kNoLauncherPath}});
}

TEST_F(WindowOnDesktop, DISABLED_F1WithNoLauncherSaysWhatCouldNotBeOpened)
{
    Open("");
    AnswerMessages();
    std::vector<std::string>& Seen = Messages;
    // No launcher at all; an xdg-open that finds no program for the file (as
    // on a machine without a desktop), one that cannot run, ones that fail
    // (4: its rule needs a terminal that is not installed; 1), one that
    // crashes, and one that opens it.
    const struct {
        const char* Launcher; // the xdg-open on PATH, "" for none
        bool Said;
        const char* Why = "Nothing could open this";
    } Cases[] = {
        {"", true},
        {"#!/bin/sh\necho \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n", true},
        {"not a program", true},
        {"#!/bin/sh\necho \"xdg-open: no terminal emulator found\" >&2\nexit 4\n", true,
         "could not be opened: @/xdg-open ended with status 4."},
        {"#!/bin/sh\nexit 1\n", true, "could not be opened: @/xdg-open ended with status 1."},
        {"#!/bin/sh\nkill -SEGV $$\n", true, "could not be opened: @/xdg-open crashed."},
        {"#!/bin/sh\nexit 0\n", false},
    };
    const QByteArray KeptPath = qgetenv("PATH");
    for (const auto& C : Cases) {
        Seen.clear();
        fs::remove_all(Dir / "bin");
        if (*C.Launcher) {
            fs::create_directories(Dir / "bin");
            std::ofstream(Dir / "bin" / "xdg-open") << C.Launcher;
            fs::permissions(Dir / "bin" / "xdg-open", fs::perms::owner_all);
            qputenv("PATH", QByteArray::fromStdString((Dir / "bin").string()));
        } else {
            qputenv("PATH", KeptPath);
        }
        // The key goes to the window once it has the focus back from the box.
        Window->activateWindow();
        ASSERT_TRUE(WaitFor([&] { return Window->isActiveWindow(); }, 5000));
        QTest::keyClick(Window.get(), Qt::Key_F1);
        WaitFor([&] { return !Seen.empty(); }, C.Said ? 10000 : 1500);
        ASSERT_EQ(Seen.size(), C.Said ? 1u : 0u) << C.Launcher;
        if (C.Said) {
            EXPECT_THAT(Seen[0], HasSubstr(std::string(VESTRO_DIST_DIR) + "/README.md"));
            std::string Why = C.Why;
            if (const size_t At = Why.find('@'); At != std::string::npos)
                Why.replace(At, 1, (Dir / "bin").string());
            EXPECT_THAT(Seen[0], HasSubstr(Why));
        }
    }
    qputenv("PATH", KeptPath);
}

TEST(Desktop, AHeldF1StartsOneLauncherAndAFreshPressTheNext)
{
    RunOnDesktop("AHeldF1StartsOneLauncherAndAFreshPressTheNext");
}

// Each start of the launcher opens a viewer of the help: the keyboard's
// repeats of a held F1 must not open a pile of them.
TEST_F(WindowOnDesktop, DISABLED_AHeldF1StartsOneLauncherAndAFreshPressTheNext)
{
    Open("");
    AnswerMessages();
    const fs::path Started = Dir / "launcher-starts";
    fs::create_directories(Dir / "bin");
    std::ofstream(Dir / "bin" / "xdg-open")
        << "#!/bin/sh\necho \"$1\" >> '" << Started.string() << "'\nsleep 0.2\nexit 0\n";
    fs::permissions(Dir / "bin" / "xdg-open", fs::perms::owner_all);
    const QByteArray KeptPath = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString((Dir / "bin").string()));
    const auto Starts = [&] {
        std::ifstream In(Started);
        int Lines = 0;
        for (std::string L; std::getline(In, L);)
            ++Lines;
        return Lines;
    };
    Window->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return Window->isActiveWindow(); }, 5000));
    QProcess::execute(QStringLiteral("/usr/bin/xdotool"), {"keydown", "F1"});
    QTest::qWait(2000);
    QProcess::execute(QStringLiteral("/usr/bin/xdotool"), {"keyup", "F1"});
    QTest::qWait(800);
    EXPECT_EQ(Starts(), 1);

    QProcess::execute(QStringLiteral("/usr/bin/xdotool"), {"key", "F1"});
    EXPECT_TRUE(WaitFor([&] { return Starts() == 2; }, 5000)) << Starts();
    QTest::qWait(500);
    EXPECT_EQ(Starts(), 2);
    EXPECT_TRUE(Messages.empty()) << Messages.front();
    qputenv("PATH", KeptPath);
}

// ------------------------------------------------------------------ after a run

TEST(Desktop, TheOutputFolderThatNothingOpensIsNamedAfterTheRun)
{
    RunOnDesktop("TheOutputFolderThatNothingOpensIsNamedAfterTheRun", {{"PATH", kNoLauncherPath}});
}

TEST_F(WindowOnDesktop, DISABLED_TheOutputFolderThatNothingOpensIsNamedAfterTheRun)
{
    WritePhoto(Dir / "in" / "a.jpg", 640, 480, 1);
    Open("[File]\nShowDirectory=1\n[Resize]\nRule=0\nSize1=50\n", {(Dir / "in" / "a.jpg").string()}, 1);
    AnswerMessages();
    std::vector<std::string>& Seen = Messages;
    QTest::keyClick(Window.get(), Qt::Key_F5);
    ASSERT_TRUE(WaitFor([&] { return !Seen.empty(); }, 60000)) << "the run said nothing";
    EXPECT_TRUE(fs::exists(Dir / "out" / "a.jpg"));
    EXPECT_THAT(Seen[0], HasSubstr((Dir / "out").string()));
    EXPECT_THAT(Seen[0], HasSubstr("Nothing could open this"));
}

TEST(Desktop, TheOutputFolderALauncherFailsToOpenIsNamedAfterTheRun)
{
    RunOnDesktop("TheOutputFolderALauncherFailsToOpenIsNamedAfterTheRun");
}

// The launcher is there but fails (4: its rule needs a terminal that is not
// installed; or 1): the run's window and an at-once run each say which
// folder could not be opened and why.
TEST_F(WindowOnDesktop, DISABLED_TheOutputFolderALauncherFailsToOpenIsNamedAfterTheRun)
{
    WritePhoto(Dir / "in" / "a.jpg", 640, 480, 1);
    Open("[File]\nShowDirectory=1\n[Resize]\nRule=0\nSize1=50\n", {(Dir / "in" / "a.jpg").string()}, 1);
    AnswerMessages();
    fs::create_directories(Dir / "bin");
    const QByteArray KeptPath = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString((Dir / "bin").string()));
    for (const int Status : {4, 1}) {
        SCOPED_TRACE(Status);
        std::ofstream(Dir / "bin" / "xdg-open") << "#!/bin/sh\nexit " << Status << "\n";
        fs::permissions(Dir / "bin" / "xdg-open", fs::perms::owner_all);
        Messages.clear();
        fs::remove_all(Dir / "out");
        ASSERT_TRUE(F5Writes(Dir / "out" / "a.jpg"));
        ASSERT_TRUE(WaitFor([&] { return !Messages.empty(); }, 20000)) << "the run said nothing";
        EXPECT_THAT(Messages[0], HasSubstr((Dir / "out").string()));
        EXPECT_THAT(Messages[0],
                    HasSubstr("could not be opened: " + (Dir / "bin" / "xdg-open").string() + " ended with status " +
                              std::to_string(Status) + "."));
    }
    Window.reset();

    // The same launcher after an at-once run.
    UseAtOnceProfile(true);
    std::vector<std::string> Seen;
    const int Status = RunAtOnceAnsweringMessages(Seen);
    qputenv("PATH", KeptPath);
    EXPECT_EQ(Status, 0);
    ASSERT_EQ(Seen.size(), 1u);
    EXPECT_THAT(Seen[0], HasSubstr((Dir / "out").string()));
    EXPECT_THAT(Seen[0], HasSubstr("ended with status 1."));
}

TEST(Desktop, AnAtOnceRunNamesTheOutputFolderThatNothingOpens)
{
    RunOnDesktop("AnAtOnceRunNamesTheOutputFolderThatNothingOpens", {{"PATH", kNoLauncherPath}});
}

// The window of a start with files and an at-once profile, as the program
// shows it: its run ends with the message, which the user closes (Return).
TEST_F(WindowOnDesktop, DISABLED_AnAtOnceRunNamesTheOutputFolderThatNothingOpens)
{
    UseAtOnceProfile(true);
    WritePhoto(Dir / "in" / "a.jpg", 640, 480, 1);
    std::vector<std::string> Seen;
    EXPECT_EQ(RunAtOnceAnsweringMessages(Seen), 0);
    EXPECT_TRUE(fs::exists(Dir / "out" / "a.jpg"));
    ASSERT_EQ(Seen.size(), 1u);
    EXPECT_THAT(Seen[0], HasSubstr((Dir / "out").string()));
    EXPECT_THAT(Seen[0], HasSubstr("Nothing could open this"));
}

TEST(Desktop, AnAtOnceRunWithErrorsShowsItsErrorLog)
{
    RunOnDesktop("AnAtOnceRunWithErrorsShowsItsErrorLog");
}

// Where someone looks, the lines of an at-once run's failed files show in the
// error log's window when the run ends; the user closes it by its button.
TEST_F(WindowOnDesktop, DISABLED_AnAtOnceRunWithErrorsShowsItsErrorLog)
{
    UseAtOnceProfile(false);
    WritePhoto(Dir / "in" / "a.jpg", 640, 480, 1);
    std::ofstream(Dir / "in" / "cut.jpg") << "\xFF\xD8\xFF";
    TProgressForm Run(true, {(Dir / "in" / "a.jpg").string(), (Dir / "in" / "cut.jpg").string()});
    QTimer::singleShot(0, &Run, [&Run] { Run.StartRun(); });
    std::vector<std::string> Seen;
    QTimer Look;
    QObject::connect(&Look, &QTimer::timeout, &Look, [&Seen] {
        if (auto* Log = qobject_cast<TErrorLogForm*>(QApplication::activeModalWidget()); Log && Log->isVisible()) {
            Seen.push_back(Log->LogText->toPlainText().toStdString());
            QTest::mouseClick(Log->CloseButton, Qt::LeftButton);
        }
    });
    Look.start(50);
    Run.exec();
    EXPECT_EQ(Run.ExitStatus(), 1);
    EXPECT_TRUE(fs::exists(Dir / "out" / "a.jpg"));
    EXPECT_FALSE(fs::exists(Dir / "out" / "cut.jpg"));
    ASSERT_EQ(Seen.size(), 1u);
    EXPECT_THAT(Seen[0], HasSubstr("cut.jpg: "));
}

// ------------------------------------------------------------------ error log

namespace {

// The toolkit's warnings in this process, which a user sees on standard error.
std::vector<std::string> ToolkitWarnings;
QtMessageHandler KeptHandler = nullptr;
void KeepWarning(QtMsgType Type, const QMessageLogContext& Context, const QString& Text)
{
    ToolkitWarnings.push_back(Text.toStdString());
    if (KeptHandler)
        KeptHandler(Type, Context, Text);
}

// A photograph whose first Huffman table counts more codes than a table
// holds: it probes, and no decode gets past its header.
void WriteBogusHuffman(const fs::path& P)
{
    WritePhoto(P, 640, 480, 3);
    std::string B = ReadFile(P);
    const size_t Dht = B.find("\xFF\xC4");
    ASSERT_NE(Dht, std::string::npos);
    B[Dht + 5] = char(0xFF); // the number of codes one bit long
    std::ofstream(P, std::ios::binary) << B;
}

} // namespace

TEST(Desktop, LinesThatComeWhileTheErrorLogShowsAreShownOnce)
{
    RunOnDesktop("LinesThatComeWhileTheErrorLogShowsAreShownOnce");
}

// The program is started again while the window shows the error log: a file
// that is not there, then a 0-byte file and one of random bytes. The open log
// shows each line as it comes, nothing waits for the log twice, and Close
// takes out what was shown. The listed damaged photograph's thumbnail says
// its reason once, not again when later hand-offs and a sort make its row
// current again.
TEST_F(WindowOnDesktop, DISABLED_LinesThatComeWhileTheErrorLogShowsAreShownOnce)
{
    KeptHandler = qInstallMessageHandler(KeepWarning);
    const fs::path In = Dir / "in";
    WriteBogusHuffman(In / "damaged.jpg");
    std::ofstream(In / "empty.jpg").flush();
    {
        std::mt19937 Rng(5);
        std::string Noise(6000, '\0');
        for (char& C : Noise)
            C = char(Rng());
        std::ofstream(In / "noise.jpg", std::ios::binary) << Noise;
    }
    WritePhoto(In / "a.jpg", 640, 480, 1);

    // This process is the running instance of the program folder, so that the
    // built program started again hands its files to this window.
    const fs::path RunDir = Dir / "run";
    fs::create_directories(RunDir);
    fs::permissions(RunDir, fs::perms::owner_all, fs::perm_options::replace);
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(RunDir.string()));
    TSingleInstance Running(fs::canonical(VESTRO_DIST_DIR).string() + "/");
    ASSERT_TRUE(Running.TryBecomeFirst());
    ASSERT_TRUE(Running.Alone().empty()) << Running.Alone();
    std::vector<std::unique_ptr<QProcess>> Starts;
    const auto StartAgain = [&](const std::vector<std::string>& Names) {
        auto P = std::make_unique<QProcess>();
        QProcessEnvironment E = QProcessEnvironment::systemEnvironment();
        E.insert("QT_QPA_PLATFORM", "offscreen");
        P->setProcessEnvironment(E);
        QStringList Args;
        for (const std::string& N : Names)
            Args << QString::fromStdString((In / N).string());
        P->start(QStringLiteral(VESTRO_DIST_DIR "/vestro-resizer"), Args);
        Starts.push_back(std::move(P));
    };

    // What the log showed each time, when its Close button was clicked.
    std::vector<QString> Shown;
    int Step = 0, Still = 0;
    QString Last;
    QTimer Look;
    QObject::connect(&Look, &QTimer::timeout, &Look, [&] {
        TErrorLogForm* Log = App.ErrorLogForm;
        if (!Log || !Log->isVisible() || QApplication::activeModalWidget() != Log)
            return;
        const QString Text = Log->LogText->toPlainText();
        Still = Text == Last ? Still + 1 : 0;
        Last = Text;
        if (Step == 1 && Text.contains("missing.jpg")) {
            Step = 2;
            StartAgain({"empty.jpg"});
        } else if (Step == 2 && Text.contains("empty.jpg")) {
            Step = 3;
            StartAgain({"noise.jpg"});
        } else if ((Step == 3 && Text.contains("noise.jpg")) || (Step > 3 && Still >= 10)) {
            Step = std::max(Step, 4);
            Shown.push_back(Text);
            QTest::mouseClick(Log->CloseButton, Qt::LeftButton);
        }
    });
    Look.start(50);

    Open("[ThumbnailWindow]\nVisible=1\n");
    QObject::connect(
        &Running, &TSingleInstance::Received, Window.get(),
        [&] {
            for (const auto& Q : Running.TakeQueued())
                Window->HandOff(Q);
        },
        Qt::QueuedConnection);
    Running.SetAccepting(true);
    TFileListView* List = Window->FileListView;
    const auto LogShows = [] { return App.ErrorLogForm && App.ErrorLogForm->isVisible(); };
    // A user's click on the damaged photograph's row.
    const auto ClickDamagedRow = [&] {
        Window->activateWindow();
        WaitFor([&] { return Window->isActiveWindow(); }, 5000);
        int Row = 0;
        while (Row + 1 < App.FileList->Count() && App.FileList->Items(Row)->Name() != "damaged.jpg")
            ++Row;
        QTest::mouseClick(List->viewport(), Qt::LeftButton, {},
                          List->visualRect(List->model()->index(Row, 0)).center());
    };

    Step = 1;
    StartAgain({"damaged.jpg", "missing.jpg"});
    ASSERT_TRUE(WaitFor([&] { return Step >= 4 && !LogShows(); }, 60000)) << "step " << Step;
    ASSERT_EQ(App.FileList->Count(), 1);
    ClickDamagedRow();
    ASSERT_TRUE(WaitFor(
        [&] {
            return std::any_of(Shown.begin(), Shown.end(), [](const QString& S) { return S.contains("damaged.jpg"); });
        },
        30000))
        << "the damaged photograph's thumbnail said nothing";
    ASSERT_TRUE(WaitFor([&] { return !LogShows(); }, 10000));
    const size_t Before = Shown.size();

    // Its row becomes current again after another start's hand-off, and after a sort.
    StartAgain({"a.jpg"});
    ASSERT_TRUE(WaitFor([&] { return App.FileList->Count() == 2 && !LogShows(); }, 30000));
    QTest::qWait(500);
    ClickDamagedRow();
    QTest::qWait(1500);
    QTest::mouseClick(List->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(List->horizontalHeader()->sectionViewportPosition(0) + 10, 5));
    QTest::qWait(500);
    ClickDamagedRow();
    QTest::qWait(1500);
    WaitFor([&] { return !LogShows(); }, 10000);
    EXPECT_EQ(Shown.size(), Before) << Shown.back().toStdString();
    EXPECT_EQ(Window->ThumbnailForm->FPath, (In / "damaged.jpg").string());

    // Every line once, the first three in the window that was open when they came.
    ASSERT_FALSE(Shown.empty());
    for (const char* Name : {"missing.jpg: ", "empty.jpg: ", "noise.jpg: "})
        EXPECT_TRUE(Shown.front().contains(Name)) << Name << " in " << Shown.front().toStdString();
    QStringList All;
    for (const QString& S : Shown)
        All << S.split('\n');
    for (const char* Name : {"missing.jpg: ", "empty.jpg: ", "noise.jpg: ", "damaged.jpg: "})
        EXPECT_EQ(All.filter(Name).size(), 1) << Name << " in\n" << All.join('\n').toStdString();
    EXPECT_THAT(All.filter("damaged.jpg: ").join("").toStdString(), HasSubstr("Bogus Huffman table definition"));
    EXPECT_EQ(All.size(), 4) << All.join('\n').toStdString();
    EXPECT_EQ(ErrorLog.GetErrorCount(), 0);
    for (const std::string& W : ToolkitWarnings)
        EXPECT_THAT(W, Not(HasSubstr("Recursive call detected")));
    for (auto& P : Starts) {
        EXPECT_TRUE(WaitFor([&] { return P->state() == QProcess::NotRunning; }, 30000));
        EXPECT_EQ(std::make_pair(P->exitStatus(), P->exitCode()), std::make_pair(QProcess::NormalExit, 0))
            << P->readAllStandardError().toStdString();
    }
    Look.stop();
    qInstallMessageHandler(KeptHandler);
}

// ------------------------------------------------------------------ folder picker

TEST(Desktop, EveryFolderPickerOpensAt22_22FromItsDialog)
{
    RunOnDesktop("EveryFolderPickerOpensAt22_22FromItsDialog");
}

TEST_F(WindowOnDesktop, DISABLED_EveryFolderPickerOpensAt22_22FromItsDialog)
{
    Open("");
    fs::create_directories(Dir / "plugins");
    Startup.SPIPath = (Dir / "plugins").string();
    // Each dialog is opened from the window's menu command, and its "..."
    // clicked; the picker's frame is measured against the dialog's.
    struct TCase {
        const char* Name;
        QAction* Command;
        std::function<QPushButton*(QWidget*)> Button;
    };
    const TCase Cases[] = {
        {"plug-in folder", Window->SetSPIOption,
         [](QWidget* M) { return qobject_cast<TSusiePluginOptionForm*>(M)->FolderButton; }},
        {"output folder", Window->SetOutPutFolder,
         [](QWidget* M) { return qobject_cast<TFolderOptionForm*>(M)->OutputButton; }},
        {"clipboard folder", Window->SetOutPutFolder,
         [](QWidget* M) { return qobject_cast<TFolderOptionForm*>(M)->ClipboardButton; }},
    };
    // A user may click "..." the moment the dialog appears, before the window
    // manager has framed it, or later.
    for (const bool AtOnce : {true, false})
        for (const TCase& C : Cases) {
            QPoint Offset(-1, -1);
            QWidget* Dialog = nullptr;
            OnModal(
                [&](QWidget* M) {
                    if (!Dialog) {
                        Dialog = M;
                        if (!AtOnce)
                            FramedCorner(M);
                        QPushButton* B = C.Button(M);
                        QTimer::singleShot(0, B, [B] { QTest::mouseClick(B, Qt::LeftButton); });
                        return false;
                    }
                    if (M == Dialog)
                        return false;
                    if (auto* Picker = qobject_cast<QFileDialog*>(M)) {
                        // Between the client areas: both windows get the same
                        // frame, and the frame is what Qt may learn late.
                        FramedCorner(Picker);
                        Offset = Picker->geometry().topLeft() - Dialog->geometry().topLeft();
                        Picker->reject();
                        QTimer::singleShot(100, Dialog, [Dialog] { qobject_cast<QDialog*>(Dialog)->reject(); });
                        return true;
                    }
                    return false;
                },
                AtOnce ? 0 : 50);
            C.Command->trigger();
            EXPECT_EQ(Offset, QPoint(22, 22)) << C.Name << (AtOnce ? ", clicked at once" : ", clicked once framed");
        }
}

TEST(Desktop, TheAddFolderPickerOpensAt22_22FromTheMainWindow)
{
    RunOnDesktop("TheAddFolderPickerOpensAt22_22FromTheMainWindow");
}

// Opened by its menu keys (File, Add Folder), client area to client area as
// the dialogs' pickers: its title bar sits below the main window's, not on it.
TEST_F(WindowOnDesktop, DISABLED_TheAddFolderPickerOpensAt22_22FromTheMainWindow)
{
    Open("");
    FramedCorner(Window.get());
    QPoint Offset(-1, -1);
    OnModal([&](QWidget* M) {
        auto* Picker = qobject_cast<QFileDialog*>(M);
        if (!Picker)
            return false;
        FramedCorner(Picker);
        Offset = Picker->geometry().topLeft() - Window->geometry().topLeft();
        ScreenShot("AddFolderPicker");
        Picker->reject();
        return true;
    });
    QProcess::execute(QStringLiteral("/usr/bin/xdotool"), {"key", "alt+f", "sleep", "0.3", "key", "f"});
    ASSERT_TRUE(WaitFor([&] { return Offset != QPoint(-1, -1); }, 20000)) << "the picker did not open";
    EXPECT_EQ(Offset, QPoint(22, 22));
}

// ------------------------------------------------------------------ window bounds

namespace {

// The frame of X11 window Client as the window manager placed it (its
// frame's absolute corner and size); null when it cannot be asked.
QRect FrameOnDesktop(unsigned long Client)
{
    std::string Out;
    if (wmtest::Run({"xwininfo", "-id", std::to_string(wmtest::TWindowManager::FrameOf(Client))}, &Out) != 0)
        return {};
    const auto Number = [&Out](const char* Label) {
        const size_t P = Out.find(Label);
        return P == std::string::npos ? INT_MIN : std::atoi(Out.c_str() + P + std::strlen(Label));
    };
    const int X = Number("Absolute upper-left X:"), Y = Number("Absolute upper-left Y:");
    const int W = Number("Width:"), H = Number("Height:");
    return X == INT_MIN || Y == INT_MIN || W <= 0 || H <= 0 ? QRect() : QRect(X, Y, W, H);
}

} // namespace

// The built program in a program folder of its own (its default settings
// file, saved when it closes), started with the stored window bounds of each
// case: its frame opens on the 1366 x 768 screen, and what it saves on
// closing is a place and a size on it.
TEST(Desktop, StoredWindowBoundsNearTheIntegerLimitsOpenTheProgramOnTheScreen)
{
    const wmtest::TWindowManager& WM = wmtest::TWindowManager::Get();
    if (!WM.Up())
        GTEST_SKIP() << "no window manager: " << WM.Why;
    const fs::path Dist = VESTRO_DIST_DIR;
    if (!fs::exists(Dist / "vestro-resizer") || !fs::exists(Dist / "bin" / "libkodex.so"))
        GTEST_SKIP() << "the program is not built";
    const fs::path Dir = ScratchDir("bounds"), Prog = Dir / "prog";
    fs::copy(Dist, Prog, fs::copy_options::recursive | fs::copy_options::create_hard_links);
    fs::remove_all(Prog / "ini"); // other tests' profiles; written here, not through links
    fs::create_directories(Prog / "ini");
    const std::string IniFile = (Prog / "ini" / "vestro-resizer.ini").string();
    const struct {
        const char* Bounds;
        QRect Kept; // the stored bounds when they fit, else null
    } Cases[] = {
        {"Left=2147483647\nTop=2147483647\nClientWidth=2147483647\nClientHeight=2147483647", {}},
        {"Left=-2147483648\nTop=-2147483648\nClientWidth=2147483647\nClientHeight=2147483647", {}},
        {"Left=2147483647\nTop=0\nClientWidth=800\nClientHeight=500", {}},
        {"Left=0\nTop=2147483000\nClientWidth=-2147483648\nClientHeight=-2147483648", {}},
        {"Left=100\nTop=80\nClientWidth=800\nClientHeight=500", QRect(100, 80, 800, 500)},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Bounds);
        std::ofstream(IniFile) << "[Window]\n" << C.Bounds << "\n[ThumbnailWindow]\nVisible=0\n";
        QProcess P;
        QProcessEnvironment E = QProcessEnvironment::systemEnvironment();
        E.insert("DISPLAY", QString::fromStdString(WM.Display));
        E.insert("QT_QPA_PLATFORM", "xcb");
        P.setProcessEnvironment(E);
        P.setProcessChannelMode(QProcess::MergedChannels);
        P.start(QString::fromStdString((Prog / "vestro-resizer").string()), {});
        ASSERT_TRUE(P.waitForStarted());
        // Its window, once openbox has framed it and left it in one place.
        unsigned long Client = 0;
        QRect Frame, Last;
        for (int i = 0, Same = 0; i < 300 && Same < 5; ++i) {
            QTest::qWait(100);
            std::string Out;
            if (!Client &&
                wmtest::Run({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(P.processId()), "--name",
                             "^Vestro Image Resizer"},
                            &Out) == 0)
                Client = std::strtoul(Out.c_str(), nullptr, 10);
            Frame = Client ? FrameOnDesktop(Client) : QRect();
            Same = !Frame.isNull() && Frame == Last ? Same + 1 : 0;
            Last = Frame;
        }
        ASSERT_NE(Client, 0ul) << "no window: " << P.readAll().toStdString();
        EXPECT_TRUE(QRect(0, 0, 1366, 768).contains(Frame))
            << Frame.x() << "," << Frame.y() << " " << Frame.width() << " x " << Frame.height();
        ScreenShot("MainWindowBounds");
        // Closed as a user closes it (the window manager's Alt+F4).
        wmtest::Run({"xdotool", "windowactivate", "--sync", std::to_string(Client), "key", "alt+F4"});
        ASSERT_TRUE(P.waitForFinished(20000)) << "the program did not close";
        const TMemIniFile Ini(IniFile);
        const QRect Saved(Ini.ReadInteger("Window", "Left", -1), Ini.ReadInteger("Window", "Top", -1),
                          Ini.ReadInteger("Window", "ClientWidth", 0), Ini.ReadInteger("Window", "ClientHeight", 0));
        if (!C.Kept.isNull()) {
            EXPECT_EQ(Saved, C.Kept);
        }
        EXPECT_TRUE(Saved.width() > 0 && Saved.height() > 0 && QRect(0, 0, 1366, 768).contains(Saved))
            << Saved.x() << "," << Saved.y() << " " << Saved.width() << " x " << Saved.height();
    }
    fs::remove_all(Dir);
}

// ------------------------------------------------------------------ popups

TEST(Desktop, F5RunsAfterADialogClosedWithItsPopupShowing)
{
    RunOnDesktop("F5RunsAfterADialogClosedWithItsPopupShowing");
}

TEST_F(WindowOnDesktop, DISABLED_F5RunsAfterADialogClosedWithItsPopupShowing)
{
    WritePhoto(Dir / "in" / "a.jpg", 640, 480, 1);
    Open("[File]\nShowDirectory=0\n[Resize]\nRule=0\nSize1=50\n", {(Dir / "in" / "a.jpg").string()}, 1);
    // The resize settings, closed with a filter list open over them.
    bool Shown = false;
    OnModal([&](QWidget* M) {
        auto* Box = M->findChild<QComboBox*>();
        if (!Box)
            return false;
        FramedCorner(M);
        Box->showPopup();
        QTimer::singleShot(500, M, [M, &Shown] {
            Shown = QApplication::activePopupWidget() != nullptr;
            qobject_cast<QDialog*>(M)->reject();
        });
        return true;
    });
    Window->SetResizeOption->trigger();
    ASSERT_TRUE(Shown) << "the list did not open";
    QTest::qWait(300);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_TRUE(F5Writes(Dir / "out" / "a.jpg")) << "F5 did not start the run (list)";

    // A dialog with a context menu and an edit that completes from a list,
    // as any dialog may have: closed with the menu open, or with the list
    // opening after it has gone.
    for (const int Kind : {0, 1}) {
        fs::remove(Dir / "out" / "a.jpg");
        QDialog Dialog(Window.get());
        auto* Edit = new QLineEdit(&Dialog);
        auto* List = new QCompleter(QStringList{"apple", "apricot"}, Edit);
        Edit->setCompleter(List);
        auto* Menu = new QMenu(&Dialog);
        Menu->addAction(QStringLiteral("Fit image to window"));
        bool Shown = false;
        QTimer::singleShot(300, &Dialog, [&] {
            if (Kind == 0) {
                Menu->popup(Dialog.mapToGlobal(QPoint(10, 10)));
                Shown = QApplication::activePopupWidget() == Menu;
            }
            QTimer::singleShot(300, &Dialog, [&] {
                Dialog.reject();
                if (Kind == 1) {
                    Edit->setText(QStringLiteral("a"));
                    List->complete();
                    Shown = QApplication::activePopupWidget() == List->popup();
                }
            });
        });
        Dialog.exec();
        QTest::qWait(300);
        ASSERT_TRUE(Shown) << Kind;
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << Kind;
        EXPECT_TRUE(F5Writes(Dir / "out" / "a.jpg"))
            << "F5 did not start the run" << (Kind ? " (list opened late)" : " (menu)");
        while (QWidget* Left = QApplication::activePopupWidget())
            Left->close();
    }

    // A list of a window still shown stays open when another window goes.
    Window->cbxResizeRule->showPopup();
    ASSERT_TRUE(WaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 5000));
    {
        QWidget Other(nullptr, Qt::ToolTip); // takes no focus from the list
        Other.resize(50, 20);
        Other.show();
        QTest::qWait(200);
    }
    QTest::qWait(200);
    EXPECT_NE(QApplication::activePopupWidget(), nullptr) << "the window's own list was closed";
    Window->cbxResizeRule->hidePopup();
}

// ------------------------------------------------------------------ the Run key

TEST(Desktop, AHeldF5StartsOneRunAndAFreshPressTheNext)
{
    RunOnDesktop("AHeldF5StartsOneRunAndAFreshPressTheNext");
}

// The key held down for two seconds: the keyboard repeats it long after the
// short run has ended, and the repeats start nothing.
TEST_F(WindowOnDesktop, DISABLED_AHeldF5StartsOneRunAndAFreshPressTheNext)
{
    OpenNumbered(2, QSize(400, 300));
    TRunWindowCounter Runs;
    QProcess::execute(QStringLiteral("/usr/bin/xdotool"), {"keydown", "F5"});
    QTest::qWait(2000);
    QProcess::execute(QStringLiteral("/usr/bin/xdotool"), {"keyup", "F5"});
    QTest::qWait(300);
    EXPECT_EQ(Runs.Shown, 1);
    EXPECT_EQ(SortedNames(Dir / "out"), (std::vector<std::string>{"1_p0.jpg", "2_p1.jpg"}));

    EXPECT_TRUE(F5Writes(Dir / "out" / "4_p1.jpg"));
    EXPECT_EQ(Runs.Shown, 2);
    EXPECT_TRUE(Messages.empty()) << Messages.front();
}

TEST(Desktop, F5PressedAgainWhileTheRunWindowOpensStartsNoSecondRun)
{
    RunOnDesktop("F5PressedAgainWhileTheRunWindowOpensStartsNoSecondRun");
}

TEST_F(WindowOnDesktop, DISABLED_F5PressedAgainWhileTheRunWindowOpensStartsNoSecondRun)
{
    OpenNumbered(4, QSize(2400, 1600));
    TRunWindowCounter Runs;
    // The key again as soon as the run's window shows, before the window
    // manager has given it the focus.
    Runs.OnShow = [&](QWidget*) {
        if (Runs.Shown == 1)
            QProcess::execute(QStringLiteral("/usr/bin/xdotool"), {QStringLiteral("key"), QStringLiteral("F5")});
    };
    const fs::path Last = Dir / "out" / "4_p3.jpg";
    ASSERT_TRUE(F5Writes(Last));
    const auto RunWindowShows = [] {
        const auto All = QApplication::topLevelWidgets();
        return std::any_of(All.begin(), All.end(),
                           [](QWidget* W) { return qobject_cast<TProgressForm*>(W) && W->isVisible(); });
    };
    ASSERT_TRUE(WaitFor([&] { return !RunWindowShows(); }));
    EXPECT_EQ(Runs.Shown, 1);
    std::vector<std::string> Names;
    for (const auto& E : fs::directory_iterator(Dir / "out"))
        Names.push_back(E.path().filename().string());
    std::sort(Names.begin(), Names.end());
    EXPECT_EQ(Names, (std::vector<std::string>{"1_p0.jpg", "2_p1.jpg", "3_p2.jpg", "4_p3.jpg"}));
    EXPECT_TRUE(Messages.empty()) << Messages.front();
}
