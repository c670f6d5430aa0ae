#include "effects/ui/PreviewFrm.h"

#include "core/Global.h"
#include "effects/DrawImage.h"
#include "platform/Intl.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

QString Tr(const char* Text)
{
    return QString::fromStdString(platform::IntlTranslate("default", Text));
}

} // namespace

using namespace previewgeom;

// ------------------------------------------------------------------ paint box

class TPreviewPaintBox : public QWidget {
public:
    explicit TPreviewPaintBox(TPreviewForm* Form, QWidget* Parent) : QWidget(Parent), FForm(Form)
    {
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter P(this);
        FForm->PaintPicture(P);
    }
    void mousePressEvent(QMouseEvent* e) override { FForm->PaintBoxMouseDown(e); }
    void mouseMoveEvent(QMouseEvent* e) override { FForm->PaintBoxMouseMove(e); }
    void mouseReleaseEvent(QMouseEvent*) override { FForm->DragMode = TPreviewForm::dmNone; }
    void leaveEvent(QEvent*) override { FForm->DragMode = TPreviewForm::dmNone; }

private:
    TPreviewForm* FForm;
};

// ------------------------------------------------------------------ the window

// A window of dialog type: only those are kept above their owner by the
// window manager (a plain top-level window opened while the owner has the
// focus is stacked beneath it). It keeps the frame buttons of a normal window.
TPreviewForm::TPreviewForm(QWidget* Owner)
    : QWidget(Owner,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                  Qt::WindowCloseButtonHint)
{
    setFocusPolicy(Qt::StrongFocus);
    // Shown beside the dialog that keeps the keys; a click gives them to this window.
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->setSpacing(0);

    PictureArea = new QWidget(this);
    PictureArea->setAutoFillBackground(true);
    QPalette Pal = PictureArea->palette();
    Pal.setColor(QPalette::Window,
                 QColor(std::min<int>(Settings.Background.Red, 255), std::min<int>(Settings.Background.Green, 255),
                        std::min<int>(Settings.Background.Blue, 255)));
    PictureArea->setPalette(Pal);
    PictureArea->installEventFilter(this);
    Layout->addWidget(PictureArea, 1);

    PictureBox = new TPreviewPaintBox(this, PictureArea);
    HorizontalBar = new QScrollBar(Qt::Horizontal, PictureArea);
    VerticalBar = new QScrollBar(Qt::Vertical, PictureArea);
    for (QScrollBar* Bar : {HorizontalBar, VerticalBar}) {
        Bar->setFocusPolicy(Qt::NoFocus); // keys stay with the window
        Bar->hide();
    }
    connect(HorizontalBar, &QScrollBar::valueChanged, this, [this](int V) { ScrollBarChanged(true, V); });
    connect(VerticalBar, &QScrollBar::valueChanged, this, [this](int V) { ScrollBarChanged(false, V); });
    CornerPanel = new QWidget(PictureArea);
    CornerPanel->hide();

    auto* StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    for (QLabel*& L : StatusPanel) {
        L = new QLabel(StatusBar);
        StatusBar->addWidget(L);
    }
    // Wide enough for the longest read-outs: the picture's size, and a
    // selection of a picture of five-digit sides.
    auto FitText = [](QLabel* L, const QString& Widest) {
        L->setFixedWidth(L->fontMetrics().horizontalAdvance(Widest) + 8);
    };
    FitText(StatusPanel[0], QStringLiteral(" 99999x99999"));
    FitText(StatusPanel[1], QStringLiteral("(99999,99999)-(99999,99999)"));
    Layout->addWidget(StatusBar);

    ViewMenu = new QMenu(this);
    auto* Group = new QActionGroup(this);
    const char* ViewTexts[5] = {"Fit image to window", "100%", "200%", "300%", "400%"};
    for (int32_t i = 0; i < 5; ++i) {
        ViewItems[i] = ViewMenu->addAction(Tr(ViewTexts[i]));
        ViewItems[i]->setCheckable(true);
        Group->addAction(ViewItems[i]);
        connect(ViewItems[i], &QAction::triggered, this, [this, i] { ViewModeClicked(i); });
    }
    ViewMenu->addSeparator();
    EditSelect = ViewMenu->addAction(Tr("Select Mode"));
    EditSelect->setCheckable(true);
    EditSelect->setEnabled(false);
    EditSelect->setShortcut(QKeySequence(Qt::Key_Space));
    connect(EditSelect, &QAction::triggered, this, [this] { EditSelectClicked(); });
    ViewMenu->addSeparator();
    SelectAll = ViewMenu->addAction(Tr("SelectAll"));
    SelectAll->setEnabled(false);
    SelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    connect(SelectAll, &QAction::triggered, this, [this] { SelectAllClicked(); });
    addAction(EditSelect);
    addAction(SelectAll);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& P) { ViewMenu->popup(mapToGlobal(P)); });

    FResizeSettle = new QTimer(this);
    FResizeSettle->setSingleShot(true);
    FResizeSettle->setInterval(ResizeSettleMs);
    connect(FResizeSettle, &QTimer::timeout, this, [this] { AfterSizeSettled(); });

    resize(std::max(Settings.Preview.Width, 100), std::max(Settings.Preview.Height, 100));
    FViewMode = Settings.Preview.ViewMode >= 0 && Settings.Preview.ViewMode <= 4 ? Settings.Preview.ViewMode : 0;
}

