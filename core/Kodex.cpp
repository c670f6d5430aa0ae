#include "core/Kodex.h"
#include "core/SafeWrite.h"

#include "core/AlphaBlend.h"
#include "core/ErrorLog.h"
#include "core/Errors.h"
#include "core/Grayscale.h"
#include "core/PictureMemory.h"
#include "core/ResourceText.h"
#include "core/WorkShare.h"
#include "platform/DynLib.h"
#include "platform/FdFile.h"
#include "platform/FileMap.h"
#include "platform/PageMemory.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

TKodexProcs KodexProcs;

namespace {

// The loaded library and the extension list built from it on first use.
struct TLibrary {
    void* Handle = nullptr;
    std::mutex ExtMutex;
    std::string WICExtensions;
    bool WICExtensionsBuilt = false;
};

TLibrary& Library()
{
    static TLibrary L;
    return L;
}

// The file the calling thread is reading or writing through a wrapper; the
// library itself only sees memory and names no file in its messages.
thread_local const std::string* CurrentFile = nullptr;

struct TCurrentFile {
    const std::string* Saved;
    explicit TCurrentFile(const std::string& Name) : Saved(CurrentFile) { CurrentFile = &Name; }
    ~TCurrentFile() { CurrentFile = Saved; }
};

template <typename T> void Resolve(T& Entry, const char* Name)
{
    Entry = reinterpret_cast<T>(platform::DynSymbol(Library().Handle, Name));
}

// Replaces a decoded 4-channel picture by its flattening onto Background.
// On out of memory the decoded block and the profile are released first.
void FlattenDecoded(TImgInfo& Img, TICCInfo* ICC, const TBGColor& Background)
{
    TImgInfo flat;
    try {
        AllocFilledImg(flat, Img.Width, Img.Height, 3);
    } catch (const EOutOfMemory&) {
        FreeImg(Img);
        if (ICC)
            FreeICC(*ICC);
        throw;
    }
    FlattenAlphaProc(flat, Img, Background);
    FreeImg(Img);
    Img = flat;
}

// Runs Write on a new temporary file beside FileName and renames it into
// place only when Write succeeded and the file closed cleanly.
template <typename TWrite> int WriteViaTemp(const std::string& FileName, TWriteMode Mode, TWrite Write)
{
    TCurrentFile cur(FileName);
    TSafeFileWriter out(FileName, Mode);
    if (!out.File()) {
        KodexErrorCallback("", platform::LastErrorText().c_str());
        return 0;
    }
    int r = Write(fileno(out.File()));
    if (r && !out.Commit()) {
        KodexErrorCallback("", "Write error");
        r = 0;
    }
    return r; // an uncommitted temporary file is removed with the writer
}

void FillJPEGRecord(TKodexWriteJPEG& Rec, const TImgInfo& Img, int32_t Quality, bool IsYCbCr, int32_t SampleType,
                    int32_t Smoothing, const TRunSettings& S)
{
    static const int32_t hs[4] = {2, 2, 1, 4}, vs[4] = {2, 1, 1, 1};
    const int32_t st = (SampleType >= 0 && SampleType <= 3) ? SampleType : 0;
    Rec = TKodexWriteJPEG{};
    Rec.Img = Img;
    Rec.Quality = Quality;
    Rec.HSampling = hs[st];
    Rec.VSampling = vs[st];
    Rec.Smoothing = Smoothing;
    Rec.Flags = IsYCbCr ? uint32_t(KODEX_WJPEG_YCBCR) : 0u;
    Rec.DCTMethod = S.JPEG.DCTMethod != 0 ? 2 : 0;
}

void SetDensity(TKodexWriteJPEG& Rec, const TResolutionInfo& Resolution, const TMetadataOption& Meta)
{
    if (!Meta.KeepResolution) {
        Rec.XDensity = Rec.YDensity = Meta.Resolution;
        Rec.DensityUnit = 1;
        return;
    }
    int32_t x = 1, y = 1;
    ResolutionToDPI(x, y, Resolution);
    if (x > 1 && y > 1) {
        Rec.XDensity = x;
        Rec.YDensity = y;
        Rec.DensityUnit = 1;
    } else {
        Rec.XDensity = Rec.YDensity = 1;
        Rec.DensityUnit = 0;
    }
}

// The record of a picture written whole (not a thumbnail): also its density,
// its profile when it has one, and the progressive setting.
void FillPictureJPEGRecord(TKodexWriteJPEG& Rec, const TImgInfo& Img, int32_t Quality, bool IsYCbCr, int32_t SampleType,
                           int32_t Smoothing, const TRunSettings& S, const TResolutionInfo& Resolution,
                           const TICCInfo* ICCInfo)
{
    FillJPEGRecord(Rec, Img, Quality, IsYCbCr, SampleType, Smoothing, S);
    SetDensity(Rec, Resolution, S.Metadata);
    Rec.ICC = const_cast<TICCInfo*>(ICCInfo && ICCInfo->Profile ? ICCInfo : nullptr);
    Rec.Progressive = S.JPEG.Progressive ? -1 : 0;
}

// Before a read: the library learns today's picture budget (the settings and
// the worker count may have changed since the last read).
void PassBudget()
{
    if (KodexProcs.SetPictureMemoryLimit)
        KodexProcs.SetPictureMemoryLimit(PictureMemoryBudget());
}

// Maps an input for the library, which then reads only what it decodes.
bool OpenInput(const std::string& FileName, platform::TMappedFile& File)
{
    PassBudget();
    return File.Open(FileName);
}

// The library's result for a mapped input: a picture decoded while another
// program cut the file short holds zeros in place of the lost part, so it
// is dropped (with its profile) and the file counts as unreadable.
bool DecodedWhole(int Result, const platform::TMappedFile& File, TImgInfo& Img, TICCInfo* ICCInfo)
{
    if (Result && !File.Damaged())
        return true;
    FreeImg(Img);
    if (Result && ICCInfo)
        FreeICC(*ICCInfo);
    if (Result)
        KodexErrorCallback("", "The file changed while it was read");
    return false;
}

// Maps FileName and runs Decode(Data, Size), which fills Img, on it: the
// library's result, or 0 when the file cannot be opened or the picture was
// not decoded whole.
template <typename TDecode>
int DecodeMapped(const std::string& FileName, TImgInfo& Img, TICCInfo* ICCInfo, TDecode Decode)
{
    platform::TMappedFile file;
    if (!OpenInput(FileName, file))
        return 0;
    const int r = Decode(file.Data(), file.Size());
    return DecodedWhole(r, file, Img, ICCInfo) ? r : 0;
}

int ReadWic(TKodexReadWICProc Proc, const std::string& FileName, TImgInfo& Img, uint32_t Flags, TICCInfo* ICCInfo,
            const TBGColor& BackgroundColour)
{
    if (!Proc)
        return 0;
    TCurrentFile cur(FileName);
    TKodexReadWIC rec{};
    rec.ICC = ICCInfo;
    const int r =
        DecodeMapped(FileName, rec.Img, ICCInfo, [&](auto Data, auto Size) { return Proc(&rec, Data, Size); });
    if (!r)
        return 0;
    if (rec.Img.Channels == 4 && (Flags & KODEX_PNG_FLATTEN))
        FlattenDecoded(rec.Img, ICCInfo, BackgroundColour);
    Img = rec.Img;
    return r;
}

} // namespace

