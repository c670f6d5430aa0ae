// HEIF and AVIF through libheif.
#include "kodex/KodexCommon.h"
#include "kodex/KodexWicShared.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
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

namespace {

// Reports libheif's message of E (it may end in a line break), else Fallback.
void ReportHeifError(const heif_error& E, const char* Fallback)
{
    std::string m = E.message ? E.message : "";
    while (!m.empty() && std::isspace(static_cast<unsigned char>(m.back())))
        m.pop_back();
    ReportError("", "%s", m.empty() ? Fallback : m.c_str());
}

// The largest width or height libheif may decode for a picture whose
// longer side is Side. A coded picture is rounded up to whole coding blocks
// (64 pixels at most), and libheif refuses a side equal to the limit. A
// grid's tile or a coded picture under a crop may be larger still, by up to
// a tile (kHeifTileSlack), as far as a square of that side fits the budget
// at the bytes a pixel libheif holds while it decodes one (its planes and
// the converted copy).
int HeifSideLimit(uint32_t Side)
{
    constexpr uint64_t kCodingBlock = 64, kHeifTileSlack = 1024, kHeifBytesPerPixel = 16;
    const uint64_t budgetSide = uint64_t(std::sqrt(double(PictureBudget() / kHeifBytesPerPixel)));
    const uint64_t limit = std::max<uint64_t>(Side + kCodingBlock + 1, std::min(Side + kHeifTileSlack, budgetSide));
    return int(std::min<uint64_t>(limit, INT32_MAX));
}

} // namespace

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
        ReportHeifError(e, "Not a HEIF file");
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
    // The images the picture is made of (a grid's tiles, the coded picture
    // under a crop, its alpha) may each be larger than the picture, but not
    // by much: a file of a few bytes showing a small picture cut from a huge
    // coded one would otherwise have libheif decode the huge one.
    heif_context_set_maximum_image_size_limit(h.Ctx, HeifSideLimit(uint32_t(std::max(hw, hh))));
    e = heif_decode_image(handle, &h.Image, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr);
    if (e.code != heif_error_Ok) {
        if (!Thumbnail) // else the picture itself is read, and says why it cannot be
            ReportHeifError(e, "Cannot decode the HEIF picture");
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
