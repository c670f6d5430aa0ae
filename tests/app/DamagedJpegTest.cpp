// The built program on JPEGs whose coded data is cut or damaged in the middle
// of their scan, on every path that decodes a picture, and on pictures whose
// profile does not fit the pixels written: what the user sees is the status,
// the lines and the files.
#include "TestApp.h"
#include "tests/app/AtOnceRun.h"
#include "../core/ProfileTestUtil.h"
#include "ProfiledJPEG.h"
#include "core/ImgInfo.h"
#include "core/Kodex.h"
#include "core/RunSettings.h"

#include <QProcess>

#include <jpeglib.h>

#include <cstdio>

namespace fs = std::filesystem;

namespace {

const std::string kProgram = std::string(VESTRO_DIST_DIR) + "/vestro-resizer";
const fs::path kPhoto = "/usr/share/backgrounds/mate/nature/Storm.jpg";

struct TResult {
    int Status = -1;
    std::string Err;
};

void Save(const fs::path& P, const std::string& Bytes)
{
    std::ofstream(P, std::ios::binary) << Bytes;
}

size_t FindMarker(const std::string& B, uint8_t M)
{
    for (size_t i = 2; i + 1 < B.size(); ++i)
        if (uint8_t(B[i]) == 0xFF && uint8_t(B[i + 1]) == M)
            return i;
    return std::string::npos;
}

// Good, damaged: "cut" at 60 %; "repeated": a stretch of its coded data
// written twice (the codes run out of step, and the decoder is done before
// the data is); "10 rows": a frame header of 10 rows over the whole scan;
// "stray": 16 stray zero bytes before its end marker, as some encoders leave;
// "leftover": 12 bytes of coded data there instead, as a damaged scan leaves.
std::string Damaged(const std::string& Good, const std::string& Kind)
{
    std::string b = Good;
    if (Kind == "cut")
        b.resize(b.size() * 6 / 10);
    else if (Kind == "repeated")
        b.insert(b.size() * 6 / 10, Good.substr(b.size() * 4 / 10, b.size() / 10));
    else if (Kind == "10 rows")
        b[FindMarker(b, 0xC0) + 5] = 0, b[FindMarker(b, 0xC0) + 6] = 10;
    else if (Kind == "stray")
        b.insert(b.size() - 2, 16, '\0');
    else if (Kind == "leftover")
        b.insert(b.size() - 2, 12, 'Z');
    return b;
}

class DamagedJpeg : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        if (!fs::exists(kProgram) || !fs::exists(std::string(VESTRO_DIST_DIR) + "/bin/libkodex.so"))
            GTEST_SKIP() << "the program is not built";
        Dir = ScratchDir("damagedjpeg");
        // The instance's socket lives here: a short path, as socket names are.
        static int Serial = 0;
        RunDir = fs::temp_directory_path() / ("vdj-" + std::to_string(::getpid()) + "-" + std::to_string(Serial++));
        fs::create_directories(RunDir);
        fs::permissions(RunDir, fs::perms::owner_all);
        Profile = Dir.filename().string() + ".ini";
    }
    void TearDown() override
    {
        fs::remove_all(Dir);
        fs::remove_all(RunDir);
        fs::remove(std::string(VESTRO_DIST_DIR) + "/ini/" + Profile);
    }
    // An at-once profile writing Dir/out/<old> (File adds to [File]), then Rest.
    void Settings(const std::string& File, const std::string& Rest)
    {
        std::ofstream(std::string(VESTRO_DIST_DIR) + "/ini/" + Profile)
            << "[File]\nAtOnce=1\nSameDirectory=0\nNotOverwrite=0\nOutPutDirectory=" << (Dir / "out").string()
            << "\nFileNameFormat=<old>\n"
            << File << Rest;
    }
    TResult Run(const std::vector<std::string>& Args)
    {
        const TProgramResult R = RunProgramAtOnce(Profile, Args, Dir, RunDir);
        return {R.Status, R.Err};
    }
    // Files of an empty folder Dir/in, named after their contents' keys.
    void Inputs(const std::map<std::string, std::string>& Files)
    {
        fs::remove_all(Dir / "in");
        fs::remove_all(Dir / "out");
        fs::create_directories(Dir / "in");
        for (const auto& [Name, Bytes] : Files)
            Save(Dir / "in" / Name, Bytes);
    }
    std::vector<std::string> Outputs() const { return SortedNames(Dir / "out"); }
    fs::path Dir, RunDir;
    std::string Profile;
};