bool LoadKodex(const std::string& ProgramFolder, std::string& ErrorText)
{
    UnloadKodex();
    Library().Handle = platform::DynLoad(ProgramFolder + "bin/libkodex.so", ErrorText, true);
    if (!Library().Handle)
        return false;
    Resolve(KodexProcs.ReadPNG, "read_png");
    Resolve(KodexProcs.ReadJPEG, "read_jpeg");
    Resolve(KodexProcs.ReadJPEGBands, "read_jpeg_bands");
    Resolve(KodexProcs.ReadPNGBands, "read_png_bands");
    Resolve(KodexProcs.ReadTIFFBands, "read_tiff_bands");
    Resolve(KodexProcs.ReadWIC, "read_wic");
    Resolve(KodexProcs.ReadWICThumbnail, "read_wic_thumbnail");
    Resolve(KodexProcs.ReadWICPreview, "read_wic_preview");
    Resolve(KodexProcs.ReadWICInfo, "read_wic_info");
    Resolve(KodexProcs.WritePNG, "write_png");
    Resolve(KodexProcs.WriteJPEG, "write_jpeg");
    Resolve(KodexProcs.WriteJPEGToMemory, "write_jpeg_to_memory");
    Resolve(KodexProcs.CreateExif, "create_exif");
    Resolve(KodexProcs.EnumExtensions, "enumextensions");
    Resolve(KodexProcs.SetErrorMsgCallback, "set_errormsg_callback");
    Resolve(KodexProcs.SetPictureMemoryLimit, "set_picture_memory_limit");
    Resolve(KodexProcs.SetCancelFlag, "set_cancel_flag");
    Resolve(KodexProcs.SetPageReuse, "set_page_reuse");
    {
        std::lock_guard<std::mutex> lock(Library().ExtMutex);
        Library().WICExtensions.clear();
        Library().WICExtensionsBuilt = false;
    }
    if (KodexProcs.SetErrorMsgCallback)
        KodexProcs.SetErrorMsgCallback(KodexErrorCallback);
    if (KodexProcs.SetPageReuse)
        KodexProcs.SetPageReuse(platform::TakeKeptPages, platform::KeepPages);
    return true;
}

