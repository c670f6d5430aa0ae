// Formats read through read_wic: TIFF (libtiff), GIF first frame (giflib),
// WebP (libwebp, with its ICCP chunk), HEIF and AVIF (libheif), and PNG
// through the library's own reader.
// Every decoder hands back a bottom-up picture of 1, 3 or 4 channels.
#include "kodex/KodexCommon.h"

#include <cstdarg>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <gif_lib.h>
#include <libheif/heif.h>
#include <tiffio.h>
#include <webp/decode.h>
#include <webp/demux.h>

namespace kodex {

namespace {

// Reverses the row order of Img in place (top-down <-> bottom-up).
void FlipRows(TImgInfo& Img)
{
    const size_t n = size_t(Img.Width) * Img.Channels;
    std::vector<uint8_t> tmp(n);
    for (uint32_t a = 0, b = Img.Height - 1; a < b; ++a, --b) {
        std::memcpy(tmp.data(), MemRow(Img, a), n);
        std::memcpy(MemRow(Img, a), MemRow(Img, b), n);
        std::memcpy(MemRow(Img, b), tmp.data(), n);
    }
}

// ---- TIFF -------------------------------------------------------------------

struct TMemFile {
    const uint8_t* Data;
    uint64_t Size, Pos;
};

tmsize_t TiffRead(thandle_t H, void* Buf, tmsize_t N)
{
    auto* f = static_cast<TMemFile*>(H);
    if (N <= 0 || f->Pos >= f->Size)
        return 0;
    const uint64_t n = std::min<uint64_t>(uint64_t(N), f->Size - f->Pos);
    std::memcpy(Buf, f->Data + f->Pos, n);
    f->Pos += n;
    return tmsize_t(n);
}
tmsize_t TiffWrite(thandle_t, void*, tmsize_t) { return 0; }
toff_t TiffSeek(thandle_t H, toff_t Off, int Whence)
{
    auto* f = static_cast<TMemFile*>(H);
    uint64_t base = Whence == SEEK_CUR ? f->Pos : Whence == SEEK_END ? f->Size : 0;
    if (Off > UINT64_MAX - base)
        return toff_t(-1);
    f->Pos = base + Off;
    return f->Pos;
}
int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t H) { return static_cast<TMemFile*>(H)->Size; }
// The file is in memory already: libtiff reads it in place. (Its own
// reading path also fails on uncompressed tiles.)
int TiffMap(thandle_t H, void** Base, toff_t* Size)
{
    auto* f = static_cast<TMemFile*>(H);
    *Base = const_cast<uint8_t*>(f->Data);
    *Size = f->Size;
    return 1;
}
void TiffUnmap(thandle_t, void*, toff_t) {}

int TiffError(TIFF*, void* User, const char* Module, const char* Fmt, va_list Ap)
{
    auto* msg = static_cast<std::string*>(User);
    if (msg->empty()) {
        char buf[256];
        std::vsnprintf(buf, sizeof buf, Fmt, Ap);
        *msg = std::string(Module ? Module : "TIFF") + ": " + buf;
    }
    return 1;
}
// Warnings are no reason to fail a file, except those of libjpeg inside
// libtiff: a cut or corrupt JPEG-compressed strip is only warned about, and
// what is missing is filled with gray.
int TiffWarning(TIFF*, void* User, const char* Module, const char* Fmt, va_list Ap)
{
    auto* damage = static_cast<std::string*>(User);
    if (!damage->empty() || !Module || std::strcmp(Module, "JPEGLib") != 0)
        return 1;
    char buf[256];
    std::vsnprintf(buf, sizeof buf, Fmt, Ap);
    if ((std::strstr(buf, "Premature end") || std::strstr(buf, "Corrupt JPEG data")) &&
        !std::strstr(buf, "extraneous bytes"))
        *damage = std::string("TIFF: ") + buf;
    return 1;
}

// True when every strip (or tile) of the picture has data inside the file
// and, uncompressed, all the bytes its rows need. libtiff only warns about
// such a file (and leaves what is missing gray), or fails it deep inside
// decoding with a message that hides why.
bool DataCoversPicture(TIFF* T, uint64_t FileSize, uint32_t Height, uint64_t& DataBytes)
{
    DataBytes = 0;
    const bool tiled = TIFFIsTiled(T) != 0;
    const uint32_t n = tiled ? TIFFNumberOfTiles(T) : TIFFNumberOfStrips(T);
    uint16_t compression = COMPRESSION_NONE;
    uint32_t rowsPerStrip = Height;
    TIFFGetFieldDefaulted(T, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(T, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    if (rowsPerStrip == 0 || rowsPerStrip > Height)
        rowsPerStrip = Height;
    const uint32_t perPlane = (Height + rowsPerStrip - 1) / rowsPerStrip;
    for (uint32_t i = 0; i < n; ++i) {
        int err = 0;
        const uint64_t off = TIFFGetStrileOffsetWithErr(T, i, &err);
        const uint64_t count = TIFFGetStrileByteCountWithErr(T, i, &err);
        if (err || count == 0 || off > FileSize || count > FileSize - off)
            return false;
        DataBytes += count;
        if (compression != COMPRESSION_NONE)
            continue;
        uint64_t need = 0;
        if (tiled) {
            need = uint64_t(TIFFTileSize64(T));
        } else {
            const uint32_t first = (i % perPlane) * rowsPerStrip;
            need = uint64_t(TIFFVStripSize64(T, std::min(rowsPerStrip, Height - first)));
        }
        if (count < need)
            return false;
    }
    return n > 0;
}

} // namespace

bool DecodeTIFF(const uint8_t* Data, size_t Size, TImgInfo& Img, TICCInfo* ICC)
{
    TMemFile mf{Data, Size, 0};
    std::string msg, damage;
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(opts, TiffError, &msg);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, TiffWarning, &damage);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t(1) << 33);
    TIFF* t = TIFFClientOpenExt("", "r", &mf, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap,
                                TiffUnmap, opts);
    TIFFOpenOptionsFree(opts);
    if (!t) {
        ReportError("", "%s", msg.empty() ? "Not a TIFF file" : msg.c_str());
        return false;
    }
    uint32_t w = 0, h = 0;
    uint16_t spp = 1, photometric = PHOTOMETRIC_RGB, extra = 0;
    uint16_t* extraInfo = nullptr;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(t, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extra, &extraInfo);
    uint16_t bits = 8, planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    const bool gray = (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) &&
                      spp == 1 && extra == 0;
    const uint32_t ch = gray ? 1 : extra > 0 ? 4 : 3;
    // 8-bit contiguous strips of RGB, RGBA (unassociated alpha) or gray are
    // read as stored: the RGBA interface would premultiply such alpha.
    const bool direct = !TIFFIsTiled(t) && bits == 8 && planar == PLANARCONFIG_CONTIG &&
                        ((photometric == PHOTOMETRIC_RGB && ((spp == 3 && extra == 0) || (spp == 4 && extra == 1))) ||
                         (photometric == PHOTOMETRIC_MINISBLACK && spp == 1 && extra == 0));
    // Everything else goes through libtiff's RGBA interface a strip (or a
    // row of tiles) at a time, into a raster of that many rows.
    uint32_t band = h;
    if (TIFFIsTiled(t))
        TIFFGetField(t, TIFFTAG_TILELENGTH, &band);
    else
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &band);
    band = std::max<uint32_t>(1, std::min(band, h));
    const uint64_t rasterBytes = direct ? 0 : uint64_t(w) * band * 4;

    bool ok = SizeAcceptable(w, h);
    if (!ok)
        ReportError("", "Unsupported TIFF picture size %ux%u", w, h);
    ok = ok && WithinBudget(ImageBytes(w, h, ch) + rasterBytes);
    uint64_t dataBytes = 0;
    if (ok && !DataCoversPicture(t, Size, h, dataBytes)) {
        ReportError("", "The TIFF file is damaged: its data does not cover the picture");
        ok = false;
    }
    // Fax coding of blank pages reaches tens of thousands of pixels a byte.
    // The samples per pixel and their depth multiply the decoder's strip
    // buffers: a few bytes claiming thousands of samples a pixel would have
    // libtiff ask for gigabytes. The stored rows must be as plausible as the
    // pixel count.
    if (ok) {
        const uint64_t rowBytes = (uint64_t(w) * spp * bits + 7) / 8;
        if (!PlausibleForSize(uint64_t(w) * h, dataBytes, 1u << 16) ||
            rowBytes > ((dataBytes << 16) + (uint64_t(1) << 24)) / h) {
            ReportError("", "Unsupported TIFF picture size %ux%u", w, h);
            ok = false;
        }
    }
    // Rows we keep hold straight (unassociated) alpha; premultiplied samples are divided back.
    const bool associated = extra > 0 && extraInfo && extraInfo[0] == EXTRASAMPLE_ASSOCALPHA;
    bool quiet = false; // cancelled, or NewImage said why
    uint32_t* raster = nullptr;
    if (ok && direct) {
        ok = NewImage(Img, w, h, ch);
        quiet = !ok;
        const tmsize_t line = TIFFScanlineSize(t);
        std::vector<uint8_t> buf;
        if (ok && line >= tmsize_t(uint64_t(w) * spp)) {
            buf.resize(size_t(line));
            for (uint32_t y = 0; ok && y < h; ++y) {
                ok = TIFFReadScanline(t, buf.data(), y, 0) >= 0 && !(quiet = Cancelled());
                uint8_t* d = ScanLine(Img, y);
                const uint8_t* s = buf.data();
                if (ch == 1)
                    std::memcpy(d, s, w);
                else
                    for (uint32_t x = 0; x < w; ++x, s += spp, d += ch) {
                        d[0] = s[2], d[1] = s[1], d[2] = s[0];
                        if (ch == 4) {
                            const uint32_t a = d[3] = s[3];
                            if (associated && a > 0 && a < 255)
                                for (int c = 0; c < 3; ++c)
                                    d[c] = uint8_t(std::min(255u, (d[c] * 255u + a / 2) / a));
                        }
                    }
            }
        } else {
            ok = false;
        }
        if (!ok && !quiet)
            ReportError("", "%s", msg.empty() ? "Cannot decode the TIFF picture" : msg.c_str());
    } else if (ok) {
        // The RGBA interface flips the raster from the file's orientation to
        // the requested one; the program turns the picture upright by the tag
        // itself, so ask for the corner that keeps the stored rows and
        // columns. Each band then comes bottom-up: raster row 0 is its last
        // stored row.
        static const uint16_t asStored[9] = {ORIENTATION_BOTLEFT,  ORIENTATION_BOTLEFT, ORIENTATION_BOTRIGHT,
                                             ORIENTATION_TOPRIGHT, ORIENTATION_TOPLEFT, ORIENTATION_BOTLEFT,
                                             ORIENTATION_BOTRIGHT, ORIENTATION_TOPRIGHT, ORIENTATION_TOPLEFT};
        uint16_t orientation = ORIENTATION_TOPLEFT;
        TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
        ok = NewImage(Img, w, h, ch, rasterBytes);
        quiet = !ok;
        if (ok)
            raster = static_cast<uint32_t*>(_TIFFmalloc(tmsize_t(rasterBytes)));
        char emsg[1024] = {};
        TIFFRGBAImage rgba;
        bool begun = false;
        ok = ok && raster && TIFFRGBAImageOK(t, emsg) && (begun = TIFFRGBAImageBegin(&rgba, t, 1, emsg) != 0);
        if (begun)
            rgba.req_orientation = asStored[orientation <= 8 ? orientation : 0];
        // The interface hands back premultiplied colour samples whatever the
        // file holds, except for gray with alpha, which it passes as stored.
        const bool grayAlpha = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
        const bool premultiplied = extra > 0 && (associated || !grayAlpha);
        for (uint32_t r0 = 0; ok && r0 < h; r0 += band) {
            const uint32_t n = std::min(band, h - r0);
            rgba.row_offset = int(r0);
            rgba.col_offset = 0;
            ok = TIFFRGBAImageGet(&rgba, raster, w, n) && !(quiet = Cancelled());
            for (uint32_t j = 0; ok && j < n; ++j) {
                const uint32_t* s = raster + uint64_t(j) * w;
                uint8_t* d = MemRow(Img, h - r0 - n + j);
                for (uint32_t x = 0; x < w; ++x) {
                    const uint32_t p = s[x];
                    if (ch == 1) {
                        d[x] = uint8_t(TIFFGetR(p));
                        continue;
                    }
                    uint32_t b = TIFFGetB(p), g = TIFFGetG(p), r = TIFFGetR(p);
                    const uint32_t a = TIFFGetA(p);
                    if (premultiplied && a > 0 && a < 255) {
                        b = std::min(255u, (b * 255 + a / 2) / a);
                        g = std::min(255u, (g * 255 + a / 2) / a);
                        r = std::min(255u, (r * 255 + a / 2) / a);
                    }
                    d[x * ch] = uint8_t(b), d[x * ch + 1] = uint8_t(g), d[x * ch + 2] = uint8_t(r);
                    if (ch == 4)
                        d[x * ch + 3] = uint8_t(a);
                }
            }
        }
        if (begun)
            TIFFRGBAImageEnd(&rgba);
        if (!ok && !quiet)
            ReportError("", "%s", !msg.empty() ? msg.c_str() : emsg[0] ? emsg : "Cannot decode the TIFF picture");
    }
    if (ok && !damage.empty()) {
        ReportError("", "%s", damage.c_str());
        ok = false;
    }
    if (ok) {
        uint32_t len = 0;
        void* prof = nullptr;
        if (ICC && TIFFGetField(t, TIFFTAG_ICCPROFILE, &len, &prof) && prof && len)
            StoreICC(ICC, static_cast<const uint8_t*>(prof), len, "ICC Profile");
    } else {
        FreeImg(Img);
    }
    if (raster)
        _TIFFfree(raster);
    TIFFClose(t);
    return ok;
}

