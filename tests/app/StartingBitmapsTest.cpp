// What the thumbnail window and the about box show before a picture is
// drawn on them: the window's own colour, never stale memory or black.
#include "TestApp.h"

#include "app/AboutFrm.h"
#include "app/ThumbnailFrm.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPainter>

namespace {

// The application's palette with the button and window colours apart (as in
// many a desktop's), for as long as it lives.
struct TPaletteApart {
    QPalette Kept = QApplication::palette();
    TPaletteApart()
    {
        QPalette P = Kept;
        P.setColor(QPalette::Button, QColor(0xD4, 0xD0, 0xC8));
        P.setColor(QPalette::Window, QColor(0xEC, 0xE9, 0xD8));
        QApplication::setPalette(P);
    }
    ~TPaletteApart() { QApplication::setPalette(Kept); }
};

} // namespace

TEST(ThumbnailForm, AnEmptyThumbnailIsTheButtonColourThroughout)
{
    EnsureApp();
    const TPaletteApart Apart;
    QWidget Main;
    QAction Show;
    TThumbnailForm Thumb(&Main, &Show);
    const QColor Button = QColor(0xD4, 0xD0, 0xC8);
    ASSERT_EQ(Thumb.Thumbnail.size(), QSize(160, 160));
    EXPECT_EQ(Thumb.Thumbnail.format(), QImage::Format_RGB888);
    for (const QPoint P : {QPoint(0, 0), QPoint(159, 159), QPoint(80, 80), QPoint(159, 0)})
        EXPECT_EQ(Thumb.Thumbnail.pixelColor(P), Button) << P.x() << "," << P.y();
}

// An icon with a transparent half: the box's own colour shows through it.
TEST(AboutForm, TheIconLiesOnTheWindowColour)
{
    EnsureApp();
    const QIcon Kept = QApplication::windowIcon();
    QPixmap Half(64, 64);
    Half.fill(Qt::transparent);
    QPainter(&Half).fillRect(32, 0, 32, 64, Qt::red);
    QApplication::setWindowIcon(QIcon(Half));
    {
        const TPaletteApart Apart;
        TAboutForm F;
        F.show();
        const QImage Icon = F.IconImage->pixmap().toImage();
        ASSERT_EQ(Icon.size(), QSize(48, 48));
        EXPECT_EQ(Icon.pixelColor(4, 24), QColor(0xEC, 0xE9, 0xD8));
        EXPECT_EQ(Icon.pixelColor(44, 24), QColor(Qt::red));
    }
    QApplication::setWindowIcon(Kept);
}