void UnloadKodex()
{
    if (Library().Handle) {
        if (KodexProcs.SetErrorMsgCallback)
            KodexProcs.SetErrorMsgCallback(nullptr);
        if (KodexProcs.SetPageReuse)
            KodexProcs.SetPageReuse(nullptr, nullptr);
        platform::DynUnload(Library().Handle);
        Library().Handle = nullptr;
    }
    KodexProcs = TKodexProcs{};
    std::lock_guard<std::mutex> lock(Library().ExtMutex);
    Library().WICExtensions.clear();
    Library().WICExtensionsBuilt = false;
}

void KodexErrorCallback(const char* FileName, const char* Message)
{
    std::string name = FileName ? FileName : "";
    if (name.empty() && CurrentFile)
        name = *CurrentFile;
    ErrorLog.PutFileError(name, Message ? Message : "");
}

int ReadPNGFile(const std::string& FileName, TImgInfo& Img, uint32_t& Flags, TICCInfo* ICCInfo,
                TBGColor& BackgroundColour)
{
    if (!KodexProcs.ReadPNG)
        return 0;
    TCurrentFile cur(FileName);
    TKodexReadPNG rec{};
    rec.Flags = Flags & ~uint32_t(KODEX_PNG_GRAYALPHA);
    rec.BGColor = BackgroundColour;
    rec.ICC = ICCInfo;
    const int r = DecodeMapped(FileName, rec.Img, ICCInfo,
                               [&](auto Data, auto Size) { return KodexProcs.ReadPNG(&rec, Data, Size); });
    if (!r)
        return 0;
    Flags = rec.Flags;
    const bool ownBG = (rec.Flags & KODEX_PNG_OWN_BG) != 0;
    if (rec.Img.Channels == 2) {
        try {
            ExpandGrayAlpha(rec.Img);
        } catch (const EOutOfMemory&) {
            FreeImg(rec.Img);
            if (ICCInfo)
                FreeICC(*ICCInfo);
            throw;
        }
        Flags |= KODEX_PNG_GRAYALPHA;
        // A gray picture is flattened onto a gray: the file's own, else the
        // gray of the caller's colour.
        if (ownBG)
            BackgroundColour = rec.BGColor;
        else
            GrayOfColor(BackgroundColour);
        BackgroundColour.Red = BackgroundColour.Green = BackgroundColour.Blue = BackgroundColour.Gray;
    } else if (ownBG) {
        BackgroundColour = rec.BGColor;
    }
    if (rec.Img.Channels == 4 && (Flags & KODEX_PNG_FLATTEN))
        FlattenDecoded(rec.Img, ICCInfo, BackgroundColour);
    Img = rec.Img;
    return r;
}

