// The processor count the process may use: control-group quotas of either
// version, seen from the host or from inside a container.
#include "platform/SysInfo.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <map>

namespace {

struct FakeFiles {
    std::map<std::string, std::string> Files;
    std::string operator()(const std::string& Path) const
    {
        const auto It = Files.find(Path);
        return It == Files.end() ? std::string() : It->second;
    }
};

const char V2Mount[] = "30 23 0:26 / /sys/fs/cgroup rw,nosuid shared:4 - cgroup2 cgroup2 rw,nsdelegate\n";
const char V1Mount[] = "22 20 0:20 / /proc rw - proc proc rw\n"
                       "32 31 0:29 / /sys/fs/cgroup/cpu,cpuacct rw,relatime - cgroup cgroup rw,cpu,cpuacct\n"
                       "33 31 0:30 / /sys/fs/cgroup/cpuset rw,relatime - cgroup cgroup rw,cpuset\n";

} // namespace

TEST(SysInfo, CgroupQuotaIsTheTightestOfTheGroupAndItsParentsRoundedUp)
{
    FakeFiles F{{{"/sys/fs/cgroup/app.slice/run/cpu.max", "150000 100000\n"},
                 {"/sys/fs/cgroup/app.slice/cpu.max", "max 100000\n"}}};
    EXPECT_EQ(platform::CgroupCpuQuota(V2Mount, "0::/app.slice/run\n", F), 2);
    F.Files["/sys/fs/cgroup/app.slice/cpu.max"] = "50000 100000\n";
    EXPECT_EQ(platform::CgroupCpuQuota(V2Mount, "0::/app.slice/run\n", F), 1);
    // No limit anywhere, or no cgroup file system at all.
    F.Files = {{"/sys/fs/cgroup/cpu.max", "max 100000\n"}};
    EXPECT_EQ(platform::CgroupCpuQuota(V2Mount, "0::/\n", F), 0);
    EXPECT_EQ(platform::CgroupCpuQuota("", "0::/\n", F), 0);

    // Version 1 with the controllers mounted together; -1 means no quota.
    const std::string Groups = "5:cpuset:/\n4:cpu,cpuacct:/batch\n1:name=systemd:/\n";
    F.Files = {{"/sys/fs/cgroup/cpu,cpuacct/batch/cpu.cfs_quota_us", "250000\n"},
               {"/sys/fs/cgroup/cpu,cpuacct/batch/cpu.cfs_period_us", "100000\n"},
               {"/sys/fs/cgroup/cpu,cpuacct/cpu.cfs_quota_us", "-1\n"},
               {"/sys/fs/cgroup/cpu,cpuacct/cpu.cfs_period_us", "100000\n"}};
    EXPECT_EQ(platform::CgroupCpuQuota(V1Mount, Groups, F), 3);
    F.Files["/sys/fs/cgroup/cpu,cpuacct/batch/cpu.cfs_quota_us"] = "-1\n";
    EXPECT_EQ(platform::CgroupCpuQuota(V1Mount, Groups, F), 0);
}

TEST(SysInfo, CgroupQuotaInsideAContainerIsReadAtTheMountItself)
{
    // The container sees its own group as the root of the mount.
    const char Mount[] = "700 690 0:26 /docker/c0ffee /sys/fs/cgroup ro - cgroup2 cgroup rw\n";
    FakeFiles F{{{"/sys/fs/cgroup/cpu.max", "200000 100000\n"}}};
    EXPECT_EQ(platform::CgroupCpuQuota(Mount, "0::/docker/c0ffee\n", F), 2);
    // A group outside the mounted part is not guessed at.
    EXPECT_EQ(platform::CgroupCpuQuota(Mount, "0::/other\n", F), 0);
}
