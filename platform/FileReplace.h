// Replacing a file's contents without ever leaving a half-written file.
#pragma once
#include <cstddef>
#include <string>

namespace platform {

// Writes Size bytes to Path through a new temporary file in the same folder,
// flushed to disk and then renamed over Path. An existing Path keeps its
// permission bits; a symbolic link is followed, so the link stays and its
// target is replaced. Returns 0, or the errno value of the step that failed,
// in which case Path is untouched and the temporary file is gone.
int ReplaceFileContents(const std::string& Path, const void* Data, size_t Size) noexcept;

} // namespace platform
