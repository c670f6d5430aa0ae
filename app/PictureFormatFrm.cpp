#include "app/PictureFormatFrm.h"
#include "app/WindowFuncs.h"

#include "core/Global.h"
#include "effects/ui/WindowLook.h"
#include "core/Grayscale.h"
#include "core/ResourceText.h"

#include <QColorDialog>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Tr(const char* Text)
{
    return QString::fromStdString(LoadResText(Text));
}

// A code the lists cannot show becomes the kind's own default.
void FixCode(int32_t& Code, int32_t Default)
{
    if (Code > 3)
        Code = Default;
}

void Select(QComboBox* List, int32_t Code)
{
    List->setCurrentIndex(Code >= 1 && Code <= 3 ? Code - 1 : 0);
}

} // namespace

TPictureFormatForm::TPictureFormatForm(QWidget* Owner)
    : TPictureFormatForm(Settings.Bitmap, Settings.JPEG, Settings.PNG, Settings.SPI, Settings.WIC, Settings.Background,
                         Owner)
{
}

TPictureFormatForm::TPictureFormatForm(TBitmapOption& Bitmap, TJPEGOption& JPEG, TPNGOption& PNG, TSPIOption& SPI,
                                       TWICOption& WIC, TBGColor& BackColor, QWidget* Owner)
    : QDialog(Owner), FBitmap(Bitmap), FJPEG(JPEG), FPNG(PNG), FSPI(SPI), FWIC(WIC), FBackColor(BackColor)
{
    setWindowTitle(Tr("Format Conversion Settings"));
    for (int i = 0; i < 16; ++i)
        QColorDialog::setCustomColor(i, Qt::white);

    FixCode(Bitmap.ConvertTo, 1);
    FixCode(JPEG.ConvertTo, 2);
    FixCode(PNG.ConvertTo, 3);
    FixCode(SPI.SPITo, 3);
    FixCode(WIC.ConvertTo, 2);

    auto* Grid = new QGridLayout;
    const struct {
        const char* Caption;
        QComboBox** List;
        int32_t Code;
    } Rows[] = {{"Bitmap Image", &BitmapList, Bitmap.ConvertTo},
                {"JPEG Image", &JPEGList, JPEG.ConvertTo},
                {"PNG Image", &PNGList, PNG.ConvertTo},
                {"Other(Use SPI)", &SPIList, SPI.SPITo},
                {"Other(Use WIC)", &WICList, WIC.ConvertTo}};
    int Row = 0;
    for (const auto& R : Rows) {
        auto* List = new QComboBox(this);
        List->addItems({Tr("Bitmap Image"), Tr("JPEG Image"), Tr("PNG Image")});
        Select(List, R.Code);
        *R.List = List;
        Grid->addWidget(new QLabel(Tr(R.Caption), this), Row, 0);
        Grid->addWidget(new QLabel(QStringLiteral("-->"), this), Row, 1);
        Grid->addWidget(List, Row++, 2);
    }
    ColorPanel = new QPushButton(this);
    ColorPanel->setFixedSize(40, 22);
    SetPanelColor(QColor(BackColor.Red & 0xFF, BackColor.Green & 0xFF, BackColor.Blue & 0xFF));
    Grid->addWidget(new QLabel(Tr("BackColor"), this), Row, 0);
    Grid->addWidget(ColorPanel, Row, 2, Qt::AlignLeft);

    MakeOkCancelButtons(this, OkButton, CancelButton);
    connect(ColorPanel, &QPushButton::clicked, this, [this] { PickColor(); });

    auto* Buttons = OkCancelRow(OkButton, CancelButton);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(Grid);
    Layout->addLayout(Buttons);
    ApplyUIFont(this);
    KeepCaptionWhole(this);
}

void TPictureFormatForm::SetPanelColor(const QColor& C)
{
    FColor = C;
    PaintSwatch(ColorPanel, uint32_t(C.red()) | uint32_t(C.green()) << 8 | uint32_t(C.blue()) << 16);
}

void TPictureFormatForm::PickColor()
{
    const QColor C = QColorDialog::getColor(FColor, this);
    if (C.isValid())
        SetPanelColor(C);
}

void TPictureFormatForm::accept()
{
    FBitmap.ConvertTo = BitmapList->currentIndex() + 1;
    FJPEG.ConvertTo = JPEGList->currentIndex() + 1;
    FPNG.ConvertTo = PNGList->currentIndex() + 1;
    FSPI.SPITo = SPIList->currentIndex() + 1;
    FWIC.ConvertTo = WICList->currentIndex() + 1;
    FBackColor.Red = static_cast<uint16_t>(FColor.red());
    FBackColor.Green = static_cast<uint16_t>(FColor.green());
    FBackColor.Blue = static_cast<uint16_t>(FColor.blue());
    GrayOfColor(FBackColor);
    QDialog::accept();
}