TPreviewForm::~TPreviewForm()
{
    // A window never shown has no place of its own to keep. Size and place
    // are those of the picture area with the status bar (without the frame
    // the window manager adds), as showEvent puts them back.
    if (FWasShown) {
        const QRect G = geometry();
        Settings.Preview.Width = G.width();
        Settings.Preview.Height = G.height();
        Settings.Preview.Left = G.x();
        Settings.Preview.Top = G.y();
    }
    Settings.Preview.ViewMode = FViewMode;
}

void TPreviewForm::SetPreviewImage(TImgInfo* ptr, TImgInfo* ptr2, bool, const QString& _Title)
{
    FResizeHandler = false;
    Img[0] = ptr;
    Img[1] = ptr2;
    if (!ptr2)
        ImgIndex = 0;
    Title = _Title;
    if (ptr) {
        LayoutPaintBox();
        UpdateBitmapInfo();
    }
    UpdateCaption();
    if (ptr)
        StatusPanel[0]->setText(QString::asprintf(" %ux%u", ptr->Width, ptr->Height));
}

void TPreviewForm::SetAllViewImage(TImgInfo* ptr, TImgInfo* ptr2)
{
    AllViewImg[0] = ptr;
    AllViewImg[1] = ptr2;
}

void TPreviewForm::UpdateBitmapInfo()
{
    // The drawing wraps the pixel blocks at paint time, so nothing is cached
    // that could outlive a replaced block; only the paint box follows the size.
    LayoutPaintBox();
    CalcFitZoom();
    RepaintPicture();
}

void TPreviewForm::RepaintPicture()
{
    PictureBox->update();
}

TSize TPreviewForm::GetClientSize() const
{
    return TSize{PictureArea->width(), PictureArea->height()};
}

TRect TPreviewForm::GetViewRect() const
{
    if (FViewMode == 0) {
        const TImgInfo* F = ShownFit();
        return F ? TRect{0, 0, int32_t(F->Width), int32_t(F->Height)} : TRect{};
    }
    const TImgInfo* I = Shown();
    if (!I)
        return TRect{};
    return MagnifiedViewRect(I->Width, I->Height, PictureBox->width(), PictureBox->height(), VX, VY, Zoom);
}

void TPreviewForm::SetSelectRect(const TRect& r)
{
    SX = r.Left;
    SY = r.Top;
    SX2 = r.Right;
    SY2 = r.Bottom;
    if (SX < 0 || SY < 0) {
        SelectType = 0;
        StatusPanel[1]->clear();
    } else {
        StatusPanel[1]->setText(QString::asprintf("(%d,%d)-(%d,%d)", std::min(SX, SX2), std::min(SY, SY2),
                                                  std::max(SX, SX2), std::max(SY, SY2)));
    }
    CalcFitZoom();
    RepaintPicture();
}

