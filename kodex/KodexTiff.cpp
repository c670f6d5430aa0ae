// TIFF through libtiff, read in place from memory.
#include "kodex/KodexCommon.h"
#include "kodex/KodexWicShared.h"
#include "platform/FileMap.h"

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
tmsize_t TiffWrite(thandle_t, void*, tmsize_t)
{
    return 0;
}
toff_t TiffSeek(thandle_t H, toff_t Off, int Whence)
{
    auto* f = static_cast<TMemFile*>(H);
    uint64_t base = Whence == SEEK_CUR ? f->Pos : Whence == SEEK_END ? f->Size : 0;
    if (Off > UINT64_MAX - base)
        return toff_t(-1);
    f->Pos = base + Off;
    return f->Pos;
}
int TiffClose(thandle_t)
{
    return 0;
}
toff_t TiffSize(thandle_t H)
{
    return static_cast<TMemFile*>(H)->Size;
}
// The file is in memory already: libtiff reads it in place. (Its own
// reading path also fails on uncompressed tiles.)
int TiffMap(thandle_t H, void** Base, toff_t* Size)
{
    auto* f = static_cast<TMemFile*>(H);
    *Base = const_cast<uint8_t*>(f->Data);
    *Size = f->Size;
    return 1;
}
void TiffUnmap(thandle_t, void*, toff_t)
{
}

// What libtiff said while a file was read. Until the rows are read, the
// first error is the reason a file cannot be opened (libtiff also reports
// errors it reads past, such as a tag of an unknown type). While the rows are
// read, an error or a warning that rows are missing is damage: libtiff's fax
// decoder reports a bad code word and goes on, filling row after row of
// whatever it makes of the rest, and a cut JPEG-compressed strip is only
// warned about and filled with gray. The decoding loops stop at the first.
struct TTiffSaid {
    std::string Error;  // the first error, before the rows
    std::string Damage; // the first damage, while the rows are read
    bool Reading = false;
};

