#include "effects/ui/CompositeDlg.h"

#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/CompositeEffect.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/EffectDialog.h"
#include "effects/ui/PreviewBaseFrm.h"
#include "effects/ui/WindowFuncs.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

QString Text(const char* S)
{
    return QString::fromStdString(LoadResText(S));
}

// The effect's own loader: full size, nothing when the file cannot be read.
bool LoadWithEffect(const std::string& Path, TImgInfo& Img)
{
    TCompositeEffect E;
    E.FImageFileName = Path;
    E.LoadExternalImage();
    if (!E.FExternalImg.Mem)
        return false;
    Img = E.FExternalImg;
    E.FExternalImg = TImgInfo{}; // ownership moves to Img
    return true;
}

} // namespace

TCompositeOptionForm::TCompositeOptionForm(QWidget* Owner, TCompositePreviewLoader Loader,
                                           TCompositeFileLoader FileLoader)
    : QDialog(Owner), FLoader(std::move(Loader)), FFileLoader(FileLoader ? std::move(FileLoader) : LoadWithEffect)
{
    setWindowTitle(Text("Composite"));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));
    setAcceptDrops(true);

    PreviewArea = new TDragPreviewArea(this, this, PreviewWidth, PreviewHeight);
    ForegroundButton = new QRadioButton(Text("Foreground Image"), this);
    BackgroundButton = new QRadioButton(Text("Background Image"), this);
    ForegroundButton->setChecked(true);
    FileEdit = new QLineEdit(this);
    BrowseButton = new QPushButton(QStringLiteral("..."), this);
    PositionList = new QComboBox(this);
    for (const char* S :
         {"TopLeft", "Left", "BottomLeft", "Top", "Center", "Bottom", "TopRight", "Right", "BottomRight"})
        PositionList->addItem(Text(S));
    PositionList->setCurrentIndex(8);
    OkButton = new QPushButton(Text("OK"), this);
    CancelButton = new QPushButton(Text("Cancel"), this);
    OkButton->setDefault(true);

    auto* Outer = new QVBoxLayout(this);
    auto* Grid = new QGridLayout;
    auto* Buttons = new QHBoxLayout;
    Outer->addWidget(PreviewArea, 0, Qt::AlignHCenter);
    Outer->addLayout(Grid);
    Outer->addLayout(Buttons);
    Grid->addWidget(ForegroundButton, 0, 0, 1, 2);
    Grid->addWidget(BackgroundButton, 0, 2, 1, 2);
    Grid->addWidget(FileEdit, 1, 0, 1, 5);
    Grid->addWidget(BrowseButton, 1, 5);
    Grid->addWidget(new QLabel(Text("Position"), this), 2, 0);
    Grid->addWidget(PositionList, 2, 1);
    auto Place = [&](const char* Label, int Col, double Max, double Min, double Value) {
        auto* E = new TUDNumEdit(this, Max, Min, Value, 1, 0);
        E->setFixedWidth(64 + TUpDown::DefaultWidth);
        Grid->addWidget(new QLabel(Text(Label), this), 3, Col);
        Grid->addWidget(E, 3, Col + 1);
        connect(E, &TNumEdit::Change, this, &TCompositeOptionForm::UpdatePreview);
        return E;
    };
    OffsetXEdit = Place("Offset X", 0, 9999, -9999, 0);
    OffsetYEdit = Place("Offset Y", 2, 9999, -9999, 0);
    OpacityEdit = Place("Opacity", 4, 100, 0, 100);
    Buttons->addStretch();
    Buttons->addWidget(OkButton);
    Buttons->addWidget(CancelButton);

    connect(ForegroundButton, &QRadioButton::toggled, this, &TCompositeOptionForm::UpdatePreview);
    connect(PositionList, &QComboBox::activated, this, [this] {
        UpdateLock = true;
        OffsetXEdit->SetValue(0);
        OffsetYEdit->SetValue(0);
        UpdateLock = false;
        UpdatePreview();
    });
    connect(BrowseButton, &QPushButton::clicked, this, [this] {
        const QString F = QFileDialog::getOpenFileName(this, QString(), FileEdit->text());
        if (!F.isEmpty())
            SetImageFile(F.toStdString());
    });
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    BackBuf = CreateFilledBitmap(PreviewWidth, PreviewHeight, QImage::Format_RGB32, 0x808080);
    KeepCaptionWhole(this);
    UpdateLock = false;
}