int ReadJPEGFile(const std::string& FileName, TImgInfo& Img, int32_t& Denominator, TICCInfo* ICCInfo, bool& IsYCbCr,
                 bool PassFlag, const TRunSettings& S, bool* Warned)
{
    if (!KodexProcs.ReadJPEG)
        return 0;
    TCurrentFile cur(FileName);
    TKodexReadJPEG rec{};
    rec.Denominator = Denominator > 0 ? uint32_t(Denominator) : 1;
    rec.Flags = (PassFlag ? uint32_t(KODEX_JPEG_PASS) : 0u) | (IsYCbCr ? uint32_t(KODEX_JPEG_YCBCR) : 0u);
    rec.DCTMethod = S.JPEG.DCTMethod != 0 ? 2 : 0;
    rec.ICC = ICCInfo;
    const int r = DecodeMapped(FileName, rec.Img, ICCInfo,
                               [&](auto Data, auto Size) { return KodexProcs.ReadJPEG(&rec, Data, Size); });
    if (!r)
        return 0;
    Img = rec.Img;
    IsYCbCr = (rec.Flags & KODEX_JPEG_YCBCR) != 0;
    if (Warned)
        *Warned = (rec.Flags & KODEX_JPEG_WARNED) != 0;
    return r;
}

int ReadJPEGFileBands(const std::string& FileName, TKodexReadJPEGBands& Rec, const TRunSettings& S)
{
    if (!KodexProcs.ReadJPEGBands)
        return 0;
    TCurrentFile cur(FileName);
    platform::TMappedFile file;
    if (!OpenInput(FileName, file))
        return 0;
    Rec.Flags = 0;
    Rec.DCTMethod = S.JPEG.DCTMethod != 0 ? 2 : 0;
    TImgInfo none{};
    const int r = KodexProcs.ReadJPEGBands(&Rec, file.Data(), file.Size());
    return DecodedWhole(r, file, none, Rec.ICC) ? r : 0;
}

// Reads a mapped file in bands through Proc, the pages behind the decoder
// given back (a huge file need not stay in memory); -1, reading nothing, when
// Accept refuses the file's first bytes.
static int ReadFileBands(TKodexReadJPEGBandsProc Proc, const std::string& FileName, TKodexReadJPEGBands& Rec,
                         bool (*Accept)(const uint8_t* Data, uint64_t Size) = nullptr)
{
    if (!Proc)
        return 0;
    TCurrentFile cur(FileName);
    platform::TMappedFile file;
    if (!OpenInput(FileName, file))
        return 0;
    if (Accept && !Accept(file.Data(), file.Size()))
        return -1;
    TImgInfo none{};
    Rec.Flags = KODEX_PNG_RELEASE_INPUT;
    const int r = Proc(&Rec, file.Data(), file.Size());
    return DecodedWhole(r, file, none, Rec.ICC) ? r : 0;
}

int ReadPNGFileBands(const std::string& FileName, TKodexReadJPEGBands& Rec)
{
    return ReadFileBands(KodexProcs.ReadPNGBands, FileName, Rec);
}

int ReadTIFFFileBands(const std::string& FileName, TKodexReadJPEGBands& Rec)
{
    return ReadFileBands(KodexProcs.ReadTIFFBands, FileName, Rec, [](const uint8_t* D, uint64_t N) {
        return N >= 4 &&
            ((D[0] == 'I' && D[1] == 'I' && D[2] == 42 && D[3] == 0) ||
             (D[0] == 'M' && D[1] == 'M' && D[2] == 0 && D[3] == 42));
    });
}

int ReadWICFile(const std::string& FileName, TImgInfo& Img, uint32_t Flags, TICCInfo* ICCInfo,
                const TBGColor& BackgroundColour)
{
    return ReadWic(KodexProcs.ReadWIC, FileName, Img, Flags, ICCInfo, BackgroundColour);
}

int ReadWICThumbnail(const std::string& FileName, TImgInfo& Img, uint32_t Flags, TICCInfo* ICCInfo,
                     const TBGColor& BackgroundColour)
{
    return ReadWic(KodexProcs.ReadWICThumbnail, FileName, Img, Flags, ICCInfo, BackgroundColour);
}

void SetKodexCancelFlag(const std::atomic<bool>* Flag)
{
    if (KodexProcs.SetCancelFlag)
        KodexProcs.SetCancelFlag(Flag);
}

int ReadJPEGFromMemory(const uint8_t* Data, size_t Size, TImgInfo& Img, const TRunSettings& S)
{
    if (!KodexProcs.ReadJPEG || !Data)
        return 0;
    PassBudget();
    TKodexReadJPEG rec{};
    rec.Denominator = 1;
    rec.Flags = KODEX_JPEG_PASS;
    rec.DCTMethod = S.JPEG.DCTMethod != 0 ? 2 : 0;
    const int r = KodexProcs.ReadJPEG(&rec, Data, Size);
    if (r)
        Img = rec.Img;
    return r;
}

