#include "core/Bitmap.h"

#include "core/AlphaBlend.h"
#include "core/ErrorLog.h"
#include "core/Errors.h"
#include "core/ExactPalette.h"
#include "core/PictureMemory.h"
#include "core/RunSettings.h"
#include "core/ResourceText.h"
#include "core/SafeWrite.h"
#include "platform/FileMap.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <filesystem>
#include <fstream>

namespace {

constexpr const char SBitmapTruncated[] = "The BMP file is truncated";
constexpr const char SBitmapTooLarge[] = "a BMP file cannot hold more than 4 GiB";
// The file's size and its pixel data's size are 32-bit fields.
constexpr uint64_t MaxBitmapFileBytes = 0xFFFFFFFFu;

[[noreturn]] void Raise(const char* Text)
{
    throw EVestroError(LoadResText(Text));
}

[[noreturn]] void UnknownFormat()
{
    Raise(SUnknownFormat);
}

uint16_t Get16(const uint8_t* P)
{
    return uint16_t(P[0] | (P[1] << 8));
}
uint32_t Get32(const uint8_t* P)
{
    return P[0] | (P[1] << 8) | (P[2] << 16) | (uint32_t(P[3]) << 24);
}
void Put16(uint8_t* P, uint32_t V)
{
    P[0] = uint8_t(V);
    P[1] = uint8_t(V >> 8);
}
void Put32(uint8_t* P, uint32_t V)
{
    P[0] = uint8_t(V);
    P[1] = uint8_t(V >> 8);
    P[2] = uint8_t(V >> 16);
    P[3] = uint8_t(V >> 24);
}

// Bytes of one stored row: bits x width rounded up to whole 32-bit words.
uint64_t FileRowBytes(uint64_t Width, uint32_t Bits)
{
    return (Width * Bits + 31) / 32 * 4;
}

// Memory row that file row R (in storage order) belongs to.
uint32_t TargetRow(const TBitmapLayout& L, uint64_t R)
{
    return L.TopDown ? uint32_t(L.Height - 1 - R) : uint32_t(R);
}

// One colour field of a bit-field pixel.
struct TField {
    uint32_t Mask = 0, Shift = 0, Width = 0;
    explicit TField(uint32_t M = 0) : Mask(M) { GetMaskShift(M, Shift, Width); }
    // The field scaled to 0..255; Empty is the value of a zero mask.
    uint8_t Get(uint32_t Pixel, uint8_t Empty) const
    {
        if (Mask == 0)
            return Empty;
        uint32_t v = (Pixel >> Shift) & (Mask >> Shift);
        if (Width < 8) {
            v <<= 8 - Width;
            for (uint32_t w = Width; w < 8; w *= 2)
                v |= v >> w;
        } else {
            v >>= Width - 8;
        }
        return uint8_t(v);
    }
};

// Raises "picture too large" unless pictures of L's size with these channel
// counts, held at the same time, fit the picture memory budget.
void CheckBudget(const TBitmapLayout& L, std::initializer_list<uint32_t> Channels)
{
    uint64_t sum = 0;
    for (uint32_t ch : Channels) {
        const uint64_t bpl = CalcBpl(L.Width, ch), rows = BlockRows(L.Height);
        sum += rows > (UINT64_MAX / 2) / bpl ? UINT64_MAX / 2 : bpl * rows;
    }
    CheckPictureMemory(sum);
}

// Allocates Img with 3 or 4 channels and lets Decode fill a 4-channel (alpha)
// or 3-channel picture. With alpha and the flatten flag the picture is decoded
// into a temporary 4-channel block and flattened into the 3-channel result.
// Decode writes every pixel: the blocks need not come zeroed.
template <class F>
void DecodeWithAlpha(const TBitmapLayout& L, TImgInfo& Img, bool Alpha, uint32_t Flags, const TBGColor& Bg, F Decode)
{
    if (!Alpha || !(Flags & BMP_FLATTEN_ALPHA)) {
        CheckBudget(L, {Alpha ? 4u : 3u});
        AllocFilledImg(Img, L.Width, L.Height, Alpha ? 4 : 3);
        Decode(Img);
        return;
    }
    CheckBudget(L, {4u, 3u});
    TImgInfo tmp;
    AllocFilledImg(tmp, L.Width, L.Height, 4);
    Decode(tmp);
    try {
        AllocFilledImg(Img, L.Width, L.Height, 3);
    } catch (...) {
        FreeImg(tmp);
        throw;
    }
    FlattenAlphaProc(Img, tmp, Bg);
    FreeImg(tmp);
}

// Decodes bit-field pixels of BytesPerPixel (2 or 4) bytes by the general
// mask rule into Out (3 or 4 channels).
void DecodeFields(const TBitmapLayout& L, uint32_t BytesPerPixel, const uint32_t Masks[4], TImgInfo& Out)
{
    const TField r(Masks[0]), g(Masks[1]), b(Masks[2]), a(Masks[3]);
    const uint64_t rowBytes = FileRowBytes(L.Width, BytesPerPixel * 8);
    const uint32_t ch = Out.Channels;
    for (uint64_t y = 0; y < L.Height; ++y) {
        const uint8_t* s = L.Bits + y * rowBytes;
        uint8_t* d = MemRow(Out, TargetRow(L, y));
        for (uint32_t x = 0; x < L.Width; ++x, s += BytesPerPixel, d += ch) {
            const uint32_t p = BytesPerPixel == 2 ? Get16(s) : Get32(s);
            d[0] = b.Get(p, 0);
            d[1] = g.Get(p, 0);
            d[2] = r.Get(p, 0);
            if (ch == 4)
                d[3] = a.Get(p, 255);
        }
    }
}

// Run-length data (RLE8 with 8 bits, RLE4 with 4 bits) drawn through Put(x,
// file row, index). Pixels outside the picture are dropped. Every step
// consumes input, so damaged data cannot loop. False when the data does not
// describe the whole picture: it ends (or reaches its end-of-picture mark)
// before the last row, or no row reaches the right edge (a width larger than
// the data, as a damaged or doctored header gives). Skipped pixels and rows
// cut short by an end of line are the format's own and stay as they were.
template <class P> bool DecodeRLE(const TBitmapLayout& L, P Put)
{
    const uint8_t* d = L.Bits;
    const uint64_t n = L.BitsSize;
    const bool four = L.Compression == BI_RLE4;
    uint64_t i = 0, x = 0, y = 0, widest = 0;
    bool ended = false; // the end-of-picture mark was read
    while (i + 1 < n && y < L.Height) {
        const uint32_t count = d[i], val = d[i + 1];
        i += 2;
        if (count > 0) {
            for (uint32_t k = 0; k < count && x < L.Width; ++k, ++x)
                Put(x, y, four ? ((k & 1) ? (val & 15) : (val >> 4)) : val);
            widest = std::max(widest, x);
            continue;
        }
        if (val == 0) { // end of line
            x = 0;
            ++y;
        } else if (val == 1) { // end of picture
            ended = true;
            break;
        } else if (val == 2) { // move right and up
            if (i + 1 >= n)
                break;
            x += d[i];
            y += d[i + 1];
            i += 2;
            widest = std::max(widest, std::min<uint64_t>(x, L.Width));
        } else { // val pixels stored as they are, padded to 16 bits
            const uint64_t bytes = four ? (val + 1) / 2 : val;
            if (i + bytes > n)
                break;
            for (uint32_t k = 0; k < val; ++k, ++x)
                if (x < L.Width)
                    Put(x, y, four ? ((k & 1) ? (d[i + k / 2] & 15) : (d[i + k / 2] >> 4)) : d[i + k]);
            i += bytes + (bytes & 1);
            widest = std::max(widest, std::min<uint64_t>(x, L.Width));
        }
    }
    const bool lastRowReached = y >= L.Height || (ended && y + 1 >= L.Height);
    return lastRowReached && widest >= L.Width;
}

// Whole-file reader shared by LoadBitmapFromMemory and LoadBitmapFromBuffer.
bool DecodeFile(const uint8_t* Data, uint64_t Size, TImgInfo& Img, uint32_t Flags, const TBGColor& Bg,
                int32_t AlphaCheckType)
{
    TBitmapLayout L;
    CheckBitmapFile(Data, Size, L);
    switch (L.BitCount) {
    case 1:
    case 4:
    case 8:
        return DecodeBitmapPalette(L, Img);
    case 16:
        return DecodeBitmap16(L, Img, Flags, Bg);
    case 24:
        return DecodeBitmap24(L, Img);
    case 32:
        return DecodeBitmap32(L, Img, Flags, Bg, AlphaCheckType);
    default:
        return false;
    }
}

// The whole file in a BMP layout: file header, information header, palette
// and rows. Palette holds PaletteEntries quadruples (or null); Row(y, dst)
// writes memory row y's RowBytes bytes.
template <class R>
bool BuildFile(std::vector<uint8_t>& Out, uint32_t Width, uint32_t Height, uint32_t Bits, uint32_t HeaderSize,
               const uint8_t* Palette, uint32_t PaletteEntries, uint32_t ImportantColors, const TResolutionInfo& Res,
               const TMetadataOption& Meta, R Row)
{
    const uint64_t rowBytes = FileRowBytes(Width, Bits);
    const uint64_t image = rowBytes * Height;
    const uint64_t dataOff = 14 + uint64_t(HeaderSize) + 4 * uint64_t(PaletteEntries);
    const uint64_t total = dataOff + image;
    if (Width == 0 || Height == 0)
        return false;
    if (total > MaxBitmapFileBytes) {
        // The header's 32-bit sizes cannot say more; the reason goes with
        // the writer's failure, before anything is allocated.
        ErrorLog.PutFileError("", LoadResText(SBitmapTooLarge));
        return false;
    }
    const size_t start = Out.size();
    Out.resize(start + total, 0);
    uint8_t* f = Out.data() + start;
    f[0] = 'B';
    f[1] = 'M';
    Put32(f + 2, uint32_t(total));
    Put32(f + 10, uint32_t(dataOff));
    uint8_t* h = f + 14;
    Put32(h + 0, HeaderSize);
    Put32(h + 4, Width);
    Put32(h + 8, Height);
    Put16(h + 12, 1);
    Put16(h + 14, Bits);
    Put32(h + 16, HeaderSize == 108 ? BI_BITFIELDS : BI_RGB);
    Put32(h + 20, uint32_t(image));
    int32_t px = 0, py = 0;
    BitmapPPM(Res, px, py, Meta);
    Put32(h + 24, uint32_t(px));
    Put32(h + 28, uint32_t(py));
    Put32(h + 32, PaletteEntries);
    Put32(h + 36, ImportantColors);
    if (HeaderSize == 108) {
        Put32(h + 40, 0x00FF0000);
        Put32(h + 44, 0x0000FF00);
        Put32(h + 48, 0x000000FF);
        Put32(h + 52, 0xFF000000);
        std::memcpy(h + 56, "BGRs", 4); // the standard sRGB colour space
        Put32(h + 96, 1);
        Put32(h + 100, 1);
        Put32(h + 104, 1);
    }
    if (Palette)
        std::memcpy(f + 14 + HeaderSize, Palette, 4 * size_t(PaletteEntries));
    uint8_t* d = f + dataOff;
    for (uint32_t y = 0; y < Height; ++y, d += rowBytes)
        Row(y, d);
    return true;
}

bool BuildImageFile(std::vector<uint8_t>& Out, const TImgInfo& Img, const TResolutionInfo& Res, bool V4Header,
                    const TMetadataOption& Meta)
{
    if (!Img.Mem || (Img.Channels != 1 && Img.Channels != 3 && Img.Channels != 4))
        return false;
    uint8_t gray[1024] = {};
    const bool isGray = Img.Channels == 1;
    if (isGray)
        for (int i = 0; i < 256; ++i)
            gray[4 * i] = gray[4 * i + 1] = gray[4 * i + 2] = uint8_t(i);
    const size_t rowUsed = size_t(Img.Width) * Img.Channels;
    return BuildFile(Out, Img.Width, Img.Height, 8 * Img.Channels, (Img.Channels == 4 && V4Header) ? 108 : 40,
                     isGray ? gray : nullptr, isGray ? 256 : 0, 0, Res, Meta,
                     [&](uint32_t y, uint8_t* d) { std::memcpy(d, MemRow(Img, y), rowUsed); });
}

} // namespace

