// Page memory: large blocks straight from the kernel's page allocator.
//
// Blocks start page-aligned and zero-filled and go back to the system at once
// when freed. The block size is kept in a guard page in front of the block, so
// a block can be released from its address alone (as the image record does),
// also by the codec library, which links this file too.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

// Commits Size bytes of read-write memory. Returns nullptr when the memory
// cannot be had (or Size is 0 or absurdly large); never throws.
// ManyWriters: several threads will fill the block at once; a large block
// then asks for huge pages, which spare those threads queueing on page
// faults. (For a block one thread fills they only cost: every fault clears
// 2 MB at once, and the system may stall to find them.)
void* PageAlloc(uint64_t Size, bool ManyWriters = false) noexcept;

// Releases a block from PageAlloc. Null does nothing.
void PageFree(void* P) noexcept;

// Size that was asked for when the block was made (0 for null).
uint64_t PageSize(const void* P) noexcept;

} // namespace platform