void TPreviewForm::SetOnChangeSelectRect(TChangeSelectRectEvent Event)
{
    FOnChangeSelectRect = std::move(Event);
    if (FOnChangeSelectRect) {
        EditSelect->setEnabled(true);
        EditSelect->setChecked(true);
        SelectAll->setEnabled(true);
        SelectMode = true;
        PictureBox->setCursor(Qt::CrossCursor);
    }
}

void TPreviewForm::SetViewMode(int32_t Mode)
{
    ViewModeClicked(Mode);
}

void TPreviewForm::CalcFitZoom()
{
    if (FViewMode != 0)
        return;
    const TImgInfo* I = Shown();
    const TImgInfo* F = ShownFit();
    if (!I || !F || I->Width == 0 || I->Height == 0)
        return;
    if (I->Height >= I->Width)
        Zoom = double(F->Height) / I->Height;
    else
        Zoom = double(F->Width) / I->Width;
}

void TPreviewForm::UpdateCaption()
{
    if (Img[1])
        setWindowTitle(Title + (ImgIndex == 0 ? Tr("[After]") : Tr("[Before]")));
    else
        setWindowTitle(Title);
}

void TPreviewForm::ViewModeClicked(int32_t Mode)
{
    // A stored mode outside the menu (a damaged settings file) falls back to
    // the fit view rather than leaving the window in no mode at all.
    if (Mode < 0 || Mode > 4)
        Mode = 0;
    const int32_t Old = FViewMode;
    FViewMode = Mode;
    if (Mode > 0) {
        VX = KeepCentre(VX, PictureBox->width(), Zoom, Mode);
        VY = KeepCentre(VY, PictureBox->height(), Zoom, Mode);
        Zoom = Mode;
    } else {
        VX = VY = 0;
    }
    ViewItems[Mode]->setChecked(true);
    if (Mode > 0) {
        const TImgInfo* I = Shown();
        VX = I ? LimitOrigin(VX, I->Width, PictureBox->width(), Zoom) : 0;
        VY = I ? LimitOrigin(VY, I->Height, PictureBox->height(), Zoom) : 0;
    }
    if (Old != Mode) {
        if (OnChangeViewMode)
            OnChangeViewMode(this);
        LayoutPaintBox();
        SetScrollPositions();
        CalcFitZoom();
    }
    RepaintPicture();
}

void TPreviewForm::LayoutPaintBox()
{
    const int32_t PW0 = PictureArea->width(), PH0 = PictureArea->height();
    if (FViewMode == 0) {
        const TImgInfo* F = ShownFit();
        const int32_t FW = F ? int32_t(F->Width) : 0, FH = F ? int32_t(F->Height) : 0;
        PictureBox->setGeometry((PW0 - FW) / 2, (PH0 - FH) / 2, FW, FH);
        HorizontalBar->hide();
        VerticalBar->hide();
        CornerPanel->hide();
        return;
    }
    const TImgInfo* I = Shown();
    const int32_t zw = I ? Trunc(I->Width * Zoom) : 0, zh = I ? Trunc(I->Height * Zoom) : 0;
    const int32_t Ext = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    int32_t pw = PW0, ph = PH0;
    if (pw < zw) {
        ph -= Ext;
        if (ph < zh)
            pw -= Ext;
    } else if (ph < zh) {
        pw -= Ext;
        if (pw < zw)
            ph -= Ext;
    }
    int32_t Left, Width, Top, Height;
    FSettingScroll = true;
    if (pw >= zw) {
        Left = (pw - zw) / 2;
        Width = zw;
        HorizontalBar->hide();
    } else {
        Left = 0;
        Width = pw - 1;
        HorizontalBar->setGeometry(0, ph, pw, Ext);
        HorizontalBar->setRange(0, std::max(zw - pw, 0));
        HorizontalBar->setPageStep(std::max(pw, 1));
        HorizontalBar->show();
    }
    if (ph >= zh) {
        Top = (ph - zh) / 2;
        Height = zh;
        VerticalBar->hide();
    } else {
        Top = 0;
        Height = ph - 1;
        VerticalBar->setGeometry(pw, 0, Ext, ph);
        VerticalBar->setRange(0, std::max(zh - ph, 0));
        VerticalBar->setPageStep(std::max(ph, 1));
        VerticalBar->show();
    }
    FSettingScroll = false;
    PictureBox->setGeometry(Left, Top, std::max(Width, 0), std::max(Height, 0));
    CornerPanel->setGeometry(pw, ph, Ext, Ext);
    CornerPanel->setVisible(HorizontalBar->isVisibleTo(PictureArea) && VerticalBar->isVisibleTo(PictureArea));
}