int ReadWICInfo(const std::string& FileName, TKodexInfo& Info)
{
    if (!KodexProcs.ReadWICInfo)
        return 0;
    TKodexInfo info{};
    const int r = KodexProcs.ReadWICInfo(FileName.c_str(), &info);
    if (r)
        Info = info;
    return r;
}

int WriteJPEG(const std::string& FileName, const TImgInfo& Img, int32_t Quality, const TResolutionInfo& Resolution,
              bool IsYCbCr, const TICCInfo* ICCInfo, const uint8_t* ExifData, uint32_t ExifSize, int32_t SampleType,
              int32_t Smoothing, const TRunSettings& S, TWriteMode Mode)
{
    if (!KodexProcs.WriteJPEG)
        return 0;
    TKodexWriteJPEG rec;
    FillPictureJPEGRecord(rec, Img, Quality, IsYCbCr, SampleType, Smoothing, S, Resolution, ICCInfo);
    return WriteViaTemp(FileName, Mode, [&](int Fd) {
        return KodexProcs.WriteJPEG(&rec, Fd, ExifSize ? ExifData : nullptr, ExifData ? ExifSize : 0);
    });
}

int WriteJPEGToMemory(uint8_t* Buffer, size_t& Size, const TImgInfo& Img, const TResolutionInfo& Resolution,
                      bool IsYCbCr, const TICCInfo* ICCInfo, const uint8_t* ExifData, uint32_t ExifSize,
                      int32_t SampleType, int32_t Smoothing, int32_t Quality, const TRunSettings& S)
{
    if (!KodexProcs.WriteJPEGToMemory)
        return 0;
    TKodexWriteJPEG rec;
    FillPictureJPEGRecord(rec, Img, Quality, IsYCbCr, SampleType, Smoothing, S, Resolution, ICCInfo);
    // Not fitting is an answer the callers expect and act on (a smaller try);
    // they report a final failure themselves, with the file's name.
    TErrorCapture quiet;
    return KodexProcs.WriteJPEGToMemory(&rec, Buffer, &Size, ExifSize ? ExifData : nullptr, ExifData ? ExifSize : 0);
}

int WriteThumbnailJPEG(uint8_t* Buffer, size_t& Size, const TImgInfo& Img, bool IsYCbCr, int32_t SampleType,
                       int32_t Smoothing, int32_t Quality, const TRunSettings& S)
{
    if (!KodexProcs.WriteJPEGToMemory)
        return 0;
    TKodexWriteJPEG rec;
    FillJPEGRecord(rec, Img, Quality, IsYCbCr, SampleType, Smoothing, S);
    rec.Flags |= KODEX_WJPEG_THUMBNAIL;
    TErrorCapture quiet; // as above: the EXIF writer tries smaller encodings
    return KodexProcs.WriteJPEGToMemory(&rec, Buffer, &Size, nullptr, 0);
}

int WritePNG(const std::string& FileName, const TImgInfo& Img, int32_t Filter, bool Transparent, bool FourBit,
             const TResolutionInfo& Resolution, int32_t PaletteCount, const uint8_t* Palette, const TICCInfo* ICCInfo,
             int32_t Level, const TRunSettings& S, TWriteMode Mode)
{
    if (!KodexProcs.WritePNG)
        return 0;
    TKodexWritePNG rec{};
    rec.Img = Img;
    rec.Level = Level;
    rec.Filter = Filter;
    rec.ICC = const_cast<TICCInfo*>(ICCInfo && ICCInfo->Profile ? ICCInfo : nullptr);
    rec.Palette = Palette;
    rec.PaletteCount = Palette ? PaletteCount : 0;
    rec.FourBit = FourBit ? -1 : 0;
    rec.Transparent = Transparent ? -1 : 0;
    rec.Threads = WorkThreadShare();
    if (!S.PNG.WritepHYsChunk) {
        rec.PhysMode = -1;
    } else if (S.Metadata.KeepResolution) {
        int32_t x = 0, y = 0;
        ResolutionToPPM(x, y, Resolution);
        if (x < 1 || y < 1) {
            rec.PhysX = rec.PhysY = 1;
            rec.PhysMode = 0;
        } else {
            rec.PhysX = x;
            rec.PhysY = y;
            rec.PhysMode = 1;
        }
    } else {
        rec.PhysX = rec.PhysY = (S.Metadata.Resolution * 10000 + 127) / 254;
        rec.PhysMode = 1;
    }
    return WriteViaTemp(FileName, Mode, [&](int Fd) { return KodexProcs.WritePNG(&rec, Fd); });
}