// ---- GIF --------------------------------------------------------------------

namespace {
int GifRead(GifFileType* G, GifByteType* Buf, int N)
{
    auto* f = static_cast<TMemFile*>(G->UserData);
    if (N <= 0 || f->Pos >= f->Size)
        return 0;
    const uint64_t n = std::min<uint64_t>(uint64_t(N), f->Size - f->Pos);
    std::memcpy(Buf, f->Data + f->Pos, n);
    f->Pos += n;
    return int(n);
}

struct TGifCloser {
    void operator()(GifFileType* G) const
    {
        int err = 0;
        DGifCloseFile(G, &err);
    }
};
} // namespace

// Bytes of a GIF's coded picture data: the LZW sub-blocks of its frames,
// without colour tables and extensions (comments cost nothing to add).
uint64_t GifImageBytes(const uint8_t* D, size_t N)
{
    auto skipBlocks = [&](size_t P, uint64_t* Sum) {
        while (P < N) {
            const size_t len = D[P++];
            if (len == 0)
                break;
            if (Sum)
                *Sum += std::min<uint64_t>(len, N - P);
            P += len;
        }
        return P;
    };
    if (N < 13)
        return 0;
    size_t p = 13;
    if (D[10] & 0x80)
        p += 3 * (size_t(2) << (D[10] & 7));
    uint64_t data = 0;
    while (p < N) {
        const uint8_t b = D[p++];
        if (b == 0x21 && p < N) { // extension: label, sub-blocks
            p = skipBlocks(p + 1, nullptr);
        } else if (b == 0x2C && p + 10 <= N) { // frame: descriptor, colours, code size, data
            const uint8_t f = D[p + 8];
            p += 9;
            if (f & 0x80)
                p += 3 * (size_t(2) << (f & 7));
            p = skipBlocks(p + 1, &data);
        } else {
            break;
        }
    }
    return data;
}

