// Finding a started program's window on an X11 display: under an Xvfb server
// of the test's own, with a small window program.
#include "platform/Process.h"
#include "platform/ProcessWindow.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Puts $DISPLAY back as it was when the object ends.
struct TDisplayKeep {
    const bool Had = std::getenv("DISPLAY") != nullptr;
    const std::string Value = Had ? std::getenv("DISPLAY") : "";
    ~TDisplayKeep() { Had ? setenv("DISPLAY", Value.c_str(), 1) : unsetenv("DISPLAY"); }
};

// An Xvfb server on a display number of its own, and $DISPLAY pointing at it,
// for the life of the object.
struct TXServer : TDisplayKeep {
    int Pid = 0;
    std::string Display;
    TXServer()
    {
        // Tests running side by side start their servers one at a time, each
        // on a number no server holds. (A server left to pick its own number
        // takes over the sockets of servers already running while it looks.)
        const int lock = open("/tmp/vestro-xvfb-start.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        if (lock >= 0)
            flock(lock, LOCK_EX);
        for (int n = 100 + getpid() % 300; n < 1000 && Display.empty(); ++n) {
            const std::string num = std::to_string(n);
            if (fs::exists("/tmp/.X" + num + "-lock") || fs::exists("/tmp/.X11-unix/X" + num))
                continue;
            // -noreset: by default the server starts over whenever its last
            // client leaves (the probe below, an ended window program), and a
            // program that connects meanwhile is refused.
            if (!StartProcess({"Xvfb", ":" + num, "-screen", "0", "640x480x24", "-nolisten", "tcp", "-noreset"}, &Pid))
                break;
            for (int i = 0; i < 200; ++i) { // up to 10 s for the server to listen
                std::this_thread::sleep_for(50ms);
                xcb_connection_t* c = xcb_connect((":" + num).c_str(), nullptr);
                const bool up = !xcb_connection_has_error(c);
                xcb_disconnect(c);
                if (up) {
                    Display = ":" + num;
                    break;
                }
                if (kill(Pid, 0) != 0) // it could not take the number
                    break;
            }
            if (Display.empty()) {
                kill(Pid, SIGTERM);
                Pid = 0;
            }
        }
        if (lock >= 0)
            close(lock); // releases the lock
        if (!Display.empty())
            setenv("DISPLAY", Display.c_str(), 1);
    }
    ~TXServer()
    {
        if (Pid)
            kill(Pid, SIGTERM);
    }
};

std::string WindowTitle(uint32_t W)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    std::string t;
    if (xcb_get_property_reply_t* r =
            xcb_get_property_reply(c, xcb_get_property(c, 0, W, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 256), nullptr)) {
        t.assign(static_cast<const char*>(xcb_get_property_value(r)), size_t(xcb_get_property_value_length(r)));
        free(r);
    }
    xcb_disconnect(c);
    return t;
}

} // namespace

TEST(ProcessWindow, FindsTheStartedProgramsOwnWindowAndTitlesIt)
{
    TXServer x;
    if (!x.Pid)
        GTEST_SKIP() << "Xvfb is not installed here";
    // A program that marks its windows with its process id, and one that
    // does not (the server still knows which local process made them).
    for (const char* mark : {"--pid", "--no-pid"}) {
        SCOPED_TRACE(mark);
        const fs::path out = fs::temp_directory_path() / ("vestro-window-" + std::to_string(getpid()));
        // The program's output goes to a file through a redirection: run it
        // under "sh -c" only here, in the test.
        int pid = 0;
        ASSERT_TRUE(StartProcess(
            {"sh", "-c", "exec \"$0\" \"$1\" > \"$2\"", VESTRO_TEST_BIN_DIR "/window_program", mark, out.string()},
            &pid));
        // A loaded machine may start the program slowly: wait (up to 30 s)
        // until it has shown its owned window, so that the wait below covers
        // the moment when that window is the program's only one.
        auto Lines = [&out] {
            std::vector<std::string> l;
            std::ifstream in(out);
            for (std::string s; std::getline(in, s);)
                l.push_back(s);
            return l;
        };
        for (int i = 0; i < 1500 && Lines().empty() && kill(pid, 0) == 0; ++i)
            std::this_thread::sleep_for(20ms);
        const uint32_t w = WaitForProcessWindow(pid);
        const bool titled = SetProcessWindowTitle(w, "IMG 0001.jpg:50%");
        const std::string title = WindowTitle(w);
        std::vector<std::string> shown;
        for (int i = 0; i < 1500 && (shown = Lines()).size() < 2; ++i)
            std::this_thread::sleep_for(20ms);
        kill(pid, SIGKILL);
        fs::remove(out);
        ASSERT_EQ(shown.size(), 2u) << "the window program did not show its windows";
        ASSERT_NE(w, 0u);
        EXPECT_EQ(std::to_string(w), shown[1]) << "the owned window shown first must not be taken";
        EXPECT_TRUE(titled);
        EXPECT_EQ(title, "IMG 0001.jpg:50%");
    }
}

TEST(ProcessWindow, NoWindowFromAProgramWithoutOneOrWithoutADisplay)
{
    {
        TXServer x;
        if (!x.Pid)
            GTEST_SKIP() << "Xvfb is not installed here";
        int pid = 0;
        ASSERT_TRUE(StartProcess({"sleep", "1"}, &pid));
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitForProcessWindow(pid), 0u);
        // It gives up once the program has ended, not after the whole wait.
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 4s);
    }
    const TDisplayKeep keep;
    unsetenv("DISPLAY");
    int pid = 0;
    ASSERT_TRUE(StartProcess({"sleep", "1"}, &pid));
    EXPECT_EQ(WaitForProcessWindow(pid), 0u);
    EXPECT_FALSE(SetProcessWindowTitle(1, "x"));
}
