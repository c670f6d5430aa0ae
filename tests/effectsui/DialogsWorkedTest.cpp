// Each effect dialog opened on a listed picture and worked as a user works it:
// Cancel keeps the effect's stored settings, OK stores what was set.
#include "UiTestApp.h"

#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/IniFile.h"
#include "effects/ColorAdjust.h"
#include "effects/GrayscaleFilter.h"
#include "effects/JPEGTran.h"
#include "effects/RotationFilter.h"
#include "effects/TrimmingFilter.h"
#include "effects/ui/AddBlankDlg.h"
#include "effects/ui/ColorCorrectionDlg.h"
#include "effects/ui/GrayscaleDlg.h"
#include "effects/ui/JPEGTranOptionFrm.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/PreviewFrm.h"
#include "effects/ui/RotationOptionDlg.h"
#include "effects/ui/ToneCurveDlg.h"
#include "effects/ui/TrimmingDlg.h"
#include "tests/effectsui/DialogLayout.h"

#include <QTest>
#include <QtWidgets>

namespace {

void Pick(QComboBox* List, int Index)
{
    List->setCurrentIndex(Index);
    emit List->activated(Index);
}
// Answers the box of type D that the next click opens.
template <class D> void Answer(std::function<void(D&)> Fill)
{
    QTimer::singleShot(0, [Fill] {
        if (auto* W = qobject_cast<D*>(QApplication::activeModalWidget()))
            Fill(*W), static_cast<QDialog*>(W)->accept();
    });
}
// The add-blank preview in the fit view comes to show a W x H canvas.
bool ShowsCanvas(const TAddBlankForm& F, uint32_t W, uint32_t H)
{
    const TSize C = PreviewWindows.PreviewForm->GetClientSize();
    const TSize S = previewgeom::FitSize(W, H, int32_t(C.cx), int32_t(C.cy));
    return PumpUntil([&] { return F.Dest2.Width == S.cx && F.Dest2.Height == S.cy; });
}
void AnswerText(const QString& T)
{
    Answer<QInputDialog>([T](QInputDialog& D) {
        EXPECT_TRUE(CaptionFits(&D)) << D.windowTitle().toStdString() << ": " << D.width();
        D.setTextValue(T);
    });
}
using TBox = std::array<int, 4>;
TBox Box(const TRect& r)
{
    return {r.Left, r.Top, r.Right, r.Bottom};
}

template <class F> std::function<void(QDialog&)> On(std::function<void(F&)> Work)
{
    return [Work](QDialog& D) { Work(*qobject_cast<F*>(&D)); };
}
template <class E> TEffect* Listed(TEffectList& L)
{
    L.AddFilter(std::make_unique<E>());
    return L.Items(L.Count() - 1);
}

// Name, the effect, the work on its dialog, stored keys and texts after OK.
using TRow = std::tuple<const char*, std::function<TEffect*(TEffectList&)>, std::function<void(QDialog&)>,
                        std::vector<std::pair<const char*, const char*>>>;

} // namespace