bool DecodeGIF(const uint8_t* Data, size_t Size, TImgInfo& Img)
{
    TMemFile mf{Data, Size, 0};
    int err = 0;
    std::unique_ptr<GifFileType, TGifCloser> g(DGifOpen(&mf, GifRead, &err));
    if (!g) {
        ReportError("", "%s", GifErrorString(err) ? GifErrorString(err) : "Not a GIF file");
        return false;
    }
    auto fail = [&](const char* Why) {
        const char* s = g->Error ? GifErrorString(g->Error) : nullptr;
        ReportError("", "%s", s ? s : Why);
        FreeImg(Img);
        return false;
    };
    int transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(g.get(), &type) == GIF_ERROR)
            return fail("Damaged GIF file");
        if (type == TERMINATE_RECORD_TYPE)
            return fail("The GIF file holds no picture");
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(g.get(), &code, &ext) == GIF_ERROR)
                return fail("Damaged GIF file");
            if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4 && (ext[1] & 1))
                transparent = ext[4];
            while (ext)
                if (DGifGetExtensionNext(g.get(), &ext) == GIF_ERROR)
                    return fail("Damaged GIF file");
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE)
            continue;
        if (DGifGetImageDesc(g.get()) == GIF_ERROR)
            return fail("Damaged GIF file");
        const GifImageDesc& d = g->Image;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : g->SColorMap;
        if (!map || d.Width <= 0 || d.Height <= 0 || d.Left < 0 || d.Top < 0)
            return fail("Damaged GIF file");
        // The canvas is the logical screen; a frame reaching past it widens it.
        const uint64_t cw = std::max<uint64_t>(g->SWidth, uint64_t(d.Left) + d.Width);
        const uint64_t chh = std::max<uint64_t>(g->SHeight, uint64_t(d.Top) + d.Height);
        const uint32_t ch = transparent >= 0 ? 4 : 3;
        if (!WithinBudget(ImageBytes(cw, chh, ch)))
            return false;
        // LZW codes stand for at most 4096 pixels each.
        const uint64_t coded = GifImageBytes(Data, Size);
        if (!PlausibleForSize(cw * chh, coded, 4096) || !PlausibleForSize(uint64_t(d.Width) * d.Height, coded, 4096))
            return fail("Damaged GIF file");
        if (!NewImage(Img, cw, chh, ch))
            return false; // NewImage said why
        // The screen shows its background colour where no frame covers it; a
        // black one is what the fresh block holds already, untouched.
        const GifColorType* bg = ch == 3 && g->SColorMap && g->SBackGroundColor < g->SColorMap->ColorCount
                                     ? &g->SColorMap->Colors[g->SBackGroundColor]
                                     : nullptr;
        if (bg && (bg->Red | bg->Green | bg->Blue) != 0) {
            uint8_t* first = MemRow(Img, 0);
            for (uint32_t x = 0; x < Img.Width; ++x)
                first[x * 3] = bg->Blue, first[x * 3 + 1] = bg->Green, first[x * 3 + 2] = bg->Red;
            for (uint32_t y = 1; y < Img.Height; ++y)
                std::memcpy(MemRow(Img, y), first, size_t(Img.Width) * 3);
        }
        std::vector<GifPixelType> line(size_t(d.Width));
        static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        const int passes = d.Interlace ? 4 : 1;
        for (int p = 0; p < passes; ++p) {
            for (int y = d.Interlace ? start[p] : 0; y < d.Height; y += d.Interlace ? step[p] : 1) {
                if (DGifGetLine(g.get(), line.data(), d.Width) == GIF_ERROR)
                    return fail("Damaged GIF file");
                if (Cancelled()) {
                    FreeImg(Img);
                    return false;
                }
                uint8_t* row = ScanLine(Img, uint32_t(d.Top + y)) + size_t(d.Left) * ch;
                for (int x = 0; x < d.Width; ++x, row += ch) {
                    const int idx = line[size_t(x)];
                    if (idx == transparent)
                        continue;
                    if (idx < map->ColorCount) {
                        const GifColorType c = map->Colors[idx];
                        row[0] = c.Blue, row[1] = c.Green, row[2] = c.Red;
                    } else {
                        row[0] = row[1] = row[2] = 0;
                    }
                    if (ch == 4)
                        row[3] = 255;
                }
            }
        }
        return true;
    }
}

