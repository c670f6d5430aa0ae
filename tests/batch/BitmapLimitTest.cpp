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
    Settings.Bitmap.IndexColor = false;
    HugePictureIO IO;
    IO.W = IO.H = 40000; // 4.47 GiB of rows
    List({A});
    Run(1, IO);
    const std::string Line = OnlyLine();
    EXPECT_THAT(Line, StartsWith("a.bmp: "));
    EXPECT_THAT(Line, HasSubstr("a BMP file cannot hold more than 4 GiB"));
    EXPECT_THAT(Line, HasSubstr(Out("a.bmp").string()));
    EXPECT_FALSE(fs::exists(Out("a.bmp")));
    EXPECT_EQ(Entries(Dir / "out"), 0) << "no temporary is left";
    EXPECT_EQ(Read(A), Source);
}

// The writer refuses before it builds anything: no 4 GiB file in memory
// first. 65536 x 21846 x 3 passes 2^32 - 1 bytes by 131127.
TEST_F(BitmapLimit, TheWriterRefusesBeforeItBuildsTheFile)
{
    for (const auto& [W, H] : {std::pair{40000u, 40000u}, std::pair{65536u, 21846u}}) {
        TImgInfo Img;
        AllocImg(Img, W, H, 3);
        const std::string P = (Dir / "big.bmp").string();
        TErrorCapture Said;
        EXPECT_FALSE(SaveBitmapFile(P, Img, TResolutionInfo{}, TakeRunSettings())) << W;
        EXPECT_EQ(Said.Text(), "a BMP file cannot hold more than 4 GiB") << W;
        EXPECT_FALSE(fs::exists(P)) << W;
        FreeImg(Img);
    }
}
