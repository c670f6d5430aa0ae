// The effect dialogs, each with a name and a maker, for the tests that show
// every one of them. Loader gives the add-text and composite dialogs the
// picture of list entry 1; the others are set up to draw a preview.
#pragma once
#include "effects/AddBlankFilter.h"
#include "effects/DecreaseColor.h"
#include "effects/ToneCurveEffect.h"
#include "effects/TrimmingFilter.h"
#include "effects/ui/AddBlankDlg.h"
#include "effects/ui/AddTextDlg.h"
#include "effects/ui/ColorCorrectionDlg.h"
#include "effects/ui/CompositeDlg.h"
#include "effects/ui/DecreaseColorDlg.h"
#include "effects/ui/GrayscaleDlg.h"
#include "effects/ui/JPEGTranOptionFrm.h"
#include "effects/ui/RotationOptionDlg.h"
#include "effects/ui/ToneCurveDlg.h"
#include "effects/ui/TrimmingDlg.h"
#include "effects/ui/UnSharpMaskDlg.h"

#include <functional>
#include <vector>

inline std::vector<std::pair<const char*, std::function<QDialog*()>>>
AllEffectDialogs(TCompositePreviewLoader Loader = {})
{
    return {
        {"AddText",
         [Loader] {
             auto* F = new TAddTextForm(nullptr, [Loader](int32_t I, TImgInfo& Img, TAddTextPreviewSource&) {
                 return Loader && Loader(I, Img);
             });
             return F->SetPreviewImageIndex(1), F;
         }},
        {"Composite",
         [Loader] {
             auto* F = new TCompositeOptionForm(nullptr, Loader);
             return F->SetPreviewImageIndex(1), F;
         }},
        {"Grayscale", [] { return new TGrayscaleForm; }},
        {"Rotation", [] { return new TRotationOptionForm; }},
        {"LosslessTransform", [] { return new TJPEGTranOptionForm; }},
        {"DecreaseColor",
         [] {
             auto* F = new TDecreaseColorForm;
             return F->SetParam(DC_IZYINS | DC_PNGNQ, 2, "-Y10", 256, 0, 2, 8, 9), F;
         }},
        {"ColorAdjust", [] { return new TColorAdjustForm; }},
        {"UnsharpMask", [] { return new TUnSharpMaskOptionForm; }},
        {"ToneCurve",
         [] {
             auto* F = new TToneCurveOptionForm;
             return F->SetParam(TToneCurveEffect().FControlPoints, 0, true, true), F;
         }},
        {"AddBlank",
         [] {
             auto* F = new TAddBlankForm;
             TAddBlankParam P;
             P.BlankType = btPixels;
             P.Value.fill("10");
             return F->SetParam(P, true), F;
         }},
        {"Trimming",
         [] {
             auto* F = new TTrimmingOptionForm;
             return F->SetParams(TRIM_MARGIN, 0, {"10", "10", "10", "10", "10", "10", "10", "10"}, "16:9", true), F;
         }},
    };
}