void GetMaskShift(uint32_t Mask, uint32_t& Shift, uint32_t& Width)
{
    Shift = 0;
    Width = 0;
    if (Mask == 0)
        return; // no lowest set bit: the field reads as empty
    while (!((Mask >> Shift) & 1))
        ++Shift;
    for (uint32_t m = Mask >> Shift; m; m >>= 1)
        Width += m & 1;
}

void CheckBitmapInfo(const uint8_t* Info, uint64_t InfoSize, TBitmapLayout& L, const char* Short)
{
    L = TBitmapLayout{};
    if (!Info || InfoSize < 4)
        Raise(Short);
    L.HeaderSize = Get32(Info);
    if (L.HeaderSize < 40 || L.HeaderSize > 124)
        UnknownFormat();
    if (InfoSize < L.HeaderSize)
        Raise(Short);
    const int64_t w = int32_t(Get32(Info + 4));
    const int64_t h = int32_t(Get32(Info + 8));
    if (w <= 0 || h == 0)
        UnknownFormat();
    L.Width = uint32_t(w);
    L.Height = uint32_t(h < 0 ? -h : h);
    L.TopDown = h < 0;
    L.BitCount = Get16(Info + 14);
    L.Compression = Get32(Info + 16);
    const uint32_t used = Get32(Info + 32);
    const bool paletted = L.BitCount >= 1 && L.BitCount <= 8;
    L.DeclaredColors = used;
    if (used == 0)
        L.DeclaredColors = L.BitCount == 1 ? 2 : L.BitCount == 4 ? 16 : L.BitCount == 8 ? 256 : 0;
    L.PaletteOffset = L.HeaderSize;
    if (L.Compression == BI_BITFIELDS) {
        // The masks follow a 40-byte header; later headers hold them.
        if (InfoSize < 52)
            Raise(Short);
        if (L.HeaderSize < 52)
            L.PaletteOffset = 52;
        L.Masks[0] = Get32(Info + 40);
        L.Masks[1] = Get32(Info + 44);
        L.Masks[2] = Get32(Info + 48);
        if (L.HeaderSize >= 56)
            L.Masks[3] = Get32(Info + 52);
    }
    if (paletted) {
        // More entries than any index can reach would only be skipped, but a
        // count beyond 256 is a damaged header.
        if (L.DeclaredColors > 256)
            UnknownFormat();
        if (L.PaletteOffset + 4 * L.DeclaredColors > InfoSize)
            Raise(Short);
        L.Palette = Info + L.PaletteOffset;
        L.Colors = uint32_t(std::min<uint64_t>(L.DeclaredColors, uint64_t(1) << L.BitCount));
    }
}

