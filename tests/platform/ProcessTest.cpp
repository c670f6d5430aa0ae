#include "platform/Process.h"

#include <gtest/gtest.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A fresh file name in the temporary folder, removed at the end of the test.
struct TempFile {
    fs::path Path;
    explicit TempFile(const char* Name)
        : Path(fs::temp_directory_path() / (std::string("vestro-proc-") + std::to_string(getpid()) + "-" + Name))
    {
        fs::remove(Path);
    }
    ~TempFile() { fs::remove(Path); }
    std::string Read() const
    {
        std::ifstream f(Path, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
};

double SecondsSince(Clock::time_point T)
{
    return std::chrono::duration<double>(Clock::now() - T).count();
}

bool WaitForFile(const fs::path& P)
{
    for (int i = 0; i < 500 && !fs::exists(P); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fs::exists(P);
}

} // namespace

TEST(Process, ArgumentsArriveIntact)
{
    TempFile out("args");
    const std::vector<std::string> tricky = {"with space", "\"quoted\"", "it's", "Grüße ✓ 写真", "", "$HOME *",
                                             "back\\slash", "new\nline"};
    std::vector<std::string> args = {"/bin/sh", "-c", "out=$1; shift; printf '[%s]' \"$@\" > \"$out\"", "sh",
                                     out.Path.string()};
    args.insert(args.end(), tricky.begin(), tricky.end());
    ASSERT_EQ(RunProcessAndWait(args), 0);
    std::string want;
    for (const auto& a : tricky)
        want += "[" + a + "]";
    EXPECT_EQ(out.Read(), want);
}

TEST(Process, ExitCodesComeBack)
{
    EXPECT_EQ(RunProcessAndWait({"/bin/sh", "-c", "exit 3"}), 3);
    EXPECT_EQ(RunProcessAndWait({"/bin/sh", "-c", "exit 0"}), 0);
    EXPECT_EQ(RunProcessAndWait({"sh", "-c", "exit 255"}), 255); // found in PATH
    EXPECT_EQ(RunProcessAndWait({"/bin/sh", "-c", "kill -TERM $$"}), 128 + SIGTERM);
    // The wait returns only after the tool has ended.
    TempFile out("late");
    ASSERT_EQ(RunProcessAndWait({"/bin/sh", "-c", "sleep 0.2; echo done > \"$0\"", out.Path.string()}), 0);
    EXPECT_EQ(out.Read(), "done\n");
}

TEST(Process, MissingProgramFailsAtOnce)
{
    const auto t = Clock::now();
    EXPECT_EQ(RunProcessAndWait({"/nonexistent/bin/tool", "x"}), -1);
    EXPECT_EQ(RunProcessAndWait({"vestro-no-such-tool-anywhere"}), -1);
    EXPECT_EQ(RunProcessAndWait({}), -1);
    EXPECT_EQ(RunProcessAndWait({fs::temp_directory_path().string()}), -1); // a folder
    EXPECT_FALSE(StartProcess({"/nonexistent/bin/viewer"}));
    EXPECT_LT(SecondsSince(t), 2.0);
}

TEST(Process, HungChildIsEndedFromAnotherThread)
{
    TProcessCancel cancel;
    TempFile pidFile("pid");
    // The shell starts a second sleeper in the background: ending the tool
    // ends what it started too.
    std::thread canceller([&] {
        WaitForFile(pidFile.Path);
        cancel.Cancel();
    });
    const auto t = Clock::now();
    const int rc = RunProcessAndWait(
        {"/bin/sh", "-c", "sleep 60 & echo $! > \"$0.tmp\"; mv \"$0.tmp\" \"$0\"; wait", pidFile.Path.string()},
        &cancel);
    canceller.join();
    EXPECT_EQ(rc, 128 + SIGKILL);
    EXPECT_LT(SecondsSince(t), 20.0);

    const pid_t grandchild = std::stoi(pidFile.Read());
    bool gone = false;
    for (int i = 0; i < 300 && !gone; ++i) {
        std::ifstream st("/proc/" + std::to_string(grandchild) + "/stat");
        std::string pid, name, state;
        gone = !(st >> pid >> name >> state) || state == "Z";
        if (!gone)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone);

    // A cancelled token starts nothing more.
    EXPECT_TRUE(cancel.Cancelled());
    EXPECT_EQ(RunProcessAndWait({"/bin/sh", "-c", "exit 0"}, &cancel), -1);
}

TEST(Process, ChildGetsNoOpenFilesOfOurs)
{
    TempFile held("held");
    FILE* f = std::fopen(held.Path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    const std::string fd = std::to_string(fileno(f));
    EXPECT_EQ(RunProcessAndWait({"/bin/sh", "-c", "[ -e /proc/self/fd/" + fd + " ]"}), 1);
    std::fclose(f);
}

TEST(Process, StartWithoutWaiting)
{
    TempFile out("nowait");
    const auto t = Clock::now();
    ASSERT_TRUE(StartProcess({"/bin/sh", "-c", "sleep 0.3; echo ok > \"$0\"", out.Path.string()}));
    EXPECT_LT(SecondsSince(t), 0.3);
    EXPECT_TRUE(WaitForFile(out.Path));
}

TEST(Process, SplitCommandLine)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitCommandLine("  \"/opt/my viewer/view\" -t  \"/out dir\" x"),
              (V{"/opt/my viewer/view", "-t", "/out dir", "x"}));
    EXPECT_EQ(SplitCommandLine("a\"b c\"d \"\" $HOME"), (V{"ab cd", "", "$HOME"}));
    EXPECT_EQ(SplitCommandLine("   "), V{});
}
