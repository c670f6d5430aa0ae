// Page memory: large blocks straight from the kernel's page allocator.
//
// PageAlloc blocks start page-aligned and zero-filled. The block size is kept
// in a guard page in front of the block, so a block can be released from its
// address alone (as the image record does), also by the codec library, which
// links this file too.
//
// Fresh pages cost twice on first touch: a page fault each, and the system
// clears them. A batch worker therefore keeps the large blocks it frees
// (TPageReuse) and hands them out again to writers that fill every byte
// their readers look at (PageAllocDirty): the next file of the batch takes
// pages that are already mapped.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

// Commits Size bytes of read-write zeroed memory. Returns nullptr when the
// memory cannot be had (or Size is 0 or absurdly large); never throws.
// ManyWriters: several threads will fill the block at once; a large block
// then asks for huge pages, which spare those threads queueing on page
// faults. (For a block one thread fills they only cost: every fault clears
// 2 MB at once, and the system may stall to find them.)
void* PageAlloc(uint64_t Size, bool ManyWriters = false) noexcept;

// Like PageAlloc, but the bytes are unspecified: on a thread inside a
// TPageReuse, a block this thread freed before may come back with its old
// contents. Only for writers that fill every byte their readers look at.
// Fresh (when given) is set true when the block is new from the system and
// so all zero; the sanitizer build fills every such block with a pattern
// instead and always says false, so that tests catch a reader that relies
// on zeroes nobody wrote.
void* PageAllocDirty(uint64_t Size, bool ManyWriters = false, bool* Fresh = nullptr) noexcept;

// Releases a block from PageAlloc or PageAllocDirty (to the thread's
// TPageReuse when it keeps it). Null does nothing.
void PageFree(void* P) noexcept;

// Size that was asked for when the block was made (0 for null).
uint64_t PageSize(const void* P) noexcept;

// While one lives, blocks of 1 MiB or more that this thread frees are kept
// for its next PageAllocDirty instead of going back to the system: the last
// few (about one file's blocks: a decoded picture or its bands, the
// resampler's windows, temporary and result), at most Cap bytes together.
// A request no kept block covers grows the largest smaller one in place of
// a fresh block, unless several threads will fill it. Everything kept goes back to the system when the scope
// ends. Scopes nest; the inner one keeps its own. Kept blocks are idle
// memory: no picture budget counts them, and a block taken back counts as
// the new picture's only.
class TPageReuse {
public:
    explicit TPageReuse(uint64_t Cap) noexcept;
    ~TPageReuse();
    TPageReuse(const TPageReuse&) = delete;
    TPageReuse& operator=(const TPageReuse&) = delete;

    // The thread has no more files: blocks it frees from now on go back to
    // the system at once (those kept may still be taken).
    void KeepNoMore() noexcept { FNoMore = true; }

    static constexpr int kSlots = 6;
    static constexpr uint64_t kMinBlock = uint64_t(1) << 20;
    // Blocks kept now and their bytes (tests).
    int Count() const noexcept;
    uint64_t Bytes() const noexcept { return FBytes; }

private:
    friend struct TPageReuseAccess;
    void* FBlock[kSlots] = {}; // oldest first
    uint64_t FBytes = 0;
    uint64_t FCap;
    bool FNoMore = false;
    TPageReuse* FOuter;
};

// Sets the cap of the calling thread's TPageReuse, when it has one, and lets
// the oldest kept blocks go until they fit it.
void LimitPageReuse(uint64_t Cap) noexcept;

// The codec library links its own copy of this file; the program hands it
// these two of its own (ForwardPageReuse), so that the library's blocks come
// from and go to the calling thread's TPageReuse like the program's.
// TakeKeptPages: a kept block of at least Size bytes, or null (never maps a
// fresh one); Grow: a smaller kept block may be grown to Size. (Not for a
// block several threads fill: the part added comes without huge pages.)
// KeepPages: true when the calling thread kept P.
void* TakeKeptPages(uint64_t Size, bool Grow = true) noexcept;
bool KeepPages(void* P) noexcept;
using TPageTakeProc = void* (*)(uint64_t Size, bool Grow);
using TPageKeepProc = bool (*)(void* P);
// From now on this copy asks Take and Keep instead of its own threads'
// scopes; null for both goes back to its own.
void ForwardPageReuse(TPageTakeProc Take, TPageKeepProc Keep) noexcept;

} // namespace platform