bool CreateExif(const std::string& SrcFileName, const TKodexInfo& Info, const uint8_t* Thumb, uint32_t ThumbSize,
                uint8_t* Out, uint32_t Capacity, uint32_t& OutSize)
{
    OutSize = 0;
    if (!KodexProcs.CreateExif)
        return false;
    return KodexProcs.CreateExif(SrcFileName.c_str(), &Info, Thumb, ThumbSize, Out, Capacity, &OutSize) != 0;
}

void ExpandGrayAlpha(TImgInfo& Img)
{
    TImgInfo out;
    AllocFilledImg(out, Img.Width, Img.Height, 4);
    for (uint32_t y = 0; y < Img.Height; ++y) {
        const uint8_t* s = MemRow(Img, y);
        uint8_t* d = MemRow(out, y);
        for (uint32_t x = 0; x < Img.Width; ++x, s += 2, d += 4) {
            d[0] = d[1] = d[2] = s[0];
            d[3] = s[1];
        }
    }
    FreeImg(Img);
    Img = out;
}

bool GrayAlphaToBGRA(TImgInfo& Img)
{
    if (Img.Channels != 2)
        return false;
    ExpandGrayAlpha(Img);
    return true;
}

bool CMYKToBGR(TImgInfo& Img)
{
    if (Img.Channels != 4)
        return false;
    TImgInfo out;
    AllocFilledImg(out, Img.Width, Img.Height, 3);
    for (uint32_t y = 0; y < Img.Height; ++y) {
        const uint8_t* s = MemRow(Img, y);
        uint8_t* d = MemRow(out, y);
        for (uint32_t x = 0; x < Img.Width; ++x, s += 4, d += 3) {
            const uint32_t k = s[3];
            for (int c = 0; c < 3; ++c) {
                const uint32_t t = s[c] * k + 127;
                d[2 - c] = uint8_t((t + (t >> 8)) >> 8);
            }
        }
    }
    FreeImg(Img);
    Img = out;
    return true;
}

void WICExtensionCallback(const char* Extension)
{
    // Called from within GetWICExtensions, which holds ExtMutex.
    if (Extension && *Extension)
        Library().WICExtensions += std::string(Extension) + ",";
}

std::string GetWICExtensions()
{
    std::lock_guard<std::mutex> lock(Library().ExtMutex);
    if (!Library().WICExtensionsBuilt && KodexProcs.EnumExtensions) {
        Library().WICExtensions.clear();
        KodexProcs.EnumExtensions(WICExtensionCallback);
        // JPEG XR is always read by the library; its extensions are not enumerated.
        Library().WICExtensions += ".jxr,.hdp,.wdp,";
        Library().WICExtensionsBuilt = true;
    }
    return Library().WICExtensions;
}

namespace {
uint32_t Le32(const uint8_t* P)
{
    return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}
uint16_t Le16(const uint8_t* P)
{
    return uint16_t(P[0] | P[1] << 8);
}

constexpr const char SPaletteSaveFailed[] = "Failed to save file";

struct TImgHolder {
    TImgInfo Img;
    ~TImgHolder() { FreeImg(Img); }
};
} // namespace

