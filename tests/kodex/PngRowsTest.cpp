// The PNG row decoder: the vector unfilters give the plain form's bytes, and
// every sample format decodes (inflated at once or row by row) to exactly
// what libpng's own row reader gives with the library's transforms.
#include "KodexTestUtil.h"

#include "kodex/PngRows.h"
#include "kodex/PngUnfilter.h"

#include <png.h>

#include <random>

using PngRows = TKodexTest;

namespace {

struct TRowCase {
    const char* Name;
    int Type, Depth;
    bool Trns;
    bool Interlaced = false;
};

// libpng's reading of File with the transforms the library asks for, top-down rows.
std::vector<uint8_t> LibpngRows(const std::vector<uint8_t>& File, uint32_t& Channels)
{
    struct TSrc {
        const std::vector<uint8_t>* F;
        size_t Pos = 0;
    } src{&File};
    png_structp p = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop i = png_create_info_struct(p);
    png_set_read_fn(p, &src, [](png_structp P, png_bytep D, size_t N) {
        auto* s = static_cast<TSrc*>(png_get_io_ptr(P));
        std::memcpy(D, s->F->data() + s->Pos, N);
        s->Pos += N;
    });
    png_read_info(p, i);
    png_set_scale_16(p);
    png_set_palette_to_rgb(p);
    png_set_expand_gray_1_2_4_to_8(p);
    if (png_get_valid(p, i, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(p);
    png_set_bgr(p);
    png_set_interlace_handling(p);
    png_read_update_info(p, i);
    const size_t rb = png_get_rowbytes(p, i);
    Channels = png_get_channels(p, i);
    const uint32_t h = png_get_image_height(p, i);
    std::vector<uint8_t> out(rb * h);
    std::vector<png_bytep> rows(h);
    for (uint32_t y = 0; y < h; ++y)
        rows[y] = out.data() + y * rb;
    png_read_image(p, rows.data());
    png_destroy_read_struct(&p, &i, nullptr);
    return out;
}

const char kIdat[] = "IDAT";

uint8_t* Into(void* Out, uint32_t Y)
{
    auto* v = static_cast<std::pair<std::vector<uint8_t>*, size_t>*>(Out);
    return v->first->data() + Y * v->second;
}

} // namespace

TEST_F(PngRows, VectorUnfiltersGiveThePlainFormsBytes)
{
    std::mt19937 rng(7);
    for (uint32_t bpp = 1; bpp <= 8; ++bpp)
        for (uint8_t type = 0; type <= 4; ++type)
            for (uint32_t px : {1u, 2u, 5u, 64u, 333u}) {
                const uint32_t n = px * bpp;
                std::vector<uint8_t> prev(n), row(n);
                for (auto& b : prev)
                    b = uint8_t(rng());
                for (auto& b : row)
                    b = uint8_t(rng());
                std::vector<uint8_t> want = row;
                ASSERT_TRUE(kodex::ref::UnfilterRow(type, want.data(), prev.data(), n, bpp));
                ASSERT_TRUE(kodex::UnfilterRow(type, row.data(), prev.data(), n, bpp));
                ASSERT_EQ(row, want) << "bpp " << bpp << " type " << int(type) << " pixels " << px;
            }
    uint8_t row[3] = {1, 2, 3}, prev[3] = {};
    EXPECT_FALSE(kodex::UnfilterRow(5, row, prev, 3, 1));
    // The plain form on values worked by hand: Paeth picks the above row
    // (b) here, the average rounds down.
    uint8_t paeth[2] = {10, 1}, above[2] = {200, 100};
    ASSERT_TRUE(kodex::ref::UnfilterRow(4, paeth, above, 2, 1));
    EXPECT_EQ(paeth[0], 210); // 10 + b (a = c = 0)
    EXPECT_EQ(paeth[1], 101); // a 210, b 100, c 200: pa 100, pb 10, pc 90
    uint8_t avg[2] = {1, 1}, up[2] = {3, 4};
    ASSERT_TRUE(kodex::ref::UnfilterRow(3, avg, up, 2, 1));
    EXPECT_EQ(avg[0], 2); // 1 + 3 / 2
    EXPECT_EQ(avg[1], 4); // 1 + (2 + 4) / 2
}

TEST_F(PngRows, EverySampleFormatDecodesAsLibpngDoes)
{
    const TRowCase cases[] = {
        {"gray1", PNG_COLOR_TYPE_GRAY, 1, false},
        {"gray2 key", PNG_COLOR_TYPE_GRAY, 2, true},
        {"gray4", PNG_COLOR_TYPE_GRAY, 4, false},
        {"gray8 key", PNG_COLOR_TYPE_GRAY, 8, true},
        {"gray16 key", PNG_COLOR_TYPE_GRAY, 16, true},
        {"gray alpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false},
        {"gray alpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, false},
        {"rgb8", PNG_COLOR_TYPE_RGB, 8, false},
        {"rgb8 key", PNG_COLOR_TYPE_RGB, 8, true},
        {"rgb16 key", PNG_COLOR_TYPE_RGB, 16, true},
        {"rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8, false},
        {"rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16, false},
        {"palette1", PNG_COLOR_TYPE_PALETTE, 1, false},
        {"palette4 trns", PNG_COLOR_TYPE_PALETTE, 4, true},
        {"palette8 trns", PNG_COLOR_TYPE_PALETTE, 8, true},
        {"rgb8 interlaced", PNG_COLOR_TYPE_RGB, 8, false, true},
    };
    const uint32_t w = 37, h = 23;
    std::mt19937 rng(11);
    for (const TRowCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const uint32_t samples = c.Type == PNG_COLOR_TYPE_PALETTE ? 1
            : c.Type == PNG_COLOR_TYPE_RGB                        ? 3
            : c.Type == PNG_COLOR_TYPE_RGB_ALPHA                  ? 4
            : c.Type == PNG_COLOR_TYPE_GRAY_ALPHA                 ? 2
                                                                  : 1;
        const size_t rb = (size_t(w) * samples * c.Depth + 7) / 8;
        // Noise on the left half, a smooth ramp on the right (so that every
        // filter is chosen somewhere); the key colour and indices past the
        // palette (10 entries) appear.
        std::vector<uint8_t> px(rb * h);
        for (uint32_t y = 0; y < h; ++y)
            for (size_t x = 0; x < rb; ++x)
                px[y * rb + x] = x < rb / 2 ? uint8_t(rng()) : uint8_t(x * 3 + y * 5);
        if (c.Type == PNG_COLOR_TYPE_PALETTE && c.Depth == 8)
            for (auto& b : px)
                b = uint8_t(b % 13);
        std::memset(px.data(), 0, std::min<size_t>(rb, 8)); // the key (all zeros) in the top row
        png_color pal[10];
        png_byte alpha[6] = {0, 50, 100, 150, 200, 250};
        for (int k = 0; k < 10; ++k)
            pal[k] = {uint8_t(k * 25), uint8_t(255 - k * 20), uint8_t(k * 7)};
        const std::vector<uint8_t> file = EncodePng(
            w, h, c.Depth, c.Type, [&](uint32_t y) { return px.data() + y * rb; }, c.Interlaced,
            [&](void* P, void* I) {
                auto p = static_cast<png_structp>(P);
                auto i = static_cast<png_infop>(I);
                png_set_filter(p, 0, PNG_ALL_FILTERS);
                png_set_check_for_invalid_index(p, 0);
                png_set_compression_buffer_size(p, 64); // several IDAT chunks
                if (c.Type == PNG_COLOR_TYPE_PALETTE)
                    png_set_PLTE(p, i, pal, std::min(10, 1 << c.Depth));
                png_color_16 key{};
                if (c.Trns)
                    png_set_tRNS(p, i, alpha, c.Type == PNG_COLOR_TYPE_PALETTE ? 6 : 0, &key);
            });
        uint32_t ch = 0;
        const std::vector<uint8_t> want = LibpngRows(file, ch);

        TKodexReadPNG rec{};
        ASSERT_TRUE(KodexProcs.ReadPNG(&rec, file.data(), file.size()));
        TOwnedImg got{rec.Img};
        ASSERT_EQ(got.Img.Channels, ch);
        for (uint32_t y = 0; y < h; ++y)
            ASSERT_EQ(0, std::memcmp(ScanLine(got.Img, y), want.data() + y * w * ch, w * ch)) << "row " << y;
        if (c.Interlaced)
            continue;

        // The decoder itself, inflating at once and row by row.
        kodex::TPngLayout l;
        l.Width = w;
        l.Height = h;
        l.Depth = c.Depth;
        l.Type = c.Type;
        if (c.Type == PNG_COLOR_TYPE_PALETTE) {
            l.Palette = pal;
            l.PaletteCount = std::min(10, 1 << c.Depth);
            l.TransAlpha = c.Trns ? alpha : nullptr;
            l.TransCount = c.Trns ? 6 : 0;
        } else {
            l.HasKey = c.Trns;
        }
        ASSERT_EQ(kodex::PngRowChannels(l), ch);
        const size_t idat = size_t(std::search(file.begin(), file.end(), kIdat, kIdat + 4) - file.begin()) - 4;
        for (uint64_t limit : {kodex::kPngInflateWhole, uint64_t(0)}) {
            std::vector<uint8_t> rows(want.size());
            std::pair<std::vector<uint8_t>*, size_t> target{&rows, size_t(w) * ch};
            EXPECT_EQ(kodex::DecodePngRows(file.data(), file.size(), idat, l, Into, &target, limit),
                      kodex::TPngRowsResult::Done);
            EXPECT_EQ(rows, want) << "limit " << limit;
        }
    }
}

// Banded reading hands over read_png's rows, band after band, for every band
// size, inflating row by row (with any budget) or interlaced (whole first). A caller's stop ends it silently, a
// chunk damaged behind bands already handed fails the read with one line,
// and a budget too small for one band refuses it.
TEST_F(PngRows, BandsHandOverTheRowsOfTheWholePicture)
{
    const uint32_t w = 203, h = 150;
    std::vector<uint8_t> px(size_t(w) * 6 * h);
    for (size_t k = 0; k < px.size(); ++k)
        px[k] = uint8_t(k * 7 / 5 + (k >> 9));
    auto make = [&](int Type, int Depth, bool Interlaced) {
        const size_t rb = size_t(w) * (Type == PNG_COLOR_TYPE_RGB ? 3 : 1) * Depth / 8;
        return EncodePng(
            w, h, Depth, Type, [&](uint32_t y) { return px.data() + y * rb; }, Interlaced,
            [](void* P, void*) { png_set_compression_buffer_size(static_cast<png_structp>(P), 512); });
    };
    struct TCase {
        const char* Name;
        std::vector<uint8_t> File;
        uint64_t Budget;
    } cases[] = {{"rgb8", make(PNG_COLOR_TYPE_RGB, 8, false), 0},
                 {"rgb8 row by row", make(PNG_COLOR_TYPE_RGB, 8, false), 60000},
                 {"gray16 row by row", make(PNG_COLOR_TYPE_GRAY, 16, false), 50000},
                 {"rgb8 interlaced", make(PNG_COLOR_TYPE_RGB, 8, true), 0}};
    for (TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TKodexReadPNG whole{};
        ASSERT_TRUE(KodexProcs.ReadPNG(&whole, c.File.data(), c.File.size()));
        TOwnedImg ref{whole.Img};
        std::vector<uint8_t> expect;
        for (uint32_t y = 0; y < h; ++y)
            expect.insert(expect.end(), ScanLine(ref.Img, y), ScanLine(ref.Img, y) + w * ref.Img.Channels);
        KodexProcs.SetPictureMemoryLimit(c.Budget);
        for (uint32_t rows : {1u, 7u, c.Budget ? 40u : 1000u}) { // more than the picture where the budget allows
            TBandSink sink;
            ASSERT_EQ(1, ReadBandsWith(KodexProcs.ReadPNGBands, c.File, 1, rows, sink)) << rows;
            EXPECT_TRUE(sink.InOrder);
            EXPECT_EQ(sink.Next, h);
            EXPECT_TRUE(sink.Rows == expect) << rows;
        }
        TBandSink stopped; // the caller stops after two bands: nothing more, nothing said
        stopped.StopAfter = 2;
        EXPECT_EQ(0, ReadBandsWith(KodexProcs.ReadPNGBands, c.File, 1, 7, stopped));
        EXPECT_EQ(stopped.Bands, 2u);
        EXPECT_TRUE(TakeErrors().empty());
        std::vector<uint8_t> bad = c.File; // a byte of the last IDAT chunk
        bad[size_t(std::find_end(bad.begin(), bad.end(), kIdat, kIdat + 4) - bad.begin()) + 6] ^= 0x55;
        TBandSink sink;
        EXPECT_EQ(0, ReadBandsWith(KodexProcs.ReadPNGBands, bad, 1, 5, sink));
        EXPECT_EQ(TakeErrors().size(), 1u);
        KodexProcs.SetPictureMemoryLimit(c.Budget ? 2000 : 0);
        if (c.Budget) {
            TBandSink none;
            EXPECT_EQ(0, ReadBandsWith(KodexProcs.ReadPNGBands, c.File, 1, 5, none));
            EXPECT_EQ(none.Bands, 0u);
            const std::vector<std::string> said = TakeErrors();
            ASSERT_EQ(said.size(), 1u);
            EXPECT_NE(said[0].find("too large"), std::string::npos) << said[0];
        }
        KodexProcs.SetPictureMemoryLimit(0);
    }
}
