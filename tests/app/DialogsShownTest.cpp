// Every option dialog as the main window opens it: shown, it fits a
// 1366 x 768 screen and no control covers another.
#include "core/Global.h"
#include "effects/Effect.h"
#include "effects/ResizeFilter.h"
#include "tests/app/AppDialogs.h"
#include "tests/app/TestApp.h"
#include "tests/effectsui/DialogLayout.h"

#include <QLabel>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

TEST(OptionDialogs, EachOneShowsWholeAndUncovered)
{
    EnsureApp();
    TEffectList Effects;
    Effects.AddFilter(std::make_unique<TResizeFilter>());
    for (const auto& [Name, Make] : AppDialogs(Effects)) {
        std::unique_ptr<QDialog> D(Make());
        D->show();
        EXPECT_EQ(LayoutFaults(D.get()), "") << Name;
        ScreenShot(Name);
    }
}

TEST(AboutForm, ShowsTheApplicationIcon)
{
    EnsureApp();
    const QIcon Kept = QApplication::windowIcon();
    QPixmap Red(64, 64);
    Red.fill(Qt::red);
    QApplication::setWindowIcon(QIcon(Red));
    {
        TAboutForm F;
        F.show();
        EXPECT_TRUE(F.IconImage->isVisible());
        EXPECT_EQ(F.IconImage->pixmap().toImage().pixelColor(24, 24), QColor(Qt::red));
    }
    QApplication::setWindowIcon(QIcon());
    {
        TAboutForm F;
        F.show();
        EXPECT_FALSE(F.IconImage->isVisible()) << "no empty square without an icon";
        EXPECT_EQ(LayoutFaults(&F), "");
    }
    QApplication::setWindowIcon(Kept);
}
