// The preview window: one picture in two versions, "after" (index 0) and
// "before" (index 1), fitted to the window or magnified to 100..400 per cent,
// with an optional selection rectangle edited by the mouse.
//
// The window does not own the pictures: its owner hands it pointers to image
// records that stay valid (and may have their blocks replaced) while shown.
// GUI thread only.
#pragma once
#include "core/ImgInfo.h"
#include "effects/ui/PreviewGeometry.h"
#include "effects/ui/PreviewWindows.h"
#include "effects/Effect.h" // TSize

#include <QWidget>
#include <functional>

class QAction;
class QLabel;
class QMenu;
class QScrollBar;
class QTimer;

class TPreviewForm : public QWidget {
    Q_OBJECT
public:
    enum TDragMode { dmNone, dmRect, dmMove };
    using TNotifyEvent = std::function<void(QObject* Sender)>;
    // May adjust r; the window applies its own rectangle regardless, except
    // after SelectAll, where the adjusted rectangle is taken.
    using TChangeSelectRectEvent = std::function<void(TRect& r, QObject* Sender)>;

    // Size, place and view mode come from Settings.Preview; they are stored back
    // when the window is destroyed. The window stays above Owner.
    explicit TPreviewForm(QWidget* Owner = nullptr);
    ~TPreviewForm() override;

    // Shows ptr (after) and ptr2 (before, may be null) titled _Title.
    // IsSizeLock is accepted for the callers' sake and has no effect.
    void SetPreviewImage(TImgInfo* ptr, TImgInfo* ptr2, bool IsSizeLock, const QString& _Title);
    // The same two pictures already fitted to the window (fit view); not repainted.
    void SetAllViewImage(TImgInfo* ptr, TImgInfo* ptr2);
    // Call after a picture's block or size changed: the drawing follows the
    // records as they are now.
    void UpdateBitmapInfo();
    // The area available to the picture, in screen pixels.
    TSize GetClientSize() const;
    // The visible picture region, in image pixels with memory rows (see
    // previewgeom::MagnifiedViewRect); the fitted picture's size in the fit view.
    TRect GetViewRect() const;
    // (Left, Top)-(Right, Bottom) in image pixels, y from the top; a negative
    // Left or Top removes the selection. The status bar shows the new selection.
    void SetSelectRect(const TRect& r);
    void SetSelectSize(const TSize& s) { SelectSize = s; }
    TRect SelectRect() const { return TRect{SX, SY, SX2, SY2}; }
    // Enables select mode and the selection menu items once assigned.
    void SetOnChangeSelectRect(TChangeSelectRectEvent Event);
    // 0 fit view, 1..4 = 100..400 per cent; as if the menu item were clicked.
    void SetViewMode(int32_t Mode);
    int32_t ViewMode() const { return FViewMode; }
    double GetZoom() const { return Zoom; }
    int32_t ShownIndex() const { return ImgIndex; }
    QWidget* PaintBox() const { return PictureBox; }
    // Repaints the picture area.
    void RepaintPicture();
    // Maps the shown window again where it is, view unchanged: a window
    // manager learns only at mapping which window this one belongs to, and
    // the owner may not have been mapped yet the first time.
    void Remap();

    // A resize of the window by the window manager (the user dragging its
    // frame) counts as ended when no other has come for this long.
    static constexpr int ResizeSettleMs = 200;

    // Owners set these; each fires only when assigned, with the window as Sender.
    // OnResized fires at once after a resize by the program, and once at the
    // end of a resize by the window manager.
    TNotifyEvent OnChangeViewMode, OnResized, OnClosed, OnNextImg, OnPrevImg;
    int32_t DlgWidth = 0; // width of the dialog placed beside this window
    bool CanMove = true;  // mouse presses are accepted

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* Obj, QEvent* e) override;

private:
    friend class TPreviewPaintBox;
    void PaintPicture(QPainter& P);
    void DrawSelection(QPainter& P, const QRect& R);
    void DrawPicture(QPainter& P, const TImgInfo& Img, const TRect& Rect, int32_t DestX, int32_t DestY, int32_t Zoom);
    void LayoutPaintBox();
    void CalcFitZoom();
    void UpdateCaption();
    void ViewModeClicked(int32_t Mode);
    void PaintBoxMouseDown(QMouseEvent* e);
    void PaintBoxMouseMove(QMouseEvent* e);
    void ScrollBarChanged(bool Horizontal, int Value);
    void EditSelectClicked();
    void SelectAllClicked();
    void SetScrollPositions();
    void LimitScroll();
    void AfterSizeSettled();
    const TImgInfo* Shown() const { return Img[ImgIndex]; }
    const TImgInfo* ShownFit() const { return AllViewImg[ImgIndex]; }

    TImgInfo* Img[2] = {nullptr, nullptr};
    TImgInfo* AllViewImg[2] = {nullptr, nullptr};
    bool IsResizing = false;         // the window manager is resizing the window
    QTimer* FResizeSettle = nullptr; // restarted by each resize from the window manager
    bool FResizeHandler = false;     // resizes are handled only after the first paint
    QString Title;
    int32_t ImgIndex = 0;
    double Zoom = 1.0;
    int32_t FViewMode = 0;
    int32_t VX = 0, VY = 0;
    int32_t SX = -1, SY = -1, SX2 = 0, SY2 = 0, SX3 = 0, SY3 = 0;
    int32_t PreX = 0, PreY = 0;
    bool SelectMode = false;
    int32_t SelectType = 0;
    TSize SelectSize{0, 0};
    TDragMode DragMode = dmNone;
    TChangeSelectRectEvent FOnChangeSelectRect;
    bool IsAllSelect = false;

    QWidget* PictureArea = nullptr;
    QWidget* PictureBox = nullptr;
    QScrollBar* HorizontalBar = nullptr; // horizontal
    QScrollBar* VerticalBar = nullptr;   // vertical
    QWidget* CornerPanel = nullptr;
    QLabel* StatusPanel[2] = {nullptr, nullptr};
    QMenu* ViewMenu = nullptr;
    QAction* ViewItems[5] = {};
    QAction* EditSelect = nullptr;
    QAction* SelectAll = nullptr;
    bool FSettingScroll = false;
    bool FWasShown = false;
    bool FRemapping = false; // showEvent leaves place and view alone
};
