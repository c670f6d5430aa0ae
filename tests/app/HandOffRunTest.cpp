// Runs handed to a running instance that converts at once: each is converted
// as the same start would convert it alone (its own profile over the
// defaults, paths from the folder it was started in), and a start that waits
// for its run and is stopped cancels that run as it would cancel its own.
#include "AtOnceRun.h"
#include "ProgramFixture.h"
#include "app/SingleInstance.h"

#include <QDataStream>
#include <QLocalSocket>
#include <QSignalSpy>

#include <csignal>
#include <map>

using namespace endtoend;

namespace {

// Pictures in Folder, hidden (temporary) files apart; Hidden counts those.
std::set<std::string> Pictures(const fs::path& Folder, int* Hidden = nullptr)
{
    std::set<std::string> Names;
    std::error_code Ec;
    for (const auto& E : fs::directory_iterator(Folder, Ec)) {
        const std::string N = E.path().filename().string();
        if (N[0] != '.')
            Names.insert(N);
        else if (Hidden)
            ++*Hidden;
    }
    return Names;
}

bool HaveJPEGTran()
{
    return fs::exists("/usr/bin/jpegtran") || fs::exists(std::string(VESTRO_DIST_DIR) + "/bin/jpegtran");
}

// Runs that wait until the test lets them go on: PNG outputs go through an
// optimiser (a stand-in found through the first instance's PATH) that says
// it started (Dir/NAME.started) and waits while Dir/NAME.hold exists, NAME
// being the output folder's name; then it hands the PNG back unchanged.
class HandOff : public Program {
protected:
    void SetUp() override
    {
        Program::SetUp();
        if (fs::exists(std::string(VESTRO_DIST_DIR) + "/bin/zopflipng"))
            GTEST_SKIP() << "the program folder brings its own optimiser";
        fs::create_directories(Dir / "tools");
        std::ofstream(Dir / "tools" / "zopflipng") << "#!/bin/sh\n"
                                                      "for a; do in=$out; out=$a; done\n"
                                                      "d=$(dirname \"$out\")\n"
                                                      "touch \"$d.started\"\n"
                                                      "while [ -e \"$d.hold\" ]; do sleep 0.05; done\n"
                                                      "exec cp \"$in\" \"$out\"\n";
        fs::permissions(Dir / "tools" / "zopflipng", fs::perms::owner_all);
    }
    // Profile text: PNG outputs through the optimiser.
    static std::string Held() { return "[JPEG]\nConvertTo=3\n[PNG]\nUsePNGOUT=1\nFullColorOptimization=1\n"; }
    void Hold(const char* Out) { std::ofstream(Dir / (std::string(Out) + ".hold")); }
    void Release(const char* Out) { fs::remove(Dir / (std::string(Out) + ".hold")); }
    // The first instance, its own run held in out/ until Release("out").
    void StartFirst(QProcess& P, const std::vector<std::string>& Args)
    {
        Hold("out");
        const QByteArray Path = qgetenv("PATH");
        qputenv("PATH", QByteArray::fromStdString((Dir / "tools").string() + ":") + Path);
        Start(P, Profile, Args);
        qputenv("PATH", Path);
        WaitForLock();
        ASSERT_TRUE(WaitFor([this] { return fs::exists(Dir / "out.started"); }, 60000));
    }
};

// The first instance turns the picture of its own run, after the resize;
// handed runs queue behind it. What a handed profile leaves out is the
// default, not what the run before it had: no effect (neither the first
// run's rotation nor a lossless transform of the run handed before), the
// default order of the chain (a rotation before the resize); a Use that is
// no number is off. The first run keeps its rotation.
TEST_F(HandOff, AHandedRunTakesNothingOfAnotherRun)
{
    ModeProfile(Profile, "", Held() + "[RotationFilter]\nUse=1\nType=1\nOrder=9\n");
    WritePhoto(Dir / "in" / "own.jpg", 480, 320, 1);
    // Sides of whole blocks: the lossless transform keeps them.
    for (const char* N : {"small.jpg", "tran.jpg", "abc.jpg", "ord.jpg"})
        WritePhoto(Dir / "in" / "trip" / N, 320, 192, 7);
    const bool Tran = HaveJPEGTran();
    ModeProfile("mini-" + Profile, "", "");
    ModeProfile("tran-" + Profile, "", "[JPEGTran]\nUse=1\nRotation=2\n", "tran");
    ModeProfile("abc-" + Profile, "", "[JPEGTran]\nUse=abc\nRotation=2\n[Resize]\nRule=0\nSize1=50\n", "abc");
    ModeProfile("ord-" + Profile, "", "[RotationFilter]\nUse=1\nType=1\n[Resize]\nRule=3\nSize1=100,640,480,96\n",
                "ord");

    QProcess first, mini, tran, abc, ord;
    StartFirst(first, {"in/own.jpg"});
    // In this order: the last one comes after a lossless transform.
    Start(mini, "mini-" + Profile, {"in/trip/small.jpg"});
    QThread::msleep(700);
    if (Tran) {
        Start(tran, "tran-" + Profile, {"in/trip/tran.jpg"});
        QThread::msleep(700);
    }
    Start(abc, "abc-" + Profile, {"in/trip/abc.jpg"});
    Start(ord, "ord-" + Profile, {"in/trip/ord.jpg"});
    QThread::msleep(700);
    Release("out");
    Ended(mini, 0);
    if (Tran)
        Ended(tran, 0);
    Ended(abc, 0);
    Ended(ord, 0);
    Ended(first, 0);
    EXPECT_EQ(ImageSize(Dir / "out" / "small.jpg"), QSize(320, 192));
    if (Tran) {
        EXPECT_EQ(ImageSize(Dir / "tran" / "tran.jpg"), QSize(192, 320));
    }
    EXPECT_EQ(ImageSize(Dir / "abc" / "abc.jpg"), QSize(160, 96));
    EXPECT_EQ(ImageSize(Dir / "ord" / "ord.jpg"), QSize(96, 160));
    EXPECT_EQ(ImageSize(Dir / "out" / "own.png"), QSize(320, 480));
}

// A relative output folder is the handing start's: each handed run writes
// beside the folder it was started in, one after another from two folders,
// while the first instance's own run (started in Dir) writes where its
// profile says. A start whose folder is gone before its run begins has
// nothing converted (anywhere): status 2 and its line.
TEST_F(HandOff, AHandedRunsRelativeOutputFolderIsItsStartsOwn)
{
    ModeProfile(Profile, "", Held());
    WritePhoto(Dir / "in" / "own.jpg", 480, 320, 1);
    fs::create_directories(Dir / "sub");
    fs::create_directories(Dir / "gone");
    WritePhoto(Dir / "sub" / "a.jpg", 320, 200, 7);
    WritePhoto(Dir / "b.jpg", 320, 200, 8);
    WritePhoto(Dir / "in" / "c.jpg", 320, 200, 9);
    Ini("rel-" + Profile, "[File]\nAtOnce=1\nSameDirectory=0\nOutPutDirectory=rel\nFileNameFormat=<old>\n");

    QProcess first, inSub, inDir, inGone;
    StartFirst(first, {"in/own.jpg"});
    StartIn = Dir / "sub";
    Start(inSub, "rel-" + Profile, {"a.jpg"});
    QThread::msleep(700);
    StartIn = Dir;
    Start(inDir, "rel-" + Profile, {"b.jpg"});
    StartIn = Dir / "gone";
    Start(inGone, "rel-" + Profile, {(Dir / "in" / "c.jpg").string()});
    QThread::msleep(700);
    fs::remove(Dir / "gone");
    Release("out");
    Ended(inSub, 0);
    Ended(inDir, 0);
    const std::string GoneErr = Ended(inGone, 2);
    Ended(first, 0);
    EXPECT_EQ(Pictures(Dir / "sub" / "rel"), std::set<std::string>{"a.jpg"});
    EXPECT_EQ(Pictures(Dir / "rel"), std::set<std::string>{"b.jpg"});
    EXPECT_EQ(Pictures(Dir / "out"), std::set<std::string>{"own.png"});
    EXPECT_THAT(LineOf(GoneErr, "c.jpg"), HasSubstr("c.jpg: not converted: the folder the start was made in"))
        << GoneErr;
    EXPECT_FALSE(fs::exists(Dir / "in" / "rel"));
}

// A start waiting for its handed run is stopped: Ctrl+C while the run goes
// on (its first picture in the optimiser), TERM while it still waits in the
// queue, a closed terminal likewise. The start ends with status 2 and a line
// for every file not written; the running instance writes none of that
// run's files after the stop, leaves nothing half-written, and goes on with
// its own run.
TEST_F(HandOff, AStoppedStartCancelsTheRunItHanded)
{
    ModeProfile(Profile, "", Held());
    ModeProfile("slow-" + Profile, "", Held() + "[System]\nParallel=0\n", "slow");
    WritePhoto(Dir / "in" / "own.jpg", 480, 320, 1);
    std::vector<std::string> Handed;
    WritePhoto(Dir / "in" / "trip" / "h0.jpg", 640, 480, 40);
    for (int i = 0; i < 12; ++i) {
        const std::string N = "h" + std::to_string(i) + ".jpg";
        if (i > 0)
            fs::copy_file(Dir / "in" / "trip" / "h0.jpg", Dir / "in" / "trip" / N);
        Handed.push_back("in/trip/" + N);
    }
    struct TCase {
        const char* Name;
        int Signal;
        bool Running;
    };
    const TCase Cases[] = {{"Ctrl+C while it runs", SIGINT, true},
                           {"TERM while it waits", SIGTERM, false},
                           {"closed terminal while it waits", SIGHUP, false}};
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        for (const char* F : {"out", "slow", "out.started", "slow.started"})
            fs::remove_all(Dir / F);
        QProcess first, second;
        Hold("slow");
        StartFirst(first, {"in/own.jpg"});
        Start(second, "slow-" + Profile, Handed);
        QThread::msleep(700); // handed over, behind the first run
        if (C.Running) {
            Release("out");
            ASSERT_TRUE(WaitFor([&] { return fs::exists(Dir / "slow.started"); }, 60000));
        }
        ::kill(pid_t(second.processId()), C.Signal);
        ASSERT_TRUE(second.waitForFinished(60000));
        Release("out");
        Release("slow");
        const std::string Err = second.readAllStandardError().toStdString();
        EXPECT_EQ(second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1, 2) << Err;
        const std::set<std::string> Done = Pictures(Dir / "slow");
        EXPECT_LE(Done.size(), C.Running ? 1u : 0u) << Err;
        for (int i = 0; i < 12; ++i) {
            const std::string N = "h" + std::to_string(i) + ".jpg";
            EXPECT_EQ(LineOf(Err, N),
                      Done.count("h" + std::to_string(i) + ".png") ? "" : N + ": not written, the run was cancelled")
                << Err;
        }
        // The first instance goes on with its own run, writes nothing more
        // of the cancelled one, and leaves nothing half-written.
        const std::string FirstErr = Ended(first, 0);
        EXPECT_EQ(Pictures(Dir / "out"), std::set<std::string>{"own.png"}) << FirstErr;
        int Hidden = 0;
        EXPECT_EQ(Pictures(Dir / "slow", &Hidden), Done);
        EXPECT_EQ(Hidden, 0);
        EXPECT_EQ(Count(FirstErr, "h1.jpg"), 0) << FirstErr;
    }
}

