// Shared helpers of the codec tests: the loaded library, a scratch folder,
// collected error lines and small synthetic pictures.
#pragma once
#include "fuzz/KodexFuzzSeeds.h" // EncodeJpeg
#include "../core/FilesTestUtil.h"
#include "../core/ProfileTestUtil.h" // MakeProfile

#include <algorithm>
#include <cmath>
#include <mutex>

struct tiff;

// Error lines the library reported since the last call.
std::vector<std::string> TakeErrors();

// A fresh folder under the temporary folder, removed with the object.
struct TScratch : TTempDir {
    const std::filesystem::path Dir{Path};
    std::string operator/(const std::string& Name) const { return Path + Name; }
};

// A picture whose every byte differs from its neighbours: value at (x, y,
// channel c) = (x * 7 + y * 13 + c * 61) & 255, or a smooth ramp when Smooth.
TImgInfo MakePicture(uint32_t W, uint32_t H, uint32_t Ch, bool Smooth = false);
// A picture freed with the object.
struct TOwnedImg {
    TImgInfo Img;
    ~TOwnedImg() { FreeImg(Img); }
};

// Byte at top-down picture coordinates.
inline uint8_t At(const TImgInfo& Img, uint32_t X, uint32_t Y, uint32_t C)
{
    return ScanLine(Img, Y)[X * Img.Channels + C];
}

// A PNG coded in memory with libpng: Depth bits, colour Type, Row(y) the raw
// bytes of row y (top-down), Adam7-interlaced when asked; Extra (libpng's
// write and info structures) may add chunks before the header is written.
std::vector<uint8_t> EncodePng(uint32_t W, uint32_t H, int Depth, int Type,
                               const std::function<const uint8_t*(uint32_t)>& Row, bool Interlaced = false,
                               const std::function<void(void*, void*)>& Extra = {});

// The readers with their usual arguments: no flattening, full size, RGB out.
int ReadPng(const std::string& File, TImgInfo& Img, TICCInfo* Icc = nullptr);
int ReadJpeg(const std::string& File, TImgInfo& Img, TICCInfo* Icc = nullptr, int32_t Den = 1);
// read_wic on a file in memory.
int ReadWicMem(const std::vector<uint8_t>& File, TImgInfo& Img);
// Hands Read Rounds copies of Good, each with Flips bytes from From on
// changed at random (seeded by Seed): damaged files of every kind.
void ForEachDamaged(const std::vector<uint8_t>& Good, size_t From, int Flips, uint32_t Seed,
                    const std::function<void(const std::vector<uint8_t>&)>& Read, int Rounds = 200);
// A read that must fail: nothing handed out, and the first error line holds Text.
void ExpectRefused(int Result, const TImgInfo& Img, const std::string& Text = "");

// Collects a banded decode's bands top-down, checking each comes right below the last.
struct TBandSink {
    std::vector<uint8_t> Rows; // top-down, Width x Channels bytes a row
    uint32_t Next = 0, Bands = 0, StopAfter = UINT32_MAX;
    uint64_t Held = 0; // as told before the first band
    int TakeSize = 1;
    const TKodexReadJPEGBands* Rec = nullptr;
    bool InOrder = true;

    static int Take(void* Context, const TImgInfo* Band, uint32_t Top)
    {
        auto* s = static_cast<TBandSink*>(Context);
        if (!Band) { // the size, before any band
            s->InOrder = s->InOrder && s->Bands == 0 && s->Rec->Width && s->Rec->Height && s->Rec->Held;
            s->Held = s->Rec->Held;
            return s->TakeSize;
        }
        s->InOrder = s->InOrder && s->Held && Top == s->Next && Band->Width == s->Rec->Width &&
            Band->Channels == s->Rec->Channels && Top + Band->Height <= s->Rec->Height;
        const uint32_t rowBytes = Band->Width * Band->Channels;
        for (uint32_t y = 0; y < Band->Height; ++y)
            s->Rows.insert(s->Rows.end(), ScanLine(*Band, y), ScanLine(*Band, y) + rowBytes);
        s->Next = Top + Band->Height;
        return ++s->Bands < s->StopAfter;
    }
};

// A banded decode of File by Proc (read_jpeg_bands, read_png_bands) into Sink.
inline int ReadBandsWith(TKodexReadJPEGBandsProc Proc, const std::vector<uint8_t>& File, uint32_t Den,
                         uint32_t BandRows, TBandSink& Sink, uint32_t Flags = 0)
{
    TKodexReadJPEGBands rec{};
    rec.Denominator = Den;
    rec.Flags = Flags;
    rec.BandRows = BandRows;
    rec.Band = TBandSink::Take;
    rec.Context = &Sink;
    Sink.Rec = &rec;
    const int r = Proc(&rec, File.data(), File.size());
    Sink.Rec = nullptr;
    return r;
}

// The header probe's record of File (all zero when the probe fails).
TKodexInfo InfoOf(const std::string& File);

// Sets the LONG or SHORT value of tag Tag in the first IFD of a little-endian
// TIFF to Value, or with Halve to half of what it was.
void SetTiffTag(std::vector<uint8_t>& D, uint16_t Tag, uint32_t Value, bool Halve = false);

// Opens a contiguous TIFF of W x H for writing, with the fields every sample shares.
tiff* OpenTiff(const std::string& F, uint32_t W, uint32_t H, uint16_t Bits, uint16_t Spp, uint16_t Photometric);

// Icc, as a reader handed it out, holds Prof under the name Name; frees it.
void ExpectProfile(TICCInfo& Icc, const std::vector<uint8_t>& Prof, const char* Name);
// A profile record owning a copy of Prof, as the readers hand them out (free with FreeICC).
TICCInfo ProfileBlock(const std::vector<uint8_t>& Prof);

struct TKodexTest : ::testing::Test {
    TScratch Scratch;
    void SetUp() override
    {
        EnsureKodex();
        TakeErrors();
        Settings.JPEG = TJPEGOption{};
        Settings.PNG = TPNGOption{};
        Settings.Metadata = TMetadataOption{};
    }
    // Pic as the program's JPEG writer stores it (quality 90), read back as bytes.
    std::vector<uint8_t> JpegOf(const TImgInfo& Pic)
    {
        const std::string f = Scratch / "written.jpg";
        EXPECT_TRUE(WriteJPEG(f, Pic, 90, {}, false, nullptr, nullptr, 0, 0, 0, TakeRunSettings()));
        return ReadBytes(f);
    }
};
