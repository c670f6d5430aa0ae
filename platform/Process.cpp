#include "platform/Process.h"
#include "platform/Spawn.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// The helper that starts external tools tied to this process (SetToolLauncher).
std::string& ToolLauncher()
{
    static std::string Path;
    return Path;
}

bool IsExecutableFile(const std::string& Path)
{
    struct stat st;
    return stat(Path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(Path.c_str(), X_OK) == 0;
}

// Program as posix_spawnp would find it: a path when it holds a "/", else
// the first executable file of that name in PATH. Empty when there is none.
std::string FindProgram(const std::string& Program)
{
    if (Program.find('/') != std::string::npos)
        return IsExecutableFile(Program) ? Program : std::string();
    const char* path = getenv("PATH");
    const std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (size_t at = 0; at <= dirs.size();) {
        const size_t end = std::min(dirs.find(':', at), dirs.size());
        const std::string dir = end > at ? dirs.substr(at, end - at) : ".";
        if (IsExecutableFile(dir + "/" + Program))
            return dir + "/" + Program;
        at = end + 1;
    }
    return {};
}

// Spawns Args; returns the child's id or -1. OutFd >= 0 takes the child's
// standard output and error, else Quiet sends them to /dev/null. Tied: through
// the tool launcher, when there is one, so that it ends with this program.
// MemoryLimit: see RunProcessAndWait.
pid_t Spawn(const std::vector<std::string>& Args, bool Quiet = false, int OutFd = -1, bool Tied = false,
            uint64_t MemoryLimit = 0)
{
    if (Args.empty() || Args[0].empty())
        return -1;
    std::vector<std::string> launched;
    if (Tied && !ToolLauncher().empty()) {
        // A program that is not there is still "not started" (-1), not a
        // launcher that failed.
        const std::string program = FindProgram(Args[0]);
        if (program.empty())
            return -1;
        launched = {ToolLauncher(), std::to_string(getpid())};
        if (MemoryLimit != 0)
            launched.push_back("--memory-limit=" + std::to_string(MemoryLimit));
        launched.push_back(program);
        launched.insert(launched.end(), Args.begin() + 1, Args.end());
    }
    const std::vector<std::string>& run = launched.empty() ? Args : launched;
    std::vector<char*> argv;
    argv.reserve(run.size() + 1);
    for (const std::string& a : run)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // The tool starts in a process group of its own, so that a cancel ends
    // whatever it started too.
    platform::TSpawnSetup spawn({SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2},
                                POSIX_SPAWN_SETPGROUP);
    if (!spawn.Ok())
        return -1;
    posix_spawnattr_setpgroup(&spawn.Attrs, 0);
    posix_spawn_file_actions_addopen(&spawn.Actions, 0, "/dev/null", O_RDONLY, 0);
    if (OutFd >= 0) {
        posix_spawn_file_actions_adddup2(&spawn.Actions, OutFd, 1);
        posix_spawn_file_actions_adddup2(&spawn.Actions, OutFd, 2);
    } else if (Quiet) {
        posix_spawn_file_actions_addopen(&spawn.Actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&spawn.Actions, 1, 2);
    }
    spawn.CloseTheRest();

    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &spawn.Actions, &spawn.Attrs, argv.data(), environ);
    return rc == 0 ? pid : -1;
}

// Waits until the child has ended without reaping it: while it is a zombie
// its id, and its process group's id, cannot be given to another process.
void WaitUnreaped(pid_t Pid)
{
    siginfo_t info;
    while (waitid(P_PID, id_t(Pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) { }
}

int Reap(pid_t Pid)
{
    int status = 0;
    pid_t r;
    while ((r = waitpid(Pid, &status, 0)) < 0 && errno == EINTR) { }
    if (r != Pid)
        return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

} // namespace

void TProcessCancel::Cancel()
{
    std::lock_guard<std::mutex> g(FLock);
    FCancelled = true;
    for (int pid : FChildren)
        kill(-pid, SIGKILL);
}

bool TProcessCancel::Cancelled() const
{
    std::lock_guard<std::mutex> g(FLock);
    return FCancelled;
}

void SetToolLauncher(const std::string& Path)
{
    ToolLauncher() = IsExecutableFile(Path) ? Path : std::string();
}

int TProcessCancel::Start(const std::vector<std::string>& Args, bool Quiet, int OutFd, uint64_t MemoryLimit)
{
    std::lock_guard<std::mutex> g(FLock);
    if (FCancelled)
        return -1;
    const pid_t pid = Spawn(Args, Quiet, OutFd, true, MemoryLimit);
    if (pid >= 0)
        FChildren.push_back(pid);
    return pid;
}

void TProcessCancel::Leave(int Pid)
{
    std::lock_guard<std::mutex> g(FLock);
    std::erase(FChildren, Pid);
}

namespace {

// The last Limit bytes written to the memory file Fd.
std::string ReadTail(int Fd, size_t Limit)
{
    const off_t End = lseek(Fd, 0, SEEK_END);
    if (End <= 0)
        return {};
    const off_t From = End > off_t(Limit) ? End - off_t(Limit) : 0;
    std::string Out(size_t(End - From), '\0');
    size_t Got = 0;
    while (Got < Out.size()) {
        const ssize_t n = pread(Fd, Out.data() + Got, Out.size() - Got, From + off_t(Got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        Got += size_t(n);
    }
    Out.resize(Got);
    return Out;
}

} // namespace

int RunProcessAndWait(const std::vector<std::string>& Args, TProcessCancel* Cancel, bool Quiet, std::string* Said,
                      uint64_t MemoryLimit)
{
    if (Said)
        Said->clear();
    if (Cancel && Cancel->Cancelled())
        return -1;
    // What the tool says goes to a file in memory rather than a pipe: nothing
    // has to read while it runs, so a talkative tool can never block on us.
    int OutFd = -1;
    if (Said)
        OutFd = memfd_create("tool-output", MFD_CLOEXEC);
    struct TCloser {
        int Fd;
        ~TCloser()
        {
            if (Fd >= 0)
                close(Fd);
        }
    } CloseOut{OutFd};
    const pid_t pid = Cancel ? Cancel->Start(Args, Quiet || Said, OutFd, MemoryLimit)
                             : Spawn(Args, Quiet || Said, OutFd, true, MemoryLimit);
    if (pid < 0)
        return -1;
    if (Cancel) {
        WaitUnreaped(pid);
        Cancel->Leave(pid); // from here on Cancel no longer signals this group
    }
    const int Code = Reap(pid);
    if (Said && OutFd >= 0)
        *Said = ReadTail(OutFd, 4096);
    return Code;
}

bool StartProcess(const std::vector<std::string>& Args, int* Pid)
{
    const pid_t pid = Spawn(Args);
    if (pid < 0)
        return false;
    if (Pid)
        *Pid = pid;
    try {
        std::thread([pid] { Reap(pid); }).detach();
    } catch (...) {
        // No thread for the reaper: the child runs on and stays a zombie
        // after it ends, which is harmless.
    }
    return true;
}

std::vector<std::string> SplitCommandLine(const std::string& CommandLine)
{
    std::vector<std::string> args;
    std::string cur;
    bool inArg = false, quoted = false;
    for (char c : CommandLine) {
        if (c == '"') {
            quoted = !quoted;
            inArg = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
            if (inArg)
                args.push_back(cur);
            cur.clear();
            inArg = false;
        } else {
            cur += c;
            inArg = true;
        }
    }
    if (inArg)
        args.push_back(cur);
    return args;
}
