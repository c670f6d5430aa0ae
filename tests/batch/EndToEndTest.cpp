// Whole runs on generated JPEG files through the codec library and the
// resampler.
#include "BatchFixture.h"
#include "core/Errors.h"
#include "platform/Process.h"

#include <thread>

namespace {

// Stands in for the lossless transform: starts writing its output, then runs
// a tool that would take half a minute and makes the file Started when it
// is up. A careless one ignores the tool's exit code.
class SlowTool : public TEffect {
public:
    SlowTool(fs::path Started, bool CheckExit)
        : TEffect("JPEGTran", 'L', "JPEGTran", EFFECT_JPEGTRAN), FStarted(std::move(Started)), FCheck(CheckExit)
    {
        FUse = true;
    }
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
    void DoEffect(TImgInfo&, TEffectParams& P) override
    {
        std::ofstream(P.ToolOutFileName) << "half";
        if (RunProcessAndWait({"sh", "-c", "echo > \"$0\"; exec sleep 30", FStarted.string()}, P.ToolCancel) != 0 &&
            FCheck)
            throw EVestroError("tool failed");
    }

private:
    fs::path FStarted;
    bool FCheck;
};

class EndToEnd : public BatchRunTest {
protected:
    void SetUp() override
    {
        BatchRunTest::SetUp();
        Settings.File.FileNameFormat = "<old>.jpg";
        Settings.File.NotOverwrite = false;
    }
};

TEST_F(EndToEnd, ResizedJPEGsAreTheSameWithOneOrEightWorkers)
{
    for (int i = 0; i < 6; ++i)
        Add(MakeJPEG("p" + std::to_string(i) + ".jpg", 120 + 16 * i, 90, i));
    Effects.SetResizeParam(RULE_PERCENT, 50, 0);
    ASSERT_TRUE(Run(1, IO));
    ASSERT_TRUE(Lines().empty()) << Lines()[0];
    std::vector<std::string> One;
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(SizeOf(Out("p" + std::to_string(i) + ".jpg")), std::make_pair((120 + 16 * i) / 2, 45));
        One.push_back(Read(Out("p" + std::to_string(i) + ".jpg")));
    }
    ASSERT_TRUE(Run(8, IO));
    EXPECT_TRUE(Lines().empty());
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Read(Out("p" + std::to_string(i) + ".jpg")), One[size_t(i)]) << i;
}

TEST_F(EndToEnd, UnchangedJPEGCopyKeepsAFileThatAppearedDuringTheRun)
{
    // Another program creates the output between the names and the copy.
    struct Intruder : TBatchEventQueue {
        std::string Target;
        void Progress(uint32_t, const std::string&) override { std::ofstream(Target) << "theirs"; }
    } Obs;
    Obs.Target = Out("a.jpg").string();
    Add(MakeJPEG("a.jpg", 64, 48, 1));
    Settings.File.NotOverwrite = true;
    Run(1, IO, false, &Obs);
    EXPECT_EQ(OnlyLine(), "a.jpg: Failed to copy file: cannot write " + Out("a.jpg").string() + ": File exists");
    EXPECT_EQ(Read(Out("a.jpg")), "theirs");
}

TEST_F(EndToEnd, ToolKilledByCancelNeitherReplacesTheOutputNorDeletesTheSource)
{
    // Even when the effect does not look at the killed tool's exit code.
    const fs::path A = MakeJPEG("a.jpg", 64, 48, 1);
    Add(A);
    Settings.File.DeleteInputFile = true;
    fs::create_directories(Dir / "out");
    std::ofstream(Out("a.jpg")) << "previous";
    Effects.SetJPEGTranEffect(std::make_unique<SlowTool>(Dir / "tool-started", false));
    TOutputNameJob Names(TRunEntries{&Files, nullptr}, Effects, Settings.File.FileNameFormat, TakeRunSettings());
    TConvertJob Job(TRunEntries{&Files, nullptr}, Effects, IO, Errors, TWorkerObjectFactory{},
                    RunSettingsWith(false, false));
    TBatchRun Batch(Names, Job, Errors, nullptr);
    TNumbering N = RunNumbering(Names);
    Batch.Start(TCollisionRules{false, false, true}, N, 1, false);
    // The cancel comes once the tool runs (a loaded machine may take a while to start it).
    for (int I = 0; I < 3000 && !fs::exists(Dir / "tool-started"); ++I)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(fs::exists(Dir / "tool-started"));
    Batch.Cancel();
    Batch.Wait();
    EXPECT_TRUE(fs::exists(A));
    EXPECT_EQ(Read(Out("a.jpg")), "previous");
    EXPECT_EQ(Entries(Dir / "out"), 1);
}

