// What a run reports, through the batch engine and the process-wide error
// log: every input asked for and not written gets one "name: reason" line,
// and expected answers of the codec library are no failures.
#include "BatchFixture.h"
#include "../core/FilesTestUtil.h"
#include "core/PalettePNG.h"
#include "core/ResourceText.h"

namespace {

class Reported : public BatchRunTest {
protected:
    void SetUp() override
    {
        BatchRunTest::SetUp();
        Settings.File.NotOverwrite = false;
    }
    // A camera-like JPEG: EXIF with a thumbnail slot of SlotSize bytes.
    fs::path CameraJPEG(const std::string& Name, uint32_t SlotSize, int Seed)
    {
        TTestEntry Jif = LongEntry(513, 0);
        Jif.Ext.assign(SlotSize, 0);
        Jif.Ext[0] = 0xFF;
        Jif.Ext[1] = 0xD8;
        const std::vector<uint8_t> Exif = BuildExif(
            etII,
            {{ShortEntry(274, 1), AsciiEntry(305, "Camera")}, {}, {ShortEntry(259, 6), Jif, LongEntry(514, SlotSize)}});
        return MakeJPEG(Name, 640, 480, Seed, Exif.data(), uint32_t(Exif.size()));
    }
};

TEST_F(Reported, EncodingsThatDoNotFitTheirBufferAreNoErrors)
{
    // The size search and the thumbnail update try one encoding after the
    // other until one fits; none of the misses is a failure of the file, so
    // with AbortOnError every file is still converted.
    for (int i = 0; i < 3; ++i)
        Add(CameraJPEG("c" + std::to_string(i) + ".jpg", 600, i));
    Settings.File.FileNameFormat = "<old>.jpg";
    Settings.JPEG.UpdateExifThumbnail = true;
    LimitJPEGSize(40); // many tries before one fits
    ASSERT_TRUE(Run(2, IO, /*AbortOnError=*/true));
    EXPECT_TRUE(Lines().empty()) << Lines()[0];
    for (int i = 0; i < 3; ++i) {
        const fs::path O = Out("c" + std::to_string(i) + ".jpg");
        TImageInfo I;
        ASSERT_TRUE(GetImageInfo(O.string(), I)) << O;
        EXPECT_LE(fs::file_size(O), 40u * 1024);
        EXPECT_TRUE(I.HasExif());
    }
}

class NotWritten : public Reported {
protected:
    static TImageFileInfo Named(const fs::path& P) { return TImageFileInfo{P.string(), "", "", "", true}; }
};

} // namespace

TEST_F(NotWritten, AFileThatVanishesAfterTheNamesIsReported)
{
    struct Vanish : TBatchEventQueue {
        fs::path Victim;
        void NamesReady(int, double) override { fs::remove(Victim); }
    } Obs;
    const fs::path A = MakeJPEG("a.jpg", 40, 30, 1);
    Obs.Victim = MakeJPEG("b.jpg", 40, 30, 2);
    std::vector<TImageFileInfo> In{Named(A), Named(Obs.Victim)};
    Settings.File.FileNameFormat = "<old>.jpg";
    Run(2, IO, false, &Obs, &In);
    EXPECT_EQ(OnlyLine(), "b.jpg: File not found");
    EXPECT_TRUE(fs::exists(Out("a.jpg")));

    // The same in the main list.
    ErrorLog.Clear();
    const fs::path C = MakeJPEG("c.jpg", 40, 30, 3);
    List({A, C});
    Obs.Victim = C;
    Run(1, IO, false, &Obs);
    EXPECT_EQ(OnlyLine(), "c.jpg: File not found");
}

TEST_F(NotWritten, AFileThatChangesAfterTheNamesIsReportedNotConverted)
{
    // Rewritten in place, and replaced by another file of the same size and
    // time: either way the name and the probe were made for another picture.
    struct Change : TBatchEventQueue {
        std::function<void()> Do;
        void NamesReady(int, double) override { Do(); }
    } Obs;
    const fs::path A = MakeJPEG("a.jpg", 40, 30, 1), B = MakeJPEG("b.jpg", 40, 30, 2), C = MakeJPEG("c.jpg", 40, 30, 3);
    const fs::path Twin = Dir / "twin.jpg";
    fs::copy_file(C, Twin);
    fs::last_write_time(Twin, fs::last_write_time(C));
    Obs.Do = [&] {
        MakeJPEG("b.jpg", 80, 60, 4);
        fs::rename(Twin, C);
    };
    std::vector<TImageFileInfo> In{Named(A), Named(B), Named(C)};
    Settings.File.FileNameFormat = "<old>.png";
    Run(2, IO, false, &Obs, &In);
    EXPECT_THAT(Lines(),
                UnorderedElementsAre(AllOf(StartsWith("b.jpg: "), HasSubstr("changed")),
                                     AllOf(StartsWith("c.jpg: "), HasSubstr("changed"))));
    EXPECT_TRUE(fs::exists(Out("a.png")));
    EXPECT_FALSE(fs::exists(Out("b.png")) || fs::exists(Out("c.png")));
}

