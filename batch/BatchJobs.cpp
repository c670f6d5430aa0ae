#include "batch/BatchJobs.h"

#include "batch/JPEGSizeSearch.h"
#include "core/Bitmap.h"
#include "core/ErrorLog.h"
#include "core/ImageInfoExif.h"
#include "core/ImageLoader.h"
#include "core/JPEGCheck.h"
#include "core/Kodex.h"
#include "core/PalettePNG.h"
#include "core/PictureMemory.h"
#include "core/Resize.h"
#include "core/Errors.h"
#include "core/Global.h"
#include "core/OutputFileName.h"
#include "core/ResourceText.h"
#include "core/SafeWrite.h"
#include "effects/FontCache.h"
#include "effects/ResizeFilter.h"
#include "platform/FileMap.h"
#include "platform/FileOps.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// No catalogue texts exist for these yet; the English texts are the keys.
constexpr const char SSaveFailed[] = "Failed to save file";
constexpr const char SNothingWritten[] = "nothing was written";
constexpr const char SFileChanged[] = "the file changed after the output names were made";
constexpr const char SDecoderWarned[] = "the decoder warned about the file's data; the source is kept";

[[noreturn]] void Fail(const char* Text)
{
    throw EVestroError(LoadResText(Text));
}

// The one line of an output that was not written.
[[noreturn]] void FailWrite(const std::string& Target, const std::string& Reason)
{
    throw EVestroError(CannotWriteText(Target, Reason));
}

// The same, after what failed: "<What>: cannot write <Target>: <reason>".
[[noreturn]] void FailWrite(const char* What, const std::string& Target, int Errno)
{
    throw EVestroError(LoadResText(What) + ": " + CannotWriteText(Target, std::strerror(Errno)));
}

// The folder part of Path with its "/", or empty.
std::string FolderPart(const std::string& Path)
{
    const size_t Slash = Path.find_last_of('/');
    return Slash == std::string::npos ? std::string() : Path.substr(0, Slash + 1);
}

// The output under construction: a free name beside the target, removed
// again unless the finished file was renamed into place. The name is short
// and not made from the target's: writers put their own temporary names
// beside it, and a long output name must still leave them room.
class TPendingOutput {
public:
    // NoReplace: the run may not overwrite, so a file that appeared at Target
    // since the names were given out (another program, another run) stays.
    TPendingOutput(const std::string& Target, bool NoReplace)
        : FTarget(Target), FTemp(MakeSiblingTempName(FolderPart(Target) + "out")), FNoReplace(NoReplace)
    {
    }
    ~TPendingOutput()
    {
        if (!FDone)
            platform::DeleteFile(FTemp);
    }
    const std::string& Temp() const { return FTemp; }
    // Moves the finished file over the target. Empty when done, else why not
    // (temporary removed, target untouched): there is no finished file or
    // the rename failed.
    std::string Commit()
    {
        if (platform::FileSize(FTemp) <= 0)
            return LoadResText(SNothingWritten);
        const int E = FNoReplace ? platform::RenameNoReplace(FTemp, FTarget) : platform::RenameReplace(FTemp, FTarget);
        if (E != 0)
            return std::strerror(E);
        FDone = true;
        return std::string();
    }

private:
    std::string FTarget, FTemp;
    bool FNoReplace;
    bool FDone = false;
};

bool KeepTimes(const TRunSettings& S)
{
    return S.Metadata.KeepCreationTime || S.Metadata.KeepLastWriteTime;
}

// What a picture is let into the run with: its decoded form (a JPEG at the
// size it is decoded to) and as much again for the block an effect or the
// resize makes of it. A step that needs more says so before it allocates
// (CheckPictureMemory).
uint64_t MemoryEstimate(const TImageInfo& Item, bool CanDown, const TScale& Scale, const TRunSettings& S)
{
    uint64_t W = uint64_t(std::max(Item.Width, 0)), H = uint64_t(std::max(Item.Height, 0));
    if (Item.PictureFormat == pfJPEG && CanDown) {
        const uint64_t D = uint64_t(JPEGDecodeDenominator(std::max(Scale.XScale, Scale.YScale), S.JPEG));
        W = (W + D - 1) / D, H = (H + D - 1) / D;
    }
    const uint64_t One = PictureBytes(W, H, 4);
    return One > UINT64_MAX / 2 ? UINT64_MAX : 2 * One;
}

} // namespace

// ---------------------------------------------------------------- helpers

