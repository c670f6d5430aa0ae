// The add-blank dialog: what reaches the effect on OK and Cancel, how value
// texts are read, and the preview it draws from them.
#include "core/ImgInfo.h"
#include "effects/AddBlankFrm.h"
#include "effects/ui/AddBlankDlg.h"
#include "tests/effectsui/UiTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

template <class Form, class Fn> void WhenShown(Fn Edit, bool Ok)
{
    QTimer::singleShot(0, [=] {
        auto* F = qobject_cast<Form*>(QApplication::activeModalWidget());
        ASSERT_NE(F, nullptr);
        Edit(*F);
        (Ok ? F->Button1 : F->Button2)->click();
    });
}

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
    F.Button1->click();
    return Shown;
}

TAddBlankParam PixelParam()
{
    TAddBlankParam P;
    P.BlankType = btPixels;
    P.Value = {"1", "2", "3", "4", "5", "6", "7", "8"};
    return P;
}

} // namespace

TEST(AddBlankForm, OkWritesBackCancelKeeps)
{
    TestApp();
    RegisterAddBlankForm(nullptr);
    TAddBlankFilter E;
    E.FAddBlankParam = PixelParam();
    E.FPreview = false;

    WhenShown<TAddBlankForm>([](TAddBlankForm& F) {
        EXPECT_EQ(F.Edit1->text(), "1,2,3,4");
        EXPECT_EQ(F.Edit11->text(), "5,6,7,8");
        F.Edit1->setText(" W / 10 , 0,0,H/2");
        F.CheckBoxes[1]->click();
        F.CheckBox5->click();
    }, true);
    E.ShowConfigDialog();
    const auto& V = E.FAddBlankParam.Value;
    EXPECT_EQ(V[0], "W/10");
    EXPECT_EQ(V[3], "H/2");
    EXPECT_EQ(V[4], "5");
    EXPECT_TRUE(E.FAddBlankParam.UseFrame1);
    EXPECT_TRUE(E.FPreview);

    // Cancel leaves every value as it was, whatever was typed.
    WhenShown<TAddBlankForm>([](TAddBlankForm& F) {
        F.Edit1->setText("9,9,9,9");
        F.ComboBox1->setCurrentIndex(btAspect);
        F.CheckBoxes[1]->click();
    }, false);
    E.ShowConfigDialog();
    EXPECT_EQ(E.FAddBlankParam.Value[0], "W/10");
    EXPECT_EQ(E.FAddBlankParam.BlankType, btPixels);
    EXPECT_TRUE(E.FAddBlankParam.UseFrame1);
}

TEST(AddBlankForm, InvalidTextIsIgnoredAndBlocksOk)
{
    TestApp();
    RegisterAddBlankForm(nullptr);
    TAddBlankFilter E;
    E.FAddBlankParam = PixelParam();
    E.FAddBlankParam.ExpType = 2; // second edit hidden but still checked on OK

    WhenShown<TAddBlankForm>([](TAddBlankForm& F) {
        EXPECT_FALSE(F.Edit11->isVisibleTo(&F));
        const QString Msg("Error occurred in evaluation of the inputted parameter");
        for (const char* Bad : {"1,2,3,4,5", "1,2,X,4", "1,2,3/0,4", "1,2,(3,4"}) {
            F.Edit1->setText(Bad);
            EXPECT_EQ(OkRefused(F), Msg) << Bad;
            EXPECT_TRUE(F.isVisible()) << Bad;
        }
        F.Edit1->setText("10,10,10,10");
        F.Edit11->setText("1,2");
        EXPECT_EQ(OkRefused(F), Msg);
        EXPECT_TRUE(F.isVisible());
        F.Edit11->setText("0,0,0,0");
    }, true);
    E.ShowConfigDialog();
    EXPECT_EQ(E.FAddBlankParam.Value[0], "10");
    EXPECT_EQ(E.FAddBlankParam.Value[4], "0");
}

TEST(AddBlankForm, RatioTexts)
{
    TestApp();
    std::array<std::string, 4> P;
    ASSERT_TRUE(CheckBlankValueText("4:3", btAspect, 1000, 1000, P));
    EXPECT_EQ(P, (std::array<std::string, 4>{"4", "3", "-1", "-1"}));
    ASSERT_TRUE(CheckBlankValueText("16 : 9, 0, W/20", btAspect, 1000, 1000, P));
    EXPECT_EQ(P, (std::array<std::string, 4>{"16", "9", "0", "W/20"}));
    EXPECT_FALSE(CheckBlankValueText("4:3,1", btAspect, 1000, 1000, P));
    EXPECT_FALSE(CheckBlankValueText("1,2,3,4", btAspect, 1000, 1000, P));

    TAddBlankForm F;
    TAddBlankParam In;
    In.BlankType = btAspect;
    In.Value = {"4", "3", "-1", "-1", "3", "4", "10", "90"};
    F.SetParam(In, false);
    EXPECT_EQ(F.Edit1->text(), "4:3");
    EXPECT_EQ(F.Edit11->text(), "3:4,10,90");

    // Switching the type resets both texts to that type's neutral value.
    F.ComboBox1->setCurrentIndex(btPercent);
    emit F.ComboBox1->activated(btPercent);
    EXPECT_EQ(F.Edit1->text(), "0,0,0,0");
    F.ComboBox1->setCurrentIndex(btAspect);
    emit F.ComboBox1->activated(btAspect);
    EXPECT_EQ(F.Edit11->text(), "1:1,50,50");
    TAddBlankParam Out;
    bool Preview = true;
    F.GetParam(Out, Preview);
    EXPECT_EQ(Out.Value[5], "1");
    EXPECT_EQ(Out.Value[6], "50");
    EXPECT_FALSE(Preview);
}

TEST(AddBlankForm, PreviewFollowsValues)
{
    TestApp();
    TAddBlankForm F;
    TAddBlankParam In = PixelParam();
    In.Value = {"0", "0", "0", "0", "0", "0", "0", "0"};
    F.SetParam(In, true);
    AllocImg(F.Master, 40, 20, 3);
    std::fill_n(static_cast<uint8_t*>(F.Master.Mem), size_t(F.Master.Height) * F.Master.Bpl, uint8_t(7));

    // Landscape picture: the first set draws, the second does not.
    F.Edit1->setText("1,2,3,4");
    ASSERT_NE(F.Dest.Mem, nullptr);
    EXPECT_EQ(F.Dest.Width, 44u);
    EXPECT_EQ(F.Dest.Height, 26u);
    F.Edit11->setText("100,100,100,100");
    EXPECT_EQ(F.Dest.Width, 44u);
    F.Edit1->setText("W,0,0,H");
    EXPECT_EQ(F.Dest.Width, 80u);
    EXPECT_EQ(F.Dest.Height, 40u);
    // An unreadable text keeps the last preview.
    F.Edit1->setText("W,0,0,");
    EXPECT_EQ(F.Dest.Width, 80u);

    // Under ALL the first set applies to a portrait picture too.
    FreeImg(F.Master);
    AllocImg(F.Master, 10, 30, 3);
    F.ComboBox3->setCurrentIndex(2);
    emit F.ComboBox3->activated(2);
    EXPECT_EQ(F.Dest.Width, 20u);
    EXPECT_EQ(F.Dest.Height, 60u);
}
