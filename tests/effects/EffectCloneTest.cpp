// A run's copy of the effect chain: the same effects with the same settings,
// owned by the copy, and untouched by what changes in the chain afterwards.
#include "core/IniFile.h"
#include "effects/AddBlankFilter.h"
#include "effects/AddTextEffect.h"
#include "effects/ColorAdjust.h"
#include "effects/CompositeEffect.h"
#include "effects/DecreaseColor.h"
#include "effects/ExifRotationFilter.h"
#include "effects/GrayscaleFilter.h"
#include "effects/JPEGTran.h"
#include "effects/ResizeFilter.h"
#include "effects/RotationFilter.h"
#include "effects/ToneCurveEffect.h"
#include "effects/TrimmingFilter.h"
#include "effects/USMFilter.h"

#include "EffectTestUtil.h"

namespace {

// The chain as start-up builds it.
void AddEveryEffect(TEffectList& L)
{
    L.AddFilter(std::make_unique<TGrayscaleFilter>());
    L.AddFilter(std::make_unique<TExifRotationFilter>());
    L.AddFilter(std::make_unique<TTrimmingFilter>());
    L.AddFilter(std::make_unique<TRotationFilter>());
    L.AddFilter(std::make_unique<TResizeFilter>());
    L.AddFilter(std::make_unique<TAddBlankFilter>());
    L.AddFilter(std::make_unique<TUSMFilter>());
    L.AddFilter(std::make_unique<TColorAdjust>());
    L.AddFilter(std::make_unique<TToneCurveEffect>());
    L.AddFilter(std::make_unique<TAddTextEffect>());
    L.AddFilter(std::make_unique<TCompositeEffect>());
    L.SetJPEGTranEffect(std::make_unique<TJPEGTran>());
    L.SetDecreaseColorEffect(std::make_unique<TDecreaseColorEffect>());
}

// Every effect's stored settings, as the settings file would get them.
std::string Stored(TEffectList& L)
{
    TMemIniFile Ini("");
    L.WriteIniFile(Ini);
    return Ini.GetText();
}

TCompositeEffect& Composite(TEffectList& L)
{
    return *dynamic_cast<TCompositeEffect*>(L.FindByID(EFFECT_COMPOSITE));
}

} // namespace

TEST(EffectClone, CopiesEverySettingOrderAndOwner)
{
    TEffectList L;
    AddEveryEffect(L);
    // Settings away from their defaults, in the list and in the effects.
    for (int i = 0; i <= L.Count(); ++i)
        L.ChangeState(i, !(i < L.Count() ? L.Items(i) : L.DecreaseColorEffect())->FUse);
    dynamic_cast<TRotationFilter*>(L.FindByID(EFFECT_ROTATION))->FValue = ROTATE_FLIP;
    dynamic_cast<TAddTextEffect*>(L.FindByID(EFFECT_ADDTEXT))->FText = "<name>";
    TCompositeEffect& C = Composite(L);
    C.FUse = true;
    C.FMode = 1;
    C.FImageFileName = "/tmp/over.png";
    C.FBasePos = 2;
    C.FOffsetX = 5;
    C.FOffsetY = -7;
    C.FOpacity = 40;
    L.SetOrder({10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0});
    // (After the reorder, which turns the lossless transform off without its tool.)
    L.JPEGTranEffect()->SetUse(true);
    dynamic_cast<TJPEGTran*>(L.JPEGTranEffect())->FProgressive = true;
    L.SetResizeParam(RULE_PERCENT, 33, 44);
    L.FExifRotationUse = L.FConvertToGray = L.FUseJPEGTran = true;
    L.FTrimmingType = 3;
    L.FTrimmingValue[7] = "w/2";

    const std::unique_ptr<TEffectList> Copy = L.Clone();
    ASSERT_EQ(Copy->Count(), L.Count());
    for (int i = 0; i < L.Count(); ++i) {
        SCOPED_TRACE(L.Items(i)->FSectionName);
        EXPECT_NE(Copy->Items(i), L.Items(i));
        EXPECT_EQ(Copy->Items(i)->FSectionName, L.Items(i)->FSectionName);
        EXPECT_EQ(Copy->Items(i)->FName, L.Items(i)->FName);
        EXPECT_EQ(Copy->Items(i)->FID, L.Items(i)->FID);
        const TEffect& Made = *Copy->Items(i);
        const TEffect& Source = *L.Items(i);
        EXPECT_EQ(typeid(Made), typeid(Source));
        EXPECT_EQ(Copy->Items(i)->FOwner, Copy.get());
    }
    for (TEffect* E : {Copy->JPEGTranEffect(), Copy->DecreaseColorEffect()}) {
        ASSERT_NE(E, nullptr);
        EXPECT_EQ(E->FOwner, Copy.get());
    }
    EXPECT_NE(Copy->JPEGTranEffect(), L.JPEGTranEffect());
    EXPECT_NE(Copy->DecreaseColorEffect(), L.DecreaseColorEffect());
    EXPECT_EQ(Stored(*Copy), Stored(L));
    EXPECT_EQ(std::make_tuple(Copy->FResizeType, Copy->FResizeValue, Copy->FResizeValue2),
              std::make_tuple(L.FResizeType, L.FResizeValue, L.FResizeValue2));
    EXPECT_TRUE(Copy->FExifRotationUse && Copy->FConvertToGray && Copy->FUseJPEGTran);
    EXPECT_EQ(Copy->FTrimmingType, 3);
    EXPECT_EQ(Copy->FTrimmingValue, L.FTrimmingValue);

    // What changes in the chain afterwards stays out of the copy.
    const std::string Before = Stored(*Copy);
    L.ChangeState(0, false);
    dynamic_cast<TRotationFilter*>(L.FindByID(EFFECT_ROTATION))->FValue = ROTATE_90;
    C.FOpacity = 100;
    L.ReOrder();
    L.SetResizeParam(RULE_PERCENT, 50, 0);
    EXPECT_EQ(Stored(*Copy), Before);
    EXPECT_EQ(Copy->FResizeValue, 33);
}

TEST(EffectClone, CompositeCopiesTheLoadedImageItDrawsFrom)
{
    TEffectList L;
    AddEveryEffect(L);
    TCompositeEffect& C = Composite(L);
    TTestImg Over(6, 4, {10, 20, 30, 128});
    C.FExternalImg = Over.I;
    Over.I = TImgInfo{}; // the effect owns it now
    C.FLoadError = "";

    std::unique_ptr<TEffectList> Copy = L.Clone();
    TCompositeEffect& D = Composite(*Copy);
    ASSERT_NE(D.FExternalImg.Mem, nullptr);
    EXPECT_NE(D.FExternalImg.Mem, C.FExternalImg.Mem);
    EXPECT_EQ(Pixels(D.FExternalImg), Pixels(C.FExternalImg));
    // The window's chain lets its image go (a setting changed): the copy's
    // run still draws from its own.
    const V Kept = Pixels(D.FExternalImg);
    C.FreeExternalImage();
    EXPECT_EQ(Pixels(D.FExternalImg), Kept);

    // No image loaded: none in the copy either (it loads its own).
    std::unique_ptr<TEffectList> Empty = L.Clone();
    EXPECT_EQ(Composite(*Empty).FExternalImg.Mem, nullptr);
}
