// How a pass is shared out among its threads, and the error log filled by
// many threads at once.
#include "core/ErrorLog.h"
#include "core/Filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <thread>

namespace {

// A filter with only a geometry: n row blocks, m column blocks, granule g.
class TShapeOnly : public TFilter {
public:
    TShapeOnly(uint32_t Rows, uint32_t Cols, uint32_t Granule) : FRows(Rows), FCols(Cols), FGranule(Granule) { }
    uint32_t GetVLoopCount() override { return FCols; }
    uint32_t GetHLoopCount() override { return FRows; }
    uint32_t GetVMinBlock() override { return FGranule; }
    void ResetParam() override { }
    uint64_t GetHFilterWorkSize(uint64_t) override { return 0; }
    void HFilter(uint8_t*, const uint8_t*, uint32_t) override { }
    void VFilter(uint8_t*, const uint8_t*, uint32_t) override { }
    uint32_t FRows, FCols, FGranule;
};

using TShares = std::vector<std::pair<uint64_t, uint32_t>>;

TShares HShares(TShapeOnly& F)
{
    TShares s;
    for (uint32_t t = 0; t < F.MaxThreadNum(); ++t) {
        uint64_t Start;
        uint32_t Count;
        F.HFilterShare(t, Start, Count);
        s.emplace_back(Count ? Start : 0, Count);
    }
    return s;
}

TShares VShares(TShapeOnly& F)
{
    TShares s;
    for (uint32_t t = 0; t < F.MaxThreadNum(); ++t) {
        uint64_t Start;
        uint32_t Count;
        F.VFilterShare(t, Start, Count);
        s.emplace_back(Count ? Start : 0, Count);
    }
    return s;
}

} // namespace

TEST(PassShares, WorkedExamplesAndPointerSteps)
{
    // Three threads over ten row blocks: 4, 3 and 3 blocks from 0, 4 and 7.
    TShapeOnly a(10, 20, 16);
    a.SetMaxThreadNum(3);
    EXPECT_EQ(HShares(a), (TShares{{0, 4}, {4, 3}, {7, 3}}));
    // Four threads, 20 column blocks in granules of 16: two granules, the
    // second cut at the end; threads 2 and 3 have nothing.
    a.SetMaxThreadNum(4);
    EXPECT_EQ(VShares(a), (TShares{{0, 16}, {16, 4}, {0, 0}, {0, 0}}));
    // Granule 1: the first n mod N threads take one more.
    TShapeOnly b(5, 7, 1);
    b.SetMaxThreadNum(3);
    EXPECT_EQ(VShares(b), (TShares{{0, 3}, {3, 2}, {5, 2}}));
    // One thread takes everything.
    b.SetMaxThreadNum(1);
    EXPECT_EQ(HShares(b), (TShares{{0, 5}}));
    EXPECT_EQ(VShares(b), (TShares{{0, 7}}));

    // The pointers step by whole items of the pass.
    a.SetMaxThreadNum(3);
    a.FHFilterSrcBlockSize = 1000, a.FHFilterDestBlockSize = 300;
    a.FVFilterSrcBlockSize = 16, a.FVFilterDestBlockSize = 8;
    static uint8_t Base[1];
    uint8_t* Tmp = Base;
    const uint8_t* Src = Base;
    uint32_t Count = 0;
    a.GetHFilterRange(Tmp, Src, 2, Count);
    EXPECT_EQ(Src - Base, 7 * 1000);
    EXPECT_EQ(Tmp - Base, 7 * 300);
    EXPECT_EQ(Count, 3u);
    uint8_t* Dest = Base;
    const uint8_t* T2 = Base;
    a.SetMaxThreadNum(2);
    a.GetVFilterRange(Dest, T2, 1, Count);
    EXPECT_EQ(T2 - Base, 16 * 16);
    EXPECT_EQ(Dest - Base, 16 * 8);
    EXPECT_EQ(Count, 4u);
}

// Every share together covers each item exactly once, whatever the counts.
TEST(PassShares, CoverEveryItemOnce)
{
    for (uint32_t n : {1u, 2u, 9u, 10u, 63u, 64u, 1000u})
        for (uint32_t g : {1u, 16u, 32u})
            for (uint32_t N : {2u, 3u, 7u, 64u}) {
                TShapeOnly f(n, n, g);
                f.SetMaxThreadNum(N);
                std::vector<int> h(n), v(n);
                for (const auto& [s, c] : HShares(f))
                    for (uint64_t i = s; i < s + c; ++i)
                        ++h.at(i);
                for (const auto& [s, c] : VShares(f)) {
                    if (c) {
                        EXPECT_EQ(s % g, 0u) << "a vertical share starts on a granule";
                    }
                    for (uint64_t i = s; i < s + c; ++i)
                        ++v.at(i);
                }
                EXPECT_EQ(h, std::vector<int>(n, 1)) << n << " items, " << N << " threads";
                EXPECT_EQ(v, std::vector<int>(n, 1)) << n << " items, granule " << g << ", " << N << " threads";
            }
}

