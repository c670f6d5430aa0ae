// The picture record: allocation, copies, turns, gray conversion and the
// memory budget a run reads under.
#include "core/Errors.h"
#include "core/Global.h"
#include "core/Grayscale.h"
#include "core/PictureMemory.h"
#include "core/Rotate.h"
#include "platform/PageMemory.h"
#include "PictureTestUtil.h"

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

TEST(ImgInfo, AllocRefusesSizesThatDoNotFit)
{
    TImgInfo img;
    EXPECT_THROW(AllocImg(img, 0x100000000ull, 1, 3), EOutOfMemory);
    EXPECT_THROW(AllocImg(img, 0x7FFFFFFF, 0x7FFFFFFF, 4), EOutOfMemory);
    EXPECT_THROW(AllocImg(img, 0, 10, 3), EOutOfMemory);
    EXPECT_EQ(img.Mem, nullptr);
    // What a record holds is counted against the budgets: none without a
    // block, else the padded stride times the rows rounded up to four.
    EXPECT_EQ(ImgBytes(img), 0u);
    AllocImg(img, 5, 3, 3);
    EXPECT_EQ(ImgBytes(img), uint64_t(img.Bpl) * 4u);
    FreeImg(img);
}

namespace {
TImgInfo Numbered(uint32_t w, uint32_t h, uint32_t ch)
{
    TImgInfo img;
    AllocImg(img, w, h, ch);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w * ch; ++x)
            ScanLine(img, y)[x] = uint8_t(y * 16 + x + 1);
    return img;
}
} // namespace

TEST(ImgInfo, CopyImageRectClipsEverySide)
{
    // Source pixel (x, y) holds 16 y + x + 1; the 4 x 4 target as it must come out.
    const TImgHolder pic{Numbered(6, 5, 1)};
    struct Case {
        TRect r;
        int dy, dx;
        std::array<uint8_t, 16> want;
    };
    const Case cases[] = {
        {{0, 0, 6, 5}, 0, 0, {1, 2, 3, 4, 17, 18, 19, 20, 33, 34, 35, 36, 49, 50, 51, 52}}, // cut by the target
        {{-1, -1, 3, 3}, 0, 0, {0, 0, 0, 0, 0, 1, 2, 3, 0, 17, 18, 19, 0, 33, 34, 35}},     // before the source
        {{2, 1, 10, 9}, -1, -2, {37, 38, 0, 0, 53, 54, 0, 0, 69, 70}},                      // before the target
        {{0, 0, 6, 5}, 3, 2, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2}},
        {{4, 3, 2, 1}, 0, 0, {}},    // an empty rectangle
        {{1, 1, 3, 3}, -5, 100, {}}, // nothing overlaps
    };
    for (const Case& c : cases) {
        TPicture out(4, 4, 1);
        CopyImageRect(pic.I, out.I, c.r, c.dy, c.dx);
        EXPECT_EQ(Pixels(out.I), std::vector<uint8_t>(c.want.begin(), c.want.end()))
            << "rect " << c.r.Left << "," << c.r.Top << " at " << c.dx << "," << c.dy;
    }
}

TEST(Rotate, TurnsAndFlipsGiveIdentity)
{
    const uint32_t sizes[][2] = {{1, 1}, {3, 1}, {1, 5}, {7, 5}, {65, 3}, {129, 67}};
    for (uint32_t c = 1; c <= 4; ++c)
        for (const auto& s : sizes) {
            SCOPED_TRACE(testing::Message() << s[0] << "x" << s[1] << "x" << c);
            TImgHolder pic{RandomImage(s[0], s[1], c, c)}, turned{RandomImage(s[0], s[1], c, c)};
            TImgInfo &img = pic.I, &half = turned.I;
            const auto orig = Pixels(img);
            for (bool cw : {true, false}) {
                for (int i = 0; i < 4; ++i)
                    RotateImage90(img, cw);
                EXPECT_EQ(Pixels(img), orig);
            }
            // Mirror plus flip is the half turn, and so are two quarter turns.
            RotateImage180(half);
            MirrorImage(img);
            FlipImage(img);
            EXPECT_EQ(Pixels(img), Pixels(half));
            RotateImage90(img, false);
            RotateImage90(img, false);
            EXPECT_EQ(Pixels(img), orig);
        }
}

TEST(Grayscale, FamiliesGiveTheSameBytes)
{
    const float BT601[4] = {0.299f, 0.587f, 0.114f, 0}, bt709[4] = {0.2125f, 0.7154f, 0.0721f, 0};
    const float odd[4] = {1.7f, -0.4f, 0.33f, 0}; // sums outside 0..255
    for (const float* w : {BT601, bt709, odd})
        for (uint32_t width : {1u, 5u, 13u, 63u, 301u}) {
            SCOPED_TRACE(testing::Message() << "width " << width);
            TImgHolder out[2][2];
            for (int simd : {0, 1}) {
                InitGrayProcs(simd ? uint32_t(CPU_SSE2) : 0u);
                out[simd][0] = TImgHolder(RandomImage(width, 7, 3, width + 3, true));
                RGBToGraySSE(out[simd][0].I, w);
                out[simd][1] = TImgHolder(RandomImage(width, 7, 4, width + 4, true));
                RGBAToGrayAlphaSSE(out[simd][1].I, w);
            }
            for (int k = 0; k < 2; ++k) {
                EXPECT_EQ(out[0][k].I.Channels, k ? 2u : 1u);
                EXPECT_TRUE(SameBlocks(out[0][k].I, out[1][k].I));
            }
        }
    InitGrayProcs(GetCPUFeatures());
}