void TErrorLogSink::PutErrorMsg(const std::string& Msg)
{
    FLog.PutErrorMsg(Msg);
}

int TErrorLogSink::GetErrorCount()
{
    return FLog.GetErrorCount();
}

// ---------------------------------------------------------------- codec side

bool ProbeOrExplain(const std::string& Path, TImageInfo& Info, std::string& Why, platform::TFileStat* Stat)
{
    Why.clear();
    platform::TFileStat St;
    if (!platform::StatFile(Path, Stat ? *Stat : St)) {
        Why = LoadResText(SFileNotFound);
        return false;
    }
    TErrorCapture Said;
    if (GetImageInfo(Path, Info)) {
        Said.Forward();
        return true;
    }
    Why = Said.Text();
    // A JPEG cut short before its frame header is no unknown format: it says
    // what the other paths say of a JPEG cut short.
    if (Why.empty()) {
        platform::TMappedFile File;
        if (File.Open(Path) && File.Size() >= 3 && std::memcmp(File.Data(), "\xFF\xD8\xFF", 3) == 0)
            Why = CheckJPEGStructure(File.Data(), size_t(File.Size()));
    }
    if (Why.empty())
        Why = LoadResText(SUnknownFormat);
    return false;
}

int32_t LoadOrRaise(const std::function<int32_t()>& Load)
{
    TErrorCapture Said;
    std::string Why;
    try {
        const int32_t R = Load();
        if (R != 0) {
            Said.Forward();
            return R;
        }
    } catch (const EResultTooLarge&) {
        throw; // the file was read; what it would become is too large
    } catch (const std::exception& E) {
        Why = E.what();
    }
    Why = Said.AddedTo(Why);
    const std::string Failed = LoadResText(SLoadFailed);
    throw EVestroError(Why.empty() || Why == Failed ? Failed : Failed + ": " + Why);
}

int32_t TConvertIO::LoadImage(TImageInfo& Info, TImgInfo& Img, TScale& Scale, bool AllowDownScale, TICCInfo* ICC,
                              bool& IsYCbCr, uint32_t& Flags, int32_t OutFormat, const TRunSettings& S)
{
    // The luma/chroma working form is not asked for.
    IsYCbCr = false;
    return LoadImageByType(Info, Img, Scale, AllowDownScale, ICC, IsYCbCr, Flags, OutFormat, S);
}

int32_t TConvertIO::LoadResizedJPEG(TImageInfo& Info, TImgInfo& Img, TScale& Scale, bool AllowDownScale, TICCInfo* ICC,
                                    uint32_t& Flags, int32_t OutFormat, TResizer& Resizer,
                                    const std::function<void(uint32_t&, uint32_t&, uint32_t, int32_t)>& NewSize,
                                    const TRunSettings& S)
{
    return LoadJPEGResized(Info, Img, Scale, AllowDownScale, ICC, Flags, OutFormat, Resizer, NewSize, S);
}

bool TConvertIO::WriteBMP(const std::string& Path, TImgInfo& Img, const TResolutionInfo& Res, const TRunSettings& S)
{
    return SaveBitmapFile(Path, Img, Res, S, TWriteMode::NewFile);
}

bool TConvertIO::WritePaletteBMP(const std::string& Path, TImgInfo& Img, const TResolutionInfo& Res,
                                 const TRunSettings& S)
{
    return SavePaletteBitmap(Path, Img, Res, S, 1, TWriteMode::NewFile);
}

bool TConvertIO::WriteJPEG(const std::string& Path, TImgInfo& Img, int32_t Quality, const TResolutionInfo& Res,
                           bool IsYCbCr, const TICCInfo* ICC, const uint8_t* Exif, uint32_t ExifSize,
                           int32_t SampleType, int32_t Smoothing, const TRunSettings& S)
{
    return ::WriteJPEG(Path, Img, Quality, Res, IsYCbCr, ICC, Exif, ExifSize, SampleType, Smoothing, S,
                       TWriteMode::NewFile) != 0;
}

bool TConvertIO::WriteJPEGToMemory(std::vector<uint8_t>& Buf, uint32_t& Size, TImgInfo& Img, const TResolutionInfo& Res,
                                   bool IsYCbCr, const TICCInfo* ICC, const uint8_t* Exif, uint32_t ExifSize,
                                   int32_t SampleType, int32_t Smoothing, int32_t Quality, const TRunSettings& S)
{
    size_t N = Buf.size();
    const bool Ok = ::WriteJPEGToMemory(Buf.data(), N, Img, Res, IsYCbCr, ICC, Exif, ExifSize, SampleType, Smoothing,
                                        Quality, S) != 0;
    Size = uint32_t(std::min<size_t>(N, Buf.size()));
    return Ok;
}

