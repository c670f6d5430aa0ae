// Tests of what a window manager does to the program's windows (frames,
// placement, stacking, resizes by the frame) run under a real one: an Xvfb
// server of 1366 x 768 on a free display with openbox managing it, started
// once per test process and ended with it. The fixture points $DISPLAY at it
// and makes Qt use the xcb platform, so the test's Qt application must be
// made after SetUp (ctest runs every test in a process of its own). Without
// Xvfb, openbox, xprop or xdotool the tests skip with a message that says
// which one is missing. Two ways in: tests derived from wmtest::WindowManagerTest
// make their Qt application after SetUp; tests derived from WindowManagerTest
// (below) get one made on that desktop for the whole suite, and tests that
// start the built program hand it WindowManagerDisplay().
#pragma once
#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <functional>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace wmtest {

// The program Name as found on $PATH, "" when it is not there.
inline std::string FindProgram(const std::string& Name)
{
    const char* Path = std::getenv("PATH");
    std::string Dirs = Path ? Path : "/usr/bin:/bin";
    for (size_t Start = 0; Start <= Dirs.size();) {
        const size_t End = std::min(Dirs.find(':', Start), Dirs.size());
        const std::string P = Dirs.substr(Start, End - Start) + "/" + Name;
        if (End > Start && access(P.c_str(), X_OK) == 0)
            return P;
        Start = End + 1;
    }
    return {};
}

// Starts Args (Args[0] a full path) with its output going to OutFd (or
// /dev/null when negative). Background programs die with this process.
inline pid_t Spawn(const std::vector<std::string>& Args, int OutFd = -1, bool DieWithUs = true)
{
    std::vector<char*> Argv;
    for (const std::string& A : Args)
        Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    const int Null = open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t Parent = getpid();
    const pid_t Pid = fork();
    if (Pid == 0) {
        // Only async-signal-safe calls from here on.
        if (DieWithUs) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != Parent)
                _exit(127);
        }
        dup2(Null, 0);
        dup2(OutFd >= 0 ? OutFd : Null, 1);
        dup2(Null, 2);
        execv(Argv[0], Argv.data());
        _exit(127);
    }
    if (Null >= 0)
        close(Null);
    return Pid > 0 ? Pid : 0;
}

