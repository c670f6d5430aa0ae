// The bridge to the codec library (bin/libkodex.so beside the program).
//
// Start-up calls LoadKodex once before any image work; the wrappers below
// read files into image records and write them out through the library's
// entries. Every wrapper returns the library's result (non-zero = success)
// and fills its output only on success. They may run on any worker thread.
// Settings come from the caller's run (S), never from the option records.
#pragma once
#include "core/RunSettings.h"
#include "core/SafeWrite.h"
#include "core/ImgInfo.h"
#include "kodex/KodexApi.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Title of the message box that start-up shows when LoadKodex fails.
inline constexpr const char* KodexLoadErrorTitle = "LoadLibrary Error";

// The library's entries, one process-wide set; null while not loaded or when
// the library lacks the export.
struct TKodexProcs {
    TKodexReadPNGProc ReadPNG = nullptr;
    TKodexReadJPEGProc ReadJPEG = nullptr;
    TKodexReadJPEGBandsProc ReadJPEGBands = nullptr;
    TKodexReadJPEGBandsProc ReadPNGBands = nullptr;
    TKodexReadJPEGBandsProc ReadTIFFBands = nullptr;
    TKodexReadWICProc ReadWIC = nullptr;
    TKodexReadWICProc ReadWICThumbnail = nullptr;
    TKodexReadWICProc ReadWICPreview = nullptr; // resolved, never called
    TKodexReadWICInfoProc ReadWICInfo = nullptr;
    TKodexWritePNGProc WritePNG = nullptr;
    TKodexWriteJPEGProc WriteJPEG = nullptr;
    TKodexWriteJPEGToMemoryProc WriteJPEGToMemory = nullptr;
    TKodexCreateExifProc CreateExif = nullptr;
    TKodexEnumExtensionsProc EnumExtensions = nullptr;
    TKodexSetErrorCallbackProc SetErrorMsgCallback = nullptr;
    TKodexSetPictureMemoryLimitProc SetPictureMemoryLimit = nullptr;
    TKodexSetCancelFlagProc SetCancelFlag = nullptr;
    TKodexSetPageReuseProc SetPageReuse = nullptr;
};
extern TKodexProcs KodexProcs;

// Loads ProgramFolder + "bin/libkodex.so" (ProgramFolder ends in "/"),
// resolves the entries, clears the cached extension list and installs
// KodexErrorCallback and the program's page reuse (platform::TPageReuse). False when the library cannot be loaded:
// ErrorText then holds the system's message, for a warning titled KodexLoadErrorTitle.
bool LoadKodex(const std::string& ProgramFolder, std::string& ErrorText);
// Frees the library when loaded and clears the entries and extension list.
void UnloadKodex();

// The callback installed into the library: adds FileName + ": " + Message to
// the error log. An empty FileName is replaced by the file that the calling
// thread is reading or writing through a wrapper. Runs on any thread.
void KodexErrorCallback(const char* FileName, const char* Message);

// Lets Flag stop the decodes that the calling thread runs through the
// library (a batch worker passes its run's cancel flag); null removes it.
void SetKodexCancelFlag(const std::atomic<bool>* Flag);
// Sets the calling thread's flag for its own lifetime.
struct TKodexCancelScope {
    explicit TKodexCancelScope(const std::atomic<bool>* Flag) { SetKodexCancelFlag(Flag); }
    ~TKodexCancelScope() { SetKodexCancelFlag(nullptr); }
    TKodexCancelScope(const TKodexCancelScope&) = delete;
    TKodexCancelScope& operator=(const TKodexCancelScope&) = delete;
};

// Readers. Each hands the library the picture memory budget first
// (PictureMemoryBudget): a picture that needs more fails with "picture too
// large". Flags bit 0 (in) = flatten alpha onto BackgroundColour.
// ReadPNGFile: gray+alpha files arrive as 4 channels (blue = green = red) and
// set 0x20000 in Flags; bit 16 says BackgroundColour is now the file's own.
int ReadPNGFile(const std::string& FileName, TImgInfo& Img, uint32_t& Flags, TICCInfo* ICCInfo,
                TBGColor& BackgroundColour);
// Denominator: 1, 2, 4 or 8 (reduced-size decoding). IsYCbCr in: YCbCr pixels
// are accepted; out: they are YCbCr. A 4-channel result is inverted CMYK.
// S: [JPEG] DCTMethod. Warned, when not null, receives whether the decoder
// warned about the file's data on the way to a whole picture
// (KODEX_JPEG_WARNED); a file it finds damaged fails.
int ReadJPEGFile(const std::string& FileName, TImgInfo& Img, int32_t& Denominator, TICCInfo* ICCInfo, bool& IsYCbCr,
                 bool PassFlag, const TRunSettings& S, bool* Warned = nullptr);
int ReadWICFile(const std::string& FileName, TImgInfo& Img, uint32_t Flags, TICCInfo* ICCInfo,
                const TBGColor& BackgroundColour);
int ReadWICThumbnail(const std::string& FileName, TImgInfo& Img, uint32_t Flags, TICCInfo* ICCInfo,
                     const TBGColor& BackgroundColour);
