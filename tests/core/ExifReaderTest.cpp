#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "FilesTestUtil.h"
#include "core/ExifReader.h"

namespace {

const std::vector<uint8_t> FakeThumb = {0xFF, 0xD8, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xFF, 0xD9};

std::vector<uint8_t> FullExif(TEndianType O)
{
    TTestEntry Date = AsciiEntry(36867, "2010:01:02 03:04:05");
    TTestEntry Jif = LongEntry(513, 0);
    Jif.Ext = FakeThumb;
    return BuildExif(O, {
        {ShortEntry(274, 6), RationalEntry(282, 300, 1, O), RationalEntry(283, 600, 2, O), ShortEntry(296, 3),
         AsciiEntry(305, "Camera 1.0 "), TTestEntry{34665, ttLONG, 1, 0, {}, 1}},
        {Date, ShortEntry(40962, 640), LongEntry(40963, 480)},
        {ShortEntry(259, 6), ShortEntry(274, 6), Jif, LongEntry(514, uint32_t(FakeThumb.size()))},
    });
}

// Every stored position, with the length of what lies there, inside the block.
void ExpectPositionsInside(const TImageInfo& I, size_t Size)
{
    auto In = [&](uint32_t Pos, uint32_t Len) { return Pos == 0 || uint64_t(Pos) + Len <= Size; };
    EXPECT_TRUE(In(I.FOrientationPos, 2));
    EXPECT_TRUE(In(I.FThumbnailOrientationPos, 2));
    EXPECT_TRUE(In(I.FSoftwarePos, I.FSoftwareLen));
    EXPECT_TRUE(In(I.FSoftwareLenPos, 4));
    EXPECT_TRUE(In(I.FXResolutionPos, 8));
    EXPECT_TRUE(In(I.FYResolutionPos, 8));
    EXPECT_TRUE(In(I.FResolutionUnitPos, 2));
    EXPECT_TRUE(In(I.FXDimensionPos, 4));
    EXPECT_TRUE(In(I.FYDimensionPos, 4));
    EXPECT_TRUE(In(I.FThumbnailOffset, I.FThumbnailSize));
    EXPECT_TRUE(In(I.FIFD0Pos, 2 + 12 * I.FIFD0Entry + 4));
}

TEST(ExifParse, ReadsEveryFieldInBothByteOrders)
{
    for (TEndianType O : {etII, etMM}) {
        SCOPED_TRACE(O == etII ? "II" : "MM");
        const std::vector<uint8_t> B = FullExif(O);
        TImageInfo I;
        ASSERT_TRUE(ParseExifBlock(B.data(), B.size(), 1000, I));
        EXPECT_EQ(I.FET, O);
        EXPECT_EQ(I.FIFD0Entry, 6u);
        EXPECT_EQ(I.FOrientation, 6);
        EXPECT_EQ(GetWord(&B[I.FOrientationPos], O), 6);
        EXPECT_EQ(I.FSoftwareLen, 12u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&B[I.FSoftwarePos])), "Camera 1.0 ");
        EXPECT_EQ(GetDWord(&B[I.FSoftwareLenPos], O), 12u);
        EXPECT_DOUBLE_EQ(I.FXResolution, 300);
        EXPECT_DOUBLE_EQ(I.FYResolution, 300);
        EXPECT_EQ(I.FResolutionUnit, 2); // EXIF 3 = centimetre
        EXPECT_EQ(GetDWord(&B[I.FYResolutionPos], O), 600u);
        EXPECT_EQ(GetWord(&B[I.FResolutionUnitPos], O), 3);
        TDateTime Want;
        TryEncodeDateTime(2010, 1, 2, 3, 4, 5, Want);
        EXPECT_DOUBLE_EQ(I.DateTimeOriginal, Want);
        EXPECT_EQ(I.FXDimensionType, ttSHORT);
        EXPECT_EQ(GetWord(&B[I.FXDimensionPos], O), 640);
        EXPECT_EQ(I.FYDimensionType, ttLONG);
        EXPECT_EQ(GetDWord(&B[I.FYDimensionPos], O), 480u);
        ASSERT_EQ(I.FThumbnailSize, FakeThumb.size());
        EXPECT_EQ(I.FThumbnailPos, 1000 + I.FThumbnailOffset);
        EXPECT_EQ(0, std::memcmp(&B[I.FThumbnailOffset], FakeThumb.data(), FakeThumb.size()));
        EXPECT_EQ(GetWord(&B[I.FThumbnailOrientationPos], O), 6);
    }
}

