// Fuzz target for the codec library's decoders (built only with BUILD_FUZZ,
// by clang; scripts/fuzz runs it). The first byte picks the decoder and its
// options (0x20 with read_wic: the header probe instead); the rest is the file.
#include "kodex/KodexApi.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    if (Size < 2)
        return 0;
    const uint8_t sel = Data[0];
    ++Data;
    --Size;
    TICCInfo icc;
    switch (sel % 3) {
    case 0: {
        TKodexReadPNG rec{};
        rec.Flags = sel & 0x80 ? KODEX_PNG_FLATTEN : 0;
        rec.ICC = &icc;
        read_png(&rec, Data, Size);
        FreeImg(rec.Img);
        break;
    }
    case 1: {
        TKodexReadJPEG rec{};
        rec.Denominator = 1u << ((sel >> 2) & 3);
        rec.Flags = sel & 0x10 ? KODEX_JPEG_YCBCR : 0;
        rec.DCTMethod = sel & 0x20 ? 2 : 0;
        rec.ICC = &icc;
        read_jpeg(&rec, Data, Size);
        FreeImg(rec.Img);
        break;
    }
    default: {
        if (sel & 0x20) {
            // The header probe reads by path: the JPEG, PNG and TIFF/EXIF parsers.
            struct TProbeFile {
                std::string Path = "/dev/shm/kodex_fuzz_probe." + std::to_string(getpid());
                ~TProbeFile() { std::remove(Path.c_str()); }
            };
            static const TProbeFile probe;
            const std::string& path = probe.Path;
            if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
                std::fwrite(Data, 1, Size, f);
                std::fclose(f);
                TKodexInfo info{};
                read_wic_info(path.c_str(), &info);
            }
            break;
        }
        TKodexReadWIC rec{};
        rec.ICC = &icc;
        if (sel & 0x40)
            read_wic_thumbnail(&rec, Data, Size);
        else
            read_wic(&rec, Data, Size);
        FreeImg(rec.Img);
        break;
    }
    }
    FreeICC(icc);
    return 0;
}