bool TConvertIO::WritePalettePNG(const std::string& Path, TImgInfo& Img, const TICCInfo* ICC,
                                 const TResolutionInfo& Res, const TRunSettings& S)
{
    return SavePalettePNG(Path, Img, ICC, Res, S, TWriteMode::NewFile);
}

bool TConvertIO::WritePNG(const std::string& Path, TImgInfo& Img, const TICCInfo* ICC, const TResolutionInfo& Res,
                          const TRunSettings& S)
{
    return WritePNGFile(Path, Img, ICC, false, false, Res, 0, nullptr, S, TWriteMode::NewFile) != 0;
}

void TConvertIO::CheckJPEGData(const std::string& Source, bool& Warned, const TRunSettings& S)
{
    Warned = false;
    // The structure first: its words for a damaged file are the whole
    // decode's, which a small one does not always give.
    {
        platform::TMappedFile File;
        if (!File.Open(Source))
            throw EVestroError(LoadResText(SLoadFailed));
        if (const std::string Why = CheckJPEGStructure(File.Data(), size_t(File.Size())); !Why.empty())
            RaiseLoadFailed(Why);
    }
    if (!KodexProcs.ReadJPEG)
        return;
    TImgInfo Probe{};
    int32_t Denominator = 8;
    bool IsYCbCr = true;
    LoadOrRaise([&] { return ReadJPEGFile(Source, Probe, Denominator, nullptr, IsYCbCr, false, S, &Warned); });
    FreeImg(Probe);
}

bool TConvertIO::CopyJPEGMetadata(const std::string& Source, const std::string& Dest, bool DropExif, TImageInfo& Info,
                                  bool DropICC, const TRunSettings& S)
{
    // The copier logs its own failure, restores the times and deletes the
    // source itself when asked (only once Dest is written and is another file).
    ::CopyJPEGMetadata(Source, Dest, DropExif, Info, DropICC, S);
    return true;
}

void TConvertIO::RestoreFileTimes(TImageInfo& Info, const TRunSettings& S)
{
    ::RestoreFileTimes(Info, Info.OutPutFileName, S.Metadata);
}

TWorkerObjectFactory ThreadObjectCopies(TResizer* Resizer, TUnsharpMask* UnSharpMask, TResizer* Antialiasing,
                                        TGaussianBlur* GaussianBlur)
{
    TWorkerObjectFactory F;
    F.Shared = {Resizer, UnSharpMask, Antialiasing, GaussianBlur};
    // Copies share the reference-counted weight setters, whose counts are not
    // locked: the runner makes and frees them one at a time on its own thread.
    F.Copy = [](const TWorkerObjects& S) {
        TWorkerObjects C;
        try {
            C.Resizer = CopyResizer(S.Resizer);
            C.Antialiasing = CopyResizer(S.Antialiasing);
            CopyFilters(S, C);
        } catch (...) {
            FreeResizer(C.Resizer);
            FreeResizer(C.Antialiasing);
            FreeFilters(C);
            throw;
        }
        return C;
    };
    F.Free = [](TWorkerObjects& C) {
        FreeResizer(C.Resizer);
        FreeResizer(C.Antialiasing);
        FreeFilters(C);
        C = TWorkerObjects();
    };
    return F;
}

// ---------------------------------------------------------------- workers

TConvertJob::TConvertJob(TRunEntries Entries, TEffectList& Effects, TConvertIO& IO, TErrorSink& Errors,
                         TWorkerObjectFactory Objects, TRunSettings Settings)
    : FEntries(Entries), FEffects(Effects), FIO(IO), FErrors(Errors), FObjects(std::move(Objects)),
      FSettings(std::move(Settings)), FMemory(FSettings.System)
{
    FConverted.resize(size_t(Count()));
    // The chain's external images (the composite's image file) are read here,
    // on the thread that starts the run, before any worker reads them; a
    // changed setting has freed them since the last run. They are read under
    // the run's budget, which holds them until the run ends.
    const TPictureBudgetScope Budget(FMemory, 0, nullptr);
    FEffects.LoadExternalImage();
}

TConvertJob::~TConvertJob() = default;

