#include "platform/LeftTempFiles.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

namespace platform {

namespace {

const char kDigits[] = "0123456789abcdefghijklmnopqrstuv";

std::string Base32(uint64_t V, int Digits)
{
    std::string s(size_t(Digits), '0');
    for (int i = Digits - 1; i >= 0; --i, V >>= 5)
        s[size_t(i)] = kDigits[V & 31];
    return s;
}

std::string PidDigits(uint64_t Pid)
{
    int n = 1;
    while (n < 13 && (Pid >> (5 * n)) != 0)
        ++n;
    return Base32(Pid, n);
}

std::string HostTag()
{
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    uint64_t h = 1469598103934665603ull; // FNV-1a
    for (const char* p = host; *p; ++p)
        h = (h ^ uint8_t(*p)) * 1099511628211ull;
    return Base32(h, 4);
}

bool IsDigit32(char C)
{
    return (C >= '0' && C <= '9') || (C >= 'a' && C <= 'v');
}

// The writer's process id when Name is one of our temporary names made on
// this machine, else -1. The name is "." + at least one character (no line
// break) + ".~" + 8 digits + "-" + 1 to 7 digits of the id + "-" + 4 digits
// of the machine + ".tmp" or ".png", digits in base 32 (0-9, a-v). Read from
// the end: no digit is a "-", so every part's length is fixed there.
long WriterOf(std::string_view Name, const std::string& Host)
{
    auto cut = [&Name](std::string_view Tail) {
        if (Name.size() < Tail.size() || Name.substr(Name.size() - Tail.size()) != Tail)
            return false;
        Name.remove_suffix(Tail.size());
        return true;
    };
    auto digits = [&Name](size_t Most) {
        size_t n = 0;
        while (n < Most && n < Name.size() && IsDigit32(Name[Name.size() - 1 - n]))
            ++n;
        const std::string_view d = Name.substr(Name.size() - n);
        Name.remove_suffix(n);
        return d;
    };
    if (!cut(".tmp") && !cut(".png"))
        return -1;
    const std::string_view host = digits(4);
    if (host.size() != 4 || host != Host || !cut("-"))
        return -1;
    const std::string_view pid = digits(7);
    if (pid.empty() || !cut("-") || digits(8).size() != 8 || !cut(".~"))
        return -1;
    if (Name.size() < 2 || Name[0] != '.' || Name.find_first_of("\r\n") != std::string_view::npos)
        return -1;
    long v = 0;
    for (const char c : pid)
        v = v * 32 + (c <= '9' ? c - '0' : c - 'a' + 10);
    return v;
}

} // namespace

const std::string& WriterTag()
{
    static const std::string tag = PidDigits(uint64_t(getpid())) + "-" + HostTag();
    return tag;
}

int RemoveLeftTempFiles(const std::string& Folder)
{
    const int dir = open(Folder.empty() ? "." : Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return 0;
    DIR* d = fdopendir(dir);
    if (!d) {
        close(dir);
        return 0;
    }
    const std::string host = WriterTag().substr(WriterTag().size() - 4);
    int removed = 0;
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        const long pid = WriterOf(name, host);
        struct stat st;
        if (pid < 0 || pid == long(getpid()) || fstatat(dir, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != geteuid())
            continue;
        // Gone: no process has that id now (one that has it may be another
        // program by now, but then the file only waits for a later run).
        if (kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        if (unlinkat(dir, e->d_name, 0) == 0)
            ++removed;
    }
    closedir(d);
    return removed;
}

} // namespace platform