TCompositeOptionForm::~TCompositeOptionForm()
{
    FreeImg(Src);
    FreeImg(Src2);
}

void TCompositeOptionForm::LoadSrc2(const std::string& Path)
{
    // A file that cannot be loaded keeps the previous image in the preview.
    TImgInfo Img;
    bool Ok = false;
    try {
        Ok = !Path.empty() && FFileLoader(Path, Img);
    } catch (...) {
        Ok = false;
    }
    if (!Ok || !Img.Mem || Img.Channels < 1 || Img.Channels > 4) {
        FreeImg(Img);
        return;
    }
    FreeImg(Src2);
    Src2 = Img;
}

void TCompositeOptionForm::SetImageFile(const std::string& Path)
{
    FileEdit->setText(QString::fromStdString(Path));
    LoadSrc2(Path);
    UpdatePreview();
}

void TCompositeOptionForm::SetParam(int32_t Mode, int32_t BasePos, int32_t OffsetX, int32_t OffsetY, int32_t Opacity,
                                    const std::string& FileName)
{
    UpdateLock = true;
    (Mode == 0 ? ForegroundButton : BackgroundButton)->setChecked(true);
    PositionList->setCurrentIndex(BasePos >= 0 && BasePos <= 8 ? BasePos : 8);
    OffsetXEdit->SetValue(OffsetX);
    OffsetYEdit->SetValue(OffsetY);
    OpacityEdit->SetValue(Opacity);
    FileEdit->setText(QString::fromStdString(FileName));
    LoadSrc2(FileName);
    UpdateLock = false;
    UpdatePreview();
}

void TCompositeOptionForm::GetParam(int32_t& Mode, int32_t& BasePos, int32_t& OffsetX, int32_t& OffsetY,
                                    int32_t& Opacity, std::string& FileName) const
{
    Mode = ForegroundButton->isChecked() ? 0 : 1;
    BasePos = PositionList->currentIndex();
    OffsetX = OffsetXEdit->IntValue();
    OffsetY = OffsetYEdit->IntValue();
    Opacity = OpacityEdit->IntValue();
    FileName = FileEdit->text().toStdString();
}

void TCompositeOptionForm::SetPreviewImageIndex(int32_t Index)
{
    ImgIndex = Index;
    FreeImg(Src);
    if (Index >= 0 && FLoader) {
        bool Ok = false;
        try {
            Ok = FLoader(Index, Src);
        } catch (...) {
            Ok = false;
        }
        if (!Ok || !Src.Mem || Src.Channels < 1 || Src.Channels > 4)
            FreeImg(Src);
    }
    UpdatePreview();
}

