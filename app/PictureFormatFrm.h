// The "Format Conversion Settings" dialog: which output format each kind of
// input becomes, and the background colour used to flatten transparency.
#pragma once
#include <QColor>
#include <QDialog>

class QComboBox;
class QPushButton;
struct TBGColor;
struct TBitmapOption;
struct TJPEGOption;
struct TPNGOption;
struct TSPIOption;
struct TWICOption;

class TPictureFormatForm : public QDialog {
    Q_OBJECT
public:
    // Output format codes: 1 BMP, 2 JPEG, 3 PNG (list index = code - 1).
    // The records are not owned. A stored code above 3 is corrected in its
    // record when the dialog is created; all else is written only by OK.
    TPictureFormatForm(TBitmapOption& Bitmap, TJPEGOption& JPEG, TPNGOption& PNG, TSPIOption& SPI, TWICOption& WIC,
                       TBGColor& BackColor, QWidget* Owner = nullptr);
    // The process-wide records.
    explicit TPictureFormatForm(QWidget* Owner = nullptr);

    QComboBox* BitmapList;
    QComboBox* JPEGList;
    QComboBox* PNGList;
    QComboBox* SPIList; // "Other(Use SPI)"
    QComboBox* WICList; // "Other(Use WIC)"
    QPushButton* ColorPanel;
    QPushButton* OkButton;
    QPushButton* CancelButton;

    QColor PanelColor() const { return FColor; }
    void SetPanelColor(const QColor& C);

    void accept() override;

private:
    void PickColor();
    TBitmapOption& FBitmap;
    TJPEGOption& FJPEG;
    TPNGOption& FPNG;
    TSPIOption& FSPI;
    TWICOption& FWIC;
    TBGColor& FBackColor;
    QColor FColor;
};
