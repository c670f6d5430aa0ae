// The command line, the start of the built program (who it trusts, what it
// refuses), and the size rule a run takes from the history.
#include "TestApp.h"
#include "app/ProgressFrm.h"
#include "app/SingleInstance.h"
#include "platform/LeftTempFiles.h"
#include "platform/Process.h"

#include <QProcess>

#include <charconv>
#include <csignal>
#include <map>
#include <set>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

// The built program run as a script runs it: offscreen, with an at-once
// profile of its own that writes Dir/out, started in Dir.
class Start : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        if (!fs::exists(Program))
            GTEST_SKIP() << "the program is not built";
        Dir = ScratchDir("start");
        fs::create_directories(Dir / "run");
        fs::permissions(Dir / "run", fs::perms::owner_all, fs::perm_options::replace);
        Profile = Dir.filename().string() + ".ini";
        Ini("[File]\nAtOnce=1\nSameDirectory=0\nFileNameFormat=<old>\nOutPutDirectory=" + (Dir / "out").string() +
            "\n");
    }
    void TearDown() override
    {
        fs::remove_all(Dir);
        fs::remove(IniDir + Profile);
    }
    void Ini(const std::string& Text) { std::ofstream(IniDir + Profile) << Text; }
    struct TResult {
        int Status = -1;
        std::string Err;
    };
    // Env is set over the defaults; an empty value removes the variable.
    void Launch(QProcess& P, const std::vector<std::string>& Args, std::map<QString, QString> Env = {})
    {
        QStringList A{QString::fromStdString("/ini=" + Profile)};
        for (const std::string& S : Args)
            A << QString::fromStdString(S);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        Env.try_emplace("QT_QPA_PLATFORM", "offscreen");
        Env.try_emplace("XDG_RUNTIME_DIR", QString::fromStdString((Dir / "run").string()));
        for (const auto& [K, V] : Env)
            V.isEmpty() ? env.remove(K) : env.insert(K, V);
        P.setProcessEnvironment(env);
        P.setWorkingDirectory(QString::fromStdString(Dir.string()));
        P.start(QString::fromStdString(Program), A);
    }
    TResult Run(const std::vector<std::string>& Args, const std::map<QString, QString>& Env = {}, int TimeoutMs = 60000)
    {
        QProcess P;
        Launch(P, Args, Env);
        if (!P.waitForFinished(TimeoutMs)) {
            P.kill();
            P.waitForFinished();
            return {-1, "still running after " + std::to_string(TimeoutMs) + " ms"};
        }
        return {P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1, P.readAllStandardError().toStdString()};
    }
    const std::string Program = std::string(VESTRO_DIST_DIR) + "/vestro-resizer";
    const std::string IniDir = std::string(VESTRO_DIST_DIR) + "/ini/";
    fs::path Dir;
    std::string Profile;
};

} // namespace

