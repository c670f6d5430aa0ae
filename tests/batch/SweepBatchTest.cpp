// Whole runs at the edges other tests leave open: the run's memory budget,
// collision rules and numbering as the user reads them in the output folder.
#include "BatchFixture.h"

#include "batch/ListUp.h"
#include "core/PictureMemory.h"
#include "effects/ExifRotationFilter.h"
#include "effects/RotationFilter.h"
#include "platform/FileTimes.h"
#include "../core/FilesTestUtil.h"

namespace {

class SweepBatch : public BatchRunTest {
protected:
    void SetUp() override
    {
        BatchRunTest::SetUp();
        SavedLimit = Settings.System.PictureMemoryLimit;
        SavedSystem = Settings.System;
    }
    void TearDown() override
    {
        Settings.System = SavedSystem;
        Settings.System.PictureMemoryLimit = SavedLimit;
        BatchRunTest::TearDown();
    }
    int32_t SavedLimit = 0;
    TSystemOption SavedSystem;
};

} // namespace

// A picture that the run lets in with more than its whole budget (the
// decoded picture and as much again) but that needs less than the budget
// converts alone, with three workers and small pictures beside it, and the
// run ends: it neither waits for room that never comes nor is refused.
TEST_F(SweepBatch, APictureLargerThanTheWholeRunBudgetAloneConverts)
{
    Settings.System.PictureMemoryLimit = 1; // MiB; the large one is let in with 2 MB
    Settings.System.ParallelProcessing = true;
    Settings.System.MaxThread = 3;
    const fs::path Big = MakeBMP("big.bmp", 500, 500, 1); // 750 kB decoded
    const fs::path A = MakeBMP("a.bmp", 40, 30, 2), B = MakeBMP("b.bmp", 30, 40, 3);
    List({A, Big, B});
    ASSERT_GT(PictureBytes(500, 500, 4) * 2, uint64_t(1) << 20);
    EXPECT_TRUE(Run(3, IO));
    EXPECT_THAT(Lines(), IsEmpty());
    EXPECT_EQ(SizeOf(Out("big.bmp")), std::make_pair(500, 500));
    EXPECT_EQ(Read(Out("big.bmp")).substr(54), Read(Big).substr(54)); // the very pixels
    EXPECT_EQ(SizeOf(Out("a.bmp")), std::make_pair(40, 30));
    EXPECT_EQ(SizeOf(Out("b.bmp")), std::make_pair(30, 40));
}

// Without leave to overwrite and with "skip" chosen, a file that was there
// before the run is passed over as asked, but a name this run already gave
// another picture is no reason to drop a picture silently: it says so.
TEST_F(SweepBatch, SkipPassesOverOldFilesButNotANameOfThisRun)
{
    Settings.File.NotOverwrite = true;
    Settings.File.Skip = true;
    Settings.File.FileNameFormat = "same.bmp";
    const fs::path A = MakeBMP("a.bmp", 8, 6, 1), B = MakeBMP("b.bmp", 6, 8, 2);
    List({A, B});
    Run(1, IO);
    EXPECT_THAT(Lines(),
                ElementsAre(AllOf(StartsWith("b.bmp: "), HasSubstr("same.bmp"),
                                  HasSubstr("another file of this run is written there"))));
    EXPECT_EQ(SizeOf(Out("same.bmp")), std::make_pair(8, 6));

    // A file from before the run: both pass over it without a word.
    ErrorLog.Clear();
    List({A, B});
    Run(1, IO);
    EXPECT_THAT(Lines(), IsEmpty());
    EXPECT_EQ(SizeOf(Out("same.bmp")), std::make_pair(8, 6));
    EXPECT_EQ(Entries(Dir / "out"), 1);
}

