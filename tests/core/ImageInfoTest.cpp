
#include <future>

#include "FilesTestUtil.h"
#include "core/ErrorLog.h"

namespace {

// A chunk whose length field says Len; its CRC is not looked at.
void Chunk(std::vector<uint8_t>& B, const char* Type, const std::vector<uint8_t>& Data, uint32_t Len)
{
    for (uint32_t V : {Len >> 16, Len & 0xFFFF})
        PutBE16(B, V);
    B.insert(B.end(), Type, Type + 4);
    B.insert(B.end(), Data.begin(), Data.end());
    B.insert(B.end(), 4, 0);
}

std::vector<uint8_t> PNGHeader(uint16_t W, uint16_t H)
{
    std::vector<uint8_t> B = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Chunk(B, "IHDR", {0, 0, uint8_t(W >> 8), uint8_t(W), 0, 0, uint8_t(H >> 8), uint8_t(H), 8, 6, 0, 0, 0}, 13);
    return B;
}

class Probe : public ::testing::Test {
protected:
    TTempDir D;
    TImageInfo I;
};

TEST_F(Probe, PNGWithHostileChunkLengthsEnds)
{
    // 0xFFFFFFF4 is -12 as a signed length: it must not lead back onto the same chunk.
    for (uint32_t Len : {0xFFFFFFF4u, 0xFFFFFFFFu, 0x80000000u}) {
        std::vector<uint8_t> B = PNGHeader(7, 9);
        Chunk(B, "zzzz", {}, Len);
        WriteBytes(D.File("h.png"), B);
        auto F = std::async(std::launch::async, [&] { return GetImageInfo(D.File("h.png"), I); });
        ASSERT_EQ(F.wait_for(std::chrono::seconds(10)), std::future_status::ready) << Len;
        EXPECT_TRUE(F.get());
    }
}

TEST_F(Probe, ContentWinsOverTheExtension)
{
    WriteBytes(D.File("really-png.jpg"), PNGHeader(4, 3));
    ASSERT_TRUE(GetImageInfo(D.File("really-png.jpg"), I));
    EXPECT_EQ(I.PictureFormat, pfPNG);
    WriteBytes(D.File("really-jpeg.bmp"), BuildJPEGHeader({}, 33, 22));
    ASSERT_TRUE(GetImageInfo(D.File("really-jpeg.bmp"), I));
    EXPECT_EQ(std::make_tuple(I.PictureFormat, I.Width), std::make_tuple(pfJPEG, 33));
    WriteBytes(D.File("noise.bmp"), {1, 2, 3, 4, 5});
    EXPECT_FALSE(GetImageInfo(D.File("noise.bmp"), I) || GetImageInfo(D.File("missing.png"), I));
    // A BMP header cut short is an error, not a guess.
    std::vector<uint8_t> Bmp(30, 0);
    Bmp[0] = 'B';
    Bmp[1] = 'M';
    WriteBytes(D.File("short.bmp"), Bmp);
    ErrorLog.Clear();
    EXPECT_FALSE(GetImageInfo(D.File("short.bmp"), I));
    EXPECT_EQ(ErrorLog.GetErrorCount(), 1);
    ErrorLog.Clear();
}

TEST_F(Probe, JPEGWithJFIFAndExif)
{
    const std::vector<uint8_t> Jfif = {'J', 'F', 'I', 'F', 0, 1, 1, 2, 0, 118, 0, 119, 0, 0};
    const std::vector<uint8_t> Exif = BuildExif(etMM, {{ShortEntry(274, 8)}});
    const std::vector<uint8_t> J = BuildJPEGHeader({{0xFFE0, Jfif}, {0xFFE1, Exif}}, 640, 480);
    WriteBytes(D.File("a.JPEG"), J);
    ASSERT_TRUE(GetImageInfo(D.File("a.JPEG"), I));
    EXPECT_EQ(std::make_tuple(I.PictureFormat, I.Width, I.Height), std::make_tuple(pfJPEG, 640, 480));
    EXPECT_EQ(std::make_tuple(I.XResolution(), I.ResolutionUnit()), std::make_tuple(118., 2));
    EXPECT_EQ(I.ExifSize(), Exif.size());
    EXPECT_EQ(0, std::memcmp(&J[I.ExifPos()], "Exif", 4));
    EXPECT_EQ(I.Orientation(), 8);

    // An APP1 behind the frame header is not the picture's EXIF.
    WriteBytes(D.File("late.jpg"), BuildJPEGHeader({{0xFFE1, Exif}}, 10, 10, true));
    ASSERT_TRUE(GetImageInfo(D.File("late.jpg"), I));
    EXPECT_FALSE(I.HasExif());

    // A damaged block marks the EXIF broken and says so; the picture is still listed.
    std::vector<uint8_t> Bad = Exif;
    PutDWord(&Bad[10], 0x00FFFFFF, etMM);
    WriteBytes(D.File("bad.jpg"), BuildJPEGHeader({{0xFFE1, Bad}}, 10, 12));
    ErrorLog.Clear();
    ASSERT_TRUE(GetImageInfo(D.File("bad.jpg"), I));
    EXPECT_TRUE(I.ExifBroken());
    EXPECT_EQ(ErrorLog.Lines(),
              std::vector<std::string>({"bad.jpg:There is possibility that Exif information is damaged"}));
    ErrorLog.Clear();
}

TEST_F(Probe, SizesPastFourGigabytes)
{
    const std::string F = D.File("big.bin");
    WriteBytes(F, {1});
    std::filesystem::resize_file(F, (uint64_t(5) << 30) + 3); // sparse: nothing is written
    ASSERT_TRUE(GetBasicFileInfo(F, I));
    EXPECT_EQ(I.Size, (int64_t(5) << 30) + 3);
    EXPECT_EQ(I.SizeStr(), "5120 MB");
    EXPECT_DOUBLE_EQ(GetFileLastWriteTime(F), I.DateTimeLastWrite);
    EXPECT_GT(I.DateTimeLastWrite, 40000); // after 2009
}

// The size text at each unit's edges: bytes below 1 KB, two decimals below
// 10 KB, one below 100 KB, whole kilobytes below 1000 KB (not 1024: 1000 KB
// and more read as 0.98 MB), then megabytes in the same three steps.
TEST(SizeText, EveryUnitAtItsEdges)
{
    const std::pair<int64_t, const char*> Sizes[] = {
        {0, "0 Byte"},         {1023, "1023 Byte"},     {1024, "1.00 KB"},       {1025, "1.00 KB"},
        {1536, "1.50 KB"},     {10239, "10.00 KB"},     {10240, "10.0 KB"},      {102399, "100.0 KB"},
        {102400, "100 KB"},    {1023999, "999 KB"},     {1024000, "0.98 MB"},    {1048575, "1.00 MB"},
        {1048576, "1.00 MB"},  {10485759, "10.00 MB"},  {10485760, "10.0 MB"},   {104857599, "100.0 MB"},
        {104857600, "100 MB"}, {1073741823, "1023 MB"}, {1073741824, "1024 MB"},
    };
    TImageInfo I;
    for (const auto& [Size, Text] : Sizes) {
        I.Size = Size;
        EXPECT_EQ(I.SizeStr(), Text) << Size;
    }
}

class FileList : public ::testing::Test {
protected:
    void Add(const std::string& Path)
    {
        auto* I = new TImageInfo;
        I->SetPath(Path);
        I->Number = L.Count() + 1;
        L.Add(I);
    }
    TImageInfoList L;
};

TEST_F(FileList, PathIndexTellsNamesThatDifferInCaseApart)
{
    // On Linux "One.JPG" and "one.jpg" are two files: both must be listable.
    Add("/Pics/One.JPG");
    Add("/pics/two.jpg");
    EXPECT_TRUE(L.Contains("/Pics/One.JPG"));
    EXPECT_FALSE(L.Contains("/pics/one.jpg"));
    L.Delete(0);
    EXPECT_FALSE(L.Contains("/Pics/One.JPG"));
    EXPECT_TRUE(L.Contains("/pics/two.jpg"));
    L.Clear();
    EXPECT_FALSE(L.Contains("/pics/two.jpg"));
}

// Each column gives another order of the same four files; a column sorted
// again turns its order round (the size column: width, height, then width
// the other way).
TEST_F(FileList, EveryColumnSortsByItsOwnKeyAndTurnsRound)
{
    struct TRow {
        const char* Path;
        int32_t W, H;
        int64_t Size;
        int32_t Format;
        double Written, Shot;
    };
    const TRow Rows[] = {{"/p/3/a.jpg", 30, 6, 400, pfSPI, 3, 4},
                         {"/p/4/b.jpg", 10, 7, 200, pfBMP, 4, 2},
                         {"/p/2/c.jpg", 40, 5, 300, pfJPEG, 1, 3},
                         {"/p/1/d.jpg", 20, 8, 100, pfPNG, 2, 1}};
    for (const TRow& R : Rows) {
        Add(R.Path);
        TImageInfo& I = *L[L.Count() - 1];
        std::tie(I.Width, I.Height, I.Size, I.PictureFormat, I.DateTimeLastWrite, I.DateTimeOriginal) =
            std::make_tuple(R.W, R.H, R.Size, R.Format, R.Written, R.Shot);
    }
    auto Order = [&](int32_t Key) {
        L.SortList(Key);
        std::string S;
        for (int32_t i = 0; i < L.Count(); ++i)
            S += L[i]->Name()[0];
        return S;
    };
    // Name, width, height, file size, type, newest written, newest shot, path.
    const std::vector<std::pair<int32_t, std::string>> Want = {
        {0, "abcd"}, {1, "bdac"}, {1, "cabd"}, {2, "dbca"}, {3, "bcda"}, {4, "badc"}, {5, "acbd"},
        {6, "dcab"}, {0, "dcba"}, {1, "cadb"}, {2, "acbd"}, {4, "cdab"}, {5, "dbca"}, {6, "bacd"}};
    for (const auto& [Key, Names] : Want)
        EXPECT_EQ(Order(Key), Names) << "column " << Key;
}

} // namespace
