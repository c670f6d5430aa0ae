// The effect dialogs read back what a settings file holds, values out of range
// included, and offer per tool what the tool can do: each dialog is opened
// from the effect's settings, looked at while shown, and closed by its button.
#include "UiTestApp.h"

#include "core/IniFile.h"
#include "effects/DecreaseColor.h"
#include "effects/GrayscaleFilter.h"
#include "effects/RotationFilter.h"
#include "effects/ToneCurveEffect.h"
#include "effects/USMFilter.h"
#include "effects/ui/DecreaseColorDlg.h"
#include "effects/ui/GrayscaleDlg.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/RotationOptionDlg.h"
#include "effects/ui/ToneCurveDlg.h"
#include "effects/ui/UnSharpMaskDlg.h"

#include <QCheckBox>
#include <QFile>
#include <QTemporaryDir>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <string>
#include <vector>

namespace {

// The settings text Text as read from a file.
TMemIniFile IniOf(const std::string& Text)
{
    QTemporaryDir Dir;
    const std::string Name = Dir.filePath("s.ini").toStdString();
    QFile F(QString::fromStdString(Name));
    EXPECT_TRUE(F.open(QIODevice::WriteOnly));
    F.write(Text.data(), qint64(Text.size()));
    F.close();
    return TMemIniFile(Name);
}

// E read from the settings text Ini (then Prep run on it), its dialog shown
// and worked by Work while up, then closed by OK (or Cancel); the effect's
// section as stored afterwards.
template <class Form>
std::string Worked(TEffect& E, const std::string& Ini, std::function<void(Form&)> Work, bool Ok = true,
                   std::function<void()> Prep = {})
{
    TMemIniFile In = IniOf(Ini);
    E.ReadIniFile(In);
    if (Prep)
        Prep();
    QTimer::singleShot(0, [&] {
        auto* F = qobject_cast<Form*>(QApplication::activeModalWidget());
        ASSERT_NE(F, nullptr);
        Work(*F);
        // Work may have closed it already (Return in a field).
        if (F->isVisible())
            QTest::mouseClick(Ok ? F->OkButton : F->CancelButton, Qt::LeftButton);
        if (F->isVisible())
            F->reject(), ADD_FAILURE() << "still open";
    });
    EXPECT_EQ(ShowEffectDialog(E), Ok);
    TMemIniFile Out("");
    E.WriteIniFile(Out);
    return Out.GetText();
}

std::string Stored(const std::string& Text, const std::string& Section, const std::string& Key)
{
    return IniOf(Text).ReadString(Section, Key, "?");
}

// A left click on the mark of a check box or radio button.
void ClickMark(QAbstractButton* B)
{
    QTest::mouseClick(B, Qt::LeftButton, {}, QPoint(B->contentsRect().left() + 8, B->height() / 2));
}

std::vector<int> Offered(const QComboBox* List)
{
    std::vector<int> Ids;
    for (int i = 0; i < List->count(); ++i)
        Ids.push_back(List->itemData(i).toInt());
    return Ids;
}

} // namespace

TEST(SweepDialogs, RotationShowsStoredChoiceAndAnOutOfRangeOneAsTheFirst)
{
    TestApp();
    RegisterRotationOptionForm(nullptr);
    struct TCase {
        const char* Ini;
        int ShownType; // 0 all, 1 landscape, 2 portrait
        int ShownIndex;
        const char* Text;
    } Cases[] = {
        {"Type=1\nValue=2", 1, 2, "Rotate 270"},
        {"Type=2\nValue=4", 2, 4, "Flip Virtical"},
        {"Type=0\nValue=3", 0, 3, "Flip Horizontal"},
        {"Type=7\nValue=5", 0, 0, "Rotate 90"},
        {"Type=-1\nValue=-1", 0, 0, "Rotate 90"},
        {"Type=2\nValue=99", 2, 0, "Rotate 90"},
        {"Value=1", 0, 1, "Rotate 180"},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Ini);
        TRotationFilter E;
        const std::string After = Worked<TRotationOptionForm>(
            E, std::string("[RotationFilter]\n") + C.Ini + "\n", [&](TRotationOptionForm& F) {
                EXPECT_EQ(F.AllButton->isChecked(), C.ShownType == 0);
                EXPECT_EQ(F.LandscapeButton->isChecked(), C.ShownType == 1);
                EXPECT_EQ(F.PortraitButton->isChecked(), C.ShownType == 2);
                EXPECT_EQ(F.RotationList->currentIndex(), C.ShownIndex);
                EXPECT_EQ(F.RotationList->currentText().toStdString(), C.Text);
            });
        // OK stores what the dialog showed.
        EXPECT_EQ(Stored(After, "RotationFilter", "Type"), std::to_string(C.ShownType));
        EXPECT_EQ(Stored(After, "RotationFilter", "Value"), std::to_string(C.ShownIndex));
    }
    // The list offers the five turns in their order.
    TRotationFilter E;
    Worked<TRotationOptionForm>(E, "", [](TRotationOptionForm& F) {
        ASSERT_EQ(F.RotationList->count(), 5);
        const char* Names[] = {"Rotate 90", "Rotate 180", "Rotate 270", "Flip Horizontal", "Flip Virtical"};
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(F.RotationList->itemText(i).toStdString(), Names[i]) << i;
    });
}

