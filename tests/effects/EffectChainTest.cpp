#include "core/Global.h"
#include "core/ImageLoader.h"
#include "effects/DecreaseColor.h"
#include "effects/ResizeFilter.h"

#include "core/Errors.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// Records the order in which it ran; can ask for gray+alpha.
class Probe : public TEffect {
public:
    Probe(const char* Name, uint32_t ID, std::vector<std::string>* Log) : TEffect(Name, 'X', Name, ID), Log(Log) {}
    void DoEffect(TImgInfo&, TEffectParams& P) override
    {
        Log->push_back(FName);
        if (AskGray)
            P.ToGrayAlpha = true;
    }
    std::vector<std::string>* Log;
    bool AskGray = false;
};

struct Chain {
    std::vector<std::string> Ran;
    TEffectList L;
    Probe* Trim;
    TResizeFilter* Resize;
    Probe* Gray;
    Chain()
    {
        auto G = std::make_unique<Probe>("Grayscale", EFFECT_GRAYSCALE, &Ran);
        Gray = G.get();
        L.AddFilter(std::move(G));
        auto T = std::make_unique<Probe>("Trimming", EFFECT_TRIMMING, &Ran);
        Trim = T.get();
        L.AddFilter(std::move(T));
        auto R = std::make_unique<TResizeFilter>();
        Resize = R.get();
        L.AddFilter(std::move(R));
        L.ReOrder();
        L.SetResizeParam(RULE_PERCENT, 50, 0);
    }
};

TImageInfo& Info1000x750()
{
    static TImageInfo I;
    I.Width = 1000;
    I.Height = 750;
    return I;
}

} // namespace

TEST(EffectChain, ReducedDecodingOnlyWhenNothingBeforeTheResizeChanges)
{
    Chain C;
    TScale S;
    EXPECT_TRUE(C.L.CanDownScalingLoad(Info1000x750(), S, TakeRunSettings()));
    EXPECT_DOUBLE_EQ(S.XScale, 0.5);
    EXPECT_DOUBLE_EQ(S.YScale, 0.5);
    // A used trimming never allows it, even if it would change nothing.
    C.Trim->FUse = true;
    EXPECT_FALSE(C.L.CanDownScalingLoad(Info1000x750(), S, TakeRunSettings()));
    C.Trim->FUse = false;
    C.Resize->FUse = false;
    EXPECT_FALSE(C.L.CanDownScalingLoad(Info1000x750(), S, TakeRunSettings()));
    EXPECT_DOUBLE_EQ(S.XScale, 1.0);
}

TEST(EffectChain, TheLosslessTransformRunsAlone)
{
    Chain C;
    C.Gray->FUse = true;
    C.Gray->AskGray = true;
    C.Resize->FUse = false;
    C.L.SetJPEGTranEffect(std::make_unique<Probe>("JPEGTran", EFFECT_JPEGTRAN, &C.Ran));
    C.L.SetDecreaseColorEffect(std::make_unique<Probe>("DecreaseColor", EFFECT_DECREASECOLOR, &C.Ran));
    C.L.DecreaseColorEffect()->FUse = true;
    TEffectParams P;
    TImgInfo Img;
    AllocImg(Img, 4, 4, 4);
    C.L.DoEffect(Img, Info1000x750(), 1, P);
    EXPECT_EQ(C.Ran, (std::vector<std::string>{"Grayscale", "DecreaseColor"}));
    EXPECT_EQ(Img.Channels, 2u); // gray+alpha after the chain, before colour reduction
    C.Ran.clear();
    C.L.JPEGTranEffect()->FUse = true;
    C.L.DoEffect(Img, Info1000x750(), 1, P);
    EXPECT_EQ(C.Ran, (std::vector<std::string>{"JPEGTran"}));
    FreeImg(Img);
}

TEST(EffectChain, GrayAlphaStepLeavesPicturesWithoutAlpha)
{
    Chain C;
    C.Resize->FUse = false;
    TEffectParams P;
    P.NeedGrayAlpha = true;
    TImgInfo Img;
    AllocImg(Img, 5, 3, 3);
    C.L.DoEffect(Img, Info1000x750(), 2, P);
    EXPECT_EQ(Img.Channels, 3u);
    EXPECT_FALSE(P.NeedGrayAlpha);
    EXPECT_EQ(P.DownScale, 1);
    FreeImg(Img);
}

namespace {

struct FakeHost : TEffectHost {
    std::vector<std::vector<int32_t>> FilterCalls;
    void UpdateEffectStrip(TEffectList&) override {}
    void ShowResizeSettings() override {}
    void PushSizeRule() override {}
    std::string RenameRule() override { return "/tmp/<old>.png"; }
    void SetResizeFilters(int32_t D, int32_t I, int32_t S) override { FilterCalls.push_back({D, I, S}); }
};

} // namespace

// The preview loader leaves the shared resizer on its shrinking filter on
// every path, also when the file cannot be read.
TEST(EffectChain, BeforeImageRestoresTheResizerFilterOnFailure)
{
    Chain C;
    FakeHost Host;
    EffectHost = &Host;
    EffectList = &C.L;
    const std::string Path = ::testing::TempDir() + "vestro_before_" + std::to_string(::getpid()) + ".bmp";
    {
        std::ofstream F(Path, std::ios::binary);
        F << "BM" << std::string(60, '\0'); // a BMP header that promises pixels it does not have
    }
    TImageInfo Info;
    Info.SetPath(Path);
    Info.PictureFormat = pfBMP;
    Info.Width = Info.Height = 4;
    TImgInfo Img;
    EXPECT_THROW(LoadBeforeImage(Info, Img, EFFECT_TRIMMING, 3), EVestroError);
    EXPECT_EQ(Img.Mem, nullptr);
    ASSERT_FALSE(Host.FilterCalls.empty());
    EXPECT_EQ(Host.FilterCalls.back(), (std::vector<int32_t>{1, 0, 0}));
    EXPECT_EQ(Info.Number, 3);
    EffectHost = nullptr;
    EffectList = nullptr;
    std::remove(Path.c_str());
}
