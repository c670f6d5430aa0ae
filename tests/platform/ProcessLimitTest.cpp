// Tools start through the launcher under the memory limit they are given:
// what they ask for beyond it fails in the tool.
#include "platform/Process.h"

#include <gtest/gtest.h>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

namespace {

const std::string kLauncher = std::string(VESTRO_DIST_DIR) + "/bin/vestro-tool";

struct TLauncher {
    explicit TLauncher(const std::string& Path) { SetToolLauncher(Path); }
    ~TLauncher() { SetToolLauncher(""); }
};

// What "ulimit -v" says in a tool started with Limit (KiB, or "unlimited").
std::string ToolsLimit(uint64_t Limit)
{
    std::string Said;
    EXPECT_EQ(RunProcessAndWait({"/bin/sh", "-c", "ulimit -v"}, nullptr, false, &Said, Limit), 0) << Said;
    return Said;
}

std::string OwnLimit()
{
    struct rlimit L { };
    getrlimit(RLIMIT_AS, &L);
    return L.rlim_cur == RLIM_INFINITY ? "unlimited\n" : std::to_string(L.rlim_cur / 1024) + "\n";
}

} // namespace

TEST(ProcessLimit, AToolRunsUnderItsLimitFromItsStart)
{
    const TLauncher Set(kLauncher);
    EXPECT_EQ(ToolsLimit(uint64_t(300) << 20), "307200\n");
    EXPECT_EQ(ToolsLimit(0), OwnLimit()) << "no limit asked, none set";
    // A buffer beyond the limit cannot be had; one within it can.
    std::string Said;
    const std::vector<std::string> Dd = {"dd", "if=/dev/zero", "of=/dev/null", "bs=400M", "count=1"};
    EXPECT_NE(RunProcessAndWait(Dd, nullptr, false, &Said, uint64_t(300) << 20), 0) << Said;
    EXPECT_EQ(RunProcessAndWait(Dd, nullptr, false, &Said, uint64_t(1) << 30), 0) << Said;
    // A cancellable run passes it on as well.
    TProcessCancel Cancel;
    EXPECT_EQ(RunProcessAndWait({"/bin/sh", "-c", "ulimit -v"}, &Cancel, false, &Said, uint64_t(300) << 20), 0);
    EXPECT_EQ(Said, "307200\n");
}

TEST(ProcessLimit, TheLauncherNeverDropsALimitItCannotRead)
{
    const std::string Parent = std::to_string(getpid());
    const struct {
        const char* Option;
        int Status;
    } Cases[] = {
        {"--memory-limit=1073741824", 0}, {"--memory-limit=", 127},   {"--memory-limit=12x", 127},
        {"--memory-limit=0", 127},        {"--memory-limit=-1", 127},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(RunProcessAndWait({kLauncher, Parent, C.Option, "/bin/true"}), C.Status) << C.Option;
    // The limit alone, with no program after it.
    EXPECT_EQ(RunProcessAndWait({kLauncher, Parent, "--memory-limit=1073741824"}), 127);
}
