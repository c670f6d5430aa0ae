#include "core/Errors.h"
#include "core/FilterKernels.h"
#include "core/Resize.h"
#include "PictureTestUtil.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <system_error>

namespace {

// Neighbours differ: a kernel that reads the wrong sample cannot pass by accident.
TImgInfo Noise(uint32_t W, uint32_t H, uint32_t C, uint32_t Seed = 1)
{
    return RandomImage(W, H, C, Seed);
}

TImgInfo Filled(uint32_t W, uint32_t H, uint32_t C, const std::function<uint8_t(uint32_t, uint32_t, uint32_t)>& F)
{
    TImgInfo img;
    AllocImg(img, W, H, C);
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x)
            for (uint32_t c = 0; c < C; ++c)
                MemRow(img, y)[x * C + c] = F(x, y, c);
    return img;
}

using TImg = TImgHolder;
struct TSize {
    uint32_t SW, SH, W, H;
};

// Configuration of a resizer: SIMD mode, linear light, filter ids, threads.
struct TConf {
    uint32_t Mode = 3;
    bool Linear = false;
    uint32_t Dec = 2, Int = 2;
    int32_t Threads = 1;
    std::string Name() const
    {
        return "mode " + std::to_string(Mode) + (Linear ? " linear" : "") + " filters " + std::to_string(Dec) + "/" +
            std::to_string(Int) + " threads " + std::to_string(Threads);
    }
};

std::unique_ptr<TResizer> MakeResizer(const TConf& C)
{
    auto r = std::make_unique<TResizer>();
    r->SetDecimationMode(C.Dec, CreateWeightSetter(C.Dec, 3, 0, 10));
    r->SetInterpolationMode(C.Int, CreateWeightSetter(C.Int, 3, 0, 10));
    r->SetSIMDMode(C.Mode, C.Linear);
    r->SetMaxThreadNum(C.Threads);
    return r;
}

TImg Resize(const TConf& C, const TImgInfo& Src, uint32_t W, uint32_t H)
{
    auto r = MakeResizer(C);
    TImg out;
    r->ResizeImage(Src, out.I, W, H, Src.Channels == 4);
    return out;
}

