// The codec fuzz target's dispatch, shared by the libFuzzer target and the
// test that checks the seeds. An input's first byte picks the entry and its
// options; the rest is the file:
//   bits 0-1   0 read_png, 1 read_jpeg, 2 and 3 the read_wic family
//   read_png   0x80 flatten alpha
//   read_jpeg  bits 2-3 the scale (1/1 .. 1/8), 0x10 YCbCr output, 0x20 float DCT
//   read_wic   0x20 the header probe (read_wic_info, by path), else 0x40
//              read_wic_thumbnail, else read_wic
#pragma once
#include "kodex/KodexApi.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

struct TFuzzEntries {
    TKodexReadPNGProc ReadPNG;
    TKodexReadJPEGProc ReadJPEG;
    TKodexReadWICProc ReadWIC, ReadWICThumbnail;
    TKodexReadWICInfoProc ReadWICInfo;
};

// Runs one input through the entry its first byte picks; the entry's result
// (0 for an input too short to pick one).
inline int RunFuzzInput(const TFuzzEntries& E, const uint8_t* Data, size_t Size)
{
    if (Size < 2)
        return 0;
    const uint8_t sel = Data[0];
    ++Data;
    --Size;
    TICCInfo icc;
    int r = 0;
    switch (sel & 3) {
    case 0: {
        TKodexReadPNG rec{};
        rec.Flags = sel & 0x80 ? uint32_t(KODEX_PNG_FLATTEN) : 0u;
        rec.ICC = &icc;
        r = E.ReadPNG(&rec, Data, Size);
        FreeImg(rec.Img);
        break;
    }
    case 1: {
        TKodexReadJPEG rec{};
        rec.Denominator = 1u << ((sel >> 2) & 3);
        rec.Flags = sel & 0x10 ? uint32_t(KODEX_JPEG_YCBCR) : 0u;
        rec.DCTMethod = sel & 0x20 ? 2 : 0;
        rec.ICC = &icc;
        r = E.ReadJPEG(&rec, Data, Size);
        FreeImg(rec.Img);
        break;
    }
    default: {
        if (sel & 0x20) {
            // The header probe reads by path: the JPEG, PNG and TIFF/EXIF parsers.
            const std::string path = "/dev/shm/kodex_fuzz_probe." + std::to_string(getpid());
            if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
                std::fwrite(Data, 1, Size, f);
                std::fclose(f);
                TKodexInfo info{};
                r = E.ReadWICInfo(path.c_str(), &info);
                std::remove(path.c_str());
            }
            break;
        }
        TKodexReadWIC rec{};
        rec.ICC = &icc;
        r = (sel & 0x40) ? E.ReadWICThumbnail(&rec, Data, Size) : E.ReadWIC(&rec, Data, Size);
        FreeImg(rec.Img);
        break;
    }
    }
    FreeICC(icc);
    return r;
}