int TiffError(TIFF*, void* User, const char* Module, const char* Fmt, va_list Ap)
{
    auto* said = static_cast<TTiffSaid*>(User);
    std::string& into = said->Reading ? said->Damage : said->Error;
    if (into.empty()) {
        char buf[256];
        std::vsnprintf(buf, sizeof buf, Fmt, Ap);
        into = std::string(Module ? Module : "TIFF") + ": " + buf;
    }
    return 1;
}
// Warnings are no reason to fail a file, except those that say the rows'
// data ran out: libjpeg's inside libtiff (a cut or corrupt JPEG-compressed
// strip) and the fax decoder's end of data.
int TiffWarning(TIFF*, void* User, const char* Module, const char* Fmt, va_list Ap)
{
    auto* said = static_cast<TTiffSaid*>(User);
    if (!said->Reading || !said->Damage.empty() || !Module)
        return 1;
    char buf[256];
    std::vsnprintf(buf, sizeof buf, Fmt, Ap);
    const bool jpeg = std::strcmp(Module, "JPEGLib") == 0 &&
        (std::strstr(buf, "Premature end") || std::strstr(buf, "Corrupt JPEG data")) &&
        !std::strstr(buf, "extraneous bytes");
    if (jpeg || std::strstr(buf, "Premature EOF"))
        said->Damage = std::string(jpeg ? "TIFF" : Module) + ": " + buf;
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

// Where the decoded rows go: the whole picture, or (Bands set) a block of a
// few rows handed to the caller each time the decoder is past it.
struct TTiffRows {
    TImgInfo Img{}; // the picture, or the band block
    TKodexReadJPEGBands* Bands = nullptr;
    uint32_t Top = 0; // picture row of the block's top row
    // Giving back the file's pages behind the decoder (Release): the strips
    // (or rows of tiles) of UnitRows rows each, UnitsAcross of them side by
    // side, that lie wholly above the rows handed over.
    TIFF* T = nullptr;
    const uint8_t* Data = nullptr;
    bool Release = false;
    uint32_t UnitRows = 1, UnitsAcross = 1, Units = 0, Released = 0;
    uint64_t RunEnd = 0, Cursor = 0; // the file bytes of the done units, given back up to Cursor

    // Picture row Y (top-down, at or below Top) of the block.
    uint8_t* Row(uint32_t Y) { return ScanLine(Img, Y - Top); }
    // Hands rows [Top, Upto) over; the block then starts at Upto. False
    // when the caller stopped.
    bool HandOver(uint32_t Upto)
    {
        if (!Bands || Upto == Top)
            return true;
        TImgInfo band = Img;
        band.Height = Upto - Top;
        band.Mem = ScanLine(Img, band.Height - 1);
        if (!Bands->Band(Bands->Context, &band, Top))
            return false;
        Top = Upto;
        if (Release) {
            const uint32_t done = std::min(Units, Upto / UnitRows * UnitsAcross);
            for (; Released < done; ++Released) {
                int err = 0;
                const uint64_t off = TIFFGetStrileOffsetWithErr(T, Released, &err);
                const uint64_t count = TIFFGetStrileByteCountWithErr(T, Released, &err);
                if (err)
                    continue;
                // Units lie one after the other in most files: each run of
                // them is given back as one range.
                if (off != RunEnd)
                    Cursor = off;
                RunEnd = off + count;
                Cursor = platform::ReleaseMappedPages(Data, Cursor, RunEnd);
            }
        }
        return true;
    }
};

// Decodes the first picture of the file into Rows: whole, or in bands.
bool DecodeTiff(const uint8_t* Data, size_t Size, TTiffRows& Rows, TICCInfo* ICC)
{
    if (!NeedLibrary(TLibrary::TIFF))
        return false;
    TMemFile mf{Data, Size, 0};
    TTiffSaid said;
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(opts, TiffError, &said);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, TiffWarning, &said);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t(1) << 33);
    TIFF* t =
        TIFFClientOpenExt("", "r", &mf, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap, TiffUnmap, opts);
    TIFFOpenOptionsFree(opts);
    if (!t) {
        ReportError("", "%s", said.Error.empty() ? "Not a TIFF file" : said.Error.c_str());
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
    const bool gray =
        (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) && spp == 1 && extra == 0;
    const uint32_t ch = gray ? 1 : extra > 0 ? 4 : 3;
    const bool tiled = TIFFIsTiled(t) != 0;
    // 8-bit contiguous strips of RGB, RGBA (unassociated alpha) or gray are
    // read as stored: the RGBA interface would premultiply such alpha.
    // Bilevel strips too, a row at a time: a scanned page is often one strip
    // of all its rows, which the RGBA interface would decode at once.
    const bool bilevel = gray && bits == 1;
    const bool direct = !tiled && planar == PLANARCONFIG_CONTIG &&
        (bilevel ||
         (bits == 8 &&
          ((photometric == PHOTOMETRIC_RGB && ((spp == 3 && extra == 0) || (spp == 4 && extra == 1))) ||
           (photometric == PHOTOMETRIC_MINISBLACK && spp == 1 && extra == 0))));
    // Everything else goes through libtiff's RGBA interface a strip (or a
    // row of tiles) at a time, into a raster of that many rows.
    uint32_t band = h;
    if (tiled)
        TIFFGetField(t, TIFFTAG_TILELENGTH, &band);
    else
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &band);
    band = std::max<uint32_t>(1, std::min(band, h));
    const uint64_t rasterBytes = direct ? 0 : uint64_t(w) * band * 4;
    // In bands the block holds a band of the raster, or a few stored rows.
    const uint32_t blockRows = !Rows.Bands ? h
        : direct                           ? std::min(std::max(Rows.Bands->BandRows, 1u), std::max(h, 1u))
                                           : band;

    bool ok = SizeAcceptable(w, h);
    if (!ok)
        ReportError("", "Unsupported TIFF picture size %ux%u", w, h);
    ok = ok && WithinBudget(ImageBytes(w, blockRows, ch) + rasterBytes);
    uint64_t dataBytes = 0;
    if (ok && !DataCoversPicture(t, Size, h, dataBytes)) {
        ReportError("", "The TIFF file is damaged: its data does not cover the picture");
        ok = false;
    }
    // Fax coding of blank pages reaches tens of thousands of pixels a byte:
    // two-dimensional coding spends as little as a bit on a row like the one
    // above, so a wide page reaches eight times its width.
    // The samples per pixel and their depth multiply the decoder's strip
    // buffers: a few bytes claiming thousands of samples a pixel would have
    // libtiff ask for gigabytes. The stored rows must be as plausible as the
    // pixel count.
    if (ok) {
        uint16_t compression = COMPRESSION_NONE;
        TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
        const bool fax = bilevel && (compression == COMPRESSION_CCITTFAX3 || compression == COMPRESSION_CCITTFAX4);
        const uint64_t perByte = std::max<uint64_t>(1u << 16, fax ? uint64_t(w) * 8 : 0);
        const uint64_t rowBytes = (uint64_t(w) * spp * bits + 7) / 8;
        if (!PlausibleForSize(uint64_t(w) * h, dataBytes, perByte) ||
            rowBytes > ((dataBytes << 16) + (uint64_t(1) << 24)) / h) {
            ReportError("", "Unsupported TIFF picture size %ux%u", w, h);
            ok = false;
        }
    }
    // Rows we keep hold straight (unassociated) alpha; premultiplied samples are divided back.
    const bool associated = extra > 0 && extraInfo && extraInfo[0] == EXTRASAMPLE_ASSOCALPHA;
    bool quiet = false; // cancelled, stopped by the caller, or NewImage said why
    if (ok) {
        ok = NewImage(Rows.Img, w, blockRows, ch, rasterBytes, Rows.Bands != nullptr);
        quiet = !ok;
    }
    if (ok && Rows.Bands) {
        Rows.Bands->Width = w;
        Rows.Bands->Height = h;
        Rows.Bands->Channels = ch;
        Rows.Bands->Held = uint64_t(Rows.Img.Bpl) * BlockRows(blockRows) + rasterBytes;
        ok = Rows.Bands->Band(Rows.Bands->Context, nullptr, 0) != 0;
        quiet = !ok;
        Rows.T = t;
        Rows.Data = Data;
        Rows.Release = (Rows.Bands->Flags & KODEX_PNG_RELEASE_INPUT) && planar == PLANARCONFIG_CONTIG;
        Rows.UnitRows = band;
        uint32_t tileWidth = w;
        if (tiled && (!TIFFGetField(t, TIFFTAG_TILEWIDTH, &tileWidth) || tileWidth == 0))
            tileWidth = w;
        Rows.UnitsAcross = tiled ? (w + tileWidth - 1) / tileWidth : 1;
        Rows.Units = tiled ? TIFFNumberOfTiles(t) : TIFFNumberOfStrips(t);
    }
    uint32_t* raster = nullptr;
    said.Reading = true;
    if (ok && direct) {
        const tmsize_t line = TIFFScanlineSize(t);
        std::vector<uint8_t> buf;
        // The bytes of a bilevel row as the RGBA interface gives them: 0 and 255, white where the file says.
        const uint8_t zero = photometric == PHOTOMETRIC_MINISWHITE ? 255 : 0;
        if (line >= tmsize_t((uint64_t(w) * spp * bits + 7) / 8)) {
            buf.resize(size_t(line));
            for (uint32_t y = 0; ok && y < h; ++y) {
                ok = TIFFReadScanline(t, buf.data(), y, 0) >= 0 && said.Damage.empty() && !(quiet = Cancelled());
                if (ok && y - Rows.Top == Rows.Img.Height)
                    ok = Rows.HandOver(y) || (quiet = true, false);
                if (!ok)
                    break;
                uint8_t* d = Rows.Row(y);
                const uint8_t* s = buf.data();
                if (bilevel)
                    for (uint32_t x = 0; x < w; ++x)
                        d[x] = (s[x >> 3] >> (7 - (x & 7)) & 1) ? uint8_t(~zero) : zero;
                else if (ch == 1)
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
            ReportError("", "%s", said.Damage.empty() ? "Cannot decode the TIFF picture" : said.Damage.c_str());
    } else if (ok) {
        // The RGBA interface flips the raster from the file's orientation to
        // the requested one; the program turns the picture upright by the tag
        // itself, so ask for the corner that keeps the stored rows and
        // columns. Each band then comes bottom-up: raster row 0 is its last
        // stored row.
        static const uint16_t asStored[9] = {ORIENTATION_BOTLEFT,  ORIENTATION_BOTLEFT,  ORIENTATION_BOTRIGHT,
                                             ORIENTATION_TOPRIGHT, ORIENTATION_TOPLEFT,  ORIENTATION_BOTLEFT,
                                             ORIENTATION_BOTRIGHT, ORIENTATION_TOPRIGHT, ORIENTATION_TOPLEFT};
        uint16_t orientation = ORIENTATION_TOPLEFT;
        TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
        raster = static_cast<uint32_t*>(_TIFFmalloc(tmsize_t(rasterBytes)));
        char emsg[1024] = {};
        TIFFRGBAImage rgba;
        bool begun = false;
        ok = raster && TIFFRGBAImageOK(t, emsg) && (begun = TIFFRGBAImageBegin(&rgba, t, 1, emsg) != 0);
        if (begun)
            rgba.req_orientation = asStored[orientation <= 8 ? orientation : 0];
        // The interface hands back premultiplied colour samples whatever the
        // file holds, except for gray with alpha, which it passes as stored.
        const bool grayAlpha = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
        const bool premultiplied = extra > 0 && (associated || !grayAlpha);
        for (uint32_t r0 = 0; ok && r0 < h; r0 += band) {
            if (!Rows.HandOver(r0)) {
                ok = false;
                quiet = true;
                break;
            }
            const uint32_t n = std::min(band, h - r0);
            rgba.row_offset = int(r0);
            rgba.col_offset = 0;
            ok = TIFFRGBAImageGet(&rgba, raster, w, n) && said.Damage.empty() && !(quiet = Cancelled());
            for (uint32_t j = 0; ok && j < n; ++j) {
                const uint32_t* s = raster + uint64_t(j) * w;
                uint8_t* d = Rows.Row(r0 + n - 1 - j);
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
            ReportError("", "%s",
                        !said.Damage.empty() ? said.Damage.c_str()
                            : emsg[0]        ? emsg
                                             : "Cannot decode the TIFF picture");
    }
    if (ok && !Rows.HandOver(h))
        ok = false, quiet = true;
    // Damage found in the last rows fails the file, after the bands were
    // handed over too: the caller throws away what it was given.
    if (ok && !said.Damage.empty()) {
        ReportError("", "%s", said.Damage.c_str());
        ok = false;
    }
    if (ok) {
        uint32_t len = 0;
        void* prof = nullptr;
        if (ICC && TIFFGetField(t, TIFFTAG_ICCPROFILE, &len, &prof) && prof && len)
            StoreICC(ICC, static_cast<const uint8_t*>(prof), len, "ICC Profile");
    }
    if (!ok || Rows.Bands)
        FreeImg(Rows.Img);
    if (raster)
        _TIFFfree(raster);
    TIFFClose(t);
    return ok;
}

} // namespace

bool DecodeTIFF(const uint8_t* Data, size_t Size, TImgInfo& Img, TICCInfo* ICC)
{
    TTiffRows rows;
    if (!DecodeTiff(Data, Size, rows, ICC))
        return false;
    Img = rows.Img;
    return true;
}

} // namespace kodex

KODEX_EXPORT int read_tiff_bands(TKodexReadJPEGBands* Rec, const uint8_t* Data, size_t Size)
{
    if (!Rec || !Rec->Band || !Data || Size < 4) {
        kodex::ReportError("", "Not a TIFF file");
        return 0;
    }
    kodex::TTiffRows rows;
    rows.Bands = Rec;
    const int r = kodex::DecodeTiff(Data, Size, rows, Rec->ICC) ? 1 : 0;
    Rec->Flags = 0; // out: nothing to report
    return r;
}