// Picture bytes only: strides and padding may differ.
::testing::AssertionResult SamePixels(const TImgInfo& A, const TImgInfo& B)
{
    const std::vector<uint8_t> a = Pixels(A), b = Pixels(B);
    const size_t at = size_t(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
    if (A.Width == B.Width && A.Height == B.Height && a == b)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << A.Width << "x" << A.Height << " vs " << B.Width << "x" << B.Height
                                         << ", first difference at byte " << at << " of the picture";
}

// Restores the start-up kernel choice after a test that forces one.
struct TKernelGuard {
    ~TKernelGuard() { SelectResizeKernels(TKernelFamily::Best); }
};

std::vector<TConf> AllFamilies()
{
    return {{1, false}, {2, false}, {3, false}, {3, true}};
}

TEST(ResizeFamilies, EveryVectorFamilyGivesTheScalarBytes)
{
    TKernelGuard guard;
    // Both sides, width only, height only; odd sizes and sizes 1, 3, 5, 17, 1023.
    const TSize cases[] = {{37, 23, 1, 1}, {37, 23, 5, 17}, {37, 23, 61, 45}, {37, 23, 1023, 23}, {37, 23, 37, 5},
                           {1, 7, 5, 3},   {3, 5, 1023, 2}, {1023, 5, 17, 3}, {17, 17, 16, 16},   {20000, 3, 20, 2}};
    std::vector<TKernelFamily> vec = {TKernelFamily::SSE2};
    if (CPUHasAVX2())
        vec.push_back(TKernelFamily::AVX2);
    for (TConf conf : AllFamilies())
        for (uint32_t filters : {2u, 1u, 9u}) {
            conf.Dec = filters;
            conf.Int = filters == 1 ? 6 : filters;
            for (uint32_t ch : {1u, 3u, 4u})
                for (const TSize& c : cases) {
                    TImg src(Noise(c.SW, c.SH, ch, c.SW * 31 + c.H));
                    SelectResizeKernels(TKernelFamily::Scalar);
                    TImg ref = Resize(conf, src.I, c.W, c.H);
                    for (TKernelFamily f : vec) {
                        SelectResizeKernels(f);
                        TImg got = Resize(conf, src.I, c.W, c.H);
                        ASSERT_TRUE(SamePixels(ref.I, got.I))
                            << ResizeKernels().Name << " " << conf.Name() << " channels " << ch << " " << c.SW << "x"
                            << c.SH << " -> " << c.W << "x" << c.H;
                    }
                }
        }
}

// Thread count, resizing in place and a resizer kept from picture to picture
// (plan and temporary block reused) change nothing.
TEST(ResizeImage, ThreadsInPlaceAndAKeptResizerGiveTheSameBytes)
{
    for (TConf conf : AllFamilies())
        for (uint32_t ch : {1u, 3u, 4u}) {
            conf.Threads = 3;
            auto kept = MakeResizer(conf);
            for (auto [w, h] : {std::pair{96u, 61u}, std::pair{203u, 70u}, std::pair{90u, 157u}, std::pair{411u, 300u}})
                for (uint32_t seed : {1u, 2u}) {
                    SCOPED_TRACE(testing::Message() << conf.Name() << " ch " << ch << " " << w << "x" << h);
                    TImg src(Noise(203, 157, ch, seed * 7 + w)), inplace(Noise(203, 157, ch, seed * 7 + w)), later;
                    conf.Threads = 1;
                    const TImg one = Resize(conf, src.I, w, h);
                    conf.Threads = 64;
                    EXPECT_TRUE(SamePixels(one.I, Resize(conf, src.I, w, h).I));
                    kept->ResizeImage(src.I, later.I, w, h, ch == 4);
                    EXPECT_TRUE(SamePixels(one.I, later.I));
                    kept->ResizeImage(inplace.I, w, h, ch == 4);
                    EXPECT_TRUE(SamePixels(one.I, inplace.I));
                }
        }
}

TEST(ResizeThreads, AShareWhoseThreadCannotStartRunsOnTheCaller)
{
    static int calls;
    calls = 0;
    PassThreads.Start = [](std::function<void()> Body) {
        if (++calls % 2)
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(Body));
    };
    TImg src(Noise(150, 90, 3));
    TImg one = Resize({3, false, 2, 2, 1}, src.I, 61, 37);
    EXPECT_EQ(calls, 0); // one thread per pass: the caller does it all
    TImg many = Resize({3, false, 2, 2, 8}, src.I, 61, 37);
    PassThreads.Start = [](std::function<void()> Body) { return std::thread(std::move(Body)); };
    EXPECT_GT(calls, 4);
    EXPECT_TRUE(SamePixels(one.I, many.I));
}

TEST(ResizeImage, ExtremeAspectRatiosStayInsideTheirBlocks)
{
    // Rows of one pixel, axes of thousands: over-reach stays in the padding (sanitizer build).
    for (TConf conf : AllFamilies())
        for (uint32_t ch : {1u, 3u, 4u})
            for (auto [sw, sh, dw, dh] : std::vector<std::array<uint32_t, 4>>{
                     {1, 1, 3001, 2}, {3001, 2, 1, 1}, {2, 3001, 1, 5}, {1, 3, 2, 3001}}) {
                TImg src(Filled(sw, sh, ch, [](uint32_t, uint32_t, uint32_t) { return uint8_t(90); }));
                TImg out = Resize(conf, src.I, dw, dh);
                ASSERT_EQ(out.I.Width, dw);
                // Integer rows of thousands of truncated Q14 weights lose up to
                // a unit each: a 3000:1 reduction comes out up to 10 % dark.
                const int tol = conf.Mode == 2 || conf.Linear ? 1 : 9;
                for (uint32_t y = 0; y < dh; y += 97)
                    EXPECT_NEAR(MemRow(out.I, y)[0], 90, tol)
                        << conf.Name() << " " << sw << "x" << sh << " -> " << dw << "x" << dh;
            }
}

TEST(ResizeImage, BadRequestsAreRefused)
{
    auto r = MakeResizer({});
    TImg src(Noise(20, 10, 3));
    TImgInfo out;
    EXPECT_THROW(r->ResizeImage(src.I, out, 0, 5, false), EVestroError);
    EXPECT_THROW(r->ResizeImage(src.I, out, 5, 5, true), EVestroError);
    TImg two(Noise(20, 10, 2));
    EXPECT_THROW(r->ResizeImage(two.I, out, 5, 5, false), EVestroError);
    EXPECT_EQ(out.Mem, nullptr);
}