// Every path that decodes a picture, at full and at reduced size, in bands
// and whole: a damaged file gets one line with the decoder's words and no
// output, and its source stays although inputs are to be deleted.
TEST_F(DamagedJpeg, EveryDecodingPathRefusesTheDamagedFileAndKeepsItsSource)
{
    WritePhoto(Dir / "clean.jpg", 1200, 800, 1);
    WritePhoto(Dir / "other.jpg", 1200, 800, 2);
    const std::string Clean = ReadFile(Dir / "clean.jpg"), Other = ReadFile(Dir / "other.jpg");
    std::map<std::string, std::string> Files{{"clean.jpg", Clean}};
    std::map<std::string, std::string> Words;
    for (const char* Kind : {"cut", "repeated", "10 rows", "leftover"}) {
        const std::string Name = std::string(Kind) == "10 rows" ? "rows.jpg" : std::string(Kind) + ".jpg";
        Files[Name] = Damaged(Other, Kind);
        Words[Name] = std::string(Kind) == "cut" ? "Premature end of JPEG file" : "Corrupt JPEG data";
    }
    // A photograph damaged in the middle of its scan as well, where there is one.
    if (fs::exists(kPhoto)) {
        Files["photo.jpg"] = Damaged(ReadFile(kPhoto), "repeated");
        Words["photo.jpg"] = "Corrupt JPEG data: ";
    }
    const std::string Resize = "[Resize]\nRule=10\nSize1=100,512,384,512,384,100,100,512,512,0,320,512\n"
                               "Size2=0,0,0,0,0,100,100,384,384,0,320,384\n";
    const std::string Whole = "[ResizeFilter]\nUse=0\n[JPEG]\nAlwaysRecompress=1\n";
    const struct {
        const char* Path;
        std::string Settings;
        const char* Written; // the clean file's output
    } Paths[] = {
        {"resize in bands", Resize, "clean.jpg"},
        {"resize in bands at 1/4 size", Resize + "[JPEG]\nDecodeWithDownScaling=3\nDownScalingLimit=50\n", "clean.jpg"},
        {"resize at 1/4 size, then a turn",
         Resize +
             "[JPEG]\nDecodeWithDownScaling=3\nDownScalingLimit=50\n"
             "[RotationFilter]\nUse=1\nValue=0\n",
         "clean.jpg"},
        {"png", Whole + "ConvertTo=3\n", "clean.png"},
        {"rotation", Whole + "[RotationFilter]\nUse=1\nValue=1\n", "clean.jpg"},
        {"size search", Resize + "[JPEG]\nUseFileSizeLimit=1\nFileSizeLimit=8\n", "clean.jpg"},
        {"colour reduction", Whole + "ConvertTo=1\n[DecreaseColor]\nUse=1\nMode=2\nPaletteEntries=16\n", "clean.bmp"},
        {"combine", "[Combine]\nUse=1\nWidth=200\nHeight=150\nRows=1\nColumns=1\n", nullptr},
    };
    const bool Quantizer =
        fs::exists("/usr/bin/pngquant") || fs::exists(std::string(VESTRO_DIST_DIR) + "/bin/pngquant");
    for (const auto& P : Paths) {
        if (std::string(P.Path) == "colour reduction" && !Quantizer)
            continue;
        SCOPED_TRACE(P.Path);
        Inputs(Files);
        Settings("DeleteInputFile=1\n", P.Settings);
        const TResult R = Run({"in"});
        EXPECT_EQ(R.Status, 1) << R.Err;
        for (const auto& [Name, Said] : Words) {
            // (A sheet left without a picture says so on a line of its own.)
            if (P.Written) {
                EXPECT_EQ(Count(R.Err, Name + ": "), 1) << R.Err;
            }
            EXPECT_THAT(R.Err, HasSubstr(Name + ": Failed to load file: " + Said));
            EXPECT_EQ(ReadFile(Dir / "in" / Name), Files[Name]) << Name << " must stay as it was";
        }
        if (P.Written) {
            EXPECT_THAT(Outputs(), ElementsAre(P.Written));
            EXPECT_FALSE(fs::exists(Dir / "in" / "clean.jpg")) << "a clean source is deleted as asked";
        } else {
            EXPECT_EQ(Outputs().size(), 1u) << "one sheet, of the clean picture";
        }
    }
}

