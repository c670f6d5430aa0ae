#include "platform/SysInfo.h"

#include <sched.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace platform {

namespace {

std::string& ProgramFile()
{
    static std::string File;
    return File;
}

std::string RunningExecutablePath()
{
    // readlink does not say whether it truncated: grow until it fits.
    std::vector<char> buf(4096);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < buf.size())
            return std::string(buf.data(), static_cast<size_t>(n));
        if (buf.size() >= (1u << 20))
            return {};
        buf.resize(buf.size() * 2);
    }
}

} // namespace

std::string ExecutablePath()
{
    return ProgramFile().empty() ? RunningExecutablePath() : ProgramFile();
}

void TakeProgramFile()
{
    const char* named = std::getenv(kProgramFileVariable);
    const std::string front = named ? named : "";
    unsetenv(kProgramFileVariable);
    const size_t slash = front.rfind('/');
    if (front.empty() || front.front() != '/' || slash == std::string::npos)
        return;
    const std::string own = RunningExecutablePath();
    const std::string bin = front.substr(0, slash + 1) + "bin/";
    if (own.compare(0, bin.size(), bin) != 0 || own.find('/', bin.size()) != std::string::npos)
        return;
    if (access(front.c_str(), X_OK) == 0)
        ProgramFile() = front;
}

uint64_t PhysicalMemoryBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? uint64_t(pages) * uint64_t(size) : 0;
}

uint64_t AvailableMemoryBytes()
{
    if (FILE* f = std::fopen("/proc/meminfo", "re")) {
        char line[256];
        unsigned long long kib = 0;
        bool found = false;
        while (std::fgets(line, sizeof line, f)) {
            if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) {
                found = true;
                break;
            }
        }
        std::fclose(f);
        if (found)
            return static_cast<uint64_t>(kib) * 1024;
    }
    struct sysinfo si { };
    if (sysinfo(&si) == 0)
        return static_cast<uint64_t>(si.freeram) * si.mem_unit;
    return 0;
}

namespace {

std::string ReadText(const std::string& Path)
{
    std::ifstream f(Path);
    if (!f)
        return {};
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<std::string> Split(const std::string& S, char Sep)
{
    std::vector<std::string> r;
    size_t start = 0;
    for (;;) {
        const size_t p = S.find(Sep, start);
        r.push_back(S.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos)
            return r;
        start = p + 1;
    }
}

// Quota over period as whole CPUs, rounded up; 0 for no limit or nonsense.
int QuotaCpus(long long Quota, long long Period)
{
    if (Quota <= 0 || Period <= 0)
        return 0;
    return int(std::min<long long>((Quota + Period - 1) / Period, 1 << 20));
}

// The group folder Path (as /proc/self/cgroup names it) under a mount whose
// root is Root, and each parent up to the mount point. Empty when the group
// lies outside the mount.
std::vector<std::string> GroupDirs(const std::string& Mount, const std::string& Root, std::string Path)
{
    if (Root != "/") {
        if (Path.compare(0, Root.size(), Root) != 0 || (Path.size() > Root.size() && Path[Root.size()] != '/'))
            return {};
        Path = Path.substr(Root.size());
    }
    std::vector<std::string> dirs;
    while (!Path.empty() && Path != "/") {
        dirs.push_back(Mount + Path);
        Path = Path.substr(0, Path.find_last_of('/'));
    }
    dirs.push_back(Mount);
    return dirs;
}

} // namespace

int CgroupCpuQuota(const std::string& MountInfo, const std::string& Cgroup,
                   const std::function<std::string(const std::string&)>& Read)
{
    // Group paths by hierarchy: "" for version 2, else the controller list.
    std::string v2Path, v1Path;
    bool hasV2 = false, hasV1 = false;
    for (const std::string& line : Split(Cgroup, '\n')) {
        const size_t a = line.find(':'), b = a == std::string::npos ? a : line.find(':', a + 1);
        if (b == std::string::npos)
            continue;
        const std::string ctl = line.substr(a + 1, b - a - 1), path = line.substr(b + 1);
        if (ctl.empty()) {
            v2Path = path;
            hasV2 = true;
        }
        for (const std::string& c : Split(ctl, ','))
            if (c == "cpu") {
                v1Path = path;
                hasV1 = true;
            }
    }
    int best = 0;
    auto take = [&best](int Cpus) {
        if (Cpus > 0 && (best == 0 || Cpus < best))
            best = Cpus;
    };
    for (const std::string& line : Split(MountInfo, '\n')) {
        // id parent major:minor root mount-point options [tags] - type source super-options
        std::istringstream in(line);
        std::string id, parent, dev, root, mount, word;
        if (!(in >> id >> parent >> dev >> root >> mount))
            continue;
        while (in >> word && word != "-") { }
        std::string type, source, super;
        in >> type >> source >> super;
        if (type == "cgroup2" && hasV2) {
            for (const std::string& dir : GroupDirs(mount, root, v2Path)) {
                std::istringstream q(Read(dir + "/cpu.max"));
                std::string quota;
                long long period = 0;
                if (q >> quota >> period && quota != "max")
                    take(QuotaCpus(std::atoll(quota.c_str()), period));
            }
        } else if (type == "cgroup" && hasV1) {
            const std::vector<std::string> opts = Split(super, ',');
            if (std::find(opts.begin(), opts.end(), "cpu") == opts.end())
                continue;
            for (const std::string& dir : GroupDirs(mount, root, v1Path)) {
                const std::string quota = Read(dir + "/cpu.cfs_quota_us"), period = Read(dir + "/cpu.cfs_period_us");
                if (!quota.empty() && !period.empty())
                    take(QuotaCpus(std::atoll(quota.c_str()), std::atoll(period.c_str())));
            }
        }
    }
    return best;
}

int UsableProcessorCount()
{
    static const int count = [] {
        int n = 0;
        for (size_t cpus = 1024; cpus <= (size_t(1) << 16) && n == 0; cpus *= 2) {
            cpu_set_t* set = CPU_ALLOC(cpus);
            if (!set)
                break;
            const size_t size = CPU_ALLOC_SIZE(cpus);
            if (sched_getaffinity(0, size, set) == 0)
                n = CPU_COUNT_S(size, set);
            CPU_FREE(set);
            if (n == 0 && errno != EINVAL)
                break;
        }
        if (n < 1)
            n = int(std::max(1u, std::thread::hardware_concurrency()));
        const int quota = CgroupCpuQuota(ReadText("/proc/self/mountinfo"), ReadText("/proc/self/cgroup"), ReadText);
        if (quota > 0)
            n = std::min(n, quota);
        return std::max(n, 1);
    }();
    return count;
}

std::string GetEnv(const char* Name)
{
    const char* v = std::getenv(Name);
    return v ? std::string(v) : std::string();
}

} // namespace platform
