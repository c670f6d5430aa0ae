// A live-preview dialog built of slider rows (a scroll bar and a number edit
// each, kept in step), the Preview and Histogram switches and the OK, Cancel
// and Reset buttons.
#pragma once
#include "effects/ui/PreviewBaseFrm.h"

#include <string>

class QCheckBox;
class QLayout;
class QPushButton;
class QScrollBar;
class QVBoxLayout;
class TNumEdit;

class TSliderPreviewForm : public TPreviewBaseForm {
    Q_OBJECT
public:
    // Row i's value, clamped to its edit's range (a typed value is not
    // clamped until the edit loses focus).
    double RowValue(int Row) const;
    int RowIntValue(int Row) const { return int(RowValue(Row)); }

    QCheckBox* PreviewBox = nullptr;     // "Preview"
    QCheckBox* HistogramBox = nullptr;   // "Histogram"
    QPushButton* OkButton = nullptr;     // OK
    QPushButton* CancelButton = nullptr; // Cancel
    QPushButton* ResetButton = nullptr;  // Reset

protected:
    // One row: label, scroll bar range and page step, edit range, step,
    // decimals and start value.
    struct TRowDef {
        const char* Label;
        int Lo, Hi, Large;
        double Min, Max, Inc;
        int Fixed;
        double Value;
    };

    TSliderPreviewForm(QWidget* Owner, const std::string& Title);

    // Builds Count rows into Bars and Edits (which the caller keeps) and
    // returns the dialog's main layout. Call first in the derived constructor.
    QVBoxLayout* BuildRows(const TRowDef* Rows, int Count, QScrollBar** Bars, TNumEdit** Edits);
    // Makes the Preview and Histogram switches (both on).
    void MakePreviewBoxes();
    // Makes the buttons, puts Checks and the button row under the rows and
    // hands the dialog to the preview and histogram windows.
    void FinishLayout(QVBoxLayout* Main, QLayout* Checks);

    // Rows whose slider position is not the value's whole part map the two
    // with PositionOf and ValueOf.
    virtual bool IsScaledRow(int) const { return false; }
    virtual int PositionOf(double Value) const { return int(Value); }
    virtual double ValueOf(int Position) const { return Position; }
    virtual void ResetClicked() = 0;

    // Sets the edit, then the slider from it, without requesting a preview.
    void SetRow(int Row, double Value);

    void PreviewClosed(QObject* Sender) override;
    void RequestPreview() override;
    bool IsPreviewChecked() override;
    bool IsHistogramChecked() override;

private:
    void ScrollBarChanged(int Row);
    void EditChanged(int Row);
    void PreviewClicked();
    void HistogramClicked();

    QScrollBar** FBars = nullptr;
    TNumEdit** FEdits = nullptr;
    bool FUpdating = false; // set while one control of a row follows the other
};
