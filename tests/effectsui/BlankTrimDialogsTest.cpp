// The add-blank and trimming dialogs: wrong value texts keep the dialog open,
// and the preview each draws from its values.
#include "core/ImgInfo.h"
#include "effects/AddBlankFilter.h"
#include "effects/TrimmingFilter.h"
#include "effects/ui/AddBlankDlg.h"
#include "effects/ui/PreviewFrm.h"
#include "effects/ui/TrimmingDlg.h"
#include "tests/effectsui/CommaLocale.h"
#include "tests/effectsui/UiTestApp.h"

#include "core/Funcs.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

// Presses OK on F while its values are wrong: returns the text of the message
// box that came up ("" when none did), which is then closed.
template <class Form> QString OkRefused(Form& F)
{
    QString Shown;
    QTimer::singleShot(0, [&] {
        if (auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            Shown = Box->text();
            Box->close();
        }
    });
    F.OkButton->click();
    return Shown;
}

std::pair<uint32_t, uint32_t> Size(const TImgInfo& I)
{
    return {I.Width, I.Height};
}
std::pair<uint32_t, uint32_t> Size(uint32_t W, uint32_t H)
{
    return {W, H};
}

TAddBlankParam PixelParam()
{
    TAddBlankParam P;
    P.BlankType = btPixels;
    P.Value = {"1", "2", "3", "4", "5", "6", "7", "8"};
    return P;
}

} // namespace

// A wrong text in either value set, even the one hidden under "ALL", keeps
// the dialog open with a message; right ones are stored.
TEST(BlankTrimDialogs, InvalidTextBlocksOk)
{
    TestApp();
    const QString Msg("Error occurred in evaluation of the inputted parameter");
    auto Refuses = [&](auto& F, const char* First, const char* Second) {
        F.FirstSetEdit->setText(First);
        F.SecondSetEdit->setText(Second);
        EXPECT_EQ(OkRefused(F), Msg) << First << " / " << Second;
        EXPECT_TRUE(F.isVisible());
    };
    RegisterAddBlankForm(nullptr);
    TAddBlankFilter Blank;
    Blank.FAddBlankParam = PixelParam();
    Blank.FAddBlankParam.ExpType = 2;
    WhenShown<TAddBlankForm>(true, [&](TAddBlankForm& F) {
        EXPECT_FALSE(F.SecondSetEdit->isVisibleTo(&F));
        for (const char* Bad : {"1,2,3,4,5", "1,2,X,4", "1,2,3/0,4", "1,2,(3,4"})
            Refuses(F, Bad, "0,0,0,0");
        Refuses(F, "10,10,10,10", "1,2");
        F.SecondSetEdit->setText("0,0,0,0");
    });
    Blank.ShowConfigDialog();
    EXPECT_EQ(Blank.FAddBlankParam.Value[0], "10");
    EXPECT_EQ(Blank.FAddBlankParam.Value[4], "0");

    RegisterTrimmingOptionForm(nullptr);
    TTrimmingFilter Trim;
    Trim.FType = TRIM_RECT;
    Trim.FExp = TRIM_FIRST_ONLY;
    WhenShown<TTrimmingOptionForm>(true, [&](TTrimmingOptionForm& F) {
        Refuses(F, "1,2,3", "0,0,0,0");
        Refuses(F, "1,2,3,4", "1,2,3,Q");
        F.SecondSetEdit->setText("0,0,0,0");
    });
    Trim.ShowConfigDialog();
    EXPECT_EQ(Trim.FValue[3], "4");
}

