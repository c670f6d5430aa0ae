// Fuzz target for the EXIF reader and the orientation reset (libFuzzer).
// Built with BUILD_FUZZ=ON and run by scripts/fuzz.
//
// The input is taken as an EXIF block and, wrapped in SOI + APP1, as a JPEG.
// Every position the reader hands out must lie inside the block.
#include <cstdlib>
#include <vector>

#include "core/ExifReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    if (Size > 65533)
        return 0;
    TImageInfo I;
    if (ParseExifBlock(Data, Size, 0, I)) {
        auto Inside = [&](uint32_t Pos, uint64_t Len) { return Pos == 0 || Pos + Len <= Size; };
        if (!Inside(I.FOrientationPos, 2) || !Inside(I.FSoftwarePos, I.FSoftwareLen) || !Inside(I.FSoftwareLenPos, 8) ||
            !Inside(I.FXResolutionPos, 8) || !Inside(I.FYResolutionPos, 8) || !Inside(I.FResolutionUnitPos, 2) ||
            !Inside(I.FXDimensionPos, 4) || !Inside(I.FYDimensionPos, 4) ||
            !Inside(I.FThumbnailOffset, I.FThumbnailSize) || !Inside(I.FThumbnailOrientationPos, 2) ||
            !Inside(I.FIFD0Pos, 2 + 12 * uint64_t(I.FIFD0Entry) + 4))
            std::abort();
    }
    std::vector<uint8_t> J = {0xFF, 0xD8, 0xFF, 0xE1, uint8_t((Size + 2) >> 8), uint8_t(Size + 2)};
    J.insert(J.end(), Data, Data + Size);
    J.insert(J.end(), {0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1, 1, 1, 0x11, 0, 0xFF, 0xD9});
    ResetExifOrientationInMemory(J.data(), J.size());
    return 0;
}
