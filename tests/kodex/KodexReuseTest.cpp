// A batch worker keeps the blocks of its last file (platform::TPageReuse) and
// the library decodes the next one into them: the picture and every spare
// byte must be what a fresh block gives, and blocks the library frees go
// back to the worker.
#include "KodexTestUtil.h"

#include "platform/PageMemory.h"

#include <png.h>

using namespace kodextest;
using Reuse = kodextest::TKodexTest;

namespace {

void PushBytes(png_structp P, png_bytep D, size_t N)
{
    auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(P));
    v->insert(v->end(), D, D + N);
}

// Pic as a PNG of its channel count (gray, gray+alpha, RGB, RGBA), interlaced when asked.
std::vector<uint8_t> MakePng(const TImgInfo& Pic, bool Interlaced)
{
    static const int types[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                PNG_COLOR_TYPE_RGB_ALPHA};
    std::vector<uint8_t> out;
    png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop i = png_create_info_struct(p);
    png_set_write_fn(p, &out, PushBytes, nullptr);
    png_set_IHDR(p, i, Pic.Width, Pic.Height, 8, types[Pic.Channels - 1],
                 Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(p, i);
    std::vector<png_bytep> rows(Pic.Height);
    for (uint32_t y = 0; y < Pic.Height; ++y)
        rows[y] = ScanLine(Pic, y);
    png_write_image(p, rows.data());
    png_write_end(p, i);
    png_destroy_write_struct(&p, &i);
    return out;
}

// A keep full of blocks an earlier file left, every byte 0xA7.
std::unique_ptr<platform::TPageReuse> SoiledKeep()
{
    auto keep = std::make_unique<platform::TPageReuse>(uint64_t(1) << 30);
    for (int i = 0; i < platform::TPageReuse::kSlots; ++i) {
        void* p = platform::PageAlloc(platform::TPageReuse::kMinBlock);
        std::memset(p, 0xA7, platform::TPageReuse::kMinBlock);
        platform::PageFree(p);
    }
    return keep;
}

// The whole block: rows, their spare bytes and the rows BlockRows adds.
::testing::AssertionResult SameBlocks(const TImgInfo& A, const TImgInfo& B)
{
    if (!A.Mem || !B.Mem || A.Width != B.Width || A.Height != B.Height || A.Bpl != B.Bpl)
        return ::testing::AssertionFailure() << "no picture or another geometry";
    if (std::memcmp(A.Mem, B.Mem, uint64_t(A.Bpl) * BlockRows(A.Height)) != 0)
        return ::testing::AssertionFailure() << "the blocks differ";
    return ::testing::AssertionSuccess();
}

} // namespace

TEST_F(Reuse, DecodersFillKeptBlocksAsFreshOnes)
{
    // Each decode: the file's bytes in, the picture out.
    std::vector<std::pair<std::string, std::function<TImgInfo()>>> decodes;
    std::vector<std::vector<uint8_t>> files;
    files.reserve(16);
    for (uint32_t ch : {1u, 2u, 3u, 4u})
        for (bool interlaced : {false, true}) {
            TOwnedImg pic{MakePicture(203, 77, ch)};
            files.push_back(MakePng(pic.Img, interlaced));
            const std::vector<uint8_t>* f = &files.back();
            decodes.push_back({"PNG " + std::to_string(ch) + (interlaced ? " interlaced" : ""), [f] {
                                   TKodexReadPNG rec{};
                                   EXPECT_TRUE(KodexProcs.ReadPNG(&rec, f->data(), f->size()));
                                   return rec.Img;
                               }});
        }
    for (uint32_t ch : {1u, 3u})
        for (bool progressive : {false, true}) {
            JPEGOption.Progressive = progressive;
            TOwnedImg pic{MakePicture(203, 77, ch, true)};
            const std::string name = Scratch / "p.jpg";
            ASSERT_TRUE(WriteJPEG(name, pic.Img, 90, {}, false, nullptr, nullptr, 0, 0, 0, TakeRunSettings()));
            files.push_back(ReadBytes(name));
            const std::vector<uint8_t>* f = &files.back();
            for (uint32_t den : {1u, 4u})
                decodes.push_back({"JPEG " + std::to_string(ch) + (progressive ? " progressive 1/" : " 1/") +
                                       std::to_string(den),
                                   [f, den] {
                                       TKodexReadJPEG rec{};
                                       rec.Denominator = den;
                                       EXPECT_TRUE(KodexProcs.ReadJPEG(&rec, f->data(), f->size()));
                                       return rec.Img;
                                   }});
        }
    for (const auto& [what, decode] : decodes) {
        TOwnedImg fresh{decode()};
        auto keep = SoiledKeep();
        TOwnedImg kept{decode()};
        EXPECT_EQ(keep->Count(), platform::TPageReuse::kSlots - 1) << what << ": not decoded into a kept block";
        EXPECT_TRUE(SameBlocks(kept.Img, fresh.Img)) << what;
    }
    EXPECT_TRUE(TakeErrors().empty());
}

TEST_F(Reuse, TheBandDecoderGivesItsBandBlockBack)
{
    // Bands of 64 rows of 6000 pixels: a block worth keeping.
    TOwnedImg pic{MakePicture(6000, 130, 3, true)};
    const std::string name = Scratch / "wide.jpg";
    ASSERT_TRUE(WriteJPEG(name, pic.Img, 90, {}, false, nullptr, nullptr, 0, 0, 0, TakeRunSettings()));
    const std::vector<uint8_t> file = ReadBytes(name);
    platform::TPageReuse keep(uint64_t(1) << 30);
    TKodexReadJPEGBands rec{};
    rec.Denominator = 1;
    rec.BandRows = 64;
    uint32_t rows = 0;
    rec.Context = &rows;
    rec.Band = [](void* Context, const TImgInfo* Band, uint32_t) {
        if (Band) // null: the size, before the first band
            *static_cast<uint32_t*>(Context) += Band->Height;
        return 1;
    };
    ASSERT_TRUE(KodexProcs.ReadJPEGBands(&rec, file.data(), file.size()));
    EXPECT_EQ(rows, 130u);
    EXPECT_EQ(keep.Count(), 1);
    void* band = platform::TakeKeptPages(uint64_t(CalcBpl(6000, 3)) * 64);
    EXPECT_NE(band, nullptr);
    platform::PageFree(band);
}
