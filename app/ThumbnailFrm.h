// The thumbnail window: the selected file's thumbnail in a small stay-on-top
// window beside the main window. Its place is kept as an offset from the main
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
// frame, OwnFrame the thumbnail window's frame size, OwnClientHeight its
// client height (the difference is its title bar), Screen the primary
// screen's size, (DX, DY) the stored offset. The stored place when the window
// fits on the screen there; else inside the main window's top-right corner
// below its own title bar; else at the screen's right edge when the main
// window sticks out on the left; else left of the main window.
QPoint ThumbnailWindowPos(const QRect& MainFrame, QSize OwnFrame, int OwnClientHeight, QSize Screen,
                          int DX, int DY);

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
