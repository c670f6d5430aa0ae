#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "FilesTestUtil.h"
#include "core/ErrorLog.h"
#include "core/Errors.h"
#include "core/ImageInfoExif.h"
#include "core/ImageLoader.h"

namespace {

std::vector<uint8_t> CameraExif(TEndianType O, const std::string& Software, bool WithUnit = true)
{
    std::vector<TTestEntry> Ifd0 = {ShortEntry(274, 6), RationalEntry(282, 350, 1, O), RationalEntry(283, 350, 1, O)};
    if (WithUnit)
        Ifd0.push_back(ShortEntry(296, 3)); // per centimetre
    if (!Software.empty())
        Ifd0.push_back(AsciiEntry(305, Software));
    Ifd0.push_back(TTestEntry{34665, ttLONG, 1, 0, {}, 1});
    TTestEntry Jif = LongEntry(513, 0);
    Jif.Ext = {0xFF, 0xD8, 9, 9, 9, 9, 0xFF, 0xD9};
    return BuildExif(O, {Ifd0,
                         {AsciiEntry(36867, "2010:01:02 03:04:05"), ShortEntry(40962, 4000), LongEntry(40963, 3000)},
                         {ShortEntry(259, 6), ShortEntry(274, 6), Jif, LongEntry(514, 8)}});
}

TImageInfo& Probed(TImageInfo& I, const std::vector<uint8_t>& B)
{
    I.FExifSize = uint32_t(B.size());
    I.FHasExif = true;
    EXPECT_TRUE(ParseExifBlock(B.data(), B.size(), 100, I));
    return I;
}

std::string SoftwareOf(const std::vector<uint8_t>& B)
{
    TImageInfo I;
    EXPECT_TRUE(ParseExifBlock(B.data(), B.size(), 0, I));
    if (I.FSoftwarePos == 0)
        return "(none)";
    return std::string(reinterpret_cast<const char*>(&B[I.FSoftwarePos]));
}

class CarryOver : public ::testing::Test {
protected:
    TOptionGuard Guard;
};

TEST_F(CarryOver, SoftwareTextGrowsWhenItDoesNotFit)
{
    for (TEndianType O : {etII, etMM}) {
        std::vector<uint8_t> B = CameraExif(O, "Camera 1.0 ");
        TImageInfo I;
        Probed(I, B);
        const size_t Old = B.size();
        I.PatchExifBlock(B, false, 0, 0, false, false);
        EXPECT_EQ(SoftwareOf(B), "Vestro,Camera 1.0");
        EXPECT_EQ(B.size(), Old + 18);
        EXPECT_EQ(I.ExifSize(), B.size());
    }
    // A slot with room to spare is reused in place.
    std::vector<uint8_t> B = CameraExif(etII, "Cam            ");
    TImageInfo I;
    Probed(I, B);
    const size_t Old = B.size();
    I.PatchExifBlock(B, false, 0, 0, false, false);
    EXPECT_EQ(SoftwareOf(B), "Vestro,Cam");
    EXPECT_EQ(B.size(), Old);
    EXPECT_EQ(I.FNewExifSize, 0u);
}

TEST_F(CarryOver, MissingSoftwareRebuildsIFD0AndPatchesTheMovedCopy)
{
    MetadataOption.Resolution = 72;
    for (TEndianType O : {etII, etMM}) {
        std::vector<uint8_t> B = CameraExif(O, "");
        TImageInfo I;
        Probed(I, B);
        const size_t Old = B.size();
        I.PatchExifBlock(B, true, 640, 480, true, true);
        EXPECT_EQ(B.size(), Old + 7 + 12 * (5 + 1) + 6);
        TImageInfo R;
        ASSERT_TRUE(ParseExifBlock(B.data(), B.size(), 100, R));
        EXPECT_EQ(SoftwareOf(B), "Vestro");
        EXPECT_EQ(R.FIFD0Entry, 6u);
        EXPECT_EQ(R.FOrientation, 1);
        // The unit is read from the new IFD0: it must say inch with 72 dpi.
        EXPECT_EQ(R.FResolutionUnit, 1);
        EXPECT_DOUBLE_EQ(R.FXResolution, 72);
        EXPECT_EQ(GetWord(&B[R.FXDimensionPos], O), 640);
        EXPECT_EQ(GetDWord(&B[R.FYDimensionPos], O), 480u);
        EXPECT_GT(R.DateTimeOriginal, 0);
        EXPECT_EQ(R.FThumbnailSize, 8u);
    }
}

TEST_F(CarryOver, BlockNeverPassesTheSegmentLimit)
{
    // A block 20 bytes short of the limit: neither a new IFD0 nor a longer
    // text fits; a slot of 7 or more bytes takes the bare product name.
    auto Big = [](const std::string& Software) {
        std::vector<uint8_t> B = CameraExif(etII, Software);
        std::vector<uint8_t> Pad = B;
        Pad.resize(MaxExifBlockSize - 20, 0);
        return Pad;
    };
    std::vector<uint8_t> B = Big("");
    TImageInfo I;
    Probed(I, B);
    I.PatchExifBlock(B, false, 0, 0, false, false);
    EXPECT_EQ(B.size(), MaxExifBlockSize - 20);
    EXPECT_EQ(SoftwareOf(B), "(none)");

    B = Big("A camera of some length");
    TImageInfo J;
    Probed(J, B);
    J.PatchExifBlock(B, false, 0, 0, false, false);
    EXPECT_EQ(B.size(), MaxExifBlockSize - 20);
    EXPECT_EQ(SoftwareOf(B), "Vestro");
}

TEST_F(CarryOver, BrokenOrPartialBlocksAreLeftAlone)
{
    std::vector<uint8_t> B = CameraExif(etMM, "X");
    TImageInfo I;
    Probed(I, B);
    I.FExifBroken = true;
    const std::vector<uint8_t> Copy = B;
    I.PatchExifBlock(B, true, 1, 1, true, true);
    EXPECT_EQ(B, Copy);

    // Without a ResolutionUnit tag the resolution stays as the camera wrote it.
    B = CameraExif(etMM, "Some camera", false);
    TImageInfo J;
    Probed(J, B);
    J.PatchExifBlock(B, false, 0, 0, false, true);
    const std::vector<uint8_t> R350 = {0, 0, 1, 0x5E, 0, 0, 0, 1};
    int Found = 0;
    for (auto It = B.begin(); (It = std::search(It, B.end(), R350.begin(), R350.end())) != B.end(); ++It)
        ++Found;
    EXPECT_EQ(Found, 2);
}

TEST_F(CarryOver, ThumbnailIFDIsAppended)
{
    // What the codec library's builder writes: SOI, APP1 with IFD0 only.
    for (TEndianType O : {etII, etMM}) {
        const std::vector<uint8_t> Exif = BuildExif(O, {{ShortEntry(274, 1), AsciiEntry(305, "Vestro")}});
        std::vector<uint8_t> S = {0xFF, 0xD8, 0xFF, 0xE1};
        PutBE16(S, uint32_t(Exif.size() + 2));
        S.insert(S.end(), Exif.begin(), Exif.end());
        const std::vector<uint8_t> Thumb(3000, 0x5A);
        uint32_t NewSize = 0, Pos = 0;
        ASSERT_TRUE(RebuildExifThumbnail(S, Thumb.data(), uint32_t(Thumb.size()), 8, NewSize, Pos));
        EXPECT_EQ(Pos, 6u);
        EXPECT_EQ(NewSize, Exif.size() + 90 + 16 + Thumb.size());
        TImageInfo I;
        ASSERT_TRUE(ParseExifBlock(&S[Pos], NewSize, 0, I));
        EXPECT_EQ(I.FThumbnailSize, Thumb.size());
        EXPECT_EQ(0, std::memcmp(&S[Pos + I.FThumbnailOffset], Thumb.data(), Thumb.size()));
        EXPECT_EQ(GetWord(&S[Pos + I.FThumbnailOrientationPos], O), 8);

        // A thumbnail that would burst the segment is refused, S untouched.
        std::vector<uint8_t> T = {0xFF, 0xD8, 0xFF, 0xE1};
        PutBE16(T, uint32_t(Exif.size() + 2));
        T.insert(T.end(), Exif.begin(), Exif.end());
        const std::vector<uint8_t> Copy = T;
        const std::vector<uint8_t> Huge(MaxExifBlockSize, 1);
        EXPECT_FALSE(RebuildExifThumbnail(T, Huge.data(), uint32_t(Huge.size()), 1, NewSize, Pos));
        EXPECT_EQ(T, Copy);
    }
}

// ---- exiftool as an outside reader ----

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

bool HaveExiftool()
{
    return RunCommand("exiftool -ver 2>/dev/null").size() > 0;
}

TEST_F(CarryOver, OutsideReaderAgrees)
{
    if (!HaveExiftool())
        GTEST_SKIP() << "exiftool is not installed";
    TTempDir D;
    MetadataOption.Resolution = 300;
    for (const std::string& Soft : {std::string(), std::string("Camera 1.0 ")}) {
        std::vector<uint8_t> B = CameraExif(etMM, Soft);
        TImageInfo I;
        Probed(I, B);
        I.PatchExifBlock(B, true, 640, 480, true, true);
        WriteBytes(D.File("o.jpg"), BuildJPEGHeader({{0xFFE1, B}}, 640, 480));
        const std::string Out = RunCommand("exiftool -n -s -s -s -IFD0:Software -IFD0:Orientation -IFD0:XResolution "
                                    "-IFD0:ResolutionUnit -ExifImageWidth -ExifImageHeight -IFD1:ThumbnailLength " +
                                    D.File("o.jpg"));
        EXPECT_EQ(Out, (Soft.empty() ? "Vestro" : "Vestro,Camera 1.0") + std::string("\n1\n300\n2\n640\n480\n8\n"));
    }
}

// ---- the marker-level copier ----

std::vector<uint8_t> Segment(uint16_t M, const std::vector<uint8_t>& Payload)
{
    std::vector<uint8_t> S;
    PutBE16(S, M);
    PutBE16(S, uint32_t(Payload.size() + 2));
    S.insert(S.end(), Payload.begin(), Payload.end());
    return S;
}

// SOI, the segments, a frame header, SOS and "scan data" that stands for the pixels.
std::vector<uint8_t> JPEGFile(const std::vector<std::vector<uint8_t>>& Segs)
{
    std::vector<uint8_t> B = {0xFF, 0xD8};
    for (const auto& S : Segs)
        B.insert(B.end(), S.begin(), S.end());
    const std::vector<uint8_t> Tail = Segment(0xFFC0, {8, 0, 16, 0, 16, 1, 1, 0x11, 0});
    B.insert(B.end(), Tail.begin(), Tail.end());
    const std::vector<uint8_t> Sos = Segment(0xFFDA, {1, 1, 0, 0, 63, 0});
    B.insert(B.end(), Sos.begin(), Sos.end());
    for (int K = 0; K < 500; ++K)
        B.push_back(uint8_t(K * 7 + 3) == 0xFF ? 0 : uint8_t(K * 7 + 3));
    B.push_back(0xFF);
    B.push_back(0xD9);
    return B;
}

bool Contains(const std::vector<uint8_t>& B, const char* Text)
{
    const size_t N = std::strlen(Text);
    return std::search(B.begin(), B.end(), Text, Text + N) != B.end();
}

const std::vector<uint8_t> JFIF = {'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0};

TEST_F(CarryOver, CopierDropsExifAndICCAndKeepsThePixels)
{
    TTempDir D;
    const std::vector<uint8_t> Icc = [] {
        std::vector<uint8_t> P = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 1};
        P.resize(200, 0x33);
        return P;
    }();
    const std::vector<uint8_t> Src = JPEGFile({Segment(0xFFE1, CameraExif(etII, "Cam")), Segment(0xFFE2, Icc)});
    WriteBytes(D.File("s.jpg"), Src);
    TImageInfo Info;
    ASSERT_TRUE(GetImageInfo(D.File("s.jpg"), Info));
    MetadataOption.Resolution = 200;
    MetadataOption.KeepResolution = false;
    CopyJPEGMetadata(D.File("s.jpg"), D.File("d.jpg"), true, Info, true);
    const std::vector<uint8_t> Out = ReadBytes(D.File("d.jpg"));
    ASSERT_GE(Out.size(), 20u);
    EXPECT_EQ(std::vector<uint8_t>(Out.begin(), Out.begin() + 20),
              std::vector<uint8_t>({0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 1, 0, 200, 0, 200,
                                    0, 0}));
    EXPECT_FALSE(Contains(Out, "Exif"));
    EXPECT_FALSE(Contains(Out, "ICC_PROFILE"));
    // From the frame header on, byte for byte the source.
    const size_t Frame = Src.size() - (9 + 4) - (6 + 4) - 502;
    EXPECT_TRUE(std::equal(Src.begin() + long(Frame), Src.end(), Out.end() - long(Src.size() - Frame)));

    // Kept when not asked to drop; the source's resolution (350 per cm = 889 dpi) is kept.
    MetadataOption.KeepResolution = true;
    CopyJPEGMetadata(D.File("s.jpg"), D.File("e.jpg"), false, Info, false);
    EXPECT_EQ(ReadBytes(D.File("e.jpg")), Src);
    CopyJPEGMetadata(D.File("s.jpg"), D.File("f.jpg"), true, Info, false);
    const std::vector<uint8_t> F = ReadBytes(D.File("f.jpg"));
    EXPECT_EQ(F[14] << 8 | F[15], 889);
    EXPECT_TRUE(Contains(F, "ICC_PROFILE"));
}

TEST_F(CarryOver, CopierPatchesOnlyRealJFIFHeaders)
{
    TTempDir D;
    MetadataOption.KeepResolution = false;
    MetadataOption.Resolution = 96;
    TImageInfo Info;
    WriteBytes(D.File("j.jpg"), JPEGFile({Segment(0xFFE0, JFIF)}));
    CopyJPEGMetadata(D.File("j.jpg"), D.File("jo.jpg"), false, Info, false);
    std::vector<uint8_t> Out = ReadBytes(D.File("jo.jpg"));
    EXPECT_EQ(Out[13], 1);
    EXPECT_EQ(Out[14] << 8 | Out[15], 96);
    EXPECT_EQ(Out[16] << 8 | Out[17], 96);

    // Another APP0 (or a short one) is copied as it is.
    std::vector<uint8_t> Other = JFIF;
    Other[3] = 'X';
    const std::vector<uint8_t> Src = JPEGFile({Segment(0xFFE0, Other)});
    WriteBytes(D.File("x.jpg"), Src);
    CopyJPEGMetadata(D.File("x.jpg"), D.File("xo.jpg"), false, Info, false);
    EXPECT_EQ(ReadBytes(D.File("xo.jpg")), Src);
    const std::vector<uint8_t> Short = JPEGFile({Segment(0xFFE0, {'J', 'F', 'I', 'F', 0})});
    WriteBytes(D.File("s.jpg"), Short);
    CopyJPEGMetadata(D.File("s.jpg"), D.File("so.jpg"), false, Info, false);
    EXPECT_EQ(ReadBytes(D.File("so.jpg")), Short);

    // Cut short inside a segment: an error for the worker to log.
    std::vector<uint8_t> Cut = JPEGFile({Segment(0xFFE0, JFIF), Segment(0xFFE1, CameraExif(etII, "C"))});
    Cut.resize(40);
    WriteBytes(D.File("c.jpg"), Cut);
    EXPECT_THROW(CopyJPEGMetadata(D.File("c.jpg"), D.File("co.jpg"), true, Info, false), EVestroError);
    EXPECT_FALSE(std::filesystem::exists(D.File("co.jpg")));
}

TEST_F(CarryOver, CopierNeverLosesTheInput)
{
    TTempDir D;
    FileOption.DeleteInputFile = true;
    const std::vector<uint8_t> Src = JPEGFile({Segment(0xFFE0, JFIF)});
    TImageInfo Info;
    // Onto itself, under another spelling, without a change: untouched and kept.
    WriteBytes(D.File("a.jpg"), Src);
    std::filesystem::create_directory(D.File("sub"));
    CopyJPEGMetadata(D.File("a.jpg"), D.File("sub/../a.jpg"), false, Info, false);
    EXPECT_EQ(ReadBytes(D.File("a.jpg")), Src);
    // Through a hard link: the same file, so it is not deleted.
    std::filesystem::create_hard_link(D.File("a.jpg"), D.File("link.jpg"));
    MetadataOption.KeepResolution = false;
    CopyJPEGMetadata(D.File("a.jpg"), D.File("link.jpg"), false, Info, false);
    EXPECT_TRUE(std::filesystem::exists(D.File("a.jpg")));
    // An output that cannot be written keeps the input.
    Info.SetPath(D.File("a.jpg"));
    ErrorLog.Clear();
    CopyJPEGMetadata(D.File("a.jpg"), D.File("missing/dir/b.jpg"), false, Info, false);
    EXPECT_TRUE(std::filesystem::exists(D.File("a.jpg")));
    EXPECT_EQ(ErrorLog.Lines(), std::vector<std::string>({"a.jpg: Failed to copy file"}));
    ErrorLog.Clear();
    // A real copy: the input goes only afterwards, and a read-only output stays read-only.
    WriteBytes(D.File("c.jpg"), {1, 2, 3});
    std::filesystem::permissions(D.File("c.jpg"), std::filesystem::perms::owner_read);
    CopyJPEGMetadata(D.File("a.jpg"), D.File("c.jpg"), false, Info, false);
    EXPECT_FALSE(std::filesystem::exists(D.File("a.jpg")));
    EXPECT_EQ(ReadBytes(D.File("c.jpg")).size(), Src.size());
    EXPECT_EQ(std::filesystem::status(D.File("c.jpg")).permissions() & std::filesystem::perms::owner_write,
              std::filesystem::perms::none);
}

} // namespace