TEST(AddBlankForm, PreviewFollowsValues)
{
    TestApp();
    TAddBlankForm F;
    TAddBlankParam In = PixelParam();
    In.Value.fill("0");
    F.SetParam(In, true);
    AllocImg(F.Master, 40, 20, 3);
    std::fill_n(static_cast<uint8_t*>(F.Master.Mem), size_t(F.Master.Height) * F.Master.Bpl, uint8_t(7));
    // At 100 per cent the whole canvas arrives from the worker as the after picture.
    PreviewWindows.PreviewForm->SetViewMode(1);
    auto Shows = [&](uint32_t W, uint32_t H, int Ms = 5000) {
        return PumpUntil([&] { return Size(F.Dest) == Size(W, H); }, Ms);
    };

    // Landscape picture: the first set draws, the second does not.
    F.FirstSetEdit->setText("1,2,3,4");
    EXPECT_TRUE(Shows(44, 26));
    F.SecondSetEdit->setText("100,100,100,100");
    EXPECT_FALSE(Shows(240, 220, 200));
    F.FirstSetEdit->setText("W,0,0,H");
    EXPECT_TRUE(Shows(80, 40));
    // An unreadable text keeps the last preview.
    F.FirstSetEdit->setText("W,0,0,");
    EXPECT_FALSE(Shows(40, 20, 200));
    EXPECT_EQ(Size(F.Dest), Size(80, 40));

    // Under ALL the first set applies to a portrait picture too.
    FreeImg(F.Master);
    AllocImg(F.Master, 10, 30, 3);
    F.BranchList->setCurrentIndex(2);
    emit F.BranchList->activated(2);
    EXPECT_TRUE(Shows(20, 60));
}

TEST(TrimmingOptionForm, DraggingRewritesText)
{
    TestApp();
    TTrimmingOptionForm F;
    F.SetParams(TRIM_ASPECT, TRIM_SQUARE_FIRST, {"1", "1", "50", "50", "1", "1", "50", "50"}, "", true);
    AllocImg(F.Master, 200, 50, 3);
    TRect r{0, 0, 100, 50};
    F.SelectRectChanged(r);
    EXPECT_EQ(F.FirstSetEdit->text(), "2:1,0.00,0.00");
    EXPECT_EQ(F.SecondSetEdit->text(), "1:1,50,50");
    // No free extent, or no extent at all: nothing fails.
    r = {0, 0, 200, 50};
    F.SelectRectChanged(r);
    EXPECT_EQ(F.FirstSetEdit->text(), "4:1,50.00,50.00");
    r = {10, 0, 10, 50};
    F.SelectRectChanged(r);
    EXPECT_EQ(F.FirstSetEdit->text(), "4:1,50.00,50.00");

    F.ParamsList->setCurrentIndex(TRIM_MARGIN);
    r = {10, 5, 150, 45};
    F.SelectRectChanged(r);
    EXPECT_EQ(F.FirstSetEdit->text(), "10,5,50,5");
}

// With a comma as the decimal separator (German), a dragged selection is
// still written as a comma list of four numbers the dialog accepts.
TEST(TrimmingOptionForm, DraggedPercentsInACommaLocale)
{
    TestApp();
    TTrimmingOptionForm F;
    QString Percents, Ratio;
    {
        const TCommaLocale German;
        if (!German.Ok())
            GTEST_SKIP() << "no German locale can be made here";
        ASSERT_EQ(LocaleDecimalSeparator(), ',');
        F.SetParams(TRIM_PERCENT, TRIM_SQUARE_FIRST, {"0", "0", "0", "0", "0", "0", "0", "0"}, "", true);
        AllocImg(F.Master, 300, 200, 3);
        TRect r{10, 20, 290, 150};
        F.SelectRectChanged(r);
        Percents = F.FirstSetEdit->text();
        F.ParamsList->setCurrentIndex(TRIM_ASPECT);
        r = {0, 25, 300, 175};
        F.SelectRectChanged(r);
        Ratio = F.FirstSetEdit->text();
    }

    EXPECT_EQ(Percents, "3.33,10.00,3.33,25.00");
    EXPECT_EQ(Ratio, "2:1,50.00,50.00");
    std::array<std::string, 4> Parts;
    std::array<float, 4> V;
    F.ParamsList->setCurrentIndex(TRIM_PERCENT);
    EXPECT_TRUE(F.EvaluateParams(Percents, Parts, V));
    EXPECT_FLOAT_EQ(V[3], 25.0f);
}
