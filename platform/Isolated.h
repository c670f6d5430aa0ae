// Running a fragile decoder in a helper program of its own, so that a damaged
// file that crashes it or makes it spin cannot take the program with it. The
// helper is started afresh (posix_spawn), never as a forked copy of the
// calling program: a fork of a multithreaded process may hold another
// thread's locks (the allocator's among them) forever.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// Starts the program Name from the folder of the program or shared library
// that holds this code, with Args after its own name, Size bytes of Input as
// its standard input, its standard error on /dev/null, no other open file of
// ours and every signal at its default. The caller runs Parent(ReadFd) on the
// helper's standard output meanwhile; afterwards the helper is waited for (and
// killed first when Parent returned false). True when Parent returned true and
// the helper ended with status 0; false also when it could not be started.
bool RunHelper(const std::string& Name, const std::vector<std::string>& Args, const void* Input, size_t Size,
               const std::function<bool(int ReadFd)>& Parent);

// In a helper, first: it ends when the program that started it ends, and
// after Seconds of wall-clock time.
void StartHelperLimits(unsigned Seconds);
// Reads Fd to its end into Data; false on a failure or beyond Limit bytes.
bool ReadWholeInput(int Fd, std::vector<uint8_t>& Data, uint64_t Limit);
// Ends a helper at once with Status, running no exit handlers.
[[noreturn]] void EndHelper(int Status);

} // namespace platform

// Writes or reads exactly N bytes, retrying after signals; false on failure or
// end of data.
bool WriteAll(int Fd, const void* Data, size_t N);
bool ReadAll(int Fd, void* Data, size_t N);
