#include "app/ThumbnailFrm.h"

#include "core/Global.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <filesystem>

namespace {
constexpr int ThumbSize = 160;
}

QPoint ThumbnailWindowPos(const QRect& MainFrame, QSize OwnFrame, QSize Screen, int DX, int DY)
{
    const QRect Desk(QPoint(0, 0), Screen);
    const int W = Screen.width(), H = Screen.height();
    const int OwnW = OwnFrame.width(), OwnH = OwnFrame.height();
    // On the screen and off the main window: nothing of it is hidden.
    auto Free = [&](QPoint P) {
        const QRect R(P, OwnFrame);
        return Desk.contains(R) && !R.intersects(MainFrame);
    };
    const QPoint Stored(MainFrame.left() + DX, MainFrame.top() + DY);
    if (Free(Stored))
        return Stored;
    const int Top = std::clamp(MainFrame.top(), 0, std::max(0, H - OwnH));
    const int RightAligned = std::clamp(MainFrame.right() + 1 - OwnW, 0, std::max(0, W - OwnW));
    for (const QPoint P : {QPoint(MainFrame.right() + 1, Top), QPoint(MainFrame.left() - OwnW, Top),
                           QPoint(RightAligned, MainFrame.bottom() + 1), QPoint(RightAligned, MainFrame.top() - OwnH)})
        if (Free(P))
            return P;
    // No room beside it: at the screen's edge on the side with more room,
    // level with the main window's bottom, away from its title bar, tool
    // bars and effect rows.
    const bool RightSide = W - (MainFrame.right() + 1) >= MainFrame.left();
    return {RightSide ? std::max(0, W - OwnW) : 0, std::clamp(MainFrame.bottom() + 1 - OwnH, 0, std::max(0, H - OwnH))};
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
    const QPoint P = ThumbnailWindowPos(FMainWindow->frameGeometry(), frameGeometry().size(), Screen->size(),
                                        ThumbnailWindowSettings.Left, ThumbnailWindowSettings.Top);
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
