#include "platform/Isolated.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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

bool RunIsolated(const std::function<int(int WriteFd)>& Child, const std::function<bool(int ReadFd)>& Parent,
                 unsigned TimeLimitSeconds)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int s : {SIGPIPE, SIGALRM, SIGTERM, SIGINT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
            signal(s, SIG_DFL);
        alarm(TimeLimitSeconds);
        _exit(Child(fds[1]) & 255);
    }
    close(fds[1]);
    const bool ok = Parent(fds[0]);
    close(fds[0]); // a child still writing gets SIGPIPE
    int status = 0;
    if (!ok)
        kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