// A handed run that is not converted says so per file, to the start that
// waits for it: one whose profile does not convert at once (alone, that start
// would have said why and opened no window), and one still queued when the
// running instance itself is stopped.
TEST_F(HandOff, AHandedRunThatIsNotConvertedSaysSoPerFile)
{
    ModeProfile(Profile, "", Held());
    WritePhoto(Dir / "in" / "own.jpg", 480, 320, 1);
    WritePhoto(Dir / "in" / "a.jpg", 320, 200, 2);
    WritePhoto(Dir / "in" / "b.jpg", 320, 200, 3);
    Ini("win-" + Profile, "[File]\nAtOnce=0\n");
    ModeProfile("later-" + Profile, "", "", "later");

    {
        QProcess first, window;
        StartFirst(first, {"in/own.jpg"});
        Start(window, "win-" + Profile, {"in/a.jpg", "in/b.jpg"});
        QThread::msleep(700); // handed over, behind the first run
        Release("out");
        const std::string Err = Ended(window, 2);
        EXPECT_THAT(LineOf(Err, "a.jpg"), HasSubstr("a.jpg: the profile ")) << Err;
        EXPECT_THAT(LineOf(Err, "b.jpg"), HasSubstr("does not convert at once")) << Err;
        EXPECT_EQ(Count(Err, "\n"), 2) << Err;
        Ended(first, 0);
    }
    fs::remove(Dir / "out.started");
    QProcess first, later;
    StartFirst(first, {"in/own.jpg"});
    Start(later, "later-" + Profile, {"in/b.jpg"});
    QThread::msleep(700);
    ::kill(pid_t(first.processId()), SIGINT);
    Release("out");
    EXPECT_EQ(Ended(later, 2), "b.jpg: not written, the run was cancelled\n");
    Ended(first, 2);
    EXPECT_FALSE(fs::exists(Dir / "later"));
}

