// read_wic: recognises the container format and hands the file to its
// decoder (KodexTiff, KodexGif, KodexWebp, KodexHeif, or the library's own
// PNG reader), and reads each format's header facts.
// Every decoder hands back a bottom-up picture of 1, 3 or 4 channels.

#include "kodex/KodexCommon.h"
#include "kodex/KodexWicShared.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <webp/decode.h>
#include <webp/demux.h>

namespace kodex {

namespace {
enum class TWicFormat { Unknown, TIFF, GIF, WebP, HEIF, PNG, JXR };

TWicFormat Sniff(const uint8_t* D, size_t N)
{
    if (N >= 4 &&
        ((D[0] == 'I' && D[1] == 'I' && D[2] == 42 && D[3] == 0) ||
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
        if (!HeifReady(false))
            return TWicFormat::HEIF; // its reader says that the library is missing
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

// Thumbnails of formats without one of their own are the picture shrunk by
// a whole factor, averaging each factor x factor block (the blocks at the
// right and top edges may be cut short), so that the long side stays at
// least this many pixels; the caller brings it to its final size.
constexpr uint32_t kThumbnailLongSide = 160;

// Replaces Img by its box-averaged reduction; false when the smaller block
// cannot be had (Img is then kept).
bool ShrinkForThumbnail(TImgInfo& Img)
{
    const uint32_t f = std::max(Img.Width, Img.Height) / kThumbnailLongSide;
    if (f < 2)
        return true;
    TImgInfo small{};
    const uint32_t w = (Img.Width + f - 1) / f, h = (Img.Height + f - 1) / f, ch = Img.Channels;
    if (!NewImage(small, w, h, ch, 0, true))
        return false;
    std::vector<uint32_t> sum(size_t(w) * ch);
    for (uint32_t by = 0; by < h; ++by) {
        std::fill(sum.begin(), sum.end(), 0u);
        const uint32_t y0 = by * f, y1 = std::min(y0 + f, Img.Height);
        for (uint32_t y = y0; y < y1; ++y) {
            const uint8_t* s = MemRow(Img, y);
            for (uint32_t x = 0; x < Img.Width; ++x)
                for (uint32_t c = 0; c < ch; ++c)
                    sum[size_t(x / f) * ch + c] += s[size_t(x) * ch + c];
        }
        uint8_t* d = MemRow(small, by);
        for (uint32_t bx = 0; bx < w; ++bx) {
            const uint32_t n = (std::min((bx + 1) * f, Img.Width) - bx * f) * (y1 - y0);
            for (uint32_t c = 0; c < ch; ++c)
                d[size_t(bx) * ch + c] = uint8_t((sum[size_t(bx) * ch + c] + n / 2) / n);
        }
    }
    FreeImg(Img);
    Img = small;
    return true;
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
        case TWicFormat::TIFF:
            ok = DecodeTIFF(Data, Size, img, Rec->ICC);
            break;
        case TWicFormat::GIF:
            ok = DecodeGIF(Data, Size, img);
            break;
        case TWicFormat::WebP:
            ok = DecodeWebP(Data, Size, img, Rec->ICC);
            break;
        case TWicFormat::HEIF:
            // The file's own thumbnail when it has one, else the picture.
            ok = (Thumbnail && DecodeHEIF(Data, Size, img, Rec->ICC, true)) ||
                DecodeHEIF(Data, Size, img, Rec->ICC, false);
            break;
        case TWicFormat::PNG:
            ok = DecodePNGForWic(Data, Size, img, Rec->ICC);
            break;
        case TWicFormat::JXR:
            ok = DecodeJXR(Data, Size, img, Rec->ICC);
            break;
        default:
            if (!Thumbnail)
                ReportError("", "Unknown format");
        }
        if (ok && Thumbnail)
            ok = ShrinkForThumbnail(img);
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
        if (!NeedLibrary(TLibrary::WebP, false) || WebPGetFeatures(Data, Size, &wf) != VP8_STATUS_OK)
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
        THeif h;
        if (!HeifReady(false) || !(h.Ctx = heif_context_alloc()) ||
            heif_context_read_from_memory_without_copy(h.Ctx, Data, Size, nullptr).code != heif_error_Ok ||
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
    int n = 0;
    for (const char* e : {".tif", ".tiff", ".gif", ".webp"}) {
        Callback(e);
        ++n;
    }
    // Without libheif its files are still listed: their reader says why they cannot be read.
    const bool heif = kodex::HeifReady(false);
    if (!heif || heif_have_decoder_for_format(heif_compression_HEVC))
        for (const char* e : {".heic", ".heif", ".hif"}) {
            Callback(e);
            ++n;
        }
    if (!heif || heif_have_decoder_for_format(heif_compression_AV1)) {
        Callback(".avif");
        ++n;
    }
    return n;
}
