#include "UiTestApp.h"

#include "core/Global.h"
#include "core/WeightedMean.h"
#include "effects/ColorAdjust.h"
#include "effects/Effect.h"
#include "effects/USMFilter.h"
#include "effects/ui/ColorCorrectionDlg.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/PreviewFrm.h"
#include "effects/ui/UnSharpMaskDlg.h"
#include "tests/core/PictureTestUtil.h"

#include <QCheckBox>
#include <QScrollBar>

namespace {

// A picture whose neighbouring pixels differ, so any sharpening shows.
void FillStripes(TImgInfo& Img)
{
    for (uint32_t y = 0; y < Img.Height; ++y)
        for (uint32_t x = 0; x < Img.Width * Img.Channels; ++x)
            MemRow(Img, y)[x] = ((x / 3 + y) / 2) % 2 ? 180 : 70;
}

// Opens F's preview on a striped picture of W x H, as opening it on a file does.
template <class Form> void PreviewStripes(Form& F, uint32_t W, uint32_t H)
{
    AllocImg(F.Master, W, H, 3);
    FillStripes(F.Master);
    CopyImgInfo(F.Master, F.Src);
    F.FitPreviewImages();
    CopyImgInfo(F.Src, F.Dest);
}

// Sharpens a copy of Img with F; the caller frees the result.
TImgInfo Sharpened(const TImgInfo& Img, TUnsharpMask& F)
{
    TImgInfo R;
    CopyImgInfo(Img, R);
    F.DoUnSharpMask(R, false, false);
    return R;
}

bool SamePixels(const TImgInfo& A, const TImgInfo& B)
{
    return Pixels(A) == Pixels(B);
}

} // namespace

TEST(UnSharpMaskDialog, OkWritesBackCancelKeepsAndTheBatchFilterKeepsItsValues)
{
    TestApp();
    TUnsharpMask Main;
    Main.SetMaxThreadNum(1);
    TUnsharpMask* Saved = PreviewParams.UnSharpMask;
    PreviewParams.UnSharpMask = &Main;
    SetEffectDialog(EFFECT_USM, {});
    RegisterUnSharpMaskOptionForm(nullptr);

    TUSMFilter E;
    E.ApplyParam(Main);
    TImgInfo Pic;
    AllocImg(Pic, 24, 16, 3);
    FillStripes(Pic);
    TImgInfo Before = Sharpened(Pic, Main);

    // Cancel: the effect keeps its values, even though the shared amounts
    // were changed meanwhile (as a preview worker does).
    WhenShown<TUnSharpMaskOptionForm>(false, [](TUnSharpMaskOptionForm& F) {
        F.HighlightBar->setValue(400);
        F.LumaOnlyBox->setChecked(false);
        TUnsharpMask Other;
        Other.SetUnSharpMaskParam(500, 500, 0, 3.0, false);
    });
    E.ShowConfigDialog();
    EXPECT_EQ(std::make_pair(E.FHighlight, E.FLumaOnly), std::make_pair(100, true));
    TImgInfo AfterCancel = Sharpened(Pic, Main);
    EXPECT_TRUE(SamePixels(Before, AfterCancel)) << "the batch filter kept a preview's amounts";

    // OK: the values land in the effect and in the batch filter.
    WhenShown<TUnSharpMaskOptionForm>(true, [](TUnSharpMaskOptionForm& F) {
        F.HighlightBar->setValue(300);
        F.RadiusEdit->setText("2.5");
        F.LinearLightBox->setChecked(true);
        F.HistogramBox->setChecked(false);
    });
    E.ShowConfigDialog();
    EXPECT_EQ(std::make_tuple(E.FHighlight, E.FRadius, E.FDegamma, E.FHistogram),
              std::make_tuple(300, 2.5, true, false));
    TUnsharpMask Expected;
    E.ApplyParam(Expected);
    TImgInfo Want = Sharpened(Pic, Expected);
    TImgInfo Got = Sharpened(Pic, Main);
    EXPECT_TRUE(SamePixels(Want, Got));
    EXPECT_FALSE(SamePixels(Before, Got));

    for (TImgInfo* I : {&Pic, &Before, &AfterCancel, &Want, &Got})
        FreeImg(*I);
    PreviewParams.UnSharpMask = Saved;
    SetEffectDialog(EFFECT_USM, {});
}

TEST(ColorAdjustDialog, OkWritesBackCancelKeepsAndBothRebuildTheTables)
{
    TestApp();
    SetEffectDialog(EFFECT_COLORADJUST, {});
    RegisterColorAdjustForm(nullptr);
    TImgInfo Pic;
    AllocImg(Pic, 16, 8, 3);
    FillStripes(Pic);
    // What the batch's tables do to the picture, against what the values ask for.
    auto BatchMatchesValues = [&](const TColorAdjust& E) {
        TImgInfo A, B;
        CopyImgInfo(Pic, A);
        CopyImgInfo(Pic, B);
        TEffectParams P;
        const_cast<TColorAdjust&>(E).DoEffect(A, P);
        ApplyColorAdjustPreview(B, E.Param());
        const bool Same = SamePixels(A, B) && !SamePixels(A, Pic);
        FreeImg(A);
        FreeImg(B);
        return Same;
    };

    TColorAdjust E;
    E.FContrast = 60; // set behind the tables' back, as a stale table would be
    WhenShown<TColorAdjustForm>(false, [](TColorAdjustForm& F) { F.HueBar->setValue(90); });
    E.ShowConfigDialog();
    EXPECT_EQ(std::make_pair(E.FHue, E.FContrast), std::make_pair(0, 60));
    EXPECT_TRUE(BatchMatchesValues(E)) << "Cancel did not rebuild the tables";

    WhenShown<TColorAdjustForm>(true, [](TColorAdjustForm& F) {
        F.HueBar->setValue(90);
        F.YGammaEdit->setText("1.5");
        F.PreviewBox->setChecked(false);
    });
    E.ShowConfigDialog();
    EXPECT_EQ(std::make_tuple(E.FHue, E.FYGamma, E.FContrast, E.FPreview), std::make_tuple(90, 1.5, 60, false));
    EXPECT_TRUE(BatchMatchesValues(E));

    FreeImg(Pic);
    E.FHue = E.FContrast = 0;
    E.FYGamma = 1.0;
    E.BuildTables(); // leave neutral tables to the other tests
    SetEffectDialog(EFFECT_COLORADJUST, {});
}

TEST(SharpenColourDialogs, AChangedValueLeadsToANewPreview)
{
    TestApp();
    Settings.Preview.ViewMode = 0;
    {
        TUnSharpMaskOptionForm F;
        PreviewStripes(F, 48, 32);
        ASSERT_TRUE(F.PreviewBox->isChecked());
        ASSERT_TRUE(SamePixels(F.Dest2, F.Src2));
        F.HighlightBar->setValue(400);
        EXPECT_TRUE(PumpUntil([&] { return !SamePixels(F.Dest2, F.Src2); }));
    }
    {
        TColorAdjustForm F;
        PreviewStripes(F, 40, 30);
        ASSERT_TRUE(SamePixels(F.Dest2, F.Src2));
        F.ContrastEdit->setText("80");
        EXPECT_TRUE(PumpUntil([&] { return !SamePixels(F.Dest2, F.Src2); }));
        // Reset puts every row back to neutral.
        F.LumaMinEdit->setText("30");
        F.ResetButton->click();
        for (int Row = 0; Row < 7; ++Row)
            EXPECT_EQ(F.RowValue(Row), Row < 2 ? 1.0 : 0.0) << "row " << Row;
    }
    Settings.Preview.ViewMode = 1;
}