namespace {

TEST(ThumbnailSize, NewBlocksAndReplacements)
{
    uint32_t W, H;
    bool Turned;
    NewExifThumbnailSize(3000, 4000, W, H, Turned); // portrait: 120 x 160, stored turned
    EXPECT_EQ(std::make_tuple(W, H, Turned), std::make_tuple(120u, 160u, true));
    NewExifThumbnailSize(1000, 4000, W, H, Turned);
    EXPECT_EQ(std::make_tuple(W, H, Turned), std::make_tuple(40u, 160u, true));
    NewExifThumbnailSize(4000, 3000, W, H, Turned);
    EXPECT_EQ(std::make_tuple(W, H, Turned), std::make_tuple(160u, 120u, false));
    NewExifThumbnailSize(4000, 1000, W, H, Turned);
    EXPECT_EQ(std::make_tuple(W, H, Turned), std::make_tuple(160u, 40u, false));
    NewExifThumbnailSize(100, 150, W, H, Turned); // already small enough
    EXPECT_EQ(std::make_tuple(W, H, Turned), std::make_tuple(100u, 150u, false));
    NewExifThumbnailSize(10000, 1, W, H, Turned); // never 0 pixels
    EXPECT_EQ(std::make_tuple(W, H), std::make_tuple(160u, 1u));
    FitThumbnail160(640, 480, W, H);
    EXPECT_EQ(std::make_pair(W, H), std::make_pair(160u, 120u));
    FitThumbnail160(480, 640, W, H);
    EXPECT_EQ(std::make_pair(W, H), std::make_pair(120u, 160u));
    FitThumbnail160(160, 100, W, H);
    EXPECT_EQ(std::make_pair(W, H), std::make_pair(160u, 100u));
}

} // namespace
