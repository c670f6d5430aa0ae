// The base of the effect dialogs with a live before/after preview, and the two
// background workers that compute such previews: one for the whole picture,
// one for the part visible in a magnified view.
//
// Workers never touch the dialog or the windows directly: everything they
// read from the dialog and every result they hand back passes through calls
// run on the GUI thread (Synchronize). The GUI thread blocks on a worker only
// when stopping it.
#pragma once
#include "core/ImgInfo.h"
#include "effects/ui/PreviewWindows.h"
#include "effects/Effect.h" // TSize
#include "platform/Event.h"

#include <QDialog>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

class QCheckBox;
class TImageInfoList;
class TMultiThread;
class TResizer;
class TPreviewBaseForm;

// Six tables of 256 counters: pixel bytes 0, 1, 2 (blue, green, red), Y, Cb, Cr.
using THistogramCounts = std::array<std::array<uint32_t, 256>, 6>;

// What the preview dialogs need of the histogram window. The histogram module
// supplies it (CreateHistogramWindow starts as its maker); when the maker is
// cleared, dialogs simply show no histogram.
class THistogramWindowHook {
public:
    virtual ~THistogramWindowHook() = default;
    // Counts Img in Mode (1 RGB, 2 luma/chroma, 3 all six tables) on MT. Any thread.
    virtual void Count(const TImgInfo& Img, int32_t Mode, TMultiThread& MT, THistogramCounts& Counts) = 0;
    // The following run on the GUI thread only.
    // Dialog takes the window over: Box (its Histogram check box) is
    // unchecked when the user closes the window, and Update asks the dialog
    // for a new preview when the view needs counts of the other kind.
    virtual void Attach(QWidget* Dialog, QCheckBox* Box, std::function<void()> Update) = 0;
    // The source picture's tables, drawn faint behind the live ones.
    virtual void SetDefaultCounts(const THistogramCounts& Counts) = 0;
    // The processed picture's tables.
    virtual void SetCounts(const THistogramCounts& Counts) = 0;
    virtual int32_t ChannelIndex() const = 0; // 4 and above: Y or CbCr
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // Puts the shown window above the other windows of its dialog.
    virtual void Raise() { }
    virtual bool IsShown() const = 0;
    // Keeps the scale and channel for the next dialog (the dialog's OK).
    virtual void SaveOption() = 0;
};

// The entry of PreviewFileList that a preview dialog opens on: the one
// Selected gives (the list's selected entry), the first when Selected is
// empty or gives none, and -1 only when the list is empty.
int32_t SelectedPreviewEntry(const std::function<int32_t()>& Selected);

// New record in Dest holding a copy of Src's pixels (Dest's old block is not freed).
void CopyImgInfo(const TImgInfo& Src, TImgInfo& Dest);
// New record in Dest holding the part r of Src: columns r.Left..r.Right,
// memory rows r.Top..r.Bottom (exclusive), cut to Src. An empty part leaves
// Dest empty.
void CropImgInfo(const TImgInfo& Src, TImgInfo& Dest, const TRect& r);

// A thread that a dialog owns and stops. Started running; the creator stops
// it (Stop) before freeing it.
class TPreviewWorker {
public:
    explicit TPreviewWorker(TPreviewBaseForm* AParent);
    virtual ~TPreviewWorker();
    TPreviewWorker(const TPreviewWorker&) = delete;
    TPreviewWorker& operator=(const TPreviewWorker&) = delete;

    // Starts the thread; call once, after construction.
    void Start();
    // Wakes the worker for one more round; several signals before it wakes count once.
    void Signal() { UpdateEvent.Set(); }
    // GUI thread: asks the worker to end, cancels a call it waits for, wakes
    // it and waits for it without time-out.
    void Stop();
    bool Terminated() const;

protected:
    virtual void Execute() = 0;
    // Runs Fn on the GUI thread and waits for it. False, with Fn not run (and
    // never to be run), when the worker was stopped meanwhile.
    bool Synchronize(const std::function<void()>& Fn);

    TPreviewBaseForm* Parent;
    platform::TEvent UpdateEvent;

private:
    struct TSyncState;
    std::shared_ptr<TSyncState> FState;
    std::thread FThread;
};

// Computes the whole picture: shown scaled in the fit view, or as the whole
// full-size after picture in a magnified view. A result is dropped when a
// newer request came in while it was computed.
class TCustomPreviewThread : public TPreviewWorker {
public:
    TCustomPreviewThread(TPreviewBaseForm* AParent, TMultiThread* AMT, TResizer* ARS)
        : TPreviewWorker(AParent), MT(AMT), RS(ARS)
    {
    }
    ~TCustomPreviewThread() override;

    TMultiThread* MT; // not owned
    TResizer* RS;     // not owned

protected:
    // GUI thread: copy the dialog's control values into the worker.
    virtual void ReadParams() = 0;
    // Worker thread: apply the effect to the whole of Img (may replace its block).
    virtual void ApplyEffect(TImgInfo& Img, TMultiThread& MT) = 0;
    void Execute() override;

    TImgInfo Img;
    bool Skip = false;
    bool ShowHistogram = false;
    int32_t CalcHistogramMode = 1;
    THistogramCounts HistogramCount{};
    bool AllViewMode = false;
    int32_t PreviewWidth = 0, PreviewHeight = 0;
    // An effect that changes the picture's size (a canvas) is fitted on its
    // own into the preview window's area rather than to the before picture.
    TSize FitArea{0, 0};
    uint32_t SourceWidth = 0, SourceHeight = 0;

private:
    bool TakeRequest();
    bool Stale(bool& Ok);
};