void CheckBitmapBits(TBitmapLayout& L, const uint8_t* Bits, uint64_t Size, const char* Short)
{
    L.Bits = Bits;
    L.BitsSize = Size;
    if (!Bits || Size == 0)
        Raise(Short);
    if (L.Compression == BI_RLE8 || L.Compression == BI_RLE4) {
        // Run-length data is read with every step bounded, but a few bytes may
        // claim any size. A run covers at most 255 pixels per 2 bytes; allow far
        // more than that before refusing to commit gigabytes to a tiny file.
        if (uint64_t(L.Width) * L.Height > Size * 4096 + (uint64_t(1) << 24))
            UnknownFormat();
        return;
    }
    // The last row may lack its padding.
    const uint64_t bits = L.BitCount == 0 ? 1 : L.BitCount;
    const uint64_t need =
        FileRowBytes(L.Width, uint32_t(bits)) * (uint64_t(L.Height) - 1) + (uint64_t(L.Width) * bits + 7) / 8;
    if (need > Size)
        Raise(Short);
}

void CheckBitmapFile(const uint8_t* Data, uint64_t Size, TBitmapLayout& L)
{
    if (!Data || Size < 2 || Data[0] != 'B' || Data[1] != 'M')
        UnknownFormat();
    if (Size < 14)
        Raise(SBitmapTruncated);
    CheckBitmapInfo(Data + 14, Size - 14, L, SBitmapTruncated);
    // A size no reader takes is said as such before the data is counted: a
    // header that claims 60000 x 60000 pixels over a few bytes is too large,
    // whatever else is wrong with the file.
    if (!PictureSizeAcceptable(L.Width, L.Height))
        Raise(SPictureTooLarge);
    // Pixel data: where the file header says, or right after the palette (and
    // the three masks that follow a 40-byte header with bit fields).
    uint64_t off = Get32(Data + 10);
    if (off == 0) {
        off = 14 + L.HeaderSize + 4 * L.DeclaredColors;
        if (L.Compression == BI_BITFIELDS && L.HeaderSize == 40)
            off += 12;
    }
    if (off >= Size)
        Raise(SBitmapTruncated);
    CheckBitmapBits(L, Data + off, Size - off, SBitmapTruncated);
}

