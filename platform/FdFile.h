// Plain file descriptors for the codec library and its bridge: the library
// writes encoded files to a descriptor the program opened.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Creates Path for writing; fails (-1) when it exists already. Mode 0666
// less the umask, close-on-exec.
int FdCreateNew(const std::string& Path) noexcept;
// Opens an existing regular file for reading (-1 on failure), with a
// sequential hint. Never waits: anything but a regular file (a FIFO, a
// device) fails at once with EINVAL.
int FdOpenRead(const std::string& Path) noexcept;
// Size of an open file, or -1.
int64_t FdSize(int Fd) noexcept;
// Writes all N bytes (retrying short writes); false on any failure.
bool FdWriteAll(int Fd, const void* P, size_t N) noexcept;
// Reads exactly N bytes; false on failure or early end of file.
bool FdReadAll(int Fd, void* P, size_t N) noexcept;
// Closes Fd; false when the close reported an error (a late write failure).
bool FdClose(int Fd) noexcept;
// Text of the last system error (strerror of errno).
std::string LastErrorText();

} // namespace platform
