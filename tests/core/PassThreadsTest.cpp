#include "core/Resize.h"
#include "PictureTestUtil.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

namespace {

// The limit the program starts with; the pictures of this binary's other
// tests are tiny and stand for big ones, so they split every pass.
const uint64_t StartLimit = PassThreads.MinWork;
const bool SplitTinyPictures = (PassThreads.MinWork = 0, true);

std::atomic<int> Started{0};

std::thread CountingStart(std::function<void()> Body)
{
    ++Started;
    return std::thread(std::move(Body));
}

// Resizers and the thread starter as the program has them, restored after.
struct TProgramLimit {
    TProgramLimit()
    {
        PassThreads.MinWork = StartLimit;
        PassThreads.Start = CountingStart;
    }
    ~TProgramLimit()
    {
        PassThreads.MinWork = 0;
        PassThreads.Start = [](std::function<void()> Body) { return std::thread(std::move(Body)); };
    }
};

std::unique_ptr<TResizer> Resizer(int32_t Threads)
{
    auto r = std::make_unique<TResizer>();
    r->SetDecimationMode(2, CreateWeightSetter(2, 3, 0, 10));
    r->SetInterpolationMode(2, CreateWeightSetter(2, 3, 0, 10));
    r->SetSIMDMode(3, false);
    r->SetMaxThreadNum(Threads);
    return r;
}

// The three ways a picture is resized: into a new block, in place, and fed in
// bands of 64 rows as a decoder hands them over.
std::vector<uint8_t> Way(int Kind, TResizer& R, const TImgInfo& Src, uint32_t W, uint32_t H)
{
    TImgHolder out;
    if (Kind == 0) {
        R.ResizeImage(Src, out.I, W, H, false);
    } else if (Kind == 1) {
        AllocImg(out.I, Src.Width, Src.Height, Src.Channels);
        std::memcpy(out.I.Mem, Src.Mem, uint64_t(Src.Bpl) * BlockRows(Src.Height));
        R.ResizeImage(out.I, W, H, false);
    } else {
        TBandResize b(R, Src.Width, Src.Height, Src.Channels, W, H);
        for (uint32_t top = 0; top < Src.Height; top += 64) {
            TImgHolder band;
            const uint32_t rows = std::min(64u, Src.Height - top);
            AllocImg(band.I, Src.Width, rows, Src.Channels);
            for (uint32_t y = 0; y < rows; ++y)
                std::memcpy(ScanLine(band.I, y), ScanLine(Src, top + y), size_t(Src.Width) * Src.Channels);
            b.Feed(band.I, top);
        }
        b.Finish(out.I);
    }
    return Pixels(out.I);
}

} // namespace

// A small picture (a file manager's one photo at once) is resized on the
// calling thread alone, whatever thread count is asked for; a large one, or
// a small one enlarged into a large result, spreads over threads. The bytes
// are the same either way.
TEST(PassThreads, OnlyPicturesLargeEnoughStartThreads)
{
    ASSERT_TRUE(SplitTinyPictures);
    TProgramLimit limit;
    struct TCase {
        uint32_t SW, SH, W, H;
        bool Threads;
    } const cases[] = {
        {640, 400, 320, 200, false},  // the start-time picture
        {320, 200, 640, 400, false},  // a small enlargement
        {1200, 800, 600, 400, true},  // 1 MP halved
        {400, 300, 1600, 1200, true}, // the result is what is large
        {400, 200, 400, 2000, true},  // only the height grows: the vertical pass makes the rows
        {900, 600, 450, 300, true},   // just above the limit (three channels count)
        {800, 560, 400, 280, false},  // just below it
    };
    for (const TCase& c : cases)
        for (int kind : {0, 1, 2}) {
            SCOPED_TRACE(testing::Message() << c.SW << "x" << c.SH << " -> " << c.W << "x" << c.H << " way " << kind);
            TImgHolder src(RandomImage(c.SW, c.SH, 3, c.SW + kind));
            const std::vector<uint8_t> one = Way(kind, *Resizer(1), src.I, c.W, c.H);
            Started = 0;
            const std::vector<uint8_t> many = Way(kind, *Resizer(8), src.I, c.W, c.H);
            EXPECT_EQ(Started > 0, c.Threads) << Started;
            EXPECT_TRUE(one == many);
        }
}
