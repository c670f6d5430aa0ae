// What a JPEG written from a TIFF tells a photo viewer: the shooting date,
// orientation and resolution of the TIFF, and a thumbnail that decodes to the
// size it should have.
#include "BatchFixture.h"
#include "../core/FilesTestUtil.h"
#include "effects/ExifRotationFilter.h"

namespace {

constexpr const char* kShot = "2019:05:04 03:02:01";

struct TExifRow {
    uint32_t W, H;
    uint16_t Orientation;
    bool Upright, NewDpi;                    // turned upright by the orientation; resolution set to 300 dpi
    uint32_t ThumbW, ThumbH, OutOrientation; // the output's thumbnail size and orientation
    double Dpi;
};

class ExifOutput : public BatchRunTest {
protected:
    // An uncompressed RGB TIFF at 150 dpi with the orientation in IFD0 and the date in an EXIF IFD.
    fs::path MakeTIFF(const std::string& Name, const TExifRow& R)
    {
        auto Build = [&](uint32_t Strip) {
            TTestEntry Exif = LongEntry(34665, 0);
            Exif.SubIfd = 1;
            return BuildExif(
                etII,
                {{LongEntry(256, R.W), LongEntry(257, R.H), ShortEntry(258, 8), ShortEntry(259, 1), ShortEntry(262, 2),
                  LongEntry(273, Strip), ShortEntry(274, R.Orientation), ShortEntry(277, 3), LongEntry(278, R.H),
                  LongEntry(279, R.W * R.H * 3), RationalEntry(282, 150, 1, etII), RationalEntry(283, 150, 1, etII),
                  ShortEntry(296, 2), Exif},
                 {AsciiEntry(36867, kShot)}});
        };
        std::vector<uint8_t> T = Build(uint32_t(Build(0).size() - 6));
        T.erase(T.begin(), T.begin() + 6);
        T.resize(T.size() + R.W * R.H * 3, 0x80);
        WriteBytes((Dir / "in" / Name).string(), T);
        return Dir / "in" / Name;
    }
};

} // namespace

TEST_F(ExifOutput, WrittenJPEGsCarryTheSourcesFacts)
{
    // The thumbnail fits 160 x 120 lying, 120 x 160 standing (stored turned a
    // quarter); a picture not turned upright keeps the orientation a viewer needs.
    const TExifRow Rows[] = {
        {300, 200, 1, false, false, 160, 107, 1, 150}, {300, 290, 1, false, false, 124, 120, 1, 150},
        {200, 300, 6, false, false, 160, 107, 6, 150}, {200, 300, 3, true, false, 160, 107, 1, 150},
        {90, 60, 1, false, true, 90, 60, 1, 300},
    };
    auto R0 = std::make_unique<TExifRotationFilter>();
    TEffect* Rotation = R0.get();
    Effects.AddFilter(std::move(R0));
    int N = 0;
    for (const TExifRow& R : Rows) {
        SCOPED_TRACE(N);
        std::tie(Settings.File, Settings.JPEG, Settings.Metadata, Settings.Resize, Settings.Bitmap) = Saved;
        Settings.File.SameDirectory = Settings.File.NotOverwrite = false;
        Settings.File.OutputDirectory = (Dir / "out").string() + "/";
        Settings.File.FileNameFormat = "<old>.jpg";
        Rotation->SetUse(R.Upright);
        Settings.JPEG.UpdateExifResolution = R.NewDpi;
        Settings.Metadata.KeepResolution = !R.NewDpi;
        Settings.Metadata.Resolution = 300;
        const std::string Name = "s" + std::to_string(N++);
        const std::string Dest = Out(Name + ".jpg").string();
        List({MakeTIFF(Name + ".tif", R)});
        ErrorLog.Clear();
        ASSERT_TRUE(Run(1, IO));
        ASSERT_TRUE(Lines().empty()) << Lines()[0];
        TImageInfo O;
        ASSERT_TRUE(GetImageInfo(Dest, O));
        EXPECT_EQ(O.DateTimeOriginal, ExifDateToDateTime(kShot));
        EXPECT_EQ(O.Orientation(), R.OutOrientation);
        EXPECT_EQ(O.XResolution(), R.Dpi);
        const std::vector<uint8_t> F = ReadBytes(Dest);
        TImgHolder T;
        ASSERT_LE(uint64_t(O.ThumbnailPos()) + O.ThumbnailSize(), F.size());
        ASSERT_TRUE(ReadJPEGFromMemory(&F[O.ThumbnailPos()], O.ThumbnailSize(), T.I, TakeRunSettings()));
        EXPECT_EQ(std::make_pair(T.I.Width, T.I.Height), std::make_pair(R.ThumbW, R.ThumbH));
    }
}
