#include "effects/ui/PreviewBaseFrm.h"

#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/MultiThread.h"
#include "core/Resize.h"
#include "effects/Effect.h"
#include "effects/ui/HistogramFrm.h"
#include "effects/ui/PreviewFrm.h"
#include "effects/ui/WindowLook.h"
#include "effects/ui/WindowFuncs.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>
#include <condition_variable>
#include <cstring>

TPreviewWindows PreviewWindows = {nullptr, nullptr, NewHistogramWindow, nullptr};

// ------------------------------------------------------------------ image routines

void CopyImgInfo(const TImgInfo& Src, TImgInfo& Dest)
{
    TImgInfo D;
    if (Src.Mem) {
        AllocImg(D, Src.Width, Src.Height, Src.Channels);
        // The same stride rule gives the same stride, so the block copies whole.
        std::memcpy(D.Mem, Src.Mem, uint64_t(Src.Bpl) * Src.Height);
    }
    Dest = D;
}

void CropImgInfo(const TImgInfo& Src, TImgInfo& Dest, const TRect& r)
{
    Dest = TImgInfo{};
    const int64_t L = std::max(r.Left, 0), T = std::max(r.Top, 0);
    const int64_t R = std::min<int64_t>(r.Right, Src.Width), B = std::min<int64_t>(r.Bottom, Src.Height);
    if (!Src.Mem || R <= L || B <= T)
        return;
    TImgInfo D;
    AllocImg(D, uint64_t(R - L), uint64_t(B - T), Src.Channels);
    const uint64_t RowBytes = uint64_t(D.Width) * D.Channels;
    for (uint32_t y = 0; y < D.Height; ++y)
        std::memcpy(MemRow(D, y), MemRow(Src, uint32_t(T + y)) + L * Src.Channels, RowBytes);
    Dest = D;
}

// ------------------------------------------------------------------ workers

// The hand-shake between a worker and the GUI thread. Shared with the queued
// calls, so that a call that runs after its worker is gone finds it cancelled.
struct TPreviewWorker::TSyncState {
    struct TCall {
        std::function<void()> Fn;
        bool Done = false;
        bool Cancelled = false;
    };
    std::mutex Lock;
    std::condition_variable Cond;
    std::atomic<bool> Terminated{false};
    std::shared_ptr<TCall> Pending;
};

TPreviewWorker::TPreviewWorker(TPreviewBaseForm* AParent) : Parent(AParent), FState(std::make_shared<TSyncState>())
{
}

TPreviewWorker::~TPreviewWorker()
{
    // The owner stops the worker first; this only guards against a missed stop.
    if (FThread.joinable())
        Stop();
}

bool TPreviewWorker::Terminated() const
{
    return FState->Terminated.load();
}

void TPreviewWorker::Start()
{
    FThread = std::thread([this] { Execute(); });
}

void TPreviewWorker::Stop()
{
    {
        std::lock_guard<std::mutex> L(FState->Lock);
        FState->Terminated = true;
        // Stop runs on the GUI thread, like the queued call: once cancelled
        // here, the call can no longer start.
        if (FState->Pending)
            FState->Pending->Cancelled = true;
        FState->Cond.notify_all();
    }
    UpdateEvent.Set();
    if (FThread.joinable())
        FThread.join();
}

