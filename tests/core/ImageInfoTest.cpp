#include <gtest/gtest.h>

#include <cstring>
#include <future>

#include "FilesTestUtil.h"
#include "core/ErrorLog.h"
#include "core/ImageInfo.h"

namespace {

void PutBE32(std::vector<uint8_t>& B, uint32_t V)
{
    PutBE16(B, V >> 16);
    PutBE16(B, V & 0xFFFF);
}

void Chunk(std::vector<uint8_t>& B, const char* Type, const std::vector<uint8_t>& Data, uint32_t Len)
{
    PutBE32(B, Len);
    B.insert(B.end(), Type, Type + 4);
    B.insert(B.end(), Data.begin(), Data.end());
    PutBE32(B, 0); // CRC, not checked by the probe
}

std::vector<uint8_t> PNGHeader(uint32_t W, uint32_t H)
{
    std::vector<uint8_t> B = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> Ihdr;
    PutBE32(Ihdr, W);
    PutBE32(Ihdr, H);
    Ihdr.insert(Ihdr.end(), {8, 6, 0, 0, 0});
    Chunk(B, "IHDR", Ihdr, 13);
    return B;
}

std::vector<uint8_t> PHYs(uint32_t X, uint32_t Y, uint8_t Unit)
{
    std::vector<uint8_t> D;
    PutBE32(D, X);
    PutBE32(D, Y);
    D.push_back(Unit);
    return D;
}

class Probe : public ::testing::Test {
protected:
    TTempDir D;
    TImageInfo I;
};

TEST_F(Probe, PNGHeaderAndResolution)
{
    std::vector<uint8_t> B = PNGHeader(300, 200);
    Chunk(B, "tEXt", {'a', 0, 'b'}, 3);
    Chunk(B, "pHYs", PHYs(3780, 2835, 1), 9);
    Chunk(B, "IDAT", {}, 0);
    WriteBytes(D.File("a.png"), B);
    ASSERT_TRUE(GetImageInfo(D.File("a.png"), I));
    EXPECT_EQ(I.PictureFormat, pfPNG);
    EXPECT_EQ(I.Width, 300);
    EXPECT_EQ(I.Height, 200);
    EXPECT_EQ(I.FXResolution, 3780);
    EXPECT_EQ(I.FYResolution, 2835);
    EXPECT_EQ(I.ResolutionUnit(), 3);
    EXPECT_EQ(I.Size, int64_t(B.size()));
    EXPECT_EQ(I.Path(), D.File("a.png"));

    // pHYs after the image data is not looked at.
    B = PNGHeader(5, 6);
    Chunk(B, "IDAT", {}, 0);
    Chunk(B, "pHYs", PHYs(3780, 3780, 1), 9);
    WriteBytes(D.File("b.png"), B);
    ASSERT_TRUE(GetImageInfo(D.File("b.png"), I));
    EXPECT_EQ(I.XResolution(), 0);
}

TEST_F(Probe, PNGWithHostileChunkLengthsEnds)
{
    // A length of 0xFFFFFFF4 is -12 when read as signed: it must not lead
    // back onto the same chunk.
    for (uint32_t Len : {0xFFFFFFF4u, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u}) {
        std::vector<uint8_t> B = PNGHeader(7, 9);
        PutBE32(B, Len);
        B.insert(B.end(), {'z', 'z', 'z', 'z', 0, 0, 0, 0});
        WriteBytes(D.File("h.png"), B);
        auto F = std::async(std::launch::async, [&] { return GetImageInfo(D.File("h.png"), I); });
        ASSERT_EQ(F.wait_for(std::chrono::seconds(10)), std::future_status::ready) << Len;
        EXPECT_TRUE(F.get());
        EXPECT_EQ(I.Width, 7);
    }
}

TEST_F(Probe, ContentWinsOverTheExtension)
{
    WriteBytes(D.File("really-png.jpg"), PNGHeader(4, 3));
    ASSERT_TRUE(GetImageInfo(D.File("really-png.jpg"), I));
    EXPECT_EQ(I.PictureFormat, pfPNG);
    WriteBytes(D.File("really-jpeg.png"), BuildJPEGHeader({}, 33, 22));
    ASSERT_TRUE(GetImageInfo(D.File("really-jpeg.png"), I));
    EXPECT_EQ(I.PictureFormat, pfJPEG);
    EXPECT_EQ(I.Width, 33);
    WriteBytes(D.File("noise.bmp"), {1, 2, 3, 4, 5});
    EXPECT_FALSE(GetImageInfo(D.File("noise.bmp"), I));
    EXPECT_FALSE(GetImageInfo(D.File("missing.png"), I));
}

TEST_F(Probe, BMPHeader)
{
    std::vector<uint8_t> B(54, 0);
    B[0] = 'B';
    B[1] = 'M';
    auto Le = [&](size_t At, int32_t V) { std::memcpy(&B[At], &V, 4); };
    Le(18, 640);
    Le(22, -480); // top-down
    Le(38, 2835);
    Le(42, 3780);
    WriteBytes(D.File("a.dib"), B);
    ASSERT_TRUE(GetImageInfo(D.File("a.dib"), I));
    EXPECT_EQ(I.PictureFormat, pfBMP);
    EXPECT_EQ(I.Width, 640);
    EXPECT_EQ(I.Height, 480);
    EXPECT_EQ(I.FYResolution, 3780);
    EXPECT_EQ(I.ResolutionUnit(), 3);
    // Cut short inside the header: an error, not a guess.
    B.resize(30);
    WriteBytes(D.File("short.bmp"), B);
    EXPECT_FALSE(GetImageInfo(D.File("short.bmp"), I));
}

TEST_F(Probe, JPEGWithJFIFAndExif)
{
    const std::vector<uint8_t> Jfif = {'J', 'F', 'I', 'F', 0, 1, 1, 2, 0, 118, 0, 119, 0, 0};
    const std::vector<uint8_t> Exif = BuildExif(etMM, {{ShortEntry(274, 8)}});
    const std::vector<uint8_t> J = BuildJPEGHeader({{0xFFE0, Jfif}, {0xFFE1, Exif}}, 640, 480);
    WriteBytes(D.File("a.JPEG"), J);
    ASSERT_TRUE(GetImageInfo(D.File("a.JPEG"), I));
    EXPECT_EQ(I.PictureFormat, pfJPEG);
    EXPECT_EQ(I.Width, 640);
    EXPECT_EQ(I.Height, 480);
    EXPECT_EQ(I.FXResolution, 118);
    EXPECT_EQ(I.ResolutionUnit(), 2);
    EXPECT_TRUE(I.HasExif());
    EXPECT_FALSE(I.ExifBroken());
    EXPECT_EQ(I.ExifSize(), Exif.size());
    EXPECT_EQ(0, std::memcmp(&J[I.ExifPos()], "Exif", 4));
    EXPECT_EQ(I.Orientation(), 8);

    // An APP1 behind the frame header is not the picture's EXIF.
    WriteBytes(D.File("late.jpg"), BuildJPEGHeader({{0xFFE1, Exif}}, 10, 10, true));
    ASSERT_TRUE(GetImageInfo(D.File("late.jpg"), I));
    EXPECT_FALSE(I.HasExif());
    EXPECT_EQ(I.Orientation(), 0);

    // A damaged block marks the EXIF broken; the picture is still listed.
    std::vector<uint8_t> Bad = Exif;
    PutDWord(&Bad[10], 0x00FFFFFF, etMM);
    WriteBytes(D.File("bad.jpg"), BuildJPEGHeader({{0xFFE1, Bad}}, 10, 12));
    ErrorLog.Clear();
    ASSERT_TRUE(GetImageInfo(D.File("bad.jpg"), I));
    EXPECT_EQ(ErrorLog.Lines(), std::vector<std::string>({"bad.jpg:There is possibility that Exif information is damaged"}));
    ErrorLog.Clear();
    EXPECT_TRUE(I.ExifBroken());
    EXPECT_EQ(I.Height, 12);

    // An APP1 segment claiming more bytes than the file has.
    std::vector<uint8_t> Cut = BuildJPEGHeader({{0xFFE1, Exif}}, 10, 12);
    Cut[4] = 0x7F;
    WriteBytes(D.File("cut.jpg"), Cut);
    EXPECT_FALSE(GetImageInfo(D.File("cut.jpg"), I));
}

TEST_F(Probe, FileSizeAndTimes)
{
    // Sizes past 4 GiB (a sparse file, so nothing is written).
    const std::string F = D.File("big.bin");
    WriteBytes(F, {1});
    std::filesystem::resize_file(F, (uint64_t(5) << 30) + 3);
    ASSERT_TRUE(GetBasicFileInfo(F, I));
    EXPECT_EQ(I.Size, (int64_t(5) << 30) + 3);
    EXPECT_EQ(I.SizeStr(), "5120 MB");
    EXPECT_GT(I.DateTimeLastWrite, 40000); // after 2009
    EXPECT_DOUBLE_EQ(GetFileLastWriteTime(F), I.DateTimeLastWrite);
    EXPECT_EQ(GetFileLastWriteTime(D.File("none")), 0);
    EXPECT_FALSE(GetBasicFileInfo(D.File("none"), I));
}

TEST(ImageInfo, SizeText)
{
    TImageInfo I;
    const std::pair<int64_t, const char*> Cases[] = {
        {1023, "1023 Byte"}, {1024, "1.00 KB"}, {10240, "10.0 KB"}, {1023999, "999 KB"},
        {1024000, "0.98 MB"}, {10485760, "10.0 MB"}, {104857600, "100 MB"},
    };
    for (const auto& [S, Text] : Cases) {
        I.Size = S;
        EXPECT_EQ(I.SizeStr(), Text);
    }
}

TEST(ImageInfo, TemporaryInputIsDeletedWithItsEntry)
{
    TTempDir D;
    WriteBytes(D.File("paste.bmp"), {1});
    WriteBytes(D.File("keep.bmp"), {1});
    {
        TImageInfo A, B;
        A.SetPath(D.File("paste.bmp"));
        A.IsTempFile = true;
        B.SetPath(D.File("keep.bmp"));
    }
    EXPECT_FALSE(std::filesystem::exists(D.File("paste.bmp")));
    EXPECT_TRUE(std::filesystem::exists(D.File("keep.bmp")));
}

class FileList : public ::testing::Test {
protected:
    TImageInfo* Add(const std::string& Path, int32_t W, int32_t H, int64_t Size = 0)
    {
        auto* I = new TImageInfo;
        I->SetPath(Path);
        I->Width = W;
        I->Height = H;
        I->Size = Size;
        L.Add(I);
        return I;
    }
    std::string Order()
    {
        std::string S;
        for (int32_t K = 0; K < L.Count(); ++K)
            S += L[K]->Number + '0';
        return S;
    }
    TImageInfoList L;
};

TEST_F(FileList, SortByNameTogglesAndIsStable)
{
    Add("/x/b.jpg", 0, 0)->Number = 1;
    Add("/y/a.jpg", 0, 0)->Number = 2;
    Add("/a/b.jpg", 0, 0)->Number = 3;
    Add("/z/B.jpg", 0, 0)->Number = 4;
    L.SortList(0);
    EXPECT_EQ(Order(), "4213"); // ordinal: upper case first; equal names keep their order
    L.SortList(0);
    EXPECT_EQ(Order(), "1324");
    L.SortList(6);
    EXPECT_EQ(Order(), "3124");
}

TEST_F(FileList, DimensionKeyCyclesThroughFourOrders)
{
    Add("a", 10, 30)->Number = 1;
    Add("b", 20, 10)->Number = 2;
    Add("c", 30, 20)->Number = 3;
    L.SortList(1);
    EXPECT_EQ(Order(), "123"); // width ascending
    L.SortList(1);
    EXPECT_EQ(Order(), "231"); // height ascending
    L.SortList(1);
    EXPECT_EQ(Order(), "321"); // width descending
    L.SortList(1);
    EXPECT_EQ(Order(), "132"); // height descending
    L.SortList(1);
    EXPECT_EQ(Order(), "123");
}

TEST_F(FileList, DatesSortNewestFirstAndSizeAscending)
{
    Add("a", 0, 0, 300)->DateTimeLastWrite = 100;
    L[0]->Number = 1;
    Add("b", 0, 0, 100)->DateTimeLastWrite = 300;
    L[1]->Number = 2;
    Add("c", 0, 0, 200)->DateTimeLastWrite = 200;
    L[2]->Number = 3;
    L.SortList(4);
    EXPECT_EQ(Order(), "231");
    L.SortList(2);
    EXPECT_EQ(Order(), "231");
    L.SortList(2);
    EXPECT_EQ(Order(), "132");
}

TEST_F(FileList, PathIndexIgnoresLetterCase)
{
    Add("/Pics/One.JPG", 0, 0);
    Add("/pics/two.jpg", 0, 0);
    EXPECT_TRUE(L.Contains("/pics/one.jpg"));
    EXPECT_FALSE(L.Contains("/pics/three.jpg"));
    L.Delete(0);
    EXPECT_FALSE(L.Contains("/pics/one.jpg"));
    EXPECT_EQ(L.Count(), 1);
    L.Delete(5); // out of range: nothing happens
    L.Clear();
    EXPECT_FALSE(L.Contains("/pics/two.jpg"));
}

TEST(ExtInfo, TypeNamesFromProviderOrTable)
{
    TExtInfoList List;
    EXPECT_EQ(List.GetExtType(".JPG"), "JPEG image");
    EXPECT_EQ(List.GetExtType(".xyz"), "XYZ file");
    TExtInfoList::TypeNameProvider = [](const std::string& E) { return E == ".abc" ? "Abc picture" : ""; };
    EXPECT_EQ(List.GetExtType(".abc"), "Abc picture");
    EXPECT_EQ(List.GetExtType(".png"), "PNG image");
    TExtInfoList::TypeNameProvider = nullptr;
}

} // namespace

namespace {

TEST(ProbeKodex, OtherFormatsThroughTheCodecLibrary)
{
    EnsureKodex();
    ASSERT_NE(GetWICExtensions().find(".gif,"), std::string::npos);
    TTempDir D;
    // The smallest GIF there is: one pixel.
    const std::vector<uint8_t> Gif = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00,
                                      0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x00,
                                      0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02,
                                      0x44, 0x01, 0x00, 0x3B};
    WriteBytes(D.File("dot.GIF"), Gif);
    TImageInfo I;
    ASSERT_TRUE(GetImageInfo(D.File("dot.GIF"), I));
    EXPECT_EQ(I.PictureFormat, pfWIC);
    EXPECT_EQ(I.Width, 1);
    EXPECT_EQ(I.Height, 1);
    EXPECT_EQ(I.ResolutionUnit(), 1);
    EXPECT_EQ(I.ImageType(), "GIF image");
    // An extension the library does not list is not handed to it.
    WriteBytes(D.File("dot.xyz"), Gif);
    EXPECT_FALSE(GetImageInfo(D.File("dot.xyz"), I));
}

} // namespace