int TConvertJob::Count()
{
    if (FEntries.RunInput)
        return int(FEntries.RunInput->size());
    return FEntries.List ? FEntries.List->Count() : 0;
}

void TConvertJob::CreateThreadObjects(int ThreadNum, int Workers, const std::atomic<bool>* Cancel,
                                      TProcessCancel* ToolCancel)
{
    if (size_t(ThreadNum) >= FWorkers.size())
        FWorkers.resize(size_t(ThreadNum) + 1);
    auto W = std::make_unique<TWorker>();
    W->Params.Preview = false;
    W->Params.ThreadNum = ThreadNum;
    W->Params.Cancel = Cancel;
    W->Params.ToolCancel = ToolCancel;
    W->Params.Settings = FSettings;
    W->Params.Settings.ToolCancel = ToolCancel; // the PNG optimiser ends on a cancel too
    TWorkerObjects O = FObjects.Shared;
    if (Workers > 1 && FObjects.Copy) {
        O = FObjects.Copy(FObjects.Shared);
        W->Own = O;
        W->OwnsCopies = true;
    }
    W->Params.Resizer = O.Resizer;
    W->Params.UnSharpMask = O.UnSharpMask;
    W->Params.Antialiasing = O.Antialiasing;
    W->Params.GaussianBlur = O.GaussianBlur;
    FWorkers[size_t(ThreadNum)] = std::move(W);
    FAnyUse = FEffects.IsUse();
}

void TConvertJob::FreeThreadObjects(int ThreadNum)
{
    if (size_t(ThreadNum) >= FWorkers.size() || !FWorkers[size_t(ThreadNum)])
        return;
    TWorker& W = *FWorkers[size_t(ThreadNum)];
    if (W.OwnsCopies && FObjects.Free)
        FObjects.Free(W.Own);
    FreeFontCache(W.Params.FontCache); // made by the add-text effect, owned by the context
    FWorkers[size_t(ThreadNum)].reset();
}

TImageInfo* TConvertJob::Entry(int Index)
{
    if (FEntries.RunInput)
        return (*FEntries.Probes)[size_t(Index)].Info.get();
    return FEntries.List->Items(Index);
}

bool TConvertJob::TakeEntry(int Index, std::string& Label, uint64_t& Tiles)
{
    TImageInfo* I = nullptr;
    // An entry with an output name is expected to be written: one that has
    // gone or changed since the names were made says so (its name and its
    // probe no longer fit the file).
    if (FEntries.RunInput) {
        const TImageFileInfo& E = (*FEntries.RunInput)[size_t(Index)];
        TEntryProbe& P = (*FEntries.Probes)[size_t(Index)];
        if (E.OutPutFileName.empty() || !P.Info)
            return false;
        platform::TFileStat Now;
        const char* Why = nullptr;
        if (!platform::StatFile(E.InputFileName, Now))
            Why = SFileNotFound;
        else if (Now.Dev != P.Stat.Dev || Now.Ino != P.Stat.Ino || Now.Size != P.Stat.Size ||
                 Now.LastWrite.Sec != P.Stat.LastWrite.Sec || Now.LastWrite.NSec != P.Stat.LastWrite.NSec)
            Why = SFileChanged;
        if (Why) {
            FErrors.PutErrorMsg(FileNameOf(E.InputFileName) + ": " + LoadResText(Why));
            P = TEntryProbe();
            return false;
        }
        I = P.Info.get();
        I->OutPutFileName = E.OutPutFileName;
    } else {
        I = FEntries.List->Items(Index);
        if (I->OutPutFileName.empty())
            return false;
        if (!platform::FileExists(I->Path())) {
            FErrors.PutErrorMsg(I->Name() + ": " + LoadResText(SFileNotFound));
            return false;
        }
    }
    I->Number = Index;
    Label = I->Name();
    Tiles = TileCount(I->Width, I->Height);
    return true;
}

void TConvertJob::ReleaseEntry(int Index, int)
{
    if (FEntries.RunInput)
        (*FEntries.Probes)[size_t(Index)] = TEntryProbe();
}

