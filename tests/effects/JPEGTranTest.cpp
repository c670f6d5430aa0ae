#include "effects/JPEGTran.h"

#include "EffectTestUtil.h"

#include <gmock/gmock.h>

#include "core/SafeWrite.h"
#include "platform/Process.h"

#include <cstdlib>

namespace fs = std::filesystem;

namespace {

class JPEGTranTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureKodex();
        SavedPath = Startup.JPEGTranPath;
        Startup.JPEGTranPath = FindJPEGTranPath();
        auto E = std::make_unique<TJPEGTran>();
        T = E.get();
        List.SetJPEGTranEffect(std::move(E));
        T->FUse = true;
    }
    void TearDown() override { Startup.JPEGTranPath = SavedPath; }

    std::string MakeJPEG(const std::string& Name, uint32_t W, uint32_t H)
    {
        const TPatternPicture Img(W, H, 3);
        const std::string P = (Dir / Name).string();
        EXPECT_NE(
            WriteJPEG(P, Img.I, 98, TResolutionInfo{72, 72, 1}, false, nullptr, nullptr, 0, 2, 0, TakeRunSettings()),
            0);
        return P;
    }
    TImgInfo Load(const std::string& P)
    {
        TImgInfo Img;
        int32_t Den = 1;
        bool YCbCr = false;
        EXPECT_NE(ReadJPEGFile(P, Img, Den, nullptr, YCbCr, false, TakeRunSettings()), 0) << P;
        return Img;
    }
    void Run(const std::string& In, const std::string& Out, uint32_t W, uint32_t H, TProcessCancel* Cancel = nullptr)
    {
        TImgInfo Img;
        Img.Width = W, Img.Height = H;
        TImageInfo Info;
        Info.SetPath(In);
        Info.OutPutFileName = Out;
        TEffectParams P;
        P.ToolCancel = Cancel;
        // As a worker does: the tool writes a new name beside the output,
        // which replaces the output only when the tool succeeded.
        P.ToolOutFileName = MakeSiblingTempName(Out, ".jpg");
        struct TDrop {
            std::string Path;
            ~TDrop() { fs::remove(Path); }
        } Drop{P.ToolOutFileName};
        List.DoEffect(Img, Info, 1, P);
        if (!(Cancel && Cancel->Cancelled()) && fs::exists(P.ToolOutFileName))
            fs::rename(P.ToolOutFileName, Out);
    }
    size_t FileCount() const { return size_t(std::distance(fs::directory_iterator(Dir), {})); }
    std::string FakeTool(const std::string& Body)
    {
        const fs::path P = Dir / "tool.sh";
        std::ofstream(P) << "#!/bin/sh\n" << Body << "\n";
        fs::permissions(P, fs::perms::owner_all);
        return P.string();
    }

    TTestDir Scratch;
    const fs::path& Dir = Scratch.P;
    std::string SavedPath;
    TEffectList List;
    TJPEGTran* T = nullptr;
};

std::string Join(const std::vector<std::string>& V)
{
    std::string S;
    for (const auto& A : V)
        S += (S.empty() ? "" : " ") + A;
    return S;
}

} // namespace

TEST_F(JPEGTranTest, CropFollowsTheTrimmingRuleInTheOutputsCoordinates)
{
    bool Reset = false;
    T->FTrimming = true;
    List.FTrimmingType = 1;
    List.FTrimmingValue = {"10", "10", "10", "10", "0", "0", "0", "0"};
    EXPECT_EQ(Join(T->MakeOptions(100, 50, 0, Reset)), "-trim -copy all -optimize -crop 80x30+10+10");
    // A portrait picture takes the second set: all zero, the whole picture.
    EXPECT_EQ(Join(T->MakeOptions(50, 100, 0, Reset)), "-trim -copy all -optimize");
    // The tool crops the turned picture: the same region, turned.
    List.FTrimmingValue = {"10", "5", "30", "15", "0", "0", "0", "0"};
    T->FRotation = JT_ROTATE90;
    EXPECT_EQ(Join(T->MakeOptions(100, 50, 0, Reset)), "-trim -copy all -optimize -rotate 90 -crop 30x60+15+10");

    TJPEGTranCrop C;
    EXPECT_TRUE(CalcJPEGTranCrop(3, {"1", "1", "50", "50", "", "", "", ""}, 300, 200, C));
    EXPECT_EQ(std::make_pair(C.X, C.Width), std::make_pair(int64_t(50), int64_t(200)));
    EXPECT_FALSE(CalcJPEGTranCrop(1, {"60", "0", "60", "0", "", "", "", ""}, 100, 50, C));
    EXPECT_FALSE(CalcJPEGTranCrop(3, {"0", "1", "50", "50", "", "", "", ""}, 300, 200, C));
    // Positions past 100 % keep the rectangle inside the picture.
    EXPECT_TRUE(CalcJPEGTranCrop(3, {"1", "1", "300", "50", "", "", "", ""}, 300, 200, C));
    EXPECT_EQ(C.X, 100);
    EXPECT_THROW(CalcJPEGTranCrop(0, {"W*", "0", "1", "1", "", "", "", ""}, 300, 200, C), EVestroError);
}