bool DecodeBitmapPalette(const TBitmapLayout& L, TImgInfo& Img)
{
    Img = TImgInfo{};
    const uint32_t bpp = L.BitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8)
        return false;
    const bool rle = (L.Compression == BI_RLE8 && bpp == 8) || (L.Compression == BI_RLE4 && bpp == 4);
    if (L.Compression != BI_RGB && !rle)
        return false;
    // Indices past the palette read as black, as the system's conversion does.
    uint8_t pal[256][3] = {};
    bool gray = true, ramp = true;
    for (uint32_t i = 0; i < L.Colors; ++i) {
        const uint8_t* p = L.Palette + 4 * i;
        pal[i][0] = p[0];
        pal[i][1] = p[1];
        pal[i][2] = p[2];
        gray = gray && p[0] == p[1] && p[1] == p[2];
        ramp = ramp && p[0] == i;
    }
    const uint64_t rowBytes = FileRowBytes(L.Width, bpp);
    if (!rle && bpp == 8 && gray && ramp && L.Colors == 256) {
        // The indices are the gray levels: copy the rows as they are. (A
        // shorter ramp leaves indices past its end black.)
        CheckBudget(L, {1u});
        AllocFilledImg(Img, L.Width, L.Height, 1);
        for (uint64_t y = 0; y < L.Height; ++y)
            std::memcpy(MemRow(Img, TargetRow(L, y)), L.Bits + y * rowBytes, L.Width);
        return true;
    }
    CheckBudget(L, {gray ? 1u : 3u});
    // Run-length data may skip pixels, which stay black; rows of indices
    // set every pixel.
    if (rle)
        AllocImg(Img, L.Width, L.Height, gray ? 1 : 3);
    else
        AllocFilledImg(Img, L.Width, L.Height, gray ? 1 : 3);
    auto put = [&](uint64_t x, uint64_t y, uint32_t idx) {
        uint8_t* d = MemRow(Img, TargetRow(L, y));
        if (gray) {
            d[x] = pal[idx][0];
        } else {
            d += 3 * x;
            d[0] = pal[idx][0];
            d[1] = pal[idx][1];
            d[2] = pal[idx][2];
        }
    };
    if (rle) {
        if (!DecodeRLE(L, put)) {
            FreeImg(Img);
            throw EVestroError(LoadResText(SLoadFailed));
        }
        return true;
    }
    const uint32_t perByte = 8 / bpp, mask = (1u << bpp) - 1;
    for (uint64_t y = 0; y < L.Height; ++y) {
        const uint8_t* s = L.Bits + y * rowBytes;
        for (uint64_t x = 0; x < L.Width; ++x) {
            const uint32_t shift = 8 - bpp * (uint32_t(x % perByte) + 1); // leftmost pixel in the high bits
            put(x, y, (s[x / perByte] >> shift) & mask);
        }
    }
    return true;
}

