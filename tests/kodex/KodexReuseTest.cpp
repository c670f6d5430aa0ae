// A batch worker keeps the blocks of its last file (platform::TPageReuse) and
// the library decodes the next one into them: the picture and every spare
// byte must be what a fresh block gives, and blocks the library frees go
// back to the worker.
#include "KodexTestUtil.h"

#include <png.h>

using Reuse = TKodexTest;

TEST_F(Reuse, DecodersFillKeptBlocksAsFreshOnes)
{
    // Each decode: the file's bytes in, the picture out.
    std::vector<std::pair<std::string, std::function<TImgInfo()>>> decodes;
    std::vector<std::vector<uint8_t>> files;
    files.reserve(16);
    for (uint32_t ch : {1u, 2u, 3u, 4u})
        for (bool interlaced : {false, true}) {
            static const int types[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                        PNG_COLOR_TYPE_RGB_ALPHA};
            TOwnedImg pic{MakePicture(203, 77, ch)};
            files.push_back(EncodePng(
                203, 77, 8, types[ch - 1], [&](uint32_t y) { return ScanLine(pic.Img, y); }, interlaced));
            const std::vector<uint8_t>* f = &files.back();
            decodes.push_back({"PNG " + std::to_string(ch) + (interlaced ? " interlaced" : ""), [f] {
                                   TKodexReadPNG rec{};
                                   EXPECT_TRUE(KodexProcs.ReadPNG(&rec, f->data(), f->size()));
                                   return rec.Img;
                               }});
        }
    for (uint32_t ch : {1u, 3u})
        for (bool progressive : {false, true}) {
            Settings.JPEG.Progressive = progressive;
            TOwnedImg pic{MakePicture(203, 77, ch, true)};
            files.push_back(JpegOf(pic.Img));
            const std::vector<uint8_t>* f = &files.back();
            for (uint32_t den : {1u, 4u})
                decodes.push_back(
                    {"JPEG " + std::to_string(ch) + (progressive ? " progressive 1/" : " 1/") + std::to_string(den),
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
    const std::vector<uint8_t> file = JpegOf(pic.Img);
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
    EXPECT_EQ(std::make_tuple(rows, keep.Count()), std::make_tuple(130u, 1));
    void* band = platform::TakeKeptPages(uint64_t(CalcBpl(6000, 3)) * 64);
    EXPECT_NE(band, nullptr);
    platform::PageFree(band);
}