void TConvertJob::ProcessEntry(int Index, int ThreadNum)
{
    TImageInfo& Item = *Entry(Index);
    TWorker& W = *FWorkers[size_t(ThreadNum)];
    TEffectParams& P = W.Params;
    P.RInfo = Item.Resolution();
    P.Time = Item.DateTimeOriginal != 0 ? Item.DateTimeOriginal : Item.DateTimeLastWrite;
    TScale Scale;
    const bool CanDown = FEffects.CanDownScalingLoad(Item, Scale, FSettings);
    const int32_t OutFmt = FormatIdFromExt(Item.OutPutFileName);

    // The name phase made the output's folder. When it could not, that is
    // the reason: what a write into the missing folder would say ("No such
    // file or directory") hides it.
    if (const std::string Folder = FolderPart(Item.OutPutFileName);
        !Folder.empty() && !platform::DirectoryExists(Folder) && !platform::ForceDirectories(Folder)) {
        // A file standing where a folder must go makes mkdir say "exists".
        const int Errno = errno == EEXIST ? ENOTDIR : errno;
        FailWrite(Item.OutPutFileName,
                  LoadResText("cannot create the folder") + " " + Folder + ": " + std::strerror(Errno));
    }
    const bool Tool = FEffects.JPEGTranEffect() && FEffects.JPEGTranEffect()->FUse;
    const bool Copy = !FSettings.File.RenameOnly && !Tool && Item.PictureFormat == pfJPEG && OutFmt == 2 &&
        !FSettings.JPEG.AlwaysRecompress && FAnyUse && !FEffects.IsChange(Item, FSettings);
    // The picture is let in under the run's budget with what it will hold;
    // one that turns out to need more than the others leave starts again,
    // holding nothing until that is free.
    uint64_t Need = FSettings.File.RenameOnly || Tool || Copy ? 0 : MemoryEstimate(Item, CanDown, Scale, FSettings);
    for (;;) {
        const TPictureBudgetScope Budget(FMemory, Need, P.Cancel, [&P] {
            for (TResizer* R : {P.Resizer, P.Antialiasing})
                if (R)
                    R->FreeKept();
        });
        if (Budget.Cancelled())
            throw ERunCancelled();
        try {
            if (FSettings.File.RenameOnly)
                RenameOnly(Item);
            else if (Tool)
                LosslessTransform(Item, W, FEntries.RunInput && (*FEntries.RunInput)[size_t(Index)].Named);
            else if (Copy)
                LosslessCopy(Item);
            else
                Convert(Item, W, CanDown, Scale, OutFmt);
            break;
        } catch (const TPictureMemoryWait& More) {
            Need = std::max(Need, More.Bytes);
        }
    }
    // Only this worker touches this entry's flag; it is read after the run.
    FConverted[size_t(Index)] = 1;
}

bool TConvertJob::Converted(int Index) const
{
    return Index >= 0 && size_t(Index) < FConverted.size() && FConverted[size_t(Index)] != 0;
}

void TConvertJob::RenameOnly(TImageInfo& Item)
{
    const std::string& Out = Item.OutPutFileName;
    // A move never replaces an existing file; across file systems the file is
    // copied instead (and replaces only when the run may overwrite).
    // A failure says what the system said, as a failed write does.
    const int E = platform::RenameNoReplace(Item.Path(), Out);
    if (E == EXDEV) {
        if (const int C = platform::CopyFile(Item.Path(), Out, FSettings.File.NotOverwrite); C != 0)
            FailWrite(SCopyFailed, Out, C);
    } else if (E != 0)
        FailWrite(SRenameFailed, Out, E);
    if (KeepTimes(FSettings))
        FIO.RestoreFileTimes(Item, FSettings);
}

void TConvertJob::DeleteInputIfDone(TImageInfo& Item, bool Written)
{
    if (!FSettings.File.DeleteInputFile || !Written)
        return;
    if (!platform::FileExists(Item.OutPutFileName) || platform::SameFile(Item.Path(), Item.OutPutFileName))
        return;
    platform::DeleteFile(Item.Path());
}

