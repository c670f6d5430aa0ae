// Helpers shared by the codec library's readers and writers (not exported).
#pragma once
#include "kodex/KodexApi.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kodex {

// Big-endian 16- and 32-bit values at P (the caller has checked the bytes).
inline uint16_t Be16(const uint8_t* P)
{
    return uint16_t(P[0] << 8 | P[1]);
}
inline uint32_t Be32(const uint8_t* P)
{
    return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3];
}

// Reports Message (printf form) for FileName ("" when unknown) through the
// installed error callback; does nothing when none is installed.
void ReportError(const char* FileName, const char* Fmt, ...) __attribute__((format(printf, 2, 3)));

// Largest picture the readers accept: 2^31 pixels and 2^16 rows or columns
// more than any codec here can describe. Keeps a damaged header from asking
// for absurd memory.
bool SizeAcceptable(uint64_t Width, uint64_t Height);

// False when a header claims far more pixels than DataBytes of coded picture
// data can describe at the best compression its format reaches
// (PixelsPerByte); the first 16 M pixels are always allowed. DataBytes
// counts only the picture's own data, never metadata or padding, which cost
// nothing to add. Keeps a few damaged bytes from committing gigabytes or
// spinning through an empty canvas.
inline bool PlausibleForSize(uint64_t Pixels, uint64_t DataBytes, uint64_t PixelsPerByte)
{
    return Pixels <= DataBytes * PixelsPerByte + (uint64_t(1) << 24);
}

// Bytes of the pixel block of a Width x Height x Channels picture (saturating).
uint64_t ImageBytes(uint64_t Width, uint64_t Height, uint32_t Channels);
// The per-picture memory budget (set_picture_memory_limit).
uint64_t PictureBudget();
// True when a picture may take Bytes while decoded; otherwise reports
// "picture too large" and returns false.
bool WithinBudget(uint64_t Bytes);
// The calling thread's cancel flag is set (set_cancel_flag).
bool Cancelled();

// Gives Img a new zeroed block (NewImgBlock); false (after reporting) when the
// size is refused, the block and Extra more bytes the decoder holds beside
// it exceed the budget, or the memory cannot be had. Never throws.
// RowsFilled: the decoder writes every pixel of every row before the block
// is read (or fails and frees it), so the block need not come zeroed.
bool NewImage(TImgInfo& Img, uint64_t Width, uint64_t Height, uint32_t Channels, uint64_t Extra = 0,
              bool RowsFilled = false);

// Copies Len profile bytes into a new page block held by ICC and fills its
// Name from the profile's description tag (else from Fallback). ICC may be
// null (nothing happens); false when the block cannot be had.
bool StoreICC(TICCInfo* ICC, const uint8_t* Data, uint64_t Len, const char* Fallback);

// Whether a profile of Len bytes at Profile describes pixels of Components
// colour channels: its header's colour space (bytes 16..19) is "GRAY" for 1,
// "RGB " for 3 and "CMYK" for 4. A profile shorter than its header has no
// colour space to go by and matches nothing. Header only: the program's own
// file rewriters decide by it too.
inline bool ProfileSpaceMatches(const uint8_t* Profile, uint64_t Len, uint32_t Components)
{
    if (!Profile || Len < 128)
        return false;
    const char* Space = Components == 1 ? "GRAY" : Components == 3 ? "RGB " : Components == 4 ? "CMYK" : nullptr;
    return Space && std::memcmp(Profile + 16, Space, 4) == 0;
}

// The profile to embed in an output whose pixels are gray (Gray) or RGB:
// ICC itself when its header's colour space (bytes 16..19, "GRAY" or "RGB ")
// is the output's, else null. A profile read from a CMYK file, or one left
// over from a picture an effect turned gray, would tell a colour-managed
// viewer to read the pixels as something they are not.
const TICCInfo* ProfileFor(const TICCInfo* ICC, bool Gray);

// True when Img is a usable picture with Channels in [MinCh, MaxCh].
bool ValidImage(const TImgInfo& Img, uint32_t MinCh, uint32_t MaxCh);

// Facts read from an EXIF TIFF structure (starting at its "II" or "MM").
struct TExifFacts {
    uint16_t Orientation = 0;
    char DateTime[20] = {};                  // DateTimeOriginal, else DateTime
    double XResolution = 0, YResolution = 0; // dots per inch, 0 unknown
    uint32_t Width = 0, Height = 0;          // IFD0 image size (TIFF files)
    bool HasExifIfd = false;
};
// Parses what it can; false when the block is not a TIFF structure. Every
// offset is checked against Len.
bool ParseExif(const uint8_t* Tiff, size_t Len, TExifFacts& Facts);

// Marks Info as having EXIF and takes its orientation, date and (when both
// are known) resolution from Facts.
void TakeExif(const TExifFacts& Facts, TKodexInfo& Info);

// Same as ParseExif for an APP1 payload or a container chunk that may start
// with "Exif\0\0" (or, as HEIF stores it, with a 4-byte offset first).
bool ParseExifPayload(const uint8_t* Data, size_t Len, TExifFacts& Facts);

// The format libraries loaded with the first picture that needs them
// (KodexLibs.cpp). NeedLibrary loads Lib once (thread-safe) and says whether
// it is there; when it is not, Report makes it report "Cannot load <soname>:
// <why>". Every reader calls it before its first call into the library.
enum class TLibrary { TIFF, WebP, HEIF };
bool NeedLibrary(TLibrary Lib, bool Report = true);

// Decoders of the container formats (KodexWic.cpp). Each fills Img (bottom-up)
// and ICC; false after reporting.
bool DecodeTIFF(const uint8_t* Data, size_t Size, TImgInfo& Img, TICCInfo* ICC);
bool DecodeGIF(const uint8_t* Data, size_t Size, TImgInfo& Img);
bool DecodeWebP(const uint8_t* Data, size_t Size, TImgInfo& Img, TICCInfo* ICC);
bool DecodeHEIF(const uint8_t* Data, size_t Size, TImgInfo& Img, TICCInfo* ICC, bool Thumbnail);
// JPEG XR (KodexJxr.cpp): the signature test, the decoder and the header facts.
bool IsJXR(const uint8_t* Data, size_t Size);
bool DecodeJXR(const uint8_t* Data, size_t Size, TImgInfo& Img, TICCInfo* ICC);
bool JxrInfo(const uint8_t* Data, size_t Size, TKodexInfo& Info);
// Header facts of a read_wic format (KodexWic.cpp); false when not one.
bool WicInfo(const uint8_t* Data, size_t Size, TKodexInfo& Info);

} // namespace kodex