// Eight threads add lines at once: every line arrives whole, none is lost,
// and each thread's lines keep their order.
TEST(ErrorLogLines, ManyThreadsAtOnce)
{
    TErrorLog Log;
    constexpr int Threads = 8, Lines = 500;
    std::vector<std::thread> T;
    for (int t = 0; t < Threads; ++t)
        T.emplace_back([&Log, t] {
            for (int i = 0; i < Lines; ++i)
                Log.PutFileError("file" + std::to_string(t) + ".jpg", "reason " + std::to_string(i));
        });
    for (auto& t : T)
        t.join();
    EXPECT_EQ(Log.GetErrorCount(), Threads * Lines);
    std::map<int, int> Next;
    for (const std::string& L : Log.Lines()) {
        int t = -1, i = -1;
        ASSERT_EQ(std::sscanf(L.c_str(), "file%d.jpg: reason %d", &t, &i), 2) << L;
        EXPECT_EQ(L, "file" + std::to_string(t) + ".jpg: reason " + std::to_string(i));
        EXPECT_EQ(i, Next[t]++) << "thread " << t;
    }
    Log.Clear();
    EXPECT_EQ(Log.GetErrorCount(), 0);
}

// A window that shows the lines while threads still add them: every line is
// seen exactly once and in order, and taking out what was seen leaves the
// lines that came later, also across a Clear in between.
TEST(ErrorLogLines, AReaderSeesEachLineOnceAndTakesOutOnlyWhatItSaw)
{
    TErrorLog Log;
    uint64_t Next = 0;
    EXPECT_TRUE(Log.LinesFrom(Next).empty());
    EXPECT_EQ(Next, 0u);
    constexpr int Threads = 4, Lines = 300;
    std::vector<std::thread> T;
    for (int t = 0; t < Threads; ++t)
        T.emplace_back([&Log, t] {
            for (int i = 0; i < Lines; ++i)
                Log.PutFileError("file" + std::to_string(t) + ".jpg", "reason " + std::to_string(i));
        });
    std::vector<std::string> Seen;
    const auto Look = [&] {
        for (std::string& L : Log.LinesFrom(Next))
            Seen.push_back(std::move(L));
    };
    while (Seen.size() < size_t(Threads * Lines))
        Look();
    for (auto& t : T)
        t.join();
    EXPECT_EQ(Seen, Log.Lines());
    EXPECT_EQ(Next, uint64_t(Threads * Lines));

    Log.PutErrorMsg("late");
    Log.ClearBefore(Next);
    EXPECT_EQ(Log.Lines(), std::vector<std::string>{"late"});
    Log.ClearBefore(Next); // nothing more to take out
    EXPECT_EQ(Log.GetErrorCount(), 1);
    Look();
    EXPECT_EQ(Seen.back(), "late");

    // A Clear does not hand out its numbers again: a reader that looked
    // before it takes out nothing added after it.
    uint64_t Before = Next;
    Log.Clear();
    Log.PutErrorMsg("after the clear");
    Log.ClearBefore(Before);
    EXPECT_EQ(Log.Lines(), std::vector<std::string>{"after the clear"});
    uint64_t Old = 0; // a reader from long ago sees what is held now
    EXPECT_EQ(Log.LinesFrom(Old), std::vector<std::string>{"after the clear"});
    EXPECT_EQ(Old, Before + 1);
}

// The reasons a capture kept, joined to a reason of the caller's own.
TEST(ErrorLogLines, ACaptureAddsItsReasonsUnlessTheyAreSaid)
{
    TErrorLog Log;
    TErrorCapture C;
    EXPECT_EQ(C.AddedTo("Failed to load file"), "Failed to load file");
    Log.PutFileError("a.jpg", "Bogus Huffman table definition");
    EXPECT_EQ(C.AddedTo(""), "Bogus Huffman table definition");
    EXPECT_EQ(C.AddedTo("Failed to load file"), "Failed to load file; Bogus Huffman table definition");
    EXPECT_EQ(C.AddedTo("x: Bogus Huffman table definition"), "x: Bogus Huffman table definition");
    EXPECT_EQ(Log.GetErrorCount(), 0);
}
