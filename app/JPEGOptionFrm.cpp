#include "app/JPEGOptionFrm.h"
#include "app/WindowFuncs.h"

#include "core/Global.h"
#include "core/ResourceText.h"
#include "effects/ui/NumEdit.h"
#include "effects/ui/WindowLook.h"

#include <algorithm>

#include <QCheckBox>
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

// An integer edit with up-down in Grid's cell (Row, Col), left-aligned.
TUDNumEdit* AddNum(QWidget* Parent, QGridLayout* Grid, int Row, int Col, int Min, int Max, int Step)
{
    auto* Edit = new TUDNumEdit(Parent, Max, Min, Min, Step, 0);
    Edit->setFixedWidth(56 + TUpDown::DefaultWidth);
    Grid->addWidget(Edit, Row, Col, Qt::AlignLeft);
    return Edit;
}

QComboBox* AddList(QWidget* Parent, std::initializer_list<const char*> Items)
{
    auto* List = new QComboBox(Parent);
    for (const char* Item : Items)
        List->addItem(Tr(Item));
    return List;
}

} // namespace

TJPEGOptionForm::TJPEGOptionForm(TJPEGOption& Option, QWidget* Owner) : QDialog(Owner), FOption(Option), FDraft(Option)
{
    setWindowTitle(Tr("JPEG Settings"));
    auto* Grid = new QGridLayout;
    int Row = 0;
    Grid->addWidget(new QLabel(Tr("Quality"), this), Row, 0);
    QualityEdit = FBindings.Bind(AddNum(this, Grid, Row++, 1, 0, 100, 1), FDraft.Quality);
    Grid->addWidget(new QLabel(Tr("Smoothing"), this), Row, 0);
    SmoothingEdit = FBindings.Bind(AddNum(this, Grid, Row++, 1, 0, 100, 1), FDraft.Smoothing);
    Grid->addWidget(new QLabel(Tr("Subsampling"), this), Row, 0);
    SampleList = FBindings.Bind(AddList(this, {"4:2:0", "4:2:2", "4:4:4", "4:1:1"}), FDraft.SampleType);
    Grid->addWidget(SampleList, Row++, 1);
    Grid->addWidget(new QLabel(Tr("Downscaling during decording"), this), Row, 0);
    DownScalingList = FBindings.Bind(AddList(this, {"None", "1/2", "1/4", "1/8"}), FDraft.DecodeWithDownScaling);
    Grid->addWidget(DownScalingList, Row++, 1);
    DownScalingPanel = new QWidget(this);
    auto* DownGrid = new QGridLayout(DownScalingPanel);
    DownGrid->setContentsMargins(0, 0, 0, 0);
    DownGrid->addWidget(new QLabel(Tr("Minimum ratio of output image"), DownScalingPanel), 0, 0);
    DownScalingEdit = FBindings.Bind(AddNum(DownScalingPanel, DownGrid, 0, 1, 100, 9999, 10), FDraft.DownScalingLimit);
    DownGrid->addWidget(new QLabel(QStringLiteral("%"), DownScalingPanel), 0, 2);
    Grid->addWidget(DownScalingPanel, Row++, 0, 1, 2);
    Grid->addWidget(new QLabel(Tr("DCT Method"), this), Row, 0);
    DCTList = AddList(this, {"Int", "Float"});
    DCTList->setCurrentIndex(FDraft.DCTMethod != 0 ? 1 : 0);
    Grid->addWidget(DCTList, Row++, 1);

    ExifCheck = FBindings.Bind(new QCheckBox(Tr("Keep Exif data"), this), FDraft.AddExifInfo);
    UpdateExifCheck = FBindings.Bind(new QCheckBox(Tr("Update Exif dimensions"), this), FDraft.UpdateExif);
    ExifThumbnailCheck = FBindings.Bind(new QCheckBox(Tr("Update Exif thumbnail"), this), FDraft.UpdateExifThumbnail);
    Grid->addWidget(ExifCheck, Row++, 0, 1, 2);
    Grid->addWidget(UpdateExifCheck, Row++, 0, 1, 2);
    Grid->addWidget(ExifThumbnailCheck, Row++, 0, 1, 2);

    SizeLimitCheck = FBindings.Bind(new QCheckBox(Tr("Set max file size"), this), FDraft.UseFileSizeLimit);
    Grid->addWidget(SizeLimitCheck, Row++, 0, 1, 2);
    SizeLabel = new QLabel(Tr("KB"), this);
    Grid->addWidget(SizeLabel, Row, 0);
    SizeEdit = FBindings.Bind(AddNum(this, Grid, Row++, 1, 1, 9999, 10), FDraft.FileSizeLimit);
    QualityLimitLabel = new QLabel(Tr("Min quality"), this);
    Grid->addWidget(QualityLimitLabel, Row, 0);
    QualityLimitEdit = FBindings.Bind(AddNum(this, Grid, Row++, 1, 0, 100, 1), FDraft.QualityLimit);
    SampleLimitLabel = new QLabel(Tr("Subsampling"), this);
    Grid->addWidget(SampleLimitLabel, Row, 0);
    SampleLimitList = FBindings.Bind(AddList(this, {"4:2:0", "4:2:2", "4:4:4", "4:1:1"}), FDraft.SampleTypeLimit);
    Grid->addWidget(SampleLimitList, Row++, 1);

    RecompressCheck = FBindings.Bind(new QCheckBox(Tr("Always recompress"), this), FDraft.AlwaysRecompress);
    ProgressiveCheck = FBindings.Bind(new QCheckBox(Tr("Progressive"), this), FDraft.Progressive);
    Grid->addWidget(RecompressCheck, Row++, 0, 1, 2);
    Grid->addWidget(ProgressiveCheck, Row++, 0, 1, 2);

    MakeOkCancelButtons(this, OkButton, CancelButton);
    connect(ExifCheck, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(SizeLimitCheck, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(DownScalingList, &QComboBox::currentIndexChanged, this, [this] { UpdateEnabled(); });
    UpdateEnabled();

    auto* Buttons = OkCancelRow(OkButton, CancelButton);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(Grid);
    Layout->addLayout(Buttons);
    ApplyUIFont(this);
    KeepCaptionWhole(this);
}

void TJPEGOptionForm::UpdateEnabled()
{
    const bool Exif = ExifCheck->isChecked();
    SetControlsEnabled({UpdateExifCheck, ExifThumbnailCheck}, Exif);
    DownScalingPanel->setEnabled(DownScalingList->currentIndex() != 0);
    SetControlsEnabled({SizeLabel, SizeEdit, QualityLimitLabel, QualityLimitEdit, SampleLimitLabel, SampleLimitList},
                       SizeLimitCheck->isChecked());
}

void TJPEGOptionForm::accept()
{
    TJPEGOption& O = FDraft;
    FBindings.Commit();
    O.DCTMethod = DCTList->currentIndex();
    // The size limit may only lower quality and subsampling, never raise them;
    // 4:1:1 is a layout of its own, not a step of the order.
    if (O.SampleTypeLimit != 3 && O.SampleTypeLimit > O.SampleType)
        O.SampleTypeLimit = O.SampleType;
    if (O.Quality < O.QualityLimit)
        O.QualityLimit = O.Quality;
    FOption = FDraft;
    QDialog::accept();
}
