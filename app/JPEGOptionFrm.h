// The "JPEG Settings" dialog: quality, subsampling, decoding with downscaling,
// Exif handling and the file size limit of the JPEG output.
#pragma once
#include "app/ControlBinding.h"
#include "core/Global.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QWidget;
class TUDNumEdit;

class TJPEGOptionForm : public QDialog {
    Q_OBJECT
public:
    // Option is not owned; only OK writes it.
    explicit TJPEGOptionForm(TJPEGOption& Option, QWidget* Owner = nullptr);

    TUDNumEdit* QualityEdit;     // 0..100
    TUDNumEdit* SmoothingEdit;   // 0..100
    QComboBox* SampleList;       // 0 4:2:0, 1 4:2:2, 2 4:4:4, 3 4:1:1
    QComboBox* DownScalingList;  // 0 none, 1 1/2, 2 1/4, 3 1/8
    QWidget* DownScalingPanel;   // the minimum ratio, enabled with downscaling
    TUDNumEdit* DownScalingEdit; // 100..9999 %
    QComboBox* DCTList;          // 0 integer, 1 floating point
    QCheckBox* ExifCheck;        // "Keep Exif data"
    QCheckBox* UpdateExifCheck;
    QCheckBox* ExifThumbnailCheck;
    QCheckBox* SizeLimitCheck; // "Set max file size"
    QLabel* SizeLabel;
    TUDNumEdit* SizeEdit; // 1..9999 KB
    QLabel* QualityLimitLabel;
    TUDNumEdit* QualityLimitEdit; // 0..100
    QLabel* SampleLimitLabel;
    QComboBox* SampleLimitList; // as SampleList
    QCheckBox* RecompressCheck; // "Always recompress"
    QCheckBox* ProgressiveCheck;
    QPushButton* OkButton;
    QPushButton* CancelButton;

    void accept() override;

private:
    void UpdateEnabled();
    TJPEGOption& FOption;
    TJPEGOption FDraft; // what the controls edit; OK stores it into FOption
    TControlBindings FBindings;
};
