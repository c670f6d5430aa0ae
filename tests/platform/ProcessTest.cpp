#include "platform/Process.h"

#include <gtest/gtest.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A fresh file name in the temporary folder, removed at the end of the test.
struct TempFile {
    fs::path Path;
    explicit TempFile(const char* Name)
        : Path(fs::temp_directory_path() / ("vestro-" + std::to_string(getpid()) + Name))
    {
        fs::remove(Path);
    }
    ~TempFile() { fs::remove(Path); }
    // Waits for the file (up to 30 s: a loaded machine starts a shell slowly).
    std::string Read() const
    {
        for (int i = 0; i < 3000 && !fs::exists(Path); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::stringstream s;
        s << std::ifstream(Path, std::ios::binary).rdbuf();
        return s.str();
    }
};

double SecondsSince(Clock::time_point T)
{
    return std::chrono::duration<double>(Clock::now() - T).count();
}

// Waits until no process has the id Pid any more, or only its zombie.
bool Gone(int Pid)
{
    bool gone = false;
    for (int i = 0; i < 3000 && !gone; ++i) {
        std::ifstream st("/proc/" + std::to_string(Pid) + "/stat");
        std::string pid, name, state;
        gone = !(st >> pid >> name >> state) || state == "Z";
        std::this_thread::sleep_for(std::chrono::milliseconds(gone ? 0 : 10));
    }
    return gone;
}

// Tools are started directly, and through the launcher that ties them to us.
const std::string kLauncher = std::string(VESTRO_DIST_DIR) + "/bin/vestro-tool";
const char* const kLaunchers[] = {"", kLauncher.c_str()};

} // namespace

TEST(Process, ArgumentsAndExitCodesComeThrough)
{
    for (const char* launcher : kLaunchers) {
        SCOPED_TRACE(launcher);
        SetToolLauncher(launcher);
        TempFile out("args");
        const std::vector<std::string> tricky = {"with space", "\"quoted\"", "it's",        "Grüße ✓ 写真",
                                                 "",           "$HOME *",    "back\\slash", "new\nline"};
        std::vector<std::string> args = {"/bin/sh", "-c", "printf '[%s]' \"$@\" > \"$0\"", out.Path.string()};
        args.insert(args.end(), tricky.begin(), tricky.end());
        ASSERT_EQ(RunProcessAndWait(args), 0);
        std::string want;
        for (const auto& a : tricky)
            want += "[" + a + "]";
        EXPECT_EQ(out.Read(), want);

        EXPECT_EQ(RunProcessAndWait({"/bin/sh", "-c", "exit 3"}), 3);
        EXPECT_EQ(RunProcessAndWait({"sh", "-c", "exit 255"}), 255); // found in PATH
        EXPECT_EQ(RunProcessAndWait({"/bin/sh", "-c", "kill -TERM $$"}), 128 + SIGTERM);
        // A file this program holds open (an output being written) is not handed to the tool.
        const int held = open("/dev/null", O_RDONLY);
        EXPECT_EQ(RunProcessAndWait({"/bin/sh", "-c", "test ! -e /proc/self/fd/" + std::to_string(held)}), 0);
        close(held);
        // Not started at all, launcher or not.
        EXPECT_EQ(RunProcessAndWait({"/nonexistent/bin/tool", "x"}), -1);
        EXPECT_EQ(RunProcessAndWait({"vestro-no-such-tool-anywhere"}), -1);
    }
    SetToolLauncher("");
}

TEST(Process, MissingProgramFailsAtOnce)
{
    const auto t = Clock::now();
    EXPECT_EQ(RunProcessAndWait({"/nonexistent/bin/tool", "x"}), -1);
    EXPECT_EQ(RunProcessAndWait({"vestro-no-such-tool-anywhere"}), -1);
    EXPECT_EQ(RunProcessAndWait({}), -1);
    EXPECT_FALSE(StartProcess({"/nonexistent/bin/viewer"}));
    EXPECT_LT(SecondsSince(t), 2.0);
}

// A program killed outright takes the tool it waits for with it: no tool
// goes on writing into a folder after its run has gone.
TEST(Process, ToolsEndWithTheProgramThatWaitsForThem)
{
    TempFile pidFile("tied");
    const pid_t program = fork();
    if (program == 0) {
        SetToolLauncher(kLauncher);
        _exit(RunProcessAndWait(
            {"/bin/sh", "-c", "echo $$ > \"$0.t\"; mv \"$0.t\" \"$0\"; exec sleep 60", pidFile.Path.string()}));
    }
    const std::string tool = pidFile.Read();
    ASSERT_FALSE(tool.empty());
    kill(program, SIGKILL);
    waitpid(program, nullptr, 0);
    EXPECT_TRUE(Gone(std::stoi(tool)));
    // A launcher whose program has already gone starts nothing.
    EXPECT_EQ(RunProcessAndWait({kLauncher, "1", "/bin/true"}), 137);
}

TEST(Process, HungChildIsEndedFromAnotherThread)
{
    TProcessCancel cancel;
    TempFile pidFile("pid");
    // The shell starts a second sleeper: ending the tool ends what it started.
    std::string grandchild;
    std::thread canceller([&] {
        grandchild = pidFile.Read();
        cancel.Cancel();
    });
    const auto t = Clock::now();
    const int rc = RunProcessAndWait(
        {"/bin/sh", "-c", "sleep 60 & echo $! > \"$0.t\"; mv \"$0.t\" \"$0\"; wait", pidFile.Path.string()}, &cancel);
    canceller.join();
    // The shell had started (it wrote the file): a cancel that came while its
    // start was being recorded must still end it, not call it never started.
    EXPECT_EQ(rc, 128 + SIGKILL);
    EXPECT_LT(SecondsSince(t), 40.0);
    ASSERT_FALSE(grandchild.empty());

    EXPECT_TRUE(Gone(std::stoi(grandchild)));
    EXPECT_EQ(RunProcessAndWait({"/bin/sh", "-c", "exit 0"}, &cancel), -1); // nothing starts any more
}