TEST_F(NotWritten, OutputsRefusedByTheCollisionRulesAreReported)
{
    const fs::path A = MakeJPEG("a.jpg", 40, 30, 1), APng = Dir / "in" / "a.png", B = MakeJPEG("b.jpg", 40, 30, 2),
                   C = MakeJPEG("c.jpg", 40, 30, 3);
    fs::copy_file(MakeBMP("a.bmp", 20, 20, 4), APng); // content decides, not the name
    fs::create_directories(Dir / "out");
    std::ofstream(Out("b.jpg")) << "kept";
    fs::permissions(Out("b.jpg"), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    Settings.File.FileNameFormat = "<old>.jpg";
    Settings.File.NotOverwrite = false;
    std::vector<TImageFileInfo> In{Named(A), Named(APng), Named(B), Named(C)};
    Run(2, IO, false, nullptr, &In);
    auto L = Lines();
    ASSERT_EQ(L.size(), 2u) << ::testing::PrintToString(L);
    EXPECT_EQ(L[0], "a.png: cannot write " + Out("a.jpg").string() + ": another file of this run is written there");
    EXPECT_EQ(L[1], "b.jpg: cannot write " + Out("b.jpg").string() + ": the file is read-only");
    EXPECT_EQ(Read(Out("b.jpg")), "kept");
    EXPECT_TRUE(fs::exists(Out("c.jpg")));
}

TEST_F(NotWritten, AWriteFailureIsOneLineNamingTheTarget)
{
    // The output folder cannot be made: a file stands where it would be
    // (read-only folders do not stop root, which the tests may run as).
    Add(MakeJPEG("a.jpg", 40, 30, 1));
    std::ofstream(Dir / "blocker") << "a file, not a folder";
    Settings.File.OutputDirectory = (Dir / "blocker" / "out").string() + "/";
    Settings.File.FileNameFormat = "<old>.png";
    Run(1, IO);
    EXPECT_EQ(OnlyLine(),
              "a.jpg: cannot write " + (Dir / "blocker" / "out" / "a.png").string() + ": cannot create the folder " +
                  (Dir / "blocker" / "out").string() + "/: Not a directory");
}

TEST_F(NotWritten, AToolsChatterIsDiscardedAndItsFailureSaidAgainstTheFile)
{
    // An optimiser that talks on both outputs, the way the real one names
    // our temporary files, and then fails: the PNG stays as written.
    const std::string SavedExe = Startup.ExeDir;
    const TPNGOption SavedPNG = Settings.PNG;
    Startup.ExeDir = (Dir / "prog").string() + "/";
    fs::create_directories(Dir / "prog" / "bin");
    std::ofstream(Dir / "prog" / "bin" / "zopflipng") << "#!/bin/sh\necho \"Optimizing $2\"\necho oops >&2\nexit 3\n";
    fs::permissions(Dir / "prog" / "bin" / "zopflipng", fs::perms::owner_all);
    Settings.PNG.UsePNGOUT = true;
    Settings.PNG.FullColorOptimization = true;
    Add(MakeJPEG("a.jpg", 40, 30, 1));
    Settings.File.FileNameFormat = "<old>.png";
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    Run(1, IO);
    const std::string Said = ::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr();
    Startup.ExeDir = SavedExe;
    Settings.PNG = SavedPNG;
    EXPECT_EQ(Said, "");
    EXPECT_THAT(OnlyLine(), AllOf(StartsWith("a.jpg: the PNG optimiser failed"), HasSubstr("exit status 3")));
    EXPECT_EQ(SizeOf(Out("a.png")), std::make_pair(40, 30));
}

// A load that fails raises one reason: "Failed to load file", the reader's
// own message and what the codec library logged on the way, each once; the
// log holds none of it (the caller writes the one line).
TEST(LoadReasons, AFailedLoadSaysTheReadersMessageAndTheCodecsLinesOnce)
{
    ErrorLog.Clear();
    const auto Reason = [](const std::function<int32_t()>& Load) {
        try {
            LoadOrRaise(Load);
        } catch (const std::exception& E) {
            return std::string(E.what());
        }
        return std::string("loaded");
    };
    const std::string Failed = LoadResText(SLoadFailed);
    EXPECT_EQ(Reason([] { return 0; }), Failed);
    EXPECT_EQ(Reason([] {
                  ErrorLog.PutFileError("/in/a.jpg", "Bogus Huffman table definition");
                  return 0;
              }),
              Failed + ": Bogus Huffman table definition");
    EXPECT_EQ(Reason([]() -> int32_t {
                  ErrorLog.PutFileError("/in/a.jpg", "Bogus Huffman table definition");
                  throw EVestroError("the picture is too large");
              }),
              Failed + ": the picture is too large; Bogus Huffman table definition");
    EXPECT_EQ(Reason([]() -> int32_t {
                  ErrorLog.PutFileError("/in/a.jpg", "Bogus Huffman table definition");
                  throw EVestroError("Bogus Huffman table definition");
              }),
              Failed + ": Bogus Huffman table definition");
    EXPECT_EQ(ErrorLog.GetErrorCount(), 0);
    // A load that succeeds with a warning keeps the warning's line.
    EXPECT_EQ(Reason([] {
                  ErrorLog.PutFileError("/in/a.jpg", "Corrupt JPEG data");
                  return 1;
              }),
              "loaded");
    EXPECT_EQ(ErrorLog.Lines(), std::vector<std::string>{"/in/a.jpg: Corrupt JPEG data"});
    ErrorLog.Clear();
}
