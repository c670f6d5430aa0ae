// The tools' memory limits, and the lossless transform's verdict on its
// source and on what the tool says: a picture too large never reaches the
// tool, the tool runs under a memory limit made from its picture, and damage
// it reports leaves no output.
#include "effects/DecreaseColor.h"
#include "effects/JPEGTran.h"

#include "EffectTestUtil.h"

#include "core/ErrorLog.h"
#include "core/PalettePNG.h"
#include "core/SafeWrite.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// The limit (KiB) a fake tool noted in Dir/limit.
std::string NotedLimit(const fs::path& Dir)
{
    std::string L;
    std::ifstream(Dir / "limit") >> L;
    return L;
}

class JPEGTranVerdict : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureKodex();
        // As the program starts its tools: through the launcher, which sets the limit.
        SetToolLauncher(std::string(VESTRO_DIST_DIR) + "/bin/vestro-tool");
        auto E = std::make_unique<TJPEGTran>();
        T = E.get();
        List.SetJPEGTranEffect(std::move(E));
        T->FUse = true;
    }
    void TearDown() override
    {
        SetToolLauncher("");
        Startup.JPEGTranPath = SavedPath;
        Settings.System.PictureMemoryLimit = SavedLimit;
    }

    std::string MakeJPEG(const std::string& Name, uint32_t W, uint32_t H)
    {
        TImgInfo I = MakeGradient(W, H, 3);
        const std::string P = (Dir / Name).string();
        EXPECT_NE(WriteJPEG(P, I, 90, TResolutionInfo{72, 72, 1}, false, nullptr, nullptr, 0, 2, 0, TakeRunSettings()),
                  0);
        FreeImg(I);
        return P;
    }
    // A tool that notes its memory limit (KiB) in Dir/limit, copies its
    // input to its output, says Said on its error output and ends with Code.
    void FakeTool(const std::string& Said = "", int Code = 0)
    {
        const fs::path P = Dir / "jpegtran";
        std::ofstream(P) << "#!/bin/sh\nulimit -v > '" << (Dir / "limit").string() << "'\n"
                         << "while [ $# -gt 1 ]; do [ \"$1\" = -outfile ] && out=$2; shift; done\n"
                         << "cp \"$1\" \"$out\"\nprintf '" << Said << "' >&2\nexit " << Code << "\n";
        fs::permissions(P, fs::perms::owner_all);
        Startup.JPEGTranPath = P.string();
    }
    // Runs the effect as a worker does. The error it raised ("" when none);
    // Written: the tool's file is there to take the output's place.
    std::string Run(const std::string& In, bool& Written)
    {
        TImgInfo Img;
        Img.Width = 1, Img.Height = 1;
        TImageInfo Info;
        Info.SetPath(In);
        Info.OutPutFileName = (Dir / "out.jpg").string();
        Params = TEffectParams();
        Params.ToolOutFileName = MakeSiblingTempName(Info.OutPutFileName, ".jpg");
        const std::string Why = ErrorOf([&] { List.DoEffect(Img, Info, 1, Params); });
        Written = fs::exists(Params.ToolOutFileName);
        fs::remove(Params.ToolOutFileName);
        return Why;
    }
    std::string Limit() const { return NotedLimit(Dir); }

    TTestDir Scratch;
    const fs::path& Dir = Scratch.P;
    std::string SavedPath = Startup.JPEGTranPath;
    int32_t SavedLimit = Settings.System.PictureMemoryLimit;
    TEffectList List;
    TJPEGTran* T = nullptr;
    TEffectParams Params;
};

// The PNG optimiser and the colour-reduction tool run under a memory limit
// made from the picture budget: what a picture may take, and room for the
// tool itself.
class ToolLimit : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureKodex();
        SetToolLauncher(std::string(VESTRO_DIST_DIR) + "/bin/vestro-tool");
        fs::create_directories(Dir / "bin");
        Startup.ExeDir = Scratch.Path; // the tools beside the program are taken first
        Startup.TempDir = Scratch.Path;
        Settings.System.PictureMemoryLimit = 50;
        ErrorLog.Clear();
    }
    void TearDown() override
    {
        SetToolLauncher("");
        Startup.ExeDir = SavedExe;
        Startup.TempDir = SavedTemp;
        Settings.System.PictureMemoryLimit = SavedLimit;
        Settings.PNG = SavedPNG;
        ErrorLog.Clear();
    }
    // bin/Name: notes its limit (KiB) on its error output and in Dir/limit, and fails.
    void FailingTool(const std::string& Name)
    {
        const fs::path P = Dir / "bin" / Name;
        std::ofstream(P) << "#!/bin/sh\nulimit -v | tee '" << (Dir / "limit").string() << "' >&2\nexit 4\n";
        fs::permissions(P, fs::perms::owner_all);
    }
    std::string Limit() const { return NotedLimit(Dir); }

    TTestDir Scratch;
    const fs::path& Dir = Scratch.P;
    const std::string SavedExe = Startup.ExeDir, SavedTemp = Startup.TempDir;
    const int32_t SavedLimit = Settings.System.PictureMemoryLimit;
    const TPNGOption SavedPNG = Settings.PNG;
    // 50 MiB for the picture and 256 MiB for the tool, in KiB.
    const std::string Expected = std::to_string((50 + 256) * 1024);
};

} // namespace

