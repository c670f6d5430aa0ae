#include "KodexTestUtil.h"

#include "core/Kodex.h"
#include "core/Resize.h"

#include <cstring>

namespace {

struct TailJpegWrite : TKodexTest {
    // Tiny pictures stand for big ones here: every pass is split.
    const uint64_t FLimit = PassThreads.MinWork;
    TailJpegWrite() { PassThreads.MinWork = 0; }
    ~TailJpegWrite() override { PassThreads.MinWork = FLimit; }
};

// Src fed in bands of 10 rows to W x H; the last pass left to Tail when given.
void BandResized(TResizer& R, const TImgInfo& Src, uint32_t W, uint32_t H, TImgInfo& Out, TResizeTail* Tail)
{
    TBandResize b(R, Src.Width, Src.Height, Src.Channels, W, H);
    for (uint32_t top = 0; top < Src.Height; top += 10) {
        TOwnedImg band;
        const uint32_t rows = std::min(10u, Src.Height - top);
        AllocImg(band.Img, Src.Width, rows, Src.Channels);
        for (uint32_t y = 0; y < rows; ++y)
            std::memcpy(ScanLine(band.Img, y), ScanLine(Src, top + y), size_t(Src.Width) * Src.Channels);
        b.Feed(band.Img, top);
    }
    b.Finish(Out, Tail);
}

} // namespace

// The JPEG writer that takes rows as the resize finishes them writes the
// file the whole picture gives, byte for byte: colour and gray, a 1-row
// result, bands that do not divide the height, every sampling.
TEST_F(TailJpegWrite, RowsHandedOverWhileResizedGiveTheFileOfTheWholePicture)
{
    struct TCase {
        uint32_t SW, SH, Ch, W, H, Band, Sampling;
    };
    const TCase cases[] = {{331, 257, 3, 161, 121, 7, 0},
                           {331, 257, 1, 161, 121, 16, 2},
                           {120, 40, 3, 333, 1, 3, 0},
                           {90, 517, 3, 45, 259, 64, 1}};
    auto r = std::make_unique<TResizer>();
    r->SetDecimationMode(2, CreateWeightSetter(2, 3, 0, 10));
    r->SetInterpolationMode(2, CreateWeightSetter(2, 3, 0, 10));
    r->SetSIMDMode(3, false);
    r->SetMaxThreadNum(4);
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.SW << "x" << c.SH << "x" << c.Ch << " -> " << c.W << "x" << c.H << " band "
                                        << c.Band);
        TOwnedImg src;
        src.Img = MakePicture(c.SW, c.SH, c.Ch);
        TOwnedImg whole;
        BandResized(*r, src.Img, c.W, c.H, whole.Img, nullptr);
        const std::string a = Scratch / "whole.jpg", b = Scratch / "tail.jpg";
        ASSERT_TRUE(
            WriteJPEG(a, whole.Img, 90, {}, false, nullptr, nullptr, 0, int32_t(c.Sampling), 0, TakeRunSettings()));
        TOwnedImg got;
        {
            TResizeTail tail(c.Band);
            BandResized(*r, src.Img, c.W, c.H, got.Img, &tail);
            ASSERT_TRUE(tail.Running());
            ASSERT_TRUE(WriteJPEG(b, got.Img, 90, {}, false, nullptr, nullptr, 0, int32_t(c.Sampling), 0,
                                  TakeRunSettings(), TWriteMode::Replace, &tail));
            tail.WaitAll();
        }
        EXPECT_EQ(ReadBytes(a), ReadBytes(b));
    }
}
