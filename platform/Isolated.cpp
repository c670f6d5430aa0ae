#include "platform/Isolated.h"
#include "platform/Spawn.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

bool WriteAll(int Fd, const void* Data, size_t N)
{
    const auto* p = static_cast<const uint8_t*>(Data);
    while (N > 0) {
        const ssize_t w = write(Fd, p, N);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        N -= size_t(w);
    }
    return true;
}

bool ReadAll(int Fd, void* Data, size_t N)
{
    auto* p = static_cast<uint8_t*>(Data);
    while (N > 0) {
        const ssize_t r = read(Fd, p, N);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        p += r;
        N -= size_t(r);
    }
    return true;
}

namespace platform {

namespace {

// The folder of the program or shared library this code is part of, with "/".
std::string OwnFolder()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || !info.dli_fname)
        return {};
    const std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

struct TFd {
    int Fd = -1;
    ~TFd()
    {
        if (Fd >= 0)
            close(Fd);
    }
};

} // namespace

bool RunHelper(const std::string& Name, const std::vector<std::string>& Args, const void* Input, size_t Size,
               const std::function<bool(int ReadFd)>& Parent)
{
    const std::string program = OwnFolder() + Name;
    TFd in{memfd_create("helper-input", MFD_CLOEXEC)}, out, outWrite;
    int fds[2];
    if (in.Fd < 0 || !WriteAll(in.Fd, Input, Size) || lseek(in.Fd, 0, SEEK_SET) != 0 || pipe2(fds, O_CLOEXEC) != 0)
        return false;
    out.Fd = fds[0];
    outWrite.Fd = fds[1];
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : Args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // Signals the program ignores or blocks would stay so in the helper; the
    // time limit and a crash must end it.
    TSpawnSetup spawn({SIGPIPE, SIGALRM, SIGTERM, SIGINT, SIGHUP, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT});
    if (!spawn.Ok())
        return false;
    posix_spawn_file_actions_adddup2(&spawn.Actions, in.Fd, 0);
    posix_spawn_file_actions_adddup2(&spawn.Actions, outWrite.Fd, 1);
    posix_spawn_file_actions_addopen(&spawn.Actions, 2, "/dev/null", O_WRONLY, 0);
    spawn.CloseTheRest();
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &spawn.Actions, &spawn.Attrs, argv.data(), environ);
    if (rc != 0)
        return false;
    close(outWrite.Fd); // the helper's end: reading sees the end of data when it ends
    outWrite.Fd = -1;
    const bool ok = Parent(out.Fd);
    close(out.Fd); // a helper still writing gets SIGPIPE
    out.Fd = -1;
    if (!ok)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void StartHelperLimits(unsigned Seconds)
{
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) // it ended before the line above
        _exit(137);
    alarm(Seconds);
}

bool ReadWholeInput(int Fd, std::vector<uint8_t>& Data, uint64_t Limit)
{
    Data.clear();
    uint8_t buf[65536];
    for (;;) {
        const ssize_t r = read(Fd, buf, sizeof buf);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || Data.size() + uint64_t(r > 0 ? r : 0) > Limit)
            return false;
        if (r == 0)
            return true;
        Data.insert(Data.end(), buf, buf + r);
    }
}

void EndHelper(int Status)
{
    _exit(Status & 255);
}

} // namespace platform
