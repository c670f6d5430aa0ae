// EXIF carried into real JPEG outputs, checked with the codec library and an
// outside reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "FilesTestUtil.h"
#include "core/ImageInfoExif.h"
#include "core/Resize.h"

namespace {

std::string RunCommand(const std::string& Cmd)
{
    std::string Out;
    if (FILE* P = popen(Cmd.c_str(), "r")) {
        char Buf[512];
        while (size_t N = fread(Buf, 1, sizeof Buf, P))
            Out.append(Buf, N);
        pclose(P);
    }
    return Out;
}

class ExifJPEG : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureKodex();
        Resizer.SetDecimationMode(2, CreateWeightSetter(2, 3, 0, 10));
        Resizer.SetInterpolationMode(2, CreateWeightSetter(2, 3, 0, 10));
        Resizer.SetSIMDMode(3, false);
        Resizer.SetMaxThreadNum(1);
        HaveExiftool = !RunCommand("exiftool -ver 2>/dev/null").empty();
    }
    // Writes Img as a JPEG carrying Info's block for it.
    void WriteWithExif(const std::string& File, TImageInfo& Info, const TImgInfo& Img, bool Rotation)
    {
        uint8_t* Block = Info.GetExifInfo(Rotation, Img, &Resizer, true, true, false, TakeRunSettings());
        ASSERT_NE(Block, nullptr);
        ASSERT_LE(Info.ExifSize(), MaxExifBlockSize);
        EXPECT_NE(WriteJPEG(File, Img, 90, {72, 72, 1}, false, nullptr, Block, Info.ExifSize(), 1, 0, TakeRunSettings()), 0);
        FreeAligned(Block);
    }
    std::string Tags(const std::string& File, const std::string& Names)
    {
        return RunCommand("exiftool -n -s -s -s " + Names + " " + File);
    }
    // The embedded thumbnail decoded, as the outside reader extracts it.
    void Thumbnail(const std::string& File, TImgHolder& T)
    {
        const std::string Bytes = RunCommand("exiftool -b -ThumbnailImage " + File);
        ASSERT_FALSE(Bytes.empty());
        ASSERT_NE(ReadJPEGFromMemory(reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size(), T.I, TakeRunSettings()), 0);
    }
    TOptionGuard Guard;
    TTempDir D;
    TResizer Resizer;
    bool HaveExiftool = false;
};

TEST_F(ExifJPEG, SourceWithExifIsPatchedAfterATurn)
{
    if (!HaveExiftool)
        GTEST_SKIP() << "exiftool is not installed";
    // A camera file: orientation 6, 350 per centimetre, Software, a 4000-byte thumbnail slot.
    const TEndianType O = etII;
    TTestEntry Jif = LongEntry(513, 0);
    Jif.Ext.assign(4000, 0);
    Jif.Ext[0] = 0xFF;
    Jif.Ext[1] = 0xD8;
    const std::vector<uint8_t> Exif = BuildExif(
        O, {{ShortEntry(274, 6), RationalEntry(282, 350, 1, O), RationalEntry(283, 350, 1, O), ShortEntry(296, 3),
             AsciiEntry(305, "Camera 1.0 "), TTestEntry{34665, ttLONG, 1, 0, {}, 1}},
            {AsciiEntry(36867, "2016:03:09 10:11:12"), ShortEntry(40962, 480), ShortEntry(40963, 320)},
            {ShortEntry(259, 6), ShortEntry(274, 6), Jif, LongEntry(514, 4000)}});
    TImgHolder Src;
    Src.I = MakeGradient(480, 320, 3);
    ASSERT_NE(WriteJPEG(D.File("cam.jpg"), Src.I, 90, {}, false, nullptr, Exif.data(), uint32_t(Exif.size()), 1, 0, TakeRunSettings()), 0);

    TImageInfo Info;
    ASSERT_TRUE(GetImageInfo(D.File("cam.jpg"), Info));
    ASSERT_EQ(Info.Orientation(), 6);
    JPEGOption.UpdateExifThumbnail = true;
    MetadataOption.Resolution = 300;
    TImgHolder Out; // the picture turned upright and shrunk
    Out.I = MakeGradient(200, 300, 3);
    WriteWithExif(D.File("out.jpg"), Info, Out.I, true);

    EXPECT_EQ(Tags(D.File("out.jpg"), "-IFD0:Orientation -IFD0:Software -IFD0:XResolution -IFD0:ResolutionUnit "
                                      "-ExifImageWidth -ExifImageHeight -DateTimeOriginal -IFD1:Orientation"),
              "1\nVestro,Camera 1.0\n300\n2\n200\n300\n2016:03:09 10:11:12\n1\n");
    TImgHolder T;
    Thumbnail(D.File("out.jpg"), T);
    EXPECT_EQ(T.I.Width, 107u);
    EXPECT_EQ(T.I.Height, 160u);
}

TEST_F(ExifJPEG, SourceWithoutExifGetsANewBlockAndThumbnail)
{
    if (!HaveExiftool)
        GTEST_SKIP() << "exiftool is not installed";
    TImgHolder Src;
    Src.I = MakeGradient(300, 400, 3);
    ASSERT_NE(WriteJPEG(D.File("plain.jpg"), Src.I, 90, {}, false, nullptr, nullptr, 0, 1, 0, TakeRunSettings()), 0);
    TImageInfo Info;
    ASSERT_TRUE(GetImageInfo(D.File("plain.jpg"), Info));
    ASSERT_FALSE(Info.HasExif());
    MetadataOption.Resolution = 150;
    WriteWithExif(D.File("out.jpg"), Info, Src.I, false);
    // Portrait: the thumbnail is stored turned, and says so.
    EXPECT_EQ(Tags(D.File("out.jpg"), "-IFD0:Software -IFD0:XResolution -ExifImageWidth -ExifImageHeight "
                                      "-IFD1:Orientation"),
              "Vestro\n150\n300\n400\n8\n");
    TImgHolder T;
    Thumbnail(D.File("out.jpg"), T);
    EXPECT_EQ(T.I.Width, 160u);
    EXPECT_EQ(T.I.Height, 120u);
}

} // namespace