TEST_F(JPEGTranVerdict, TheToolRunsUnderALimitMadeFromItsPicture)
{
    // 4:4:4, 2048 x 1024: 256 x 128 blocks of each of three components, 128 bytes each.
    const std::string In = MakeJPEG("in.jpg", 2048, 1024);
    const uint64_t Coefficients = 256 * 128 * 3 * 128, Room = uint64_t(256) << 20;
    FakeTool();
    bool Written = false;
    for (const int32_t Rotation : {JT_NONE, JT_ROTATE90, JT_FLIPV}) {
        T->FRotation = Rotation;
        fs::remove(Dir / "limit");
        EXPECT_EQ(Run(In, Written), "");
        EXPECT_TRUE(Written);
        // A turn or flip holds a second set of coefficients.
        const uint64_t Need = Rotation == JT_NONE ? Coefficients : 2 * Coefficients;
        EXPECT_EQ(Limit(), std::to_string((Need + fs::file_size(In) + Room) / 1024)) << Rotation;
    }
    // Over the budget the tool never starts, and the words are the decoder's.
    Settings.System.PictureMemoryLimit = 20; // MiB: the coefficients fit, a second set does not
    fs::remove(Dir / "limit");
    EXPECT_EQ(Run(In, Written), "Failed to load file: picture too large");
    EXPECT_FALSE(Written);
    EXPECT_FALSE(fs::exists(Dir / "limit")) << "the tool was started";
    T->FRotation = JT_NONE;
    EXPECT_EQ(Run(In, Written), "");
    EXPECT_TRUE(Written);
}

TEST_F(JPEGTranVerdict, DamageTheToolReportsLeavesNoOutput)
{
    const std::string In = MakeJPEG("in.jpg", 64, 48);
    const struct {
        std::string Said;
        int Code;
        std::string Error; // "" when the output stays
    } Cases[] = {
        {"", 0, ""},
        {"Premature end of JPEG file\\n", 2, "Failed to load file: Premature end of JPEG file"},
        {"Corrupt JPEG data: bad Huffman code\\n", 2, "Failed to load file: Corrupt JPEG data: bad Huffman code"},
        {"Corrupt JPEG data: premature end of data segment\\n", 0,
         "Failed to load file: Corrupt JPEG data: premature end of data segment"},
        {"Corrupt JPEG data: 54 extraneous bytes before marker 0xd9\\n", 2,
         "Failed to load file: Corrupt JPEG data: 54 extraneous bytes before marker 0xd9"},
        // A camera's few stray bytes before the end are no damage; before
        // another marker they are.
        {"Corrupt JPEG data: 3 extraneous bytes before marker 0xd9\\n", 2, ""},
        {"Corrupt JPEG data: 3 extraneous bytes before marker 0xda\\n", 2,
         "Failed to load file: Corrupt JPEG data: 3 extraneous bytes before marker 0xda"},
        {"Warning: unknown JFIF revision number 3.01\\n", 2, ""},
        {"Warning: unknown JFIF revision number 3.01\\nPremature end of JPEG file\\n", 2,
         "Failed to load file: Premature end of JPEG file"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Said);
        FakeTool(C.Said, C.Code);
        bool Written = false;
        EXPECT_EQ(Run(In, Written), C.Error);
        EXPECT_EQ(Written, C.Error.empty());
        // A lesser flaw keeps the output but not the source.
        EXPECT_EQ(!Params.Warning.empty(), C.Error.empty() && C.Code == 2) << Params.Warning;
    }
}

TEST_F(ToolLimit, TheColourReductionToolRunsUnderTheBudget)
{
    FailingTool("pngquant");
    TDecreaseColorEffect E;
    E.FMode = 3;
    TTestImg Pic(8, 8, {10, 20, 30});
    TEffectParams P;
    P.OutFileName = (Dir / "out.png").string();
    P.ToolOutFileName = (Dir / "out-new.png").string();
    EXPECT_EQ(ErrorOf([&] { E.DoEffect(Pic.I, P); }),
              "Failed to save file: pngquant ended with exit status 4: " + Expected);
    EXPECT_EQ(Limit(), Expected);
}

TEST_F(ToolLimit, ThePNGOptimiserRunsUnderTheBudget)
{
    FailingTool("zopflipng");
    Settings.PNG.UsePNGOUT = Settings.PNG.FullColorOptimization = true;
    TTestImg Pic(8, 8, {10, 20, 30});
    ASSERT_NE(WritePNGFile((Dir / "a.png").string(), Pic.I, nullptr, false, false, TResolutionInfo{}, 0, nullptr,
                           TakeRunSettings()),
              0);
    EXPECT_EQ(Limit(), Expected);
    EXPECT_EQ(ErrorLog.GetErrorCount(), 1); // the optimiser failed; the file stays as written
}
