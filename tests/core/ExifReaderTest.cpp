

#include "FilesTestUtil.h"

namespace {

const std::vector<uint8_t> FakeThumb = {0xFF, 0xD8, 1, 2, 3, 4, 5, 6, 7, 8, 0xFF, 0xD9};

std::vector<uint8_t> FullExif(TEndianType O)
{
    TTestEntry Jif = LongEntry(513, 0);
    Jif.Ext = FakeThumb;
    return BuildExif(O, {
        {ShortEntry(274, 6), RationalEntry(282, 300, 1, O), RationalEntry(283, 600, 2, O), ShortEntry(296, 3),
         AsciiEntry(305, "Camera 1.0 "), TTestEntry{34665, ttLONG, 1, 0, {}, 1}},
        {AsciiEntry(36867, "2010:01:02 03:04:05"), ShortEntry(40962, 640), LongEntry(40963, 480)},
        {ShortEntry(259, 6), ShortEntry(274, 6), Jif, LongEntry(514, uint32_t(FakeThumb.size()))},
    });
}

TEST(ExifParse, ReadsEveryFieldInBothByteOrders)
{
    for (TEndianType O : {etII, etMM}) {
        const std::vector<uint8_t> B = FullExif(O);
        TImageInfo I;
        ASSERT_TRUE(ParseExifBlock(B.data(), B.size(), 1000, I));
        EXPECT_EQ(I.FOrientation, 6);
        EXPECT_EQ(GetWord(&B[I.FOrientationPos], O), 6);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&B[I.FSoftwarePos])), "Camera 1.0 ");
        EXPECT_EQ(GetDWord(&B[I.FSoftwareLenPos], O), 12u);
        EXPECT_DOUBLE_EQ(I.FYResolution, 300);
        EXPECT_EQ(I.FResolutionUnit, 2); // EXIF 3 = centimetre
        TDateTime Want;
        TryEncodeDateTime(2010, 1, 2, 3, 4, 5, Want);
        EXPECT_DOUBLE_EQ(I.DateTimeOriginal, Want);
        EXPECT_EQ(GetWord(&B[I.FXDimensionPos], O), 640);
        EXPECT_EQ(I.FYDimensionType, ttLONG);
        EXPECT_EQ(I.FThumbnailPos, 1000 + I.FThumbnailOffset);
        ASSERT_EQ(I.FThumbnailSize, FakeThumb.size());
        EXPECT_EQ(0, std::memcmp(&B[I.FThumbnailOffset], FakeThumb.data(), FakeThumb.size()));
    }
    for (const char* Bad : {"2010:13:02 03:04:05", "2010:02:30 03:04:05", "2010:01:02 24:04:05"})
        EXPECT_EQ(ExifDateToDateTime(Bad), 0) << Bad;
    EXPECT_EQ(ExifDateToDateTime("    :  :     :  :  "), 0);
}

TEST(ExifParse, HostileBlocksAreBrokenNotFatal)
{
    const TEndianType O = etII;
    const std::vector<uint8_t> B = FullExif(O);
    TImageInfo Good;
    ASSERT_TRUE(ParseExifBlock(B.data(), B.size(), 0, Good));
    const uint32_t Ifd1 = GetDWord(&B[Good.FIFD0NextPos], O) + 6;
    // Sets field Field (4 count, 8 value) of the entry Tag in the IFD at Ifd.
    auto Broken = [&](uint32_t Ifd, uint16_t Tag, int Field, uint32_t V) {
        std::vector<uint8_t> M = B;
        for (uint32_t E = 0, N = GetWord(&M[Ifd], O); E < N; ++E)
            if (GetWord(&M[Ifd + 2 + 12 * E], O) == Tag)
                PutDWord(&M[Ifd + 2 + 12 * E + Field], V, O);
        TImageInfo I;
        return !ParseExifBlock(M.data(), M.size(), 0, I);
    };
    EXPECT_TRUE(Broken(Good.FIFD0Pos, 305, 4, 0xFFFFFFFFu));          // Software count
    EXPECT_TRUE(Broken(Good.FIFD0Pos, 282, 8, uint32_t(B.size()) - 10)); // rational cut by the end
    EXPECT_TRUE(Broken(Good.FIFD0Pos, 34665, 8, 0x7FFFFFFFu));         // Exif IFD
    EXPECT_TRUE(Broken(Ifd1, 513, 8, 0xFFFFFFF0u));                    // thumbnail offset
    EXPECT_TRUE(Broken(Ifd1, 514, 8, 0xFFFFFFFFu));                    // thumbnail length
    std::vector<uint8_t> C = B;
    PutWord(&C[14], 0xFFFF, O); // IFD0 entry count
    TImageInfo I;
    EXPECT_FALSE(ParseExifBlock(C.data(), C.size(), 0, I));
    for (size_t N : {size_t(0), size_t(13), B.size() - 1})
        EXPECT_FALSE(ParseExifBlock(B.data(), N, 0, I)) << N;
    // IFD1 pointing back at IFD0 is read once, and ends.
    C = B;
    PutDWord(&C[Good.FIFD0NextPos], 8, O);
    EXPECT_TRUE(ParseExifBlock(C.data(), C.size(), 0, I));
}

TEST(ExifOrientationReset, ChangesOneValueOrNothing)
{
    TTempDir D;
    for (TEndianType O : {etII, etMM}) {
        const std::vector<uint8_t> J = BuildJPEGHeader({{0xFFE1, FullExif(O)}}, 64, 48);
        WriteBytes(D.File("o.jpg"), J);
        ASSERT_TRUE(ResetJPEGExifOrientation(D.File("o.jpg")));
        const std::vector<uint8_t> After = ReadBytes(D.File("o.jpg"));
        ASSERT_EQ(After.size(), J.size());
        size_t Diff = 0;
        for (size_t K = 0; K < J.size(); ++K)
            Diff += After[K] != J[K];
        EXPECT_EQ(Diff, 1u);
        TImageInfo I;
        ASSERT_TRUE(GetImageInfo(D.File("o.jpg"), I));
        EXPECT_EQ(I.Orientation(), 1);
    }
    // A damaged IFD0 or no orientation: the file stays, no temporary file is left.
    std::vector<uint8_t> Bad = FullExif(etII);
    PutWord(&Bad[14], 0x4000, etII);
    for (const auto& J : {BuildJPEGHeader({{0xFFE1, Bad}}, 8, 8),
                          BuildJPEGHeader({{0xFFE1, BuildExif(etII, {{ShortEntry(296, 2)}})}}, 8, 8)}) {
        WriteBytes(D.File("b.jpg"), J);
        EXPECT_FALSE(ResetJPEGExifOrientation(D.File("b.jpg")));
        EXPECT_EQ(ReadBytes(D.File("b.jpg")), J);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(D.Path), {}), 2);
}

} // namespace