void TPreviewForm::SetScrollPositions()
{
    FSettingScroll = true;
    if (HorizontalBar->isVisibleTo(PictureArea))
        HorizontalBar->setValue(VX);
    if (VerticalBar->isVisibleTo(PictureArea))
        VerticalBar->setValue(VY);
    FSettingScroll = false;
}

void TPreviewForm::LimitScroll()
{
    const TImgInfo* I = Shown();
    if (FViewMode == 0 || !I) {
        // The fitted picture never scrolls.
        VX = VY = 0;
        return;
    }
    VX = std::max(std::min(VX, Trunc(I->Width * Zoom + 0.5) - PictureBox->width()), 0);
    VY = std::max(std::min(VY, Trunc(I->Height * Zoom + 0.5) - PictureBox->height()), 0);
}

void TPreviewForm::ScrollBarChanged(bool Horizontal, int Value)
{
    if (FSettingScroll)
        return;
    const TImgInfo* I = Shown();
    if (!I)
        return;
    if (Horizontal)
        VX = LimitOrigin(Value, I->Width, PictureBox->width(), Zoom);
    else
        VY = LimitOrigin(Value, I->Height, PictureBox->height(), Zoom);
    SetScrollPositions();
    RepaintPicture();
}

// ------------------------------------------------------------------ painting

void TPreviewForm::DrawPicture(QPainter& P, const TImgInfo& I, const TRect& R, int32_t DestX, int32_t DestY, int32_t Z)
{
    // R: top-down picture coordinates, cut to the picture.
    const int32_t L = std::max(R.Left, 0), T = std::max(R.Top, 0);
    const int32_t Rt = std::min<int64_t>(R.Right, I.Width), B = std::min<int64_t>(R.Bottom, I.Height);
    if (!I.Mem || Rt <= L || B <= T)
        return;
    const int32_t w = Rt - L, h = B - T;
    if (I.Channels == 1 || I.Channels == 3) {
        // Straight from pixel memory: the memory rows of the region, bottom
        // row first, drawn flipped.
        const uint8_t* First = MemRow(I, I.Height - uint32_t(B));
        const QImage Wrap(First, int(I.Width), h, int(I.Bpl),
                          I.Channels == 1 ? QImage::Format_Grayscale8 : QImage::Format_BGR888);
        P.save();
        P.translate(DestX, DestY + double(h) * Z);
        P.scale(Z, -Z);
        P.drawImage(QRectF(0, 0, w, h), Wrap, QRectF(L, 0, w, h));
        P.restore();
    } else if (I.Channels == 2 || I.Channels == 4) {
        QImage Bitmap(w, h, QImage::Format_BGR888);
        DrawImageToBitmap(I, TRect{L, T, Rt, B}, Bitmap, 0, 0);
        P.drawImage(QRectF(DestX, DestY, double(w) * Z, double(h) * Z), Bitmap);
    }
}

void TPreviewForm::PaintPicture(QPainter& P)
{
    P.fillRect(PictureBox->rect(), PictureArea->palette().color(QPalette::Window));
    P.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const int32_t PW = PictureBox->width(), PH = PictureBox->height();
    if (FViewMode == 0) {
        if (const TImgInfo* F = ShownFit())
            DrawPicture(P, *F, TRect{0, 0, int32_t(F->Width), int32_t(F->Height)}, 0, 0, 1);
    } else if (const TImgInfo* I = Shown()) {
        const int32_t W = int32_t(I->Width), H = int32_t(I->Height);
        if (FViewMode == 1) {
            VX = std::max(std::min(VX, W - PW), 0);
            VY = std::max(std::min(VY, H - PH), 0);
            DrawPicture(P, *I, TRect{VX, VY, VX + std::min(W, PW), VY + std::min(H, PH)}, 0, 0, 1);
        } else {
            VX = LimitOrigin(VX, I->Width, PW, Zoom);
            VY = LimitOrigin(VY, I->Height, PH, Zoom);
            // Only the visible rectangle is enlarged: view column X shows
            // picture column Trunc((X + VX) / Zoom), rows likewise from the top.
            const TRect M = GetViewRect();
            const int32_t Z = int32_t(Zoom);
            DrawPicture(P, *I, TRect{M.Left, H - M.Bottom, M.Right, H - M.Top}, -(VX % Z), -(VY % Z), Z);
        }
    }
    if (SX >= 0 && SY >= 0) {
        QRect R(QPoint(Trunc(std::min(SX, SX2) * Zoom - VX + 0.5), Trunc(std::min(SY, SY2) * Zoom - VY + 0.5)),
                QPoint(Trunc(std::max(SX, SX2) * Zoom - VX + 0.5) - 1, Trunc(std::max(SY, SY2) * Zoom - VY + 0.5) - 1));
        DrawSelection(P, R);
    }
    FResizeHandler = true;
}

