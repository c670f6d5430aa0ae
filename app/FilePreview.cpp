#include "app/FilePreview.h"

#include "app/ErrorLogFrm.h"
#include "app/Startup.h"
#include "batch/BatchJobs.h"
#include "core/AlphaBlend.h"
#include "core/ErrorLog.h"
#include "core/Errors.h"
#include "core/Global.h"
#include "core/ImageLoader.h"
#include "core/Kodex.h"
#include "core/OutputFileName.h"
#include "core/PictureMemory.h"
#include "core/Resize.h"
#include "core/ResourceText.h"
#include "effects/Effect.h"
#include "effects/ui/PreviewFrm.h"
#include "platform/FileOps.h"
#include "platform/Process.h"
#include "platform/ProcessWindow.h"

#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <system_error>
#include <thread>

namespace {

// A picture block freed when it goes out of scope.
struct TOwnedImg {
    TImgInfo I;
    TOwnedImg() = default;
    TOwnedImg(const TOwnedImg&) = delete;
    TOwnedImg& operator=(const TOwnedImg&) = delete;
    ~TOwnedImg() { FreeImg(I); }
};

// The embedded EXIF thumbnail of a file: Size bytes at Pos. False when the
// file is shorter than that says.
bool ReadEmbeddedThumbnail(const std::string& Path, uint32_t Pos, uint32_t Size, std::vector<uint8_t>& Data)
{
    const int64_t FileSize = platform::FileSize(Path);
    if (Size == 0 || FileSize < 0 || uint64_t(Pos) + Size > uint64_t(FileSize))
        return false;
    std::ifstream F(Path, std::ios::binary);
    if (!F.seekg(std::streamoff(Pos)))
        return false;
    Data.resize(Size);
    return bool(F.read(reinterpret_cast<char*>(Data.data()), std::streamsize(Size)));
}

// Every "$t" (any letter case) becomes Caption and every "$p" ProgramDir, in
// one pass, so that a substituted text is never searched again.
std::string SubstituteViewerTokens(const std::string& Arg, const std::string& Caption, const std::string& ProgramDir)
{
    std::string Out;
    for (size_t i = 0; i < Arg.size(); ++i) {
        if (Arg[i] == '$' && i + 1 < Arg.size()) {
            const char C = Arg[i + 1];
            if (C == 't' || C == 'T') {
                Out += Caption;
                ++i;
                continue;
            }
            if (C == 'p') {
                Out += ProgramDir;
                ++i;
                continue;
            }
        }
        Out += Arg[i];
    }
    return Out;
}

} // namespace

void ShowErrorLogIfAny()
{
    if (ErrorLog.GetErrorCount() == 0)
        return;
    if (App.ErrorLogForm && !IsNonInteractive() && App.ErrorLogForm->ShowModal())
        return;
    // Nobody would close the window (or the program ends with lines nobody
    // saw): the lines go to standard error, and the log is emptied as
    // closing the window would.
    for (const std::string& L : ErrorLog.Lines())
        std::fprintf(stderr, "%s\n", L.c_str());
    ErrorLog.Clear();
}

QImage ImgToQImage(const TImgInfo& Img, const TBGColor& Background)
{
    if (!Img.Mem || Img.Width == 0 || Img.Height == 0)
        return {};
    // Pictures with alpha are flattened first and then copied as the plain form.
    if (Img.Channels == 2 || Img.Channels == 4) {
        TOwnedImg Flat;
        AllocImg(Flat.I, Img.Width, Img.Height, Img.Channels == 2 ? 1 : 3);
        if (Img.Channels == 2)
            FlattenGrayAlpha(Flat.I, Img, Background);
        else
            (FlattenAlphaProc ? FlattenAlphaProc : FlattenAlpha)(Flat.I, Img, Background);
        return ImgToQImage(Flat.I, Background);
    }
    if (Img.Channels != 1 && Img.Channels != 3)
        return {};
    QImage Out(int(Img.Width), int(Img.Height), Img.Channels == 1 ? QImage::Format_Indexed8 : QImage::Format_BGR888);
    if (Out.isNull())
        throw EOutOfMemory();
    if (Img.Channels == 1) {
        QList<QRgb> Gray(256);
        for (int i = 0; i < 256; ++i)
            Gray[i] = qRgb(i, i, i);
        Out.setColorTable(Gray);
    }
    const size_t RowBytes = size_t(Img.Width) * Img.Channels;
    for (uint32_t Y = 0; Y < Img.Height; ++Y)
        std::memcpy(Out.scanLine(int(Y)), ScanLine(Img, Y), RowBytes);
    return Out;
}

