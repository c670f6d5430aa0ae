#include "platform/SysInfo.h"

#include <sys/sysinfo.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {

std::string ExecutablePath()
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
    struct sysinfo si {};
    if (sysinfo(&si) == 0)
        return static_cast<uint64_t>(si.freeram) * si.mem_unit;
    return 0;
}

std::string GetEnv(const char* Name)
{
    const char* v = std::getenv(Name);
    return v ? std::string(v) : std::string();
}

} // namespace platform
