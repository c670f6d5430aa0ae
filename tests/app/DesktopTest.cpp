// The main window on a real desktop: what a launcher that is missing or
// fails is said as, the error log of an at-once run and lines that come while
// the log shows.
#include "tests/app/WindowOnDesktop.h"

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