// Files handed over at once are numbered in name order when the settings
// sort by name, whatever order they came in; otherwise in that order.
TEST_F(SweepBatch, AtOnceFilesAreNumberedInNameOrderWhenSorted)
{
    Settings.File.FileNameFormat = "<n>_<old>.bmp";
    Settings.File.StartNumber = 1;
    Settings.File.ResetType = 0;
    for (int32_t Sort : {1, 0}) {
        SCOPED_TRACE(Sort);
        fs::remove_all(Dir / "out");
        Settings.File.AutoSortMode = Sort;
        std::vector<TImageFileInfo> Input;
        for (const char* N : {"c.bmp", "a.bmp", "b.bmp"})
            Input.push_back(TImageFileInfo{MakeBMP(N, 4, 4, N[0]).string(), "", "", "", true});
        ASSERT_TRUE(Run(1, IO, false, nullptr, &Input));
        const char* const Want[2][3] = {{"1_c.bmp", "2_a.bmp", "3_b.bmp"}, {"1_a.bmp", "2_b.bmp", "3_c.bmp"}};
        for (const char* N : Want[Sort])
            EXPECT_TRUE(fs::exists(Out(N))) << N;
        EXPECT_EQ(Entries(Dir / "out"), 3);
    }
}

// A JPEG's EXIF resolution is set to the settings' resolution only when the
// resolution is not kept: keeping it wins over "update the EXIF resolution".
TEST_F(SweepBatch, KeptResolutionWinsOverTheExifResolutionUpdate)
{
    const std::vector<uint8_t> Exif =
        BuildExif(etII, {{RationalEntry(282, 150, 1, etII), RationalEntry(283, 150, 1, etII), ShortEntry(296, 2)}});
    Settings.File.FileNameFormat = "<old>.jpg";
    Settings.JPEG.AlwaysRecompress = true;
    Settings.JPEG.AddExifInfo = true;
    Settings.JPEG.UpdateExifResolution = true;
    Settings.Metadata.Resolution = 300;
    const struct {
        bool Keep;
        double Dpi;
    } Rows[] = {{true, 150}, {false, 300}};
    for (const auto& R : Rows) {
        SCOPED_TRACE(R.Keep);
        fs::remove_all(Dir / "out");
        Settings.Metadata.KeepResolution = R.Keep;
        List({MakeJPEG("a.jpg", 24, 16, 1, Exif.data(), uint32_t(Exif.size()))});
        ASSERT_TRUE(Run(1, IO));
        EXPECT_THAT(Lines(), IsEmpty());
        TImageInfo O;
        ASSERT_TRUE(GetImageInfo(Out("a.jpg").string(), O));
        EXPECT_EQ(O.XResolution(), R.Dpi);
        EXPECT_EQ(O.YResolution(), R.Dpi);
    }
}

// A JPEG copied as it is (nothing changes its picture) keeps its time when
// the time is to be kept, as a converted one does: cut to even seconds.
TEST_F(SweepBatch, ACopiedJPEGKeepsItsTime)
{
    Settings.File.FileNameFormat = "<old>.jpg";
    Settings.JPEG.AlwaysRecompress = false;
    Settings.Metadata.KeepResolution = true; // nothing in the head changes either
    for (bool Keep : {true, false}) {
        SCOPED_TRACE(Keep);
        fs::remove_all(Dir / "out");
        Settings.Metadata.KeepLastWriteTime = Keep;
        const fs::path Src = MakeJPEG("a.jpg", 24, 16, 1);
        ASSERT_TRUE(platform::SetLastWriteTime(Src.string(), {1577880003, 500000000})); // 2020-01-01 12:00:03.5 UTC
        List({Src});
        ASSERT_TRUE(Run(1, IO));
        EXPECT_THAT(Lines(), IsEmpty());
        EXPECT_EQ(Read(Out("a.jpg")), Read(Src)); // copied, not converted
        platform::TFileStat St;
        ASSERT_TRUE(platform::StatFile(Out("a.jpg").string(), St));
        if (Keep) {
            EXPECT_EQ(St.LastWrite.Sec, 1577880002);
            EXPECT_EQ(St.LastWrite.NSec, 0u);
        } else {
            EXPECT_GT(St.LastWrite.Sec, 1577880003);
        }
    }
}

