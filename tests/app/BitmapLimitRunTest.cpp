// The built program asked for a BMP larger than the format can hold: one line
// that says so, before the picture is made (a small picture budget would
// refuse the picture first), nothing written, the source kept.
#include "AtOnceRun.h"

namespace fs = std::filesystem;

using BitmapLimitRun = AtOnceRun;

TEST_F(BitmapLimitRun, ARefusedSizeIsSaidBeforeThePictureIsMade)
{
    WritePhoto(Dir / "in" / "a.jpg", 160, 120, 1);
    const std::string Source = ReadFile(Dir / "in" / "a.jpg");
    const std::string Said =
        "a.jpg: cannot write " + (Dir / "out" / "a.bmp").string() + ": a BMP file cannot hold more than 4 GiB";
    const struct {
        const char* What;
        const char* IndexColor;
        std::string Extra;
        bool Refused; // as a BMP, else by the picture budget
    } Runs[] = {
        {"resized as decoded", "0", "", true},
        {"through the effect chain", "0", "[UnSharpMask]\nUse=1\n", true},
        {"a palette file may hold it", "1", "", false},
    };
    for (const auto& R : Runs) {
        SCOPED_TRACE(R.What);
        fs::remove_all(Dir / "out");
        WriteProfile("[JPEG]\nConvertTo=1\n[Bitmap]\nIndexColor=" + std::string(R.IndexColor) +
                     "\n[System]\nPictureMemoryLimit=64\n"
                     "[Resize]\nRule=8\nSize1=100,512,384,512,384,100,100,512,40000,0,400,512\n"
                     "Size2=0,0,0,0,0,100,100,384,40000,0,400,384\n" +
                     R.Extra);
        const auto [Status, Err] = Start({"in/a.jpg"});
        EXPECT_EQ(Status, 1) << Err;
        EXPECT_EQ(Count(Err, "\n"), 1) << Err;
        if (R.Refused)
            EXPECT_EQ(Err, Said + "\n");
        else {
            EXPECT_EQ(Err.rfind("a.jpg: ", 0), 0u) << Err;
            EXPECT_NE(Err.find("40000 x 40000"), std::string::npos) << Err;
            EXPECT_EQ(Err.find("BMP"), std::string::npos) << Err;
        }
        EXPECT_TRUE(!fs::exists(Dir / "out") || fs::is_empty(Dir / "out"));
        EXPECT_TRUE(ReadFile(Dir / "in" / "a.jpg") == Source);
    }
}
