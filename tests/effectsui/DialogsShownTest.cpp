// Every effect dialog as the main window opens it, with the picture of the
// selected file list entry: shown whole on a 1366 x 768 screen with nothing
// covered, its preview and histogram windows fed from that picture.
#include "UiTestApp.h"

#include "core/Bitmap.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "effects/ColorAdjust.h"
#include "effects/Effect.h"
#include "effects/Histogram.h"
#include "effects/ui/HistogramFrm.h"
#include "effects/ui/PreviewFrm.h"
#include "tests/effectsui/DialogLayout.h"
#include "tests/effectsui/EffectDialogs.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QToolTip>

#include <cstring>
#include <filesystem>
#include <memory>
#include <numeric>

namespace fs = std::filesystem;

namespace {

// A smooth picture with some detail, so that every effect changes something.
void Paint(TImgInfo& Img)
{
    for (uint32_t y = 0; y < Img.Height; ++y)
        for (uint32_t x = 0; x < Img.Width; ++x) {
            uint8_t* p = MemRow(Img, y) + x * 3;
            p[0] = uint8_t(x * 255 / Img.Width);
            p[1] = uint8_t(y * 255 / Img.Height);
            p[2] = uint8_t(((x / 8 + y / 8) % 2) ? 200 : 60);
        }
}

// Two entries in the file list, of different sizes, as BMP files.
struct EffectDialogs : ::testing::Test {
    fs::path Dir;
    TEffectList Effects;
    TImageInfoList Files;
    const uint32_t W1 = 200, H1 = 300; // entry 1's size
    TPreviewOption SavedOption = Settings.Preview;

    void SetUp() override
    {
        TestApp();
        Dir = fs::temp_directory_path() / ("vestro-dialogs-" + std::to_string(QCoreApplication::applicationPid()));
        fs::create_directories(Dir);
        const std::pair<uint32_t, uint32_t> Sizes[2] = {{120, 90}, {W1, H1}};
        for (int i = 0; i < 2; ++i) {
            const std::string Path = (Dir / ("p" + std::to_string(i) + ".bmp")).string();
            TImgInfo Img;
            AllocImg(Img, Sizes[i].first, Sizes[i].second, 3);
            Paint(Img);
            ASSERT_TRUE(SaveBitmapFile(Path, Img, TResolutionInfo{}, TakeRunSettings()));
            FreeImg(Img);
            auto* Info = new TImageInfo;
            ASSERT_TRUE(GetImageInfo(Path, *Info));
            Files.Add(Info);
        }
        EffectList = &Effects;
        PreviewWindows.PreviewFileList = &Files;
        Settings.Preview.ViewMode = 0;
    }
    void TearDown() override
    {
        PreviewWindows.PreviewFileList = nullptr;
        EffectList = nullptr;
        Settings.Preview = SavedOption;
        fs::remove_all(Dir);
    }
    // The picture of entry Index as the dialogs load it.
    bool Load(int32_t Index, TImgInfo& Img) { return LoadBeforeImage(*Files[Index], Img, EFFECT_ADDTEXT, Index); }
};

uint64_t Sum(const uint32_t* Table)
{
    return std::accumulate(Table, Table + 256, uint64_t(0));
}

// Runs Exec while the dialog it opens is checked by Look, then cancelled.
template <class Form> void WhileOpen(const std::function<void()>& Exec, const std::function<void(Form&)>& Look)
{
    bool Seen = false;
    QTimer::singleShot(0, [&] {
        auto* F = qobject_cast<Form*>(QApplication::activeModalWidget());
        ASSERT_NE(F, nullptr);
        Seen = true;
        Look(*F);
        F->reject();
    });
    Exec();
    EXPECT_TRUE(Seen);
}

} // namespace

TEST_F(EffectDialogs, EachOneShowsWholeWithItsPreview)
{
    auto Loader = [this](int32_t Index, TImgInfo& Img) { return Load(Index, Img); };
    for (const auto& [Name, Make] : AllEffectDialogs(Loader)) {
        std::unique_ptr<QDialog> D(Make());
        auto* P = dynamic_cast<TPreviewBaseForm*>(D.get());
        if (P)
            P->ShowSelectedEntry([] { return 1; });
        D->show();
        EXPECT_EQ(LayoutFaults(D.get()), "") << Name;
        EXPECT_TRUE(CaptionFits(D.get())) << Name << ": " << D->width();
        // Choosing among its radio buttons, there and back, keeps its size.
        const QSize Opened = D->size();
        for (int Round = 0; Round < 2; ++Round)
            for (QRadioButton* B : D->findChildren<QRadioButton*>())
                if (B->isEnabled())
                    B->click(), QApplication::processEvents();
        EXPECT_EQ(D->size(), Opened) << Name;
        // A dialog with a preview can be made larger; never smaller than its controls need.
        if (P || D->findChild<TDragPreviewArea*>()) {
            EXPECT_GT(D->maximumWidth(), D->minimumSizeHint().width()) << Name;
        }
        if (P) {
            ASSERT_NE(PreviewWindows.PreviewForm, nullptr) << Name;
            EXPECT_TRUE(PreviewWindows.PreviewForm->isVisible()) << Name;
            EXPECT_EQ(std::make_pair(P->Master.Width, P->Master.Height), std::make_pair(W1, H1)) << Name;
            EXPECT_NE(P->Dest2.Mem, nullptr) << Name;
        }
        ScreenShot(Name);
        // The keys go to the dialog just opened, not to the windows beside it.
        PumpUntil([] { return false; }, 100);
        ASSERT_NE(QGuiApplication::focusWindow(), nullptr) << Name;
        QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_Escape);
        EXPECT_FALSE(D->isVisible()) << Name << ": Escape closes it";
    }
}

