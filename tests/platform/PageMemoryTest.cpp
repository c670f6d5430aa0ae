#include "platform/PageMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

constexpr uint64_t MiB = uint64_t(1) << 20;

// A block from PageAllocDirty and whether it came fresh.
struct TDirty {
    void* P;
    bool Fresh;
};
TDirty Dirty(uint64_t Size)
{
    TDirty d{nullptr, false};
    d.P = platform::PageAllocDirty(Size, false, &d.Fresh);
    EXPECT_NE(d.P, nullptr);
    return d;
}

} // namespace

TEST(PageReuse, AThreadInAScopeGetsItsFreedBlocksBackAndNoneOutside)
{
    // Outside a scope a freed block goes back to the system at once.
    void* lone = Dirty(2 * MiB).P;
    platform::PageFree(lone);
    EXPECT_EQ(platform::TakeKeptPages(MiB), nullptr);
    {
        platform::TPageReuse reuse(64 * MiB);
        const TDirty a = Dirty(2 * MiB);
        std::memset(a.P, 7, 2 * MiB);
        platform::PageFree(a.P);
        EXPECT_EQ(reuse.Count(), 1);
        // Blocks under 1 MiB are cheap to map: never kept.
        platform::PageFree(Dirty(MiB / 2).P);
        EXPECT_EQ(reuse.Count(), 1);
        // Zeroed blocks never come from the keep.
        void* zero = platform::PageAlloc(MiB + 1);
        EXPECT_NE(zero, a.P);
        EXPECT_EQ(static_cast<uint8_t*>(zero)[MiB], 0);
        const TDirty b = Dirty(MiB + 1);
        platform::PageFree(zero);
        EXPECT_EQ(reuse.Count(), 1);
        EXPECT_EQ(platform::TakeKeptPages(MiB), zero);
        platform::PageFree(zero);
        EXPECT_EQ(b.P, a.P);
        EXPECT_FALSE(b.Fresh);
        EXPECT_EQ(platform::PageSize(b.P), MiB + 1);
        std::memset(b.P, 1, MiB + 1);
        // Another thread has a keep of its own, here none.
        std::thread([&] {
            platform::PageFree(Dirty(2 * MiB).P);
            EXPECT_EQ(platform::TakeKeptPages(MiB), nullptr);
        }).join();
        platform::PageFree(b.P);
        EXPECT_EQ(reuse.Count(), 2);
        {
            platform::TPageReuse inner(64 * MiB);
            EXPECT_EQ(platform::TakeKeptPages(MiB), nullptr); // the outer keep is not the inner one's
        }
        EXPECT_EQ(reuse.Count(), 2);
        // No more files: what is kept may still be taken, nothing more is kept.
        reuse.KeepNoMore();
        void* last = platform::TakeKeptPages(MiB);
        EXPECT_NE(last, nullptr);
        platform::PageFree(last);
        platform::PageFree(platform::PageAlloc(2 * MiB));
        EXPECT_EQ(reuse.Count(), 1);
    }
    // The scope released what it kept and keeps nothing more.
    platform::PageFree(Dirty(2 * MiB).P);
    EXPECT_EQ(platform::TakeKeptPages(MiB), nullptr);
}

TEST(PageReuse, TakesTheSmallestFitElseGrowsTheLargestAndStaysWithinItsCap)
{
    platform::TPageReuse reuse(20 * MiB);
    void* two = Dirty(2 * MiB).P;
    void* eight = Dirty(8 * MiB).P;
    platform::PageFree(eight);
    platform::PageFree(two);
    EXPECT_EQ(Dirty(3 * MiB).P, eight);
    EXPECT_EQ(reuse.Count(), 1);
    // Nothing kept covers 5 MiB: the 2 MiB block grows, and all of it is usable.
    const TDirty grown = Dirty(5 * MiB);
    EXPECT_FALSE(grown.Fresh);
    EXPECT_EQ(reuse.Count(), 0);
    std::memset(grown.P, 3, 5 * MiB);
    EXPECT_EQ(platform::PageSize(grown.P), 5 * MiB);
    platform::PageFree(grown.P);
    platform::PageFree(eight);
    EXPECT_EQ(reuse.Count(), 2);
    // The oldest go when the cap is reached; a block above the cap is never kept.
    void* nine = platform::PageAlloc(9 * MiB);
    platform::PageFree(nine);
    EXPECT_EQ(reuse.Count(), 2);
    EXPECT_LE(reuse.Bytes(), 20 * MiB);
    EXPECT_EQ(platform::TakeKeptPages(5 * MiB), eight); // the 5 MiB block went first
    platform::PageFree(eight);
    platform::PageFree(platform::PageAlloc(21 * MiB));
    EXPECT_EQ(reuse.Count(), 2);
    EXPECT_EQ(platform::TakeKeptPages(9 * MiB), nine);
    platform::PageFree(nine);
    // A lower cap lets the oldest go at once.
    platform::LimitPageReuse(10 * MiB);
    EXPECT_EQ(reuse.Count(), 1);
    EXPECT_EQ(platform::TakeKeptPages(MiB), nine);
    platform::PageFree(nine);
    EXPECT_EQ(reuse.Count(), 1);
    // A block several threads fill never grows a smaller one: it comes
    // fresh, with huge pages.
    {
        platform::TPageReuse small(64 * MiB);
        platform::PageFree(platform::PageAlloc(2 * MiB));
        void* shared = platform::PageAllocDirty(5 * MiB, true);
        EXPECT_EQ(small.Count(), 1);
        platform::PageFree(shared);
    }
    // And no more than a file's worth of blocks.
    platform::TPageReuse many(uint64_t(1) << 40);
    for (int i = 0; i < platform::TPageReuse::kSlots + 3; ++i)
        platform::PageFree(platform::PageAlloc(MiB));
    EXPECT_EQ(many.Count(), platform::TPageReuse::kSlots);
}