TEST(ExifParse, PartialResolutionAndNoThumbnailAreNotStored)
{
    const TEndianType O = etMM;
    const std::vector<uint8_t> B = BuildExif(O, {
        {RationalEntry(282, 72, 1, O), RationalEntry(283, 72, 1, O), AsciiEntry(305, "abc")}, {},
        {ShortEntry(259, 1), LongEntry(513, 8), LongEntry(514, 4)}, // not JPEG compressed
    });
    TImageInfo I;
    ASSERT_TRUE(ParseExifBlock(B.data(), B.size(), 0, I));
    EXPECT_EQ(I.FXResolutionPos, 0u);
    EXPECT_EQ(I.FXResolution, 0);
    EXPECT_EQ(I.FResolutionUnitPos, 0u);
    EXPECT_EQ(I.FThumbnailPos, 0u);
    EXPECT_EQ(I.FThumbnailSize, 0u);
    // A short Software text lives in the entry's value field.
    EXPECT_EQ(I.FSoftwarePos, I.FSoftwareLenPos + 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&B[I.FSoftwarePos])), "abc");
}

TEST(ExifParse, HostileBlocksAreBrokenNotFatal)
{
    const TEndianType O = etII;
    auto Parse = [](const std::vector<uint8_t>& B) {
        TImageInfo I;
        return ParseExifBlock(B.data(), B.size(), 0, I);
    };
    std::vector<uint8_t> B = FullExif(O);
    // IFD0 offset past the end; IFD0 entry count far beyond the block.
    std::vector<uint8_t> C = B;
    PutDWord(&C[10], 0xFFFFFFF0u, O);
    EXPECT_FALSE(Parse(C));
    C = B;
    PutWord(&C[14], 0xFFFF, O);
    EXPECT_FALSE(Parse(C));
    // Truncated blocks, down to nothing.
    for (size_t N : {size_t(0), size_t(5), size_t(13), size_t(30), B.size() - 1})
        EXPECT_FALSE(Parse(std::vector<uint8_t>(B.begin(), B.begin() + long(N)))) << N;
    // Values pointing outside: Software with a huge count, a resolution, the
    // date, the Exif IFD, IFD1 and the thumbnail.
    auto Mutated = [&](uint16_t Tag, int Field, uint32_t V, bool InIfd1 = false) {
        TImageInfo I;
        EXPECT_TRUE(ParseExifBlock(B.data(), B.size(), 0, I));
        std::vector<uint8_t> M = B;
        uint32_t Ifd = I.FIFD0Pos;
        if (InIfd1)
            Ifd = GetDWord(&B[I.FIFD0NextPos], O) + 6;
        for (uint32_t E = 0, N = GetWord(&M[Ifd], O); E < N; ++E) {
            uint8_t* P = &M[Ifd + 2 + 12 * E];
            if (GetWord(P, O) == Tag)
                PutDWord(P + Field, V, O);
        }
        return M;
    };
    EXPECT_FALSE(Parse(Mutated(305, 4, 0xFFFFFFFFu)));
    EXPECT_FALSE(Parse(Mutated(305, 8, 0xFFFFFFF8u)));
    EXPECT_FALSE(Parse(Mutated(282, 8, uint32_t(B.size()) - 6 - 4)));
    EXPECT_FALSE(Parse(Mutated(34665, 8, 0x7FFFFFFFu)));
    EXPECT_FALSE(Parse(Mutated(513, 8, 0xFFFFFFF0u, true)));
    EXPECT_FALSE(Parse(Mutated(514, 8, 0xFFFFFFFFu, true)));
    // IFD1 pointing back at IFD0 is read once, and ends.
    TImageInfo I;
    ASSERT_TRUE(ParseExifBlock(B.data(), B.size(), 0, I));
    C = B;
    PutDWord(&C[I.FIFD0NextPos], 8, O);
    EXPECT_TRUE(Parse(C));
}