TEST(SweepDialogs, RotationChoiceClickedIsStoredAndCancelKeepsTheOld)
{
    TestApp();
    RegisterRotationOptionForm(nullptr);
    struct TCase {
        int Button; // 0 all, 1 landscape, 2 portrait
        int Downs;  // arrow-down presses in the list
        const char* Type;
        const char* Value;
    } Cases[] = {{1, 1, "1", "1"}, {2, 2, "2", "2"}, {0, 4, "0", "4"}, {1, 9, "1", "4"}};
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Button * 10 + C.Downs);
        for (bool Ok : {false, true}) {
            TRotationFilter E;
            const std::string After = Worked<TRotationOptionForm>(
                E, "[RotationFilter]\nType=2\nValue=0\n",
                [&](TRotationOptionForm& F) {
                    QRadioButton* B[] = {F.AllButton, F.LandscapeButton, F.PortraitButton};
                    ClickMark(B[C.Button]);
                    F.RotationList->setFocus();
                    for (int i = 0; i < C.Downs; ++i)
                        QTest::keyClick(F.RotationList, Qt::Key_Down);
                },
                Ok);
            EXPECT_EQ(Stored(After, "RotationFilter", "Type"), Ok ? C.Type : "2");
            EXPECT_EQ(Stored(After, "RotationFilter", "Value"), Ok ? C.Value : "0");
        }
    }
}

TEST(SweepDialogs, ColourReductionOffersPerToolItsDitheringAndItsRows)
{
    TestApp();
    RegisterDecreaseColorForm(nullptr);
    struct TCase {
        const char* Name;
        int Tool; // button clicked: 0 FLAXC, 1 iZYINS, 2 pngnqi
        std::vector<int> Dithers;
        int Default;
        bool PaletteRows; // strength, transparent colour, options; else quality
    } Cases[] = {
        {"FLAXC", 0, {0, 1, 2, 3, 4}, 2, true},
        {"iZYINS", 1, {0, 2, 3}, 2, true},
        {"pngnqi", 2, {0, 2}, 0, false},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TDecreaseColorEffect E;
        // Started on another tool, with a dithering that tool has.
        const auto Prep = [&] {
            E.FFlags = DC_FLAXC | DC_IZYINS | DC_PNGNQ;
            E.FMode = C.Tool == 0 ? 3 : 1;
            E.FDitherType = 3;
        };
        const std::string After = Worked<TDecreaseColorForm>(
            E, "",
            [&](TDecreaseColorForm& F) {
                QRadioButton* B[] = {F.FlaxcButton, F.IzyinsButton, F.PngnqiButton};
                ClickMark(B[C.Tool]);
                EXPECT_EQ(Offered(F.DitheringList), C.Dithers);
                EXPECT_EQ(F.DitheringList->currentData().toInt(), C.Default);
                EXPECT_EQ(F.StrengthPanel->isVisible(), C.PaletteRows);
                EXPECT_EQ(F.OptionsPanel->isVisible(), C.PaletteRows);
                EXPECT_EQ(F.QualityPanel->isVisible(), !C.PaletteRows);
            },
            true, Prep);
        EXPECT_EQ(Stored(After, "DecreaseColor", "Mode"), std::to_string(C.Tool + 1));
        EXPECT_EQ(Stored(After, "DecreaseColor", "DitherType"), std::to_string(C.Default));
    }
}

