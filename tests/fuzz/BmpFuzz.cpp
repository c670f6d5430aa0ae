// Any bytes given to the BMP reader end in a picture, false or one of the
// program's errors: never a crash, a hang or a leak.
#include "core/Bitmap.h"
#include "core/Errors.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    for (uint32_t flags : {0u, BMP_FLATTEN_ALPHA}) {
        TImgInfo img;
        try {
            LoadBitmapFromBuffer(Data, Size, img, flags, TBGColor{}, Settings.Bitmap.AlphaCheckType);
        } catch (const EVestroError&) {
        }
        FreeImg(img);
    }
    return 0;
}