// The selection must show on any picture and in any style: black dashes over
// a white line, doubled one pixel inside, and a square handle at each corner
// and in the middle of each side.
void TPreviewForm::DrawSelection(QPainter& P, const QRect& R)
{
    P.save();
    P.setRenderHint(QPainter::Antialiasing, false);
    P.setBrush(Qt::NoBrush);
    for (int i = 0; i < 2; ++i) {
        const QRect E = R.adjusted(i, i, -i, -i);
        if (E.width() < 1 || E.height() < 1)
            break;
        P.setPen(QPen(Qt::white, 1));
        P.drawRect(E);
        QPen Dash(Qt::black, 1);
        Dash.setDashPattern({4, 4});
        P.setPen(Dash);
        P.drawRect(E);
    }
    // Handles only where the selection is big enough to tell them apart.
    if (R.width() >= 12 && R.height() >= 12) {
        P.setPen(QPen(Qt::black, 1));
        P.setBrush(Qt::white);
        const int Xs[3] = {R.left(), R.center().x(), R.right()};
        const int Ys[3] = {R.top(), R.center().y(), R.bottom()};
        for (int Row = 0; Row < 3; ++Row)
            for (int Col = 0; Col < 3; ++Col)
                if (Row != 1 || Col != 1)
                    P.drawRect(Xs[Col] - 3, Ys[Row] - 3, 6, 6);
    }
    P.restore();
}

// ------------------------------------------------------------------ mouse

void TPreviewForm::PaintBoxMouseDown(QMouseEvent* e)
{
    setFocus();
    if (e->button() != Qt::LeftButton || !CanMove)
        return;
    const int32_t X = int32_t(e->position().x()), Y = int32_t(e->position().y());
    if (!SelectMode) {
        PreX = X;
        PreY = Y;
        DragMode = dmMove;
        return;
    }
    const int32_t PX = ViewToImage(X, VX, Zoom), PY = ViewToImage(Y, VY, Zoom);
    const int32_t Hit = SX >= 0 && SY >= 0 ? HitTestSelection(X + VX, Y + VY, SX, SY, SX2, SY2, Zoom) : 0;
    const int32_t MinX = std::min(SX, SX2), MaxX = std::max(SX, SX2);
    const int32_t MinY = std::min(SY, SY2), MaxY = std::max(SY, SY2);
    Qt::CursorShape Cursor = PictureBox->cursor().shape();
    switch (Hit == 5 && IsAllSelect ? 0 : Hit) {
    case 1:
        SX = MaxX;
        SY = MaxY;
        SelectType = 1;
        Cursor = Qt::SizeFDiagCursor;
        break;
    case 9:
        SX = MinX;
        SY = MinY;
        SelectType = 1;
        Cursor = Qt::SizeFDiagCursor;
        break;
    case 3:
        SX = MinX;
        SY = MaxY;
        SelectType = 1;
        Cursor = Qt::SizeBDiagCursor;
        break;
    case 7:
        SX = MaxX;
        SY = MinY;
        SelectType = 1;
        Cursor = Qt::SizeBDiagCursor;
        break;
    case 2:
        SY = MaxY;
        SelectType = 2;
        Cursor = Qt::SizeVerCursor;
        break;
    case 8:
        SY = MinY;
        SelectType = 2;
        Cursor = Qt::SizeVerCursor;
        break;
    case 4:
        SX = MaxX;
        SelectType = 3;
        Cursor = Qt::SizeHorCursor;
        break;
    case 6:
        SX = MinX;
        SelectType = 3;
        Cursor = Qt::SizeHorCursor;
        break;
    case 5:
        SX3 = PX;
        SY3 = PY;
        SX = MinX;
        SX2 = MaxX;
        SY = MinY;
        SY2 = MaxY;
        SelectType = 4;
        Cursor = Qt::SizeAllCursor;
        break;
    default:
        SX = SX2 = PX;
        SY = SY2 = PY;
        SelectType = 1;
        break;
    }
    PictureBox->setCursor(Cursor);
    DragMode = dmRect;
    RepaintPicture();
}