TEST(SweepDialogs, ColourReductionShowsStoredValuesAndOnlyToolsPresent)
{
    TestApp();
    RegisterDecreaseColorForm(nullptr);
    struct TCase {
        const char* Name;
        uint32_t Flags;
        int Mode, StoredDither, StoredTransparent;
        int Checked; // button shown chosen, -1 none
        int Dither;
        int Transparent;
        bool Rows;
    } Cases[] = {
        // A stored dithering the tool has is shown as stored.
        {"flaxc anime", DC_FLAXC | DC_PNGNQ, 1, 4, 4, 0, 4, 4, true},
        {"flaxc gpeanos", DC_FLAXC, 1, 1, 3, 0, 1, 3, true},
        {"izyins jarvis", DC_IZYINS, 2, 3, 1, 1, 3, 1, true},
        {"izyins none", DC_IZYINS | DC_PNGNQ, 2, 0, 2, 1, 0, 2, true},
        // One it lacks gives the tool's own start.
        {"izyins gpeanos", DC_IZYINS, 2, 1, 0, 1, 2, 0, true},
        {"izyins anime", DC_IZYINS, 2, 4, 0, 1, 2, 0, true},
        {"pngnqi jarvis", DC_PNGNQ, 3, 3, 0, 2, 0, 0, false},
        {"pngnqi fs", DC_PNGNQ | DC_IZYINS, 3, 2, 0, 2, 2, 0, false},
        // A transparent colour out of range shows as none.
        {"transparent 5", DC_FLAXC, 1, 2, 5, 0, 2, 0, true},
        {"transparent -1", DC_FLAXC, 1, 2, -1, 0, 2, 0, true},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TDecreaseColorEffect E;
        const auto Prep = [&] {
            E.FFlags = C.Flags;
            E.FMode = C.Mode;
            E.FDitherType = C.StoredDither;
            E.FTransparentType = C.StoredTransparent;
        };
        Worked<TDecreaseColorForm>(
            E, "",
            [&](TDecreaseColorForm& F) {
                QRadioButton* B[] = {F.FlaxcButton, F.IzyinsButton, F.PngnqiButton};
                for (int i = 0; i < 3; ++i) {
                    EXPECT_EQ(B[i]->isEnabled(), bool(C.Flags & (1u << i))) << i;
                    EXPECT_EQ(B[i]->isChecked(), i == C.Checked) << i;
                }
                EXPECT_EQ(F.DitheringList->currentData().toInt(), C.Dither);
                EXPECT_EQ(F.TransparentList->currentIndex(), C.Transparent);
                EXPECT_EQ(F.StrengthPanel->isVisible(), C.Rows);
                EXPECT_EQ(F.QualityPanel->isVisible(), !C.Rows);
            },
            false, Prep);
    }
    // The stored tool absent: no tool chosen, no tool rows, and OK keeps the
    // stored tool.
    TDecreaseColorEffect E;
    const std::string After = Worked<TDecreaseColorForm>(
        E, "",
        [](TDecreaseColorForm& F) {
            for (QRadioButton* B : {F.FlaxcButton, F.IzyinsButton, F.PngnqiButton})
                EXPECT_FALSE(B->isChecked());
            EXPECT_FALSE(F.StrengthPanel->isVisible());
            EXPECT_FALSE(F.QualityPanel->isVisible());
        },
        true, [&] { E.FFlags = DC_IZYINS, E.FMode = 3; });
    EXPECT_EQ(Stored(After, "DecreaseColor", "Mode"), "3");
}

TEST(SweepDialogs, ColourReductionTypedValuesStoredClampedUnderTheirKeys)
{
    TestApp();
    RegisterDecreaseColorForm(nullptr);
    struct TCase {
        int Tool;
        const char* Colours;
        const char* Strength;
        const char* Quality;
        int TransparentDowns;
        std::vector<std::pair<const char*, const char*>> Keys;
    } Cases[] = {
        {0,
         "17",
         "3",
         "",
         2,
         {{"PaletteEntries", "17"}, {"DitherStr", "3"}, {"TransparentType", "2"}, {"Quality", "9"}}},
        {0, "999", "99", "", 9, {{"PaletteEntries", "256"}, {"DitherStr", "10"}, {"TransparentType", "4"}}},
        {0, "1", "", "", 0, {{"PaletteEntries", "2"}, {"DitherStr", "8"}, {"TransparentType", "0"}}},
        {2, "", "", "3", 0, {{"Quality", "3"}, {"PaletteEntries", "256"}, {"DitherStr", "8"}}},
        {2, "", "", "50", 0, {{"Quality", "10"}}},
        {2, "", "", "0", 0, {{"Quality", "1"}}},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(std::string(C.Colours) + "/" + C.Strength + "/" + C.Quality);
        TDecreaseColorEffect E;
        const std::string After = Worked<TDecreaseColorForm>(
            E, "",
            [&](TDecreaseColorForm& F) {
                auto TypeIn = [](QLineEdit* Edit, const char* Text) {
                    if (!*Text)
                        return;
                    Edit->setFocus();
                    Edit->selectAll();
                    QTest::keyClicks(Edit, Text);
                };
                TypeIn(F.ColorsEdit, C.Colours);
                TypeIn(F.StrengthEdit, C.Strength);
                TypeIn(F.QualityEdit, C.Quality);
                F.TransparentList->setFocus();
                for (int i = 0; i < C.TransparentDowns; ++i)
                    QTest::keyClick(F.TransparentList, Qt::Key_Down);
            },
            true, [&] { E.FFlags = DC_FLAXC | DC_IZYINS | DC_PNGNQ, E.FMode = C.Tool + 1; });
        for (const auto& [Key, Value] : C.Keys)
            EXPECT_EQ(Stored(After, "DecreaseColor", Key), Value) << Key;
    }
}