bool DecodeBitmap16(const TBitmapLayout& L, TImgInfo& Img, uint32_t Flags, const TBGColor& Background)
{
    Img = TImgInfo{};
    if (L.BitCount != 16)
        return false;
    uint32_t masks[4] = {0x7C00, 0x03E0, 0x001F, 0};
    if (L.Compression == BI_BITFIELDS)
        std::memcpy(masks, L.Masks, sizeof masks);
    else if (L.Compression != BI_RGB)
        return false;
    const bool alpha = L.Compression == BI_BITFIELDS && L.HeaderSize >= 56 && L.Masks[3] != 0;
    DecodeWithAlpha(L, Img, alpha, Flags, Background, [&](TImgInfo& Out) { DecodeFields(L, 2, masks, Out); });
    return true;
}

bool DecodeBitmap24(const TBitmapLayout& L, TImgInfo& Img)
{
    Img = TImgInfo{};
    if (L.BitCount != 24 || L.Compression != BI_RGB)
        return false;
    CheckBudget(L, {3u});
    AllocFilledImg(Img, L.Width, L.Height, 3);
    const uint64_t rowBytes = FileRowBytes(L.Width, 24);
    for (uint64_t y = 0; y < L.Height; ++y)
        std::memcpy(MemRow(Img, TargetRow(L, y)), L.Bits + y * rowBytes, size_t(L.Width) * 3);
    return true;
}