void TConvertJob::LosslessTransform(TImageInfo& Item, TWorker& W, bool Named)
{
    // Other pictures a folder walk found are passed over; one named itself
    // was asked for.
    if (Item.PictureFormat != pfJPEG) {
        if (Named)
            throw EVestroError(LoadResText("not a JPEG file: the lossless transform takes JPEG files only"));
        return;
    }
    TImgInfo Img;
    Img.Width = uint32_t(std::max(Item.Width, 0));
    Img.Height = uint32_t(std::max(Item.Height, 0));
    const std::string Out = Item.OutPutFileName;
    const bool ReadOnly = platform::FileExists(Out) && platform::IsReadOnly(Out);
    // The tool writes a temporary name beside the output, so that a failed
    // or cancelled tool leaves the old file alone.
    TPendingOutput Pending(Out, FSettings.File.NotOverwrite);
    W.Params.ToolOutFileName = Pending.Temp();
    W.Params.Warning.clear();
    FEffects.DoEffect(Img, Item, 1, W.Params);
    // A cancel kills the tool, perhaps half-way through its output: whatever
    // it left is dropped and the source stays.
    if (W.Params.Cancel && *W.Params.Cancel)
        throw ERunCancelled();
    // A doubtful output never takes the place of its own source: the source
    // is the better copy and stays as it was.
    if (!W.Params.Warning.empty() && platform::SameFile(Item.Path(), Out))
        throw EVestroError(W.Params.Warning);
    if (const std::string Why = Pending.Commit(); !Why.empty())
        FailWrite(Out, Why);
    if (ReadOnly)
        platform::SetReadOnly(Out, true);
    if (KeepTimes(FSettings))
        FIO.RestoreFileTimes(Item, FSettings);
    // A doubtful output stays, but the source is the better copy.
    if (!W.Params.Warning.empty()) {
        FErrors.PutErrorMsg(Item.Name() + ": " + W.Params.Warning);
        return;
    }
    DeleteInputIfDone(Item, true);
}

void TConvertJob::LosslessCopy(TImageInfo& Item)
{
    const std::string& Out = Item.OutPutFileName;
    // The copier replaces what it finds; without leave to overwrite, a file
    // that appeared since the names were given out must stay.
    if (FSettings.File.NotOverwrite && platform::PathExists(Out))
        throw EVestroError(LoadResText(SCopyFailed) + ": " + CannotWriteText(Out, std::strerror(EEXIST)));
    // The structure walk cannot see damage inside a scan whose markers are
    // whole: the coded data is decoded too, small, so that the copy refuses
    // what every decoding path refuses. Data the decoder only complained
    // about is copied, but the source is the better copy: the output never
    // takes its place, and it is not deleted.
    bool Warned = false;
    FIO.CheckJPEGData(Item.Path(), Warned, FSettings);
    if (Warned && platform::SameFile(Item.Path(), Out))
        Fail(SDecoderWarned);
    TRunSettings KeepSource;
    if (Warned) {
        KeepSource = FSettings;
        KeepSource.File.DeleteInputFile = false;
    }
    const bool ReadOnly = platform::FileExists(Out) && platform::IsReadOnly(Out);
    // The copier writes through a temporary file of its own, logs a failed
    // write, restores the times and deletes the source when asked.
    if (!FIO.CopyJPEGMetadata(Item.Path(), Out, !FSettings.JPEG.AddExifInfo, Item, !FSettings.Metadata.KeepICCProfile,
                              Warned ? KeepSource : FSettings))
        Fail(SSaveFailed);
    if (ReadOnly && platform::FileExists(Out))
        platform::SetReadOnly(Out, true);
    if (Warned && FSettings.File.DeleteInputFile)
        FErrors.PutErrorMsg(Item.Name() + ": " + LoadResText(SDecoderWarned));
}