// Without a runtime folder (cron, su) the lock goes to a folder of the user
// in the temporary folder; one that others could have made or reach is not
// used, and the start converts its files itself.
TEST_F(Start, WithoutARuntimeFolderOnlyAPrivateFolderIsTrusted)
{
    WritePhoto(Dir / "a.jpg", 64, 48, 1);
    const fs::path tmp = Dir / "tmp", own = tmp / ("vestro-" + std::to_string(getuid()));
    const struct {
        const char* What;
        std::function<void()> Make;
    } cases[] = {
        {"open", [&] { fs::create_directory(own), fs::permissions(own, fs::perms::all); }},
        {"link", [&] { fs::create_directory(Dir / "run2"), fs::create_directory_symlink(Dir / "run2", own); }},
        {"file", [&] { std::ofstream(own) << "x"; }},
        {"nothing", [] {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        fs::remove_all(tmp);
        fs::remove_all(Dir / "out");
        fs::create_directories(tmp);
        c.Make();
        const TResult r = Run({"a.jpg"}, {{"XDG_RUNTIME_DIR", ""}, {"TMPDIR", QString::fromStdString(tmp.string())}});
        EXPECT_EQ(r.Status, 0) << r.Err;
        EXPECT_TRUE(fs::exists(Dir / "out" / "a.jpg"));
        const bool made = c.What == std::string("nothing");
        EXPECT_EQ(Count(r.Err, "this start runs alone"), made ? 0 : 1) << r.Err;
        struct stat st; // the one it made itself is the user's alone
        EXPECT_TRUE(!made || (lstat(own.c_str(), &st) == 0 && (st.st_mode & 07777) == 0700));
    }
    // A runtime folder open to others is passed over the same way.
    fs::permissions(Dir / "run", fs::perms::all);
    EXPECT_EQ(Count(Run({"a.jpg"}, {{"TMPDIR", QString::fromStdString(tmp.string())}}).Err, "runs alone"), 0);
    EXPECT_TRUE(fs::is_empty(Dir / "run"));
}

// A runtime folder too deep for a socket's path: the start that cannot listen
// gives the lock back and runs alone, and so does the next one, instead of
// waiting for an answer that never comes.
TEST_F(Start, ARuntimeFolderTooDeepForASocketRunsAlone)
{
    const fs::path deep = Dir / "run" / std::string(90, 'd');
    fs::create_directories(deep);
    fs::permissions(deep, fs::perms::owner_all, fs::perm_options::replace);
    qputenv("XDG_RUNTIME_DIR", deep.c_str());
    TSingleInstance first("/opt/vestro/"), second("/opt/vestro/");
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_TRUE(first.TryBecomeFirst());
    EXPECT_THAT(first.Alone(), HasSubstr("cannot listen for other starts"));
    EXPECT_TRUE(second.TryBecomeFirst()) << "the lock was kept";
    EXPECT_FALSE(second.Alone().empty());

    WritePhoto(Dir / "a.jpg", 64, 48, 1);
    const TResult r = Run({"a.jpg"}, {{"XDG_RUNTIME_DIR", QString::fromStdString(deep.string())}});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Count(r.Err, "this start runs alone"), 1) << r.Err;
    EXPECT_TRUE(fs::exists(Dir / "out" / "a.jpg"));
}

// A JPEG XR file cut short is one error line, not a picture of garbage blocks.
TEST_F(Start, ACutJpegXrFileIsRefused)
{
    WritePhoto(Dir / "a.bmp", 96, 64, 1);
    if (RunProcessAndWait({"JxrEncApp", "-i", (Dir / "a.bmp").string(), "-o", (Dir / "a.jxr").string()}, nullptr, true))
        GTEST_SKIP() << "no JxrEncApp (libjxr-tools)";
    const std::string whole = ReadFile(Dir / "a.jxr");
    for (int percent : {50, 90})
        std::ofstream(Dir / ("cut" + std::to_string(percent) + ".jxr"), std::ios::binary)
            << whole.substr(0, whole.size() * size_t(percent) / 100);
    const TResult r = Run({"a.jxr", "cut50.jxr", "cut90.jxr"});
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(Count(r.Err, "cut50.jxr: "), 1) << r.Err;
    EXPECT_EQ(Count(r.Err, "cut90.jxr: Failed to load file: Premature end of JPEG XR file"), 1) << r.Err;
    EXPECT_TRUE(fs::exists(Dir / "out" / "a.jpg"));
    EXPECT_FALSE(fs::exists(Dir / "out" / "cut50.jpg") || fs::exists(Dir / "out" / "cut90.jpg"));
}

// Started offscreen, a window could never be closed: a start that would
// open it says why and ends with 2.
TEST_F(Start, AHeadlessStartWithoutAnAtOnceRunSaysWhyAndEnds)
{
    WritePhoto(Dir / "a.jpg", 64, 48, 1);
    const struct {
        std::function<void()> Make;
        std::vector<std::string> Args;
        std::string Said;
    } cases[] = {
        {[&] { fs::remove(IniDir + Profile); }, {"a.jpg"}, "no profile " + IniDir + Profile},
        {[&] { fs::create_directory(IniDir + Profile); },
         {"a.jpg"},
         "the profile " + IniDir + Profile + " could not be read"},
        {[&] { Ini("\xff\xfe\x00\xd8garbage"); }, {"a.jpg"}, "does not convert at once"},
        {[&] { Ini("[File]\nAtOnce=0\n"); }, {"a.jpg"}, "does not convert at once"},
        {[] {}, {}, "no file or folder was named"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Said);
        c.Make();
        const TResult r = Run(c.Args, {}, 20000);
        fs::remove(IniDir + Profile);
        EXPECT_EQ(r.Status, 2) << r.Err;
        EXPECT_EQ(Count(r.Err, c.Said), 1) << r.Err;
    }
    EXPECT_FALSE(fs::exists(Dir / "out"));
}

// A closed terminal (SIGHUP) cancels cleanly, as TERM does; what a killed
// run leaves is cleared by the next run into the folder, and only that.
TEST_F(Start, HangUpCancelsAndKilledRunsLeaveNothing)
{
    Ini("[File]\nAtOnce=1\nSameDirectory=0\nFileNameFormat=<old>\nOutPutDirectory=" + (Dir / "out").string() +
        "\n[Resize]\nRule=10\nSize1=100,512,384,512,384,100,100,512,512,0,1999,512\n"
        "Size2=0,0,0,0,0,100,100,384,384,0,1999,384\nDecimationType=2\n[System]\nParallel=0\n");
    std::vector<std::string> names;
    for (int i = 0; i < 20; ++i)
        WritePhoto(Dir / (names.emplace_back("p" + std::to_string(i) + ".jpg")), 2400, 1600, i);
    auto hidden = [&] {
        std::set<std::string> h;
        for (const auto& e : fs::directory_iterator(Dir / "out"))
            if (e.path().filename().string()[0] == '.')
                h.insert(e.path().filename().string());
        return h;
    };
    for (int sig : {SIGHUP, SIGKILL}) {
        QProcess p;
        Launch(p, names);
        ASSERT_TRUE(WaitFor([&] { return fs::exists(Dir / "out" / "p0.jpg"); }));
        ::kill(pid_t(p.processId()), sig);
        ASSERT_TRUE(p.waitForFinished(20000));
        if (sig == SIGHUP) {
            EXPECT_EQ(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, 2);
            EXPECT_THAT(p.readAllStandardError().toStdString(), HasSubstr("Cancelled: "));
            EXPECT_EQ(hidden(), std::set<std::string>{});
        }
    }
    // Names as a killed writer leaves them: "~" random "-" pid "-" machine.
    const std::string host = platform::WriterTag().substr(platform::WriterTag().size() - 4);
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    auto ours = [&](long Pid, const std::string& Host, const char* Suffix = ".tmp") {
        char digits[16] = {};
        std::to_chars(digits, digits + 15, Pid, 32);
        return ".p3.jpg.~abcdefgh-" + std::string(digits) + "-" + Host + Suffix;
    };
    const std::set<std::string> kept{ours(getpid(), host), ours(gone, host == "0000" ? "0001" : "0000"),
                                     ".p3.jpg.~abcdefgh.tmp", ours(gone, host, ".txt"), ".link" + ours(gone, host)};
    for (const std::string& k : kept)
        std::ofstream(Dir / "out" / k) << "x";
    fs::remove(Dir / "out" / (".link" + ours(gone, host)));
    fs::create_symlink(Dir / "out" / "p0.jpg", Dir / "out" / (".link" + ours(gone, host)));
    for (const char* s : {".tmp", ".png"})
        std::ofstream(Dir / "out" / ours(gone, host, s)) << "x";
    const TResult r = Run({"p19.jpg"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(hidden(), kept);
}

// Standard error piped into a program that ended: the run goes on and its
// status still says what happened.
TEST_F(Start, AClosedStandardErrorDoesNotEndTheRun)
{
    WritePhoto(Dir / "a.jpg", 64, 48, 1);
    std::ofstream(Dir / "bad.jpg") << "not a picture";
    QProcess sh;
    sh.setWorkingDirectory(QString::fromStdString(Dir.string()));
    sh.start("bash",
             {"-c",
              "QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=run \"$0\" \"$1\" bad.jpg a.jpg 2>&1 "
              ">/dev/null | true; echo ${PIPESTATUS[0]}",
              QString::fromStdString(Program), QString::fromStdString("/ini=" + Profile)});
    ASSERT_TRUE(sh.waitForFinished(60000));
    EXPECT_EQ(sh.readAllStandardOutput().trimmed().toStdString(), "1");
    EXPECT_TRUE(fs::exists(Dir / "out" / "a.jpg"));
}

// A listener of another user at the socket's name gets no file: the start
// runs alone. (Needs root, to be the other user.)
TEST(SingleInstance, FilesGoToNoListenerOfAnotherUser)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to listen as another user";
    EnsureApp();
    const fs::path run = ScratchDir("peer");
    fs::permissions(run, fs::perms::owner_all, fs::perm_options::replace);
    qputenv("XDG_RUNTIME_DIR", run.c_str());
    TSingleInstance instance("/opt/vestro/");
    qunsetenv("XDG_RUNTIME_DIR");
    const std::string name = instance.ServerName().toStdString();
    ASSERT_EQ(name.rfind(run.string(), 0), 0u);
    const int l = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", name.c_str());
    ASSERT_EQ(bind(l, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        // Listens as "nobody", answers "taken", and counts what it was sent.
        if (setgid(65534) != 0 || setuid(65534) != 0 || listen(l, 1) != 0)
            _exit(100);
        const int c = accept(l, nullptr, nullptr);
        [[maybe_unused]] ssize_t w = send(c, "1", 1, MSG_NOSIGNAL); // the start may have gone already
        char buf[64];
        alarm(5);
        _exit(c >= 0 && read(c, buf, sizeof buf) > 0 ? 1 : 0);
    }
    close(l);
    const TSingleInstance::THandOffResult r = instance.HandOffAndWait({"/home/me/secret.jpg"}, 3000);
    int status = -1;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(r.Refused && r.Untrusted);
    EXPECT_THAT(instance.Alone(), HasSubstr("another user's"));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the listener was sent the paths";
    fs::remove_all(run);
}

TEST(CommandLine, ProfilesStayInTheIniFolderAndTheLastSwitchWins)
{
    const std::string keep = Startup.ExeDir;
    Startup.ExeDir = "/opt/vestro/";
    EXPECT_EQ(ProfileFileName({"/INI=work.ini", "pic.jpg", "/ini=other.ini"}), "/opt/vestro/ini/other.ini");
    EXPECT_EQ(ProfileFileName({"/Ini=sub/work.ini"}), "/opt/vestro/ini/sub/work.ini");
    // Leading out of the folder, or naming no file, is ignored.
    const std::string def = ProfileFileName({});
    EXPECT_EQ(def.substr(0, 16), "/opt/vestro/ini/");
    EXPECT_EQ(ProfileFileName({"/ini=../../etc/passwd"}), def);
    EXPECT_EQ(ProfileFileName({"/ini=work.ini", "/ini="}), "/opt/vestro/ini/work.ini");
    Startup.ExeDir = keep;
}

TEST(CommandLine, PathsAreMadeAbsoluteBeforeTheyLeaveTheProcess)
{
    const fs::path cwd = fs::current_path();
    EXPECT_EQ(AbsoluteArguments({"a.jpg", "../b/c.png", "/abs/d.jpg", "/ini=x.ini"}),
              (std::vector<std::string>{(cwd / "a.jpg").string(), (cwd.parent_path() / "b" / "c.png").string(),
                                        "/abs/d.jpg", "/ini=x.ini"}));
}

TEST(RunWindow, HistoryRuleFallsBackWhenTheHistoryIsEmpty)
{
    const TResizeOption keep = Settings.Resize;
    int32_t rule;
    double v1, v2;
    Settings.Resize.Rule = 9;
    Settings.Resize.History = "\"1,1600,0\",\"0,50,50\"";
    ResizeRuleOfRun(rule, v1, v2);
    EXPECT_EQ(std::make_pair(rule, v1), std::make_pair(1, 1600.0));
    Settings.Resize.History = "";
    ResizeRuleOfRun(rule, v1, v2);
    EXPECT_EQ(std::make_tuple(rule, v1, v2), std::make_tuple(8, 640.0, 480.0));
    Settings.Resize.Rule = 10;
    ResizeRuleOfRun(rule, v1, v2);
    EXPECT_EQ(std::make_pair(rule, v1), std::make_pair(10, Settings.Resize.Size1[10]));
    Settings.Resize = keep;
}

// A program folder whose codec library is missing: the start says which file
// it could not load and why, converts nothing and ends with a failure.
TEST_F(Start, WithoutTheCodecLibraryTheStartSaysWhyAndEnds)
{
    // Only the program and its helpers are copied: the profile folder is
    // shared with tests running beside this one, whose profiles come and go.
    const fs::path Copy = Dir / "program";
    fs::create_directories(Copy / "ini");
    fs::copy(std::string(VESTRO_DIST_DIR) + "/vestro-resizer", Copy / "vestro-resizer");
    fs::copy(std::string(VESTRO_DIST_DIR) + "/bin", Copy / "bin", fs::copy_options::recursive);
    fs::copy(IniDir + Profile, Copy / "ini" / Profile);
    fs::remove(Copy / "bin" / "libkodex.so");
    WritePhoto(Dir / "a.jpg", 64, 48, 1);
    QProcess P;
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert("QT_QPA_PLATFORM", "offscreen");
    Env.insert("XDG_RUNTIME_DIR", QString::fromStdString((Dir / "run").string()));
    P.setProcessEnvironment(Env);
    P.setWorkingDirectory(QString::fromStdString(Dir.string()));
    P.start(QString::fromStdString((Copy / "vestro-resizer").string()),
            {QString::fromStdString("/ini=" + Profile), "a.jpg"});
    ASSERT_TRUE(P.waitForFinished(60000));
    const std::string Err = P.readAllStandardError().toStdString();
    EXPECT_EQ(P.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(P.exitCode(), 0);
    EXPECT_THAT(Err, HasSubstr("LoadLibrary Error"));
    EXPECT_THAT(Err, HasSubstr("libkodex.so"));
    EXPECT_THAT(Err, HasSubstr("No such file or directory"));
    EXPECT_FALSE(fs::exists(Dir / "out"));
    EXPECT_TRUE(fs::exists(Dir / "a.jpg"));
}
