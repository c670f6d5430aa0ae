// The sharpening effect's settings dialog with live preview: amounts for the
// bright and dark side (0..500 %), radius (0.5..5.0 pixels, 0.05 steps on the
// slider), threshold (0..255), linear-light and luma-only switches.
#pragma once
#include "effects/ui/PreviewBaseFrm.h"

#include <functional>

class QCheckBox;
class QPushButton;
class QScrollBar;
class TNumEdit;
class TUSMFilter;

class TUnSharpMaskOptionForm : public TPreviewBaseForm {
    Q_OBJECT
public:
    explicit TUnSharpMaskOptionForm(QWidget* Owner = nullptr);
    ~TUnSharpMaskOptionForm() override;

    void SetParam(const TUSMFilter& Effect);
    void GetParam(TUSMFilter& Effect) const;
    // Row i's value, clamped to its edit's range (a typed value is not
    // clamped until the edit loses focus).
    double RowValue(int Row) const;
    int RowIntValue(int Row) const { return int(RowValue(Row)); }

    // Row i: 0 amount (+), 1 amount (-), 2 radius, 3 threshold. The scroll bar
    // and the edit of a row carry the row number as "Tag".
    QScrollBar* ScrollBars[4];
    TNumEdit* Edits[4];
    QCheckBox* LinearLightBox; // "LinearRGB work space"
    QCheckBox* PreviewBox; // "Preview"
    QCheckBox* LumaOnlyBox; // "Luma Only"
    QCheckBox* HistogramBox; // "Histogram"
    QPushButton* OkButton; // OK
    QPushButton* CancelButton; // Cancel
    QPushButton* ResetButton; // Reset

protected:
    void PreviewClosed(QObject* Sender) override;
    void ReloadSource(bool RequestAfter) override;
    uint32_t GetEffectID() override;
    void RequestPreview() override;
    bool IsPreviewChecked() override;
    bool IsHistogramChecked() override;
    TCustomPreviewThread* CreatePreviewThread(TMultiThread* AMT, TResizer* ARS) override;
    TCustomSpotPreviewThread* CreateSpotPreviewThread(TMultiThread* AMT) override;

private:
    void ScrollBarChanged(int Row);
    void EditChanged(int Row);
    // Sets the edit, then the slider from it, without requesting a preview.
    void SetRow(int Row, double Value);
    void PreviewClicked();
    void HistogramClicked();
    void ResetClicked();

    bool FUpdating = false; // set while one control of a row follows the other
};

// Registers the effect's dialog. Owner (the main window, may be null) owns
// each dialog while it is shown; SelectedIndex gives the file list's selected
// entry (negative or absent: the first). Called once at start-up.
void RegisterUnSharpMaskOptionForm(QWidget* Owner, std::function<int32_t()> SelectedIndex = {});
// The effect's ShowConfigDialog then shows the dialog modally; on OK copies its values into the effect. Either way the
// process-wide filter then carries the effect's values (the preview workers set the shared amounts while the dialog is
// open).
