// The JPEG XR decoder, as a program of its own: the codec crashes or spins
// on some damaged files, and it runs here, started afresh for each picture
// (never a copy of the multithreaded program), so that it cannot take the
// program with it.
//
//   vestro-jxr-decode info|decode BUDGET SECONDS
//
// reads the file's bytes from standard input and writes the reply of
// kodex/KodexJxrReply.h to standard output: the picture's facts, then (decode)
// its rows and colour profile. BUDGET is the per-picture memory budget in
// bytes, SECONDS the wall-clock limit. 8- and 16-bit gray, RGB and RGBA are
// handed on as 1, 3 or 4 channels of 8 bits like every other reader's
// pictures; the other pixel formats the codec knows (half, fixed point, float,
// CMYK, RGBE, ...) go through the codec's own converter to 24-bit RGB, when it
// has one. It ends with status 0 after a complete reply.
#include "kodex/KodexCommon.h"
#include "kodex/KodexJxrReply.h"
#include "platform/Isolated.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// jxrlib's headers expect these two; its pkg-config file sets them too.
#ifndef __ANSI__
#define __ANSI__
#endif
#ifndef DISABLE_PERF_MEASUREMENT
#define DISABLE_PERF_MEASUREMENT
#endif
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-variable"
#include <JXRGlue.h>
#pragma GCC diagnostic pop
// The codec's headers define min and max as macros.
#undef min
#undef max

