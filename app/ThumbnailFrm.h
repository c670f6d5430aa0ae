// The thumbnail window: the selected file's thumbnail in a small tool window
// beside the main window. Its place is kept as an offset from the main
// window's top-left corner in Settings.Thumbnail.Left / Top.
#pragma once
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QTimer>
#include <QWidget>

#include <optional>
#include <string>

class QAction;

// Where the window goes, all in screen pixels: MainFrame is the main window's
// frame, OwnFrame the thumbnail window's frame size and OwnTitle the height
// of the title bar to stay below (frame height - client height), Screen the
// primary screen's size, (DX, DY) the stored offset (any value). The stored
// place when the whole window is on the screen there (the default offset
// -65535 never is); else inside the main window's top-right corner below
// OwnTitle; when the main window runs off the screen's right edge, at that
// edge; when that is no better either, left of the main window. The result
// always lies on the screen (at its top-left corner when the window is larger).
QPoint ThumbnailWindowPos(const QRect& MainFrame, QSize OwnFrame, int OwnTitle, QSize Screen, int DX, int DY);

class TThumbnailForm : public QWidget {
    Q_OBJECT
public:
    // MainWindow (not owned) is the window it stays beside; ShowAction, when
    // given, is checked while the window shows.
    explicit TThumbnailForm(QWidget* MainWindow, QAction* ShowAction = nullptr);

    // Shows Bitmap (null: none) centred on the button-face background;
    // bitmaps larger than 160 x 160 are cut. Path becomes FPath and its file
    // name the caption.
    void SetThumbnail(const QImage* Bitmap, const std::string& Path);
    // Puts the frame at its place beside the main window (above) and, shown,
    // once more when the window manager has framed both windows.
    void SetWndPosition();
    // True from a show until the window manager has framed both windows and
    // this one stays at its place.
    bool IsPlacing() const { return FFramedTimer.isActive(); }

    QImage Thumbnail; // 160 x 160, 24 bits per pixel
    std::string FPath;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    // Where the client area goes for the frame to be at its place; none
    // without a screen or a main window.
    std::optional<QPoint> ClientPlace() const;
    void PlaceOnceFramed();

    QWidget* FMainWindow;
    QAction* FShowAction;
    QTimer FFramedTimer; // runs from a show until both windows are framed and it stays put
    int FFramedTries = 0, FSettledTicks = 0, FPlacings = 0;
};
