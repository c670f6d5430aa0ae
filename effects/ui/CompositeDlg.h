// The composite effect's settings dialog: the image file, over or under, the
// anchor, offsets and opacity, with an unscaled 512 x 288 preview of the
// result. Dragging the top layer sets the offsets; dropping an image file on
// the dialog takes it as the image file.
#pragma once
#include "core/ImgInfo.h"
#include "effects/ui/DragPreviewArea.h"

#include <QDialog>
#include <QImage>
#include <QWidget>

#include <functional>
#include <string>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TUDNumEdit;
class TCompositeEffect;
class TCompositeOptionForm;

// Fills Img (holding no block) with a new 8-bit block: the picture of file
// list entry Index as it reaches the composite effect. False, Img untouched,
// when there is none. May raise; the preview then has no picture.
using TCompositePreviewLoader = std::function<bool(int32_t Index, TImgInfo& Img)>;
// Loads the image file Path at full size into Img (holding no block); false,
// Img untouched, when it cannot. Empty: the effect's own loader.
using TCompositeFileLoader = std::function<bool(const std::string& Path, TImgInfo& Img)>;

class TCompositeOptionForm : public QDialog, public TDragPreviewOwner {
    Q_OBJECT
public:
    static constexpr int PreviewWidth = 512, PreviewHeight = 288;

    explicit TCompositeOptionForm(QWidget* Owner = nullptr, TCompositePreviewLoader Loader = {},
                                  TCompositeFileLoader FileLoader = {});
    ~TCompositeOptionForm() override;

    // Shows the values (numbers outside their ranges clamped) and loads the
    // image file when it exists.
    void SetParam(int32_t Mode, int32_t BasePos, int32_t OffsetX, int32_t OffsetY, int32_t Opacity,
                  const std::string& FileName);
    void GetParam(int32_t& Mode, int32_t& BasePos, int32_t& OffsetX, int32_t& OffsetY, int32_t& Opacity,
                  std::string& FileName) const;
    // The picture of entry Index through the loader; -1 for none.
    void SetPreviewImageIndex(int32_t Index);
    // Takes Path as the image file (loaded when it can be) and repaints.
    void SetImageFile(const std::string& Path);

    void UpdatePreview();
    const QImage& BackBuffer() const override { return BackBuf; }
    const TRect& ForegroundRectangle() const { return ForegroundRect; }

    void PreviewMouseDown(int X, int Y) override;
    void PreviewMouseMove(int X, int Y) override;
    void PreviewMouseUp() override { IsDrag = false; }

    QRadioButton* ForegroundButton; // the file on top
    QRadioButton* BackgroundButton; // the file as canvas
    QLineEdit* FileEdit;            // file name
    QPushButton* BrowseButton;      // browse
    QComboBox* PositionList;
    TUDNumEdit* OffsetXEdit;   // offset x
    TUDNumEdit* OffsetYEdit;   // offset y
    TUDNumEdit* OpacityEdit;   // opacity
    QPushButton* OkButton;     // OK
    QPushButton* CancelButton; // Cancel
    TDragPreviewArea* PreviewArea;

protected:
    void dragEnterEvent(QDragEnterEvent* E) override;
    void dropEvent(QDropEvent* E) override;

private:
    bool InLayer(int X, int Y) const;
    void LoadSrc2(const std::string& Path);

    TCompositePreviewLoader FLoader;
    TCompositeFileLoader FFileLoader;
    QImage BackBuf;
    bool UpdateLock = true;
    TImgInfo Src, Src2;
    TRect ForegroundRect;
    bool IsDrag = false;
    QPoint DragPos;
    int32_t ImgIndex = -1;
};

// Registers the effect's dialog. Owner (may be null) owns each dialog while
// it is shown; Loader supplies preview pictures and CurrentIndex the entry to
// preview (-1 for none; both may be empty). Called once at start-up.
void RegisterCompositeOptionForm(QWidget* Owner, TCompositePreviewLoader Loader = {},
                                 std::function<int32_t()> CurrentIndex = {});
// The effect's ShowConfigDialog then shows the dialog modally; on OK its values go to the effect and the loaded
// image file is forgotten.
