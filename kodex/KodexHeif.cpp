// HEIF and AVIF through libheif.
#include "kodex/KodexCommon.h"
#include "kodex/KodexWicShared.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace kodex {

bool HeifReady(bool Report)
{
    if (!NeedLibrary(TLibrary::HEIF, Report))
        return false;
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
    return true;
}

bool DecodeHEIF(const uint8_t* Data, size_t Size, TImgInfo& Img, TICCInfo* ICC, bool Thumbnail)
{
    if (!HeifReady())
        return false;
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

} // namespace kodex