void TPreviewForm::PaintBoxMouseMove(QMouseEvent* e)
{
    int32_t X = int32_t(e->position().x()), Y = int32_t(e->position().y());
    const TImgInfo* I = Shown();
    const int32_t W = I ? int32_t(I->Width) : 0, H = I ? int32_t(I->Height) : 0;
    if (DragMode == dmNone) {
        if (SelectMode) {
            const int32_t Hit = SX >= 0 && SY >= 0 ? HitTestSelection(X + VX, Y + VY, SX, SY, SX2, SY2, Zoom) : 0;
            static const Qt::CursorShape Shapes[10] = {
                Qt::CrossCursor,   Qt::SizeFDiagCursor, Qt::SizeVerCursor,   Qt::SizeBDiagCursor, Qt::SizeHorCursor,
                Qt::SizeAllCursor, Qt::SizeHorCursor,   Qt::SizeBDiagCursor, Qt::SizeVerCursor,   Qt::SizeFDiagCursor};
            PictureBox->setCursor(Hit == 5 && IsAllSelect ? Qt::CrossCursor : Shapes[Hit]);
        }
        StatusPanel[1]->setText(QString::asprintf("%d,%d", ViewToImage(X, VX, Zoom), ViewToImage(Y, VY, Zoom)));
    } else if (DragMode == dmRect) {
        const int32_t PW = PictureBox->width(), PH = PictureBox->height();
        if (X > PW) {
            VX += X - PW;
            X = PW;
        } else if (X < 0) {
            VX += X;
            X = 0;
        }
        if (Y > PH) {
            VY += Y - PH;
            Y = PH;
        } else if (Y < 0) {
            VY += Y;
            Y = 0;
        }
        LimitScroll();
        // The corner never leaves the picture, whatever the rounding of the
        // view gives at its edge.
        const int32_t PX = std::clamp(ViewToImage(X, VX, Zoom), 0, W);
        const int32_t PY = std::clamp(ViewToImage(Y, VY, Zoom), 0, H);
        if (SelectType == 4) {
            int32_t dx = PX - SX3, dy = PY - SY3;
            if (SX + dx < 0)
                dx = -SX;
            else if (SX2 + dx > W)
                dx = W - SX2;
            if (SY + dy < 0)
                dy = -SY;
            else if (SY2 + dy > H)
                dy = H - SY2;
            SX += dx;
            SX2 += dx;
            SX3 += dx;
            SY += dy;
            SY2 += dy;
            SY3 += dy;
        } else if (SelectSize.cx == 0 || SelectSize.cy == 0) {
            if (SelectType == 1 || SelectType == 3)
                SX2 = PX;
            if (SelectType == 1 || SelectType == 2)
                SY2 = PY;
        } else if (SelectType != 0) {
            AspectCorner(SX, SY, PX, PY, int32_t(SelectSize.cx), int32_t(SelectSize.cy), uint32_t(W), uint32_t(H), SX2,
                         SY2);
        }
        SetScrollPositions();
        TRect R{std::min(SX, SX2), std::min(SY, SY2), std::max(SX, SX2), std::max(SY, SY2)};
        StatusPanel[1]->setText(QString::asprintf("(%d,%d)-(%d,%d)", R.Left, R.Top, R.Right, R.Bottom));
        RepaintPicture();
        if (FOnChangeSelectRect)
            FOnChangeSelectRect(R, this);
    } else if (DragMode == dmMove) {
        VX += PreX - X;
        VY += PreY - Y;
        LimitScroll();
        PreX = X;
        PreY = Y;
        SetScrollPositions();
        RepaintPicture();
    }
    const TImgInfo* After = Img[0];
    IsAllSelect = After && std::abs(SX - SX2) == int64_t(After->Width) && std::abs(SY - SY2) == int64_t(After->Height);
}