// Reads a JPEG file in bands of BandRows rows, each handed to Band as it is
// decoded (read_jpeg_bands); Rec's Denominator, DCT method and ICC are set
// here. A file that changed while it was read fails, and its profile is
// dropped. 0 on failure (a stop asked for by Band included).
int ReadJPEGFileBands(const std::string& FileName, TKodexReadJPEGBands& Rec, const TRunSettings& S);
// The same for a PNG file (read_png_bands).
int ReadPNGFileBands(const std::string& FileName, TKodexReadJPEGBands& Rec);
// The same for a TIFF file (read_tiff_bands); -1, reading nothing, when the
// file is not a TIFF (another format of read_wic).
int ReadTIFFFileBands(const std::string& FileName, TKodexReadJPEGBands& Rec);
int ReadJPEGFromMemory(const uint8_t* Data, size_t Size, TImgInfo& Img, const TRunSettings& S);
// Header probe (size, resolution in dpi, EXIF orientation and date).
int ReadWICInfo(const std::string& FileName, TKodexInfo& Info);

// Writers. Files are written to a new temporary name in the target folder and
// renamed over FileName only when the library succeeded, so a failed write
// leaves an existing file untouched (Mode NewFile: FileName is the caller's
// own new name, written in place and removed again on failure). Besides the arguments they follow S:
// [JPEG] DCTMethod and Progressive, [PNG] WritepHYsChunk, [Metadata]
// KeepResolution and Resolution.
// SampleType: 0 4:2:0, 1 4:2:2, 2 4:4:4, 3 4:1:1.
int WriteJPEG(const std::string& FileName, const TImgInfo& Img, int32_t Quality, const TResolutionInfo& Resolution,
              bool IsYCbCr, const TICCInfo* ICCInfo, const uint8_t* ExifData, uint32_t ExifSize, int32_t SampleType,
              int32_t Smoothing, const TRunSettings& S, TWriteMode Mode = TWriteMode::Replace);
// Size: capacity of Buffer on entry, bytes written on return. These two
// fail silently: a picture that does not fit is an expected answer, and the
// caller reports a final failure itself.
int WriteJPEGToMemory(uint8_t* Buffer, size_t& Size, const TImgInfo& Img, const TResolutionInfo& Resolution,
                      bool IsYCbCr, const TICCInfo* ICCInfo, const uint8_t* ExifData, uint32_t ExifSize,
                      int32_t SampleType, int32_t Smoothing, int32_t Quality, const TRunSettings& S);
// EXIF thumbnail: no profile, density or EXIF data.
int WriteThumbnailJPEG(uint8_t* Buffer, size_t& Size, const TImgInfo& Img, bool IsYCbCr, int32_t SampleType,
                       int32_t Smoothing, int32_t Quality, const TRunSettings& S);
// Palette: PaletteCount red, green, blue triplets (Img then holds one index
// byte per pixel), or null. Filter: libpng's filter flags or 0. Level 0..9.
int WritePNG(const std::string& FileName, const TImgInfo& Img, int32_t Filter, bool Transparent, bool FourBit,
             const TResolutionInfo& Resolution, int32_t PaletteCount, const uint8_t* Palette, const TICCInfo* ICCInfo,
             int32_t Level, const TRunSettings& S, TWriteMode Mode = TWriteMode::Replace);
// create_exif through the library (see KodexApi.h); false when not loaded.
bool CreateExif(const std::string& SrcFileName, const TKodexInfo& Info, const uint8_t* Thumb, uint32_t ThumbSize,
                uint8_t* Out, uint32_t Capacity, uint32_t& OutSize);

// Channel conversions of decoded pictures. Each replaces Img's block by a new
// one (stride by CalcBpl) and frees the old; raises EOutOfMemory, leaving Img
// unchanged, when the new block cannot be had.
// 2 channels (gray, alpha) -> 4 (gray in blue, green and red; alpha kept).
void ExpandGrayAlpha(TImgInfo& Img);
// The same; does nothing and returns false unless Img has 2 channels.
bool GrayAlphaToBGRA(TImgInfo& Img);
// 4 channels of inverted CMYK (255 = no ink) -> 3 channels: with t = x * k +
// 127 for each of the first three samples x, the byte is (t + t shr 8) shr 8;
// the first sample gives red, the second green, the third blue. Does nothing
// and returns false unless Img has 4 channels.
bool CMYKToBGR(TImgInfo& Img);

// Extensions that read_wic decodes, each followed by "," (".tif,.gif,..."),
// built on first use; empty when the library lacks the export.
std::string GetWICExtensions();
void WICExtensionCallback(const char* Extension);

// Reads the palette bitmap an external colour-reduction tool wrote and writes
// it as a palette PNG: the first ColourCount palette entries, the key colour
// of TransparentType (1 top-left, 2 bottom-left, 3 top-right, 4 bottom-right,
// else none) moved to index 0 and made transparent. Raises EVestroError
// ("Unknown format" for a file that is not such a bitmap, "Failed to load
// file" for a damaged one, "Failed to save file" when the PNG cannot be
// written), translated. The PNG is written with filter 0, as every palette
// PNG, and S's [PNG] CompressLevel.
void LoadPaletteBitmapFile(const std::string& SourceFile, const std::string& OutputFile, int32_t ColourCount,
                           const TResolutionInfo& Resolution, const TICCInfo* ICCInfo, int32_t TransparentType,
                           const TRunSettings& S);
