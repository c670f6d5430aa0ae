// Every field of the effect dialogs, opened by the settings button of the
// effect's strip row (the lossless transform by its menu command), set by
// keys and clicks, confirmed with OK and read back from the saved settings
// under the effect's own section; where the effect is on, a run shows what
// the field does to the output. The strip's check boxes switch their own
// effect and no other.
#include "DialogFieldsTest.h"

#include "effects/ui/AddBlankDlg.h"
#include "effects/ui/AddTextDlg.h"
#include "effects/ui/ColorCorrectionDlg.h"
#include "effects/ui/CompositeDlg.h"
#include "effects/ui/DecreaseColorDlg.h"
#include "effects/ui/GrayscaleDlg.h"
#include "effects/ui/JPEGTranOptionFrm.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/RotationOptionDlg.h"
#include "effects/ui/ToneCurveDlg.h"
#include "effects/ui/TrimmingDlg.h"
#include "effects/ui/UnSharpMaskDlg.h"

#include <QInputDialog>
#include <QListWidget>
#include <QPlainTextEdit>

namespace fieldtest {

template <const char* Section> struct TStripOpener {
    static void Open(TMainForm& W) { OpenEffectRow(W, Section); }
};
constexpr char GrayscaleSection[] = "GrayscaleFilter", RotationSection[] = "RotationFilter",
               ColorSection[] = "ColorCorrection", USMSection[] = "UnSharpMask", BlankSection[] = "AddBlankFilter",
               TrimSection[] = "TrimmingFilter", TextSection[] = "AddText", CurveSection[] = "ToneCurve",
               CompositeSection[] = "Composite", DecreaseSection[] = "DecreaseColor";
template <> struct TOpener<TGrayscaleForm> : TStripOpener<GrayscaleSection> {
};
template <> struct TOpener<TRotationOptionForm> : TStripOpener<RotationSection> {
};
template <> struct TOpener<TColorAdjustForm> : TStripOpener<ColorSection> {
};
template <> struct TOpener<TUnSharpMaskOptionForm> : TStripOpener<USMSection> {
};
template <> struct TOpener<TAddBlankForm> : TStripOpener<BlankSection> {
};
template <> struct TOpener<TTrimmingOptionForm> : TStripOpener<TrimSection> {
};
template <> struct TOpener<TAddTextForm> : TStripOpener<TextSection> {
};
template <> struct TOpener<TToneCurveOptionForm> : TStripOpener<CurveSection> {
};
template <> struct TOpener<TCompositeOptionForm> : TStripOpener<CompositeSection> {
};
template <> struct TOpener<TDecreaseColorForm> : TStripOpener<DecreaseSection> {
};
template <> struct TOpener<TJPEGTranOptionForm> {
    static void Open(TMainForm& W) { W.JPEGTranOption->trigger(); }
};

} // namespace fieldtest