namespace {

// The orientations of a JPEG's EXIF block: IFD0's and the thumbnail's (IFD1);
// 0 where there is none.
std::pair<int, int> Orientations(const std::string& J)
{
    const size_t App1 = J.find("Exif\0\0", 0, 6);
    if (App1 == std::string::npos)
        return {0, 0};
    const uint8_t* T = reinterpret_cast<const uint8_t*>(J.data()) + App1 + 6;
    const size_t N = J.size() - App1 - 6;
    const bool MM = T[0] == 'M';
    auto U16 = [&](size_t P) {
        return P + 2 > N ? 0u : MM ? uint32_t(T[P] << 8 | T[P + 1]) : uint32_t(T[P + 1] << 8 | T[P]);
    };
    auto U32 = [&](size_t P) {
        return P + 4 > N ? 0u : MM ? (U16(P) << 16 | U16(P + 2)) : (U16(P + 2) << 16 | U16(P));
    };
    int Found[2] = {0, 0};
    size_t Ifd = U32(4);
    for (int K = 0; K < 2 && Ifd != 0 && Ifd < N; ++K) {
        const uint32_t Count = U16(Ifd);
        for (uint32_t I = 0; I < Count; ++I)
            if (U16(Ifd + 2 + 12 * I) == 274)
                Found[K] = int(U16(Ifd + 2 + 12 * I + 8));
        Ifd = U32(Ifd + 2 + 12 * Count);
    }
    return {Found[0], Found[1]};
}

} // namespace

// A JPEG written from a turned TIFF (no EXIF block of its own: one is made)
// stands upright when asked: the picture and its thumbnail say orientation
// 1. Not turned, both keep the TIFF's orientation for a viewer to apply.
TEST_F(SweepBatch, AMadeExifBlockGivesTheThumbnailThePicturesOrientation)
{
    auto Build = [&](uint32_t Strip) {
        TTestEntry Sub = LongEntry(34665, 0);
        Sub.SubIfd = 1;
        return BuildExif(etII,
                         {{LongEntry(256, 300), LongEntry(257, 200), ShortEntry(258, 8), ShortEntry(259, 1),
                           ShortEntry(262, 2), LongEntry(273, Strip), ShortEntry(274, 3), ShortEntry(277, 3),
                           LongEntry(278, 200), LongEntry(279, 300 * 200 * 3), Sub},
                          {AsciiEntry(36867, "2019:05:04 03:02:01")}});
    };
    std::vector<uint8_t> Tiff = Build(uint32_t(Build(0).size() - 6));
    Tiff.erase(Tiff.begin(), Tiff.begin() + 6);
    Tiff.resize(Tiff.size() + 300 * 200 * 3, 0x60);
    WriteBytes((Dir / "in" / "t.tif").string(), Tiff);
    auto Rotation = std::make_unique<TExifRotationFilter>();
    TEffect* R = Rotation.get();
    Effects.AddFilter(std::move(Rotation));
    Settings.File.FileNameFormat = "<old>.jpg";
    Settings.JPEG.AddExifInfo = true;
    Settings.JPEG.UpdateExif = true;
    for (bool Upright : {true, false}) {
        SCOPED_TRACE(Upright);
        fs::remove_all(Dir / "out");
        R->SetUse(Upright);
        List({Dir / "in" / "t.tif"});
        ASSERT_TRUE(Run(1, IO));
        EXPECT_THAT(Lines(), IsEmpty());
        const int Want = Upright ? 1 : 3;
        EXPECT_EQ(Orientations(Read(Out("t.jpg"))), std::make_pair(Want, Want));
    }
}

// A gray picture with alpha written as PNG stays gray with alpha through an
// effect that works on the whole picture (it is worked on as colour).
TEST_F(SweepBatch, GrayAlphaPNGStaysGrayAlphaThroughEffects)
{
    Settings.File.FileNameFormat = "<old>.png";
    struct TFeatures {
        uint32_t Saved = Startup.CPUFeatures;
        ~TFeatures() { Startup.CPUFeatures = Saved; }
    } Features;
    Startup.CPUFeatures = GetCPUFeatures(); // as the program starts: alpha is kept for PNG
    auto Turn = std::make_unique<TRotationFilter>();
    Turn->FValue = ROTATE_180;
    Turn->SetUse(true);
    Effects.AddFilter(std::move(Turn));
    List({MakePNG("ga.png", 12, 8, 1, 2), MakePNG("rgba.png", 12, 8, 2, 4)});
    ASSERT_TRUE(Run(1, IO));
    EXPECT_THAT(Lines(), IsEmpty());
    for (const auto& [Name, Type] : {std::make_pair("ga.png", 4), std::make_pair("rgba.png", 6)}) {
        TImageInfo O;
        ASSERT_TRUE(GetImageInfo(Out(Name).string(), O)) << Name;
        EXPECT_EQ(O.PNGColorType, Type) << Name;
        EXPECT_EQ(std::make_pair(O.Width, O.Height), std::make_pair(12, 8)) << Name;
    }
}