void PutLE(std::string& S, size_t At, uint32_t V, int Bytes)
{
    for (int I = 0; I < Bytes; ++I)
        S[At + size_t(I)] = char(uint8_t(V >> (8 * I)));
}

// Decompression bombs beside a good picture: a run-length bitmap and a GIF
// screen of 46340 x 46340 padded to look plausible, and a JPEG whose frame
// claims as much behind half a megabyte of comments. Each is refused with a
// line of its own before anything large is allocated (the JPEG as damaged:
// its data cannot describe such a frame, whatever the budget); the good one
// is converted and the run ends normally.
TEST_F(EndToEnd, DecompressionBombsInOneRunAreRefusedAndTheRestIsConverted)
{
    struct TBudget {
        int32_t Saved = Settings.System.PictureMemoryLimit;
        ~TBudget() { Settings.System.PictureMemoryLimit = Saved; }
    } Budget;
    Settings.System.PictureMemoryLimit = 256;
    constexpr uint32_t Side = 46340;

    std::string Bmp(14 + 40 + 1024 + 4 + 540000, '\0');
    Bmp[0] = 'B', Bmp[1] = 'M';
    // The headers' fields (offset, value, bytes); compression 1 is run-length coding.
    for (const auto& [At, V, N] : std::vector<std::tuple<size_t, uint32_t, int>>{{2, uint32_t(Bmp.size()), 4},
                                                                                 {10, 14 + 40 + 1024, 4},
                                                                                 {14, 40, 4},
                                                                                 {18, Side, 4},
                                                                                 {22, Side, 4},
                                                                                 {26, 1, 2},
                                                                                 {28, 8, 2},
                                                                                 {30, 1, 4}})
        PutLE(Bmp, At, V, N);
    Bmp[14 + 40 + 1024 + 3] = 1; // end of line, end of picture

    std::string Gif = "GIF89a";
    Gif += std::string(7, '\0');
    PutLE(Gif, 6, Side, 2);
    PutLE(Gif, 8, Side, 2);
    Gif[10] = char(0x80); // two global colours
    Gif += std::string(6, '\xFF');
    Gif += "\x21\xFE";
    for (int I = 0; I < 2100; ++I)
        Gif += char(255) + std::string(255, 'x');
    Gif += '\0';
    Gif += std::string("\x2C\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0\x3B", 17); // one pixel

    std::string Jpeg = Read(MakeJPEG("small.jpg", 16, 16, 1));
    const size_t Sof = Jpeg.find("\xFF\xC0");
    ASSERT_NE(Sof, std::string::npos);
    PutLE(Jpeg, Sof + 5, (Side >> 8) | (Side & 0xFF) << 8, 2);
    PutLE(Jpeg, Sof + 7, (Side >> 8) | (Side & 0xFF) << 8, 2);
    std::string Comments;
    for (int I = 0; I < 9; ++I)
        Comments += "\xFF\xFE\xFD\xEA" + std::string(65000, 'x');
    Jpeg.insert(2, Comments);

    const std::vector<std::tuple<std::string, std::string, std::string>> Bombs = {
        {"rle.bmp", Bmp, "picture too large"},
        {"screen.gif", Gif, "picture too large"},
        {"frame.jpg", Jpeg, "The JPEG file is damaged (size 46340x46340)"}};
    for (const auto& [Name, Bytes, Why] : Bombs) {
        std::ofstream(Dir / "in" / Name, std::ios::binary) << Bytes;
        Add(Dir / "in" / Name);
    }
    Add(MakeJPEG("good.jpg", 64, 48, 2));
    Settings.JPEG.AlwaysRecompress = true; // an unchanged JPEG would be copied, not decoded
    ASSERT_TRUE(Run(3, IO));
    for (const auto& [Name, Bytes, Why] : Bombs) {
        EXPECT_THAT(Lines(), Contains(AllOf(StartsWith(Name + ": "), HasSubstr(Why))));
        EXPECT_FALSE(fs::exists(Out(fs::path(Name).stem().string() + ".jpg"))) << Name;
    }
    EXPECT_EQ(SizeOf(Out("good.jpg")), std::make_pair(64, 48));
}

} // namespace

