// Running a fragile decoder in a child process of its own, so that a damaged
// file that crashes it or makes it spin cannot take the program with it.
#pragma once
#include <functional>

// Forks; the child runs Child(WriteFd) with its standard output and error on
// /dev/null, a wall-clock limit of TimeLimitSeconds and every signal at its
// default, then ends. The caller runs Parent(ReadFd) on the other end of the
// pipe at the same time, and afterwards the child is waited for (and killed
// first when Parent returned before it ended).
// True when Parent returned true and the child ended normally with status 0.
// Child must not return to the caller's code: it runs on the forked copy of
// the calling thread only, so it should use nothing but the memory allocator,
// the data it was handed and WriteFd.
bool RunIsolated(const std::function<int(int WriteFd)>& Child, const std::function<bool(int ReadFd)>& Parent,
                 unsigned TimeLimitSeconds);

// Writes or reads exactly N bytes, retrying after signals; false on failure or
// end of data.
bool WriteAll(int Fd, const void* Data, size_t N);
bool ReadAll(int Fd, void* Data, size_t N);