// ---- WebP -------------------------------------------------------------------

// Bytes of a WebP's coded picture data: its image, alpha and frame chunks,
// without metadata and unknown chunks (which cost nothing to add).
uint64_t WebPImageBytes(const uint8_t* D, size_t N)
{
    if (N < 12 || std::memcmp(D, "RIFF", 4) != 0)
        return N;
    uint64_t data = 0;
    for (size_t p = 12; p + 8 <= N;) {
        const uint64_t len = uint64_t(D[p + 4]) | uint64_t(D[p + 5]) << 8 | uint64_t(D[p + 6]) << 16 |
                             uint64_t(D[p + 7]) << 24;
        const uint64_t have = std::min<uint64_t>(len, N - p - 8);
        for (const char* id : {"VP8 ", "VP8L", "ALPH", "ANMF"})
            if (std::memcmp(D + p, id, 4) == 0)
                data += have;
        if (len > N - p - 8)
            break;
        p += 8 + size_t(len) + (len & 1);
    }
    return data;
}

bool DecodeWebP(const uint8_t* Data, size_t Size, TImgInfo& Img, TICCInfo* ICC)
{
    WebPBitstreamFeatures f;
    if (WebPGetFeatures(Data, Size, &f) != VP8_STATUS_OK) {
        ReportError("", "Not a WebP file");
        return false;
    }
    // An animation is composed on two canvases of the decoder's own before
    // the first frame is copied out.
    const uint64_t canvas = uint64_t(uint32_t(f.width)) * uint32_t(f.height) * 4;
    const uint32_t stillCh = f.has_alpha ? 4 : 3;
    if (!WithinBudget(f.has_animation ? ImageBytes(uint32_t(f.width), uint32_t(f.height), 4) + 2 * canvas
                                      : ImageBytes(uint32_t(f.width), uint32_t(f.height), stillCh)))
        return false;
    if (!PlausibleForSize(uint64_t(f.width) * uint32_t(f.height), WebPImageBytes(Data, Size), 1u << 16)) {
        ReportError("", "Damaged WebP file");
        return false;
    }
    WebPData wd{Data, Size};
    if (f.has_animation) {
        // The first frame, composed on the canvas.
        WebPAnimDecoderOptions o;
        WebPAnimDecoderOptionsInit(&o);
        o.color_mode = MODE_BGRA;
        o.use_threads = 0;
        WebPAnimDecoder* dec = WebPAnimDecoderNew(&wd, &o);
        WebPAnimInfo info;
        uint8_t* buf = nullptr;
        int ts = 0;
        bool ok = dec && WebPAnimDecoderGetInfo(dec, &info) && NewImage(Img, info.canvas_width, info.canvas_height, 4) &&
                  WebPAnimDecoderGetNext(dec, &buf, &ts) && buf;
        if (ok)
            for (uint32_t y = 0; y < Img.Height; ++y)
                std::memcpy(ScanLine(Img, y), buf + uint64_t(y) * Img.Width * 4, size_t(Img.Width) * 4);
        if (dec)
            WebPAnimDecoderDelete(dec);
        if (!ok) {
            FreeImg(Img);
            ReportError("", "Cannot decode the WebP animation");
            return false;
        }
    } else {
        const uint32_t ch = f.has_alpha ? 4 : 3;
        if (!NewImage(Img, uint32_t(f.width), uint32_t(f.height), ch))
            return false;
        // Decoded top-down straight into the block, then turned bottom-up.
        const size_t room = size_t(Img.Bpl) * BlockRows(Img.Height);
        const uint8_t* r = ch == 4 ? WebPDecodeBGRAInto(Data, Size, Img.Mem, room, int(Img.Bpl))
                                   : WebPDecodeBGRInto(Data, Size, Img.Mem, room, int(Img.Bpl));
        if (!r) {
            FreeImg(Img);
            ReportError("", "Cannot decode the WebP picture");
            return false;
        }
        FlipRows(Img);
    }
    if (ICC) {
        if (WebPDemuxer* dmx = WebPDemux(&wd)) {
            WebPChunkIterator it;
            if (WebPDemuxGetChunk(dmx, "ICCP", 1, &it)) {
                StoreICC(ICC, it.chunk.bytes, it.chunk.size, "ICC Profile");
                WebPDemuxReleaseChunkIterator(&it);
            }
            WebPDemuxDelete(dmx);
        }
    }
    return true;
}