namespace kodex {

namespace {

// How a decoded row of the codec's native format becomes our pixels.
enum class TJxrLayout { Gray8, Gray16, BGR24, RGB24, BGRX32, BGRA32, PBGRA32, RGBA32, RGB48, RGBA64, Convert };

struct TJxrFormat {
    const PKPixelFormatGUID* Guid;
    TJxrLayout Layout;
    uint32_t BytesPerPixel, Channels;
};

const TJxrFormat JxrFormats[] = {
    {&GUID_PKPixelFormat8bppGray, TJxrLayout::Gray8, 1, 1},
    {&GUID_PKPixelFormat16bppGray, TJxrLayout::Gray16, 2, 1},
    {&GUID_PKPixelFormat24bppBGR, TJxrLayout::BGR24, 3, 3},
    {&GUID_PKPixelFormat24bppRGB, TJxrLayout::RGB24, 3, 3},
    {&GUID_PKPixelFormat32bppBGR, TJxrLayout::BGRX32, 4, 3},
    {&GUID_PKPixelFormat32bppBGRA, TJxrLayout::BGRA32, 4, 4},
    {&GUID_PKPixelFormat32bppPBGRA, TJxrLayout::PBGRA32, 4, 4},
    {&GUID_PKPixelFormat32bppRGBA, TJxrLayout::RGBA32, 4, 4},
    {&GUID_PKPixelFormat48bppRGB, TJxrLayout::RGB48, 6, 3},
    {&GUID_PKPixelFormat64bppRGBA, TJxrLayout::RGBA64, 8, 4},
};

// The decoder and its memory stream, released together. The decoder owns the
// stream once Initialize has taken it.
struct TJxrDecoder {
    PKImageDecode* Dec = nullptr;
    WMPStream* Stream = nullptr;
    PKFormatConverter* Conv = nullptr;
    ~TJxrDecoder()
    {
        if (Conv)
            Conv->Release(&Conv);
        if (Dec)
            Dec->Release(&Dec); // closes the stream it owns
        else if (Stream)
            CloseWS_Memory(&Stream);
    }
};

// Opens the picture's header; false (silently) when the codec refuses it.
bool OpenJxr(const uint8_t* Data, size_t Size, TJxrDecoder& D)
{
    // The memory stream only reads through this pointer.
    if (Failed(CreateWS_Memory(&D.Stream, const_cast<uint8_t*>(Data), Size)))
        return false;
    if (Failed(PKImageDecode_Create_WMP(&D.Dec)))
        return false;
    if (Failed(D.Dec->Initialize(D.Dec, D.Stream)))
        return false;
    D.Dec->fStreamOwner = TRUE;
    D.Stream = nullptr;
    // The alpha plane is decoded only when asked for; 2 is "colour and alpha".
    D.Dec->WMP.wmiSCP.uAlphaMode = D.Dec->WMP.bHasAlpha ? 2 : 0;
    return true;
}

inline uint8_t Hi(const uint8_t* P)
{
    return uint8_t((uint32_t(P[0] | P[1] << 8) * 255 + 32767) / 65535);
}

// Straight alpha from premultiplied, rounded.
inline uint8_t Unpremultiply(uint8_t C, uint8_t A)
{
    const uint32_t v = A == 0 ? 0 : (C * 255u + A / 2) / A;
    return uint8_t(v > 255 ? 255 : v);
}

void StoreRow(TJxrLayout L, const uint8_t* S, uint8_t* D, uint32_t Width)
{
    for (uint32_t x = 0; x < Width; ++x) {
        switch (L) {
        case TJxrLayout::Gray8:
            D[x] = S[x];
            break;
        case TJxrLayout::Gray16:
            D[x] = Hi(S + 2 * x);
            break;
        case TJxrLayout::BGR24:
            std::memcpy(D + 3 * x, S + 3 * x, 3);
            break;
        case TJxrLayout::RGB24:
        case TJxrLayout::Convert:
            D[3 * x] = S[3 * x + 2], D[3 * x + 1] = S[3 * x + 1], D[3 * x + 2] = S[3 * x];
            break;
        case TJxrLayout::BGRX32:
            std::memcpy(D + 3 * x, S + 4 * x, 3);
            break;
        case TJxrLayout::BGRA32:
            std::memcpy(D + 4 * x, S + 4 * x, 4);
            break;
        case TJxrLayout::PBGRA32: {
            const uint8_t* s = S + 4 * x;
            uint8_t* d = D + 4 * x;
            d[0] = Unpremultiply(s[0], s[3]), d[1] = Unpremultiply(s[1], s[3]), d[2] = Unpremultiply(s[2], s[3]);
            d[3] = s[3];
            break;
        }
        case TJxrLayout::RGBA32:
            D[4 * x] = S[4 * x + 2], D[4 * x + 1] = S[4 * x + 1], D[4 * x + 2] = S[4 * x], D[4 * x + 3] = S[4 * x + 3];
            break;
        case TJxrLayout::RGB48:
            D[3 * x] = Hi(S + 6 * x + 4), D[3 * x + 1] = Hi(S + 6 * x + 2), D[3 * x + 2] = Hi(S + 6 * x);
            break;
        case TJxrLayout::RGBA64:
            D[4 * x] = Hi(S + 8 * x + 4), D[4 * x + 1] = Hi(S + 8 * x + 2), D[4 * x + 2] = Hi(S + 8 * x);
            D[4 * x + 3] = Hi(S + 8 * x + 6);
            break;
        }
    }
}

int Refuse(int Fd, const char* Message)
{
    TJxrReply r{};
    r.Status = 1;
    std::snprintf(r.Message, sizeof r.Message, "%s", Message);
    WriteAll(Fd, &r, sizeof r);
    return 1;
}

// Decodes the picture (or only its header when HeaderOnly) and
// writes the reply, the rows and the profile to Fd.
int Decode(const uint8_t* Data, size_t Size, bool HeaderOnly, int Fd)
{
    TJxrDecoder d;
    I32 w = 0, h = 0;
    PKPixelFormatGUID pf;
    if (!OpenJxr(Data, Size, d) || Failed(d.Dec->GetSize(d.Dec, &w, &h)) || w <= 0 || h <= 0 ||
        Failed(d.Dec->GetPixelFormat(d.Dec, &pf)))
        return Refuse(Fd, "Cannot read the JPEG XR header");
    TJxrReply reply{};
    reply.Width = uint32_t(w);
    reply.Height = uint32_t(h);
    Float rx = 0, ry = 0;
    if (!Failed(d.Dec->GetResolution(d.Dec, &rx, &ry)) && rx > 0 && ry > 0 && rx < 1e6f && ry < 1e6f)
        reply.XResolution = rx, reply.YResolution = ry;
    if (HeaderOnly)
        return WriteAll(Fd, &reply, sizeof reply) ? 0 : 1;
    // The codec's memory stream hands out what is there and leaves the rest
    // of a read unfilled, so a file cut short would decode into blocks of
    // whatever the buffer held: the coded planes must lie within the file.
    // (The codec's own encoder stores the alpha plane's end where its length
    // belongs; that end must then lie within the file.)
    const WmpDEMisc& m = d.Dec->WMP.wmiDEMisc;
    const bool alphaCut = m.uAlphaByteCount > 0 && uint64_t(m.uAlphaOffset) + m.uAlphaByteCount > Size &&
        !(m.uAlphaByteCount > m.uAlphaOffset && m.uAlphaByteCount <= Size);
    if (uint64_t(m.uImageOffset) + m.uImageByteCount > Size || alphaCut)
        return Refuse(Fd, "Premature end of JPEG XR file");
    if (!SizeAcceptable(reply.Width, reply.Height))
        return Refuse(Fd, "Unsupported JPEG XR picture size");

    TJxrFormat fmt{nullptr, TJxrLayout::Convert, 3, 3};
    for (const TJxrFormat& f : JxrFormats)
        if (std::memcmp(&pf, f.Guid, sizeof pf) == 0)
            fmt = f;
    if (fmt.Layout == TJxrLayout::Convert &&
        (Failed(PKCodecFactory_CreateFormatConverter(&d.Conv)) ||
         Failed(d.Conv->Initialize(d.Conv, d.Dec, nullptr, GUID_PKPixelFormat24bppRGB))))
        return Refuse(Fd, "Unsupported JPEG XR pixel format");
    reply.Channels = fmt.Channels;
    // The same budget every reader keeps; the codec's own work memory is a
    // band of rows beside it.
    if (ImageBytes(reply.Width, reply.Height, fmt.Channels) > PictureBudget())
        return Refuse(Fd, "picture too large");

    std::vector<uint8_t> icc;
    U32 n = 0;
    if (!Failed(d.Dec->GetColorContext(d.Dec, nullptr, &n)) && n > 0 && n < (1u << 24)) {
        icc.resize(n);
        if (Failed(d.Dec->GetColorContext(d.Dec, icc.data(), &n)) || n != icc.size())
            icc.clear();
    }
    reply.IccLen = uint32_t(icc.size());

    // The codec decodes whole macroblock rows of 16 lines and may touch the
    // lines up to the next multiple of 16 and a few bytes past a row, so the
    // band buffer is padded on both counts.
    const uint64_t stride = (uint64_t(w) * fmt.BytesPerPixel + 15 + 128) & ~uint64_t(15);
    const uint32_t band = 128;
    std::vector<uint8_t> buf(size_t(stride) * (band + 16));
    std::vector<uint8_t> row(size_t(w) * fmt.Channels);
    bool replied = false;
    for (uint32_t y = 0; y < uint32_t(h); y += band) {
        const uint32_t rows = std::min<uint32_t>(band, uint32_t(h) - y);
        const PKRect r{0, I32(y), w, I32(rows)};
        const ERR e = d.Conv ? d.Conv->Copy(d.Conv, &r, buf.data(), U32(stride))
                             : d.Dec->Copy(d.Dec, &r, buf.data(), U32(stride));
        if (Failed(e))
            return replied ? 1 : Refuse(Fd, "The JPEG XR data is damaged");
        if (!replied && !WriteAll(Fd, &reply, sizeof reply))
            return 1;
        replied = true;
        for (uint32_t i = 0; i < rows; ++i) {
            StoreRow(fmt.Layout, buf.data() + i * stride, row.data(), uint32_t(w));
            if (!WriteAll(Fd, row.data(), row.size()))
                return 1;
        }
    }
    return WriteAll(Fd, icc.data(), icc.size()) ? 0 : 1;
}

} // namespace

} // namespace kodex

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    const bool headerOnly = std::strcmp(argv[1], "info") == 0;
    const uint64_t budget = std::strtoull(argv[2], nullptr, 10);
    platform::StartHelperLimits(unsigned(std::strtoul(argv[3], nullptr, 10)));
    set_picture_memory_limit(budget);
    std::vector<uint8_t> data;
    if (!platform::ReadWholeInput(0, data, uint64_t(1) << 32))
        platform::EndHelper(kodex::Refuse(1, "Cannot read the JPEG XR data"));
    platform::EndHelper(kodex::Decode(data.data(), data.size(), headerOnly, 1));
}
