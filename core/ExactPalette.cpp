#include "core/ExactPalette.h"

#include "core/Errors.h"
#include "platform/PageMemory.h"

#include <memory>

bool MakeExactPalette(const TImgInfo& Img, uint32_t KeyColor, TImgInfo& Index, TExactPalette& Palette)
{
    Index = TImgInfo{};
    Palette = TExactPalette{};
    if (Img.Channels != 3 || !Img.Mem || Img.Width == 0 || Img.Height == 0)
        return false;

    // One byte per 24-bit colour: 0 = no index yet, else the index (1..255).
    // The key colour never enters the map; it is compared directly.
    struct PageDeleter {
        void operator()(uint8_t* P) const { platform::PageFree(P); }
    };
    std::unique_ptr<uint8_t, PageDeleter> map(static_cast<uint8_t*>(platform::PageAlloc(1u << 24)));
    if (!map)
        throw EOutOfMemory();
    AllocImg(Index, Img.Width, Img.Height, 1);

    KeyColor &= 0xFFFFFF;
    Palette.Colors[0][0] = uint8_t(KeyColor);
    Palette.Colors[0][1] = uint8_t(KeyColor >> 8);
    Palette.Colors[0][2] = uint8_t(KeyColor >> 16);
    uint32_t next = 1;
    uint8_t* m = map.get();
    for (uint32_t y = 0; y < Img.Height; ++y) {
        const uint8_t* s = MemRow(Img, y);
        uint8_t* d = MemRow(Index, y);
        for (uint32_t x = 0; x < Img.Width; ++x, s += 3) {
            const uint32_t c = PixelColor(s);
            if (c == KeyColor) {
                d[x] = 0;
                continue;
            }
            uint8_t i = m[c];
            if (i == 0) {
                if (next > 255) {
                    FreeImg(Index);
                    Palette = TExactPalette{};
                    return false;
                }
                i = uint8_t(next++);
                m[c] = i;
                Palette.Colors[i][0] = s[0];
                Palette.Colors[i][1] = s[1];
                Palette.Colors[i][2] = s[2];
            }
            d[x] = i;
        }
    }
    Palette.Count = next;
    return true;
}
