// Device-independent bitmap files: the reader of every depth and layout, the
// file and stream writers, and the palette writer.
//
// The decoders by depth are shared with the plug-in reader, which hands them a
// bitmap header, palette and bits that a plug-in produced; CheckBitmapInfo
// checks such a block exactly as the file reader checks a file.
#pragma once
#include "core/Global.h"
#include "core/ImgInfo.h"
#include "core/ResourceText.h"
#include "core/SafeWrite.h"

#include <cstdint>
#include <string>
#include <vector>

struct TRunSettings;

// Reader flag: flatten alpha onto the background colour, so that a picture
// with alpha comes back with 3 channels.
constexpr uint32_t BMP_FLATTEN_ALPHA = 1;

// Compression values of the information header.
enum : uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };

// A checked bitmap: header fields, palette and pixel bits. Pointers point into
// memory that the caller owns and keeps alive while decoding.
struct TBitmapLayout {
    uint32_t HeaderSize = 0; // 40 .. 124
    uint32_t Width = 0;      // >= 1
    uint32_t Height = 0;     // >= 1, absolute value of the header's height
    bool TopDown = false;    // the header's height was negative
    uint16_t BitCount = 0;
    uint32_t Compression = 0;
    uint32_t Masks[4] = {};           // red, green, blue, alpha (BI_BITFIELDS only; alpha
                                      // 0 unless the header is at least 56 bytes)
    const uint8_t* Palette = nullptr; // Colors entries of blue, green, red, reserved
    uint32_t Colors = 0;              // palette entries usable by the indices: <= 2^BitCount, <= 256
    const uint8_t* Bits = nullptr;
    uint64_t BitsSize = 0;       // bytes available at Bits
    uint64_t PaletteOffset = 0;  // from the header's start: where the palette (or, for a
                                 // 40-byte header with bit fields, the masks) begins
    uint64_t DeclaredColors = 0; // the header's colour count (or the depth's default)
};

// Checks the information block Info (header, then masks and palette) of
// InfoSize bytes and fills Layout (all but Bits and BitsSize). Raises
// EVestroError("Unknown format") when the header size is outside 40..124, the
// width or height is 0 or negative width, or the colour count is above 256
// for a palette depth; the translated Short when anything the header names
// lies outside the block.
void CheckBitmapInfo(const uint8_t* Info, uint64_t InfoSize, TBitmapLayout& Layout, const char* Short = SUnknownFormat);
// Sets the pixel bits and, for uncompressed data, checks that every row lies
// inside them (the last row may lack its padding). Raises "Unknown format"
// for run-length data that cannot describe the picture, Short when rows lie
// past the end.
void CheckBitmapBits(TBitmapLayout& Layout, const uint8_t* Bits, uint64_t Size, const char* Short = SUnknownFormat);
// Checks a whole BMP file of Size bytes as the reader and the list's probe
// do, and fills Layout. Raises "Unknown format" (not a BMP, or a header no
// BMP has), "The BMP file is truncated" (the file ends before its palette or
// its last row) or "picture too large" (a size no reader takes).
void CheckBitmapFile(const uint8_t* Data, uint64_t Size, TBitmapLayout& Layout);

// Reads a whole BMP file into a new image (Img must hold no block). True when
// a picture was decoded; false for a depth or compression this reader does not
// know (nothing allocated). Raises "Failed to load file" when the file cannot
// be read, what CheckBitmapFile raises for a damaged one, "picture too large"
// past the picture memory budget, EOutOfMemory.
// AlphaCheckType ([Bitmap], of the run): the fourth byte of a 32-bit picture
// is alpha 0 when it varies, 1 always, 2 never.
bool LoadBitmapFromMemory(const std::string& FileName, TImgInfo& Img, uint32_t Flags, const TBGColor& Background,
                          int32_t AlphaCheckType);
// The same on a file already in memory.
bool LoadBitmapFromBuffer(const uint8_t* Data, uint64_t Size, TImgInfo& Img, uint32_t Flags, const TBGColor& Background,
                          int32_t AlphaCheckType);

// The decoders by depth. Each fills Img (which must hold no block) and returns
// false, with nothing allocated, for a compression it does not know.
bool DecodeBitmapPalette(const TBitmapLayout& L, TImgInfo& Img);
bool DecodeBitmap16(const TBitmapLayout& L, TImgInfo& Img, uint32_t Flags, const TBGColor& Background);
bool DecodeBitmap24(const TBitmapLayout& L, TImgInfo& Img);
// AlphaCheckType as above (1 where the fourth byte is alpha regardless).
bool DecodeBitmap32(const TBitmapLayout& L, TImgInfo& Img, uint32_t Flags, const TBGColor& Background,
                    int32_t AlphaCheckType);
// Position of the mask's lowest set bit (Shift) and the number of set bits
// (Width). A zero mask gives 0 and 0.
void GetMaskShift(uint32_t Mask, uint32_t& Shift, uint32_t& Width);

// Pixels per metre written into BMP headers: Meta.Resolution in dpi, or the
// source's resolution when Meta.KeepResolution (unknown unit: 0 x 0).
void BitmapPPM(const TResolutionInfo& Resolution, int32_t& X, int32_t& Y, const TMetadataOption& Meta);

// Whether the BMP writers can hold a Width x Height picture of Channels (1 to
// 4) channels within the format's 32-bit sizes (4 GiB a file), counted at
// the smallest file they could make of it (a 1-bit palette file when
// IndexColor and 3 channels): false means every BMP of it is refused, so the
// picture need not be made first.
bool BitmapMayHold(uint64_t Width, uint64_t Height, uint32_t Channels, bool IndexColor);
// Why such a picture is refused, in the interface language.
std::string BitmapTooLargeText();

// The output writer: 1, 3 or 4 channels; a 4-channel image gets the 108-byte
// header when S's [Bitmap] AlphaBitmapHeaderType is 1; the density follows
// S's [Metadata]. Written to a temporary name and renamed into place. False
// when the image cannot be written; a file that would pass 4 GiB (the
// format's 32-bit sizes) is refused before anything is built, with the
// reason in the error log (the caller's TErrorCapture takes it).
bool SaveBitmapFile(const std::string& FileName, const TImgInfo& Img, const TResolutionInfo& Resolution,
                    const TRunSettings& S, TWriteMode Mode = TWriteMode::Replace);
// The same layout appended to Stream; 4 channels always get the 108-byte header.
bool SaveBitmapToStream(std::vector<uint8_t>& Stream, const TImgInfo& Img, const TResolutionInfo& Resolution,
                        const TMetadataOption& Meta);
// A 1, 4 or 8-bit palette file of a 3-channel picture (at least MinBits bits
// per pixel: 1, 4 or 8). False, with nothing written, when it has more than
// 256 colours (or the write failed).
bool SavePaletteBitmap(const std::string& FileName, const TImgInfo& Img, const TResolutionInfo& Resolution,
                       const TRunSettings& S, uint32_t MinBits = 1, TWriteMode Mode = TWriteMode::Replace);
