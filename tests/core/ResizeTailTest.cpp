#include "core/Resize.h"
#include "PictureTestUtil.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TTailCase {
    uint32_t SW, SH, W, H;
};

std::unique_ptr<TResizer> TailResizer(uint32_t Mode, bool Linear, int32_t Threads)
{
    auto r = std::make_unique<TResizer>();
    r->SetDecimationMode(2, CreateWeightSetter(2, 3, 0, 10));
    r->SetInterpolationMode(2, CreateWeightSetter(2, 3, 0, 10));
    r->SetSIMDMode(Mode, Linear);
    r->SetMaxThreadNum(Threads);
    return r;
}

// Feeds Src in bands of 16 rows; the result is finished with Tail, or whole.
void FeedAndFinish(TResizer& R, const TImgInfo& Src, uint32_t W, uint32_t H, TImgInfo& Out, TResizeTail* Tail)
{
    TBandResize b(R, Src.Width, Src.Height, Src.Channels, W, H);
    for (uint32_t top = 0; top < Src.Height; top += 16) {
        TImgHolder band;
        const uint32_t rows = std::min(16u, Src.Height - top);
        AllocImg(band.I, Src.Width, rows, Src.Channels);
        for (uint32_t y = 0; y < rows; ++y)
            std::memcpy(ScanLine(band.I, y), ScanLine(Src, top + y), size_t(Src.Width) * Src.Channels);
        b.Feed(band.I, top);
    }
    b.Finish(Out, Tail);
}

// A row of the picture counted from the top, as a writer takes it.
std::vector<uint8_t> TopRow(const TImgInfo& Img, uint32_t Y)
{
    const uint8_t* p = MemRow(Img, Img.Height - 1 - Y);
    return std::vector<uint8_t>(p, p + size_t(Img.Width) * Img.Channels);
}

} // namespace

// A writer that takes each row as soon as the tail says it is final gets the
// rows of the resize run whole: 1-row results, bands that do not divide the
// height, a band taller than the picture, every kernel family and channel
// count, a writer on the caller's thread and one on a thread of its own.
TEST(ResizeTail, RowsTakenAsTheyAreFinishedAreThoseOfTheWholePass)
{
    const TTailCase cases[] = {
        {301, 211, 97, 61}, {97, 203, 97, 1}, {40, 9, 130, 1}, {45, 301, 23, 99}, {130, 77, 260, 150}};
    struct TFamily {
        uint32_t Mode;
        bool Linear;
    };
    for (const TFamily fam : {TFamily{3, false}, TFamily{2, false}, TFamily{3, true}})
        for (uint32_t ch : {1u, 3u, 4u})
            for (const TTailCase& c : cases)
                for (uint32_t band : {1u, 7u, 64u, 1000u})
                    for (bool ownThread : {false, true}) {
                        SCOPED_TRACE(testing::Message()
                                     << "mode " << fam.Mode << (fam.Linear ? " linear" : "") << " ch " << ch << " "
                                     << c.SW << "x" << c.SH << " -> " << c.W << "x" << c.H << " band " << band
                                     << (ownThread ? " writer thread" : ""));
                        TImgHolder src(RandomImage(c.SW, c.SH, ch, c.SW * 7 + ch));
                        auto r = TailResizer(fam.Mode, fam.Linear, 5);
                        TImgHolder whole;
                        FeedAndFinish(*r, src.I, c.W, c.H, whole.I, nullptr);

                        TImgHolder got;
                        std::vector<std::vector<uint8_t>> taken;
                        {
                            TResizeTail tail(band);
                            FeedAndFinish(*r, src.I, c.W, c.H, got.I, &tail);
                            EXPECT_TRUE(tail.Running());
                            auto write = [&] {
                                for (uint32_t y = 0; y < c.H; ++y) {
                                    tail.WaitRows(y + 1);
                                    taken.push_back(TopRow(got.I, y));
                                }
                            };
                            if (ownThread)
                                std::thread(write).join();
                            else
                                write();
                            tail.WaitAll();
                            EXPECT_FALSE(tail.Running());
                        }
                        ASSERT_EQ(taken.size(), c.H);
                        for (uint32_t y = 0; y < c.H; ++y)
                            ASSERT_EQ(taken[y], TopRow(whole.I, y)) << "row " << y;
                        EXPECT_EQ(Pixels(got.I), Pixels(whole.I));

                        // The resizer is whole again: the next picture's bytes are right.
                        TImgHolder again;
                        r->ResizeImage(src.I, again.I, c.W, c.H, ch == 4);
                        EXPECT_EQ(Pixels(again.I), Pixels(whole.I));
                    }
}

// A writer that stops half-way (a cancel, a full disk): the tail is dropped
// with rows still being made, waits for its threads, and leaves the resizer
// to the next picture. Without pass threads nothing is left running.
TEST(ResizeTail, AWriterThatStopsHalfWayLeavesTheResizerWhole)
{
    TImgHolder src(RandomImage(301, 611, 3, 5));
    auto r = TailResizer(3, false, 4);
    TImgHolder whole;
    FeedAndFinish(*r, src.I, 97, 203, whole.I, nullptr);
    for (uint32_t stopAt : {0u, 1u, 100u}) {
        TImgHolder got;
        {
            TResizeTail tail(3);
            FeedAndFinish(*r, src.I, 97, 203, got.I, &tail);
            if (stopAt)
                tail.WaitRows(stopAt);
            for (uint32_t y = 0; y < stopAt; ++y)
                ASSERT_EQ(TopRow(got.I, y), TopRow(whole.I, y)) << "stop " << stopAt << " row " << y;
        } // dropped with the pass running
        TImgHolder next;
        FeedAndFinish(*r, src.I, 97, 203, next.I, nullptr);
        EXPECT_EQ(Pixels(next.I), Pixels(whole.I)) << "stop " << stopAt;
    }

    auto one = TailResizer(3, false, 1);
    TImgHolder got;
    TResizeTail tail(8);
    FeedAndFinish(*one, src.I, 97, 203, got.I, &tail);
    EXPECT_FALSE(tail.Running());
    tail.WaitRows(203);
    EXPECT_EQ(Pixels(got.I), Pixels(whole.I));
}