TEST(ResizeInvariants, ConstantStaysConstant)
{
    for (TConf conf : AllFamilies())
        for (uint32_t id = 1; id <= 9; ++id) {
            conf.Dec = id;
            conf.Int = id == 1 ? 2 : id;
            for (uint32_t ch : {1u, 3u, 4u}) {
                auto level = [](uint32_t, uint32_t, uint32_t c) { return uint8_t(c == 3 ? 255 : 77 + 40 * c); };
                TImg src(Filled(53, 41, ch, level));
                for (auto [w, h] :
                     {std::pair{20u, 13u}, std::pair{131u, 90u}, std::pair{20u, 41u}, std::pair{53u, 90u}})
                    ASSERT_TRUE(SamePixels(Resize(conf, src.I, w, h).I, TImg(Filled(w, h, ch, level)).I))
                        << conf.Name() << " ch " << ch << " " << w << "x" << h;
            }
        }
}

// Gray, RGB and opaque RGBA of one picture go through different plans and
// kernels; each family still gives every channel count the same levels.
TEST(ResizeInvariants, ChannelCountsAgreeOnOpaquePictures)
{
    auto level = [](uint32_t x, uint32_t y, uint32_t c) { return uint8_t(c == 3 ? 255 : (x * 37 + y * 11) % 256); };
    TImg gray(Filled(67, 43, 1, level)), rgb(Filled(67, 43, 3, level)), rgba(Filled(67, 43, 4, level));
    for (TConf conf : AllFamilies())
        for (auto [w, h] : {std::pair{150u, 43u}, std::pair{67u, 90u}, std::pair{12u, 43u}, std::pair{9u, 7u}}) {
            const TImg g = Resize(conf, gray.I, w, h), c3 = Resize(conf, rgb.I, w, h), c4 = Resize(conf, rgba.I, w, h);
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x)
                    for (uint32_t c = 0; c < 3; ++c) {
                        const int v = MemRow(c3.I, y)[x * 3 + c];
                        ASSERT_NEAR(MemRow(c4.I, y)[x * 4 + c], v, 1) << conf.Name() << " rgba " << w << "x" << h;
                        ASSERT_NEAR(MemRow(g.I, y)[x], v, 1) << conf.Name() << " gray " << w << "x" << h;
                    }
        }
}

TEST(ResizeInvariants, StrongReductionsKeepTheLevel)
{
    // Thousands of taps per output pixel: white stays white, a whole-row average is exact.
    for (TConf conf : AllFamilies())
        for (uint32_t id : {1u, 2u, 7u}) {
            conf.Dec = id;
            for (uint32_t ch : {1u, 3u, 4u}) {
                auto white = [](uint32_t, uint32_t, uint32_t) { return uint8_t(255); };
                ASSERT_TRUE(SamePixels(Resize(conf, TImg(Filled(20000, 2, ch, white)).I, 20, 2).I,
                                       TImg(Filled(20, 2, ch, white)).I))
                    << conf.Name() << " ch " << ch;
            }
            if (id != 1)
                continue;
            TImg white(Filled(60000, 1, 3, [](uint32_t, uint32_t, uint32_t) { return uint8_t(255); }));
            TImg half(Filled(60000, 1, 1, [](uint32_t x, uint32_t, uint32_t) { return uint8_t(x < 30000 ? 0 : 255); }));
            const TImg w = Resize(conf, white.I, 1, 1), h = Resize(conf, half.I, 1, 1);
            for (uint32_t c = 0; c < 3; ++c)
                EXPECT_EQ(MemRow(w.I, 0)[c], 255) << conf.Name();
            EXPECT_NEAR(MemRow(h.I, 0)[0], conf.Linear ? 188 : 128, 1) << conf.Name();
        }
}

TEST(ResizeInvariants, NoColourBleedsFromTransparentPixels)
{
    for (TConf conf : AllFamilies()) {
        // Left: fully transparent white; right: opaque blue (B G R A).
        TImg src(Filled(40, 30, 4, [](uint32_t x, uint32_t, uint32_t c) {
            if (x < 20)
                return uint8_t(c == 3 ? 0 : 255);
            return uint8_t(c == 0 ? 200 : c == 3 ? 255 : 0);
        }));
        for (auto [w, h] : {std::pair{13u, 11u}, std::pair{97u, 30u}, std::pair{40u, 71u}, std::pair{97u, 71u}}) {
            TImg out = Resize(conf, src.I, w, h);
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x) {
                    const uint8_t* p = MemRow(out.I, y) + 4 * x;
                    if (p[3] == 0) {
                        EXPECT_EQ(p[0] | p[1] | p[2], 0) << conf.Name(); // nothing to show: colour 0
                    } else {
                        ASSERT_LE(p[1] + p[2], 2) << conf.Name() << " " << w << "x" << h << " at " << x;
                        ASSERT_GE(p[0], 195) << conf.Name() << " " << w << "x" << h << " at " << x;
                    }
                }
        }
    }
}

