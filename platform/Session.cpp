#include "platform/Session.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace platform {

namespace {
int SignalWriteFd = -1;

void OnStopSignal(int)
{
    // Only async-signal-safe calls here; a full pipe just drops the byte.
    const char c = 1;
    [[maybe_unused]] ssize_t n = write(SignalWriteFd, &c, 1);
}
} // namespace

uint32_t CurrentUserId()
{
    return uint32_t(getuid());
}

int CatchStopSignals()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    SignalWriteFd = fds[1];
    struct sigaction sa = {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    return fds[0];
}

void DrainStopSignals(int Fd)
{
    char buf[16];
    while (read(Fd, buf, sizeof buf) > 0) {
    }
}

} // namespace platform