TEST(PictureMemory, ARunKeepsTheBudgetOfItsSettingsCopy)
{
    const int32_t Saved = Settings.System.PictureMemoryLimit;
    TSystemOption RunCopy = Settings.System;
    RunCopy.PictureMemoryLimit = 1; // MiB
    {
        const TPictureBudgetScope Budget(RunCopy);
        // A dialog raises the limit while the run goes on: this run keeps its own.
        Settings.System.PictureMemoryLimit = 4096;
        EXPECT_THROW(CheckPictureMemory(2u << 20), EVestroError);
        EXPECT_NO_THROW(CheckPictureMemory(1u << 20));
    }
    EXPECT_NO_THROW(CheckPictureMemory(2u << 20)); // outside a run the settings as they are now count
    Settings.System.PictureMemoryLimit = Saved;
}

// A worker keeps the blocks of its last picture for the next within half the
// run's budget: a limit the user set bounds them too.
TEST(PictureMemory, TheRunsBudgetCapsTheBlocksAWorkerKeeps)
{
    constexpr uint64_t MiB = uint64_t(1) << 20;
    TSystemOption RunCopy = Settings.System;
    RunCopy.PictureMemoryLimit = 6; // MiB: blocks kept up to 3 MiB together
    platform::TPageReuse Keep(uint64_t(1) << 30);
    platform::PageFree(platform::PageAlloc(2 * MiB));
    platform::PageFree(platform::PageAlloc(2 * MiB));
    ASSERT_EQ(Keep.Count(), 2);
    {
        const TPictureBudgetScope Budget(RunCopy);
        EXPECT_EQ(Keep.Count(), 1); // the oldest went
        platform::PageFree(platform::PageAlloc(4 * MiB));
        EXPECT_EQ(Keep.Count(), 1);
        EXPECT_LE(Keep.Bytes(), 3 * MiB);
    }
}

// The pictures of a run share its budget, less what the run holds for all of
// them: one that does not fit beside the others waits, holding nothing, until
// they are done; one that needs more than it came in with while others hold
// the rest starts again; one alone always runs; a cancel ends a wait.
TEST(PictureMemory, PicturesOfOneRunShareItsBudget)
{
    constexpr uint64_t MiB = uint64_t(1) << 20;
    TRunMemory Run(100 * MiB, 2);
    Run.HoldForRun(10 * MiB);
    std::atomic<bool> Cancel{false}, FirstEnding{false}, SecondIn{false};
    std::thread Second;
    {
        const TPictureBudgetScope First(Run, 60 * MiB, &Cancel);
        EXPECT_EQ(PictureMemoryBudget(), 90 * MiB);
        EXPECT_THROW(CheckPictureMemory(91 * MiB), EVestroError);
        Second = std::thread([&] {
            const TPictureBudgetScope B(Run, 40 * MiB, &Cancel);
            EXPECT_TRUE(FirstEnding.load()); // let in only once the first let go
            SecondIn = true;
            try {
                CheckPictureMemory(90 * MiB); // alone by now: grows to the whole of it
            } catch (...) {
                ADD_FAILURE() << "a picture alone was refused";
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(SecondIn.load());
        EXPECT_EQ(Run.Used(), 70 * MiB);
        FirstEnding = true;
    }
    Second.join();
    EXPECT_EQ(Run.Used(), 10 * MiB);

    const TPictureBudgetScope A(Run, 30 * MiB, &Cancel);
    std::thread([&] {
        const TPictureBudgetScope B(Run, 30 * MiB, &Cancel);
        try {
            CheckPictureMemory(70 * MiB);
            ADD_FAILURE() << "grew into what the other holds";
        } catch (const TPictureMemoryWait& W) {
            EXPECT_EQ(W.Bytes, 70 * MiB);
        }
    }).join();
    std::thread([&] {
        Cancel = true;
        const TPictureBudgetScope B(Run, 80 * MiB, &Cancel);
        EXPECT_TRUE(B.Cancelled());
    }).join();
    EXPECT_EQ(Run.Used(), 40 * MiB);
}

// A picture let in with more than the run's whole budget (an estimate of a
// picture alone) is let in at once and holds the budget, no more: it may
// grow to all of it and no further, and a picture that needs nothing (a
// copy) still runs beside it; when it ends, the run holds nothing.
TEST(PictureMemory, APictureLetInWithMoreThanTheWholeBudgetHoldsTheBudget)
{
    constexpr uint64_t MiB = uint64_t(1) << 20;
    TRunMemory Run(10 * MiB, 3);
    std::atomic<bool> Cancel{false};
    {
        const TPictureBudgetScope Big(Run, 50 * MiB, &Cancel);
        ASSERT_FALSE(Big.Cancelled());
        EXPECT_EQ(Run.Used(), 10 * MiB);
        EXPECT_EQ(PictureMemoryBudget(), 10 * MiB);
        EXPECT_NO_THROW(CheckPictureMemory(10 * MiB));
        EXPECT_THROW(CheckPictureMemory(10 * MiB + 1), EVestroError);
        std::atomic<bool> CopyIn{false};
        std::thread Copy([&] {
            const TPictureBudgetScope B(Run, 0, &Cancel);
            CopyIn = !B.Cancelled();
        });
        for (int i = 0; i < 100 && !CopyIn; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        Cancel = true; // a copy that waited is let go, so that the test ends
        Copy.join();
        EXPECT_TRUE(CopyIn.load()) << "a copy waited for a picture holding more than the budget";
    }
    EXPECT_EQ(Run.Used(), 0u);
}