TEST(ResizeInvariants, OvershootSaturatesInEveryFamily)
{
    for (TConf conf : AllFamilies()) {
        TImg src(Filled(8, 8, 3, [](uint32_t x, uint32_t, uint32_t) { return uint8_t(x < 4 ? 0 : 255); }));
        TImg out = Resize(conf, src.I, 40, 40);
        for (uint32_t y = 0; y < 40; ++y) {
            EXPECT_EQ(MemRow(out.I, y)[0], 0) << conf.Name();
            EXPECT_EQ(MemRow(out.I, y)[39 * 3], 255) << conf.Name();
            for (uint32_t x = 0; x < 40; ++x) // no wrap-around next to the edge
                if (x < 20)
                    ASSERT_LE(MemRow(out.I, y)[3 * x], 200) << conf.Name() << " at " << x;
                else
                    ASSERT_GE(MemRow(out.I, y)[3 * x], 55) << conf.Name() << " at " << x;
        }
    }
}

TEST(ResizeGamma, BuiltTablesHoldTheFormula)
{
    // sRGB transfer in long double, the sample first rounded to a float; linear is on the 8192 scale.
    const auto toLin = [](long double V) {
        const long double x = float(V);
        return x <= 0.04045L ? x * 8192.0L / 12.92L : powl((x + 0.055L) / 1.055L, 2.4L) * 8192.0L;
    };
    const auto toSRGB = [](int J) {
        const long double x = float(J / 8192.0L);
        return x <= 0.0031308L ? 12.92L * x : 1.055L * powl(x, 1.0L / 2.4L) - 0.055L;
    };
    for (int i : {0, 10, 11, 128, 254, 255})
        EXPECT_EQ(SRGB8ToLinear[i], float(toLin(i / 255.0L))) << i;
    for (int i : {0, 165, 166, 2040, 4080})
        EXPECT_EQ(SRGB12ToLinear[i], float(toLin(i / 4080.0L))) << i;
    for (int j : {0, 1, 25, 26, 100, 4096, 8191, 8192}) {
        EXPECT_EQ(LinearToSRGB8[j], static_cast<int>(toSRGB(j) * 255.0L + 0.5L)) << j;
        EXPECT_EQ(LinearToSRGB12[j], static_cast<int>(toSRGB(j) * 4080.0L + 0.5L)) << j;
    }
    EXPECT_EQ(SRGB8ToLinear[255], 8192.0f);
    EXPECT_EQ(LinearToSRGB8[8192], 255);
    EXPECT_EQ(LinearToSRGB12[8192], 4080);
}

TEST(ResizeFamilies, SixteenBitLinearKernelMatchesTheEightBitOne)
{
    // The 12-bit scale is the 8-bit one times 16: both horizontal kernels give the same sums.
    const uint32_t W = 37, DW = 15, H = 8;
    TImg src8(Noise(W, H, 1, 5));
    TImgInfo src16;
    AllocImg16(src16, W, H, 1);
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x) {
            const uint16_t v = uint16_t(MemRow(src8.I, y)[x] * 16);
            std::memcpy(MemRow(src16, y) + 2 * x, &v, 2);
        }
    TLanczos l(3);
    TResizeParam p;
    p.SrcLength = W;
    p.DestLength = DW;
    p.Step = kern::FloatStep1;
    l.SetWeight(p, wtSingle);
    const size_t bpl = CalcBpl(4 * DW, 1);
    std::vector<uint8_t> work(kern::FloatHWorkSize(W, 1) + 128), a(bpl * H), b(bpl * H);
    uint8_t* wk = work.data() + (128 - reinterpret_cast<uintptr_t>(work.data()) % 128) % 128;
    for (const TResizeKernels* k : {&RefResizeKernels, &SSE2ResizeKernels}) {
        k->LinearH1ch(a.data(), src8.I.Mem, p.WeightTableInfo.data(), wk, W, DW, H / 4, bpl, src8.I.Bpl);
        k->LinearH16(b.data(), src16.Mem, p.WeightTableInfo.data(), wk, W, DW, H / 4, bpl, src16.Bpl);
        for (uint32_t y = 0; y < H; ++y)
            EXPECT_EQ(std::memcmp(a.data() + y * bpl, b.data() + y * bpl, 4 * DW), 0) << k->Name << " row " << y;
    }
    FreeImg(src16);
}