void TPreviewForm::EditSelectClicked()
{
    SelectMode = EditSelect->isChecked();
    PictureBox->setCursor(SelectMode ? Qt::CrossCursor : Qt::ArrowCursor);
}

void TPreviewForm::SelectAllClicked()
{
    if (!Img[0])
        return;
    TRect R{0, 0, int32_t(Img[0]->Width), int32_t(Img[0]->Height)};
    if (FOnChangeSelectRect)
        FOnChangeSelectRect(R, this);
    SetSelectRect(R);
    IsAllSelect = std::abs(SX - SX2) == int64_t(Img[0]->Width) && std::abs(SY - SY2) == int64_t(Img[0]->Height);
}

// ------------------------------------------------------------------ window events

void TPreviewForm::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Left:
        if (OnPrevImg)
            OnPrevImg(this);
        break;
    case Qt::Key_Right:
        if (OnNextImg)
            OnNextImg(this);
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (Img[1]) {
            ImgIndex = 1 - ImgIndex;
            LayoutPaintBox();
            RepaintPicture();
            UpdateCaption();
        }
        break;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
}

void TPreviewForm::resizeEvent(QResizeEvent* e)
{
    // The layout has fitted the picture area to the new size by now.
    QWidget::resizeEvent(e);
    if (!FResizeHandler)
        return;
    if (e->spontaneous()) {
        // The window manager resizes the window: while the user drags its
        // frame a stream of these comes (the manager, not this program,
        // holds the mouse button). Refit once, when the stream has ended.
        IsResizing = true;
        FResizeSettle->start();
        return;
    }
    // A resize by the program refits at once.
    FResizeSettle->stop();
    IsResizing = false;
    if (OnResized)
        OnResized(this);
    CalcFitZoom();
    LayoutPaintBox();
}

bool TPreviewForm::eventFilter(QObject* Obj, QEvent* e)
{
    if (Obj == PictureArea && e->type() == QEvent::Resize)
        LayoutPaintBox();
    return QWidget::eventFilter(Obj, e);
}

void TPreviewForm::AfterSizeSettled()
{
    if (!IsResizing)
        return;
    // Where the platform shows the button that holds the frame, the resize
    // lasts as long as the button is down.
    if (QGuiApplication::mouseButtons() & Qt::LeftButton) {
        FResizeSettle->start();
        return;
    }
    IsResizing = false;
    if (OnResized)
        OnResized(this);
    CalcFitZoom();
    LayoutPaintBox();
}

void TPreviewForm::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (e->spontaneous() || FRemapping)
        return;
    FWasShown = true;
    FResizeHandler = false;
    const QScreen* S = screen() ? screen() : QGuiApplication::primaryScreen();
    if (S) {
        const QRect Screen = S->geometry(), Work = S->availableGeometry();
        const QRect Stored(Settings.Preview.Left, Settings.Preview.Top, width() + DlgWidth, height());
        if (Screen.contains(Stored)) {
            setGeometry(Settings.Preview.Left, Settings.Preview.Top, width(), height());
        } else {
            int32_t L = (Work.width() - width() - DlgWidth) / 2;
            if (L < 0)
                L = (Work.width() - width()) / 2;
            setGeometry(Work.left() + L, Work.top() + (Work.height() - height()) / 2, width(), height());
        }
    }
    const int32_t Stored = FViewMode;
    FViewMode = -1; // so that the owner hears of the mode
    ViewModeClicked(Stored);
}

void TPreviewForm::Remap()
{
    if (!isVisible())
        return;
    const QRect G = geometry();
    FRemapping = true;
    hide();
    setGeometry(G);
    show();
    FRemapping = false;
}

void TPreviewForm::closeEvent(QCloseEvent* e)
{
    QWidget::closeEvent(e);
    if (OnClosed)
        OnClosed(this);
}
