// The user session of the running program: who runs it, and the signals a
// terminal or a script sends to stop it.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// The real user id of the process.
uint32_t CurrentUserId();

// A folder that only this user can reach, for the single instance's lock and
// socket: Preferred (the session's runtime folder; may be empty) when it is
// one, else TempDir/vestro-<uid>, made with mode 0700 when missing. Each is
// checked with lstat: a real folder (not a link), owned by this user, with
// no permission for group or others. Empty when neither passes: another user
// could then stand in for the running instance, so the caller runs alone.
std::string PrivateRuntimeFolder(const std::string& Preferred, const std::string& TempDir);

// True when the process at the other end of the connected local socket Fd
// runs as this user (its credentials as the kernel recorded them).
bool PeerIsCurrentUser(intptr_t Fd);

// Takes what the process writes to its standard error, from construction
// until End, instead of letting it out: output that belongs to another start
// (a run done for it). Writes of every thread are taken meanwhile.
class TStderrCapture {
public:
    TStderrCapture();
    ~TStderrCapture() { End(); }
    TStderrCapture(const TStderrCapture&) = delete;
    TStderrCapture& operator=(const TStderrCapture&) = delete;
    // Lets standard error out again and returns what was taken (once).
    std::string End();

private:
    int FSaved = -1, FTaken = -1;
};

// Makes SIGINT, SIGTERM and SIGHUP (a closed terminal) write one byte to a
// pipe instead of ending the process, and returns the pipe's reading end
// (non-blocking), for the event loop to watch. -1 when it cannot be set up.
// Call on the main thread; later calls return the same pipe.
int CatchStopSignals();
// Makes a write to a pipe or socket that nobody reads any more (standard
// error piped into a program that ended) fail instead of ending the process.
void IgnoreBrokenPipes();
// Reads every byte waiting in that pipe; true when there was one (a signal
// came since the last call).
bool DrainStopSignals(int Fd);

} // namespace platform
