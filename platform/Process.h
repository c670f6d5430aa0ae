// Starting external programs: with an argument vector, never through a shell.
//
// Args[0] is the program: a path when it holds a "/", otherwise looked up in
// PATH. The child gets the caller's environment and current folder, standard
// input from /dev/null (a tool never waits on our terminal), our standard
// output and error, and no other open file of ours. It runs in a process group
// of its own, so that ending it ends whatever it started too.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class TProcessCancel;

// Runs the program and waits for it without a time limit (unless Cancel ends
// it). Returns its exit code (0..255), 128 + the signal number when a signal
// ended it (a cancelled child gives 137), or -1 when it could not be started
// (missing program, no permission, empty Args, or cancelled before the start).
// Quiet: the tool's standard output and error go to /dev/null instead of
// ours (the caller reports a failure itself, by the exit code). Said, when
// given, receives instead the last 4 KB of what the tool wrote to either
// (its reason when it fails); the tool never writes to ours then.
// MemoryLimit, when not 0, is the most address space in bytes the tool may
// take (RLIMIT_AS): an allocation past it fails in the tool, which then ends
// with its own error instead of taking the machine. The launcher sets it
// before the tool starts; a tool started without one has no limit.
int RunProcessAndWait(const std::vector<std::string>& Args, TProcessCancel* Cancel = nullptr, bool Quiet = false,
                      std::string* Said = nullptr, uint64_t MemoryLimit = 0);

// The launcher that tools waited for by RunProcessAndWait are started
// through (bin/vestro-tool), so that they end when this program ends, even
// when it is killed outright, and start under their memory limit. Ignored when Path is not an executable file.
// Call once at start-up, before any tool runs; without it tools are started
// directly.
void SetToolLauncher(const std::string& Path);

// Lets another thread end the programs that RunProcessAndWait calls are
// waiting for (the batch cancel). One object may serve many calls at once.
class TProcessCancel {
public:
    // Kills (SIGKILL) the process group of every child now waited for with this
    // object; calls that start later return -1 without starting anything.
    void Cancel();
    bool Cancelled() const;

private:
    friend int RunProcessAndWait(const std::vector<std::string>&, TProcessCancel*, bool, std::string*, uint64_t);
    // Starts the child and records it in one step under the lock, so that a
    // Cancel either comes first (nothing starts: -1) or finds the child.
    int Start(const std::vector<std::string>& Args, bool Quiet, int OutFd, uint64_t MemoryLimit);
    void Leave(int Pid);

    mutable std::mutex FLock;
    bool FCancelled = false;
    std::vector<int> FChildren; // started and not yet reaped: their ids cannot be reused
};

// Starts the program without waiting (external viewer, after-run command);
// the child is reaped in the background. False when it could not be started.
// Pid, when given, receives the child's process id (to find its window).
bool StartProcess(const std::vector<std::string>& Args, int* Pid = nullptr);

// Splits a command line that the user typed into arguments: blanks separate
// them, double quotation marks group blanks into one argument and are removed
// ("" gives an empty argument). Nothing else is interpreted: no variables, no
// wildcards, no backslash escapes.
std::vector<std::string> SplitCommandLine(const std::string& CommandLine);
