// The add-text effect's settings dialog: text, anchor, offsets, font, colours,
// box, drop shadow and glow, with an unscaled 512 x 288 preview drawn by the
// effect's own renderer. Dragging the text block in the preview sets the
// offsets.
#pragma once
#include "core/ImageInfo.h"
#include "core/ImgInfo.h"
#include "effects/ui/DragPreviewArea.h"
#include "effects/AddTextEffect.h"
#include "effects/FontCache.h"

#include <QDialog>
#include <QImage>
#include <QWidget>

#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class TUDNumEdit;
class TAddTextForm;

// What the preview shows for a file list entry: the picture as it reaches the
// add-text effect and the values of the name, number and date tokens.
struct TAddTextPreviewSource {
    std::string OldFileName, NewFileName; // names with extension
    TDateTime Time = 0;
    int32_t Number = 0; // added to the rule's start value: the entry's index
};
// Fills Img (which holds no block) with a new block of 8-bit samples and Names
// for entry Index; false, Img untouched, when the entry gives no picture. May
// raise; the dialog then shows the generated field.
using TAddTextPreviewLoader = std::function<bool(int32_t Index, TImgInfo& Img, TAddTextPreviewSource& Names)>;

class TAddTextForm : public QDialog, public TDragPreviewOwner {
    Q_OBJECT
public:
    static constexpr int PreviewWidth = 512, PreviewHeight = 288;

    explicit TAddTextForm(QWidget* Owner = nullptr, TAddTextPreviewLoader Loader = {});
    ~TAddTextForm() override;

    // Shows the values; numbers outside an edit's range show clamped.
    void SetParam(const TAddTextParam& Param, const TFont& Font, const std::string& Text);
    // The values shown (clamped numbers); the font carries the font colour.
    void GetParam(TAddTextParam& Param, TFont& Font, std::string& Text) const;
    // Loads the preview picture of file list entry Index through the loader;
    // -1 (or no loader, or a failing one) gives a gray field and sample names.
    void SetPreviewImageIndex(int32_t Index);

    // Redraws Dest and the back buffer from the controls (not while locked).
    void UpdatePreview();
    const QImage& BackBuffer() const override { return BackBuf; }
    const TRect& TextRectangle() const { return TextRect; }

    // Preview mouse handling, in preview coordinates.
    void PreviewMouseDown(int X, int Y) override;
    void PreviewMouseMove(int X, int Y) override;
    void PreviewMouseUp() override;

    QPlainTextEdit* TextEdit;
    QLabel* HelpIcon; // a click shows the text's tokens beside it
    QComboBox* PositionList;
    TUDNumEdit *XOffsetEdit, *YOffsetEdit;         // offset from the anchor, pixels
    TUDNumEdit *FontOpacityEdit, *BackOpacityEdit; // 0..100 %
    TUDNumEdit *MarginXEdit, *MarginYEdit;         // box margins, pixels
    TUDNumEdit* LinePitchEdit;                     // extra line space, 0..999 in quarters
    TUDNumEdit *ShadowOpacityEdit, *ShadowRadiusEdit, *ShadowStrEdit, *ShadowOffsetXEdit, *ShadowOffsetYEdit;
    TUDNumEdit *GlowOpacityEdit, *GlowRadiusEdit, *GlowStrEdit;
    QPushButton* FontButton;       // font
    QPushButton* FontColorPanel;   // font colour
    QPushButton* BackColorPanel;   // box colour
    QCheckBox* ShadowBox;          // drop shadow
    QGroupBox* ShadowGroup;        // shadow group
    QPushButton* ShadowColorPanel; // shadow colour
    QCheckBox* GlowBox;            // glow
    QGroupBox* GlowGroup;          // glow group
    QPushButton* GlowColorPanel;   // glow colour
    QPushButton* OkButton;         // OK
    QPushButton* CancelButton;     // Cancel
    TDragPreviewArea* PreviewArea;

private:
    bool InText(int X, int Y) const;
    void SetPanelColor(QPushButton* Panel, int32_t Color);
    void PickColor(QPushButton* Panel);
    void PickFont();
    void ShowFontCaption();

    TAddTextPreviewLoader FLoader;
    TFont FFont; // the font chosen; its colour follows FontColorPanel
    QImage BackBuf;
    bool UpdateLock = true;
    TImgInfo Src, Dest;
    TRect TextRect;
    bool IsDrag = false;
    QPoint DragPos;
    TAddTextPreviewSource Names;
    TFontCache FontCache;
};

// Registers the effect's dialog. Owner (may be null) owns each dialog while it
// is shown; Loader supplies preview pictures and CurrentIndex the entry to
// preview (both may be empty: the generated field). Called once at start-up.
void RegisterAddTextForm(QWidget* Owner, TAddTextPreviewLoader Loader = {}, std::function<int32_t()> CurrentIndex = {});
// The effect's ShowConfigDialog then shows the dialog modally and, on OK only, copies its values into the effect.