void TCompositeOptionForm::UpdatePreview()
{
    if (UpdateLock)
        return;
    int32_t Mode, Pos, X, Y, Opacity;
    std::string Name;
    GetParam(Mode, Pos, X, Y, Opacity, Name);
    const TImgInfo& Base = Mode == 0 ? Src : Src2;
    const TImgInfo& Top = Mode == 0 ? Src2 : Src;

    // The canvas: a window of the base picture at the anchor, or a gray field.
    TImgInfo P;
    if (Base.Mem) {
        AllocImg(P, std::min<uint32_t>(Base.Width, PreviewWidth), std::min<uint32_t>(Base.Height, PreviewHeight),
                 Base.Channels);
        auto Start = [](int32_t Where, int64_t Full, int64_t Part) {
            const int64_t V = Where == 0 ? 0 : Where == 1 ? (Full - Part) / 2 : Full - Part;
            return int32_t(std::max<int64_t>(V, 0));
        };
        const int32_t L = Start(Pos / 3, Base.Width, PreviewWidth), T = Start(Pos % 3, Base.Height, PreviewHeight);
        CopyImageRect(Base, P, TRect{L, T, L + int32_t(P.Width), T + int32_t(P.Height)}, 0, 0);
    } else {
        AllocImg(P, PreviewWidth, PreviewHeight, 3);
        for (uint32_t R = 0; R < P.Height; ++R)
            std::memset(ScanLine(P, R), 0x80, size_t(P.Width) * 3);
    }
    ForegroundRect = TRect{};
    if (Top.Mem)
        CompositeImage(P, Top, Pos, X, Y, Opacity, ForegroundRect);

    // Back buffer: the canvas over mid gray, alpha canvases composed over it.
    BackBuf.fill(QColor(0x80, 0x80, 0x80));
    QImage Img(int(P.Width), int(P.Height), QImage::Format_ARGB32);
    for (uint32_t R = 0; R < P.Height; ++R) {
        const uint8_t* S = ScanLine(P, R);
        auto* D = reinterpret_cast<QRgb*>(Img.scanLine(int(R)));
        for (uint32_t C = 0; C < P.Width; ++C, S += P.Channels) {
            switch (P.Channels) {
            case 1:
                D[C] = qRgb(S[0], S[0], S[0]);
                break;
            case 2:
                D[C] = qRgba(S[0], S[0], S[0], S[1]);
                break;
            case 3:
                D[C] = qRgb(S[2], S[1], S[0]);
                break;
            default:
                D[C] = qRgba(S[2], S[1], S[0], S[3]);
                break;
            }
        }
    }
    FreeImg(P);
    QPainter Painter(&BackBuf);
    Painter.drawImage(0, 0, Img);
    Painter.end();
    PreviewArea->update();
}

bool TCompositeOptionForm::InLayer(int X, int Y) const
{
    const TRect& R = ForegroundRect;
    return R.Left <= X && X <= R.Right && R.Top <= Y && Y < R.Bottom;
}

void TCompositeOptionForm::PreviewMouseDown(int X, int Y)
{
    if (!InLayer(X, Y))
        return;
    IsDrag = true;
    DragPos = QPoint(OffsetXEdit->IntValue() - X, OffsetYEdit->IntValue() - Y);
}

void TCompositeOptionForm::PreviewMouseMove(int X, int Y)
{
    if (IsDrag) {
        UpdateLock = true;
        OffsetXEdit->SetValue(X + DragPos.x());
        OffsetYEdit->SetValue(Y + DragPos.y());
        UpdateLock = false;
        UpdatePreview();
    } else {
        PreviewArea->setCursor(InLayer(X, Y) ? Qt::SizeAllCursor : Qt::ArrowCursor);
    }
}

void TCompositeOptionForm::dragEnterEvent(QDragEnterEvent* E)
{
    if (E->mimeData()->hasUrls())
        E->acceptProposedAction();
}

void TCompositeOptionForm::dropEvent(QDropEvent* E)
{
    // The first dropped file is taken; other items are ignored.
    for (const QUrl& U : E->mimeData()->urls())
        if (U.isLocalFile()) {
            SetImageFile(U.toLocalFile().toStdString());
            E->acceptProposedAction();
            return;
        }
}

namespace {

bool ExecCompositeOptionForm(TCompositeEffect& Effect, QWidget* Owner, const TCompositePreviewLoader& PreviewLoader,
                             const std::function<int32_t()>& PreviewIndex)
{
    auto Form = std::make_unique<TCompositeOptionForm>(Owner, PreviewLoader);
    Form->SetParam(Effect.FMode, Effect.FBasePos, Effect.FOffsetX, Effect.FOffsetY, Effect.FOpacity,
                   Effect.FImageFileName);
    Form->SetPreviewImageIndex(SelectedPreviewEntry(PreviewIndex));
    if (Form->exec() != QDialog::Accepted)
        return false;
    Form->GetParam(Effect.FMode, Effect.FBasePos, Effect.FOffsetX, Effect.FOffsetY, Effect.FOpacity,
                   Effect.FImageFileName);
    Effect.FreeExternalImage();
    return true;
}

} // namespace

void RegisterCompositeOptionForm(QWidget* Owner, TCompositePreviewLoader Loader, std::function<int32_t()> CurrentIndex)
{
    RegisterEffectDialog(EFFECT_COMPOSITE, ExecCompositeOptionForm, Owner, std::move(Loader), std::move(CurrentIndex));
}
