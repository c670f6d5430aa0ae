// The add-blank effect's settings dialog: margin or aspect-ratio texts for
// landscape and portrait pictures, the margin colour, three frames and the
// drop shadow, with a live preview computed on the preview worker.
#pragma once
#include "effects/AddBlankFilter.h"
#include "effects/ui/PreviewBaseFrm.h"

#include <array>
#include <functional>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class TUDNumEdit;

// Splits a value text of BlankType into its four parts and evaluates each
// with W and H (the reference picture size). Margins: "l,t,r,b". Aspect:
// "a:b,x,y", "a:b" (x and y become "-1", centred) or "a:x,y:b". True, with
// Parts holding the texts without blanks, when every part evaluates.
bool CheckBlankValueText(const std::string& Text, int32_t BlankType, int64_t W, int64_t H,
                         std::array<std::string, 4>& Parts);

class TAddBlankForm : public TPreviewBaseForm {
    Q_OBJECT
public:
    explicit TAddBlankForm(QWidget* Owner = nullptr);
    ~TAddBlankForm() override;

    void SetParam(const TAddBlankParam& _Param, bool Preview);
    void GetParam(TAddBlankParam& _Param, bool& Preview) const;
    // Starts the preview of the current values on the worker: the whole
    // canvas, fitted on its own in the fit view.
    void RequestPreview() override;

    QComboBox* BlankTypeList; // blank type
    QComboBox* BranchList;    // branch
    QLabel* FirstSetLabel;
    QLabel* SecondSetLabel;
    QLineEdit* FirstSetEdit;                   // first value set
    QLineEdit* SecondSetEdit;                  // second value set
    QComboBox* ColorSourceList;                // colour source
    std::array<QPushButton*, 5> ColorPanels{}; // tags 0..4: margin, frames 1..3, shadow
    std::array<TUDNumEdit*, 9> UDNumEdit{};    // tags 0..8
    std::array<QCheckBox*, 4> CheckBoxes{};    // tag 0 shadow, 1..3 frames
    QWidget* ShadowPanel;                      // the shadow group
    QCheckBox* PreviewBox;                     // Preview
    QPushButton* OkButton;                     // OK
    QPushButton* CancelButton;                 // Cancel

protected:
    void PreviewClosed(QObject* Sender) override;
    void ReloadSource(bool RequestAfter) override;
    uint32_t GetEffectID() override { return 32; }
    bool IsPreviewChecked() override;
    bool IsHistogramChecked() override { return false; }
    TCustomPreviewThread* CreatePreviewThread(TMultiThread* AMT, TResizer* ARS) override;
    // The canvas moves every pixel: no part can be computed alone.
    TCustomSpotPreviewThread* CreateSpotPreviewThread(TMultiThread*) override { return nullptr; }
    void changeEvent(QEvent* e) override;

private:
    void EditChanged(int Set);
    void TypeChanged();
    void BranchChanged();
    void ColorClicked(int Tag);
    void NumEditChanged(int Tag);
    void CheckBoxClicked(int Tag);
    void PreviewClicked();
    void OkClicked();
    bool SetApplies(int Set) const;
    void ShowColor(int Tag, int32_t Color);
    int32_t& ColorOf(int Tag);
    TSize ReferenceSize() const;

    TAddBlankParam Param;
    bool IgnoreEditChange = false;
};

// Registers the effect's dialog; Owner (the main window, may be null) owns
// each dialog while it is shown. Called once at start-up.
void RegisterAddBlankForm(QWidget* Owner, std::function<int32_t()> SelectedIndex = {});
// The effect's ShowConfigDialog then shows the dialog modally and, on OK only, copies its values into the effect.
