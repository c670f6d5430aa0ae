#include "KodexTestUtil.h"

#include "core/ErrorLog.h"

#include <cstdlib>

#include <png.h>
#include <tiffio.h>

std::vector<std::string> TakeErrors()
{
    std::vector<std::string> r = ErrorLog.Lines();
    ErrorLog.Clear();
    return r;
}

TImgInfo MakePicture(uint32_t W, uint32_t H, uint32_t Ch, bool Smooth)
{
    TImgInfo img;
    AllocImg(img, W, H, Ch);
    for (uint32_t y = 0; y < H; ++y) {
        uint8_t* r = ScanLine(img, y);
        for (uint32_t x = 0; x < W; ++x)
            for (uint32_t c = 0; c < Ch; ++c)
                r[x * Ch + c] = Smooth ? uint8_t((x * 255 / (W > 1 ? W - 1 : 1) + c * 60 + y) & 255)
                                       : uint8_t((x * 7 + y * 13 + c * 61) & 255);
    }
    return img;
}

int ReadPng(const std::string& File, TImgInfo& Img, TICCInfo* Icc)
{
    uint32_t flags = 0;
    TBGColor bg;
    return ReadPNGFile(File, Img, flags, Icc, bg);
}

int ReadJpeg(const std::string& File, TImgInfo& Img, TICCInfo* Icc, int32_t Den)
{
    bool ycc = false;
    return ReadJPEGFile(File, Img, Den, Icc, ycc, false, TakeRunSettings());
}

int ReadWicMem(const std::vector<uint8_t>& File, TImgInfo& Img)
{
    TKodexReadWIC rec{};
    const int r = KodexProcs.ReadWIC(&rec, File.data(), File.size());
    Img = rec.Img;
    return r;
}

void ForEachDamaged(const std::vector<uint8_t>& Good, size_t From, int Flips, uint32_t Seed,
                    const std::function<void(const std::vector<uint8_t>&)>& Read, int Rounds)
{
    std::mt19937 rng(Seed);
    for (int i = 0; i < Rounds; ++i) {
        std::vector<uint8_t> bad = Good;
        for (int k = 0; k < Flips; ++k)
            bad[From + rng() % (bad.size() - From)] ^= uint8_t(1 + rng() % 255);
        Read(bad);
    }
    TakeErrors();
}

void ExpectRefused(int Result, const TImgInfo& Img, const std::string& Text)
{
    EXPECT_EQ(std::make_tuple(Result, Img.Mem), std::make_tuple(0, nullptr));
    const std::vector<std::string> errs = TakeErrors();
    ASSERT_FALSE(errs.empty());
    EXPECT_NE(errs[0].find(Text), std::string::npos) << errs[0];
}

TKodexInfo InfoOf(const std::string& File)
{
    TKodexInfo info{};
    EXPECT_TRUE(ReadWICInfo(File, info)) << File;
    return info;
}

TIFF* OpenTiff(const std::string& F, uint32_t W, uint32_t H, uint16_t Bits, uint16_t Spp, uint16_t Photometric)
{
    TIFF* t = TIFFOpen(F.c_str(), "w");
    if (t) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, W);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, H);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, Bits);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, Spp);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, Photometric);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    }
    return t;
}

// Sets the LONG or SHORT value of tag Tag in the first IFD of a little-endian
// TIFF to Value, or with Halve to half of what it was.
void SetTiffTag(std::vector<uint8_t>& D, uint16_t Tag, uint32_t Value, bool Halve)
{
    auto u16 = [&](size_t p) { return uint32_t(D[p] | D[p + 1] << 8); };
    const size_t ifd = u16(4) | u16(6) << 16;
    for (uint32_t i = 0, n = u16(ifd); i < n; ++i) {
        const size_t e = ifd + 2 + 12 * i;
        if (u16(e) == Tag) {
            if (Halve)
                Value = (u16(e + 8) | u16(e + 10) << 16) / 2;
            for (int k = 0; k < 4; ++k)
                D[e + 8 + k] = u16(e + 2) == 3 && k >= 2 ? 0 : uint8_t(Value >> (8 * k));
            return;
        }
    }
    ADD_FAILURE() << "no tag " << Tag;
}

void ExpectProfile(TICCInfo& Icc, const std::vector<uint8_t>& Prof, const char* Name)
{
    EXPECT_TRUE(Icc.Len == Prof.size() && std::memcmp(Icc.Profile, Prof.data(), Prof.size()) == 0) << Icc.Len;
    EXPECT_STREQ(Icc.Name, Name);
    FreeICC(Icc);
}

TICCInfo ProfileBlock(const std::vector<uint8_t>& Prof)
{
    TICCInfo Icc;
    Icc.Profile = static_cast<uint8_t*>(platform::PageAlloc(Prof.size()));
    std::memcpy(Icc.Profile, Prof.data(), Prof.size());
    Icc.Len = uint32_t(Prof.size());
    return Icc;
}

std::vector<uint8_t> EncodePng(uint32_t W, uint32_t H, int Depth, int Type,
                               const std::function<const uint8_t*(uint32_t)>& Row, bool Interlaced,
                               const std::function<void(void*, void*)>& Extra)
{
    std::vector<uint8_t> out;
    png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop i = png_create_info_struct(p);
    png_set_write_fn(
        p, &out,
        [](png_structp P, png_bytep D, size_t N) {
            auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(P));
            v->insert(v->end(), D, D + N);
        },
        nullptr);
    png_set_IHDR(p, i, W, H, Depth, Type, Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (Extra)
        Extra(p, i);
    png_write_info(p, i);
    std::vector<png_bytep> rows(H);
    for (uint32_t y = 0; y < H; ++y)
        rows[y] = const_cast<png_bytep>(Row(y));
    png_write_image(p, rows.data());
    png_write_end(p, i);
    png_destroy_write_struct(&p, &i);
    return out;
}

// The HEVC encoder that makes the HEIF sample keeps one block for the life of
// the process; that is its affair, not a leak of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libx265\n";
}