// Runs Args (Args[0] looked up on $PATH) to its end; its standard output in
// *Out. The exit status, or -1 when it could not run.
inline int Run(std::vector<std::string> Args, std::string* Out = nullptr)
{
    if (Args.empty() || (Args[0] = FindProgram(Args[0])).empty())
        return -1;
    int Pipe[2];
    if (pipe2(Pipe, O_CLOEXEC) != 0)
        return -1;
    const pid_t Pid = Spawn(Args, Pipe[1], false);
    close(Pipe[1]);
    std::string Text;
    char Buf[4096];
    for (ssize_t N; (N = read(Pipe[0], Buf, sizeof Buf)) > 0 || (N < 0 && errno == EINTR);)
        if (N > 0)
            Text.append(Buf, size_t(N));
    close(Pipe[0]);
    int Status = 0;
    if (!Pid || waitpid(Pid, &Status, 0) != Pid)
        return -1;
    if (Out)
        *Out = Text;
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

// The numbers written as 0x... in Text, in order.
inline std::vector<unsigned long> HexNumbers(const std::string& Text)
{
    std::vector<unsigned long> V;
    static const std::regex Hex("0x[0-9a-fA-F]+");
    for (auto It = std::sregex_iterator(Text.begin(), Text.end(), Hex); It != std::sregex_iterator(); ++It)
        V.push_back(std::stoul(It->str(), nullptr, 16));
    return V;
}

// The X server and its window manager of this test process.
class TWindowManager {
public:
    static constexpr int Width = 1366, Height = 768;

    // Started on the first call; Up() tells whether it runs, Why why not.
    static TWindowManager& Get()
    {
        static TWindowManager* W = new TWindowManager; // lives until the process ends
        return *W;
    }
    bool Up() const { return !Display.empty(); }

    std::string Display; // ":N"
    std::string Why;     // why it is not up

    // The managed windows (client windows), bottom of the stack first.
    static std::vector<unsigned long> StackingOrder()
    {
        std::string Out;
        Run({"xprop", "-root", "-notype", "_NET_CLIENT_LIST_STACKING"}, &Out);
        return HexNumbers(Out.substr(std::min(Out.find(':'), Out.size())));
    }
    // Position of Client in the stacking order (higher is nearer the
    // viewer), -1 when the window manager does not list it.
    static int StackingPlace(unsigned long Client)
    {
        const std::vector<unsigned long> S = StackingOrder();
        for (size_t i = 0; i < S.size(); ++i)
            if (S[i] == Client)
                return int(i);
        return -1;
    }
    // The window manager's frame window around Client (Client itself when it has none).
    static unsigned long FrameOf(unsigned long Client)
    {
        std::string Out;
        Run({"xwininfo", "-children", "-id", std::to_string(Client)}, &Out);
        // "Parent window id: 0x... " is the frame (openbox puts clients into one).
        const size_t P = Out.find("Parent window id:");
        const std::vector<unsigned long> Ids = HexNumbers(P == std::string::npos ? "" : Out.substr(P, 40));
        return Ids.empty() || Out.find("(the root window)", P) < Out.find('\n', P) ? Client : Ids[0];
    }

private:
    TWindowManager()
    {
        const std::string Xvfb = FindProgram("Xvfb"), Openbox = FindProgram("openbox");
        for (const char* Tool : {"xprop", "xdotool", "xwininfo"})
            if (FindProgram(Tool).empty())
                Why += std::string(Why.empty() ? "" : ", ") + Tool;
        if (Xvfb.empty())
            Why += std::string(Why.empty() ? "" : ", ") + "Xvfb";
        if (Openbox.empty())
            Why += std::string(Why.empty() ? "" : ", ") + "openbox";
        if (!Why.empty()) {
            Why = "not installed here: " + Why + " (scripts/setup installs them)";
            return;
        }
        // Servers of tests running side by side start one at a time, each on
        // a number no server holds (the lock is shared with the other window tests).
        const int Lock = open("/tmp/vestro-xvfb-start.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        if (Lock >= 0)
            flock(Lock, LOCK_EX);
        std::string Found;
        for (int n = 100 + getpid() % 300; n < 1000 && Found.empty(); ++n) {
            const std::string Num = std::to_string(n);
            if (std::filesystem::exists("/tmp/.X" + Num + "-lock") || std::filesystem::exists("/tmp/.X11-unix/X" + Num))
                continue;
            // -noreset: the server would otherwise start over whenever its
            // last client leaves (one of the xprop calls).
            const std::string Size = std::to_string(Width) + "x" + std::to_string(Height) + "x24";
            const pid_t Pid =
                Spawn({Xvfb, ":" + Num, "-screen", "0", Size, "-dpi", "96", "-nolisten", "tcp", "-noreset"});
            if (!Pid)
                break;
            for (int i = 0; i < 400 && Found.empty(); ++i) { // up to 20 s for the server to listen
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                if (Listens("/tmp/.X11-unix/X" + Num))
                    Found = ":" + Num;
                else if (waitpid(Pid, nullptr, WNOHANG) == Pid) // it could not take the number
                    break;
            }
            if (Found.empty())
                kill(Pid, SIGKILL);
            else
                FServer = Pid;
        }
        if (Lock >= 0)
            close(Lock);
        if (Found.empty()) {
            Why = "Xvfb did not start";
            return;
        }
        setenv("DISPLAY", Found.c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        // openbox with its default settings and theme, not a user's own.
        const std::string Home =
            (std::filesystem::temp_directory_path() / ("vestro-openbox-" + std::to_string(getpid()))).string();
        std::filesystem::create_directories(Home);
        setenv("XDG_CONFIG_HOME", Home.c_str(), 1);
        FManager = Spawn({Openbox, "--sm-disable"});
        // The window manager is ready once it has announced itself on the root window.
        for (int i = 0; i < 400 && Display.empty(); ++i) {
            std::string Out;
            if (Run({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, &Out) == 0 && !HexNumbers(Out).empty())
                Display = Found;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (Display.empty())
            Why = "openbox did not start";
        else
            setenv("QT_QPA_PLATFORM", "xcb", 1);
    }

    static bool Listens(const std::string& Socket)
    {
        const int S = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (S < 0)
            return false;
        sockaddr_un A{};
        A.sun_family = AF_UNIX;
        std::strncpy(A.sun_path, Socket.c_str(), sizeof A.sun_path - 1);
        const bool Ok = connect(S, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0;
        close(S);
        return Ok;
    }

    pid_t FServer = 0, FManager = 0;
};

// A test whose windows are managed by openbox on an Xvfb screen of 1366 x 768.
class WindowManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Asked first: the server's start points the whole process (and the
        // programs it starts) at the server.
        if (QGuiApplication::instance() && QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "this process already shows its windows elsewhere; run the test on its own (as ctest does)";
        TWindowManager& W = TWindowManager::Get();
        if (!W.Up())
            GTEST_SKIP() << "no window manager: " << W.Why;
    }

    // Processes events for Ms milliseconds, or until Done holds.
    static bool Settle(const std::function<bool()>& Done, int Ms = 10000)
    {
        const auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
        while (!Done() && std::chrono::steady_clock::now() < End) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return Done();
    }
    // Processes events until Cond has held at every look for HoldMs
    // milliseconds on end (windows being mapped pass through other states
    // first), at most TimeoutMs; whether it did.
    static bool Steady(const std::function<bool()>& Cond, int HoldMs = 1000, int TimeoutMs = 15000)
    {
        const auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
        auto Since = std::chrono::steady_clock::now();
        bool Held = false;
        while (std::chrono::steady_clock::now() < End) {
            const auto Now = std::chrono::steady_clock::now();
            if (!Cond())
                Held = false;
            else if (!Held)
                Held = true, Since = Now;
            else if (Now - Since >= std::chrono::milliseconds(HoldMs))
                return true;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // The client window of a shown widget, as the window manager lists it.
    static unsigned long ClientOf(const QWidget* W) { return static_cast<unsigned long>(W->winId()); }
    // Runs xdotool with Args (its exit status).
    static int XDoTool(std::vector<std::string> Args)
    {
        Args.insert(Args.begin(), "xdotool");
        return wmtest::Run(Args);
    }
};

} // namespace wmtest

// The display of the desktop ("" when there is none).
inline std::string WindowManagerDisplay()
{
    return wmtest::TWindowManager::Get().Display;
}

// Why there is no desktop ("" when there is one).
inline std::string WindowManagerMissing()
{
    const wmtest::TWindowManager& W = wmtest::TWindowManager::Get();
    return W.Up() ? std::string() : W.Why;
}

// The frame openbox drew around W's window, in screen pixels; null before it did.
inline QRect WindowFrame(const QWidget* W)
{
    const QWindow* H = W->windowHandle();
    return H && !H->frameMargins().isNull() ? H->frameGeometry() : QRect();
}

// W's frame once openbox has framed the window and left it in one place for a
// fifth of a second (it may still move a window just framed); null when that
// does not happen within Ms milliseconds.
inline QRect SettledFrame(const QWidget* W, int Ms = 10000)
{
    QRect Last;
    int Same = 0;
    for (auto Until = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
         std::chrono::steady_clock::now() < Until;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const QRect F = WindowFrame(W);
        Same = !F.isNull() && F == Last ? Same + 1 : 0;
        Last = F;
        if (Same >= 10)
            return F;
    }
    return {};
}

// The client width openbox (default settings and theme) needs to show Title
// whole in its title bar: the title in its bold 8 point font, centred, with
// the window icon and three buttons beside it. Measured: one pixel less cuts
// "Metadata Settings" or "Vestro Image Resizer - vestro-resizer.ini".
inline int OpenboxTitleWidth(const QString& Title)
{
    QFont Font(QStringLiteral("Sans"), 8);
    Font.setBold(true);
    return QFontMetrics(Font).horizontalAdvance(Title) + 106;
}

// A test whose QApplication shows its windows on the desktop, under openbox,
// made once for the suite.
class WindowManagerTest : public wmtest::WindowManagerTest {
public:
    // Starts the desktop and makes the QApplication on it; call first in a
    // derived suite's own SetUpTestSuite.
    static void SetUpTestSuite()
    {
        if (!WindowManagerMissing().empty() || QApplication::instance())
            return;
        static int Argc = 1;
        static char Name[] = "test_wm";
        static char* Argv[] = {Name, nullptr};
        new QApplication(Argc, Argv); // never destroyed, as in the other window tests
    }

protected:
    void SetUp() override
    {
        wmtest::WindowManagerTest::SetUp();
        if (!IsSkipped() && qgetenv("DISPLAY").toStdString() != WindowManagerDisplay())
            GTEST_SKIP() << "another test made this process's windows elsewhere: run this test on its own (ctest)";
    }
};