bool TPreviewWorker::Synchronize(const std::function<void()>& Fn)
{
    auto Call = std::make_shared<TSyncState::TCall>();
    Call->Fn = Fn;
    std::shared_ptr<TSyncState> State = FState;
    {
        std::lock_guard<std::mutex> L(State->Lock);
        if (State->Terminated)
            return false;
        State->Pending = Call;
    }
    // The dialog is the context: calls still queued when it goes are dropped.
    QMetaObject::invokeMethod(
        Parent,
        [State, Call] {
            {
                std::lock_guard<std::mutex> L(State->Lock);
                if (Call->Cancelled)
                    return;
            }
            try {
                Call->Fn();
            } catch (...) {
                // A failed hand-over (out of memory) only loses this preview.
            }
            std::lock_guard<std::mutex> L(State->Lock);
            Call->Done = true;
            State->Cond.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> L(State->Lock);
    State->Cond.wait(L, [&] { return Call->Done || State->Terminated; });
    State->Pending.reset();
    return Call->Done;
}

TCustomPreviewThread::~TCustomPreviewThread()
{
    Stop();
    FreeImg(Img);
}

// Takes the newest request from the dialog. False when stopped.
bool TCustomPreviewThread::TakeRequest()
{
    return Synchronize([this] {
        TPreviewBaseForm* P = Parent;
        CopyImgInfo(P->Master, Img);
        P->FNeedUpdatePreview = false;
        if (PreviewWindows.PreviewForm)
            PreviewWindows.PreviewForm->CanMove = true;
        ReadParams();
        ShowHistogram = P->Histogram && P->UseHistogram && P->IsHistogramChecked();
        CalcHistogramMode = ShowHistogram && P->Histogram->ChannelIndex() >= 4 ? 2 : 1;
        AllViewMode = !PreviewWindows.PreviewForm || PreviewWindows.PreviewForm->ViewMode() == 0;
        PreviewWidth = int32_t(P->Src2.Width);
        PreviewHeight = int32_t(P->Src2.Height);
        FitArea = PreviewWindows.PreviewForm ? PreviewWindows.PreviewForm->GetClientSize()
                                             : TSize{PreviewWidth, PreviewHeight};
        SourceWidth = P->Master.Width;
        SourceHeight = P->Master.Height;
    });
}

// True when a newer request waits (the result at hand is stale). Ok is false when stopped.
bool TCustomPreviewThread::Stale(bool& Ok)
{
    Ok = Synchronize([this] { Skip = Parent->FNeedUpdatePreview; });
    return !Ok || Skip;
}

void TCustomPreviewThread::Execute()
{
    for (;;) {
        FreeImg(Img);
        UpdateEvent.Wait();
        if (Terminated() || !TakeRequest())
            break;
        if (!Img.Mem)
            continue;
        bool Ok = true;
        try {
            ApplyEffect(Img, *MT);
            if (Stale(Ok)) {
                if (!Ok)
                    break;
                continue;
            }
            if (ShowHistogram) {
                HistogramCount = {};
                Parent->Histogram->Count(Img, CalcHistogramMode, *MT, HistogramCount);
                if (Stale(Ok)) {
                    if (!Ok)
                        break;
                    continue;
                }
            }
            if (AllViewMode && (Img.Width != SourceWidth || Img.Height != SourceHeight)) {
                const TSize S = previewgeom::FitSize(Img.Width, Img.Height, int32_t(FitArea.cx), int32_t(FitArea.cy));
                if (S.cx != Img.Width || S.cy != Img.Height)
                    RS->ResizeImage(Img, uint32_t(S.cx), uint32_t(S.cy), Img.Channels == 4);
            } else if (AllViewMode && PreviewWidth > 0 && PreviewHeight > 0) {
                RS->ResizeImage(Img, uint32_t(PreviewWidth), uint32_t(PreviewHeight), Img.Channels == 4);
            }
        } catch (...) {
            // Out of memory and the like: this preview is lost, the next request may fare better.
            continue;
        }
        Ok = Synchronize([this] {
            TPreviewBaseForm* P = Parent;
            if (P->FNeedUpdatePreview)
                return;
            if (AllViewMode)
                P->UpdateAllPreview(Img);
            else
                P->UpdatePreview(Img);
            if (ShowHistogram && P->Histogram)
                P->Histogram->SetCounts(HistogramCount);
        });
        if (!Ok)
            break;
    }
    FreeImg(Img);
}

TCustomSpotPreviewThread::~TCustomSpotPreviewThread()
{
    Stop();
    FreeImg(Img);
}

void TCustomSpotPreviewThread::Execute()
{
    for (;;) {
        FreeImg(Img);
        UpdateEvent.Wait();
        if (Terminated())
            break;
        const bool Ok = Synchronize([this] {
            Skip = !PreviewWindows.PreviewForm || PreviewWindows.PreviewForm->ViewMode() == 0;
            if (Skip)
                return;
            Spot = PreviewWindows.PreviewForm->GetViewRect();
            CropImgInfo(Parent->Master, Img, Spot);
            ReadParams();
        });
        if (!Ok)
            break;
        if (Skip || !Img.Mem)
            continue;
        try {
            ApplyEffect(Img, *MT);
        } catch (...) {
            continue;
        }
        if (!Synchronize([this] {
                if (PreviewWindows.PreviewForm && PreviewWindows.PreviewForm->ViewMode() != 0)
                    Parent->UpdatePreview(Img, Spot);
            }))
            break;
    }
    FreeImg(Img);
}

// ------------------------------------------------------------------ the dialog

namespace {

void SetUpPreviewResizer(TResizer& R, uint32_t Threads)
{
    R.SetMaxThreadNum(int32_t(Threads));
    switch (Settings.Preview.ResizeMode) {
    case 0:
        R.SetDecimationMode(1, new TAreaAverage);
        break;
    case 1:
        R.SetDecimationMode(2, new TLanczos(2));
        break;
    default:
        R.SetDecimationMode(2, new TLanczos(3));
        break;
    }
    R.SetInterpolationMode(9, new TNearestNeighbor);
    R.SetSIMDMode(3, false);
}

// Replaces Target by a copy of Src and repaints the preview window, laid
// out again when the picture's size changed.
void ReplaceAndRepaint(TImgInfo& Target, const TImgInfo& Src)
{
    TImgInfo Copy;
    CopyImgInfo(Src, Copy);
    const bool Resized = Copy.Width != Target.Width || Copy.Height != Target.Height;
    FreeImg(Target);
    Target = Copy;
    if (PreviewWindows.PreviewForm && Resized)
        PreviewWindows.PreviewForm->UpdateBitmapInfo();
    else if (PreviewWindows.PreviewForm)
        PreviewWindows.PreviewForm->RepaintPicture();
}

} // namespace

TPreviewBaseForm::TPreviewBaseForm(QWidget* Owner) : QDialog(Owner)
{
    const uint32_t N = uint32_t(std::max(Settings.System.ProcessorCount, 1));
    MT = std::make_unique<TMultiThread>(N);
    PreviewMT = std::make_unique<TMultiThread>((N + 1) / 2);
    SpotPreviewMT = std::make_unique<TMultiThread>((N + 1) / 2);
    RS = std::make_unique<TResizer>();
    PreviewRS = std::make_unique<TResizer>();
    SetUpPreviewResizer(*RS, MT->MaxThread());
    SetUpPreviewResizer(*PreviewRS, PreviewMT->MaxThread());
    delete PreviewWindows.PreviewForm;
    // Both windows are owned by this dialog, not by the main window: they stay
    // above the main window and, this dialog being modal, still take keys and
    // the mouse.
    PreviewWindows.PreviewForm = new TPreviewForm(this);
    if (PreviewWindows.CreateHistogramWindow)
        Histogram.reset(PreviewWindows.CreateHistogramWindow(this));
}

TPreviewBaseForm::~TPreviewBaseForm()
{
    StopPreviewThread();
    StopSpotPreviewThread();
    delete PreviewWindows.PreviewForm;
    PreviewWindows.PreviewForm = nullptr;
    Histogram.reset();
    PreviewMT.reset();
    SpotPreviewMT.reset();
    MT.reset();
    RS.reset();
    PreviewRS.reset();
    FreeImages();
}

void TPreviewBaseForm::FreeImages()
{
    FreeImg(Src);
    FreeImg(Src2);
    FreeImg(Dest);
    FreeImg(Dest2);
    FreeImg(Master);
}

void TPreviewBaseForm::StopPreviewThread()
{
    if (PreviewThread) {
        PreviewThread->Stop();
        delete PreviewThread;
        PreviewThread = nullptr;
    }
}

void TPreviewBaseForm::StopSpotPreviewThread()
{
    if (SpotPreviewThread) {
        SpotPreviewThread->Stop();
        delete SpotPreviewThread;
        SpotPreviewThread = nullptr;
    }
}

void TPreviewBaseForm::FitPreviewImages()
{
    FreeImg(Src2);
    FreeImg(Dest2);
    if (!Src.Mem)
        return;
    const TSize C =
        PreviewWindows.PreviewForm ? PreviewWindows.PreviewForm->GetClientSize() : TSize{Src.Width, Src.Height};
    const TSize S = previewgeom::FitSize(Src.Width, Src.Height, int32_t(C.cx), int32_t(C.cy));
    auto Fit = [&](const TImgInfo& From, TImgInfo& To) {
        if (S.cx == From.Width && S.cy == From.Height)
            CopyImgInfo(From, To);
        else
            RS->ResizeImage(From, To, uint32_t(S.cx), uint32_t(S.cy), From.Channels == 4);
    };
    Fit(Src, Src2);
    if (Dest.Mem)
        Fit(Dest, Dest2);
    else
        CopyImgInfo(Src2, Dest2);
    if (PreviewWindows.PreviewForm)
        PreviewWindows.PreviewForm->SetAllViewImage(&Dest2, &Src2);
}

void TPreviewBaseForm::ReloadSource(bool)
{
    StopPreviewThread();
    StopSpotPreviewThread();
    FreeImages();
    if (!PreviewWindows.PreviewFileList || ImgIndex < 0 || ImgIndex >= PreviewWindows.PreviewFileList->Count())
        return;
    TImageInfo* Info = PreviewWindows.PreviewFileList->Items(ImgIndex);
    if (!LoadBeforeImage(*Info, Master, GetEffectID(), ImgIndex))
        return;
    if (UseHistogram && Histogram) {
        // Counted once per picture: the faint "before" of every later preview.
        DefaultCount = {};
        Histogram->Count(Master, 3, *MT, DefaultCount);
        Histogram->SetDefaultCounts(DefaultCount);
    }
    CopyImgInfo(Master, Src);
    FitPreviewImages();
    CopyImgInfo(Src, Dest);
    if (PreviewWindows.PreviewForm)
        PreviewWindows.PreviewForm->SetPreviewImage(&Dest, &Src, false, QString::fromStdString(Info->Name()));
}

void TPreviewBaseForm::SetPreviewImageIndex(int32_t Index)
{
    ImgIndex = Index;
    ReloadSource(false);
    if (Master.Mem && PreviewWindows.PreviewForm) {
        PreviewWindows.PreviewForm->OnResized = [this](QObject*) { PreviewResized(); };
        PreviewWindows.PreviewForm->OnChangeViewMode = [this](QObject*) { PreviewViewModeChanged(); };
        PreviewWindows.PreviewForm->OnClosed = [this](QObject* Sender) { PreviewClosed(Sender); };
        PreviewWindows.PreviewForm->OnNextImg = [this](QObject*) { NextImage(); };
        PreviewWindows.PreviewForm->OnPrevImg = [this](QObject*) { PrevImage(); };
    }
}

int32_t SelectedPreviewEntry(const std::function<int32_t()>& Selected)
{
    const int32_t Count = PreviewWindows.PreviewFileList ? PreviewWindows.PreviewFileList->Count() : 0;
    if (Count == 0)
        return -1;
    const int32_t Index = Selected ? Selected() : 0;
    return Index >= 0 && Index < Count ? Index : 0;
}

void TPreviewBaseForm::ShowSelectedEntry(const std::function<int32_t()>& Selected)
{
    const int32_t Index = SelectedPreviewEntry(Selected);
    if (Index < 0)
        return;
    try {
        SetPreviewImageIndex(Index);
    } catch (const std::exception& E) {
        // The dialog still edits the values; it just has no picture.
        ShowMessageBox(this, QMessageBox::Warning, windowTitle(), QString::fromUtf8(E.what()));
    }
}

void TPreviewBaseForm::NextImage()
{
    const int32_t Count = PreviewWindows.PreviewFileList ? PreviewWindows.PreviewFileList->Count() : 0;
    ImgIndex = ImgIndex + 1 >= Count ? 0 : ImgIndex + 1;
    ReloadFromKey();
}

void TPreviewBaseForm::PrevImage()
{
    const int32_t Count = PreviewWindows.PreviewFileList ? PreviewWindows.PreviewFileList->Count() : 0;
    ImgIndex = ImgIndex < 1 ? std::max(Count - 1, 0) : ImgIndex - 1;
    ReloadFromKey();
}

void TPreviewBaseForm::ReloadFromKey()
{
    // Called from the preview window's key handling: an error must not leave
    // through the event loop. The workers are stopped and the pictures freed
    // by then, so the windows show nothing rather than stale pixels.
    try {
        ReloadSource(true);
    } catch (const std::exception& E) {
        ShowMessageBox(this, QMessageBox::Critical, windowTitle(), QString::fromUtf8(E.what()));
    }
}

void TPreviewBaseForm::PreviewViewModeChanged()
{
    StopPreviewThread();
    StopSpotPreviewThread();
    if (!PreviewWindows.PreviewForm)
        return;
    if (PreviewWindows.PreviewForm->ViewMode() == 0) {
        FitPreviewImages();
        PreviewWindows.PreviewForm->UpdateBitmapInfo();
    }
    // A worker stopped here may have been computing the newest values.
    RequestPreview();
}

void TPreviewBaseForm::PreviewResized()
{
    StopPreviewThread();
    StopSpotPreviewThread();
    if (PreviewWindows.PreviewForm && PreviewWindows.PreviewForm->ViewMode() == 0) {
        FitPreviewImages();
        PreviewWindows.PreviewForm->UpdateBitmapInfo();
        // The after picture kept at full size is the source in the fit view:
        // the new fit is computed afresh rather than left unprocessed.
        RequestPreview();
    }
}

void TPreviewBaseForm::UpdatePreview(const TImgInfo& PrevImg)
{
    ReplaceAndRepaint(Dest, PrevImg);
}

void TPreviewBaseForm::UpdatePreview(const TImgInfo& PrevImg, const TRect& r)
{
    // Cut to Dest: a spot computed for one picture must never write past another.
    if (!Dest.Mem || !PrevImg.Mem || PrevImg.Channels != Dest.Channels || r.Left < 0 || r.Top < 0)
        return;
    const uint32_t W = std::min<int64_t>(PrevImg.Width, int64_t(Dest.Width) - r.Left);
    const uint32_t H = std::min<int64_t>(PrevImg.Height, int64_t(Dest.Height) - r.Top);
    if (int32_t(W) > 0 && int32_t(H) > 0 && r.Left < int64_t(Dest.Width) && r.Top < int64_t(Dest.Height))
        for (uint32_t y = 0; y < H; ++y)
            std::memcpy(MemRow(Dest, uint32_t(r.Top) + y) + uint64_t(r.Left) * Dest.Channels, MemRow(PrevImg, y),
                        uint64_t(W) * Dest.Channels);
    if (PreviewWindows.PreviewForm)
        PreviewWindows.PreviewForm->RepaintPicture();
}

void TPreviewBaseForm::UpdateAllPreview(const TImgInfo& PrevImg)
{
    ReplaceAndRepaint(Dest2, PrevImg);
}

void TPreviewBaseForm::StartPreviewWork()
{
    if (!Master.Mem || !IsPreviewChecked() || !PreviewWindows.PreviewForm)
        return;
    const bool Zoomed = PreviewWindows.PreviewForm->ViewMode() != 0;
    if (Zoomed) {
        if (!SpotPreviewThread && (SpotPreviewThread = CreateSpotPreviewThread(SpotPreviewMT.get())))
            SpotPreviewThread->Start();
        if (SpotPreviewThread)
            SpotPreviewThread->Signal();
    }
    if (!PreviewThread) {
        PreviewThread =
            Zoomed ? CreatePreviewThread(PreviewMT.get(), PreviewRS.get()) : CreatePreviewThread(MT.get(), RS.get());
        PreviewThread->Start();
    }
    FNeedUpdatePreview = true;
    PreviewWindows.PreviewForm->CanMove = false;
    PreviewThread->Signal();
}

void TPreviewBaseForm::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (e->spontaneous())
        return;
    const QScreen* Scr = QGuiApplication::primaryScreen();
    auto OnScreen = [](const QRect& R) {
        return IsWindowPosOnScreen(R.left(), R.top(), R.left() + R.width(), R.top() + R.height());
    };
    const QRect Work = Scr ? Scr->availableGeometry() : QRect();
    auto CentreIn = [&](const QRect& Area) {
        move(Area.left() + (Area.width() - width()) / 2, Area.top() + (Area.height() - height()) / 2);
    };
    if (Dest.Mem && IsPreviewChecked() && PreviewWindows.PreviewForm) {
        PreviewWindows.PreviewForm->DlgWidth = width();
        PreviewWindows.PreviewForm->show();
        FRemapOnActivate = true;
        const QRect P = PreviewWindows.PreviewForm->geometry();
        QRect R(P.left() + P.width(), P.top(), width(), height());
        if (!OnScreen(R))
            R.moveLeft(P.left() + P.width() - width());
        if (OnScreen(R))
            move(R.topLeft());
        else
            CentreIn(Work);
        if (UseHistogram && IsHistogramChecked() && Histogram)
            Histogram->Show();
        RequestPreview();
    } else {
        const QWidget* Main = parentWidget();
        const QRect Over = Main ? QRect(Main->geometry().left() + (Main->width() - width()) / 2,
                                        Main->geometry().top() + (Main->height() - height()) / 2, width(), height())
                                : QRect();
        if (Main && OnScreen(Over))
            move(Over.topLeft());
        else
            CentreIn(Work);
    }
}

bool TPreviewBaseForm::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate && FRemapOnActivate) {
        FRemapOnActivate = false;
        if (PreviewWindows.PreviewForm)
            PreviewWindows.PreviewForm->Remap();
        // Mapped again, the histogram goes where the dialog's frame, now
        // known, says.
        const bool Histo = Histogram && Histogram->IsShown();
        if (Histo) {
            Histogram->Hide();
            Histogram->Show();
        }
        // Mapping a window may hand it the focus; the keys belong to the
        // dialog the user just opened (Escape, Enter, typing in its edits).
        activateWindow();
        // Activating the dialog raises it over the windows that belong to
        // it: the histogram goes back on top.
        if (Histo)
            Histogram->Raise();
    }
    return QDialog::event(e);
}