// A handed run speaks its start's language, as that start alone would: its
// profile's Language (German for one, then Japanese for one that does not
// convert at once), else the user's, not the running instance's nor that of
// the run handed before it.
TEST_F(HandOff, AHandedRunSpeaksItsStartsLanguage)
{
    ModeProfile(Profile, "", Held());
    WritePhoto(Dir / "in" / "own.jpg", 480, 320, 1);
    WritePhoto(Dir / "in" / "good.jpg", 320, 200, 2);
    WritePhoto(Dir / "in" / "cut.jpg", 640, 480, 3);
    fs::resize_file(Dir / "in" / "cut.jpg", fs::file_size(Dir / "in" / "cut.jpg") / 2);
    ModeProfile("de-" + Profile, "", "[System]\nLanguage=de\n", "de");
    ModeProfile("plain-" + Profile, "", "", "plain");
    Ini("ja-" + Profile, "[File]\nAtOnce=0\n[System]\nLanguage=ja\n");
    const std::vector<std::string> Files{"in/cut.jpg", "in/good.jpg"};

    // Alone, one after another: what each start says.
    std::map<std::string, std::string> Alone;
    for (const char* P : {"de-", "plain-"}) {
        QProcess Start1;
        Start(Start1, P + Profile, Files);
        Alone[P] = Ended(Start1, 1);
        fs::remove_all(Dir / (std::string(P) == "de-" ? "de" : "plain"));
    }
    ASSERT_THAT(LineOf(Alone["de-"], "cut.jpg"), HasSubstr("Datei konnte nicht geladen werden"));
    ASSERT_THAT(LineOf(Alone["plain-"], "cut.jpg"), HasSubstr("Failed to load file"));

    QProcess first, de, ja, plain;
    StartFirst(first, {"in/own.jpg"});
    Start(de, "de-" + Profile, Files);
    QThread::msleep(700);
    Start(ja, "ja-" + Profile, Files);
    QThread::msleep(700);
    Start(plain, "plain-" + Profile, Files);
    QThread::msleep(700);
    Release("out");
    EXPECT_EQ(Ended(de, 1), Alone["de-"]);
    const std::string JaErr = Ended(ja, 2);
    EXPECT_THAT(LineOf(JaErr, "good.jpg"), HasSubstr("は即時変換しません")) << JaErr;
    EXPECT_EQ(Ended(plain, 1), Alone["plain-"]);
    Ended(first, 0);
    EXPECT_EQ(Pictures(Dir / "de"), std::set<std::string>{"good.jpg"});
    EXPECT_EQ(Pictures(Dir / "plain"), std::set<std::string>{"good.jpg"});
}

} // namespace