TEST(SweepDialogs, ToneCurveStoredHistogramValueDecodedAndWrittenBack)
{
    TestApp();
    RegisterToneCurveOptionForm(nullptr, {});
    struct TCase {
        int Stored;
        bool Shown;
        bool Log;
    } Cases[] = {{0, true, false}, {1, true, true}, {2, false, false}, {3, false, true}};
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Stored);
        TToneCurveEffect E;
        const std::string After = Worked<TToneCurveOptionForm>(
            E, "[ToneCurve]\nHistogram=" + std::to_string(C.Stored) + "\n", [&](TToneCurveOptionForm& F) {
                EXPECT_EQ(F.HistogramBox->isChecked(), C.Shown);
                EXPECT_EQ(F.LogScaleButton->isChecked(), C.Log);
                EXPECT_EQ(F.LinearScaleButton->isChecked(), !C.Log);
            });
        EXPECT_EQ(Stored(After, "ToneCurve", "Histogram"), std::to_string(C.Stored));
    }
    // Each of the two switched by a click lands on its own bit.
    struct TClick {
        int Start;
        bool Scale; // the scale's other button, else the histogram box
        int After;
    } Clicks[] = {{0, true, 1}, {0, false, 2}, {3, true, 2}, {3, false, 1}};
    for (const TClick& C : Clicks) {
        SCOPED_TRACE(C.Start * 10 + C.Scale);
        TToneCurveEffect E;
        const std::string After = Worked<TToneCurveOptionForm>(
            E, "[ToneCurve]\nPreview=1\nHistogram=" + std::to_string(C.Start) + "\n", [&](TToneCurveOptionForm& F) {
                if (C.Scale)
                    ClickMark(F.LogScaleButton->isChecked() ? F.LinearScaleButton : F.LogScaleButton);
                else
                    ClickMark(F.HistogramBox);
            });
        EXPECT_EQ(Stored(After, "ToneCurve", "Histogram"), std::to_string(C.After));
    }
}

// A value typed and confirmed with Return at once, the field never left:
// stored within the field's range all the same.
TEST(SweepDialogs, ColourReductionValueTypedAndConfirmedByReturnIsClamped)
{
    TestApp();
    RegisterDecreaseColorForm(nullptr);
    struct TCase {
        int Tool;
        int Field; // 0 colours, 1 strength, 2 quality
        const char* Typed;
        const char* Key;
        const char* Stored;
    } Cases[] = {
        {0, 0, "999", "PaletteEntries", "256"},
        {0, 0, "1", "PaletteEntries", "2"},
        {0, 0, "40", "PaletteEntries", "40"},
        {0, 1, "99", "DitherStr", "10"},
        {0, 1, "4", "DitherStr", "4"},
        {2, 2, "50", "Quality", "10"},
        {2, 2, "0", "Quality", "1"},
        {2, 2, "5", "Quality", "5"},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(std::string(C.Key) + " " + C.Typed);
        TDecreaseColorEffect E;
        const std::string After = Worked<TDecreaseColorForm>(
            E, "",
            [&](TDecreaseColorForm& F) {
                QLineEdit* Edit[] = {F.ColorsEdit, F.StrengthEdit, F.QualityEdit};
                Edit[C.Field]->setFocus();
                Edit[C.Field]->selectAll();
                QTest::keyClicks(Edit[C.Field], C.Typed);
                QTest::keyClick(Edit[C.Field], Qt::Key_Return);
                EXPECT_FALSE(F.isVisible()) << "Return presses OK";
            },
            true, [&] { E.FFlags = DC_FLAXC | DC_IZYINS | DC_PNGNQ, E.FMode = C.Tool + 1; });
        EXPECT_EQ(Stored(After, "DecreaseColor", C.Key), C.Stored);
    }
}

