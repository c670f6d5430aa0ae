// The colour adjustment effect's settings dialog with live preview: RGB and
// luma gamma (0.2..3.0), luma black and white points, chroma, hue and
// contrast (-255..255).
#pragma once
#include "effects/ui/SliderPreviewDlg.h"

#include <functional>

class QScrollBar;
class TNumEdit;
class TColorAdjust;

class TColorAdjustForm : public TSliderPreviewForm {
    Q_OBJECT
public:
    explicit TColorAdjustForm(QWidget* Owner = nullptr);
    ~TColorAdjustForm() override;

    void SetParam(const TColorAdjust& Effect);
    void GetParam(TColorAdjust& Effect) const;

    // One slider and one edit per value, in rows from RGB gamma (row 0) to
    // contrast (row 6); each carries its row number as "Tag". Gamma sliders:
    // 0 is 1.0, steps of 0.01 above and 0.004 below.
    QScrollBar *RGBGammaBar, *YGammaBar, *LumaMinBar, *LumaMaxBar, *ChromaBar, *HueBar, *ContrastBar;
    TNumEdit *RGBGammaEdit, *YGammaEdit, *LumaMinEdit, *LumaMaxEdit, *ChromaEdit, *HueEdit, *ContrastEdit;

protected:
    void ReloadSource(bool RequestAfter) override;
    uint32_t GetEffectID() override;
    TCustomPreviewThread* CreatePreviewThread(TMultiThread* AMT, TResizer* ARS) override;
    TCustomSpotPreviewThread* CreateSpotPreviewThread(TMultiThread* AMT) override;
    bool IsScaledRow(int Row) const override;
    int PositionOf(double Value) const override;
    double ValueOf(int Position) const override;
    void ResetClicked() override;

private:
    // The same controls by row, as the slider dialog keeps them.
    QScrollBar* FRowBars[7];
    TNumEdit* FRowEdits[7];
};

// Registers the effect's dialog. Owner (the main window, may be null) owns
// each dialog while it is shown; SelectedIndex gives the file list's selected
// entry (negative or absent: the first). Called once at start-up.
void RegisterColorAdjustForm(QWidget* Owner, std::function<int32_t()> SelectedIndex = {});
// The effect's ShowConfigDialog then shows the dialog modally; on OK copies its values into the effect; either way
// rebuilds the process-wide tables from the effect.