TEST_F(JPEGTranTest, AFileConvertedOntoItselfIsReplacedWhole)
{
    ASSERT_FALSE(Startup.JPEGTranPath.empty()) << "jpegtran not installed";
    const std::string In = MakeJPEG("self.jpg", 32, 16);
    T->FRotation = JT_ROTATE270;
    Run(In, In, 32, 16);
    TImgInfo B = Load(In);
    EXPECT_EQ(std::make_tuple(B.Width, B.Height), std::make_tuple(16u, 32u));
    FreeImg(B);
    EXPECT_EQ(FileCount(), 1u) << "no work file may stay behind";
}

TEST_F(JPEGTranTest, AFailingToolFailsTheFileAndLeavesTheOutputAlone)
{
    const std::string In = MakeJPEG("in.jpg", 32, 16), Out = (Dir / "out.jpg").string();
    std::ofstream(Out) << "old";
    // Writes half a file where it was told to, then fails.
    // Its reason is its last line; the many lines before it never block it.
    Startup.JPEGTranPath =
        FakeTool("while [ $# -gt 0 ]; do [ \"$1\" = -outfile ] && printf half > \"$2\"; shift; done; "
                 "seq 100000; echo 'no room left on the disk' >&2; exit 1");
    auto Why = [&](const std::string& I, const std::string& O) { return ErrorOf([&] { Run(I, O, 32, 16); }); };
    EXPECT_EQ(Why(In, Out), "Failed to save file: tool.sh ended with exit status 1: no room left on the disk");
    std::string S;
    std::ifstream(Out) >> S;
    EXPECT_EQ(S, "old");
    EXPECT_EQ(FileCount(), 3u) << "input, output and the tool only";

    // The real tool on a damaged input: whole in its structure, but without
    // the quantisation tables its frame names.
    Startup.JPEGTranPath = FindJPEGTranPath();
    const std::string Bad = (Dir / "bad.jpg").string();
    const std::vector<uint8_t> Whole = ReadBytes(In);
    std::string Bytes(Whole.begin(), Whole.end());
    for (size_t At; (At = Bytes.find("\xFF\xDB")) != std::string::npos;)
        Bytes.erase(At, 2 + (size_t(uint8_t(Bytes[At + 2])) << 8 | uint8_t(Bytes[At + 3])));
    std::ofstream(Bad, std::ios::binary) << Bytes;
    EXPECT_THAT(Why(Bad, (Dir / "bad_out.jpg").string()),
                ::testing::StartsWith("Failed to save file: jpegtran ended with exit status 1: "));
    EXPECT_FALSE(fs::exists(Dir / "bad_out.jpg"));
    // One that is no picture at all never reaches the tool.
    std::ofstream(Bad, std::ios::binary) << "\xFF\xD8not a picture";
    EXPECT_EQ(Why(Bad, (Dir / "bad_out.jpg").string()), "Failed to load file: Premature end of JPEG file");
    EXPECT_FALSE(fs::exists(Dir / "bad_out.jpg"));
    // A tool that is gone says so.
    Startup.JPEGTranPath = (Dir / "bin" / "jpegtran").string();
    EXPECT_EQ(Why(In, (Dir / "gone.jpg").string()), "Failed to save file: jpegtran was not found");
    Startup.JPEGTranPath = FindJPEGTranPath();

    // A cancelled run ends quietly with no output.
    TProcessCancel Cancel;
    Cancel.Cancel();
    Run(In, (Dir / "cancelled.jpg").string(), 32, 16, &Cancel);
    EXPECT_FALSE(fs::exists(Dir / "cancelled.jpg"));
}
