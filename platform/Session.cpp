#include "platform/Session.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {
// The write end of the stop pipe; constant-initialized, so the signal handler
// may read it.
int& SignalWriteFd()
{
    static int Fd = -1;
    return Fd;
}

void OnStopSignal(int)
{
    // Only async-signal-safe calls here; a full pipe just drops the byte.
    const char c = 1;
    [[maybe_unused]] ssize_t n = write(SignalWriteFd(), &c, 1);
}
} // namespace

uint32_t CurrentUserId()
{
    return uint32_t(getuid());
}

namespace {
bool IsPrivateFolder(const std::string& Path)
{
    struct stat st;
    return !Path.empty() && lstat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
        (st.st_mode & 077) == 0;
}
} // namespace

std::string PrivateRuntimeFolder(const std::string& Preferred, const std::string& TempDir)
{
    if (IsPrivateFolder(Preferred))
        return Preferred;
    if (TempDir.empty())
        return {};
    const std::string own = TempDir + "/vestro-" + std::to_string(CurrentUserId());
    // An existing one is taken only as it passes the check: mkdir neither
    // follows a link nor changes a folder that someone else made first.
    if (mkdir(own.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    return IsPrivateFolder(own) ? own : std::string();
}

bool PeerIsCurrentUser(intptr_t Fd)
{
    struct ucred cred = {};
    socklen_t len = sizeof cred;
    return Fd >= 0 && getsockopt(int(Fd), SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && len == sizeof cred &&
        cred.uid == geteuid();
}

TStderrCapture::TStderrCapture()
{
    std::fflush(stderr);
    FTaken = memfd_create("stderr", MFD_CLOEXEC);
    FSaved = FTaken >= 0 ? fcntl(2, F_DUPFD_CLOEXEC, 3) : -1;
    if (FSaved < 0 || dup2(FTaken, 2) < 0) {
        End();
        FSaved = -1;
    }
}

std::string TStderrCapture::End()
{
    std::string text;
    std::fflush(stderr);
    if (FSaved >= 0) {
        dup2(FSaved, 2);
        close(FSaved);
        char buf[4096];
        ssize_t n;
        for (off_t at = 0; (n = pread(FTaken, buf, sizeof buf, at)) > 0 || (n < 0 && errno == EINTR);
             at += n > 0 ? n : 0)
            if (n > 0)
                text.append(buf, size_t(n));
    }
    if (FTaken >= 0)
        close(FTaken);
    FSaved = FTaken = -1;
    return text;
}

int CatchStopSignals()
{
    // One pipe for the process: a start that waited for another instance
    // and then does the work itself keeps what it caught meanwhile.
    static int readFd = -1;
    if (readFd >= 0)
        return readFd;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    readFd = fds[0];
    SignalWriteFd() = fds[1];
    struct sigaction sa = {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &sa, nullptr);
    return fds[0];
}

void IgnoreBrokenPipes()
{
    signal(SIGPIPE, SIG_IGN);
}

bool DrainStopSignals(int Fd)
{
    char buf[16];
    bool any = false;
    while (read(Fd, buf, sizeof buf) > 0)
        any = true;
    return any;
}

} // namespace platform