TEST_F(DialogFields, EffectDialogsStoreEachFieldUnderItsOwnKey)
{
    const std::string Gray = "[GrayscaleFilter]\nUse=1\n", Turn = "[RotationFilter]\nUse=1\n",
                      Colour = "[ColorCorrection]\nUse=1\n", Sharpen = "[UnSharpMask]\nUse=1\n",
                      Blank = "[AddBlankFilter]\nUse=1\n", Trim = "[TrimmingFilter]\nUse=1\n",
                      Lossless = "[JPEGTran]\nUse=1\n";
    const TFieldRow Rows[] = {
        Row<TGrayscaleForm>(
            "weights", [](auto& F) { Down(F.WeightsList); }, {"GrayscaleFilter/Type=1"}, {"a:new", "b:new", "c:new"},
            Gray),
        Row<TGrayscaleForm>("custom red",
                            [](auto& F) {
                                Choose(F.WeightsList, 2);
                                Type(F.RedEdit, "0.5");
                            },
                            {"GrayscaleFilter/Type=2", "GrayscaleFilter/Red=5000"}),
        Row<TGrayscaleForm>("custom green",
                            [](auto& F) {
                                Choose(F.WeightsList, 2);
                                Type(F.GreenEdit, "0.25");
                            },
                            {"GrayscaleFilter/Type=2", "GrayscaleFilter/Green=2500"}),
        Row<TGrayscaleForm>("custom blue",
                            [](auto& F) {
                                Choose(F.WeightsList, 2);
                                Type(F.BlueEdit, "0.125");
                            },
                            {"GrayscaleFilter/Type=2", "GrayscaleFilter/Blue=1250"}),

        Row<TRotationOptionForm>(
            "portrait only", [](auto& F) { Click(F.PortraitButton); }, {"RotationFilter/Type=2"},
            {"a:new", "a:48x32", "b:new", "b:48x32", "c:new", "c:48x32"}, Turn),
        Row<TRotationOptionForm>(
            "angle", [](auto& F) { Down(F.RotationList); }, {"RotationFilter/Value=1"},
            {"a:new", "a:48x32", "b:new", "b:48x32", "c:new", "c:48x32"}, Turn),

        Row<TJPEGTranOptionForm>(
            "optimise", [](auto& F) { Click(F.chbOptimize); }, {"JPEGTran/Optimize=0"}, {"a:new"}, Lossless),
        Row<TJPEGTranOptionForm>(
            "progressive", [](auto& F) { Click(F.chbProgressive); }, {"JPEGTran/Progressive=1"},
            {"a:new", "a:progressive"}, Lossless),
        Row<TJPEGTranOptionForm>(
            "grayscale", [](auto& F) { Click(F.chbGrayscale); }, {"JPEGTran/Grayscale=1"}, {"a:new", "a:s11"},
            Lossless),
        Row<TJPEGTranOptionForm>("trimming", [](auto& F) { Click(F.chbTrimming); }, {"JPEGTran/Trimming=1"}),
        Row<TJPEGTranOptionForm>(
            "extra markers", [](auto& F) { Click(F.chbRemoveExtraMarker); }, {"JPEGTran/RemoveExtraMarker=1"},
            {"a:new", "a:noexif"}, Lossless),
        Row<TJPEGTranOptionForm>(
            "transform", [](auto& F) { Choose(F.cbRotation, 2); }, {"JPEGTran/Rotation=2"}, {"a:new", "a:64x96"},
            Lossless),

        Row<TColorAdjustForm>(
            "RGB gamma", [](auto& F) { Type(F.RGBGammaEdit, "1.5"); }, {"ColorCorrection/RGBGamma=1.5"},
            {"a:new", "b:new", "c:new"}, Colour),
        Row<TColorAdjustForm>(
            "Y gamma", [](auto& F) { Type(F.YGammaEdit, "0.8"); }, {"ColorCorrection/YGamma=0.8"},
            {"a:new", "b:new", "c:new"}, Colour),
        Row<TColorAdjustForm>(
            "luma min", [](auto& F) { Type(F.LumaMinEdit, "10"); }, {"ColorCorrection/LumaMin=10"},
            {"a:new", "b:new", "c:new"}, Colour),
        Row<TColorAdjustForm>(
            "luma max", [](auto& F) { Type(F.LumaMaxEdit, "-20"); }, {"ColorCorrection/LumaMax=-20"},
            {"a:new", "b:new", "c:new"}, Colour),
        Row<TColorAdjustForm>(
            "chroma", [](auto& F) { Type(F.ChromaEdit, "30"); }, {"ColorCorrection/Chroma=30"},
            {"a:new", "b:new", "c:new"}, Colour),
        Row<TColorAdjustForm>(
            "hue", [](auto& F) { Type(F.HueEdit, "40"); }, {"ColorCorrection/Hue=40"}, {"a:new", "b:new", "c:new"},
            Colour),
        Row<TColorAdjustForm>(
            "contrast", [](auto& F) { Type(F.ContrastEdit, "50"); }, {"ColorCorrection/Contrast=50"},
            {"a:new", "b:new", "c:new"}, Colour),
        Row<TColorAdjustForm>("preview", [](auto& F) { Click(F.PreviewBox); }, {"ColorCorrection/Preview=0"}),
        Row<TColorAdjustForm>("histogram", [](auto& F) { Click(F.HistogramBox); }, {"ColorCorrection/Histogram=0"}),

        Row<TUnSharpMaskOptionForm>(
            "amount +", [](auto& F) { Type(F.HighlightEdit, "150"); }, {"UnSharpMask/StrengthW=150"},
            {"a:new", "b:new", "c:new"}, Sharpen),
        Row<TUnSharpMaskOptionForm>(
            "amount -", [](auto& F) { Type(F.ShadowEdit, "50"); }, {"UnSharpMask/StrengthB=50"},
            {"a:new", "b:new", "c:new"}, Sharpen),
        Row<TUnSharpMaskOptionForm>(
            "radius", [](auto& F) { Type(F.RadiusEdit, "2.5"); }, {"UnSharpMask/Radius=2.5"},
            {"a:new", "b:new", "c:new"}, Sharpen),
        Row<TUnSharpMaskOptionForm>(
            "threshold", [](auto& F) { Type(F.ThresholdEdit, "8"); }, {"UnSharpMask/Threshold=8"},
            {"a:new", "b:new", "c:new"}, Sharpen),
        Row<TUnSharpMaskOptionForm>(
            "linear light", [](auto& F) { Click(F.LinearLightBox); }, {"UnSharpMask/Degamma=1"},
            {"a:new", "b:new", "c:new"}, Sharpen),
        Row<TUnSharpMaskOptionForm>(
            "luma only", [](auto& F) { Click(F.LumaOnlyBox); }, {"UnSharpMask/LumaOnly=0"}, {"a:new", "b:new", "c:new"},
            Sharpen),
        Row<TAddBlankForm>("blank type", [](auto& F) { Choose(F.BlankTypeList, 2); }, {"AddBlankFilter/BlankType=2"}),
        Row<TAddBlankForm>("branch", [](auto& F) { Down(F.BranchList); }, {"AddBlankFilter/BlankType=17"}),
        Row<TAddBlankForm>("colour source", [](auto& F) { Up(F.ColorSourceList); }, {"AddBlankFilter/ColorType=3"}),
        Row<TAddBlankForm>(
            "first frame", [](auto& F) { Click(F.CheckBoxes[1]); }, {"AddBlankFilter/UseFrame1=1"},
            {"a:new", "b:new", "c:new"}, Blank),
        Row<TAddBlankForm>("first frame width",
                           [](auto& F) {
                               Click(F.CheckBoxes[1]);
                               Type(F.UDNumEdit[1], "5");
                           },
                           {"AddBlankFilter/UseFrame1=1", "AddBlankFilter/Frame1Width=5"}),
        Row<TAddBlankForm>("second values", [](auto& F) { Type(F.SecondSetEdit, "1,2,3,4"); },
                           {"AddBlankFilter/Value=0,0,0,0,1,2,3,4"}),
        Row<TAddBlankForm>("preview", [](auto& F) { Click(F.PreviewBox); }, {"AddBlankFilter/Preview=0"}),

        Row<TTrimmingOptionForm>("mode", [](auto& F) { Down(F.ParamsList); }, {"TrimmingFilter/Type=2"}),
        Row<TTrimmingOptionForm>("branch", [](auto& F) { Down(F.BranchList); }, {"TrimmingFilter/Type=17"}),
        // Right and bottom are margins in this mode: 96 - 40 by 64 - 30, halved.
        Row<TTrimmingOptionForm>(
            "landscape values", [](auto& F) { Type(F.FirstSetEdit, "0,0,40,30"); },
            {"TrimmingFilter/Value=0,0,40,30,0,0,0,0"}, {"a:new", "a:28x17", "b:new", "b:28x17", "c:new", "c:28x17"},
            Trim),
        Row<TTrimmingOptionForm>("preview", [](auto& F) { Click(F.PreviewBox); }, {"TrimmingFilter/Preview=0"}),

        Row<TAddTextForm>("text", [](auto& F) { QTest::keyClicks(F.TextEdit, "Hi"); }, {"AddText/Text=Hi<ymdhn>"}),
        Row<TAddTextForm>("position", [](auto& F) { Up(F.PositionList); }, {"AddText/BasePos=7"}),
        Row<TAddTextForm>("line pitch", [](auto& F) { Type(F.LinePitchEdit, "7"); }, {"AddText/LinePitch=7"}),
        Row<TAddTextForm>("shadow", [](auto& F) { Click(F.ShadowBox); }, {"AddText/Shadow=0"}),
        Row<TAddTextForm>("glow", [](auto& F) { Click(F.GlowBox); }, {"AddText/Glow=0"}),
        // Colours picked in the colour dialog: red in the low byte, #102030 is 0x302010.
        Row<TAddTextForm>("font colour", [](auto& F) { PickColour(F.FontColorPanel, "#102030"); },
                          {"AddText/FontColor=3153936"}),
        Row<TAddTextForm>("box colour", [](auto& F) { PickColour(F.BackColorPanel, "#102030"); },
                          {"AddText/BackColor=3153936"}),
        Row<TAddTextForm>("shadow colour", [](auto& F) { PickColour(F.ShadowColorPanel, "#102030"); },
                          {"AddText/ShadowColor=3153936"}),
        Row<TAddTextForm>("glow colour", [](auto& F) { PickColour(F.GlowColorPanel, "#102030"); },
                          {"AddText/GlowColor=3153936"}),

        Row<TCompositeOptionForm>("file", [](auto& F) { Type(F.FileEdit, "/tmp/mark.png"); },
                                  {"Composite/ImageFileName=/tmp/mark.png"}),
        Row<TCompositeOptionForm>("opacity", [](auto& F) { Type(F.OpacityEdit, "40"); }, {"Composite/Opacity=40"}),
        Row<TCompositeOptionForm>("offset x", [](auto& F) { Type(F.OffsetXEdit, "7"); }, {"Composite/OffsetX=7"}),
        Row<TCompositeOptionForm>("offset y", [](auto& F) { Type(F.OffsetYEdit, "9"); }, {"Composite/OffsetY=9"}),
        Row<TCompositeOptionForm>("position", [](auto& F) { Up(F.PositionList); }, {"Composite/BasePos=7"}),

        Row<TDecreaseColorForm>("colours", [](auto& F) { Type(F.ColorsEdit, "16"); },
                                {"DecreaseColor/PaletteEntries=16"}),
        Row<TDecreaseColorForm>("dithering", [](auto& F) { Up(F.DitheringList); }, {"DecreaseColor/DitherType=0"}),
        Row<TDecreaseColorForm>("quality", [](auto& F) { Type(F.QualityEdit, "4"); }, {"DecreaseColor/Quality=4"}),

        Row<TUnSharpMaskOptionForm>("preview", [](auto& F) { Click(F.PreviewBox); }, {"UnSharpMask/Preview=0"}),
        Row<TUnSharpMaskOptionForm>("histogram", [](auto& F) { Click(F.HistogramBox); }, {"UnSharpMask/Histogram=0"}),
    };
    WorkRows(Rows);
}

