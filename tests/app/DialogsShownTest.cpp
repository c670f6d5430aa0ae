// Every option dialog as the main window opens it: shown, it fits a
// 1366 x 768 screen and no control covers another.
#include "effects/ResizeFilter.h"
#include "tests/app/AppDialogs.h"
#include "tests/app/TestApp.h"
#include "tests/effectsui/DialogLayout.h"

#include <QLabel>

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
        // Wide enough for a title bar to show the whole title in bold,
        // beside the window's icon and its three buttons.
        QFont Bold = D->font();
        Bold.setBold(true);
        EXPECT_GE(D->width(), QFontMetrics(Bold).horizontalAdvance(D->windowTitle()) + 100) << Name;
        ScreenShot(Name);
    }
}

TEST(AboutForm, ShowsTheApplicationIconAndNoEmptySquareWithoutOne)
{
    EnsureApp();
    const QIcon Kept = QApplication::windowIcon();
    QPixmap Red(64, 64);
    Red.fill(Qt::red);
    for (const QIcon& Icon : {QIcon(Red), QIcon()}) {
        QApplication::setWindowIcon(Icon);
        TAboutForm F;
        F.show();
        EXPECT_EQ(F.IconImage->isVisible(), !Icon.isNull());
        if (!Icon.isNull()) {
            EXPECT_EQ(F.IconImage->pixmap().toImage().pixelColor(24, 24), QColor(Qt::red));
        }
        EXPECT_EQ(LayoutFaults(&F), "");
        // The program has no web page: no made-up address.
        for (const QLabel* L : F.findChildren<QLabel*>())
            EXPECT_FALSE(L->text().contains(QLatin1String("://")) || L->text().contains(QLatin1String("www.")))
                << L->text().toStdString();
    }
    QApplication::setWindowIcon(Kept);
}
