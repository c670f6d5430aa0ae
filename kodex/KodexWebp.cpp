// WebP through libwebp, with its ICCP chunk.
#include "kodex/KodexCommon.h"
#include "kodex/KodexWicShared.h"

#include <cstring>
#include <vector>

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

} // namespace

// Bytes of a WebP's coded picture data: its image, alpha and frame chunks,
// without metadata and unknown chunks (which cost nothing to add).
uint64_t WebPImageBytes(const uint8_t* D, size_t N)
{
    if (N < 12 || std::memcmp(D, "RIFF", 4) != 0)
        return N;
    uint64_t data = 0;
    for (size_t p = 12; p + 8 <= N;) {
        const uint64_t len =
            uint64_t(D[p + 4]) | uint64_t(D[p + 5]) << 8 | uint64_t(D[p + 6]) << 16 | uint64_t(D[p + 7]) << 24;
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
    if (!NeedLibrary(TLibrary::WebP))
        return false;
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
    // A lossless picture of one colour takes a few bytes at any size, so a
    // file that claims more pixels than its data usually holds is not
    // damaged: it is refused for its size, before anything is allocated.
    if (!PlausibleForSize(uint64_t(f.width) * uint32_t(f.height), WebPImageBytes(Data, Size), 1u << 16)) {
        ReportError("", "picture too large: %d x %d pixels from %llu bytes", f.width, f.height,
                    static_cast<unsigned long long>(WebPImageBytes(Data, Size)));
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
        bool ok = dec && WebPAnimDecoderGetInfo(dec, &info) &&
            NewImage(Img, info.canvas_width, info.canvas_height, 4) && WebPAnimDecoderGetNext(dec, &buf, &ts) && buf;
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

} // namespace kodex