int32_t ThumbnailDecodeFactor(int32_t Width, int32_t Height)
{
    const int64_t Long = std::max<int64_t>(Width, Height);
    int32_t Factor = 1;
    for (int K = 1; K <= 3; ++K)
        if ((Long >> K) >= kThumbnailSide)
            Factor = 1 << K;
    return Factor;
}

void ThumbnailSize(uint32_t Width, uint32_t Height, uint32_t& W, uint32_t& H)
{
    W = Width;
    H = Height;
    if (Width == 0 || Height == 0 || (Width <= uint32_t(kThumbnailSide) && Height <= uint32_t(kThumbnailSide)))
        return;
    if (Width >= Height) {
        W = kThumbnailSide;
        H = uint32_t(std::max<uint64_t>(1, uint64_t(Height) * kThumbnailSide / Width));
    } else {
        W = uint32_t(std::max<uint64_t>(1, uint64_t(Width) * kThumbnailSide / Height));
        H = kThumbnailSide;
    }
}

bool EncodeThumbnailJPEG(const TImgInfo& Img, int32_t Quality, std::vector<uint8_t>& Out)
{
    // No JPEG of a picture is larger than its raw samples plus its headers;
    // past that a failure is not a matter of room.
    const uint64_t Limit = uint64_t(Img.Width) * Img.Height * std::max<uint32_t>(Img.Channels, 1) * 2 + 65536;
    for (uint64_t Capacity = 65536;; Capacity *= 4) {
        Out.resize(size_t(Capacity));
        size_t Size = Out.size();
        if (WriteThumbnailJPEG(Out.data(), Size, Img, false, 1, 0, Quality, TakeRunSettings()) && Size > 0) {
            Out.resize(Size);
            return true;
        }
        if (Capacity >= Limit) {
            Out.clear();
            return false;
        }
    }
}

namespace {

// Step one of every thumbnail, on the GUI thread: probes the entry when
// needed and shows the picture made before or the one the camera embedded
// (nothing to cache then). Decode is set when the file itself must be
// decoded; false when the entry does not probe or its file is gone.
bool ThumbnailWithoutDecode(QImage& Bitmap, TImageInfo& Entry, bool IgnoreEmbedded, const TRunSettings& S, bool& Decode)
{
    Bitmap = QImage();
    Decode = false;
    if (Entry.PictureFormat == pfUnknown && !GetImageInfo(Entry.Path(), Entry))
        return false;
    std::vector<uint8_t> Embedded;
    const std::vector<uint8_t>* Jpeg = nullptr;
    if (!Entry.FThumbnail.empty())
        Jpeg = &Entry.FThumbnail;
    else if (Entry.FThumbnailSize > 0 && !IgnoreEmbedded &&
             ReadEmbeddedThumbnail(Entry.Path(), Entry.FThumbnailPos, Entry.FThumbnailSize, Embedded))
        Jpeg = &Embedded;
    if (Jpeg) {
        TOwnedImg Img;
        if (ReadJPEGFromMemory(Jpeg->data(), Jpeg->size(), Img.I, S) && Img.I.Mem) {
            if (Img.I.Channels == 4)
                CMYKToBGR(Img.I);
            // A camera's thumbnail may be larger than ours (196 x 122, say):
            // shown whole, not its middle. Nothing is cached: the file keeps it.
            if (!FitThumbnail(Img.I))
                return false;
            Bitmap = ImgToQImage(Img.I, Settings.Background);
            return !Bitmap.isNull();
        }
        // A damaged embedded picture: decode the file itself instead.
        if (Jpeg == &Entry.FThumbnail)
            Entry.FThumbnail.clear();
    }
    Decode = platform::FileExists(Entry.Path());
    return false;
}

TThumbnailSource SourceOf(const TImageInfo& Entry)
{
    return {Entry.Path(), Entry.PictureFormat, Entry.Width, Entry.Height};
}

} // namespace

