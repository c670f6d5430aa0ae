// Starts a tool that ends with the program that asked for it:
//
//   vestro-tool PARENT-PID [--memory-limit=BYTES] PROGRAM ARGS...
//
// The tool is executed in this process after the kernel was asked to kill it
// when its parent ends, so that a program killed outright (SIGKILL) leaves no
// tool writing into its output folder. With a memory limit the tool's address
// space is held to BYTES (RLIMIT_AS) from its first instruction: a damaged
// input that makes it ask for gigabytes fails in the tool, not the machine.
// Status 127 when PROGRAM cannot be executed or the limit cannot be set, 137
// when the parent had already ended.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 127;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != pid_t(std::strtol(argv[1], nullptr, 10)))
        _exit(137); // the parent ended before the line above
    int Program = 2;
    static const char Option[] = "--memory-limit=";
    if (std::strncmp(argv[Program], Option, sizeof Option - 1) == 0) {
        const char* Value = argv[Program] + sizeof Option - 1;
        char* End = nullptr;
        errno = 0;
        const unsigned long long Bytes = std::strtoull(Value, &End, 10);
        // A limit that cannot be read or set is never silently dropped.
        struct rlimit Limit { };
        if (*Value < '0' || *Value > '9' || errno != 0 || *End != 0 || Bytes == 0 || getrlimit(RLIMIT_AS, &Limit) != 0)
            _exit(127);
        // A process may lower its limits, never raise them: a lower one it
        // has already stays.
        if (Limit.rlim_max == RLIM_INFINITY || rlim_t(Bytes) < Limit.rlim_max)
            Limit.rlim_max = rlim_t(Bytes);
        Limit.rlim_cur = Limit.rlim_max;
        if (setrlimit(RLIMIT_AS, &Limit) != 0)
            _exit(127);
        if (++Program >= argc)
            _exit(127);
    }
    execv(argv[Program], argv + Program);
    _exit(127);
}
