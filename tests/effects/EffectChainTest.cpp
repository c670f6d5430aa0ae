#include "core/ImageLoader.h"
#include "effects/DecreaseColor.h"
#include "effects/ResizeFilter.h"

#include "../core/FilesTestUtil.h"

namespace {

// Records the order in which it ran; can ask for gray+alpha.
class Probe : public TEffect {
public:
    Probe(const char* Name, uint32_t ID, std::vector<std::string>* Log) : TEffect(Name, 'X', Name, ID), Log(Log) { }
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
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
    template <typename T> T* Add(std::unique_ptr<T> E)
    {
        T* P = E.get();
        L.AddFilter(std::move(E));
        return P;
    }
    Probe* Gray = Add(std::make_unique<Probe>("Grayscale", EFFECT_GRAYSCALE, &Ran));
    Probe* Trim = Add(std::make_unique<Probe>("Trimming", EFFECT_TRIMMING, &Ran));
    TResizeFilter* Resize = Add(std::make_unique<TResizeFilter>());
    Chain()
    {
        L.ReOrder();
        L.SetResizeParam(RULE_PERCENT, 50, 0);
    }
};

TImageInfo& Info1000x750()
{
    static TImageInfo I;
    I.Width = 1000, I.Height = 750;
    return I;
}

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
    TPicture Pic(4, 4, 4);
    TImgInfo& Img = Pic.I;
    C.L.DoEffect(Img, Info1000x750(), 1, P);
    EXPECT_EQ(C.Ran, (std::vector<std::string>{"Grayscale", "DecreaseColor"}));
    EXPECT_EQ(Img.Channels, 2u); // gray+alpha after the chain, before colour reduction
    C.Ran.clear();
    C.L.JPEGTranEffect()->FUse = true;
    C.L.DoEffect(Img, Info1000x750(), 1, P);
    EXPECT_EQ(C.Ran, (std::vector<std::string>{"JPEGTran"}));
}

TEST(EffectChain, GrayAlphaStepLeavesPicturesWithoutAlpha)
{
    Chain C;
    C.Resize->FUse = false;
    TEffectParams P;
    P.NeedGrayAlpha = true;
    TPicture Img(5, 3, 3);
    C.L.DoEffect(Img.I, Info1000x750(), 2, P);
    EXPECT_EQ(Img.I.Channels, 3u);
    EXPECT_FALSE(P.NeedGrayAlpha);
    EXPECT_EQ(P.DownScale, 1);
}

struct FakeHost : TEffectHost {
    std::vector<std::vector<int32_t>> FilterCalls;
    void UpdateEffectStrip(TEffectList&) override { }
    void ShowResizeSettings() override { }
    void PushSizeRule() override { }
    std::string RenameRule() override { return "/tmp/<old>.png"; }
    void SetResizeFilters(int32_t D, int32_t I, int32_t S) override { FilterCalls.push_back({D, I, S}); }
};

} // namespace

TEST(EffectChain, BeforeImageRestoresTheResizerFilterOnFailure)
{
    Chain C;
    FakeHost Host;
    EffectHost = &Host;
    EffectList = &C.L;
    TTempDir D;
    const std::string Path = D.File("before.bmp");
    std::ofstream(Path, std::ios::binary) << "BM" << std::string(60, '\0'); // promises pixels it does not have
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
}