bool DecodeThumbnailSource(const TThumbnailSource& Source, TImgInfo& Img, const TRunSettings& S)
{
    TOwnedImg Out;
    int R = 0;
    if (Source.Format == pfJPEG) {
        int32_t Factor = ThumbnailDecodeFactor(Source.Width, Source.Height);
        bool IsYCbCr = false;
        R = ReadJPEGFile(Source.Path, Out.I, Factor, nullptr, IsYCbCr, false, S);
        if (R && Out.I.Channels == 4)
            CMYKToBGR(Out.I);
    } else if (Source.Format == pfWIC || Source.Format == pfPNG) {
        // The thumbnail reader shrinks big pictures while they are in hand.
        R = ReadWICThumbnail(Source.Path, Out.I, lfFlattenAlpha, nullptr, S.Background);
    } else if (Source.Format == pfBMP) {
        TImageInfo Info;
        Info.SetPath(Source.Path);
        Info.PictureFormat = Source.Format;
        Info.Width = Source.Width;
        Info.Height = Source.Height;
        bool IsYCbCr = false;
        uint32_t Flags = 0;
        R = LoadImageByType(Info, Out.I, TScale(), false, nullptr, IsYCbCr, Flags, ofJPEG, S);
    }
    if (!R || !Out.I.Mem)
        return false;
    Img = Out.I;
    Out.I = TImgInfo();
    return true;
}

bool FitThumbnail(TImgInfo& Img, bool* Resized)
{
    if (Resized)
        *Resized = false;
    uint32_t W, H;
    ThumbnailSize(Img.Width, Img.Height, W, H);
    if (W == Img.Width && H == Img.Height)
        return true;
    if (!App.MainResizer)
        return false;
    App.MainResizer->ResizeImage(Img, W, H, Img.Channels == 4);
    if (Resized)
        *Resized = true;
    return true;
}

bool FinishThumbnail(TImgInfo& Img, QImage& Bitmap, std::vector<uint8_t>& Cache)
{
    Cache.clear();
    bool Resized = false;
    if (!FitThumbnail(Img, &Resized))
        return false;
    if (Resized && !EncodeThumbnailJPEG(Img, 80, Cache))
        Cache.clear();
    Bitmap = ImgToQImage(Img, Settings.Background);
    return !Bitmap.isNull();
}

bool UpdateThumbnail(QImage& Bitmap, TImageInfo& Entry, bool IgnoreEmbedded)
{
    const TRunSettings S = TakeRunSettings();
    bool Decode = false;
    if (ThumbnailWithoutDecode(Bitmap, Entry, IgnoreEmbedded, S, Decode) || !Decode)
        return !Bitmap.isNull();
    TOwnedImg Img;
    if (Entry.PictureFormat == pfSPI) {
        bool IsYCbCr = false;
        uint32_t Flags = 0;
        if (!LoadImageByType(Entry, Img.I, TScale(), false, nullptr, IsYCbCr, Flags, ofJPEG, S) || !Img.I.Mem)
            return false;
    } else {
        const TPictureBudgetScope Budget(S.System);
        if (!DecodeThumbnailSource(SourceOf(Entry), Img.I, S))
            return false;
    }
    std::vector<uint8_t> Cache;
    const bool Ok = FinishThumbnail(Img.I, Bitmap, Cache);
    if (!Cache.empty())
        Entry.FThumbnail = std::move(Cache);
    return Ok;
}