namespace {

// A hand-off frame as a start sends it: the count, the arguments and, from a
// start that names it, its folder.
QByteArray Frame(const std::vector<std::string>& Args, const char* WorkDir)
{
    QByteArray Body, F;
    QDataStream B(&Body, QIODevice::WriteOnly);
    B << quint32(Args.size());
    for (const std::string& A : Args)
        B << QByteArray::fromStdString(A);
    if (WorkDir)
        B << QByteArray(WorkDir);
    QDataStream Out(&F, QIODevice::WriteOnly);
    Out << Body;
    return F;
}

// The running instance, in this process, hears starts of either form: the
// arguments as they were sent (a main window lists exactly these), the
// folder when one came (an older start's hand-off has none, and a folder
// that is not absolute is none). A start waiting for its result may ask for
// its run to be cancelled; one that waits for nothing (a window took its
// files) cannot.
TEST(HandOffFrames, TheFolderComesBesideTheArgumentsAndACancelOnlyForARunAwaited)
{
    EnsureApp();
    const fs::path Run = ScratchDir("frames");
    fs::permissions(Run, fs::perms::owner_all, fs::perm_options::replace);
    qputenv("XDG_RUNTIME_DIR", Run.c_str());
    TSingleInstance Running("/opt/vestro/");
    qunsetenv("XDG_RUNTIME_DIR");
    ASSERT_TRUE(Running.TryBecomeFirst());
    ASSERT_TRUE(Running.Alone().empty()) << Running.Alone();
    Running.SetAccepting(true);
    QSignalSpy Cancels(&Running, &TSingleInstance::CancelAsked);
    const std::vector<std::string> Args{"/ini=x.ini", "/p/a.jpg", "/p/b c.jpg"};
    struct TCase {
        const char* Name;
        const char* Sent;
        std::string Dir;
        bool Awaited;
    };
    const TCase Cases[] = {{"with its folder, awaited", "/home/me/photos", "/home/me/photos", true},
                           {"an older start's", nullptr, "", true},
                           {"a folder that is not absolute", "photos", "", true},
                           {"with its folder, to a window", "/home/me", "/home/me", false}};
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        Running.SetReportsResults(C.Awaited);
        Cancels.clear();
        QLocalSocket S;
        S.connectToServer(Running.ServerName());
        ASSERT_TRUE(S.waitForConnected(3000));
        S.write(Frame(Args, C.Sent));
        S.flush();
        ASSERT_TRUE(WaitFor([&] { return S.bytesAvailable() > 0; }, 5000));
        EXPECT_EQ(S.read(1), QByteArray(C.Awaited ? "W" : "1"));
        S.write("C");
        S.flush();
        WaitFor([&] { return Cancels.count() > 0; }, 500);
        EXPECT_EQ(Cancels.count(), C.Awaited ? 1 : 0);
        if (C.Awaited) {
            const std::vector<TSingleInstance::THandOff> Q = Running.TakeQueuedRuns();
            ASSERT_EQ(Q.size(), 1u);
            EXPECT_EQ(Q[0].Args, Args);
            EXPECT_EQ(Q[0].WorkDir, C.Dir);
            EXPECT_EQ(Cancels.count() ? Cancels[0][0].toInt() : -1, Q[0].Ticket);
            // Answered: a cancel that comes later asks for nothing.
            Running.ReportResult(Q[0].Ticket, 0, {});
            Cancels.clear();
            S.write("C");
            S.flush();
            WaitFor([&] { return Cancels.count() > 0; }, 300);
            EXPECT_EQ(Cancels.count(), 0);
        } else {
            EXPECT_EQ(Running.TakeQueued(), std::vector<std::vector<std::string>>{Args});
        }
    }
    fs::remove_all(Run);
}

} // namespace