bool DecodeBitmap32(const TBitmapLayout& L, TImgInfo& Img, uint32_t Flags, const TBGColor& Background,
                    int32_t AlphaCheckType)
{
    Img = TImgInfo{};
    if (L.BitCount != 32)
        return false;
    const uint64_t rowBytes = FileRowBytes(L.Width, 32);
    uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    bool alpha = false;
    if (L.Compression == BI_RGB) {
        if (AlphaCheckType == 1) {
            alpha = true;
        } else if (AlphaCheckType == 0) {
            // Alpha unless every pixel has the same alpha and it is 0 or 255:
            // many writers leave the fourth byte unused.
            const uint8_t first = L.Bits[3];
            bool same = true;
            for (uint64_t y = 0; y < L.Height && same; ++y) {
                const uint8_t* s = L.Bits + y * rowBytes + 3;
                for (uint32_t x = 0; x < L.Width; ++x, s += 4)
                    if (*s != first) {
                        same = false;
                        break;
                    }
            }
            alpha = !same || (first != 0 && first != 255);
        }
    } else if (L.Compression == BI_BITFIELDS) {
        std::memcpy(masks, L.Masks, sizeof masks);
        alpha = L.HeaderSize >= 56 && L.Masks[3] != 0;
    } else {
        return false;
    }
    const bool plain = masks[0] == 0x00FF0000 && masks[1] == 0x0000FF00 && masks[2] == 0x000000FF &&
        (masks[3] == 0xFF000000 || !alpha);
    DecodeWithAlpha(L, Img, alpha, Flags, Background, [&](TImgInfo& Out) {
        if (!plain) {
            DecodeFields(L, 4, masks, Out);
            return;
        }
        // Blue, green, red, alpha bytes: the memory layout itself.
        for (uint64_t y = 0; y < L.Height; ++y) {
            const uint8_t* s = L.Bits + y * rowBytes;
            uint8_t* d = MemRow(Out, TargetRow(L, y));
            if (Out.Channels == 4) {
                std::memcpy(d, s, size_t(L.Width) * 4);
                continue;
            }
            for (uint32_t x = 0; x < L.Width; ++x, s += 4, d += 3) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
        }
    });
    return true;
}

bool LoadBitmapFromBuffer(const uint8_t* Data, uint64_t Size, TImgInfo& Img, uint32_t Flags, const TBGColor& Background,
                          int32_t AlphaCheckType)
{
    Img = TImgInfo{};
    if (!Data)
        UnknownFormat();
    return DecodeFile(Data, Size, Img, Flags, Background, AlphaCheckType);
}

bool LoadBitmapFromMemory(const std::string& FileName, TImgInfo& Img, uint32_t Flags, const TBGColor& Background,
                          int32_t AlphaCheckType)
{
    Img = TImgInfo{};
    // Mapped, not read: only the pages the decoder touches cost memory.
    platform::TMappedFile File;
    if (!File.Open(FileName))
        throw EVestroError(LoadResText(SLoadFailed));
    const bool R = DecodeFile(File.Data(), File.Size(), Img, Flags, Background, AlphaCheckType);
    if (File.Damaged()) { // cut short by another program while it was decoded
        FreeImg(Img);
        throw EVestroError(LoadResText(SLoadFailed));
    }
    return R;
}

