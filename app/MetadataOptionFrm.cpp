#include "app/MetadataOptionFrm.h"
#include "app/WindowFuncs.h"

#include "core/Global.h"
#include "effects/ui/WindowLook.h"
#include "core/ResourceText.h"
#include "effects/ui/NumEdit.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QString Tr(const char* Text)
{
    return QString::fromStdString(LoadResText(Text));
}
}

TMetadataOptionForm::TMetadataOptionForm(QWidget* Owner) : QDialog(Owner)
{
    setWindowTitle(Tr("Metadata Settings"));
    if (!Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize > 0 ? Settings.UIFontSize : -1));

    auto Box = [this](const char* Text, bool& Field) { return FBindings.Bind(new QCheckBox(Tr(Text), this), Field); };
    KeepExif = Box("Keep Exif data", FDraft.JPEG.AddExifInfo);
    UpdateExif = Box("Update Exif dimensions", FDraft.JPEG.UpdateExif);
    UpdateExifResolution = Box("Update Exif resolution", FDraft.JPEG.UpdateExifResolution);
    UpdateExifThumbnail = Box("Update Exif thumbnail", FDraft.JPEG.UpdateExifThumbnail);
    KeepICC = Box("Keep ICCProfile", FDraft.Metadata.KeepICCProfile);
    KeepCreationTime = Box("Keep creation time", FDraft.Metadata.KeepCreationTime);
    KeepLastWriteTime = Box("Keep last write time", FDraft.Metadata.KeepLastWriteTime);
    KeepResolution = Box("Keep resolution", FDraft.Metadata.KeepResolution);
    WritepHYs = Box("PNG save resolution", FDraft.PNG.WritepHYsChunk);

    auto* Layout = new QVBoxLayout(this);
    for (QCheckBox* B : {KeepExif, UpdateExif, UpdateExifResolution, UpdateExifThumbnail, KeepICC, KeepCreationTime,
                         KeepLastWriteTime, KeepResolution})
        Layout->addWidget(B);
    UpdateExif->setContentsMargins(16, 0, 0, 0);
    UpdateExifResolution->setContentsMargins(16, 0, 0, 0);
    UpdateExifThumbnail->setContentsMargins(16, 0, 0, 0);
    auto* Row = new QHBoxLayout;
    Row->addWidget(new QLabel(Tr("Resolution"), this));
    Resolution = new TUDNumEdit(this, 9999, 0, FDraft.Metadata.Resolution, 1, 0);
    Resolution->setFixedWidth(56 + TUpDown::DefaultWidth);
    Row->addWidget(Resolution);
    Row->addWidget(new QLabel(QStringLiteral("dpi"), this));
    Row->addStretch(1);
    Layout->addLayout(Row);
    Layout->addWidget(WritepHYs);

    auto* Buttons = new QDialogButtonBox(this);
    Buttons->addButton(Tr("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    Buttons->addButton(Tr("Cancel"), QDialogButtonBox::RejectRole);
    connect(Buttons, &QDialogButtonBox::accepted, this, &TMetadataOptionForm::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Layout->addWidget(Buttons);

    connect(KeepExif, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(KeepResolution, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    UpdateEnabled();
    KeepCaptionWhole(this);
}

void TMetadataOptionForm::UpdateEnabled()
{
    const bool Exif = KeepExif->isChecked();
    SetControlsEnabled({UpdateExif, UpdateExifThumbnail}, Exif);
    UpdateExifResolution->setEnabled(Exif && !KeepResolution->isChecked());
}

void TMetadataOptionForm::accept()
{
    FBindings.Commit();
    FDraft.Metadata.Resolution = Resolution->IntValue();
    using J = TJPEGOption;
    StoreFields<&J::AddExifInfo, &J::UpdateExif, &J::UpdateExifResolution, &J::UpdateExifThumbnail>(Settings.JPEG,
                                                                                                    FDraft.JPEG);
    Settings.Metadata = FDraft.Metadata;
    StoreFields<&TPNGOption::WritepHYsChunk>(Settings.PNG, FDraft.PNG);
    QDialog::accept();
}
