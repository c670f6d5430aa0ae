// Blocks of the C library's heap that a loaded library hands over.
#pragma once
#include <cstdint>

namespace platform {

// Bytes usable in a block from malloc (at least what was asked for); 0 for null.
uint64_t HeapBlockSize(void* P) noexcept;
// Releases a block from malloc. Null does nothing.
void HeapFree(void* P) noexcept;

} // namespace platform