void StartThumbnail(TImageInfo& Entry, bool IgnoreEmbedded, QObject* Context, TThumbnailDone Done)
{
    const TRunSettings S = TakeRunSettings();
    QImage Bitmap;
    bool Decode = false;
    std::string Error, Said;
    {
        // What the readers say goes to Done, which knows whether it is news.
        TErrorCapture Capture;
        try {
            ThumbnailWithoutDecode(Bitmap, Entry, IgnoreEmbedded, S, Decode);
            // A plug-in may be unloaded while a thread would use it: it reads here.
            if (Decode && Entry.PictureFormat == pfSPI) {
                Decode = false;
                UpdateThumbnail(Bitmap, Entry, IgnoreEmbedded);
            }
        } catch (const std::exception& Ex) {
            Decode = false;
            Error = Ex.what();
        }
        Said = Capture.Text();
    }
    if (!Decode) {
        Done(Bitmap, {}, Error, Said);
        return;
    }
    // The decode needs no entry: the entry may be gone when it ends, and
    // Done decides whether its result still matters.
    // Context may be deleted while the decode runs (the window closed): the
    // result goes to the application and is dropped there when Context is
    // gone, for a pointer to it must not be used on the pool thread.
    auto Decoded = std::make_shared<TOwnedImg>();
    QThreadPool::globalInstance()->start(
        [Source = SourceOf(Entry), S, Decoded, Alive = QPointer<QObject>(Context), Done]() mutable {
            std::string Error, Said;
            {
                TErrorCapture Capture;
                try {
                    const TPictureBudgetScope Budget(S.System);
                    DecodeThumbnailSource(Source, Decoded->I, S);
                } catch (const std::exception& Ex) {
                    Error = Ex.what();
                }
                Said = Capture.Text();
            }
            QCoreApplication* App = QCoreApplication::instance();
            if (!App)
                return;
            QMetaObject::invokeMethod(
                App,
                [Decoded, Alive = std::move(Alive), Done, Error, Said]() mutable {
                    if (!Alive)
                        return;
                    QImage Bitmap;
                    std::vector<uint8_t> Cache;
                    {
                        TErrorCapture Capture;
                        try {
                            if (Decoded->I.Mem)
                                FinishThumbnail(Decoded->I, Bitmap, Cache);
                        } catch (const std::exception& Ex) {
                            Error = Ex.what();
                        }
                        Said = Capture.AddedTo(Said);
                    }
                    Done(Bitmap, std::move(Cache), Error, Said);
                },
                Qt::QueuedConnection);
        });
}

// A path holding a control character names no program: cut at a NUL, it
// would start whatever program the first part names.
bool ViewerExists()
{
    const std::string& Path = Settings.Preview.ViewerPath;
    return !Path.empty() && !HasControlCharacter(Path) && platform::FileExists(Path);
}

std::vector<std::string> ViewerArguments(const std::string& Path, const std::string& Options,
                                         const std::string& Caption, const std::string& ProgramDir)
{
    std::vector<std::string> Args{Path};
    for (const std::string& A : SplitCommandLine(Options))
        Args.push_back(SubstituteViewerTokens(A, Caption, ProgramDir));
    return Args;
}

// ---------------------------------------------------------------- preview

TListPreview::TListPreview(QWidget* Owner, TImageInfoList* List) : FOwner(Owner), FList(List)
{
}

TListPreview::~TListPreview()
{
    FreeImg(FPreviewImage);
    FreeImg(FPreviewAllImage);
}

TImageInfoList* TListPreview::List() const
{
    return FList ? FList : App.FileList;
}

bool TListPreview::NameEntry(int Index)
{
    TImageInfo* E = List()->Items(Index);
    if (E->PictureFormat == pfUnknown && !GetImageInfo(E->Path(), *E))
        return false;
    const TRunSettings S = TakeRunSettings();
    std::string Rule = EffectHost ? EffectHost->RenameRule() : S.File.FileNameFormat;
    TScale Scale;
    if (EffectList)
        EffectList->CanDownScalingLoad(*E, Scale, S);
    const int32_t N = ExtractStartNumber(Rule, S) + Index;
    MakeOutputFileName(Rule, *E, N, E->OutPutFileName, Scale, S);
    ClearFolderFileCounts();
    E->Number = Index;
    return true;
}