void TConvertJob::Convert(TImageInfo& Item, TWorker& W, bool CanDown, TScale& Scale, int32_t OutFmt)
{
    TEffectParams& P = W.Params;
    struct TLocals {
        TImgInfo Img;
        TICCInfo ICC;
        ~TLocals()
        {
            FreeImg(Img);
            FreeICC(ICC);
        }
    } L;
    // The context must not keep pointing at this file's profile.
    struct TResetICC {
        TEffectParams& P;
        ~TResetICC() { P.ICCInfo = nullptr; }
    } ResetICC{P};

    bool IsYCbCr = false;
    uint32_t Flags = 0;
    // A JPEG, PNG or TIFF that is only resized is resized as it is decoded:
    // decoding overlaps the horizontal pass, and the whole decoded picture is
    // never held.
    const bool Bandable = Item.PictureFormat == pfJPEG || Item.PictureFormat == pfWIC ||
        (Item.PictureFormat == pfPNG && !FSettings.PNG.UseWIC);
    const TResizeFilter* Sole = Bandable && P.Resizer ? FEffects.SoleResize(Item, FSettings) : nullptr;
    // A BMP that no writer could make is refused when the resize knows the
    // size, before the picture is made, as the writer would refuse it after.
    // Raised as a result too large: the source was read and is fine.
    const std::string& Out = Item.OutPutFileName;
    const bool IndexColor = FSettings.Bitmap.IndexColor;
    const auto CheckResult = [OutFmt, &Out, IndexColor](int64_t Width, int64_t Height, uint32_t Channels) {
        if (OutFmt == 1 && !BitmapMayHold(uint64_t(Width), uint64_t(Height), Channels, IndexColor))
            throw EResultTooLarge(CannotWriteText(Out, BitmapTooLargeText()));
    };
    struct TResetCheck {
        TEffectParams& P;
        ~TResetCheck() { P.CheckResult = nullptr; }
    } ResetCheck{P};
    P.CheckResult = CheckResult;
    bool Resized = false;
    const int32_t R = LoadOrRaise([&] {
        if (Sole) {
            const bool noExpand = FSettings.Resize.NoExpand;
            const int32_t N = FIO.LoadResizedJPEG(
                Item, L.Img, Scale, CanDown, &L.ICC, Flags, OutFmt, *P.Resizer,
                [Sole, noExpand, &CheckResult](uint32_t& W, uint32_t& H, uint32_t Channels, int32_t Factor) {
                    const TSize S = Sole->ResultSize(W, H, Channels, Factor, noExpand);
                    CheckResult(S.cx, S.cy, Channels);
                    W = uint32_t(S.cx);
                    H = uint32_t(S.cy);
                },
                FSettings);
            if (N >= 0) {
                Resized = true;
                return L.Img.Mem ? N : 0;
            }
        }
        const int32_t N = FIO.LoadImage(Item, L.Img, Scale, CanDown, &L.ICC, IsYCbCr, Flags, OutFmt, FSettings);
        return L.Img.Mem ? N : 0;
    });
    P.IsYCbCr = IsYCbCr;
    P.ICCInfo = nullptr;
    if (L.ICC.Profile) {
        if (L.ICC.Name[0] == 0)
            std::strncpy(L.ICC.Name, "icc profile", sizeof(L.ICC.Name) - 1);
        P.ICCInfo = &L.ICC;
    }
    P.NeedGrayAlpha = OutFmt == 3 && (Flags & 0x20000) != 0;
    // The decoder let the picture pass but complained on the way (stray
    // bytes before the end marker): the source may be the better copy, so
    // the output never takes its place nor its deletion follows.
    const bool Warned = (Flags & lfDecoderWarned) != 0;
    if (Warned && platform::SameFile(Item.Path(), Out))
        Fail(SDecoderWarned);
    // The output under construction: the colour-reduction tool writes it
    // itself, else the writers below do; either way it replaces the output
    // only when complete.
    TPendingOutput Pending(Out, FSettings.File.NotOverwrite);
    P.ToolOutFileName = Pending.Temp();
    if (Resized)
        FEffects.ResizedOutside(Item, P);
    else
        FEffects.DoEffect(L.Img, Item, R, P);
    // The colour-reduction tool may have been killed by a cancel while it
    // wrote: its output cannot be trusted, so the source must stay.
    if (P.Cancel && *P.Cancel && P.DecreaseColor)
        throw ERunCancelled();

    const bool ReadOnly = platform::FileExists(Out) && platform::IsReadOnly(Out);
    if (P.DecreaseColor) {
        // Commit finds what the tool wrote, or says that nothing was.
        if (const std::string Why = Pending.Commit(); !Why.empty())
            FailWrite(Out, Why);
    } else {
        if (OutFmt == 0)
            Fail(SUnknownFormat);
        std::string Why, Notice;
        {
            // What the writers say becomes the reason of one line that names
            // the output, not their temporary file.
            TErrorCapture Said;
            bool Ok = false;
            errno = 0;
            try {
                Ok = WriteOutput(Item, W, L.Img, OutFmt, Pending.Temp());
            } catch (const std::exception& E) {
                Why = E.what();
            }
            const int Errno = errno;
            if (P.Cancel && *P.Cancel && !platform::PathExists(Pending.Temp()))
                throw ERunCancelled();
            if (Ok) {
                // A write that succeeded may still say something (the PNG
                // optimiser failed): said below, against the file, not a
                // temporary.
                Notice = Said.Text();
            } else {
                const std::string More = Said.Text();
                if (!More.empty())
                    Why = Why.empty() ? More : Why + "; " + More;
                if (Why.empty())
                    Why = Errno != 0 ? std::strerror(Errno) : LoadResText(SSaveFailed);
            }
        }
        if (!Notice.empty())
            FErrors.PutErrorMsg(Item.Name() + ": " + Notice);
        if (Why.empty())
            Why = Pending.Commit();
        if (!Why.empty())
            FailWrite(Out, Why);
    }
    if (ReadOnly)
        platform::SetReadOnly(Out, true);
    if (KeepTimes(FSettings))
        FIO.RestoreFileTimes(Item, FSettings);
    if (Warned && FSettings.File.DeleteInputFile) {
        FErrors.PutErrorMsg(Item.Name() + ": " + LoadResText(SDecoderWarned));
        return;
    }
    DeleteInputIfDone(Item, true);
}

