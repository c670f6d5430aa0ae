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

QPoint ThumbnailWindowPos(const QRect& MainFrame, QSize OwnFrame, int OwnTitle, QSize Screen, int DX, int DY)
{
    const int W = Screen.width(), H = Screen.height();
    const QPoint Stored(MainFrame.left() + DX, MainFrame.top() + DY);
    if (Stored.x() >= 0 && Stored.x() + OwnFrame.width() <= W && Stored.y() >= 0 &&
        Stored.y() + OwnFrame.height() <= H)
        return Stored;
    // Inside the main window's top-right corner, moved down by our own
    // title bar; at the screen's right edge when the main window runs off
    // it; else beside the main window on its left.
    const int Top = MainFrame.top() + OwnTitle;
    if (MainFrame.left() + MainFrame.width() <= W)
        return {MainFrame.left() + MainFrame.width() - OwnFrame.width(), Top};
    if (MainFrame.left() - OwnFrame.width() < 0)
        return {W - OwnFrame.width(), Top};
    return {MainFrame.left() - OwnFrame.width(), MainFrame.top()};
}

TThumbnailForm::TThumbnailForm(QWidget* MainWindow, QAction* ShowAction)
    // A tool window of the main window: kept above it, not above the
    // dialogs it opens or other programs' windows.
    : QWidget(MainWindow, Qt::Tool), FMainWindow(MainWindow),
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
    // Before the window manager framed us once, our title bar is taken to
    // be as high as the main window's.
    const QRect Own = frameGeometry(), Main = FMainWindow->frameGeometry();
    const int Title = Own.height() > height() ? Own.height() - height() : FMainWindow->geometry().top() - Main.top();
    const QPoint P = ThumbnailWindowPos(Main, Own.size(), Title,
                                        Screen->size(), ThumbnailWindowSettings.Left, ThumbnailWindowSettings.Top);
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
