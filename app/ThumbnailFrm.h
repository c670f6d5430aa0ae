// The thumbnail window: the selected file's thumbnail in a small tool window
// beside the main window. Its place is kept as an offset from the main
// window's top-left corner in ThumbnailWindowSettings.Left / Top.
#pragma once
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <string>

class QAction;

// Where the window goes, all in screen pixels: MainFrame is the main window's
// frame, OwnFrame the thumbnail window's frame size, Screen the primary
// screen's size, (DX, DY) the stored offset. The window never hides part of
// the main window when the screen has room: the stored place when it is on
// the screen and off the main window; else right of the main window, left of
// it, below or above it, whichever fits first; else, on a screen too small
// for both, at the screen's edge on the side with more room, level with the
// main window's bottom.
QPoint ThumbnailWindowPos(const QRect& MainFrame, QSize OwnFrame, QSize Screen, int DX, int DY);

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
    void SetWndPosition();

    QImage Thumbnail; // 160 x 160, 24 bits per pixel
    std::string FPath;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    QWidget* FMainWindow;
    QAction* FShowAction;
};
