// The PNG optimiser and the colour-reduction tool run under a memory limit
// made from the picture budget: what a picture may take, and room for the
// tool itself.
#include "effects/DecreaseColor.h"

#include "EffectTestUtil.h"

#include "core/ErrorLog.h"
#include "core/PalettePNG.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class ToolLimit : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureKodex();
        SetToolLauncher(std::string(VESTRO_DIST_DIR) + "/bin/vestro-tool");
        fs::create_directories(Dir / "bin");
        ExeDir = Scratch.Path; // the tools beside the program are taken first
        TempDir = Scratch.Path;
        SystemOption.PictureMemoryLimit = 50;
        ErrorLog.Clear();
    }
    void TearDown() override
    {
        SetToolLauncher("");
        ExeDir = SavedExe;
        TempDir = SavedTemp;
        SystemOption.PictureMemoryLimit = SavedLimit;
        PNGOption = SavedPNG;
        ErrorLog.Clear();
    }
    // bin/Name: notes its limit (KiB) on its error output and in Dir/limit, and fails.
    void FailingTool(const std::string& Name)
    {
        const fs::path P = Dir / "bin" / Name;
        std::ofstream(P) << "#!/bin/sh\nulimit -v | tee '" << (Dir / "limit").string() << "' >&2\nexit 4\n";
        fs::permissions(P, fs::perms::owner_all);
    }
    std::string Limit() const
    {
        std::string L;
        std::ifstream(Dir / "limit") >> L;
        return L;
    }

    TTestDir Scratch;
    const fs::path& Dir = Scratch.P;
    const std::string SavedExe = ExeDir, SavedTemp = TempDir;
    const int32_t SavedLimit = SystemOption.PictureMemoryLimit;
    const TPNGOption SavedPNG = PNGOption;
    // 50 MiB for the picture and 256 MiB for the tool, in KiB.
    const std::string Expected = std::to_string((50 + 256) * 1024);
};

} // namespace

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
    PNGOption.UsePNGOUT = PNGOption.FullColorOptimization = true;
    TTestImg Pic(8, 8, {10, 20, 30});
    ASSERT_NE(WritePNGFile((Dir / "a.png").string(), Pic.I, nullptr, false, false, TResolutionInfo{}, 0, nullptr,
                           TakeRunSettings()),
              0);
    EXPECT_EQ(Limit(), Expected);
    EXPECT_EQ(ErrorLog.GetErrorCount(), 1); // the optimiser failed; the file stays as written
}