// Feeds Src to a band resize BandRows rows at a time, each band a picture of its own.
TImg BandResize(TResizer& R, const TImgInfo& Src, uint32_t W, uint32_t H, uint32_t BandRows)
{
    TBandResize b(R, Src.Width, Src.Height, Src.Channels, W, H);
    for (uint32_t top = 0; top < Src.Height; top += BandRows) {
        TImg band;
        const uint32_t rows = std::min(BandRows, Src.Height - top);
        AllocImg(band.I, Src.Width, rows, Src.Channels);
        for (uint32_t y = 0; y < rows; ++y)
            std::memcpy(ScanLine(band.I, y), ScanLine(Src, top + y), size_t(Src.Width) * Src.Channels);
        b.Feed(band.I, top);
    }
    TImg out;
    b.Finish(out.I);
    return out;
}

} // namespace

TEST(BandResize, SameBytesAsTheWholePicture)
{
    const TSize sizes[] = {{301, 211, 97, 61}, {130, 77, 260, 150}, {97, 203, 97, 55}, {45, 1301, 23, 640}};
    for (TConf conf : AllFamilies())
        for (int32_t threads : {1, 3})
            for (uint32_t ch : {1u, 3u, 4u}) {
                conf.Threads = threads;
                for (const TSize& s : sizes) {
                    TImg src(Noise(s.SW, s.SH, ch, s.SW + ch));
                    TImg whole = Resize(conf, src.I, s.W, s.H);
                    auto r = MakeResizer(conf);
                    for (uint32_t band : {1u, 7u, 1000u}) {
                        TImg got = BandResize(*r, src.I, s.W, s.H, band);
                        EXPECT_TRUE(SamePixels(got.I, whole.I))
                            << conf.Name() << " ch " << ch << " " << s.SW << "x" << s.SH << " -> " << s.W << "x" << s.H
                            << " band " << band;
                    }
                    // The resizer is whole again afterwards.
                    TImg after;
                    r->ResizeImage(src.I, after.I, s.W, s.H, ch == 4);
                    EXPECT_TRUE(SamePixels(after.I, whole.I)) << conf.Name();
                }
            }
}

TEST(BandResize, RowsOutOfOrderOrMissingAreRefused)
{
    auto r = MakeResizer({});
    TImg band;
    AllocImg(band.I, 40, 10, 3);
    {
        TBandResize b(*r, 40, 30, 3, 20, 15);
        b.Feed(band.I, 0);
        EXPECT_THROW(b.Feed(band.I, 15), EVestroError); // a gap
        b.Feed(band.I, 10);
        TImg out;
        EXPECT_THROW(b.Finish(out.I), EVestroError); // the last ten rows never came
        EXPECT_EQ(out.I.Mem, nullptr);
    }
    TBandResize b(*r, 40, 30, 3, 20, 15);
    b.Feed(band.I, 0);
    b.Feed(band.I, 10);
    EXPECT_THROW(b.Feed(band.I, 25), EVestroError); // past the bottom
}

// A worker's resizes take blocks the file before left; the kernels read their
// padding and spare rows: the result must equal that on fresh memory.
TEST(ResizeImage, BlocksAnEarlierPictureLeftGiveTheBytesOfFreshOnes)
{
    const TSize sizes[] = {
        {301, 211, 97, 61}, {61, 29, 130, 77}, {97, 203, 97, 55}, {97, 203, 45, 203}, {45, 301, 23, 99}};
    for (TConf conf : AllFamilies())
        for (uint32_t ch : {1u, 3u, 4u})
            for (const TSize& s : sizes) {
                conf.Threads = 3;
                SCOPED_TRACE(testing::Message() << conf.Name() << " ch " << ch << " " << s.SW << "x" << s.SH << " -> "
                                                << s.W << "x" << s.H);
                TImg src(Noise(s.SW, s.SH, ch, s.W));
                const std::function<TImg()> ways[] = {
                    [&] { return Resize(conf, src.I, s.W, s.H); },
                    [&] {
                        TImg p(Noise(s.SW, s.SH, ch, s.W));
                        MakeResizer(conf)->ResizeImage(p.I, s.W, s.H, ch == 4);
                        return p;
                    },
                    [&] { return BandResize(*MakeResizer(conf), src.I, s.W, s.H, 64); }};
                for (const auto& way : ways) { // whole, in place, in bands
                    const TImg fresh = way();
                    const auto keep = SoiledKeep(); // ends before the next begins: scopes nest
                    EXPECT_TRUE(SameBlocks(way().I, fresh.I));
                }
            }
}

