// The small effect dialogs: values come in when the dialog opens and go back
// to the effect on OK only.
#include "core/Grayscale.h"
#include "effects/GrayscaleFrm.h"
#include "effects/JPEGTran.h"
#include "effects/RotationOptionFrm.h"
#include "effects/ui/GrayscaleDlg.h"
#include "effects/ui/JPEGTranOptionFrm.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/RotationOptionDlg.h"
#include "tests/effectsui/UiTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

TEST(RotationOptionForm, OkWritesBackCancelKeeps)
{
    TestApp();
    RegisterRotationOptionForm(nullptr);
    TRotationFilter E;
    E.FType = ROTATE_PORTRAIT;
    E.FValue = ROTATE_MIRROR;

    // Opens showing the effect's values; OK takes the edited ones.
    WhenShown<TRotationOptionForm>([](TRotationOptionForm& F) {
        EXPECT_TRUE(F.PortraitButton->isChecked());
        EXPECT_EQ(F.RotationList->currentIndex(), ROTATE_MIRROR);
        F.LandscapeButton->setChecked(true);
        F.RotationList->setCurrentIndex(ROTATE_FLIP);
    }, true);
    E.ShowConfigDialog();
    EXPECT_EQ(E.FType, ROTATE_LANDSCAPE);
    EXPECT_EQ(E.FValue, ROTATE_FLIP);

    WhenShown<TRotationOptionForm>([](TRotationOptionForm& F) {
        F.AllButton->setChecked(true);
        F.RotationList->setCurrentIndex(ROTATE_180);
    }, false);
    E.ShowConfigDialog();
    EXPECT_EQ(E.FType, ROTATE_LANDSCAPE);
    EXPECT_EQ(E.FValue, ROTATE_FLIP);
}

TEST(RotationOptionForm, OutOfRangeSettingsShowDefaults)
{
    TestApp();
    TRotationOptionForm F;
    F.SetParams(9, 7);
    EXPECT_TRUE(F.AllButton->isChecked());
    EXPECT_EQ(F.RotationList->currentIndex(), 0);
    F.SetParams(ROTATE_PORTRAIT, -1);
    int Type = -1, Value = -1;
    F.GetParams(Type, Value);
    EXPECT_EQ(Type, ROTATE_PORTRAIT);
    EXPECT_EQ(Value, 0);
}

TEST(GrayscaleForm, CustomWeightsOnOkOnly)
{
    TestApp();
    RegisterGrayscaleForm(nullptr);
    TGrayscaleFilter E;
    E.FType = GRAY_BT601;
    E.FRed = 5000;
    E.FGreen = 5000;
    E.FBlue = 0;
    E.SetGrayWeights();

    // Cancel after editing leaves the effect and the weight vector alone.
    WhenShown<TGrayscaleForm>([](TGrayscaleForm& F) {
        EXPECT_FALSE(F.WeightsPanel->isEnabled());
        EXPECT_NEAR(F.RedEdit->Value(), 0.299, 1e-9);
        F.WeightsList->setCurrentIndex(GRAY_CUSTOM);
        F.BlueBar->setValue(9000);
    }, false);
    E.ShowConfigDialog();
    EXPECT_EQ(E.FType, GRAY_BT601);
    EXPECT_EQ(E.FBlue, 0);
    EXPECT_FLOAT_EQ(GrayWeights[0], 0.299f);

    // Custom: the edits show the kept weights; a scroll bar and a typed edit
    // both update the weight; OK applies them, normalised to a sum of 1.
    WhenShown<TGrayscaleForm>([](TGrayscaleForm& F) {
        F.WeightsList->setCurrentIndex(GRAY_CUSTOM);
        EXPECT_TRUE(F.WeightsPanel->isEnabled());
        EXPECT_NEAR(F.RedEdit->Value(), 0.5, 1e-9);
        EXPECT_EQ(F.GreenBar->value(), 5000);
        F.RedBar->setValue(2000);
        EXPECT_NEAR(F.RedEdit->Value(), 0.2, 1e-9);
        F.GreenEdit->setText("0.2");
        EXPECT_EQ(F.GreenBar->value(), 2000);
        F.BlueEdit->setText("0.20004"); // rounds to the nearest ten-thousandth
        EXPECT_EQ(F.BlueBar->value(), 2000);
    }, true);
    E.ShowConfigDialog();
    EXPECT_EQ(E.FType, GRAY_CUSTOM);
    EXPECT_EQ(E.FRed, 2000);
    EXPECT_EQ(E.FGreen, 2000);
    EXPECT_EQ(E.FBlue, 2000);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(GrayWeights[i], 1.0 / 3, 1e-6);

    // Choosing a standard keeps the custom weights for later, and its own
    // weights become the process-wide vector.
    WhenShown<TGrayscaleForm>([](TGrayscaleForm& F) { F.WeightsList->setCurrentIndex(GRAY_BT709); }, true);
    E.ShowConfigDialog();
    EXPECT_EQ(E.FType, GRAY_BT709);
    EXPECT_EQ(E.FRed, 2000);
    EXPECT_EQ(E.FBlue, 2000);
    EXPECT_FLOAT_EQ(GrayWeights[1], 0.7154f);
}

TEST(GrayscaleForm, TypedWeightsStayInRange)
{
    TestApp();
    TGrayscaleForm F;
    F.SetParams(100, 200, 300, GRAY_CUSTOM);
    F.RedEdit->setText("99999999999999999999");
    F.GreenEdit->setText("-3");
    F.BlueEdit->setText("7");
    int R, G, B, T;
    F.GetParams(R, G, B, T);
    EXPECT_EQ(R, 10000);
    EXPECT_EQ(G, 0);
    EXPECT_EQ(B, 10000);
    EXPECT_EQ(T, GRAY_CUSTOM);
}

TEST(JPEGTranOptionForm, OkWritesBackCancelKeeps)
{
    TestApp();
    RegisterJPEGTranOptionForm(nullptr);
    TJPEGTran E;
    E.FProgressive = true;
    E.FRotation = JT_AUTO;

    WhenShown<TJPEGTranOptionForm>([](TJPEGTranOptionForm& F) {
        F.chbOptimize->setChecked(false);
        F.chbRemoveExtraMarker->setChecked(true);
        F.cbRotation->setCurrentIndex(JT_FLIPV);
    }, false);
    E.ShowConfigDialog();
    EXPECT_TRUE(E.FOptimize);
    EXPECT_FALSE(E.FRemoveExtraMarker);
    EXPECT_EQ(E.FRotation, JT_AUTO);

    WhenShown<TJPEGTranOptionForm>([](TJPEGTranOptionForm& F) {
        EXPECT_TRUE(F.chbOptimize->isChecked());
        EXPECT_TRUE(F.chbProgressive->isChecked());
        EXPECT_FALSE(F.chbGrayscale->isChecked());
        EXPECT_EQ(F.cbRotation->currentIndex(), JT_AUTO);
        F.chbOptimize->setChecked(false);
        F.chbGrayscale->setChecked(true);
        F.chbTrimming->setChecked(true);
        F.chbRemoveExtraMarker->setChecked(true);
        F.cbRotation->setCurrentIndex(JT_FLIPV);
    }, true);
    E.ShowConfigDialog();
    EXPECT_FALSE(E.FOptimize);
    EXPECT_TRUE(E.FProgressive);
    EXPECT_TRUE(E.FGrayscale);
    EXPECT_TRUE(E.FTrimming);
    EXPECT_TRUE(E.FRemoveExtraMarker);
    EXPECT_EQ(E.FRotation, JT_FLIPV);
}
