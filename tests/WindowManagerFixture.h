// A desktop of the test's own for tests of window placement and frames: an
// Xvfb server of 1366 x 768 pixels at 96 dpi on a display number nobody holds,
// with openbox managing it. Started once per test process and ended with it
// (ctest runs each test in a process of its own, so every test gets a fresh
// desktop). Tests derived from WindowManagerTest get a QApplication on that
// desktop; tests that start the built program hand it WindowManagerDisplay().
// Without Xvfb or openbox the tests skip and say why.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <cstdlib>
#include <filesystem>
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

namespace wm_fixture {

inline bool OnPath(const std::string& Name)
{
    const char* Path = std::getenv("PATH");
    std::string Dirs = Path ? Path : "/usr/bin:/bin";
    for (size_t Start = 0; Start <= Dirs.size();) {
        const size_t End = std::min(Dirs.find(':', Start), Dirs.size());
        if (access((Dirs.substr(Start, End - Start) + "/" + Name).c_str(), X_OK) == 0)
            return true;
        Start = End + 1;
    }
    return false;
}

// Starts Argv with Env added; the child ends when the test process does, so
// that no server outlives it (and none goes away under its open windows).
inline pid_t Spawn(const std::vector<std::string>& Argv, const std::vector<std::string>& Env = {})
{
    std::vector<char*> A;
    for (const std::string& S : Argv)
        A.push_back(const_cast<char*>(S.c_str()));
    A.push_back(nullptr);
    const pid_t Parent = getpid();
    const pid_t Pid = fork();
    if (Pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != Parent)
            _exit(127);
        const int Null = open("/dev/null", O_RDWR);
        if (Null >= 0) {
            dup2(Null, 0);
            dup2(Null, 1);
            dup2(Null, 2);
        }
        for (const std::string& E : Env)
            putenv(const_cast<char*>(E.c_str()));
        execvp(A[0], A.data());
        _exit(127);
    }
    return Pid;
}

inline bool Alive(pid_t Pid) { return Pid > 0 && kill(Pid, 0) == 0 && waitpid(Pid, nullptr, WNOHANG) == 0; }

inline bool Listening(int Number)
{
    const int S = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un A{};
    A.sun_family = AF_UNIX;
    snprintf(A.sun_path, sizeof A.sun_path, "/tmp/.X11-unix/X%d", Number);
    const bool Up = S >= 0 && connect(S, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0;
    if (S >= 0)
        close(S);
    return Up;
}

struct TDesktop {
    std::string Display, Missing, Home;
    TDesktop()
    {
        using namespace std::chrono_literals;
        for (const char* P : {"Xvfb", "openbox"})
            if (!OnPath(P)) {
                Missing = std::string(P) + " is not installed here (scripts/setup installs it)";
                return;
            }
        // Servers of tests running side by side start one at a time, each on a
        // number no server holds.
        const int Lock = open("/tmp/vestro-xvfb-start.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        if (Lock >= 0)
            flock(Lock, LOCK_EX);
        for (int N = 100 + getpid() % 300; N < 1000 && Display.empty(); ++N) {
            const std::string Num = std::to_string(N);
            if (std::filesystem::exists("/tmp/.X" + Num + "-lock") ||
                std::filesystem::exists("/tmp/.X11-unix/X" + Num))
                continue;
            const pid_t X = Spawn({"Xvfb", ":" + Num, "-screen", "0", "1366x768x24", "-dpi", "96", "-nolisten",
                                   "tcp", "-noreset"});
            for (int i = 0; i < 500 && Alive(X); ++i) { // up to 10 s
                if (Listening(N)) {
                    Display = ":" + Num;
                    break;
                }
                std::this_thread::sleep_for(20ms);
            }
            if (Display.empty() && X > 0)
                kill(X, SIGKILL);
        }
        if (Lock >= 0)
            close(Lock);
        if (Display.empty()) {
            Missing = "Xvfb did not start";
            return;
        }
        // openbox with its default settings (not a user's own), telling us by
        // a file once it manages the screen.
        Home = std::filesystem::temp_directory_path() / ("vestro-openbox-" + std::to_string(getpid()));
        std::filesystem::remove_all(Home);
        std::filesystem::create_directories(Home);
        const std::string Ready = Home + "/ready";
        const pid_t Wm = Spawn({"openbox", "--sm-disable", "--startup", "touch " + Ready},
                               {"DISPLAY=" + Display, "XDG_CONFIG_HOME=" + Home, "HOME=" + Home});
        for (int i = 0; i < 500 && Alive(Wm) && !std::filesystem::exists(Ready); ++i)
            std::this_thread::sleep_for(20ms);
        if (!std::filesystem::exists(Ready))
            Missing = "openbox did not start on " + Display;
    }
    ~TDesktop()
    {
        std::error_code Ec;
        if (!Home.empty())
            std::filesystem::remove_all(Home, Ec);
    }
};

inline const TDesktop& Desktop()
{
    static const TDesktop D;
    return D;
}

} // namespace wm_fixture

// The display of the desktop ("" when there is none).
inline std::string WindowManagerDisplay() { return wm_fixture::Desktop().Display; }

// Why there is no desktop ("" when there is one).
inline std::string WindowManagerMissing() { return wm_fixture::Desktop().Missing; }

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

// A test whose QApplication shows its windows on the desktop, under openbox.
class WindowManagerTest : public ::testing::Test {
public:
    // Starts the desktop and makes the QApplication on it; call first in a
    // derived suite's own SetUpTestSuite.
    static void SetUpTestSuite()
    {
        if (!WindowManagerMissing().empty() || QApplication::instance())
            return;
        qputenv("DISPLAY", WindowManagerDisplay().c_str());
        qputenv("QT_QPA_PLATFORM", "xcb");
        static int Argc = 1;
        static char Name[] = "test_wm";
        static char* Argv[] = {Name, nullptr};
        new QApplication(Argc, Argv); // never destroyed, as in the other window tests
    }

protected:
    void SetUp() override
    {
        if (!WindowManagerMissing().empty())
            GTEST_SKIP() << WindowManagerMissing();
        if (QGuiApplication::platformName() != QLatin1String("xcb") ||
            qgetenv("DISPLAY").toStdString() != WindowManagerDisplay())
            GTEST_SKIP() << "another test made this process's windows elsewhere: run this test on its own (ctest)";
    }
};