namespace {

// The kernels written out again from their formulas, in long double: what
// every filter id must weigh a tap at distance X (Blur 10, radius 3,
// sharpness 0 as the resizer above is made).
long double Kernel(uint32_t Id, long double X)
{
    const long double u = std::fabs(X), pi = 3.14159265358979323846264338327950288L;
    auto sinc = [&](long double v) { return v < 1e-12L ? 1.0L : std::sin(pi * v) / (pi * v); };
    switch (Id) {
    case 2:
        return u < 3 ? sinc(u) * sinc(u / 3) : 0;
    case 3:
        return std::max(0.0L, 1 - u);
    case 4: { // b = c = 1/3
        const long double b = 1.0L / 3, c = 1.0L / 3;
        if (u < 1)
            return ((12 - 9 * b - 6 * c) * u * u * u + (-18 + 12 * b + 6 * c) * u * u + (6 - 2 * b)) / 6;
        if (u < 2)
            return ((-b - 6 * c) * u * u * u + (6 * b + 30 * c) * u * u + (-12 * b - 48 * c) * u + 8 * b + 24 * c) / 6;
        return 0;
    }
    case 5:
        return u < 3 ? sinc(u) * (0.42L + 0.5L * std::cos(pi * u / 3) + 0.08L * std::cos(2 * pi * u / 3)) : 0;
    case 6:
        if (u < 1)
            return ((u - 1.8L) * u - 0.2L) * u + 1;
        return u < 2 ? ((-(u - 1) / 3 + 0.8L) * (u - 1) - 7.0L / 15) * (u - 1) : 0;
    case 7: {
        if (u < 1)
            return ((13.0L / 11 * u - 453.0L / 209) * u - 3.0L / 209) * u + 1;
        if (u < 2)
            return ((-6.0L / 11 * (u - 1) + 270.0L / 209) * (u - 1) - 156.0L / 209) * (u - 1);
        return u < 3 ? ((1.0L / 11 * (u - 2) - 45.0L / 209) * (u - 2) + 26.0L / 209) * (u - 2) : 0;
    }
    case 8: // radius 2, a = 4 / (100 x 0.02)
        return u < 2 ? std::exp(-2 * u * u) - std::exp(-8.0L) : 0;
    }
    return 0;
}

// Weights of output I over the source pixels of one axis: pixel centres k +
// 0.5 against the output centre, in source pixels when enlarging and in
// output pixels when reducing; taps beyond an end count as the end pixel.
std::vector<long double> AxisWeights(uint32_t Id, uint32_t Src, uint32_t Dst, uint32_t I)
{
    std::vector<long double> w(Src, 0.0L);
    const long double scale = Src <= Dst ? 1.0L : (long double)Dst / Src, c = (I + 0.5L) * Src / Dst;
    long double sum = 0;
    for (int64_t k = -int64_t(Src) - 8; k < 2 * int64_t(Src) + 8; ++k) {
        long double v;
        if (Id == 1) // area: the overlap of pixel k with the output's span
            v = std::max(0.0L,
                         std::min<long double>(k + 1, (I + 1.0L) * Src / Dst) -
                             std::max<long double>(k, (long double)I * Src / Dst));
        else if (Id == 9)
            v = k == std::min<int64_t>(int64_t(c), Src - 1);
        else
            v = Kernel(Id, (k + 0.5L - c) * scale);
        w[size_t(std::clamp<int64_t>(k, 0, Src - 1))] += v;
        sum += v;
    }
    for (auto& x : w)
        x /= sum;
    return w;
}

} // namespace

