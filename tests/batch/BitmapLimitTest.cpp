// A BMP output larger than the format can describe (its sizes are 32-bit):
// one line that says so, nothing written, the source kept.
#include "BatchFixture.h"

namespace {

// A decode that hands out a picture of W x H, 3 channels, without touching
// its pages: fresh page memory reads as zeros and costs nothing until written.
struct HugePictureIO : TConvertIO {
    uint32_t W = 0, H = 0;
    int32_t LoadImage(TImageInfo&, TImgInfo& Img, TScale&, bool, TICCInfo*, bool& IsYCbCr, uint32_t&, int32_t,
                      const TRunSettings&) override
    {
        IsYCbCr = false;
        AllocImg(Img, W, H, 3);
        return 1;
    }
};

class BitmapLimit : public BatchRunTest { };

} // namespace

TEST_F(BitmapLimit, AnOutputPastFourGiBSaysWhyAndLeavesNothing)
{
    const fs::path A = MakeBMP("a.bmp", 8, 8, 1);
    const std::string Source = Read(A);
    BitmapOption.IndexColor = false;
    HugePictureIO IO;
    // 40000 x 40000 x 3 bytes is 4.47 GiB of rows; 65536 x 21846 passes
    // 2^32 - 1 bytes by 131127.
    for (const auto& [W, H] : {std::pair{40000u, 40000u}, std::pair{65536u, 21846u}}) {
        Log.Clear();
        IO.W = W, IO.H = H;
        List({A});
        Run(1, IO);
        const std::string Line = OnlyLine();
        EXPECT_THAT(Line, StartsWith("a.bmp: ")) << W;
        EXPECT_THAT(Line, HasSubstr("a BMP file cannot hold more than 4 GiB")) << W;
        EXPECT_THAT(Line, HasSubstr(Out("a.bmp").string())) << W;
        EXPECT_FALSE(fs::exists(Out("a.bmp"))) << W;
        EXPECT_EQ(Entries(Dir / "out"), 0) << "no temporary is left";
        EXPECT_EQ(Read(A), Source);
    }
}

// The writer refuses before it builds anything: no 4 GiB file in memory
// first.
TEST_F(BitmapLimit, TheWriterRefusesBeforeItBuildsTheFile)
{
    TImgInfo Img;
    AllocImg(Img, 40000, 40000, 3);
    const std::string P = (Dir / "big.bmp").string();
    TErrorCapture Said;
    EXPECT_FALSE(SaveBitmapFile(P, Img, TResolutionInfo{}, TakeRunSettings()));
    EXPECT_EQ(Said.Text(), "a BMP file cannot hold more than 4 GiB");
    EXPECT_FALSE(fs::exists(P));
    FreeImg(Img);
}
