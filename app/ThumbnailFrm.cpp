#include "app/ThumbnailFrm.h"

#include "core/Global.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <filesystem>

namespace {
constexpr int ThumbSize = 160;
}

QPoint ThumbnailWindowPos(const QRect& MainFrame, QSize OwnFrame, int OwnClientHeight, QSize Screen,
                          int DX, int DY)
{
    const int W = Screen.width(), H = Screen.height();
    const int X = MainFrame.left() + DX, Y = MainFrame.top() + DY;
    if (X >= 0 && X + OwnFrame.width() <= W && Y >= 0 && Y + OwnFrame.height() <= H)
        return {X, Y};
    const int Top = MainFrame.top() + (OwnFrame.height() - OwnClientHeight);
    if (MainFrame.left() + MainFrame.width() <= W)
        return {MainFrame.left() + MainFrame.width() - OwnFrame.width(), Top};
    if (MainFrame.left() - OwnFrame.width() < 0)
        return {W - OwnFrame.width(), Top};
    return {MainFrame.left() - OwnFrame.width(), MainFrame.top()};
}

TThumbnailForm::TThumbnailForm(QWidget* MainWindow, QAction* ShowAction)
    : QWidget(MainWindow, Qt::Tool | Qt::WindowStaysOnTopHint), FMainWindow(MainWindow),
      FShowAction(ShowAction)
{
    Thumbnail = QImage(ThumbSize, ThumbSize, QImage::Format_RGB888);
    Thumbnail.fill(palette().color(QPalette::Button));
    setFixedSize(ThumbSize, ThumbSize);
}

void TThumbnailForm::SetThumbnail(const QImage* Bitmap, const std::string& Path)
{
    Thumbnail.fill(palette().color(QPalette::Button));
    if (Bitmap && !Bitmap->isNull()) {
        QPainter P(&Thumbnail);
        // Integer halves: an odd margin leaves the extra pixel right / below.
        P.drawImage(QPoint((ThumbSize - Bitmap->width()) / 2, (ThumbSize - Bitmap->height()) / 2), *Bitmap);
    }
    update();
    FPath = Path;
    setWindowTitle(QString::fromStdString(std::filesystem::path(Path).filename().string()));
}

void TThumbnailForm::SetWndPosition()
{
    const QScreen* Screen = QGuiApplication::primaryScreen();
    if (!Screen || !FMainWindow)
        return;
    const QPoint P = ThumbnailWindowPos(FMainWindow->frameGeometry(), frameGeometry().size(), height(),
                                        Screen->size(), ThumbnailWindowSettings.Left,
                                        ThumbnailWindowSettings.Top);
    move(P);
}

void TThumbnailForm::paintEvent(QPaintEvent*)
{
    QPainter P(this);
    P.drawImage(0, 0, Thumbnail);
}

void TThumbnailForm::showEvent(QShowEvent* Event)
{
    if (FShowAction)
        FShowAction->setChecked(true);
    SetWndPosition();
    QWidget::showEvent(Event);
}

void TThumbnailForm::hideEvent(QHideEvent* Event)
{
    if (FMainWindow) {
        const QRect Main = FMainWindow->frameGeometry(), Own = frameGeometry();
        ThumbnailWindowSettings.Left = Own.left() - Main.left();
        ThumbnailWindowSettings.Top = Own.top() - Main.top();
    }
    QWidget::hideEvent(Event);
}

void TThumbnailForm::closeEvent(QCloseEvent* Event)
{
    if (FShowAction)
        FShowAction->setChecked(false);
    QWidget::closeEvent(Event);
}