TEST(DialogsWorked, CancelKeepsOkStoresWhatWasSet)
{
    TestApp();
    QTemporaryDir Dir;
    const std::string SavedDataDir = Startup.DataDir;
    Startup.DataDir = Dir.path().toStdString() + "/";
    // The dialogs show the list's picture, a portrait one.
    TImageInfoList Files;
    QImage Img(90, 160, QImage::Format_RGB888);
    Img.fill(Qt::darkCyan);
    ASSERT_TRUE(Img.save(Dir.filePath("p.bmp")));
    Files.Add(new TImageInfo);
    ASSERT_TRUE(GetImageInfo(Startup.DataDir + "p.bmp", *Files[0]));
    TEffectList Effects;
    EffectList = &Effects;
    PreviewWindows.PreviewFileList = &Files;
    Settings.Preview.ViewMode = 0;
    for (auto* Register : {RegisterGrayscaleForm, RegisterRotationOptionForm, RegisterJPEGTranOptionForm})
        Register(nullptr);
    for (auto* Register :
         {RegisterTrimmingOptionForm, RegisterAddBlankForm, RegisterToneCurveOptionForm, RegisterColorAdjustForm})
        Register(nullptr, {});

    const TRow Rows[] = {
        {"Grayscale",
         Listed<TGrayscaleFilter>,
         On<TGrayscaleForm>([](TGrayscaleForm& F) {
             Pick(F.WeightsList, 2);
             F.RedBar->setValue(5000);
             F.GreenEdit->setText("0.25");
             EXPECT_EQ(F.GreenBar->value(), 2500);
         }),
         {{"Type", "2"}, {"Red", "5000"}, {"Green", "2500"}}},
        {"Rotation",
         Listed<TRotationFilter>,
         On<TRotationOptionForm>([](TRotationOptionForm& F) {
             F.PortraitButton->click();
             Pick(F.RotationList, 3);
         }),
         {{"Type", "2"}, {"Value", "3"}}},
        {"LosslessTransform",
         Listed<TJPEGTran>,
         On<TJPEGTranOptionForm>([](TJPEGTranOptionForm& F) {
             for (QCheckBox* C : {F.chbOptimize, F.chbProgressive, F.chbGrayscale, F.chbTrimming})
                 C->click();
             Pick(F.cbRotation, 4);
         }),
         {{"Optimize", "0"}, {"Trimming", "1"}, {"Rotation", "4"}}},
        {"Trimming",
         Listed<TTrimmingFilter>,
         On<TTrimmingOptionForm>([](TTrimmingOptionForm& F) {
             // Each mode with a value for the portrait picture; the selection follows.
             const char* Texts[4] = {"10,20,30,40", "10,20,30,40", "10,10,10,50", "16:9,0,100"};
             const TBox Expect[4] = {{10, 20, 40, 60}, {10, 20, 60, 120}, {9, 16, 81, 80}, {0, 109, 90, 160}};
             for (int Mode = 0; Mode < 4; ++Mode) {
                 Pick(F.ParamsList, Mode);
                 F.SecondSetEdit->setText(Texts[Mode]);
                 EXPECT_EQ(Box(PreviewWindows.PreviewForm->SelectRect()), Expect[Mode]) << Mode;
             }
             // Two ratios added through their box, the last deleted again.
             for (const char* Ratio : {"4:3", "3:2"})
                 AnswerText(Ratio), F.AddRatioButton->click();
             F.DeleteRatioButton->click();
             F.PreviewBox->click();
             F.PreviewBox->click();
             // A selection dragged on the preview becomes the text.
             Pick(F.ParamsList, TRIM_RECT);
             Pick(F.RatioList, 0);
             Stroke(PreviewWindows.PreviewForm->PaintBox(), 1, 1, 30, 40);
             EXPECT_NE(F.SecondSetEdit->text(), "0,0,W,H");
             Pick(F.BranchList, TRIM_FIRST_ONLY);
             F.FirstSetEdit->setText("1,2,3,4");
             EXPECT_EQ(Box(PreviewWindows.PreviewForm->SelectRect()), (TBox{1, 2, 4, 6}));
         }),
         {{"Type", "32"}, {"Value", "1,2,3,4,1,2,3,4"}, {"SelectMode", "4:3"}}},
        {"AddBlank",
         Listed<TAddBlankFilter>,
         On<TAddBlankForm>([](TAddBlankForm& F) {
             Pick(F.BlankTypeList, btAspect);
             for (const char* T : {"16:9,50,50", "1:0,0:1", "1:2", "1:2:3", "1:2,3"})
                 F.SecondSetEdit->setText(T);
             EXPECT_TRUE(ShowsCanvas(F, 90, 180)); // 1:2, the last text that reads
             Pick(F.BlankTypeList, btPixels);
             F.SecondSetEdit->setText("\"1\",2,3,4");
             Pick(F.ColorSourceList, 1);
             for (QCheckBox* C : F.CheckBoxes)
                 C->click();
             for (TUDNumEdit* E : F.UDNumEdit)
                 E->setText("3");
             Answer<QColorDialog>([](QColorDialog& D) { D.setCurrentColor(QColor(1, 2, 3)); });
             F.ColorPanels[1]->click();
             F.PreviewBox->click();
             F.PreviewBox->click();
             EXPECT_TRUE(ShowsCanvas(F, 90 + 4 + 3 * 2 * 3, 160 + 6 + 3 * 2 * 3)); // margins and three frames
         }),
         {{"BlankType", "1"}, {"ColorType", "1"}, {"UseFrame1", "1"}, {"Frame1Color", "197121"}}},
        {"ToneCurve",
         Listed<TToneCurveEffect>,
         On<TToneCurveOptionForm>([](TToneCurveOptionForm& F) {
             for (int C = 5; C >= 0; --C)
                 Pick(F.ChannelList, C);
             Stroke(F.CurveBox, 102, 157, 122, 107);
             // A point typed over in its box.
             F.PointList->setCurrentRow(1);
             AnswerText("100,200");
             emit F.PointList->itemDoubleClicked(F.PointList->item(1));
             // Saved as a preset, it comes back after a reset.
             Answer<QFileDialog>(
                 [](QFileDialog& D) { D.selectFile(QString::fromStdString(ToneCurvePresetDir() + "mine")); });
             F.SavePresetButton->click();
             F.ResetAllButton->click();
             Pick(F.PresetList, F.PresetList->findText("mine"));
             EXPECT_EQ(F.Pt[0][1], (TCurvePoint{100, 200}));
             Pick(F.ChannelList, 1);
             F.ResetChannelButton->click();
             for (QCheckBox* B : {F.HistogramBox, F.PreviewBox, F.PreviewBox, F.HistogramBox})
                 B->click();
         }),
         {{"RGB", "0,0,100,200,255,255"}, {"Red", "0,0,255,255"}}},
        {"ColorAdjust",
         Listed<TColorAdjust>,
         On<TColorAdjustForm>([](TColorAdjustForm& F) {
             F.RGBGammaBar->setValue(50);
             F.ContrastEdit->clear();
             QTest::keyClicks(F.ContrastEdit, "15x");
             QTest::keyClick(F.ContrastEdit, Qt::Key_Up);
             for (QAbstractButton* B : {F.PreviewBox, F.PreviewBox, F.HistogramBox, F.HistogramBox})
                 B->click();
             EXPECT_EQ(F.ContrastBar->value(), 16);
             EXPECT_TRUE(PumpUntil([&] { return F.Dest2.Mem != nullptr; }));
         }),
         {{"RGBGamma", "1.5"}, {"Contrast", "16"}}},
    };
    for (const auto& [Name, Make, Work, After] : Rows) {
        SCOPED_TRACE(Name);
        TEffect* E = Make(Effects);
        auto Stored = [E] {
            TMemIniFile Ini("");
            E->WriteIniFile(Ini);
            return Ini;
        };
        const std::string Before = Stored().GetText();
        const auto& WorkOn = Work; // clang 14 cannot capture a structured binding
        for (bool Ok : {false, true}) {
            QTimer::singleShot(0, [&] {
                auto* D = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                ASSERT_NE(D, nullptr);
                WorkOn(*D);
                for (QPushButton* B : D->findChildren<QPushButton*>())
                    if (B->text() == (Ok ? "OK" : "Cancel"))
                        B->click();
                if (D->isVisible())
                    D->reject(), ADD_FAILURE() << "still open";
            });
            EXPECT_EQ(ShowEffectDialog(*E), Ok);
            EXPECT_EQ(Stored().GetText() == Before, !Ok);
        }
        for (const auto& [Key, Text] : After)
            EXPECT_EQ(Stored().ReadString(E->FSectionName, Key, "?"), Text) << Key;
    }
    PreviewWindows.PreviewFileList = nullptr;
    EffectList = nullptr;
    Startup.DataDir = SavedDataDir;
}
