// The trimming effect's settings dialog. Its preview is the untrimmed picture
// in the shared preview window with the crop drawn as the selection: typing
// moves the selection, dragging the selection rewrites the text.
#pragma once
#include "effects/ui/PreviewBaseFrm.h"

#include <array>
#include <functional>
#include <string>

class QComboBox;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class TTrimmingFilter;

class TTrimmingOptionForm : public TPreviewBaseForm {
    Q_OBJECT
public:
    explicit TTrimmingOptionForm(QWidget* Owner = nullptr);

    // Mode 0..3 (what the four values mean), Exp the branch rule 0..2,
    // Values the two sets, SizeList the selection ratios as comma text.
    void SetParams(int Mode, int Exp, const std::array<std::string, 8>& Values, const std::string& SizeList,
                   bool Preview);
    // Under the "ALL" rule the second set is returned as a copy of the first.
    void GetParams(int& Mode, int& Exp, std::array<std::string, 8>& Values, std::string& SizeList, bool& Preview);

    // Splits Text by the current mode and evaluates the four parts against
    // the loaded picture (1000 x 1000 without one). False for any failure.
    bool EvaluateParams(const QString& Text, std::array<std::string, 4>& Parts, std::array<float, 4>& V) const;
    // Hands the selection for Text to the preview window; returns what was
    // handed, or (-1,-1,-1,-1) for an invalid text. Unchanged (Changed false)
    // for an aspect ratio with a part not above 0.
    TRect UpdateSelectRect(const QString& Text, bool& Changed);
    // A selection dragged on the preview: rewrites the applicable edit.
    void SelectRectChanged(TRect& r);
    // Selects the ratio entry Text, appending it first when it is new.
    // False (nothing changed) unless both ratio numbers are at least 1.
    bool AddRatio(const QString& Text);
    void DeleteRatio();

    QComboBox* ParamsList; // mode
    QComboBox* BranchList; // branch
    QLabel* FirstSetLabel;
    QLabel* SecondSetLabel;
    QLineEdit* FirstSetEdit;        // first set
    QLineEdit* SecondSetEdit;       // second set
    QCheckBox* PreviewBox;          // Preview
    QWidget* RatioPanel;            // the selection ratio row
    QComboBox* RatioList;           // "Free size" and the ratios
    QPushButton* AddRatioButton;    // Add
    QPushButton* DeleteRatioButton; // Del
    QPushButton* OkButton;          // OK
    QPushButton* CancelButton;      // Cancel

    std::array<std::string, 8> Value;

protected:
    void PreviewClosed(QObject* Sender) override;
    void ReloadSource(bool RequestAfter) override;
    uint32_t GetEffectID() override { return 16; }
    void RequestPreview() override;
    bool IsPreviewChecked() override;
    bool IsHistogramChecked() override { return false; }
    TCustomPreviewThread* CreatePreviewThread(TMultiThread*, TResizer*) override { return nullptr; }
    TCustomSpotPreviewThread* CreateSpotPreviewThread(TMultiThread*) override { return nullptr; }

private:
    void ModeChanged();
    void BranchChanged();
    void EditChanged(int Set);
    void SelectModeChanged();
    void AddClicked();
    void PreviewClicked();
    void OkClicked();
    bool FirstSetApplies() const;
    void SelectFromApplicable();
    void HandRatio();

    int FOtherMode = -1; // a stored mode the list cannot show, returned as it was
    bool IgnoreEditChange = false;
};

void RegisterTrimmingOptionForm(QWidget* Owner, std::function<int32_t()> SelectedIndex = {});
// The effect's ShowConfigDialog then shows the dialog modally; on OK copies its values into the effect and its owner
// list (CopyToOwner).