bool TListPreview::LoadPreviewImage(int Index, TImgInfo& Img, std::string& Caption)
{
    TImageInfoList* L = List();
    if (!L || Index < 0 || Index >= L->Count() || !EffectList)
        return false;
    TImageInfo& E = *L->Items(Index);
    if (E.PictureFormat == pfUnknown && !GetImageInfo(E.Path(), E))
        return false;
    // A preview is a run of one picture with the settings as they are now.
    PreviewParams.Settings = TakeRunSettings();
    const TRunSettings& S = PreviewParams.Settings;
    const TPictureBudgetScope Budget(S.System);
    TScale Scale;
    const bool CanDown = EffectList->CanDownScalingLoad(E, Scale, S);
    const int32_t OutFmt = FormatIdFromExt(E.OutPutFileName);

    TOwnedImg Loaded;
    bool IsYCbCr = false;
    uint32_t Flags = 0;
    // One line for a file that cannot be read, with the reader's reason, as
    // a batch run gives it (not the codec's line and then ours).
    const int32_t R = LoadOrRaise([&] {
        const int32_t N = LoadImageByType(E, Loaded.I, Scale, CanDown, nullptr, IsYCbCr, Flags, OutFmt, S);
        return Loaded.I.Mem ? N : 0;
    });
    PreviewParams.IsYCbCr = IsYCbCr;
    PreviewParams.NeedGrayAlpha = OutFmt == ofPNG && (Flags & lfGrayAlpha) != 0;
    PreviewParams.Preview = true;
    PreviewParams.Time = E.DateTimeOriginal != 0 ? E.DateTimeOriginal : E.DateTimeLastWrite;
    EffectList->DoEffect(Loaded.I, E, R, PreviewParams);
    std::string Mode;
    ResizeModeText(E, Scale, Mode, S.Resize);
    Caption = E.Name() + ":" + Mode;
    YCbCrToBGRInPlace(Loaded.I, PreviewParams.IsYCbCr);
    // A picture to be written as gray+alpha PNG leaves the chain in that
    // two-channel form; the window and its fitting take it as colour+alpha,
    // which looks the same.
    GrayAlphaToBGRA(Loaded.I);
    Img = Loaded.I;
    Loaded.I = TImgInfo();
    return true;
}

void TListPreview::Execute(int Row, bool NewWindow)
{
    TImageInfoList* L = List();
    if (!L || L->Count() == 0)
        return;
    SetResizeFilters(Settings.Resize.DecimationMode, Settings.Resize.InterpolationMode, Settings.Resize.SIMDMode);
    FPreviewIndex = Row < 0 || Row >= L->Count() ? 0 : Row;
    TImageInfo* E = L->Items(FPreviewIndex);
    if (EffectList)
        EffectList->LoadExternalImage();
    if (!NameEntry(FPreviewIndex)) {
        ShowErrorLogIfAny();
        return;
    }
    try {
        std::string Caption;
        if (!LoadPreviewImage(FPreviewIndex, FPreviewImage, Caption)) {
            ShowErrorLogIfAny(); // the probe's reason
            return;
        }
        if (ViewerExists())
            ToViewer(Caption, NewWindow);
        else
            ShowInWindow(Caption);
    } catch (const std::exception& Ex) {
        FreeImg(FPreviewImage);
        FreeImg(FPreviewAllImage);
        SetResizeFilters(1, 0, Settings.Resize.SIMDMode);
        ErrorLog.PutFileError(E->Name(), Ex.what());
        ShowErrorLogIfAny();
    }
}

// The viewer's window gets the entry's caption as its title once it shows.
// The wait takes up to a few seconds, so it runs beside the window, on a
// display connection of its own; only X11 lets us see another program's
// windows.
void TListPreview::TitleViewerWindow(int Pid, const std::string& Caption)
{
    try {
        std::thread([Pid, Caption] {
            if (const uint32_t W = WaitForProcessWindow(Pid))
                SetProcessWindowTitle(W, Caption);
        }).detach();
    } catch (const std::system_error&) {
        // No thread: the viewer keeps its own title.
    }
}

void TListPreview::ToViewer(const std::string& Caption, bool NewWindow)
{
    const QImage Picture = ImgToQImage(FPreviewImage, Settings.Background);
    FreeImg(FPreviewImage);
    if (Picture.isNull())
        throw EVestroError(LoadResText(SLoadFailed));
    if (QClipboard* Clip = QGuiApplication::clipboard())
        Clip->setImage(Picture);
    const std::vector<std::string> Args = ViewerArguments(
        Settings.Preview.ViewerPath, NewWindow ? Settings.Preview.ViewerOption2 : Settings.Preview.ViewerOption,
        Caption, Startup.ExeDir);
    int Pid = 0;
    if (!StartProcess(Args, &Pid))
        ErrorLog.PutFileError(Settings.Preview.ViewerPath, LoadResText("the viewer could not be started"));
    else if (QGuiApplication::platformName() == "xcb")
        TitleViewerWindow(Pid, Caption);
    ShowErrorLogIfAny();
}

