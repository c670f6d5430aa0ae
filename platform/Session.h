// The user session of the running program: who runs it, and the signals a
// terminal or a script sends to stop it.
#pragma once
#include <cstdint>

namespace platform {

// The real user id of the process.
uint32_t CurrentUserId();

// Makes SIGINT and SIGTERM write one byte to a pipe instead of ending the
// process, and returns the pipe's reading end (non-blocking), for the event
// loop to watch. -1 when it cannot be set up. Call once, on the main thread.
int CatchStopSignals();
// Reads every byte waiting in that pipe.
void DrainStopSignals(int Fd);

} // namespace platform