void LoadPaletteBitmapFile(const std::string& SourceFile, const std::string& OutputFile, int32_t ColourCount,
                           const TResolutionInfo& Resolution, const TICCInfo* ICCInfo, int32_t TransparentType,
                           const TRunSettings& S)
{
    platform::TMappedFile file(SourceFile);
    if (!file.Data())
        throw EVestroError(LoadResText(SLoadFailed));
    const uint8_t* d = file.Data();
    const uint64_t size = file.Size();
    if (size < 18 || d[0] != 'B' || d[1] != 'M')
        throw EVestroError(LoadResText(SUnknownFormat));
    const uint32_t hs = Le32(d + 14);
    if (hs < 40 || hs > 124)
        throw EVestroError(LoadResText(SUnknownFormat));
    if (size < 14 + uint64_t(hs))
        throw EVestroError(LoadResText(SLoadFailed));
    const int32_t width = int32_t(Le32(d + 18)), height = int32_t(Le32(d + 22));
    const uint32_t bpp = Le16(d + 28), compression = Le32(d + 30), used = Le32(d + 46);
    if ((bpp != 1 && bpp != 4 && bpp != 8) || compression != 0)
        throw EVestroError(LoadResText(SUnknownFormat));
    // Checked: the tool's size, colour count and indices are not trusted.
    if (width <= 0 || height == 0 || height == INT32_MIN)
        throw EVestroError(LoadResText(SLoadFailed));
    const uint64_t w = uint64_t(width), h = uint64_t(height < 0 ? -int64_t(height) : height);
    const bool topDown = height < 0;
    const uint64_t fileColours = used ? used : (uint64_t(1) << bpp);
    if (fileColours > (uint64_t(1) << bpp) || ColourCount < 1 || uint64_t(ColourCount) > fileColours)
        throw EVestroError(LoadResText(SLoadFailed));
    const uint64_t palPos = 14 + uint64_t(hs);
    if (palPos + 4 * fileColours > size)
        throw EVestroError(LoadResText(SLoadFailed));
    const uint64_t dataPos = Le32(d + 10) ? Le32(d + 10) : palPos + 4 * fileColours;
    const uint64_t rowBytes = bpp == 1 ? ((w + 7) / 8 + 3) & ~uint64_t(3)
        : bpp == 4                     ? ((w + 1) / 2 + 3) & ~uint64_t(3)
                                       : (w + 3) & ~uint64_t(3);
    if (dataPos > size || (size - dataPos) / rowBytes < h)
        throw EVestroError(LoadResText(SLoadFailed));

    uint8_t palette[256 * 3];
    for (int32_t i = 0; i < ColourCount; ++i) {
        const uint8_t* q = d + palPos + 4 * uint64_t(i);
        palette[i * 3] = q[2], palette[i * 3 + 1] = q[1], palette[i * 3 + 2] = q[0];
    }

    // One index byte per pixel, bottom-up, whatever the file's depth and order.
    TImgHolder idx{};
    AllocImg(idx.Img, w, h, 1);
    for (uint64_t r = 0; r < h; ++r) {
        const uint8_t* s = d + dataPos + r * rowBytes;
        uint8_t* o = MemRow(idx.Img, uint32_t(topDown ? h - 1 - r : r));
        for (uint64_t x = 0; x < w; ++x) {
            const uint8_t v = bpp == 8 ? s[x]
                : bpp == 4             ? uint8_t((s[x / 2] >> (x & 1 ? 0 : 4)) & 15)
                                       : uint8_t((s[x / 8] >> (7 - (x & 7))) & 1);
            if (v >= ColourCount)
                throw EVestroError(LoadResText(SLoadFailed));
            o[x] = v;
        }
    }

    // The key colour moves to index 0, which the PNG marks transparent.
    const bool transparent = TransparentType >= 1 && TransparentType <= 4;
    if (transparent) {
        const bool top = TransparentType == 1 || TransparentType == 3;
        const bool left = TransparentType == 1 || TransparentType == 2;
        const uint8_t k = MemRow(idx.Img, top ? uint32_t(h - 1) : 0)[left ? 0 : w - 1];
        if (k != 0) {
            for (uint32_t y = 0; y < h; ++y) {
                uint8_t* o = MemRow(idx.Img, y);
                for (uint64_t x = 0; x < w; ++x)
                    o[x] = o[x] == k ? 0 : o[x] == 0 ? k : o[x];
            }
            for (int c = 0; c < 3; ++c)
                std::swap(palette[c], palette[k * 3 + c]);
        }
    }
    const bool fourBit = ColourCount <= 16;
    // Filter 0 as every palette PNG: prediction only costs bytes on indices.
    if (!WritePNG(OutputFile, idx.Img, 0, transparent, fourBit, Resolution, ColourCount, palette, ICCInfo,
                  S.PNG.CompressLevel, S))
        throw EVestroError(LoadResText(SPaletteSaveFailed));
}
