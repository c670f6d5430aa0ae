// The histogram window beside an effect dialog: the source picture's
// histogram faint in the background, the processed picture's stronger on top,
// for the channel group the user picks. One process-wide instance,
// HistogramForm, created and released with a preview dialog; GUI thread only.
#pragma once
#include "effects/Histogram.h"
#include "effects/ui/PreviewWindows.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;

// Called when the chosen view needs tables of the other counting mode: the
// dialog asks for a new preview, whose worker counts in the matching mode.
using THistogramUpdateProc = std::function<void()>;

class THistogramForm;

// The drawing area: shows the form's BackBuf and reports the pointer column.
class THistogramPaintBox : public QWidget {
public:
    explicit THistogramPaintBox(THistogramForm* Form);

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;

private:
    THistogramForm* FForm;
};

class THistogramForm : public QWidget {
    Q_OBJECT
public:
    // Owner: the window the histogram stays above (may be null).
    explicit THistogramForm(QWidget* Owner = nullptr);

    // Size of the drawing, in pixels; value i is column i + 6, the baseline is
    // row 128.
    static constexpr int BufWidth = 268, BufHeight = 130;

    void SetParentForm(QWidget* Form, THistogramUpdateProc Proc);
    // A preview dialog takes the window over: its check box follows the
    // window and Proc asks it for fresh counts.
    void AttachDialog(QWidget* Form, QCheckBox* Box, THistogramUpdateProc Proc);
    // Copies the source picture's six tables (HistogramCounters entries).
    void SetDefaultCount(const uint32_t* Counts);
    // Takes the live tables from six tables: 0-2 in the RGB views, 3-5 in the
    // Y and CbCr views; repaints and clears the read-out.
    void UpdateHistogram(const uint32_t* Counts);
    // Stores the scale and the channel into the preview options (dialog OK).
    void SaveOption();

    // Redraws BackBuf from the tables for the current view and scale.
    void RenderHistogram();
    // The read-out for the pointer at column X of the drawing.
    void ShowValueAt(int X);

    QLabel* ChannelLabel;
    QComboBox* ChannelList;     // "RGB", "R", "G", "B", "Y", "CbCr"
    QRadioButton* LinearButton; // linear scale
    QRadioButton* LogButton;    // logarithmic scale
    THistogramPaintBox* GraphBox;
    QLabel* ValueLabel; // value read-out

    QImage BackBuf;           // BufWidth x BufHeight, 24-bit
    bool IsGrayscale = false; // the source has no second table
    uint32_t TotalCount = 0;  // pixels of the source (sum of its table 0)
    QWidget* ParentForm = nullptr;
    THistogramUpdateProc UpdateProc;
    int HistogramType = 0; // 0: an RGB view (indices 0-3), 1: Y or CbCr
    // Live tables: (B, G, R) in the RGB group, (Y, Cb, Cr) in the Y/CbCr group.
    uint32_t HistogramCount[3 * 256] = {};
    uint32_t DefaultCount[HistogramCounters] = {};
    // The owner dialog's Histogram check box, unchecked when the window closes.
    QCheckBox* HistogramCheckBox = nullptr;

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    void ChannelChanged();
    void DrawTable(const uint32_t* Table, QRgb Color, int Strength);
};

class THistogramWindowHook;
// Makes the histogram window of a preview dialog (the process-wide
// HistogramForm, owned by the returned object and released with it).
THistogramWindowHook* NewHistogramWindow(QWidget* Owner);