// The add-blank preview in the fit view: the canvas, computed on the worker,
// fitted on its own, the paint box following its shape when it changes.
TEST_F(EffectDialogs, AddBlankFitViewFollowsTheCanvas)
{
    TAddBlankForm D;
    TAddBlankParam P;
    P.BlankType = btPixels;
    P.Value.fill("10");
    D.SetParam(P, true);
    D.ShowSelectedEntry([] { return 1; });
    D.show();
    auto Box = [] { return PreviewWindows.PreviewForm->PaintBox()->size(); };
    auto Fit = [](uint32_t W, uint32_t H) {
        const TSize C = PreviewWindows.PreviewForm->GetClientSize();
        const TSize S = previewgeom::FitSize(W, H, int32_t(C.cx), int32_t(C.cy));
        return QSize(int(S.cx), int(S.cy));
    };
    EXPECT_TRUE(PumpUntil([&] { return Box() == Fit(W1 + 20, H1 + 20); }));
    // A 1:1 canvas for the portrait picture.
    QTest::keyClick(D.BlankTypeList, Qt::Key_Up);
    ASSERT_EQ(D.FirstSetEdit->text(), "1:1,50,50");
    EXPECT_NE(Box(), Fit(H1, H1)) << "drawn on the worker, not while the key is handled";
    EXPECT_TRUE(PumpUntil([&] { return Box() == Fit(H1, H1); }));
    EXPECT_EQ(QSize(int(D.Dest2.Width), int(D.Dest2.Height)), Box());
}

// Keys and clicks on the add-text dialog's text: Tab moves on, the help
// icon shows the tokens in a balloon while the pointer stays on it. Every
// colour swatch of the effect dialogs shows the very colour chosen.
TEST(EffectDialogControls, MemoHelpIconAndSwatches)
{
    TestApp();
    TAddTextForm T;
    T.show();
    T.activateWindow();
    ASSERT_TRUE(PumpUntil([&] { return T.isActiveWindow(); }));
    T.TextEdit->setFocus();
    QTest::keyClicks(T.TextEdit, "ab");
    QTest::keyClick(T.TextEdit, Qt::Key_Tab);
    EXPECT_EQ(T.TextEdit->toPlainText(), "ab");
    EXPECT_NE(QApplication::focusWidget(), T.TextEdit);

    EXPECT_FALSE(T.HelpIcon->pixmap().isNull());
    EXPECT_TRUE(T.HelpIcon->x() > T.TextEdit->geometry().right() && T.HelpIcon->y() == T.TextEdit->y())
        << "beside the text";
    Mouse(T.HelpIcon, QEvent::MouseButtonPress, 5, 5);
    Mouse(T.HelpIcon, QEvent::MouseButtonRelease, 5, 5);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_TRUE(QToolTip::text().startsWith("<ymd> date")) << QToolTip::text().toStdString();
    QEvent Leave(QEvent::Leave);
    QApplication::sendEvent(T.HelpIcon, &Leave);
    EXPECT_TRUE(PumpUntil([] { return !QToolTip::isVisible(); }, 1000));

    TAddBlankForm B;
    T.ShadowBox->click();
    T.GlowBox->click();
    B.CheckBoxes[0]->click();
    std::vector<QPushButton*> Panels(B.ColorPanels.begin(), B.ColorPanels.end());
    Panels.insert(Panels.end(), {T.FontColorPanel, T.BackColorPanel, T.ShadowColorPanel, T.GlowColorPanel});
    for (QPushButton* P : Panels) {
        QTimer::singleShot(0, [] {
            if (auto* D = qobject_cast<QColorDialog*>(QApplication::activeModalWidget()))
                D->setCurrentColor(QColor(0x20, 0x40, 0x80)), D->accept();
        });
        P->click();
        const QImage I = P->grab().toImage();
        EXPECT_EQ(I.pixelColor(I.width() / 2, I.height() / 2).name().toStdString(), "#204080") << Describe(P);
    }
}

