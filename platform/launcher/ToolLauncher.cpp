// Starts a tool that ends with the program that asked for it:
//
//   vestro-tool PARENT-PID PROGRAM ARGS...
//
// The tool is executed in this process after the kernel was asked to kill it
// when its parent ends, so that a program killed outright (SIGKILL) leaves no
// tool writing into its output folder. Status 127 when PROGRAM cannot be
// executed, 137 when the parent had already ended.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 127;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != pid_t(std::strtol(argv[1], nullptr, 10)))
        _exit(137); // the parent ended before the line above
    execv(argv[2], argv + 2);
    _exit(127);
}