// With the preview off the histogram box is greyed but keeps its mark, and
// OK stores it as it was.
TEST(SweepDialogs, ToneCurveWithThePreviewOffKeepsTheHistogramChoice)
{
    TestApp();
    RegisterToneCurveOptionForm(nullptr, {});
    for (int H : {0, 1, 2, 3}) {
        SCOPED_TRACE(H);
        TToneCurveEffect E;
        const std::string After = Worked<TToneCurveOptionForm>(
            E, "[ToneCurve]\nPreview=0\nHistogram=" + std::to_string(H) + "\n", [&](TToneCurveOptionForm& F) {
                EXPECT_FALSE(F.PreviewBox->isChecked());
                EXPECT_FALSE(F.HistogramBox->isEnabled());
                EXPECT_EQ(F.HistogramBox->isChecked(), H < 2);
            });
        EXPECT_EQ(Stored(After, "ToneCurve", "Histogram"), std::to_string(H));
        EXPECT_EQ(Stored(After, "ToneCurve", "Preview"), "0");
    }
}

// The stored weights type shown, the weights the edits show for it, and the
// weights open to editing for the custom type only (any type the dialog
// does not know counts as custom).
TEST(SweepDialogs, GrayscaleShowsTheStoredTypeAndItsWeights)
{
    TestApp();
    RegisterGrayscaleForm(nullptr);
    struct TCase {
        int Type;
        int Shown;
        const char* Red;
        const char* Green;
        const char* Blue;
    } Cases[] = {
        {0, 0, "0.2990", "0.5870", "0.1140"},  {1, 1, "0.2125", "0.7154", "0.0721"},
        {2, 2, "0.5000", "0.2500", "0.1250"},  {5, 2, "0.5000", "0.2500", "0.1250"},
        {-1, 2, "0.5000", "0.2500", "0.1250"},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Type);
        TGrayscaleFilter E;
        const std::string After = Worked<TGrayscaleForm>(
            E, "[GrayscaleFilter]\nRed=5000\nGreen=2500\nBlue=1250\nType=" + std::to_string(C.Type) + "\n",
            [&](TGrayscaleForm& F) {
                EXPECT_EQ(F.WeightsList->currentIndex(), C.Shown);
                EXPECT_EQ(F.WeightsPanel->isEnabled(), C.Shown == 2);
                EXPECT_EQ(F.RedEdit->text().toStdString(), C.Red);
                EXPECT_EQ(F.GreenEdit->text().toStdString(), C.Green);
                EXPECT_EQ(F.BlueEdit->text().toStdString(), C.Blue);
            });
        EXPECT_EQ(Stored(After, "GrayscaleFilter", "Type"), std::to_string(C.Shown));
        // The custom weights are kept whatever type was shown.
        EXPECT_EQ(Stored(After, "GrayscaleFilter", "Red"), "5000");
        EXPECT_EQ(Stored(After, "GrayscaleFilter", "Blue"), "1250");
    }
}

// The sharpening dialog as the tone curve's: with the preview off the
// histogram box is greyed, keeps its mark and is stored as it was; the
// preview box switched on by a click opens the box again.
TEST(SweepDialogs, UnsharpMaskWithThePreviewOffKeepsTheHistogramChoice)
{
    TestApp();
    RegisterUnSharpMaskOptionForm(nullptr);
    for (const char* H : {"0", "1"})
        for (bool Click : {false, true}) {
            SCOPED_TRACE(std::string(H) + (Click ? " clicked" : ""));
            TUSMFilter E;
            const std::string After = Worked<TUnSharpMaskOptionForm>(
                E, std::string("[UnSharpMask]\nPreview=0\nHistogram=") + H + "\n", [&](TUnSharpMaskOptionForm& F) {
                    EXPECT_FALSE(F.HistogramBox->isEnabled());
                    EXPECT_EQ(F.HistogramBox->isChecked(), *H == '1');
                    if (Click) {
                        ClickMark(F.PreviewBox);
                        EXPECT_TRUE(F.HistogramBox->isEnabled());
                    }
                });
            EXPECT_EQ(Stored(After, "UnSharpMask", "Histogram"), H);
            EXPECT_EQ(Stored(After, "UnSharpMask", "Preview"), Click ? "1" : "0");
        }
}
