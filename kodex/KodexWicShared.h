// What the read_wic decoders share: the in-memory file the libraries read
// from, and libheif's context, set up once.
#pragma once

#include <cstdint>

#include <libheif/heif.h>

namespace kodex {

struct TMemFile {
    const uint8_t* Data;
    uint64_t Size, Pos;
};

// Loads and initialises libheif before its first use; false when it cannot
// be loaded (reported when Report is set).
bool HeifReady(bool Report = true);

struct THeif {
    heif_context* Ctx = nullptr;
    heif_image_handle* Primary = nullptr;
    heif_image_handle* Thumb = nullptr;
    heif_image* Image = nullptr;
    ~THeif()
    {
        if (Image)
            heif_image_release(Image);
        if (Thumb)
            heif_image_handle_release(Thumb);
        if (Primary)
            heif_image_handle_release(Primary);
        if (Ctx)
            heif_context_free(Ctx);
    }
};

} // namespace kodex
