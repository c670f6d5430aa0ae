// The colour swatches of every dialog that has one, as the user sees them:
// each swatch grabbed as pixels shows the stored colour exactly, and again
// after a colour is chosen by clicking it, which OK stores.
#include "app/CombineOptionFrm.h"
#include "app/PNGOptionFrm.h"
#include "app/PictureFormatFrm.h"
#include "app/SystemOptionFrm.h"
#include "effects/ui/AddBlankDlg.h"
#include "effects/ui/AddTextDlg.h"
#include "tests/app/TestApp.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

QColor Rgb(uint32_t C)
{
    return QColor(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF);
}

// The pixels inside the swatch's one-pixel border that differ from C, as
// "x,y #rrggbb" for the first of them, or "" when every one is C.
std::string OffColour(QPushButton* Swatch, const QColor& C)
{
    const QImage I = Swatch->grab().toImage();
    if (I.width() < 6 || I.height() < 6)
        return "swatch too small";
    int Off = 0;
    std::string First;
    for (int y = 1; y < I.height() - 1; ++y)
        for (int x = 1; x < I.width() - 1; ++x)
            if (I.pixelColor(x, y).rgb() != C.rgb() && Off++ == 0)
                First = std::to_string(x) + "," + std::to_string(y) + " " + I.pixelColor(x, y).name().toStdString();
    return Off ? std::to_string(Off) + " pixels off, first " + First : "";
}

// Clicks the swatch as the user does and picks C in the colour dialog: its
// HTML field and its OK button. The pointer stays over the swatch.
void Choose(QPushButton* Swatch, const QColor& C)
{
    // The pointer first: moving it runs the events, the answer below too.
    QTest::mouseMove(Swatch);
    QTimer::singleShot(0, [C] {
        if (auto* D = qobject_cast<QColorDialog*>(QApplication::activeModalWidget())) {
            QLineEdit* Html = nullptr;
            for (QLineEdit* E : D->findChildren<QLineEdit*>())
                if (E->text().startsWith(QLatin1Char('#')))
                    Html = E;
            if (!Html) {
                D->reject();
                return;
            }
            Html->selectAll();
            QTest::keyClicks(Html, C.name());
            auto* Buttons = D->findChild<QDialogButtonBox*>();
            QPushButton* Ok = Buttons ? Buttons->button(QDialogButtonBox::Ok) : nullptr;
            if (Ok)
                QTest::mouseClick(Ok, Qt::LeftButton);
            else
                D->reject();
        }
    });
    QTest::mouseClick(Swatch, Qt::LeftButton);
}

struct TDialog {
    const char* Name;
    std::function<QDialog*()> Make;
    std::function<std::vector<QPushButton*>(QDialog*)> Swatches;
    std::vector<uint32_t> Stored;             // each swatch's colour when the dialog opens
    std::function<uint32_t()> Kept = nullptr; // what OK stored of the first swatch
};

} // namespace

TEST(Swatches, EachShowsItsColourExactlyWhenOpenedAndWhenChosen)
{
    EnsureApp();
    const TKeptSettings Kept;
    // Colours a style's gradient or hover shading would change, stored
    // afresh for each dialog (OK in one stores what the next one shows).
    auto Store = [] {
        Settings.Background.Red = 0x20, Settings.Background.Green = 0x40, Settings.Background.Blue = 0x80;
        Settings.Combine.BackgroundColor = 0x102030;
        Settings.PNG.IndexColor = true;
        Settings.PNG.TransparentType = 5; // "Fixed": the swatch shows
        Settings.PNG.TransparentColor = 0xF0E0D0;
    };
    TAddBlankParam Blank;
    Blank.Color = int32_t(0xFF336699u), Blank.Frame1Color = 0x010203, Blank.Frame2Color = 0xFEFDFC;
    Blank.Frame3Color = 0x7F7F7F, Blank.ShadowColor = 0x00C000;
    Blank.UseDropShadow = true; // its group enabled: the swatch can be clicked
    TAddTextParam Text;
    Text.BackColor = 0x808080, Text.ShadowColor = 0x0000FF, Text.GlowColor = 0xFFFF00;
    Text.Shadow = Text.Glow = true;
    const TFont Font{"DejaVu Sans", 1, 20, 0x2050A0, 0};
    auto Panel = [](QPushButton* P) { return std::vector<QPushButton*>{P}; };
    auto BG = [] {
        return uint32_t(Settings.Background.Red | Settings.Background.Green << 8 | Settings.Background.Blue << 16);
    };

    const TDialog Dialogs[] = {
        {"System",
         [] { return new TSystemOptionForm; },
         [&](QDialog* D) { return Panel(static_cast<TSystemOptionForm*>(D)->ColorPanel); },
         {0x804020},
         BG},
        {"Combine",
         [] { return new TCombineOptionForm; },
         [&](QDialog* D) { return Panel(static_cast<TCombineOptionForm*>(D)->ColorPanel); },
         {0x102030},
         [] { return uint32_t(Settings.Combine.BackgroundColor); }},
        {"FormatConversion",
         [] { return new TPictureFormatForm; },
         [&](QDialog* D) { return Panel(static_cast<TPictureFormatForm*>(D)->ColorPanel); },
         {0x804020},
         BG},
        {"PNG",
         [] { return new TPNGOptionForm(Settings.PNG); },
         [&](QDialog* D) { return Panel(static_cast<TPNGOptionForm*>(D)->ColorPanel); },
         {0xF0E0D0},
         [] { return uint32_t(Settings.PNG.TransparentColor); }},
        {"AddBlank",
         [&] {
             auto* F = new TAddBlankForm;
             F->SetParam(Blank, false);
             return F;
         },
         [](QDialog* D) {
             const auto& P = static_cast<TAddBlankForm*>(D)->ColorPanels;
             return std::vector<QPushButton*>(P.begin(), P.end());
         },
         {0x336699, 0x010203, 0xFEFDFC, 0x7F7F7F, 0x00C000}},
        {"AddText",
         [&] {
             auto* F = new TAddTextForm;
             F->SetParam(Text, Font, "x");
             return F;
         },
         [](QDialog* D) {
             auto* F = static_cast<TAddTextForm*>(D);
             return std::vector<QPushButton*>{F->FontColorPanel, F->BackColorPanel, F->ShadowColorPanel,
                                              F->GlowColorPanel};
         },
         {0x2050A0, 0x808080, 0x0000FF, 0xFFFF00}},
    };
    const QColor Chosen(0x9A, 0x31, 0xC4); // none of the stored colours
    for (const TDialog& Row : Dialogs) {
        Store();
        std::unique_ptr<QDialog> D(Row.Make());
        D->show();
        // Active, as a dialog the user opened.
        D->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(D.get())) << Row.Name;
        const std::vector<QPushButton*> Swatches = Row.Swatches(D.get());
        ASSERT_EQ(Swatches.size(), Row.Stored.size()) << Row.Name;
        for (size_t i = 0; i < Swatches.size(); ++i) {
            ASSERT_TRUE(Swatches[i]->isVisible()) << Row.Name << " " << i;
            EXPECT_EQ(OffColour(Swatches[i], Rgb(Row.Stored[i])), "") << Row.Name << " swatch " << i << " opened";
            Choose(Swatches[i], Chosen);
            EXPECT_EQ(OffColour(Swatches[i], Chosen), "") << Row.Name << " swatch " << i << " chosen";
        }
        if (Row.Kept) {
            D->accept();
            EXPECT_EQ(Row.Kept() & 0xFFFFFF, 0xC4319Au) << Row.Name;
        }
    }
}