// A few stray bytes before the end marker are no damage: the picture is
// written. But the decoder warned, so the source is the better copy: it is
// neither deleted nor replaced, and the user is told.
TEST_F(DamagedJpeg, StrayBytesBeforeTheEndAreWrittenButNeverCostTheSource)
{
    WritePhoto(Dir / "whole.jpg", 900, 600, 3);
    const std::string Stray = Damaged(ReadFile(Dir / "whole.jpg"), "stray");
    const std::string Turn = "[ResizeFilter]\nUse=0\n[RotationFilter]\nUse=1\nValue=0\n";
    const std::string Kept = "stray.jpg: the decoder warned about the file's data; the source is kept\n";

    Inputs({{"stray.jpg", Stray}});
    Settings("", Turn);
    TResult R = Run({"in"});
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(ImageSize(Dir / "out" / "stray.jpg"), QSize(600, 900));

    // Turned (read whole) or only resized (read in bands), inputs to be deleted.
    const std::string Resize = "[Resize]\nRule=10\nSize1=100,512,384,512,384,100,100,512,512,0,300,512\n"
                               "Size2=0,0,0,0,0,100,100,384,384,0,300,384\n";
    for (const auto& [Effects, Size] : {std::pair{Turn, QSize(600, 900)}, {Resize, QSize(300, 200)}}) {
        Inputs({{"stray.jpg", Stray}});
        Settings("DeleteInputFile=1\n", Effects);
        R = Run({"in"});
        EXPECT_EQ(R.Status, 1) << R.Err;
        EXPECT_THAT(R.Err, HasSubstr(Kept));
        EXPECT_EQ(ImageSize(Dir / "out" / "stray.jpg"), Size);
        EXPECT_EQ(ReadFile(Dir / "in" / "stray.jpg"), Stray);
    }

    // The output would take the source's place.
    Inputs({{"stray.jpg", Stray}});
    std::ofstream(std::string(VESTRO_DIST_DIR) + "/ini/" + Profile)
        << "[File]\nAtOnce=1\nSameDirectory=1\nNotOverwrite=0\nFileNameFormat=<old>\n"
        << Turn;
    R = Run({"in/stray.jpg"});
    EXPECT_EQ(R.Status, 1) << R.Err;
    EXPECT_THAT(R.Err, HasSubstr(Kept));
    EXPECT_EQ(ReadFile(Dir / "in" / "stray.jpg"), Stray);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "in"), {}), 1);
}

// A JPEG kept at 100 % goes through the unchanged copy, which never decodes
// it: a marker that cannot stand in a scan (bytes 0xFF 0xDE amid the coded
// data) is damage there too, not a segment to pass over by its length.
TEST_F(DamagedJpeg, TheUnchangedCopyRefusesAMarkerThatCannotStandInAScan)
{
    WritePhoto(Dir / "clean.jpg", 600, 400, 4);
    const std::string Clean = ReadFile(Dir / "clean.jpg");
    const size_t Scan = FindMarker(Clean, 0xDA);
    ASSERT_NE(Scan, std::string::npos);
    std::string Dhp = Clean;
    Dhp.insert(Scan + (Clean.size() - Scan) / 2, std::string("\xFF\xDE\x00\x04\x12\x34", 6));
    for (const char* Delete : {"", "DeleteInputFile=1\n"}) {
        SCOPED_TRACE(*Delete ? "inputs deleted" : "inputs kept");
        Inputs({{"clean.jpg", Clean}, {"dhp.jpg", Dhp}});
        Settings(Delete, "");
        const TResult R = Run({"in"});
        EXPECT_EQ(R.Status, 1) << R.Err;
        EXPECT_EQ(Count(R.Err, "dhp.jpg: "), 1) << R.Err;
        EXPECT_THAT(R.Err, HasSubstr("dhp.jpg: Failed to load file: Unsupported marker type 0xde\n"));
        EXPECT_EQ(ReadFile(Dir / "in" / "dhp.jpg"), Dhp);
        // The clean one is copied as it is, so the copy did run.
        EXPECT_THAT(Outputs(), ElementsAre("clean.jpg"));
        EXPECT_EQ(ReadFile(Dir / "out" / "clean.jpg"), Clean);
        EXPECT_EQ(fs::exists(Dir / "in" / "clean.jpg"), !*Delete);
    }
}

