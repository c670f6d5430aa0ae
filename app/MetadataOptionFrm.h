// The "Metadata Settings" dialog: which metadata the output files keep.
#pragma once
#include "app/ControlBinding.h"
#include "core/Global.h"

#include <QDialog>

class QCheckBox;
class TUDNumEdit;

class TMetadataOptionForm : public QDialog {
    Q_OBJECT
public:
    // Edits a copy of the settings (the Metadata record and the JPEG and PNG
    // fields shown here); OK stores what it shows.
    explicit TMetadataOptionForm(QWidget* Owner = nullptr);

    QCheckBox* KeepExif;
    QCheckBox* UpdateExif;
    QCheckBox* UpdateExifResolution;
    QCheckBox* UpdateExifThumbnail;
    QCheckBox* KeepICC;
    QCheckBox* KeepCreationTime;
    QCheckBox* KeepLastWriteTime;
    QCheckBox* KeepResolution;
    TUDNumEdit* Resolution; // dots per inch, 0..9999
    QCheckBox* WritepHYs;

    void accept() override;

private:
    TSettings FDraft = Settings; // what the controls edit; OK stores its records
    TControlBindings FBindings;
    // The Exif update boxes depend on "Keep Exif data"; the resolution update
    // also needs "Keep resolution" off. Disabled boxes keep their states.
    void UpdateEnabled();
};