void BitmapPPM(const TResolutionInfo& Resolution, int32_t& X, int32_t& Y, const TMetadataOption& Meta)
{
    if (Meta.KeepResolution) {
        ResolutionToPPM(X, Y, Resolution);
        return;
    }
    X = Y = int32_t((int64_t(Meta.Resolution) * 10000 + 127) / 254);
}

bool BitmapMayHold(uint64_t Width, uint64_t Height, uint32_t Channels, bool IndexColor)
{
    // What the writers make of each channel count at the least: gray with
    // its 8-bit palette, gray and alpha as BGRA, colour as a 1-bit palette
    // file at best, else 24 bits, BGRA as 32 bits.
    const uint32_t Bits = Channels == 1 ? 8 : Channels == 3 ? (IndexColor ? 1 : 24) : 32;
    if (Width == 0 || Height == 0)
        return true;
    if (Width > (uint64_t(1) << 32) || Height > (uint64_t(1) << 32))
        return false;
    const uint64_t RowBytes = FileRowBytes(Width, Bits);
    return RowBytes <= (MaxBitmapFileBytes - 54) / Height && 54 + RowBytes * Height <= MaxBitmapFileBytes;
}

std::string BitmapTooLargeText()
{
    return LoadResText(SBitmapTooLarge);
}

bool SaveBitmapToStream(std::vector<uint8_t>& Stream, const TImgInfo& Img, const TResolutionInfo& Resolution,
                        const TMetadataOption& Meta)
{
    return BuildImageFile(Stream, Img, Resolution, true, Meta);
}

bool SaveBitmapFile(const std::string& FileName, const TImgInfo& Img, const TResolutionInfo& Resolution,
                    const TRunSettings& S, TWriteMode Mode)
{
    std::vector<uint8_t> file;
    if (!BuildImageFile(file, Img, Resolution, S.Bitmap.AlphaBitmapHeaderType == 1, S.Metadata))
        return false;
    return WriteFileAtomically(FileName, file.data(), file.size(), false, Mode);
}

bool SavePaletteBitmap(const std::string& FileName, const TImgInfo& Img, const TResolutionInfo& Resolution,
                       const TRunSettings& S, uint32_t MinBits, TWriteMode Mode)
{
    if (Img.Channels != 3 || !Img.Mem)
        return false;
    TImgInfo index;
    TExactPalette pal;
    // The first pixel's colour is index 0; the others count from 1.
    if (!MakeExactPalette(Img, PixelColor(Img.Mem), index, pal))
        return false;
    const uint32_t n = pal.Count - 1;
    const uint32_t bits = std::max(n < 2 ? 1u : n < 16 ? 4u : 8u, MinBits > 4 ? 8u : MinBits > 1 ? 4u : 1u);
    const uint32_t entries = 1u << bits;
    uint8_t quads[1024] = {};
    for (uint32_t i = 0; i < pal.Count; ++i) {
        quads[4 * i] = pal.Colors[i][0];
        quads[4 * i + 1] = pal.Colors[i][1];
        quads[4 * i + 2] = pal.Colors[i][2];
    }
    std::vector<uint8_t> file;
    bool ok = false;
    try {
        ok = BuildFile(file, Img.Width, Img.Height, bits, 40, quads, entries, entries, Resolution, S.Metadata,
                       [&](uint32_t y, uint8_t* d) {
                           const uint8_t* s = MemRow(index, y);
                           const uint32_t perByte = 8 / bits;
                           if (bits == 8) {
                               std::memcpy(d, s, index.Width);
                               return;
                           }
                           // Leftmost pixel in the most significant bits.
                           for (uint32_t x = 0; x < index.Width; ++x)
                               d[x / perByte] |= uint8_t(s[x] << (8 - bits * (x % perByte + 1)));
                       });
    } catch (...) {
        FreeImg(index);
        throw;
    }
    FreeImg(index);
    return ok && WriteFileAtomically(FileName, file.data(), file.size(), false, Mode);
}