// A TIFF holding both the time of its last change and its shooting date is
// listed, named and dated by the shooting date.
TEST_F(SweepBatch, ATIFFsShootingDateWinsOverItsChangeDate)
{
    auto Build = [&](uint32_t Strip) {
        TTestEntry Sub = LongEntry(34665, 0);
        Sub.SubIfd = 1;
        return BuildExif(etII,
                         {{LongEntry(256, 4), LongEntry(257, 2), ShortEntry(258, 8), ShortEntry(259, 1),
                           ShortEntry(262, 2), LongEntry(273, Strip), ShortEntry(277, 3), LongEntry(278, 2),
                           LongEntry(279, 4 * 2 * 3), AsciiEntry(306, "2001:02:03 04:05:06"), Sub},
                          {AsciiEntry(36867, "2019:05:04 03:02:01")}});
    };
    std::vector<uint8_t> Tiff = Build(uint32_t(Build(0).size() - 6));
    Tiff.erase(Tiff.begin(), Tiff.begin() + 6);
    Tiff.resize(Tiff.size() + 4 * 2 * 3, 0x60);
    WriteBytes((Dir / "in" / "t.tif").string(), Tiff);
    TImageInfo I;
    ASSERT_TRUE(GetImageInfo((Dir / "in" / "t.tif").string(), I));
    EXPECT_EQ(I.DateTimeOriginal, ExifDateToDateTime("2019:05:04 03:02:01"));
}

// A TIFF's resolution without a unit is in inches, as the format says; in
// centimetres it is converted; with no unit at all (1) it is not known.
TEST_F(SweepBatch, ATIFFsResolutionUnitDefaultsToInches)
{
    const struct {
        int Unit; // 0: no unit entry
        double Dpi;
    } Rows[] = {{0, 150}, {2, 150}, {3, 381}, {1, 0}};
    for (const auto& R : Rows) {
        SCOPED_TRACE(R.Unit);
        auto Build = [&](uint32_t Strip) {
            std::vector<TTestEntry> Ifd0 = {LongEntry(256, 4),
                                            LongEntry(257, 2),
                                            ShortEntry(258, 8),
                                            ShortEntry(259, 1),
                                            ShortEntry(262, 2),
                                            LongEntry(273, Strip),
                                            ShortEntry(277, 3),
                                            LongEntry(278, 2),
                                            LongEntry(279, 4 * 2 * 3),
                                            RationalEntry(282, 150, 1, etII),
                                            RationalEntry(283, 150, 1, etII)};
            if (R.Unit)
                Ifd0.push_back(ShortEntry(296, uint16_t(R.Unit)));
            return BuildExif(etII, {Ifd0});
        };
        std::vector<uint8_t> Tiff = Build(uint32_t(Build(0).size() - 6));
        Tiff.erase(Tiff.begin(), Tiff.begin() + 6);
        Tiff.resize(Tiff.size() + 4 * 2 * 3, 0x60);
        WriteBytes((Dir / "in" / "r.tif").string(), Tiff);
        TImageInfo I;
        ASSERT_TRUE(GetImageInfo((Dir / "in" / "r.tif").string(), I));
        EXPECT_NEAR(I.XResolution(), R.Dpi, 0.01);
        EXPECT_NEAR(I.YResolution(), R.Dpi, 0.01);
    }
}

// The JPEG setting of the transform (integer or floating point) reaches the
// encoder: the same picture comes out in other bytes.
TEST_F(SweepBatch, TheJPEGTransformSettingReachesTheEncoder)
{
    TImgInfo Img;
    AllocImg(Img, 64, 48, 3);
    uint32_t X = 12345;
    for (uint32_t Y = 0; Y < 48; ++Y)
        for (uint32_t I = 0; I < 64 * 3; ++I)
            ScanLine(Img, Y)[I] = uint8_t((X = X * 1103515245u + 12345u) >> 24);
    std::string Bytes[2];
    for (int32_t Method : {0, 1}) {
        TRunSettings S = TakeRunSettings();
        S.JPEG.DCTMethod = Method;
        const fs::path P = Dir / ("dct" + std::to_string(Method) + ".jpg");
        ASSERT_NE(::WriteJPEG(P.string(), Img, 90, TResolutionInfo{}, false, nullptr, nullptr, 0, 2, 0, S), 0);
        Bytes[Method] = Read(P);
    }
    FreeImg(Img);
    EXPECT_NE(Bytes[0], Bytes[1]);
}

