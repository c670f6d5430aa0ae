// Every dialog with a title, shown under a real window manager (openbox on a
// 1366 x 768 Xvfb screen): wide enough for the title bar to show the whole
// title, in the bar's bold font beside its icon and buttons.
#include "effects/ResizeFilter.h"
#include "effects/ui/WindowLook.h"
#include "core/Global.h"
#include "core/ResourceText.h"
#include "tests/WindowManagerFixture.h"
#include "tests/app/AppDialogs.h"
#include "tests/app/TestApp.h"
#include "tests/effectsui/DialogLayout.h"
#include "tests/effectsui/EffectDialogs.h"

#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <memory>
#include <set>
#include <string>

namespace {

class DialogTitlesUnderWM : public WindowManagerTest {
protected:
    // Shows D until openbox has framed it; checks its title and takes a
    // screenshot (with VESTRO_DIALOG_SHOTS set).
    static void Look(QWidget* D, const char* Name)
    {
        ASSERT_FALSE(SettledFrame(D).isNull()) << Name;
        const QString Title = D->windowTitle();
        EXPECT_FALSE(Title.isEmpty()) << Name;
        EXPECT_GE(D->width(), OpenboxTitleWidth(Title)) << Name << ": " << Title.toStdString();
        EXPECT_LE(WindowFrame(D).width(), 1366) << Name;
        ScreenShot(Name);
    }
};

} // namespace

TEST_F(DialogTitlesUnderWM, EveryDialogShowsItsWholeTitleWhateverTheInterfaceFont)
{
    const TKeptSettings Kept;
    TEffectList Effects;
    Effects.AddFilter(std::make_unique<TResizeFilter>());
    auto Dialogs = AppDialogs(Effects);
    for (const auto& D : AllEffectDialogs())
        Dialogs.push_back(D);
    // The title bar keeps its own font when the user picks a small one for
    // the dialogs.
    for (const int Size : {0, 6}) {
        Settings.UIFontName = Size ? "DejaVu Sans" : "";
        Settings.UIFontSize = Size;
        for (const auto& [Name, Make] : Dialogs) {
            std::unique_ptr<QDialog> D(Make());
            D->show();
            Look(D.get(), Name);
        }
    }
}

// Translated titles are longer ("Externer Betrachter") or drawn in other
// glyphs: each dialog is as wide as its title in the language it opens in.
TEST_F(DialogTitlesUnderWM, TranslatedTitlesShowWhole)
{
    const TKeptSettings Kept;
    const std::string KeptDir = Startup.ExeDir;
    Startup.ExeDir = VESTRO_DIST_DIR "/"; // the built catalogues
    TEffectList Effects;
    Effects.AddFilter(std::make_unique<TResizeFilter>());
    auto Dialogs = AppDialogs(Effects);
    for (const auto& D : AllEffectDialogs())
        Dialogs.push_back(D);
    for (const char* Code : {"de", "ja"}) {
        SetInterfaceLanguage(Code);
        std::set<QString> Titles;
        for (const auto& [Name, Make] : Dialogs) {
            std::unique_ptr<QDialog> D(Make());
            D->show();
            Titles.insert(D->windowTitle());
            Look(D.get(), (std::string(Code) + "_" + Name).c_str());
        }
        // Translated indeed: no dialog keeps its English title.
        EXPECT_FALSE(Titles.count(QStringLiteral("Metadata Settings"))) << Code;
        EXPECT_GT(Titles.size(), 15u) << Code;
    }
    SetInterfaceLanguage("en");
    Startup.ExeDir = KeptDir;
}

// A title longer than any screen could show (a caption the user wrote) is
// cut; the box stays on the screen.
TEST_F(DialogTitlesUnderWM, ATitleNoScreenCouldShowLeavesTheBoxOnTheScreen)
{
    bool Seen = false;
    QTimer::singleShot(0, [&] {
        QWidget* Box = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (Box = QApplication::activeModalWidget()) != nullptr; }, 10000));
        const QRect Frame = SettledFrame(Box);
        Seen = true;
        EXPECT_TRUE(QRect(0, 0, 1366, 768).contains(Frame)) << Frame.x() << "," << Frame.y() << " " << Frame.width();
        QTest::keyClick(Box, Qt::Key_Return);
    });
    ShowMessageBox(nullptr, QMessageBox::Information, QString(300, QLatin1Char('W')), "Done.");
    EXPECT_TRUE(Seen);
}

// The message boxes the windows show: a long title over a short question,
// and a long one over a short warning.
TEST_F(DialogTitlesUnderWM, MessageBoxesShowTheirWholeTitle)
{
    const struct {
        const char* Name;
        QMessageBox::Icon Icon;
        const char* Title;
        QMessageBox::StandardButtons Buttons;
        QMessageBox::StandardButton Default, Answer;
    } Cases[] = {
        {"QuestionBox", QMessageBox::Question, "Vestro Image Resizer - settings of the whole studio",
         QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel, QMessageBox::Cancel},
        {"WarningBox", QMessageBox::Warning, "Error", QMessageBox::Ok, QMessageBox::NoButton, QMessageBox::Ok},
    };
    for (const auto& C : Cases) {
        bool Seen = false;
        QTimer::singleShot(0, [&] {
            QWidget* Box = nullptr;
            ASSERT_TRUE(WaitFor([&] { return (Box = QApplication::activeModalWidget()) != nullptr; }, 10000));
            Look(Box, C.Name);
            Seen = true;
            // Return answers the default button, Escape the cancelling one.
            QTest::keyClick(Box, C.Answer == QMessageBox::Cancel ? Qt::Key_Escape : Qt::Key_Return);
        });
        EXPECT_EQ(ShowMessageBox(nullptr, C.Icon, C.Title, "OK?", C.Buttons, C.Default), C.Answer) << C.Name;
        EXPECT_TRUE(Seen) << C.Name;
    }
}
