// The shared road from an input file to an output file: which format a name
// asks for, reading an input with the reader its probed format needs, and
// giving an output the source's file times.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "core/Global.h"
#include "core/ImageInfo.h"

class TResizer;

struct TJPEGOption;
struct TMetadataOption;
struct TRunSettings;

// Output format ids.
enum : int32_t { ofNone = 0, ofBMP = 1, ofJPEG = 2, ofPNG = 3 };

// Loader flag word. In: flatten alpha onto the background colour.
// Out: the source was gray with alpha (set by the PNG reader); the decoder
// warned about the file's data but decoded the whole picture (set by the JPEG
// reader: the source is the better copy and is never deleted or replaced).
enum : uint32_t { lfFlattenAlpha = 1, lfGrayAlpha = 0x20000, lfDecoderWarned = 0x80000 };

// The loader flag word for an output format: lfFlattenAlpha when the processor
// lacks SSE, the output is JPEG, the output is BMP without alpha support, or
// colour reduction cannot keep alpha (by S); else 0.
uint32_t LoaderFlags(int32_t OutFormat, const TRunSettings& S);

// Denominator for reduced-size JPEG decoding when the resize step scales by at
// most MaxScale (the larger of the two scales): doubled, up to [JPEG]
// DecodeWithDownScaling times, while 1 / (2 x s) still covers [JPEG]
// DownScalingLimit percent of the target; never more than 8 (the decoder's
// smallest size).
int32_t JPEGDecodeDenominator(double MaxScale, const TJPEGOption& JPEG);

// ".bmp" 1, ".jpg"/".jpeg" 2, ".png" 3, anything else 0 (letter case ignored).
int32_t FormatIdFromExt(const std::string& FileName);

// Reads Info's file into Img (a new block the caller owns) with the reader of
// its probed format. Flags receives the flag word (see LoaderFlags; the PNG
// reader may add lfGrayAlpha). A JPEG is decoded at 1/2, 1/4 or 1/8 size when
// AllowDownScale and the resize scale permit; CMYK JPEGs arrive as BGR.
// ICC, when not null, receives the profile (only for non-BMP outputs with
// [Metadata] KeepICCProfile). IsYCbCr in: YCbCr pixels are accepted; out: Img
// holds them. Returns 0 when the reader failed, else the decoding factor
// (1 at full size). Readers raise EVestroError for damaged files. Every
// setting named here comes from the run's Settings; alpha is flattened onto
// its Background.
int32_t LoadImageByType(const TImageInfo& Info, TImgInfo& Img, const TScale& Scale, bool AllowDownScale, TICCInfo* ICC,
                        bool& IsYCbCr, uint32_t& Flags, int32_t OutFormat, const TRunSettings& Settings);

// Reads Info's JPEG (or PNG, or TIFF) in bands of rows and resizes them as they arrive with
// Resizer, into Img (a new block the caller owns): the bytes LoadImageByType
// and a resize of its picture to the size NewSize makes of the decoded
// width and height (and the decoding factor) would give, in the memory of
// the result. Returns the decoding factor, 0 when the reader failed (NewSize
// and the resizer may raise), or -1, keeping nothing, for a picture this
// path does not take (CMYK, alpha, no change of size, a read_wic format
// other than TIFF): load it whole instead. Flags receives lfDecoderWarned as
// from LoadImageByType, else 0.
int32_t LoadJPEGResized(
    const TImageInfo& Info, TImgInfo& Img, const TScale& Scale, bool AllowDownScale, TICCInfo* ICC, uint32_t& Flags,
    int32_t OutFormat, TResizer& Resizer,
    const std::function<void(uint32_t& Width, uint32_t& Height, uint32_t Channels, int32_t Factor)>& NewSize,
    const TRunSettings& Settings);

// Gives OutputFile the source's last-write time when Meta.KeepLastWriteTime
// is on: in 1980..2107 as the source's local time cut to even seconds (the
// 2-second resolution the program has always kept), outside that range
// exactly. A creation time cannot be set on Linux and is left as the file
// system made it. Failures are ignored.
void RestoreFileTimes(const TImageInfo& Info, const std::string& OutputFile, const TMetadataOption& Meta);