// A folder handed over at once: its files in name order whatever their case,
// sub-folders only when asked (also with folders first), each file's folder
// from the named one on (for the "<dir>" token), and in the lossless mode every
// JPEG extension counts as a picture that must be read.
TEST_F(SweepBatch, AFolderWalkListsAsTheSettingsSay)
{
    fs::create_directories(Dir / "walk" / "sub");
    for (const char* N : {"B.bmp", "a.bmp", "c.jpe", "sub/d.bmp"})
        std::ofstream(Dir / "walk" / N) << "x";
    const std::string Base = (Dir / "walk").string();
    auto Walk = [&](bool Sub, int32_t Sort, int32_t Mode) {
        TListupOptions O;
        O.AtOnce = true;
        O.AddSubFolder = Sub;
        O.SortMode = Sort;
        O.RunMode = Mode;
        std::vector<TImageFileInfo> In;
        TListup(O, nullptr, &In).ListupPath(Base);
        std::vector<std::string> R;
        for (const TImageFileInfo& E : In)
            R.push_back(E.InputFileName.substr(Base.size() + 1) + "|" + E.Dir + "|" + (E.Named ? "1" : "0"));
        return R;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(Walk(false, 1, 0), (V{"a.bmp|walk/|1", "B.bmp|walk/|1", "c.jpe|walk/|1"}));
    EXPECT_EQ(Walk(false, 0, 0), (V{"a.bmp|walk/|1", "B.bmp|walk/|1", "c.jpe|walk/|1"}));
    EXPECT_EQ(Walk(true, 1, 0), (V{"sub/d.bmp|walk/sub/|1", "a.bmp|walk/|1", "B.bmp|walk/|1", "c.jpe|walk/|1"}));
    EXPECT_EQ(Walk(true, 0, 1), (V{"a.bmp|walk/|0", "B.bmp|walk/|0", "c.jpe|walk/|1", "sub/d.bmp|walk/sub/|0"}));
}

// The thumbnail of a made EXIF block lies at most 160 x 120: a standing or
// square picture's thumbnail is stored turned and says so (orientation 8).
TEST_F(SweepBatch, AStandingOrSquareThumbnailIsStoredTurned)
{
    Settings.File.FileNameFormat = "<old>.jpg";
    Settings.JPEG.AddExifInfo = true;
    Settings.JPEG.UpdateExif = true;
    const struct {
        uint32_t W, H;
        int Thumb;
    } Rows[] = {{300, 200, 1}, {200, 300, 8}, {300, 300, 8}, {100, 100, 1}};
    for (const auto& R : Rows) {
        SCOPED_TRACE(std::to_string(R.W) + "x" + std::to_string(R.H));
        auto Build = [&](uint32_t Strip) {
            TTestEntry Sub = LongEntry(34665, 0);
            Sub.SubIfd = 1;
            return BuildExif(etII,
                             {{LongEntry(256, R.W), LongEntry(257, R.H), ShortEntry(258, 8), ShortEntry(259, 1),
                               ShortEntry(262, 2), LongEntry(273, Strip), ShortEntry(274, 1), ShortEntry(277, 3),
                               LongEntry(278, R.H), LongEntry(279, R.W * R.H * 3), Sub},
                              {AsciiEntry(36867, "2019:05:04 03:02:01")}});
        };
        std::vector<uint8_t> Tiff = Build(uint32_t(Build(0).size() - 6));
        Tiff.erase(Tiff.begin(), Tiff.begin() + 6);
        Tiff.resize(Tiff.size() + R.W * R.H * 3, 0x60);
        fs::remove_all(Dir / "out");
        WriteBytes((Dir / "in" / "s.tif").string(), Tiff);
        List({Dir / "in" / "s.tif"});
        ASSERT_TRUE(Run(1, IO));
        EXPECT_THAT(Lines(), IsEmpty());
        EXPECT_EQ(Orientations(Read(Out("s.jpg"))).second, R.Thumb);
    }
}
