// Flushing a written file to the disk before it is renamed into place.
#pragma once
#include <cstdio>

namespace platform {

// Flushes the stream's buffer and asks the kernel to write the file's data to
// the disk (fsync). True when both succeeded.
bool SyncFile(std::FILE* F) noexcept;

} // namespace platform
