// Two looks at a listed file: its thumbnail (for the thumbnail window beside
// the main window) and the preview of the whole effect chain on it, shown in
// the preview window, where Left and Right step through the list, or handed
// to the external viewer on the clipboard.
//
// What the main window does with it: its Preview and Preview In New Window
// commands first push the size rule into the effect chain (SetResizeParam;
// when that refuses, nothing is previewed), then call TListPreview::Execute
// with the list's current row. GUI thread only, but for the thumbnail
// decode (DecodeThumbnailSource), which runs beside it.
#pragma once
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/ImgInfo.h"
#include "core/RunSettings.h"

#include <QImage>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QObject;
class QWidget;
class TPreviewForm;

// Shows the error log modally when it holds lines (on standard error when
// nobody can answer a window).
void ShowErrorLogIfAny();

// Longest side of a thumbnail, in pixels.
inline constexpr int kThumbnailSide = 160;

// A picture record as a window bitmap: 1 channel as 8-bit gray, 3 as 24-bit;
// 2 (gray, alpha) and 4 channels flattened onto Background. Null for other
// channel counts or no block.
QImage ImgToQImage(const TImgInfo& Img, const TBGColor& Background);

// The factor of a reduced JPEG decode for a thumbnail: 1, 2, 4 or 8, the
// largest that keeps the decoded long side at least kThumbnailSide.
int32_t ThumbnailDecodeFactor(int32_t Width, int32_t Height);
// The thumbnail size of a Width x Height picture: the long side becomes
// kThumbnailSide, the other in proportion (truncated, at least 1); pictures
// that fit keep their size.
void ThumbnailSize(uint32_t Width, uint32_t Height, uint32_t& W, uint32_t& H);

// Encodes Img as a JPEG of Quality into Out, growing the buffer until the
// encoder has room. False when the encoder fails for another reason.
bool EncodeThumbnailJPEG(const TImgInfo& Img, int32_t Quality, std::vector<uint8_t>& Out);

// The entry's thumbnail (probing the entry first when needed): the cached
// one, else the picture embedded in the file (unless IgnoreEmbedded), else
// the file decoded small; a picture that had to be reduced is cached in the
// entry as a small JPEG. False (Bitmap null) when the entry does not probe or
// nothing could be decoded; readers may raise the program's errors.
bool UpdateThumbnail(QImage& Bitmap, TImageInfo& Entry, bool IgnoreEmbedded);

// What a thumbnail is decoded from: facts of a probed entry, so that the
// decode needs no entry.
struct TThumbnailSource {
    std::string Path;
    int32_t Format = pfUnknown; // pfBMP, pfJPEG, pfPNG or pfWIC; others give nothing
    int32_t Width = 0, Height = 0;
};
// Decodes Source small, on any thread: a JPEG at the thumbnail factor, PNG
// and the imaging formats shrunk by a whole factor to a long side of at least
// kThumbnailSide, a BMP whole. Img receives a new block; false when nothing
// was decoded (the reader's reason is in the error log). Reads under the
// calling thread's picture budget; readers may raise the program's errors.
bool DecodeThumbnailSource(const TThumbnailSource& Source, TImgInfo& Img, const TRunSettings& S);
// GUI thread: shrinks Img in place with the main resizer to the thumbnail
// size (ThumbnailSize) when it is larger; Resized, when given, tells whether
// it was. False (Img unchanged) when there is no main resizer.
bool FitThumbnail(TImgInfo& Img, bool* Resized = nullptr);
// GUI thread: brings a decoded picture to the thumbnail size with the main
// resizer (Img is resized in place) and makes the bitmap; Cache receives the
// JPEG to keep in the entry when it had to be shrunk, else stays empty.
bool FinishThumbnail(TImgInfo& Img, QImage& Bitmap, std::vector<uint8_t>& Cache);

// Bitmap (null when none could be made), the JPEG to cache in the entry (may
// be empty), a failure's message (empty when none) and what the readers said
// on the way (their reasons joined by "; ", empty when nothing): kept out of
// the error log, for the caller to log once per file.
using TThumbnailDone = std::function<void(const QImage& Bitmap, std::vector<uint8_t> Cache, const std::string& Error,
                                          const std::string& Said)>;
// The thumbnail UpdateThumbnail makes, with the decode of the file on a pool
// thread so that the window never waits for a big picture. Done runs on
// the GUI thread (where Context lives): at once when nothing had to be
// decoded (or a plug-in read the file), else when the decode ends (never
// when Context is gone by then). The entry is not touched after this returns: Done caches into it
// when it still lists the entry.
void StartThumbnail(TImageInfo& Entry, bool IgnoreEmbedded, QObject* Context, TThumbnailDone Done);

// Whether the external viewer named in the settings exists.
bool ViewerExists();
// The viewer's argument vector: Path, then Options split into arguments
// (blanks separate, double quotes group), and in each argument every "$t"
// (any letter case) replaced by Caption and every "$p" by ProgramDir. A
// substituted text stays inside its one argument whatever it holds.
std::vector<std::string> ViewerArguments(const std::string& Path, const std::string& Options,
                                         const std::string& Caption, const std::string& ProgramDir);

// The Preview command of the main window.
class TListPreview {
public:
    // Owner: the main window (parent of the preview window). List: null for
    // FileList.
    explicit TListPreview(QWidget* Owner, TImageInfoList* List = nullptr);
    ~TListPreview();
    TListPreview(const TListPreview&) = delete;
    TListPreview& operator=(const TListPreview&) = delete;

    // Previews entry Row (0 when negative): to the external viewer when one
    // exists (NewWindow picks its second option set), else in the preview
    // window, shown modally. Failures go to the error log, which is shown.
    void Execute(int Row, bool NewWindow);

    // Reads entry Index and runs the effect chain on it for a preview; Img
    // receives a new block (it must hold none), Caption "name:resize mode".
    // False when the entry does not probe; raises "Failed to load file" when
    // it cannot be read.
    bool LoadPreviewImage(int Index, TImgInfo& Img, std::string& Caption);

    int PreviewIndex() const { return FPreviewIndex; }
    // The preview window while it is open, else null.
    TPreviewForm* Form() const { return FForm; }

private:
    TImageInfoList* List() const;
    // Probes entry Index when needed and gives it its output name and number
    // as a run would; false when it does not probe.
    bool NameEntry(int Index);
    void ShowInWindow(const std::string& Caption);
    void ToViewer(const std::string& Caption, bool NewWindow);
    static void TitleViewerWindow(int Pid, const std::string& Caption);
    void Step(int Delta);
    void RenderPreview();

    QWidget* FOwner;
    TImageInfoList* FList;
    TPreviewForm* FForm = nullptr;
    TImgInfo FPreviewImage, FPreviewAllImage;
    int FPreviewIndex = 0;
    std::string FCaption;
};