bool TConvertJob::WriteOutput(TImageInfo& Item, TWorker& W, TImgInfo& Img, int32_t OutFmt, const std::string& Path)
{
    TEffectParams& P = W.Params;
    const TRunSettings& S = P.Settings; // the run's settings, with the worker's tool cancel
    bool Ok = false;
    switch (OutFmt) {
    case 1:
        YCbCrToBGRInPlace(Img, P.IsYCbCr);
        if (Img.Channels == 2)
            GrayAlphaToBGRA(Img);
        if (Img.Channels == 3 && S.Bitmap.IndexColor && FIO.WritePaletteBMP(Path, Img, P.RInfo, S))
            Ok = true;
        else
            Ok = FIO.WriteBMP(Path, Img, P.RInfo, S);
        break;
    case 2: {
        // The luma/chroma form is only written as such for 3 channels; any
        // other picture goes back to BGR first (dropping the flag alone would
        // write wrong colours).
        if (Img.Channels != 3)
            YCbCrToBGRInPlace(Img, P.IsYCbCr);
        // The source's EXIF, brought up to date for the new picture.
        struct TExifBlock {
            uint8_t* P = nullptr;
            ~TExifBlock()
            {
                if (P)
                    FreeAligned(P);
            }
        } Block;
        if (Item.HasExif() && S.JPEG.AddExifInfo)
            Block.P = Item.GetExifInfo(FEffects.FExifRotationUse, Img, P.Resizer, S.JPEG.UpdateExif,
                                       S.JPEG.UpdateExifResolution && !S.Metadata.KeepResolution, P.IsYCbCr, S);
        const uint8_t* Exif = Block.P;
        const uint32_t ExifSize = Block.P ? Item.ExifSize() : 0;
        if (S.JPEG.UseFileSizeLimit) {
            std::vector<uint8_t> Buf;
            try {
                Buf.resize(size_t(std::max(S.JPEG.FileSizeLimit, 0)) * 1024u);
            } catch (const std::bad_alloc&) {
                throw EOutOfMemory();
            }
            TJPEGSizeSearch Search;
            Search.Quality = S.JPEG.Quality;
            Search.SampleType = S.JPEG.SampleType;
            Search.QualityLimit = S.JPEG.QualityLimit;
            Search.SampleTypeLimit = S.JPEG.SampleTypeLimit;
            const TJPEGSearchResult R = SearchJPEGFileSize(
                Search, Buf,
                [&](int32_t Q, int32_t SS, std::vector<uint8_t>& B, uint32_t& Size) {
                    Size = uint32_t(B.size());
                    return FIO.WriteJPEGToMemory(B, Size, Img, P.RInfo, P.IsYCbCr, P.ICCInfo, Exif, ExifSize, SS,
                                                 S.JPEG.Smoothing, Q, S);
                },
                P.Cancel);
            if (R.Fitted)
                Ok = platform::WriteNewFile(Path, Buf.data(), R.Size) == 0;
            else if (P.Cancel && *P.Cancel)
                return false; // cut short by a cancel: nothing written, nothing failed
            else
                Ok = FIO.WriteJPEG(Path, Img, R.Quality, P.RInfo, P.IsYCbCr, P.ICCInfo, Exif, ExifSize, R.SampleType,
                                   S.JPEG.Smoothing, S);
        } else
            Ok = FIO.WriteJPEG(Path, Img, S.JPEG.Quality, P.RInfo, P.IsYCbCr, P.ICCInfo, Exif, ExifSize,
                               S.JPEG.SampleType, S.JPEG.Smoothing, S);
        break;
    }
    case 3:
        YCbCrToBGRInPlace(Img, P.IsYCbCr);
        if (Img.Channels == 3 && S.PNG.IndexColor && FIO.WritePalettePNG(Path, Img, P.ICCInfo, P.RInfo, S))
            Ok = true;
        else
            Ok = FIO.WritePNG(Path, Img, P.ICCInfo, P.RInfo, S);
        break;
    default:
        break;
    }
    return Ok;
}