// A JPEG or PNG that is only resized is resized as it is decoded; its file is the
// one the whole picture gives, for shrinking and growing, every kernel
// family, reduced decoding, one or several pass threads, on synthetic
// pictures and on photographs.
TEST_F(EndToEnd, PicturesResizedAsTheyAreDecodedGiveTheFilesOfTheWholePicture)
{
    const std::vector<fs::path> Names = {MakeJPEG("a.jpg", 333, 251, 1),  MakeJPEG("b.jpg", 64, 700, 2),
                                         MakePNG("c.png", 201, 77, 3, 3), MakePNG("d.png", 45, 300, 4, 1),
                                         MakePNG("e.png", 90, 61, 5, 4),  MakePNG("f.png", 61, 90, 6, 2)};
    const int Alpha = 2; // loaded whole: alpha is flattened or expanded on the whole picture
    for (const fs::path& P : Names)
        Add(P);
    int Photos = 0;
    for (const char* Photo :
         {"/usr/share/backgrounds/mate/nature/Aqua.jpg", "/usr/share/backgrounds/mate/abstract/Elephants.jpg"})
        if (fs::exists(Photo)) {
            fs::copy_file(Photo, Dir / "in" / ("photo" + std::to_string(Photos) + ".jpg"));
            Add(Dir / "in" / ("photo" + std::to_string(Photos++) + ".jpg"));
        }
    Settings.JPEG.AlwaysRecompress = true;
    struct TCase {
        double Percent;
        uint32_t Filter, Mode;
        bool Linear;
        int Threads, Reduce;
    };
    const TCase Cases[] = {{37, 2, 3, false, 1, 0}, {37, 5, 2, false, 4, 0}, {150, 3, 3, false, 4, 0},
                           {21, 2, 3, false, 3, 3}, {50, 4, 2, true, 2, 0},  {80, 1, 1, false, 1, 0}};
    for (const TCase& C : Cases) {
        Effects.SetResizeParam(RULE_PERCENT, C.Percent, 0);
        Main.SetDecimationMode(C.Filter, CreateWeightSetter(C.Filter, 3, 0, 10));
        Main.SetInterpolationMode(C.Filter, CreateWeightSetter(C.Filter, 3, 0, 10));
        Main.SetSIMDMode(C.Mode, C.Linear);
        Main.SetMaxThreadNum(C.Threads);
        Settings.JPEG.DecodeWithDownScaling = C.Reduce;
        Settings.JPEG.DownScalingLimit = 100;
        std::map<std::string, std::string> Whole;
        WholePictureIO WholeIO;
        ASSERT_TRUE(Run(2, WholeIO));
        ASSERT_TRUE(Lines().empty()) << Lines()[0];
        for (const auto& E : fs::directory_iterator(Dir / "out"))
            Whole[E.path().filename().string()] = Read(E.path());
        BandCountingIO Counting;
        ASSERT_TRUE(Run(2, Counting));
        ASSERT_TRUE(Lines().empty()) << Lines()[0];
        EXPECT_EQ(Counting.Banded, int(Names.size()) - Alpha + Photos) << C.Percent;
        ASSERT_EQ(Whole.size(), Names.size() + size_t(Photos));
        for (const auto& [Name, Bytes] : Whole)
            EXPECT_TRUE(Read(Out(Name)) == Bytes) << Name << " at " << C.Percent << " % filter " << C.Filter << " mode "
                                                  << C.Mode << (C.Linear ? " linear" : "");
    }
}

// Turns every byte over: an effect that needs the picture besides the resize.
class Invert : public TEffect {
public:
    Invert() : TEffect("Invert", 'I', "Invert", EFFECT_COLORADJUST) { FUse = true; }
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
    void DoEffect(TImgInfo& Img, TEffectParams&) override
    {
        for (uint32_t Y = 0; Y < Img.Height; ++Y)
            for (uint32_t X = 0; X < Img.Width * Img.Channels; ++X)
                ScanLine(Img, Y)[X] ^= 0xFF;
    }
    bool IsChange(const TImageInfo&, const TRunSettings&) override { return true; }
};

// The resize goes with the whole picture when anything else changes it.
TEST_F(EndToEnd, AJPEGWithAnotherEffectIsLoadedWhole)
{
    Add(MakeJPEG("a.jpg", 120, 90, 1));
    Settings.JPEG.AlwaysRecompress = true;
    Effects.SetResizeParam(RULE_PERCENT, 50, 0);
    Effects.AddFilter(std::make_unique<Invert>());
    BandCountingIO Counting;
    ASSERT_TRUE(Run(1, Counting));
    EXPECT_EQ(Counting.Banded, 0);
    EXPECT_EQ(SizeOf(Out("a.jpg")), std::make_pair(60, 45));
}
