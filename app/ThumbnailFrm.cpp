#include "app/ThumbnailFrm.h"

#include "app/WindowFuncs.h"
#include "core/Global.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cstdint>
#include <optional>

#include <filesystem>

namespace {
constexpr int ThumbSize = 160;
}

QPoint ThumbnailWindowPos(const QRect& MainFrame, QSize OwnFrame, int OwnTitle, QSize Screen, int DX, int DY)
{
    // In 64 bits: a stored offset may be anything a settings file holds.
    const int64_t W = Screen.width(), H = Screen.height();
    const int64_t OwnW = OwnFrame.width(), OwnH = OwnFrame.height();
    const int64_t MainL = MainFrame.left(), MainT = MainFrame.top(), MainW = MainFrame.width();
    int64_t X = MainL + DX, Y = MainT + DY;
    if (X < 0 || X + OwnW > W || Y < 0 || Y + OwnH > H) {
        // Inside the main window's top-right corner, moved down by the title
        // bar; at the screen's right edge when the main window runs off it;
        // else beside the main window on its left.
        Y = MainT + OwnTitle;
        if (MainL + MainW <= W)
            X = MainL + MainW - OwnW;
        else if (MainL - OwnW < 0)
            X = W - OwnW;
        else
            X = MainL - OwnW, Y = MainT;
    }
    // A main window partly off the screen leaves the corner off it too: the
    // window stays where it can be seen (its top-left corner, when it is
    // larger than the screen).
    X = std::max<int64_t>(0, std::min(X, W - OwnW));
    Y = std::max<int64_t>(0, std::min(Y, H - OwnH));
    return {int(X), int(Y)};
}

namespace {
// The frame the window manager put around W's window; null while it has none
// (never shown, not framed yet, or no window manager at all). A window being
// hidden still has the frame it was shown in.
QMargins FrameMarginsOf(const QWidget* W)
{
    const QWindow* Handle = W ? W->windowHandle() : nullptr;
    return Handle && Handle->handle() ? Handle->frameMargins() : QMargins();
}
} // namespace

TThumbnailForm::TThumbnailForm(QWidget* MainWindow, QAction* ShowAction)
    // A tool window of the main window: kept above it, not above the
    // dialogs it opens or other programs' windows.
    : QWidget(MainWindow, Qt::Tool), FMainWindow(MainWindow), FShowAction(ShowAction)
{
    FFramedTimer.setInterval(20);
    connect(&FFramedTimer, &QTimer::timeout, this, &TThumbnailForm::PlaceOnceFramed);
    Thumbnail = CreateFilledBitmap(ThumbSize, ThumbSize, QImage::Format_RGB888, palette().color(QPalette::Button));
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

std::optional<QPoint> TThumbnailForm::ClientPlace() const
{
    const QScreen* Screen = QGuiApplication::primaryScreen();
    if (!Screen || !FMainWindow)
        return std::nullopt;
    // The place is the frame's. Until the window manager has framed this
    // window, its frame is taken to be like the main window's.
    const QMargins MainFrame = FrameMarginsOf(FMainWindow), Known = FrameMarginsOf(this);
    const QMargins Own = Known.isNull() ? MainFrame : Known;
    const QRect Main = FMainWindow->geometry().marginsAdded(MainFrame);
    const QPoint P = ThumbnailWindowPos(Main, size().grownBy(Own), std::max(Own.top(), MainFrame.top()), Screen->size(),
                                        Settings.Thumbnail.Left, Settings.Thumbnail.Top);
    return P + QPoint(Own.left(), Own.top());
}

void TThumbnailForm::SetWndPosition()
{
    // Placed by the client area's corner: a frame-inclusive move of a window
    // that has no frame yet would put the client there and the frame above.
    const std::optional<QPoint> Client = ClientPlace();
    if (Client && geometry().topLeft() != *Client)
        setGeometry(QRect(*Client, size()));
}

void TThumbnailForm::PlaceOnceFramed()
{
    // Up to 10 s for a busy window manager; without one nothing gets a frame.
    if (!isVisible() || ++FFramedTries > 500) {
        FFramedTimer.stop();
        return;
    }
    if (FrameMarginsOf(this).isNull() || FrameMarginsOf(FMainWindow).isNull())
        return;
    // The window manager may still move either window a little after it
    // framed them: done once this one has stayed at its place beside the
    // main window for a fifth of a second. A window manager that keeps
    // putting it elsewhere is not fought for long.
    const std::optional<QPoint> Client = ClientPlace();
    if (Client && geometry().topLeft() != *Client && FPlacings < 10) {
        ++FPlacings;
        FSettledTicks = 0;
        setGeometry(QRect(*Client, size()));
    } else if (++FSettledTicks >= 10) {
        FFramedTimer.stop();
    }
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
    // The frame's size and the main window's are known only once the window
    // manager has framed both: placed again then.
    FFramedTries = FSettledTicks = FPlacings = 0;
    FFramedTimer.start();
}

void TThumbnailForm::hideEvent(QHideEvent* Event)
{
    FFramedTimer.stop();
    if (FMainWindow) {
        // The offset between the two frames, as the window manager drew them.
        const QRect Main = FMainWindow->geometry().marginsAdded(FrameMarginsOf(FMainWindow));
        const QRect Own = geometry().marginsAdded(FrameMarginsOf(this));
        Settings.Thumbnail.Left = Own.left() - Main.left();
        Settings.Thumbnail.Top = Own.top() - Main.top();
    }
    QWidget::hideEvent(Event);
}

void TThumbnailForm::closeEvent(QCloseEvent* Event)
{
    if (FShowAction)
        FShowAction->setChecked(false);
    QWidget::closeEvent(Event);
}