TEST(ExifParse, RandomDamageNeverEscapesTheBlock)
{
    std::mt19937 Rng(1234);
    for (TEndianType O : {etII, etMM}) {
        const std::vector<uint8_t> B = FullExif(O);
        for (int Round = 0; Round < 4000; ++Round) {
            std::vector<uint8_t> M = B;
            const int Flips = 1 + int(Rng() % 8);
            for (int K = 0; K < Flips; ++K)
                M[6 + Rng() % (M.size() - 6)] = uint8_t(Rng());
            if (Rng() % 4 == 0)
                M.resize(6 + Rng() % (M.size() - 6));
            TImageInfo I;
            if (ParseExifBlock(M.data(), M.size(), 0, I))
                ExpectPositionsInside(I, M.size());
            if (HasFailure())
                return;
        }
    }
}

TEST(ExifParse, DateText)
{
    TDateTime D;
    TryEncodeDateTime(2010, 1, 2, 3, 4, 5, D);
    EXPECT_DOUBLE_EQ(ExifDateToDateTime("2010:01:02 03:04:05"), D);
    EXPECT_EQ(ExifDateToDateTime(""), 0);
    EXPECT_EQ(ExifDateToDateTime("    :  :     :  :  "), 0);
    EXPECT_EQ(ExifDateToDateTime("2010:13:02 03:04:05"), 0);
    EXPECT_EQ(ExifDateToDateTime("2010:01:02 03:04"), 0);
    int32_t Y, M, Dd, H, N, S;
    DecodeDateTime(D, Y, M, Dd, H, N, S);
    EXPECT_EQ(std::vector<int32_t>({Y, M, Dd, H, N, S}), std::vector<int32_t>({2010, 1, 2, 3, 4, 5}));
}

TEST(ExifOrientationReset, RewritesOnlyTheOrientation)
{
    TTempDir D;
    for (TEndianType O : {etII, etMM}) {
        const std::vector<uint8_t> J = BuildJPEGHeader({{0xFFE1, FullExif(O)}}, 64, 48);
        const std::string F = D.File(O == etII ? "ii.jpg" : "mm.jpg");
        WriteBytes(F, J);
        ASSERT_TRUE(ResetJPEGExifOrientation(F));
        std::vector<uint8_t> After = ReadBytes(F);
        TImageInfo I;
        ASSERT_TRUE(GetImageInfo(F, I));
        EXPECT_EQ(I.Orientation(), 1);
        // Everything else is byte for byte the same.
        ASSERT_EQ(After.size(), J.size());
        size_t Diff = 0;
        for (size_t K = 0; K < J.size(); ++K)
            Diff += After[K] != J[K];
        EXPECT_EQ(Diff, 1u);
    }
    // A damaged IFD0 or no orientation entry: the file stays as it was, and no
    // temporary file is left behind.
    const TEndianType O = etII;
    std::vector<uint8_t> Broken = FullExif(O);
    PutWord(&Broken[14], 0x4000, O);
    const std::vector<uint8_t> J1 = BuildJPEGHeader({{0xFFE1, Broken}}, 8, 8);
    const std::vector<uint8_t> J2 = BuildJPEGHeader({{0xFFE1, BuildExif(O, {{ShortEntry(296, 2)}})}}, 8, 8);
    WriteBytes(D.File("b1.jpg"), J1);
    WriteBytes(D.File("b2.jpg"), J2);
    EXPECT_FALSE(ResetJPEGExifOrientation(D.File("b1.jpg")));
    EXPECT_FALSE(ResetJPEGExifOrientation(D.File("b2.jpg")));
    EXPECT_FALSE(ResetJPEGExifOrientation(D.File("missing.jpg")));
    EXPECT_EQ(ReadBytes(D.File("b1.jpg")), J1);
    EXPECT_EQ(ReadBytes(D.File("b2.jpg")), J2);
    int Count = 0;
    for ([[maybe_unused]] const auto& E : std::filesystem::directory_iterator(D.Path))
        ++Count;
    EXPECT_EQ(Count, 4);
}

} // namespace
