// What a JPEG written from a TIFF or camera JPEG tells a photo viewer: EXIF or
// not, shooting date, orientation, resolution, the file's time, and a
// thumbnail that decodes to the size it should have.
#include "BatchFixture.h"
#include "../core/FilesTestUtil.h"
#include "effects/ExifRotationFilter.h"
#include "platform/FileTimes.h"

namespace {

constexpr const char* kShot = "2019:05:04 03:02:01";
enum : int { Upright = 1, Recompress = 2, NewDpi = 4, NoExif = 8, KeepTime = 16 };

struct TExifRow {
    bool Tiff;
    uint16_t W, H, Orientation;
    int Opt;
    uint32_t ThumbW, ThumbH, OutOrientation; // the output's thumbnail size (0 x 0 when not rebuilt) and orientation
    double Dpi;
};

class ExifOutput : public BatchRunTest {
protected:
    // The source of a row: an uncompressed RGB TIFF at 150 dpi, or a camera
    // JPEG (EXIF first, no JFIF header) at 72 dpi with a padded Software text,
    // pixel dimensions and a thumbnail slot. Both with the date in an EXIF IFD.
    fs::path MakeSource(const std::string& Name, const TExifRow& R)
    {
        TTestEntry Exif = LongEntry(34665, 0), Thumb = LongEntry(513, 0);
        Exif.SubIfd = 1;
        Thumb.Ext.assign(6000, 0);
        const fs::path P = Dir / "in" / Name;
        if (R.Tiff) {
            auto Build = [&](uint32_t Strip) {
                return BuildExif(etII, {{LongEntry(256, R.W), LongEntry(257, R.H), ShortEntry(258, 8),
                                         ShortEntry(259, 1), ShortEntry(262, 2), LongEntry(273, Strip),
                                         ShortEntry(274, R.Orientation), ShortEntry(277, 3), LongEntry(278, R.H),
                                         LongEntry(279, R.W * R.H * 3), RationalEntry(282, 150, 1, etII),
                                         RationalEntry(283, 150, 1, etII), ShortEntry(296, 2), Exif},
                                        {AsciiEntry(36867, kShot)}});
            };
            std::vector<uint8_t> T = Build(uint32_t(Build(0).size() - 6));
            T.erase(T.begin(), T.begin() + 6);
            T.resize(T.size() + R.W * R.H * 3, 0x80);
            WriteBytes(P.string(), T);
            return P;
        }
        const std::vector<uint8_t> B = BuildExif(
            etII, {{ShortEntry(274, R.Orientation), RationalEntry(282, 72, 1, etII), RationalEntry(283, 72, 1, etII),
                    ShortEntry(296, 2), AsciiEntry(305, "  Cam  "), Exif},
                   {AsciiEntry(36867, kShot), ShortEntry(40962, R.W), LongEntry(40963, R.H)},
                   {ShortEntry(259, 6), ShortEntry(274, R.Orientation), Thumb, LongEntry(514, 6000)}});
        MakeJPEG(Name, R.W, R.H, 1, B.data(), uint32_t(B.size()));
        std::vector<uint8_t> F = ReadBytes(P.string());
        if (F[3] == 0xE0)
            F.erase(F.begin() + 2, F.begin() + 4 + (F[4] << 8 | F[5]));
        WriteBytes(P.string(), F);
        return P;
    }
};

} // namespace

TEST_F(ExifOutput, WrittenJPEGsCarryTheSourcesFacts)
{
    const TExifRow Rows[] = {
        // A new block for a TIFF: the thumbnail fits 160 x 120 lying, 120 x 160 standing (stored turned).
        {true, 300, 200, 1, 0, 160, 107, 1, 150}, {true, 300, 290, 1, 0, 124, 120, 1, 150},
        {true, 200, 300, 6, 0, 160, 107, 6, 150}, {true, 200, 300, 3, Upright, 160, 107, 1, 150},
        {true, 90, 60, 1, NewDpi, 90, 60, 1, 300},
        // A camera's block brought up to date, with a new thumbnail in its slot.
        {false, 100, 400, 1, Recompress, 40, 160, 1, 72}, {false, 400, 300, 8, Recompress | Upright, 120, 160, 1, 72},
        {false, 200, 200, 6, Recompress | NewDpi, 160, 160, 6, 300},
        // Copied marker by marker: a JFIF header takes a dropped EXIF's place.
        {false, 64, 48, 1, KeepTime, 0, 0, 1, 72}, {false, 64, 48, 1, NoExif, 0, 0, 0, 72},
        {false, 64, 48, 1, NoExif | NewDpi, 0, 0, 0, 300},
    };
    auto R0 = std::make_unique<TExifRotationFilter>();
    TEffect* Rotation = R0.get();
    Effects.AddFilter(std::move(R0));
    int N = 0;
    for (const TExifRow& R : Rows) {
        SCOPED_TRACE(N);
        std::tie(FileOption, JPEGOption, MetadataOption, ResizeOption, BitmapOption) = Saved;
        FileOption.SameDirectory = FileOption.NotOverwrite = false;
        FileOption.OutputDirectory = (Dir / "out").string() + "/";
        FileOption.FileNameFormat = "<old>.jpg";
        Rotation->SetUse(R.Opt & Upright);
        JPEGOption.AlwaysRecompress = JPEGOption.UpdateExifThumbnail = R.Opt & Recompress;
        JPEGOption.UpdateExifResolution = R.Opt & NewDpi;
        MetadataOption.KeepResolution = !(R.Opt & NewDpi);
        MetadataOption.Resolution = 300;
        JPEGOption.AddExifInfo = !(R.Opt & NoExif);
        MetadataOption.KeepLastWriteTime = R.Opt & KeepTime;
        const std::string Name = "s" + std::to_string(N++);
        const fs::path Src = MakeSource(Name + (R.Tiff ? ".tif" : ".jpg"), R);
        ASSERT_TRUE(platform::SetLastWriteTime(Src.string(), {1000000001, 500}));
        const std::string Dest = Out(Name + ".jpg").string();
        List({Src});
        ErrorLog.Clear();
        ASSERT_TRUE(Run(1, IO));
        ASSERT_TRUE(Lines().empty()) << Lines()[0];
        TImageInfo O;
        ASSERT_TRUE(GetImageInfo(Dest, O));
        EXPECT_EQ(O.HasExif(), !(R.Opt & NoExif));
        EXPECT_EQ(O.DateTimeOriginal, O.HasExif() ? ExifDateToDateTime(kShot) : 0);
        EXPECT_EQ(O.Orientation(), R.OutOrientation);
        EXPECT_EQ(O.XResolution(), R.Dpi);
        platform::TFileStat St;
        ASSERT_TRUE(platform::StatFile(Dest, St));
        EXPECT_EQ(St.LastWrite.Sec == 1000000000, bool(R.Opt & KeepTime)); // cut to even seconds
        if (R.ThumbW == 0)
            continue;
        const std::vector<uint8_t> F = ReadBytes(Dest);
        TImgHolder T;
        ASSERT_LE(uint64_t(O.ThumbnailPos()) + O.ThumbnailSize(), F.size());
        ASSERT_TRUE(ReadJPEGFromMemory(&F[O.ThumbnailPos()], O.ThumbnailSize(), T.I, TakeRunSettings()));
        EXPECT_EQ(std::make_pair(T.I.Width, T.I.Height), std::make_pair(R.ThumbW, R.ThumbH));
    }
}