// The histogram window belongs to every dialog with a Histogram box: the
// source picture's tables counted once when the picture is loaded, the
// processed picture's tables from each preview.
TEST_F(EffectDialogs, HistogramWindowShowsSourceAndProcessedPicture)
{
    TImgInfo Img;
    ASSERT_TRUE(Load(1, Img));
    std::vector<uint32_t> Expected(HistogramCounters);
    CalcHistogram(Img, Expected.data(), HistogramAll, nullptr);
    FreeImg(Img);
    const uint64_t Pixels = uint64_t(W1) * H1;

    Settings.Preview.HistogramChannel = 0;
    const std::pair<const char*, std::function<TPreviewBaseForm*()>> Dialogs[] = {
        {"ColorAdjust",
         [] {
             auto* F = new TColorAdjustForm;
             TColorAdjust E;
             E.FPreview = E.FHistogram = true;
             E.FContrast = 80;
             return F->SetParam(E), F;
         }},
        {"ToneCurve",
         [] {
             auto* F = new TToneCurveOptionForm;
             TCurveSet Pt;
             for (int i = 0; i < tcCount; ++i)
                 Pt[i] = i == tcChroma ? TPointArray{{0, 0}, {128, 128}, {255, 255}} : TPointArray{{0, 0}, {255, 255}};
             Pt[tcRGB] = {{0, 40}, {255, 255}}; // lifts the shadows
             return F->SetParam(Pt, 0, true, true), F;
         }},
    };
    for (const auto& [Name, Make] : Dialogs) {
        std::unique_ptr<TPreviewBaseForm> D(Make());
        D->ShowSelectedEntry([] { return 1; });
        D->show();
        ASSERT_NE(PreviewWindows.HistogramForm, nullptr) << Name;
        EXPECT_TRUE(PreviewWindows.HistogramForm->isVisible()) << Name;
        EXPECT_EQ(PreviewWindows.HistogramForm->TotalCount, Pixels) << Name;
        EXPECT_EQ(std::memcmp(PreviewWindows.HistogramForm->DefaultCount, Expected.data(), Expected.size() * 4), 0)
            << Name;
        // The live tables arrive with the first preview and count the same pixels.
        EXPECT_TRUE(PumpUntil([] { return Sum(PreviewWindows.HistogramForm->HistogramCount) > 0; })) << Name;
        EXPECT_EQ(Sum(PreviewWindows.HistogramForm->HistogramCount), Pixels) << Name;
        EXPECT_NE(std::memcmp(PreviewWindows.HistogramForm->HistogramCount, Expected.data(), 3 * 256 * 4), 0)
            << Name << ": the live tables are the processed picture's";
        // The Y view needs counts of the other kind: the dialog computes them.
        PreviewWindows.HistogramForm->ChannelList->setCurrentIndex(4);
        EXPECT_TRUE(PumpUntil([] { return Sum(PreviewWindows.HistogramForm->HistogramCount) > 0; })) << Name;
        EXPECT_EQ(Sum(PreviewWindows.HistogramForm->HistogramCount), Pixels) << Name;
        PreviewWindows.HistogramForm->ChannelList->setCurrentIndex(0);
        // Closing the window unchecks the dialog's box.
        PreviewWindows.HistogramForm->close();
        EXPECT_FALSE(PreviewWindows.HistogramForm->isVisible()) << Name;
        for (QCheckBox* Box : D->findChildren<QCheckBox*>())
            EXPECT_FALSE(Box->text() == "Histogram" && Box->isChecked()) << Name;
        EXPECT_EQ(LayoutFaults(PreviewWindows.HistogramForm), "") << Name;
    }
    EXPECT_EQ(PreviewWindows.HistogramForm, nullptr) << "released with its dialog";
}

// The preview window beside a modal effect dialog still takes the keys: the
// arrow steps to the next entry of the list.
TEST_F(EffectDialogs, ThePreviewWindowTakesKeysWhileItsDialogIsOpen)
{
    RegisterTrimmingOptionForm(nullptr, [] { return 1; });
    TTrimmingFilter Trim;
    Trim.FPreview = true;
    WhileOpen<TTrimmingOptionForm>([&] { Trim.ShowConfigDialog(); },
                                   [&](TTrimmingOptionForm&) {
                                       ASSERT_NE(PreviewWindows.PreviewForm, nullptr);
                                       ASSERT_TRUE(PreviewWindows.PreviewForm->isVisible());
                                       EXPECT_TRUE(PreviewWindows.PreviewForm->windowTitle().startsWith("p1.bmp"));
                                       QTest::keyClick(PreviewWindows.PreviewForm->windowHandle(), Qt::Key_Right);
                                       EXPECT_TRUE(PumpUntil([] {
                                           return PreviewWindows.PreviewForm->windowTitle().startsWith("p0.bmp");
                                       })) << PreviewWindows.PreviewForm->windowTitle().toStdString();
                                   });
}