TEST_F(DialogFields, EachStripBoxSwitchesItsOwnEffect)
{
    const TBefore& B = BeforeOf("");
    for (size_t i = 0; i < Window->EffectStrip->FilterList.size(); ++i) {
        const std::string Section = EffectList->Items(int(i))->FSectionName;
        SCOPED_TRACE(Section);
        Window->LoadProfile(B.File.string(), false);
        Click(Window->EffectStrip->FilterList[i]->FCheckBox);
        EXPECT_THAT(Changes(B), ElementsAre(Section + (StartUse[Section] ? "/Use=0" : "/Use=1")));
    }
}

// The fields set in a second dialog (colour, font, file boxes), the tone
// curve's points clicked, dragged and typed, and the choices of a tool or a
// layer.
TEST_F(DialogFields, EffectDialogsStorePickedFieldsPointsAndChoices)
{
    // A mark of two colours to lay over the pictures or under them.
    const std::string Mark = (Dir / "mark.png").string();
    QImage M(24, 16, QImage::Format_ARGB32);
    M.fill(qRgba(20, 200, 240, 160));
    for (int x = 0; x < 12; ++x)
        M.setPixel(x, 3, qRgba(250, 20, 20, 255));
    ASSERT_TRUE(M.save(QString::fromStdString(Mark)));

    const std::string Text = "[AddText]\nUse=1\nText=Hi\n",
                      Margins = "[AddBlankFilter]\nUse=1\nPreview=1\nBlankType=1\nValue=4,4,4,4,4,4,4,4\n",
                      Shadow = Margins + "Shadow=1\n", Curve = "[ToneCurve]\nUse=1\n",
                      Over = "[Composite]\nUse=1\nImageFileName=" + Mark + "\n",
                      Fewer = "[DecreaseColor]\nUse=1\nPaletteEntries=16\n";
    const std::vector<std::string> All = {"a:new", "b:new", "c:new"};
    // A click in the curve box at pixel (x + 2, 257 - y) sets the point (x, y).
    auto At = [](int x, int y) { return QPoint(x + 2, 257 - y); };
    const std::string Family = OtherFamily().toStdString();
    const TFieldRow Rows[] = {
        Row<TAddTextForm>(
            "font", [](auto& F) { PickFont(F.FontButton, OtherFamily(), "13"); },
            {"AddText/FontName=" + Family, "AddText/FontSize=13"}, All, Text),

        // The margin colour keeps its opacity in the top byte: #102030 over 255,
        // then 128 over #102030 (seen only where a picture keeps its alpha).
        Row<TAddBlankForm>(
            "colour", [](auto& F) { PickColour(F.ColorPanels[0], "#102030"); }, {"AddBlankFilter/BlankColor=-13623280"},
            All, Margins),
        Row<TAddBlankForm>(
            "opacity", [](auto& F) { Type(F.UDNumEdit[0], "128"); }, {"AddBlankFilter/BlankColor=-2144329712"}, {},
            Margins + "BlankColor=-13623280\n"),
        Row<TAddBlankForm>("first frame colour",
                           [](auto& F) {
                               Click(F.CheckBoxes[1]);
                               PickColour(F.ColorPanels[1], "#102030");
                           },
                           {"AddBlankFilter/UseFrame1=1", "AddBlankFilter/Frame1Color=3153936"}),
        Row<TAddBlankForm>(
            "second frame",
            [](auto& F) {
                Click(F.CheckBoxes[2]);
                PickColour(F.ColorPanels[2], "#102030");
                Type(F.UDNumEdit[2], "3");
            },
            {"AddBlankFilter/UseFrame2=1", "AddBlankFilter/Frame2Color=3153936", "AddBlankFilter/Frame2Width=3"}),
        Row<TAddBlankForm>(
            "third frame",
            [](auto& F) {
                Click(F.CheckBoxes[3]);
                PickColour(F.ColorPanels[3], "#102030");
                Type(F.UDNumEdit[3], "4");
            },
            {"AddBlankFilter/UseFrame3=1", "AddBlankFilter/Frame3Color=3153936", "AddBlankFilter/Frame3Width=4"}),
        Row<TAddBlankForm>(
            "drop shadow", [](auto& F) { Click(F.CheckBoxes[0]); }, {"AddBlankFilter/Shadow=1"}, All, Margins),
        Row<TAddBlankForm>(
            "shadow colour", [](auto& F) { PickColour(F.ColorPanels[4], "#FFFFFF"); },
            {"AddBlankFilter/ShadowColor=16777215"}, All, Shadow),
        Row<TAddBlankForm>(
            "shadow opacity", [](auto& F) { Type(F.UDNumEdit[4], "30"); }, {"AddBlankFilter/ShadowOpacity=30"}, All,
            Shadow),
        Row<TAddBlankForm>(
            "shadow radius", [](auto& F) { Type(F.UDNumEdit[5], "1.5"); }, {"AddBlankFilter/ShadowRadius=1.5"}, All,
            Shadow),
        Row<TAddBlankForm>(
            "shadow strength", [](auto& F) { Type(F.UDNumEdit[6], "9"); }, {"AddBlankFilter/ShadowStr=9"}, All, Shadow),
        Row<TAddBlankForm>(
            "shadow offset x", [](auto& F) { Type(F.UDNumEdit[7], "-3"); }, {"AddBlankFilter/ShadowOffsetX=-3"}, All,
            Shadow),
        Row<TAddBlankForm>(
            "shadow offset y", [](auto& F) { Type(F.UDNumEdit[8], "1"); }, {"AddBlankFilter/ShadowOffsetY=1"}, All,
            Shadow),

        Row<TCompositeOptionForm>(
            "under the picture", [](auto& F) { Click(F.BackgroundButton); }, {"Composite/Mode=1"}, All, Over),
        Row<TCompositeOptionForm>(
            "on top", [](auto& F) { Click(F.ForegroundButton); }, {"Composite/Mode=0"}, All, Over + "Mode=1\n"),
        Row<TCompositeOptionForm>("file by its box", [Mark](auto& F) { PickPath(F.BrowseButton, Mark); },
                                  {"Composite/ImageFileName=" + Mark}),

        Row<TDecreaseColorForm>("tool", [](auto& F) { Click(F.PngnqiButton); },
                                {"DecreaseColor/Mode=3", "DecreaseColor/DitherType=0"}),
        Row<TDecreaseColorForm>("strength", [](auto& F) { Type(F.StrengthEdit, "3"); }, {"DecreaseColor/DitherStr=3"}),
        Row<TDecreaseColorForm>(
            "transparent corner", [](auto& F) { Down(F.TransparentList); }, {"DecreaseColor/TransparentType=1"},
            {"c:tRNS", "c:new"}, Fewer),
        Row<TDecreaseColorForm>("options", [](auto& F) { Type(F.OptionsEdit, "-Y5"); }, {"DecreaseColor/Option=-Y5"}),

        Row<TToneCurveOptionForm>(
            "point clicked", [At](auto& F) { QTest::mouseClick(F.CurveBox, Qt::LeftButton, {}, At(128, 157)); },
            {"ToneCurve/RGB=0,0,128,157,255,255"}, All, Curve),
        Row<TToneCurveOptionForm>(
            "point dragged",
            [At](auto& F) {
                QTest::mousePress(F.CurveBox, Qt::LeftButton, {}, At(255, 255));
                QTest::mouseMove(F.CurveBox, At(255, 230));
                QTest::mouseMove(F.CurveBox, At(255, 200));
                QTest::mouseRelease(F.CurveBox, Qt::LeftButton, {}, At(255, 200));
            },
            {"ToneCurve/RGB=0,0,255,200"}, All, Curve),
        Row<TToneCurveOptionForm>(
            "point typed",
            [](auto& F) {
                WhenOpen<QInputDialog>([](QInputDialog& D) {
                    Type(D.findChild<QLineEdit*>(), "0,30");
                    ClickButton(&D, "OK");
                });
                const QPoint First = F.PointList->visualItemRect(F.PointList->item(0)).center();
                QTest::mouseClick(F.PointList->viewport(), Qt::LeftButton, {}, First);
                QTest::mouseDClick(F.PointList->viewport(), Qt::LeftButton, {}, First);
            },
            {"ToneCurve/RGB=0,30,255,255"}, All, Curve),
        Row<TToneCurveOptionForm>("red channel point",
                                  [At](auto& F) {
                                      Down(F.ChannelList);
                                      QTest::mouseClick(F.CurveBox, Qt::LeftButton, {}, At(128, 60));
                                  },
                                  {"ToneCurve/Red=0,0,128,60,255,255"}),
        Row<TToneCurveOptionForm>("chroma channel point",
                                  [At](auto& F) {
                                      Choose(F.ChannelList, 5);
                                      QTest::mouseClick(F.CurveBox, Qt::LeftButton, {}, At(40, 90));
                                  },
                                  {"ToneCurve/Chroma=0,0,40,90,128,128,255,255"}),
        Row<TToneCurveOptionForm>("histogram scale", [](auto& F) { Click(F.LogScaleButton); },
                                  {"ToneCurve/Histogram=1"}),
        Row<TToneCurveOptionForm>("histogram", [](auto& F) { Click(F.HistogramBox); }, {"ToneCurve/Histogram=2"}),
        Row<TToneCurveOptionForm>("preview", [](auto& F) { Click(F.PreviewBox); }, {"ToneCurve/Preview=0"}),
    };
    WorkRows(Rows);
}
