
#include <algorithm>
#include <numeric>

#include "FilesTestUtil.h"
#include "core/ErrorLog.h"
#include "core/ImageInfoExif.h"
#include "core/Resize.h"

namespace {

std::vector<uint8_t> CameraExif(TEndianType O, const std::string& Software)
{
    std::vector<TTestEntry> Ifd0 = {ShortEntry(274, 6), RationalEntry(282, 350, 1, O), RationalEntry(283, 350, 1, O),
                                    ShortEntry(296, 3)}; // per centimetre
    if (!Software.empty())
        Ifd0.push_back(AsciiEntry(305, Software));
    Ifd0.push_back(TTestEntry{34665, ttLONG, 1, 0, {}, 1});
    return BuildExif(O, {Ifd0, {AsciiEntry(36867, "2010:01:02 03:04:05"), ShortEntry(40962, 4000)}});
}

// A JPEG segment: marker M, its length and Payload.
std::vector<uint8_t> Segment(uint16_t M, const std::vector<uint8_t>& Payload)
{
    std::vector<uint8_t> S = {uint8_t(M >> 8), uint8_t(M), uint8_t((Payload.size() + 2) >> 8),
                              uint8_t(Payload.size() + 2)};
    S.insert(S.end(), Payload.begin(), Payload.end());
    return S;
}

// Patches B as GetExifInfo does and reads the result back.
std::unique_ptr<TImageInfo> Patched(std::vector<uint8_t>& B, bool Rotated = false, bool Resolution = false)
{
    TImageInfo I;
    auto R = std::make_unique<TImageInfo>();
    I.FExifSize = uint32_t(B.size());
    EXPECT_TRUE(ParseExifBlock(B.data(), B.size(), 0, I));
    I.PatchExifBlock(B, Rotated, 640, 480, true, Resolution, Settings.Metadata.Resolution);
    EXPECT_EQ(I.ExifSize(), B.size());
    EXPECT_LE(B.size(), MaxExifBlockSize);
    EXPECT_TRUE(ParseExifBlock(B.data(), B.size(), 0, *R));
    return R;
}

std::string Software(const std::vector<uint8_t>& B, const std::unique_ptr<TImageInfo>& R)
{
    return R->FSoftwarePos ? reinterpret_cast<const char*>(&B[R->FSoftwarePos]) : "(none)";
}

TEST(CarryOver, SoftwareTextBeforeTheCamerasOwn)
{
    for (TEndianType O : {etII, etMM}) {
        std::vector<uint8_t> B = CameraExif(O, "Camera 1.0 ");
        const size_t Old = B.size();
        const auto R = Patched(B);
        EXPECT_EQ(Software(B, R), "Vestro,Camera 1.0");
        EXPECT_EQ(B.size(), Old + 18); // grown: the old slot is too short
        EXPECT_EQ(GetWord(&B[R->FXDimensionPos], O), 640);
    }
    std::vector<uint8_t> B = CameraExif(etII, "Cam            ");
    const std::vector<uint8_t> Old = B;
    EXPECT_EQ(Software(B, Patched(B)), "Vestro,Cam");
    EXPECT_EQ(B.size(), Old.size()); // room to spare: written in place
    // A broken block is carried as it is.
    TImageInfo Broken;
    Broken.FExifSize = uint32_t((B = Old).size());
    Broken.FExifBroken = true;
    Broken.PatchExifBlock(B, true, 1, 1, true, true, Settings.Metadata.Resolution);
    EXPECT_EQ(B, Old);
}

TEST(CarryOver, MissingSoftwareRebuildsIFD0AndPatchesTheMovedCopy)
{
    TOptionGuard Guard;
    Settings.Metadata.Resolution = 72;
    for (TEndianType O : {etII, etMM}) {
        std::vector<uint8_t> B = CameraExif(O, "");
        const size_t Old = B.size();
        const auto R = Patched(B, true, true);
        EXPECT_EQ(B.size(), Old + 7 + 12 * (5 + 1) + 6);
        EXPECT_EQ(std::make_tuple(Software(B, R), R->FOrientation), std::make_tuple("Vestro", 1));
        // The unit is read from the new IFD0: inch with 72 dpi, not the old per centimetre.
        EXPECT_EQ(R->FResolutionUnit, 1);
        EXPECT_DOUBLE_EQ(R->FXResolution, 72);
        EXPECT_GT(R->DateTimeOriginal, 0); // the Exif IFD is still reached
    }
}

TEST(CarryOver, BlockNeverPassesTheSegmentLimit)
{
    auto Big = [](const std::string& Soft) {
        std::vector<uint8_t> B = CameraExif(etII, Soft);
        B.resize(MaxExifBlockSize - 20, 0);
        return B;
    };
    // Neither a new IFD0 nor a longer text fits; a slot of 7 or more bytes
    // takes the bare product name.
    std::vector<uint8_t> B = Big("");
    EXPECT_EQ(Software(B, Patched(B)), "(none)");
    B = Big("A camera of some length");
    EXPECT_EQ(Software(B, Patched(B)), "Vestro");
    EXPECT_EQ(B.size(), MaxExifBlockSize - 20);
}

TEST(CarryOver, ThumbnailIFDIsAppendedWithinOneSegment)
{
    const std::vector<uint8_t> Exif = BuildExif(etMM, {{ShortEntry(274, 1), AsciiEntry(305, "Vestro")}});
    std::vector<uint8_t> S = Segment(0xFFE1, Exif);
    S.insert(S.begin(), {0xFF, 0xD8});
    const std::vector<uint8_t> Copy = S;
    uint32_t NewSize = 0, Pos = 0;
    const std::vector<uint8_t> Huge(MaxExifBlockSize, 1);
    EXPECT_FALSE(RebuildExifThumbnail(S, Huge.data(), uint32_t(Huge.size()), 1, NewSize, Pos));
    EXPECT_EQ(S, Copy);
    const std::vector<uint8_t> Thumb(3000, 0x5A);
    ASSERT_TRUE(RebuildExifThumbnail(S, Thumb.data(), uint32_t(Thumb.size()), 8, NewSize, Pos));
    TImageInfo I;
    ASSERT_TRUE(ParseExifBlock(&S[Pos], NewSize, 0, I));
    EXPECT_EQ(NewSize, Exif.size() + 90 + 16 + Thumb.size());
    EXPECT_EQ(0, std::memcmp(&S[Pos + I.FThumbnailOffset], Thumb.data(), Thumb.size()));
    EXPECT_EQ(GetWord(&S[Pos + I.FThumbnailOrientationPos], etMM), 8);
}

// The output JPEG's thumbnail decodes whether the camera's is kept, a new one
// takes its slot, or a new block is built from what the codec library reads.
TEST(CarryOver, OutputJPEGHoldsADecodableThumbnail)
{
    EnsureKodex();
    TOptionGuard Guard;
    TTempDir D;
    TImgHolder Pic{MakeGradient(640, 480, 3)}, Out{MakeGradient(320, 240, 3)}, Old{MakeGradient(160, 120, 3)};
    std::vector<uint8_t> Thumb(65535);
    size_t N = Thumb.size();
    ASSERT_TRUE(WriteThumbnailJPEG(Thumb.data(), N, Old.I, false, 1, 0, 90, TakeRunSettings()));
    Thumb.resize(N);
    TTestEntry Jif = LongEntry(513, 0);
    Jif.Ext = Thumb;
    Jif.Ext.resize(N + 4000); // room for a new one of another size
    const std::vector<uint8_t> Exif =
        BuildExif(etII, {{ShortEntry(274, 1)}, {}, {ShortEntry(259, 6), Jif, LongEntry(514, uint32_t(N + 4000))}});
    ASSERT_TRUE(WriteJPEG(D.File("s.jpg"), Pic.I, 90, {}, false, nullptr, Exif.data(), uint32_t(Exif.size()), 1, 0,
                          TakeRunSettings()));
    TResizer R;
    R.SetDecimationMode(1, CreateWeightSetter(1, 0, 0, 0));
    R.SetInterpolationMode(1, CreateWeightSetter(1, 0, 0, 0));
    for (const char* Case : {"kept", "updated", "new block"}) {
        TImageInfo Src;
        ASSERT_TRUE(GetImageInfo(D.File("s.jpg"), Src));
        ASSERT_GT(Src.ThumbnailSize(), 0u);
        if (Case[0] == 'n')
            Src.FExifPos = 0;
        Settings.JPEG.UpdateExifThumbnail = Case[0] == 'u';
        const TRunSettings S = TakeRunSettings();
        uint8_t* Block = Src.GetExifInfo(false, Out.I, &R, true, false, false, S);
        ASSERT_NE(Block, nullptr) << Case;
        const bool Written = WriteJPEG(D.File("o.jpg"), Out.I, 90, {}, false, nullptr, Block, Src.ExifSize(), 1, 0, S);
        FreeAligned(Block);
        ASSERT_TRUE(Written) << Case;
        TImageInfo O;
        ASSERT_TRUE(GetImageInfo(D.File("o.jpg"), O));
        ASSERT_GT(O.ThumbnailSize(), 0u) << Case;
        const std::vector<uint8_t> F = ReadBytes(D.File("o.jpg"));
        ASSERT_LE(uint64_t(O.ThumbnailPos()) + O.ThumbnailSize(), F.size());
        EXPECT_EQ(F[O.ThumbnailPos() + 3], 0xDB) << Case; // no JFIF header inside EXIF: tables follow SOI
        TImgHolder Back;
        ASSERT_TRUE(ReadJPEGFromMemory(&F[O.ThumbnailPos()], O.ThumbnailSize(), Back.I, S)) << Case;
        EXPECT_EQ(std::make_pair(Back.I.Width, Back.I.Height), std::make_pair(160u, 120u)) << Case;
        EXPECT_EQ(std::equal(Thumb.begin(), Thumb.end(), &F[O.ThumbnailPos()]), Case[0] == 'k') << Case;
    }
}

// A source without EXIF gets a new block whose thumbnail fits 160 x 120 with
// the picture's shape: a standing or square one is fitted into 120 x 160 and
// stored turned a quarter clockwise, which IFD1's orientation 8 undoes.
TEST(CarryOver, ANewBlocksThumbnailIsFittedAndAStandingOneStoredTurned)
{
    EnsureKodex();
    TOptionGuard Guard;
    TTempDir D;
    TResizer R;
    R.SetDecimationMode(1, CreateWeightSetter(1, 0, 0, 0));
    R.SetInterpolationMode(1, CreateWeightSetter(1, 0, 0, 0));
    const struct {
        uint32_t W, H;
        uint32_t TW, TH; // as stored
        uint16_t Orientation;
    } Cases[] = {
        {300, 400, 160, 120, 8}, {150, 400, 160, 60, 8}, {200, 200, 120, 120, 8},
        {400, 300, 160, 120, 1}, {400, 100, 160, 40, 1},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(testing::Message() << C.W << "x" << C.H);
        // Top half red, bottom half blue.
        TImgHolder Pic;
        AllocImg(Pic.I, C.W, C.H, 3);
        for (uint32_t Y = 0; Y < C.H; ++Y)
            for (uint32_t X = 0; X < C.W; ++X) {
                uint8_t* P = ScanLine(Pic.I, Y) + 3 * X;
                P[0] = Y < C.H / 2 ? 0 : 255, P[1] = 0, P[2] = Y < C.H / 2 ? 255 : 0;
            }
        const TRunSettings S = TakeRunSettings();
        ASSERT_TRUE(WriteJPEG(D.File("p.jpg"), Pic.I, 95, {}, false, nullptr, nullptr, 0, 2, 0, S));
        TImageInfo Src;
        ASSERT_TRUE(GetImageInfo(D.File("p.jpg"), Src));
        ASSERT_EQ(Src.FExifPos, 0);
        uint8_t* Block = Src.GetExifInfo(false, Pic.I, &R, true, false, false, S);
        ASSERT_NE(Block, nullptr);
        const std::vector<uint8_t> B(Block, Block + Src.ExifSize());
        FreeAligned(Block);
        TImageInfo I;
        I.FExifSize = uint32_t(B.size());
        ASSERT_TRUE(ParseExifBlock(B.data(), B.size(), 0, I));
        ASSERT_GT(I.ThumbnailSize(), 0u);
        ASSERT_NE(I.FThumbnailOrientationPos, 0);
        EXPECT_EQ(GetWord(&B[I.FThumbnailOrientationPos], I.FET), C.Orientation);
        TImgHolder T;
        ASSERT_TRUE(ReadJPEGFromMemory(&B[I.FThumbnailOffset], I.ThumbnailSize(), T.I, S));
        ASSERT_EQ(std::make_pair(T.I.Width, T.I.Height), std::make_pair(C.TW, C.TH));
        // The picture's top: up when kept, at the right when turned clockwise.
        const bool Turned = C.Orientation == 8;
        const uint32_t TopX = Turned ? C.TW - 3 : C.TW / 2, TopY = Turned ? C.TH / 2 : 2;
        const uint32_t BottomX = Turned ? 2 : C.TW / 2, BottomY = Turned ? C.TH / 2 : C.TH - 3;
        const uint8_t* Top = ScanLine(T.I, TopY) + 3 * TopX;
        const uint8_t* Bottom = ScanLine(T.I, BottomY) + 3 * BottomX;
        EXPECT_GT(Top[2], 200);
        EXPECT_LT(Top[0], 60);
        EXPECT_GT(Bottom[0], 200);
        EXPECT_LT(Bottom[2], 60);
    }
}

// Block position of the entry Tag in the IFD at block position Ifd.
uint32_t EntryPos(const std::vector<uint8_t>& B, TEndianType O, uint32_t Ifd, uint16_t Tag)
{
    for (uint32_t I = 0, N = GetWord(&B[Ifd], O); I < N; ++I)
        if (GetWord(&B[Ifd + 2 + 12 * I], O) == Tag)
            return Ifd + 2 + 12 * I;
    ADD_FAILURE() << "no tag " << Tag;
    return 0;
}

// A readable block whose values point into its own structure comes out with
// that structure whole: the tag counts as absent, and nothing is written there.
TEST(CarryOver, ValuesPointingIntoTheHeaderOrAnIFDAreNotPatched)
{
    TOptionGuard Guard;
    Settings.Metadata.Resolution = 72;
    for (TEndianType O : {etII, etMM}) {
        const std::vector<uint8_t> Good = CameraExif(O, "Camera 1.0");
        const uint32_t Ifd0 = GetDWord(&Good[10], O) + 6;
        const size_t TableEnd = Ifd0 + 2 + 12 * GetWord(&Good[Ifd0], O) + 4;
        // XResolution stored over IFD0's first entries.
        std::vector<uint8_t> B = Good;
        PutDWord(&B[EntryPos(B, O, Ifd0, 282) + 8], Ifd0 + 2 - 6, O);
        std::vector<uint8_t> Before(B.begin(), B.begin() + long(TableEnd));
        auto R = Patched(B, false, true);
        EXPECT_TRUE(std::equal(Before.begin(), Before.begin() + Ifd0 + 2, B.begin())) << O;
        EXPECT_EQ(GetWord(&B[Ifd0 + 2], O), 274); // the first entry is still the orientation
        EXPECT_EQ(R->FOrientation, 6);
        EXPECT_EQ(Software(B, R), "Vestro,Camera 1.0"); // the rest is still updated
        // The Software text placed over the TIFF header.
        B = Good;
        PutDWord(&B[EntryPos(B, O, Ifd0, 305) + 8], 0, O);
        Before.assign(B.begin(), B.end());
        R = Patched(B);
        EXPECT_TRUE(std::equal(Before.begin(), Before.begin() + long(TableEnd), B.begin())) << O;
        EXPECT_NE(R->FXDimensionPos, 0u); // the Exif IFD is still reached
        // A thumbnail slot over IFD0 is no thumbnail.
        std::vector<TTestEntry> Ifd1 = {ShortEntry(259, 6), LongEntry(513, 8), LongEntry(514, 40)};
        B = BuildExif(O, {{ShortEntry(274, 6)}, {}, Ifd1});
        TImageInfo I;
        ASSERT_TRUE(ParseExifBlock(B.data(), B.size(), 0, I));
        EXPECT_EQ(I.FThumbnailSize, 0u);
        // An IFD0 that starts inside the header leaves the block as read.
        B = Good;
        PutDWord(&B[10], 4, O);
        TImageInfo J;
        EXPECT_FALSE(ParseExifBlock(B.data(), B.size(), 0, J));
    }
}

const size_t ScanBytes = 9 + 4 + 6 + 4 + 502; // frame header, SOS, "pixels", EOI

// SOI, the segments, a frame header, SOS and bytes that stand for the pixels.
std::vector<uint8_t> JPEGFile(const std::vector<std::vector<uint8_t>>& Segs)
{
    std::vector<uint8_t> B = {0xFF, 0xD8};
    for (const auto& S : Segs)
        B.insert(B.end(), S.begin(), S.end());
    for (const auto& S : {Segment(0xFFC0, {8, 0, 16, 0, 16, 1, 1, 0x11, 0}), Segment(0xFFDA, {1, 1, 0, 0, 63, 0})})
        B.insert(B.end(), S.begin(), S.end());
    for (int K = 0; K < 500; ++K)
        B.push_back(uint8_t(K % 200));
    B.insert(B.end(), {0xFF, 0xD9});
    return B;
}

bool Holds(const std::vector<uint8_t>& B, const std::string& T)
{
    return std::search(B.begin(), B.end(), T.begin(), T.end()) != B.end();
}

const std::vector<uint8_t> JFIF = {'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0};

TEST(CarryOver, CopierDropsWhatItIsToldAndKeepsThePixels)
{
    TOptionGuard Guard;
    TTempDir D;
    std::vector<uint8_t> Icc(200, 0x33);
    std::memcpy(Icc.data(), "ICC_PROFILE", 12);
    const std::vector<uint8_t> Src = JPEGFile({Segment(0xFFE1, CameraExif(etII, "Cam")), Segment(0xFFE2, Icc)});
    WriteBytes(D.File("s.jpg"), Src);
    TImageInfo Info;
    ASSERT_TRUE(GetImageInfo(D.File("s.jpg"), Info));
    Settings.Metadata.KeepResolution = false;
    Settings.Metadata.Resolution = 200;
    CopyJPEGMetadata(D.File("s.jpg"), D.File("d.jpg"), true, Info, true, TakeRunSettings());
    const std::vector<uint8_t> Out = ReadBytes(D.File("d.jpg"));
    ASSERT_EQ(Out.size(), 20 + ScanBytes);
    EXPECT_EQ(
        std::vector<uint8_t>(Out.begin(), Out.begin() + 20),
        std::vector<uint8_t>({0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 1, 0, 200, 0, 200, 0, 0}));
    EXPECT_TRUE(std::equal(Src.end() - ScanBytes, Src.end(), Out.end() - ScanBytes));
    // Kept when not asked to drop; with KeepResolution the source's 350 per cm become 889 dpi.
    Settings.Metadata.KeepResolution = true;
    CopyJPEGMetadata(D.File("s.jpg"), D.File("e.jpg"), false, Info, false, TakeRunSettings());
    EXPECT_EQ(ReadBytes(D.File("e.jpg")), Src);
    CopyJPEGMetadata(D.File("s.jpg"), D.File("f.jpg"), true, Info, false, TakeRunSettings());
    const std::vector<uint8_t> F = ReadBytes(D.File("f.jpg"));
    EXPECT_EQ(F[14] << 8 | F[15], 889);
    EXPECT_TRUE(Holds(F, "ICC_PROFILE"));
    EXPECT_FALSE(Holds(F, "Exif"));
}

TEST(CarryOver, CopierPatchesOnlyRealJFIFHeaders)
{
    TOptionGuard Guard;
    TTempDir D;
    Settings.Metadata.KeepResolution = false;
    Settings.Metadata.Resolution = 96;
    TImageInfo Info;
    WriteBytes(D.File("j.jpg"), JPEGFile({Segment(0xFFE0, JFIF)}));
    CopyJPEGMetadata(D.File("j.jpg"), D.File("jo.jpg"), false, Info, false, TakeRunSettings());
    const std::vector<uint8_t> Out = ReadBytes(D.File("jo.jpg"));
    EXPECT_EQ(std::vector<uint8_t>(Out.begin() + 13, Out.begin() + 18), std::vector<uint8_t>({1, 0, 96, 0, 96}));
    // Another APP0, or one too short, is copied as it is.
    std::vector<uint8_t> Other = JFIF;
    Other[3] = 'X';
    for (const auto& Src : {JPEGFile({Segment(0xFFE0, Other)}), JPEGFile({Segment(0xFFE0, {'J', 'F', 'I', 'F', 0})})}) {
        WriteBytes(D.File("x.jpg"), Src);
        CopyJPEGMetadata(D.File("x.jpg"), D.File("xo.jpg"), false, Info, false, TakeRunSettings());
        EXPECT_EQ(ReadBytes(D.File("xo.jpg")), Src);
    }
    // Cut short inside a segment: an error for the worker to log, no output.
    std::vector<uint8_t> Cut = JPEGFile({Segment(0xFFE0, JFIF), Segment(0xFFE1, CameraExif(etII, "C"))});
    Cut.resize(40);
    WriteBytes(D.File("c.jpg"), Cut);
    EXPECT_THROW(CopyJPEGMetadata(D.File("c.jpg"), D.File("co.jpg"), true, Info, false, TakeRunSettings()),
                 EVestroError);
    EXPECT_FALSE(std::filesystem::exists(D.File("co.jpg")));
}

TEST(CarryOver, CopierNeverLosesTheInput)
{
    TOptionGuard Guard;
    TTempDir D;
    Settings.File.DeleteInputFile = true;
    const std::vector<uint8_t> Src = JPEGFile({Segment(0xFFE0, JFIF)});
    TImageInfo Info;
    Info.SetPath(D.File("a.jpg"));
    // Onto itself under another spelling, or through a hard link: the same file, kept.
    WriteBytes(D.File("a.jpg"), Src);
    std::filesystem::create_directory(D.File("sub"));
    CopyJPEGMetadata(D.File("a.jpg"), D.File("sub/../a.jpg"), false, Info, false, TakeRunSettings());
    EXPECT_EQ(ReadBytes(D.File("a.jpg")), Src);
    std::filesystem::create_hard_link(D.File("a.jpg"), D.File("link.jpg"));
    Settings.Metadata.KeepResolution = false;
    CopyJPEGMetadata(D.File("a.jpg"), D.File("link.jpg"), false, Info, false, TakeRunSettings());
    EXPECT_TRUE(std::filesystem::exists(D.File("a.jpg")));
    // An output that cannot be written keeps the input, and says so.
    ErrorLog.Clear();
    CopyJPEGMetadata(D.File("a.jpg"), D.File("missing/b.jpg"), false, Info, false, TakeRunSettings());
    EXPECT_TRUE(std::filesystem::exists(D.File("a.jpg")));
    EXPECT_EQ(ErrorLog.Lines(),
              std::vector<std::string>({"a.jpg: Failed to copy file: cannot write " + D.File("missing/b.jpg") +
                                        ": No such file or directory"}));
    ErrorLog.Clear();
    // A real copy: the input goes afterwards; a read-only output stays read-only.
    WriteBytes(D.File("c.jpg"), {1, 2, 3});
    std::filesystem::permissions(D.File("c.jpg"), std::filesystem::perms::owner_read);
    CopyJPEGMetadata(D.File("a.jpg"), D.File("c.jpg"), false, Info, false, TakeRunSettings());
    EXPECT_FALSE(std::filesystem::exists(D.File("a.jpg")));
    EXPECT_EQ(ReadBytes(D.File("c.jpg")).size(), Src.size());
    EXPECT_EQ(std::filesystem::status(D.File("c.jpg")).permissions() & std::filesystem::perms::owner_write,
              std::filesystem::perms::none);
}

const std::vector<uint8_t> FakeThumb = {0xFF, 0xD8, 1, 2, 3, 4, 5, 6, 7, 8, 0xFF, 0xD9};

std::vector<uint8_t> FullExif(TEndianType O)
{
    TTestEntry Jif = LongEntry(513, 0);
    Jif.Ext = FakeThumb;
    return BuildExif(O,
                     {
                         {ShortEntry(274, 6), RationalEntry(282, 300, 1, O), RationalEntry(283, 600, 2, O),
                          ShortEntry(296, 3), AsciiEntry(305, "Camera 1.0 "), TTestEntry{34665, ttLONG, 1, 0, {}, 1}},
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
        EXPECT_EQ(std::make_tuple(I.FOrientation, GetWord(&B[I.FOrientationPos], O)), std::make_tuple(6, 6));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&B[I.FSoftwarePos])), "Camera 1.0 ");
        EXPECT_EQ(GetDWord(&B[I.FSoftwareLenPos], O), 12u);
        EXPECT_DOUBLE_EQ(I.FYResolution, 300);
        EXPECT_EQ(I.FResolutionUnit, 2); // EXIF 3 = centimetre
        TDateTime Want;
        TryEncodeDateTime(2010, 1, 2, 3, 4, 5, Want);
        EXPECT_DOUBLE_EQ(I.DateTimeOriginal, Want);
        EXPECT_EQ(std::make_tuple(GetWord(&B[I.FXDimensionPos], O), I.FYDimensionType), std::make_tuple(640, ttLONG));
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
        PutDWord(&M[EntryPos(M, O, Ifd, Tag) + Field], V, O);
        TImageInfo I;
        return !ParseExifBlock(M.data(), M.size(), 0, I);
    };
    EXPECT_TRUE(Broken(Good.FIFD0Pos, 305, 4, 0xFFFFFFFFu));             // Software count
    EXPECT_TRUE(Broken(Good.FIFD0Pos, 282, 8, uint32_t(B.size()) - 10)); // rational cut by the end
    EXPECT_TRUE(Broken(Good.FIFD0Pos, 34665, 8, 0x7FFFFFFFu));           // Exif IFD
    EXPECT_TRUE(Broken(Ifd1, 513, 8, 0xFFFFFFF0u));                      // thumbnail offset
    EXPECT_TRUE(Broken(Ifd1, 514, 8, 0xFFFFFFFFu));                      // thumbnail length
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
        EXPECT_EQ(std::inner_product(J.begin(), J.end(), After.begin(), 0, std::plus<>(), std::not_equal_to<>()), 1);
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