void TListPreview::RenderPreview()
{
    if (!FForm || !FPreviewImage.Mem)
        return;
    const TSize Client = FForm->GetClientSize();
    const int64_t CW = std::max<int64_t>(Client.cx, 1), CH = std::max<int64_t>(Client.cy, 1);
    const uint32_t IW = FPreviewImage.Width, IH = FPreviewImage.Height;
    TOwnedImg Fit;
    if (CW >= IW && CH >= IH) {
        AllocImg(Fit.I, IW, IH, FPreviewImage.Channels);
        std::memcpy(Fit.I.Mem, FPreviewImage.Mem, size_t(FPreviewImage.Bpl) * BlockRows(IH));
    } else {
        int64_t W = CW, H = int64_t(double(CW) * IH / IW + 0.5);
        if (CH < H) {
            W = int64_t(double(CH) * IW / IH + 0.5);
            H = CH;
        }
        W = std::max<int64_t>(W, 1);
        H = std::max<int64_t>(H, 1);
        if (!App.MainResizer)
            return;
        App.MainResizer->ResizeImage(FPreviewImage, Fit.I, uint32_t(W), uint32_t(H), FPreviewImage.Channels == 4);
    }
    FreeImg(FPreviewAllImage);
    FPreviewAllImage = Fit.I;
    Fit.I = TImgInfo();
    FForm->SetAllViewImage(&FPreviewAllImage, nullptr);
}

void TListPreview::ShowInWindow(const std::string& Caption)
{
    TPreviewForm Form(FOwner);
    FForm = &Form;
    // A failure while the window is open leaves through here too: the
    // window is gone then, and nothing may point at it.
    struct TForget {
        TPreviewForm*& F;
        ~TForget() { F = nullptr; }
    } Forget{FForm};
    FCaption = Caption;
    Form.OnResized = [this](QObject*) {
        if (FForm->ViewMode() == 0) {
            RenderPreview();
            FForm->UpdateBitmapInfo();
        }
    };
    Form.OnChangeViewMode = [this](QObject*) {
        if (FForm->ViewMode() == 0) {
            RenderPreview();
            FForm->UpdateBitmapInfo();
        } else {
            FForm->RepaintPicture();
        }
    };
    Form.SetPreviewImage(&FPreviewImage, nullptr, true, QString::fromStdString(FCaption));
    Form.OnNextImg = [this](QObject*) { Step(1); };
    Form.OnPrevImg = [this](QObject*) { Step(-1); };
    QEventLoop Loop;
    Form.OnClosed = [&Loop](QObject*) { Loop.quit(); };
    Form.setWindowModality(Qt::ApplicationModal);
    Form.show();
    if (Form.isVisible())
        Loop.exec();
    FreeImg(FPreviewImage);
    FreeImg(FPreviewAllImage);
}

void TListPreview::Step(int Delta)
{
    TImageInfoList* L = List();
    if (!FForm || !L || L->Count() == 0)
        return;
    int Index = FPreviewIndex + Delta;
    if (Index < 0)
        Index = L->Count() - 1;
    else if (Index >= L->Count())
        Index = 0;
    TImageInfo* E = L->Items(Index);
    if (!NameEntry(Index)) {
        ShowErrorLogIfAny(); // the probe's reason; the window stays as it was
        return;
    }
    FPreviewIndex = Index;
    try {
        FreeImg(FPreviewImage);
        std::string Caption;
        if (!LoadPreviewImage(Index, FPreviewImage, Caption))
            throw EVestroError(LoadResText(SLoadFailed));
        FCaption = Caption;
        RenderPreview();
        FForm->SetPreviewImage(&FPreviewImage, nullptr, true, QString::fromStdString(FCaption));
        FForm->RepaintPicture();
    } catch (const std::exception& Ex) {
        TPreviewForm* Form = FForm;
        FreeImg(FPreviewImage);
        FreeImg(FPreviewAllImage);
        Form->SetPreviewImage(nullptr, nullptr, true, QString());
        Form->SetAllViewImage(nullptr, nullptr);
        Form->close();
        ErrorLog.PutFileError(E->Name(), Ex.what());
        ShowErrorLogIfAny();
    }
}
