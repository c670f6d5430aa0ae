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
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// An Xvfb server on a display number of its own, and $DISPLAY pointing at it,
// for the life of the object.
struct TXServer {
    int Pid = 0;
    std::string Display;
    std::string OldDisplay;
    bool HadDisplay = false;
    TXServer()
    {
        if (const char* d = std::getenv("DISPLAY"))
            HadDisplay = true, OldDisplay = d;
        // The server picks a free display number itself and writes it to its
        // standard output: tests running side by side never share one.
        const fs::path num = fs::temp_directory_path() / ("vestro-xvfb-" + std::to_string(getpid()));
        if (!StartProcess({"sh", "-c", "exec Xvfb -displayfd 1 -screen 0 640x480x24 -nolisten tcp >\"$0\" 2>/dev/null",
                           num.string()},
                          &Pid))
            return;
        for (int i = 0; i < 200 && Display.empty(); ++i) { // up to 10 s for the server to listen
            std::this_thread::sleep_for(50ms);
            std::string n;
            std::getline(std::ifstream(num), n);
            if (!n.empty() && n.find_first_not_of("0123456789") == std::string::npos)
                Display = ":" + n;
        }
        fs::remove(num);
        if (Display.empty()) {
            kill(Pid, SIGTERM);
            Pid = 0;
            return;
        }
        setenv("DISPLAY", Display.c_str(), 1);
    }
    ~TXServer()
    {
        if (Pid)
            kill(Pid, SIGTERM);
        if (HadDisplay)
            setenv("DISPLAY", OldDisplay.c_str(), 1);
        else
            unsetenv("DISPLAY");
    }
};

std::string WindowTitle(uint32_t W)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    std::string t;
    if (xcb_get_property_reply_t* r = xcb_get_property_reply(
            c, xcb_get_property(c, 0, W, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 256), nullptr)) {
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
        // The program's id goes to a file through a redirection: run it
        // under "sh -c" only here, in the test.
        int pid = 0;
        ASSERT_TRUE(StartProcess(
            {"sh", "-c", "exec \"$0\" \"$1\" > \"$2\"", VESTRO_TEST_BIN_DIR "/window_program", mark, out.string()},
            &pid));
        const uint32_t w = WaitForProcessWindow(pid);
        const bool titled = SetProcessWindowTitle(w, "IMG 0001.jpg:50%");
        const std::string title = WindowTitle(w);
        std::string expected;
        for (int i = 0; i < 100 && expected.empty(); ++i, std::this_thread::sleep_for(20ms))
            std::getline(std::ifstream(out), expected);
        kill(pid, SIGKILL);
        fs::remove(out);
        ASSERT_NE(w, 0u);
        EXPECT_EQ(std::to_string(w), expected) << "the owned window shown first must not be taken";
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
    const char* d = std::getenv("DISPLAY");
    const std::string keep = d ? d : "";
    unsetenv("DISPLAY");
    int pid = 0;
    ASSERT_TRUE(StartProcess({"sleep", "1"}, &pid));
    EXPECT_EQ(WaitForProcessWindow(pid), 0u);
    EXPECT_FALSE(SetProcessWindowTitle(1, "x"));
    if (d)
        setenv("DISPLAY", keep.c_str(), 1);
}