// Computes only the rectangle visible in a magnified view and pastes it into
// the full-size after picture.
class TCustomSpotPreviewThread : public TPreviewWorker {
public:
    TCustomSpotPreviewThread(TPreviewBaseForm* AParent, TMultiThread* AMT) : TPreviewWorker(AParent), MT(AMT) { }
    ~TCustomSpotPreviewThread() override;

    TMultiThread* MT; // not owned
    TRect Spot;       // memory-row rectangle of the picture being computed

protected:
    virtual void ReadParams() = 0;
    virtual void ApplyEffect(TImgInfo& Img, TMultiThread& MT) = 0;
    void Execute() override;

    TImgInfo Img;
    bool Skip = false;
};

class TPreviewBaseForm : public QDialog {
    Q_OBJECT
    friend class TCustomPreviewThread;
    friend class TCustomSpotPreviewThread;

public:
    // Owner: the main window. Creates the shared preview (and histogram) window.
    explicit TPreviewBaseForm(QWidget* Owner = nullptr);
    ~TPreviewBaseForm() override;

    // Shows entry Index of the main file list; wires the preview window's
    // events to this dialog when it could be loaded.
    void SetPreviewImageIndex(int32_t Index);
    // What the effects' dialog hooks do before showing the dialog: when the
    // file list has entries, shows the one Selected gives (the first when
    // Selected is empty or gives none); a file that cannot be read is
    // reported and the dialog goes on without a picture.
    void ShowSelectedEntry(const std::function<int32_t()>& Selected);
    void NextImage();
    void PrevImage();
    void PreviewViewModeChanged();
    void PreviewResized();

    // GUI thread: hand results to the windows.
    virtual void UpdatePreview(const TImgInfo& PrevImg);
    virtual void UpdatePreview(const TImgInfo& PrevImg, const TRect& r);
    virtual void UpdateAllPreview(const TImgInfo& PrevImg);

    void StopPreviewThread();
    void StopSpotPreviewThread();
    void FreeImages();
    void FitPreviewImages();

    // The pictures; the dialog owns their blocks.
    TImgInfo Master, Src, Src2, Dest, Dest2;
    int32_t ImgIndex = 0;
    bool UseHistogram = false;
    THistogramCounts DefaultCount{};

protected:
    virtual void PreviewClosed(QObject* Sender) = 0;
    // Loads entry ImgIndex and rebuilds all five pictures (raises the
    // loader's error when the file cannot be read).
    virtual void ReloadSource(bool RequestAfter);
    virtual uint32_t GetEffectID() = 0;
    virtual void RequestPreview() = 0;
    virtual bool IsPreviewChecked() = 0;
    virtual bool IsHistogramChecked() = 0;
    // Workers of this dialog's effect, made on the first request. A dialog
    // whose effect cannot be computed in parts (it moves or blurs pixels
    // across the picture) makes no spot worker: the whole one serves every view.
    virtual TCustomPreviewThread* CreatePreviewThread(TMultiThread* AMT, TResizer* ARS) = 0;
    virtual TCustomSpotPreviewThread* CreateSpotPreviewThread(TMultiThread* AMT) = 0;
    // The shared request routine of the live-preview dialogs: starts or wakes
    // the workers for the current control values.
    void StartPreviewWork();
    // Next or previous entry chosen in the preview window: reloads and
    // reports a file that cannot be read.
    void ReloadFromKey();

    void showEvent(QShowEvent* e) override;
    // The preview and histogram windows are mapped before this dialog, when a
    // window manager cannot yet tell that they belong to it and stacks the
    // main window over them. The first activation maps them again, and puts
    // the histogram back over the dialog, which activating raised.
    bool event(QEvent* e) override;

    bool FRemapOnActivate = false;
    TCustomPreviewThread* PreviewThread = nullptr;
    TCustomSpotPreviewThread* SpotPreviewThread = nullptr;
    bool FNeedUpdatePreview = false;
    std::unique_ptr<TMultiThread> MT, SpotPreviewMT, PreviewMT;
    std::unique_ptr<TResizer> RS, PreviewRS;
    std::unique_ptr<THistogramWindowHook> Histogram;
};

// The worker of either kind (TWorkerBase) for a dialog TForm whose effect
// state is TState: Read(Form) takes the dialog's values on the GUI thread,
// Apply(Img) applies them on the worker. A TState that can be made from the
// worker's pool is made so.
template <class TWorkerBase, class TForm, class TState> class TFormPreviewWorker final : public TWorkerBase {
public:
    template <class... TArgs>
    TFormPreviewWorker(TForm* AForm, TMultiThread* AMT, TArgs... Args)
        : TWorkerBase(AForm, AMT, Args...), FForm(AForm), FState(MakeState(AMT))
    {
    }
    ~TFormPreviewWorker() override { this->Stop(); }

protected:
    void ReadParams() override { FState.Read(*FForm); }
    void ApplyEffect(TImgInfo& I, TMultiThread&) override { FState.Apply(I); }

private:
    static TState MakeState(TMultiThread* AMT)
    {
        if constexpr (std::is_constructible_v<TState, TMultiThread*>)
            return TState(AMT);
        else
            return TState();
    }

    TForm* FForm;
    TState FState;
};

// Both workers of such a dialog.
template <class TForm, class TState> using TFormWholePreview = TFormPreviewWorker<TCustomPreviewThread, TForm, TState>;
template <class TForm, class TState>
using TFormSpotPreview = TFormPreviewWorker<TCustomSpotPreviewThread, TForm, TState>;
