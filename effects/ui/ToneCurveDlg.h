// The tone curve effect's editor: six curves drawn over the picture's
// histogram in a 260 x 260 box, where a click adds or moves a control point
// and dragging a point past a neighbour removes it; presets from the
// ToneCurve folder; live preview. Works on its own copies of the lists and
// hands them back on OK only.
#pragma once
#include "effects/ToneCurveEffect.h"
#include "effects/ui/PreviewBaseFrm.h"

#include <QImage>
#include <QWidget>
#include <array>
#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class TToneCurveOptionForm;

// The curve box: paints the form's BackBuf and passes the mouse on.
class TToneCurveBox : public QWidget {
public:
    explicit TToneCurveBox(TToneCurveOptionForm* Form);

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    TToneCurveOptionForm* FForm;
};

class TToneCurveOptionForm : public TPreviewBaseForm {
    Q_OBJECT
public:
    explicit TToneCurveOptionForm(QWidget* Owner = nullptr);
    ~TToneCurveOptionForm() override;

    // Copies the six lists (sorted; an empty list becomes the identity) into
    // Pt and DefaultPt. HistogramType: 0 linear, 1 logarithmic.
    void SetParam(const TCurveSet& Points, int32_t HistogramType, bool AHistogram, bool APreview);
    void GetParam(TCurveSet& Points, int32_t& HistogramType, bool& AHistogram, bool& APreview) const;

    // Box pixel (X, Y) as a curve point, each coordinate clamped to 0..255.
    static TCurvePoint MapMouse(int X, int Y);
    // Mouse handlers of the curve box, in box pixels.
    void CurveMouseDown(int X, int Y);
    void CurveMouseMove(int X, int Y);
    void CurveMouseUp();

    // Replaces point Index of the current list from an "x,y" text when the
    // point keeps the x order and stays in 0..255; false (nothing changed)
    // otherwise.
    bool EditPoint(int Index, const QString& Text);
    // Writes the six lists to FileName (raises EVestroError when it cannot).
    void SavePreset(const std::string& FileName);
    // Preset list entry Index: 0 the lists the dialog opened with, else the
    // file of that name in the preset folder.
    void LoadPreset(int Index);
    void SetChannel(int Index);
    void ResetChannel();
    void ResetAll();

    // Redraws BackBuf and the box.
    void Redraw();

    QComboBox* PresetList;           // preset
    QPushButton* SavePresetButton;   // save preset
    QRadioButton* LinearScaleButton; // histogram linear
    QRadioButton* LogScaleButton;    // histogram logarithmic
    QComboBox* ChannelList;          // channel
    QPushButton* ResetChannelButton; // reset this channel
    TToneCurveBox* CurveBox;
    QLabel* PositionLabel;       // "x=..,y=.." read-out
    QListWidget* PointList;      // points of the current channel
    QCheckBox* PreviewBox;       // preview
    QCheckBox* HistogramBox;     // histogram
    QPushButton* ResetAllButton; // reset all channels
    QPushButton* OkButton;       // OK
    QPushButton* CancelButton;   // Cancel

    QImage Graph;   // the empty grid
    QImage BackBuf; // the whole box, off screen
    TCurveSet Pt;
    TCurveSet DefaultPt;
    int32_t Channel = 0;
    int32_t Current = 0; // point under the cursor or being dragged
    bool IsDrag = false;
    std::array<std::array<uint16_t, 256>, tcCount> CurveTable{};

protected:
    void PreviewClosed(QObject* Sender) override;
    void ReloadSource(bool RequestAfter) override;
    uint32_t GetEffectID() override { return 512; }
    void RequestPreview() override;
    bool IsPreviewChecked() override;
    bool IsHistogramChecked() override;
    TCustomPreviewThread* CreatePreviewThread(TMultiThread* AMT, TResizer* ARS) override;
    TCustomSpotPreviewThread* CreateSpotPreviewThread(TMultiThread* AMT) override;
    bool eventFilter(QObject* Obj, QEvent* Event) override;

private:
    void SampleAll();
    void RefreshPointList();
    void DrawMarker(bool Filled);
    void RestoreMarker();
    int NearestPoint(int x) const;
    void DrawCurveHistogram(QRgb Color, const uint32_t* Counts, int Strength);
    void PreviewToggled();
    void HistogramToggled();
    void SaveClicked();
    void PointDoubleClicked();
};

// Registers the effect's dialog; Owner (the main window, may be null) owns
// each dialog while it is shown; SelectedIndex gives the file list's selected
// entry (negative or absent: the first). Called once at start-up.
void RegisterToneCurveOptionForm(QWidget* Owner, std::function<int32_t()> SelectedIndex = {});
// The effect's ShowConfigDialog then shows the editor modally; on OK copies its values into the effect. The effect's
// tables are rebuilt either way.