// Noise beside a hard edge, reduced and enlarged by 3, 7:3 and both ways at
// once: every filter's output is within a level of the one computed here
// from its formula, with the geometry of pixel centres (the integer kernels
// keep the rows between the passes within 0..255).
TEST(ResizeKnownAnswers, EveryFilterMatchesItsFormula)
{
    const TImg src(Filled(21, 15, 1, [](uint32_t x, uint32_t y, uint32_t) {
        return x < 11 ? uint8_t((x * 97 + y * 61 + x * y * 13) % 256) : uint8_t(y < 7 ? 250 : 5);
    }));
    const TImg small(Filled(7, 5, 1, [&](uint32_t x, uint32_t y, uint32_t) { return MemRow(src.I, y * 3)[x * 3]; }));
    struct TCase {
        const TImg& From;
        uint32_t W, H;
    };
    const TCase cases[] = {{src, 7, 5}, {small, 21, 15}, {src, 9, 35}, {small, 3, 11}, {src, 49, 6}};
    for (TConf conf : {TConf{3, false}, TConf{2, false}})
        for (uint32_t id = 1; id <= 9; ++id)
            for (const TCase& c : cases) {
                const uint32_t sw = c.From.I.Width, sh = c.From.I.Height;
                if (id == 1 && (c.W > sw || c.H > sh))
                    continue; // area averaging reduces only
                conf.Dec = conf.Int = id;
                const TImg got = Resize(conf, c.From.I, c.W, c.H);
                int worst = 0;
                for (uint32_t y = 0; y < c.H; ++y) {
                    const auto wy = AxisWeights(id, sh, c.H, y);
                    for (uint32_t x = 0; x < c.W; ++x) {
                        const auto wx = AxisWeights(id, sw, c.W, x);
                        long double v = 0;
                        for (uint32_t j = 0; j < sh; ++j) {
                            long double row = 0;
                            for (uint32_t i = 0; i < sw; ++i)
                                row += wx[i] * MemRow(c.From.I, j)[i];
                            v += wy[j] * (conf.Mode == 2 ? row : std::clamp(row, 0.0L, 255.0L));
                        }
                        const int want = int(std::lround(std::clamp(v, 0.0L, 255.0L)));
                        worst = std::max(worst, std::abs(MemRow(got.I, y)[x] - want));
                    }
                }
                EXPECT_LE(worst, 1) << conf.Name() << " " << sw << "x" << sh << " -> " << c.W << "x" << c.H;
            }
}

// A resize of one axis only is one pass whose rows were written with the
// stride of the source (in place) or of the family's intermediate form. The
// result must come back with the stride of its own width, every other reader
// takes the picture so: text masks one row high (huge fonts) or one column
// wide once overran the block they were copied into. One row, one column and
// a few rows, reduced and enlarged, into a new block, in place and in bands;
// the pixels those of the filter's formula (bilinear).
TEST(ResizeImage, OneAxisResultsHaveTheStrideOfTheirWidth)
{
    const TSize cases[] = {{4097, 1, 1025, 1}, {37, 1, 9, 1}, {5, 1, 61, 1}, {1, 4097, 1, 1025},
                           {1, 37, 1, 9},      {1, 5, 1, 61}, {37, 5, 9, 5}, {9, 6, 37, 6}};
    for (TConf conf : AllFamilies())
        for (uint32_t ch : {1u, 3u, 4u})
            for (const TSize& c : cases) {
                conf.Dec = conf.Int = 3;
                SCOPED_TRACE(testing::Message() << conf.Name() << " ch " << ch << " " << c.SW << "x" << c.SH << " -> "
                                                << c.W << "x" << c.H);
                // Opaque, so that alpha weighting changes no colour.
                TImg src(Filled(c.SW, c.SH, ch, [&](uint32_t x, uint32_t y, uint32_t k) {
                    return ch == 4 && k == 3 ? uint8_t(255) : uint8_t((x * 37 + y * 101 + k * 71) % 251);
                }));
                TImg inplace(Filled(c.SW, c.SH, ch,
                                    [&](uint32_t x, uint32_t y, uint32_t k) { return MemRow(src.I, y)[x * ch + k]; }));
                auto r = MakeResizer(conf);
                TImg apart;
                r->ResizeImage(src.I, apart.I, c.W, c.H, ch == 4);
                r->ResizeImage(inplace.I, c.W, c.H, ch == 4);
                TImg banded = BandResize(*r, src.I, c.W, c.H, 2);
                for (const TImg* out : {&apart, &inplace, &banded}) {
                    ASSERT_EQ(std::make_pair(out->I.Width, out->I.Height), std::make_pair(c.W, c.H));
                    ASSERT_EQ(out->I.Bpl, CalcBpl(c.W, ch));
                    EXPECT_TRUE(SamePixels(out->I, apart.I));
                }
                if (conf.Linear)
                    continue; // filtered in linear light: not the formula's levels
                int worst = 0;
                const bool across = c.W != c.SW;
                for (uint32_t y = 0; y < c.H; ++y)
                    for (uint32_t x = 0; x < c.W; ++x) {
                        const auto w = across ? AxisWeights(3, c.SW, c.W, x) : AxisWeights(3, c.SH, c.H, y);
                        for (uint32_t k = 0; k < ch; ++k) {
                            long double v = 0;
                            for (uint32_t i = 0; i < w.size(); ++i)
                                v += w[i] * (across ? MemRow(src.I, y)[i * ch + k] : MemRow(src.I, i)[x * ch + k]);
                            worst = std::max(worst, std::abs(MemRow(apart.I, y)[x * ch + k] - int(std::lround(v))));
                        }
                    }
                EXPECT_LE(worst, 1);
            }
}