// ---- HEIF / AVIF ------------------------------------------------------------

namespace {
void HeifInitOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

struct THeif {
    heif_context* Ctx = nullptr;
    heif_image_handle* Primary = nullptr;
    heif_image_handle* Thumb = nullptr;
    heif_image* Image = nullptr;
    ~THeif()
    {
        if (Image) heif_image_release(Image);
        if (Thumb) heif_image_handle_release(Thumb);
        if (Primary) heif_image_handle_release(Primary);
        if (Ctx) heif_context_free(Ctx);
    }
};
} // namespace

bool DecodeHEIF(const uint8_t* Data, size_t Size, TImgInfo& Img, TICCInfo* ICC, bool Thumbnail)
{
    HeifInitOnce();
    THeif h;
    h.Ctx = heif_context_alloc();
    if (!h.Ctx)
        return false;
    heif_error e = heif_context_read_from_memory_without_copy(h.Ctx, Data, Size, nullptr);
    if (e.code == heif_error_Ok)
        e = heif_context_get_primary_image_handle(h.Ctx, &h.Primary);
    if (e.code != heif_error_Ok) {
        ReportError("", "%s", e.message ? e.message : "Not a HEIF file");
        return false;
    }
    heif_image_handle* handle = h.Primary;
    if (Thumbnail) {
        heif_item_id id = 0;
        if (heif_image_handle_get_list_of_thumbnail_IDs(h.Primary, &id, 1) < 1 ||
            heif_image_handle_get_thumbnail(h.Primary, id, &h.Thumb).code != heif_error_Ok)
            return false; // no thumbnail: not worth a log line
        handle = h.Thumb;
    }
    const int hw = heif_image_handle_get_width(handle), hh = heif_image_handle_get_height(handle);
    if (hw <= 0 || hh <= 0 || !SizeAcceptable(uint32_t(hw), uint32_t(hh))) {
        ReportError("", "Unsupported HEIF picture size");
        return false;
    }
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    // libheif decodes into planes of its own (up to three samples and alpha a
    // pixel) and then into the interleaved picture that is copied out.
    const uint32_t outCh = alpha ? 4 : 3;
    if (!WithinBudget(ImageBytes(uint32_t(hw), uint32_t(hh), outCh) + uint64_t(hw) * uint32_t(hh) * (4 + outCh)))
        return false;
    e = heif_decode_image(handle, &h.Image, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr);
    if (e.code != heif_error_Ok) {
        ReportError("", "%s", e.message ? e.message : "Cannot decode the HEIF picture");
        return false;
    }
    int stride = 0;
    const uint8_t* p = heif_image_get_plane_readonly(h.Image, heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(h.Image, heif_channel_interleaved);
    const int ht = heif_image_get_height(h.Image, heif_channel_interleaved);
    const uint32_t ch = alpha ? 4 : 3;
    if (!p || w <= 0 || ht <= 0 || stride < w * int(ch) || !NewImage(Img, uint32_t(w), uint32_t(ht), ch)) {
        ReportError("", "Cannot decode the HEIF picture");
        return false;
    }
    for (uint32_t y = 0; y < Img.Height; ++y) {
        const uint8_t* s = p + uint64_t(y) * uint32_t(stride);
        uint8_t* d = ScanLine(Img, y);
        for (uint32_t x = 0; x < Img.Width; ++x, s += ch, d += ch) {
            d[0] = s[2], d[1] = s[1], d[2] = s[0];
            if (ch == 4)
                d[3] = s[3];
        }
    }
    if (ICC && !Thumbnail) {
        const size_t n = heif_image_handle_get_raw_color_profile_size(h.Primary);
        if (n > 0) {
            std::vector<uint8_t> prof(n);
            if (heif_image_handle_get_raw_color_profile(h.Primary, prof.data()).code == heif_error_Ok)
                StoreICC(ICC, prof.data(), n, "ICC Profile");
        }
    }
    return true;
}

// ---- Dispatch ---------------------------------------------------------------

namespace {
enum class TWicFormat { Unknown, TIFF, GIF, WebP, HEIF, PNG, JXR };

TWicFormat Sniff(const uint8_t* D, size_t N)
{
    if (N >= 4 && ((D[0] == 'I' && D[1] == 'I' && D[2] == 42 && D[3] == 0) ||
                   (D[0] == 'M' && D[1] == 'M' && D[2] == 0 && D[3] == 42)))
        return TWicFormat::TIFF;
    if (IsJXR(D, N))
        return TWicFormat::JXR;
    if (N >= 6 && std::memcmp(D, "GIF8", 4) == 0)
        return TWicFormat::GIF;
    if (N >= 12 && std::memcmp(D, "RIFF", 4) == 0 && std::memcmp(D + 8, "WEBP", 4) == 0)
        return TWicFormat::WebP;
    if (N >= 8 && std::memcmp(D, "\x89PNG\r\n\x1a\n", 8) == 0)
        return TWicFormat::PNG;
    if (N >= 12 && std::memcmp(D + 4, "ftyp", 4) == 0) {
        const heif_filetype_result r = heif_check_filetype(D, int(std::min<size_t>(N, 64)));
        if (r == heif_filetype_yes_supported || r == heif_filetype_maybe)
            return TWicFormat::HEIF;
    }
    return TWicFormat::Unknown;
}

// PNG through read_wic (the program's "use the imaging component for PNG"
// setting): the PNG reader's picture, gray with alpha widened to 4 channels,
// since read_wic hands back 1, 3 or 4.
bool DecodePNGForWic(const uint8_t* Data, size_t Size, TImgInfo& Img, TICCInfo* ICC)
{
    TKodexReadPNG rec{};
    rec.ICC = ICC;
    if (!read_png(&rec, Data, Size))
        return false;
    if (rec.Img.Channels != 2) {
        Img = rec.Img;
        return true;
    }
    const bool ok = NewImage(Img, rec.Img.Width, rec.Img.Height, 4);
    for (uint32_t y = 0; ok && y < Img.Height; ++y) {
        const uint8_t* s = MemRow(rec.Img, y);
        uint8_t* d = MemRow(Img, y);
        for (uint32_t x = 0; x < Img.Width; ++x, s += 2, d += 4) {
            d[0] = d[1] = d[2] = s[0];
            d[3] = s[1];
        }
    }
    FreeImg(rec.Img);
    return ok;
}

int ReadWic(TKodexReadWIC* Rec, const uint8_t* Data, size_t Size, bool Thumbnail)
{
    if (!Rec || !Data || Size == 0)
        return 0;
    Rec->Img = TImgInfo{};
    TImgInfo img{};
    bool ok = false;
    try {
        switch (Sniff(Data, Size)) {
        case TWicFormat::TIFF: ok = !Thumbnail && DecodeTIFF(Data, Size, img, Rec->ICC); break;
        case TWicFormat::GIF: ok = !Thumbnail && DecodeGIF(Data, Size, img); break;
        case TWicFormat::WebP: ok = !Thumbnail && DecodeWebP(Data, Size, img, Rec->ICC); break;
        case TWicFormat::HEIF: ok = DecodeHEIF(Data, Size, img, Rec->ICC, Thumbnail); break;
        case TWicFormat::PNG: ok = !Thumbnail && DecodePNGForWic(Data, Size, img, Rec->ICC); break;
        case TWicFormat::JXR: ok = !Thumbnail && DecodeJXR(Data, Size, img, Rec->ICC); break;
        default:
            if (!Thumbnail)
                ReportError("", "Unknown format");
        }
    } catch (...) { // std::bad_alloc from a work vector
        ReportError("", "Out of memory");
        ok = false;
    }
    if (!ok) {
        FreeImg(img);
        if (Rec->ICC)
            FreeICC(*Rec->ICC);
        return 0;
    }
    Rec->Img = img;
    return 1;
}
} // namespace

namespace {
void TakeExif(const TExifFacts& F, TKodexInfo& Info)
{
    Info.HasExif = 1;
    Info.Orientation = F.Orientation;
    std::memcpy(Info.DateTime, F.DateTime, sizeof Info.DateTime);
    if (F.XResolution > 0 && F.YResolution > 0) {
        Info.XResolution = F.XResolution;
        Info.YResolution = F.YResolution;
    }
}
} // namespace

bool WicInfo(const uint8_t* Data, size_t Size, TKodexInfo& Info)
{
    TExifFacts f;
    switch (Sniff(Data, Size)) {
    case TWicFormat::TIFF:
        if (!ParseExif(Data, Size, f))
            return false;
        Info.Width = f.Width;
        Info.Height = f.Height;
        TakeExif(f, Info);
        Info.HasExif = f.HasExifIfd;
        return true;
    case TWicFormat::JXR:
        return JxrInfo(Data, Size, Info);
    case TWicFormat::GIF:
        if (Size < 10) // the logical screen size is bytes 6..9
            return false;
        Info.Width = uint32_t(Data[6] | Data[7] << 8);
        Info.Height = uint32_t(Data[8] | Data[9] << 8);
        return true;
    case TWicFormat::WebP: {
        WebPBitstreamFeatures wf;
        if (WebPGetFeatures(Data, Size, &wf) != VP8_STATUS_OK)
            return false;
        Info.Width = uint32_t(wf.width);
        Info.Height = uint32_t(wf.height);
        WebPData wd{Data, Size};
        if (WebPDemuxer* dmx = WebPDemux(&wd)) {
            WebPChunkIterator it;
            if (WebPDemuxGetChunk(dmx, "EXIF", 1, &it)) {
                if (ParseExifPayload(it.chunk.bytes, it.chunk.size, f))
                    TakeExif(f, Info);
                WebPDemuxReleaseChunkIterator(&it);
            }
            WebPDemuxDelete(dmx);
        }
        return true;
    }
    case TWicFormat::HEIF: {
        HeifInitOnce();
        THeif h;
        h.Ctx = heif_context_alloc();
        if (!h.Ctx || heif_context_read_from_memory_without_copy(h.Ctx, Data, Size, nullptr).code != heif_error_Ok ||
            heif_context_get_primary_image_handle(h.Ctx, &h.Primary).code != heif_error_Ok)
            return false;
        Info.Width = uint32_t(heif_image_handle_get_width(h.Primary));
        Info.Height = uint32_t(heif_image_handle_get_height(h.Primary));
        heif_item_id id = 0;
        if (heif_image_handle_get_list_of_metadata_block_IDs(h.Primary, "Exif", &id, 1) == 1) {
            const size_t n = heif_image_handle_get_metadata_size(h.Primary, id);
            if (n > 0 && n < (size_t(1) << 24)) {
                std::vector<uint8_t> buf(n);
                if (heif_image_handle_get_metadata(h.Primary, id, buf.data()).code == heif_error_Ok &&
                    ParseExifPayload(buf.data(), n, f))
                    TakeExif(f, Info);
            }
        }
        // The decoder applies the file's own rotation and mirroring; the EXIF
        // orientation beside them is informative only and must not turn the
        // picture a second time.
        if (Info.Orientation > 1)
            Info.Orientation = 1;
        return true;
    }
    default:
        return false;
    }
}

} // namespace kodex

KODEX_EXPORT int read_wic(TKodexReadWIC* Rec, const uint8_t* Data, size_t Size)
{
    return kodex::ReadWic(Rec, Data, Size, false);
}

KODEX_EXPORT int read_wic_thumbnail(TKodexReadWIC* Rec, const uint8_t* Data, size_t Size)
{
    return kodex::ReadWic(Rec, Data, Size, true);
}

KODEX_EXPORT int read_wic_preview(TKodexReadWIC* Rec, const uint8_t* Data, size_t Size)
{
    return kodex::ReadWic(Rec, Data, Size, false);
}

KODEX_EXPORT int enumextensions(TKodexExtensionCallback Callback)
{
    if (!Callback)
        return 0;
    kodex::HeifInitOnce();
    int n = 0;
    for (const char* e : {".tif", ".tiff", ".gif", ".webp"}) {
        Callback(e);
        ++n;
    }
    if (heif_have_decoder_for_format(heif_compression_HEVC))
        for (const char* e : {".heic", ".heif", ".hif"}) {
            Callback(e);
            ++n;
        }
    if (heif_have_decoder_for_format(heif_compression_AV1)) {
        Callback(".avif");
        ++n;
    }
    return n;
}
