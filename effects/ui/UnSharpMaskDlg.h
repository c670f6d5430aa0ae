// The sharpening effect's settings dialog with live preview: amounts for the
// bright and dark side (0..500 %), radius (0.5..5.0 pixels, 0.05 steps on the
// slider), threshold (0..255), linear-light and luma-only switches.
#pragma once
#include "effects/ui/SliderPreviewDlg.h"

#include <functional>

class QCheckBox;
class QScrollBar;
class TNumEdit;
class TUSMFilter;

class TUnSharpMaskOptionForm : public TSliderPreviewForm {
    Q_OBJECT
public:
    explicit TUnSharpMaskOptionForm(QWidget* Owner = nullptr);
    ~TUnSharpMaskOptionForm() override;

    void SetParam(const TUSMFilter& Effect);
    void GetParam(TUSMFilter& Effect) const;

    // The rows (0 amount (+), 1 amount (-), 2 radius, 3 threshold): a scroll
    // bar and an edit each, carrying the row number as "Tag".
    QScrollBar *HighlightBar, *ShadowBar, *RadiusBar, *ThresholdBar;
    TNumEdit *HighlightEdit, *ShadowEdit, *RadiusEdit, *ThresholdEdit;
    QCheckBox* LinearLightBox; // "LinearRGB work space"
    QCheckBox* LumaOnlyBox;    // "Luma Only"

protected:
    void ReloadSource(bool RequestAfter) override;
    uint32_t GetEffectID() override;
    TCustomPreviewThread* CreatePreviewThread(TMultiThread* AMT, TResizer* ARS) override;
    TCustomSpotPreviewThread* CreateSpotPreviewThread(TMultiThread* AMT) override;
    // The radius slider moves in steps of 0.05 pixels.
    bool IsScaledRow(int Row) const override { return Row == 2; }
    int PositionOf(double Value) const override { return int(Value * 20); }
    double ValueOf(int Position) const override { return Position / 20.0; }
    void ResetClicked() override;

private:
    static constexpr int RowCount = 4;
    QScrollBar* FRowBars[RowCount];
    TNumEdit* FRowEdits[RowCount];
};

// Registers the effect's dialog. Owner (the main window, may be null) owns
// each dialog while it is shown; SelectedIndex gives the file list's selected
// entry (negative or absent: the first). Called once at start-up.
void RegisterUnSharpMaskOptionForm(QWidget* Owner, std::function<int32_t()> SelectedIndex = {});
// The effect's ShowConfigDialog then shows the dialog modally; on OK copies its values into the effect. Either way the
// process-wide filter then carries the effect's values (the preview workers set the shared amounts while the dialog is
// open).