// The unchanged copy decodes the coded data too: damage inside a scan whose
// markers are all whole gets the verdict every decoding path gives it (one
// line, nothing written, the source kept), and stray bytes the decoder only
// complains about are copied with the source kept and the user told.
TEST_F(DamagedJpeg, TheUnchangedCopyGivesDamageInsideAScanTheDecodersVerdict)
{
    WritePhoto(Dir / "clean.jpg", 1200, 800, 5);
    WritePhoto(Dir / "other.jpg", 1200, 800, 6);
    const std::string Clean = ReadFile(Dir / "clean.jpg");
    const std::string Repeated = Damaged(ReadFile(Dir / "other.jpg"), "repeated");
    const std::string Stray = Damaged(ReadFile(Dir / "other.jpg"), "stray");
    std::string Zeros = ReadFile(Dir / "other.jpg");
    const size_t Scan = FindMarker(Zeros, 0xDA);
    ASSERT_NE(Scan, std::string::npos);
    std::fill_n(Zeros.begin() + std::ptrdiff_t(Scan + (Zeros.size() - Scan) / 2), 256, '\0');
    for (const char* Delete : {"", "DeleteInputFile=1\n"}) {
        SCOPED_TRACE(*Delete ? "inputs deleted" : "inputs kept");
        Inputs({{"clean.jpg", Clean}, {"repeated.jpg", Repeated}, {"zeros.jpg", Zeros}, {"stray.jpg", Stray}});
        Settings(Delete, "");
        const TResult R = Run({"in"});
        EXPECT_EQ(R.Status, 1) << R.Err;
        for (const char* Name : {"repeated.jpg", "zeros.jpg"}) {
            EXPECT_EQ(Count(R.Err, std::string(Name) + ": "), 1) << R.Err;
            EXPECT_THAT(R.Err, HasSubstr(std::string(Name) + ": Failed to load file: Corrupt JPEG data"));
        }
        EXPECT_EQ(ReadFile(Dir / "in" / "repeated.jpg"), Repeated);
        EXPECT_EQ(ReadFile(Dir / "in" / "zeros.jpg"), Zeros);
        EXPECT_THAT(Outputs(), ElementsAre("clean.jpg", "stray.jpg"));
        EXPECT_EQ(ReadFile(Dir / "out" / "clean.jpg"), Clean);
        EXPECT_EQ(fs::exists(Dir / "in" / "clean.jpg"), !*Delete);
        EXPECT_EQ(ReadFile(Dir / "in" / "stray.jpg"), Stray);
        EXPECT_EQ(Count(R.Err, "stray.jpg: the decoder warned about the file's data; the source is kept\n"),
                  *Delete ? 1 : 0)
            << R.Err;
    }
}

// The lossless transform on a file whose tool warns but writes (a few stray
// bytes before the end marker): the output is kept, but the source is the
// better copy. It stays, although inputs are to be deleted, the user is told,
// and the output never takes the source's place.
TEST_F(DamagedJpeg, ATransformThatWarnsKeepsItsOutputAndTheSource)
{
    if (!fs::exists("/usr/bin/jpegtran") && !fs::exists(std::string(VESTRO_DIST_DIR) + "/bin/jpegtran"))
        GTEST_SKIP() << "no jpegtran";
    WritePhoto(Dir / "clean.jpg", 640, 480, 5);
    const std::string Clean = ReadFile(Dir / "clean.jpg");
    const std::string Stray = Damaged(Clean, "stray");
    const std::string Turn = "[JPEGTran]\nUse=1\nRotation=2\n";
    const std::string Said = "stray.jpg: the lossless transform reported damaged data; the source is kept\n";
    for (const char* Delete : {"", "DeleteInputFile=1\n"}) {
        SCOPED_TRACE(*Delete ? "inputs deleted" : "inputs kept");
        Inputs({{"clean.jpg", Clean}, {"stray.jpg", Stray}});
        Settings(Delete, Turn);
        const TResult R = Run({"in"});
        EXPECT_EQ(R.Status, 1) << R.Err;
        EXPECT_EQ(Count(R.Err, "stray.jpg: "), 1) << R.Err;
        EXPECT_THAT(R.Err, HasSubstr(Said));
        EXPECT_THAT(Outputs(), ElementsAre("clean.jpg", "stray.jpg"));
        EXPECT_EQ(ImageSize(Dir / "out" / "stray.jpg"), QSize(480, 640)) << "turned as asked";
        EXPECT_EQ(ReadFile(Dir / "in" / "stray.jpg"), Stray);
        EXPECT_EQ(fs::exists(Dir / "in" / "clean.jpg"), !*Delete);
    }
    // The output would take the source's place: the source stays as it was.
    Inputs({{"stray.jpg", Stray}});
    std::ofstream(std::string(VESTRO_DIST_DIR) + "/ini/" + Profile)
        << "[File]\nAtOnce=1\nSameDirectory=1\nNotOverwrite=0\nFileNameFormat=<old>\nDeleteInputFile=1\n"
        << Turn;
    const TResult R = Run({"in/stray.jpg"});
    EXPECT_EQ(R.Status, 1) << R.Err;
    EXPECT_THAT(R.Err, HasSubstr(Said));
    EXPECT_EQ(ReadFile(Dir / "in" / "stray.jpg"), Stray);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "in"), {}), 1);
}