// Halving with the area filter weighs each pair of pixels 1/2 and 1/2, so
// every output lies exactly halfway: the integer families round halves up
// (+ 8192 before the shift by 14), the float families to even; alpha, in
// every family, to even, and colour under an alpha sum of exactly 0.5 is 0.
// Both ways (the horizontal and the vertical kernels), every family alike.
TEST(ResizeFamilies, HalfwaySumsFollowEachFamilysTieRule)
{
    TKernelGuard guard;
    // Pairs 2,3  5,6  0,255  254,255, repeated past the vector widths.
    const uint8_t Pairs[8] = {2, 3, 5, 6, 0, 255, 254, 255};
    const uint8_t IntWant[4] = {3, 6, 128, 255}, FloatWant[4] = {2, 6, 128, 254};
    const uint32_t N = 48; // source pixels along the halved side
    std::vector<TKernelFamily> families = {TKernelFamily::Scalar, TKernelFamily::SSE2};
    if (CPUHasAVX2())
        families.push_back(TKernelFamily::AVX2);
    for (TKernelFamily f : families)
        for (uint32_t mode : {1u, 2u, 3u})
            for (bool across : {true, false})
                for (uint32_t ch : {1u, 3u}) {
                    SelectResizeKernels(f);
                    const TConf conf{mode, false, 1, 1};
                    // The pattern along the halved side, the same across the other.
                    const TImg src(Filled(across ? N : 5, across ? 5 : N, ch, [&](uint32_t x, uint32_t y, uint32_t c) {
                        return Pairs[((across ? x : y) + 2 * c) % 8];
                    }));
                    const TImg got = Resize(conf, src.I, across ? N / 2 : 5, across ? 5 : N / 2);
                    const uint8_t* want = mode == 2 ? FloatWant : IntWant;
                    for (uint32_t k = 0; k < N / 2; ++k)
                        for (uint32_t c = 0; c < ch; ++c) {
                            const uint8_t v = across ? MemRow(got.I, 2)[k * ch + c] : MemRow(got.I, k)[2 * ch + c];
                            ASSERT_EQ(v, want[(k + c) % 4])
                                << ResizeKernels().Name << " " << conf.Name() << " channels " << ch
                                << (across ? " across" : " down") << " at " << k;
                        }
                }
    // Alpha pairs 2,3  0,1  128,129  254,255 under a constant colour 100.
    const uint8_t AlphaPairs[8] = {2, 3, 0, 1, 128, 129, 254, 255};
    const uint8_t AlphaWant[4] = {2, 0, 128, 254};
    for (TKernelFamily f : families)
        for (uint32_t mode : {1u, 2u, 3u})
            for (bool across : {true, false}) {
                SelectResizeKernels(f);
                const TConf conf{mode, false, 1, 1};
                const TImg src(Filled(across ? N : 4, across ? 4 : N, 4, [&](uint32_t x, uint32_t y, uint32_t c) {
                    return c == 3 ? AlphaPairs[(across ? x : y) % 8] : uint8_t(100);
                }));
                const TImg got = Resize(conf, src.I, across ? N / 2 : 4, across ? 4 : N / 2);
                for (uint32_t k = 0; k < N / 2; ++k) {
                    const uint8_t* px = across ? MemRow(got.I, 1) + 4 * k : MemRow(got.I, k) + 4;
                    ASSERT_EQ(px[3], AlphaWant[k % 4])
                        << ResizeKernels().Name << " " << conf.Name() << (across ? " across" : " down") << " at " << k;
                    if (AlphaWant[k % 4] == 0) { // (0 + 1) / 2: an alpha sum of 0.5 is no colour
                        ASSERT_EQ(px[0] + px[1] + px[2], 0)
                            << ResizeKernels().Name << " " << conf.Name() << " at " << k;
                    }
                }
            }
}
