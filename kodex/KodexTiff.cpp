// TIFF through libtiff, read in place from memory.
#include "kodex/KodexCommon.h"
#include "kodex/KodexWicShared.h"

#include <cstdarg>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <vector>

#include <tiffio.h>

namespace kodex {

namespace {

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
    if (!NeedLibrary(TLibrary::TIFF))
        return false;
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

} // namespace kodex