// A profile goes into an output only when it describes the output's pixels.
TEST_F(DamagedJpeg, AProfileIsWrittenOnlyWithPixelsOfItsColourSpace)
{
    std::string Err;
    ASSERT_TRUE(KodexProcs.ReadPNG || LoadKodex(std::string(VESTRO_DIST_DIR) + "/", Err)) << Err;
    const auto ProfileOf = [](const char* Space) {
        const std::vector<uint8_t> P = MakeProfile("Test", Space);
        TICCInfo Icc;
        Icc.Profile = static_cast<uint8_t*>(std::malloc(P.size()));
        std::memcpy(Icc.Profile, P.data(), P.size());
        Icc.Len = uint32_t(P.size());
        return Icc;
    };
    TICCInfo Rgb = ProfileOf("RGB "), Gray = ProfileOf("GRAY");
    TImgInfo Photo, GrayAlpha;
    AllocFilledImg(Photo, 64, 48, 3);
    AllocFilledImg(GrayAlpha, 64, 48, 2);
    for (uint32_t y = 0; y < 48; ++y) {
        for (uint32_t x = 0; x < 64 * 3; ++x)
            ScanLine(Photo, y)[x] = uint8_t(x + 3 * y);
        for (uint32_t x = 0; x < 64 * 2; ++x)
            ScanLine(GrayAlpha, y)[x] = uint8_t(x % 2 ? 128 + y : x + y); // gray, then alpha
    }
    const TRunSettings S = TakeRunSettings();
    fs::create_directories(Dir / "made");
    ASSERT_TRUE(WriteJPEG((Dir / "made" / "rgb.jpg").string(), Photo, 90, {}, false, &Rgb, nullptr, 0, 1, 0, S));
    ASSERT_TRUE(WritePNG((Dir / "made" / "ga.png").string(), GrayAlpha, 0, false, false, {}, 0, nullptr, &Gray, 6, S));
    for (TICCInfo* I : {&Rgb, &Gray})
        std::free(I->Profile);
    FreeImg(Photo);
    FreeImg(GrayAlpha);
    const std::map<std::string, std::string> Files{{"cmyk.jpg", ProfiledJPEG(4, MakeProfile("Ink", "CMYK"))},
                                                   {"rgb.jpg", ReadFile(Dir / "made" / "rgb.jpg")},
                                                   {"ga.png", ReadFile(Dir / "made" / "ga.png")}};
    ASSERT_EQ(JPEGProfileSpace(Files.at("cmyk.jpg")), "CMYK");
    ASSERT_EQ(JPEGProfileSpace(Files.at("rgb.jpg")), "RGB ");

    // Recompressed as JPEG: the CMYK file and the gray one come out as RGB pixels.
    Inputs(Files);
    Settings("", "[ResizeFilter]\nUse=0\n[JPEG]\nAlwaysRecompress=1\n[PNG]\nConvertTo=2\n");
    TResult R = Run({"in"});
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(JPEGProfileSpace(ReadFile(Dir / "out" / "cmyk.jpg")), "");
    EXPECT_EQ(JPEGProfileSpace(ReadFile(Dir / "out" / "rgb.jpg")), "RGB ");
    EXPECT_EQ(JPEGProfileSpace(ReadFile(Dir / "out" / "ga.jpg")), "");
    EXPECT_EQ(ImageSize(Dir / "out" / "ga.jpg"), QSize(64, 48));

    // Through the grayscale effect: a gray JPEG loses the RGB profile, a
    // gray PNG keeps its gray one.
    Inputs(Files);
    Settings("", "[ResizeFilter]\nUse=0\n[GrayscaleFilter]\nUse=1\n[PNG]\nConvertTo=3\n");
    R = Run({"in/rgb.jpg", "in/ga.png"});
    EXPECT_EQ(R.Status, 0) << R.Err;
    const std::string GrayJPEG = ReadFile(Dir / "out" / "rgb.jpg");
    ASSERT_NE(FindMarker(GrayJPEG, 0xC0), std::string::npos);
    EXPECT_EQ(uint8_t(GrayJPEG[FindMarker(GrayJPEG, 0xC0) + 9]), 1) << "one component";
    EXPECT_EQ(JPEGProfileSpace(GrayJPEG), "");
    EXPECT_NE(ReadFile(Dir / "out" / "ga.png").find("iCCP"), std::string::npos);
}

} // namespace
