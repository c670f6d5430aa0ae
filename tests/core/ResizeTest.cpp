#include "core/Errors.h"
#include "core/FilterKernels.h"
#include "core/Resize.h"

#include <gtest/gtest.h>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

namespace {

// An image whose neighbouring bytes differ, so that a kernel that reads the
// wrong sample cannot pass by accident.
TImgInfo Noise(uint32_t W, uint32_t H, uint32_t C, uint32_t Seed = 1)
{
    TImgInfo img;
    AllocImg(img, W, H, C);
    uint32_t s = Seed * 2654435761u + 12345;
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W * C; ++x) {
            s ^= s << 13;
            s ^= s >> 17;
            s ^= s << 5;
            MemRow(img, y)[x] = uint8_t(s >> 7);
        }
    return img;
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

struct TImg {
    TImgInfo I;
    TImg() = default;
    explicit TImg(const TImgInfo& A) : I(A) {}
    TImg(TImg&& O) noexcept : I(O.I) { O.I = TImgInfo{}; }
    TImg& operator=(TImg&& O) noexcept
    {
        std::swap(I, O.I);
        return *this;
    }
    ~TImg() { FreeImg(I); }
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
::testing::AssertionResult SamePixels(const TImgInfo& A, const TImgInfo& B, int Tolerance = 0)
{
    if (A.Width != B.Width || A.Height != B.Height || A.Channels != B.Channels)
        return ::testing::AssertionFailure() << "geometry " << A.Width << "x" << A.Height << " vs " << B.Width
                                             << "x" << B.Height;
    for (uint32_t y = 0; y < A.Height; ++y)
        for (uint32_t x = 0; x < A.Width * A.Channels; ++x) {
            const int d = int(MemRow(A, y)[x]) - int(MemRow(B, y)[x]);
            if (std::abs(d) > Tolerance)
                return ::testing::AssertionFailure() << "byte " << x << " of row " << y << ": "
                                                     << int(MemRow(A, y)[x]) << " vs " << int(MemRow(B, y)[x]);
        }
    return ::testing::AssertionSuccess();
}

// Restores the start-up kernel choice after a test that forces one.
struct TKernelGuard {
    ~TKernelGuard() { SelectResizeKernels(TKernelFamily::Best); }
};

std::vector<TConf> AllFamilies()
{
    return {{1, false}, {2, false}, {3, false}, {3, true}};
}

} // namespace

TEST(ResizeFamilies, EveryVectorFamilyGivesTheScalarBytes)
{
    TKernelGuard guard;
    struct TCase {
        uint32_t SW, SH, DW, DH;
    };
    // Both sides, width only, height only; odd sizes and sizes 1, 2, 3, 5, 17, 1023.
    const TCase cases[] = {
        {37, 23, 1, 1},   {37, 23, 2, 3},   {37, 23, 5, 17},   {37, 23, 17, 2},  {37, 23, 61, 45},
        {37, 23, 3, 23},  {37, 23, 1023, 23}, {37, 23, 17, 23}, {37, 23, 37, 1},  {37, 23, 37, 5},
        {37, 23, 37, 47}, {1, 7, 5, 3},     {2, 2, 1, 1},      {3, 5, 1023, 2},  {5, 1, 2, 17},
        {1023, 5, 17, 3}, {1023, 3, 1023, 17}, {17, 17, 16, 16}, {20000, 3, 20, 2},
    };
    std::vector<TKernelFamily> vec = {TKernelFamily::SSE2};
    if (CPUHasAVX2())
        vec.push_back(TKernelFamily::AVX2);
    for (TConf conf : AllFamilies())
        for (uint32_t filters : {2u, 1u, 9u}) {
            conf.Dec = filters;
            conf.Int = filters == 1 ? 6 : filters;
            for (uint32_t ch : {1u, 3u, 4u})
                for (const TCase& c : cases) {
                    TImg src(Noise(c.SW, c.SH, ch, c.SW * 31 + c.DH));
                    SelectResizeKernels(TKernelFamily::Scalar);
                    TImg ref = Resize(conf, src.I, c.DW, c.DH);
                    for (TKernelFamily f : vec) {
                        SelectResizeKernels(f);
                        TImg got = Resize(conf, src.I, c.DW, c.DH);
                        ASSERT_TRUE(SamePixels(ref.I, got.I))
                            << ResizeKernels().Name << " " << conf.Name() << " channels " << ch << " " << c.SW
                            << "x" << c.SH << " -> " << c.DW << "x" << c.DH;
                    }
                }
        }
}

TEST(ResizeThreads, OneThreadAndManyGiveTheSameBytes)
{
    for (TConf conf : AllFamilies())
        for (uint32_t ch : {1u, 3u, 4u}) {
            TImg src(Noise(203, 157, ch, ch));
            for (auto [w, h] : {std::pair{96u, 61u}, std::pair{203u, 70u}, std::pair{90u, 157u}, std::pair{411u, 300u}}) {
                conf.Threads = 1;
                TImg one = Resize(conf, src.I, w, h);
                for (int32_t n : {3, 8, 64}) {
                    conf.Threads = n;
                    EXPECT_TRUE(SamePixels(one.I, Resize(conf, src.I, w, h).I)) << conf.Name() << " ch " << ch;
                }
            }
        }
}

TEST(ResizeThreads, AShareWhoseThreadCannotStartRunsOnTheCaller)
{
    static int calls;
    calls = 0;
    StartPassThread = [](std::function<void()> Body) {
        if (++calls % 2)
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(Body));
    };
    TImg src(Noise(150, 90, 3));
    TImg one = Resize({3, false, 2, 2, 1}, src.I, 61, 37);
    EXPECT_EQ(calls, 0); // one thread per pass: the caller does it all
    TImg many = Resize({3, false, 2, 2, 8}, src.I, 61, 37);
    StartPassThread = [](std::function<void()> Body) { return std::thread(std::move(Body)); };
    EXPECT_GT(calls, 4);
    EXPECT_TRUE(SamePixels(one.I, many.I));
}

TEST(ResizeThreads, ThreadCountIsClamped)
{
    TResizer r;
    r.SetSIMDMode(3, false);
    r.SetMaxThreadNum(0);
    EXPECT_EQ(r.MaxThreadNum, 1);
    r.SetMaxThreadNum(-7);
    EXPECT_EQ(r.MaxThreadNum, 1);
    r.SetMaxThreadNum(1000);
    EXPECT_EQ(r.MaxThreadNum, 64);
    EXPECT_EQ(r.RF->MaxThreadNum(), 64u);
}

TEST(ResizeImage, InPlaceEqualsSeparateDestination)
{
    for (TConf conf : AllFamilies())
        for (uint32_t ch : {1u, 3u, 4u})
            for (auto [w, h] : {std::pair{40u, 29u}, std::pair{40u, 61u}, std::pair{90u, 61u}, std::pair{13u, 61u},
                                std::pair{33u, 8u}}) {
                conf.Threads = 3;
                TImg src(Noise(61, 29, ch, w));
                TImg sep = Resize(conf, src.I, w, h);
                auto r = MakeResizer(conf);
                TImg inplace(Noise(61, 29, ch, w));
                r->ResizeImage(inplace.I, w, h, ch == 4);
                EXPECT_TRUE(SamePixels(sep.I, inplace.I)) << conf.Name() << " ch " << ch << " " << w << "x" << h;
            }
}

TEST(ResizeImage, SameSizeDoesNothingAndPlansAreReused)
{
    auto r = MakeResizer({});
    TImg src(Noise(20, 10, 3));
    TImgInfo dest;
    dest.Mem = reinterpret_cast<uint8_t*>(&dest); // untouched marker
    r->ResizeImage(src.I, dest, 20, 10, false);
    EXPECT_EQ(dest.Mem, reinterpret_cast<uint8_t*>(&dest));
    EXPECT_EQ(r->RF->HPrm.SrcLength, 0u); // no plan made

    TImg a, b;
    r->ResizeImage(src.I, a.I, 7, 5, false);
    const void* table = r->RF->HPrm.WeightTableBuf;
    EXPECT_EQ(a.I.Width, 7u);
    EXPECT_EQ(a.I.Bpl, CalcBpl(7, 3));
    r->ResizeImage(src.I, b.I, 7, 5, false);
    EXPECT_EQ(r->RF->HPrm.WeightTableBuf, table); // second image: no new plan
    EXPECT_TRUE(SamePixels(a.I, b.I));

    // 4 channels after 3 re-creates the filter, and back.
    TImg rgba(Noise(20, 10, 4)), c;
    r->ResizeImage(rgba.I, c.I, 7, 5, true);
    EXPECT_TRUE(r->RF->FIsRGBA);
    TImg d;
    r->ResizeImage(src.I, d.I, 7, 5, false);
    EXPECT_FALSE(r->RF->FIsRGBA);
    EXPECT_TRUE(SamePixels(a.I, d.I));

    // A copy shares the setters and gives the same bytes.
    std::unique_ptr<TResizer> copy(r->CreateMTResizer());
    EXPECT_EQ(copy->DecimationWeightSetter, r->DecimationWeightSetter);
    EXPECT_NE(copy->RF, r->RF);
    TImg e;
    copy->ResizeImage(src.I, e.I, 7, 5, false);
    EXPECT_TRUE(SamePixels(a.I, e.I));
}

TEST(ResizeImage, ASeriesOfPicturesGivesWhatFreshResizersGive)
{
    // The plan and the temporary block are kept between pictures of one size:
    // nothing of the first picture may show in the second.
    for (TConf conf : AllFamilies())
        for (uint32_t ch : {1u, 3u, 4u}) {
            auto r = MakeResizer(conf);
            for (uint32_t seed = 1; seed <= 3; ++seed) {
                TImg src(Noise(71, 45, ch, seed * 7));
                TImg kept, fresh = Resize(conf, src.I, 30, 19);
                r->ResizeImage(src.I, kept.I, 30, 19, ch == 4);
                EXPECT_TRUE(SamePixels(fresh.I, kept.I)) << conf.Name() << " ch " << ch << " picture " << seed;
            }
        }
}

TEST(ResizeImage, ExtremeAspectRatiosStayInsideTheirBlocks)
{
    // Rows of one pixel, axes of thousands: the kernels' over-reach must stay
    // in the padding (the sanitizer build checks it).
    for (TConf conf : AllFamilies())
        for (uint32_t ch : {1u, 3u, 4u})
            for (auto [sw, sh, dw, dh] : {std::array<uint32_t, 4>{1, 1, 3001, 2}, std::array<uint32_t, 4>{3001, 2, 1, 1},
                                          std::array<uint32_t, 4>{2, 3001, 1, 5}, std::array<uint32_t, 4>{1, 3, 2, 3001}}) {
                TImg src(Filled(sw, sh, ch, [](uint32_t, uint32_t, uint32_t) { return uint8_t(90); }));
                TImg out = Resize(conf, src.I, dw, dh);
                ASSERT_EQ(out.I.Width, dw);
                // Integer rows of thousands of truncated Q14 weights lose up to
                // a unit each: a 3000:1 reduction comes out up to 10 % dark.
                const int tol = conf.Mode == 2 || conf.Linear ? 1 : 9;
                for (uint32_t y = 0; y < dh; y += 97)
                    EXPECT_NEAR(MemRow(out.I, y)[0], 90, tol) << conf.Name() << " " << sw << "x" << sh << " -> " << dw
                                                            << "x" << dh;
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
                TImg src(Filled(53, 41, ch, [](uint32_t, uint32_t, uint32_t c) { return uint8_t(c == 3 ? 255 : 77 + 40 * c); }));
                for (auto [w, h] : {std::pair{20u, 13u}, std::pair{131u, 90u}, std::pair{20u, 41u}, std::pair{53u, 90u}}) {
                    TImg out = Resize(conf, src.I, w, h);
                    for (uint32_t y = 0; y < h; ++y)
                        for (uint32_t x = 0; x < w; ++x)
                            for (uint32_t c = 0; c < ch; ++c) {
                                const int want = c == 3 ? 255 : 77 + 40 * c;
                                ASSERT_EQ(MemRow(out.I, y)[x * ch + c], want)
                                    << conf.Name() << " ch " << ch << " " << w << "x" << h << " at " << x << "," << y;
                            }
                }
            }
        }
}

TEST(ResizeInvariants, StrongReductionsKeepTheLevel)
{
    // Thousands of taps per output pixel: a white row stays white, and an
    // average over the whole row is the average of all of it.
    for (TConf conf : AllFamilies())
        for (uint32_t id : {1u, 2u, 7u}) {
            conf.Dec = id;
            for (uint32_t ch : {1u, 3u, 4u}) {
                TImg white(Filled(20000, 2, ch, [](uint32_t, uint32_t, uint32_t) { return uint8_t(255); }));
                TImg out = Resize(conf, white.I, 20, 2);
                for (uint32_t y = 0; y < 2; ++y)
                    for (uint32_t x = 0; x < 20 * ch; ++x)
                        ASSERT_EQ(MemRow(out.I, y)[x], 255) << conf.Name() << " ch " << ch << " byte " << x;
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

TEST(ResizeInvariants, EveryWidthFromThreeHundredLeavesNoDarkEdge)
{
    // The edge pixels must match the middle ones.
    for (uint32_t id : {1u, 2u, 7u}) {
        TConf conf;
        conf.Dec = id;
        TImg wide(Filled(300, 3, 3, [](uint32_t, uint32_t, uint32_t) { return uint8_t(200); }));
        TImg tall(Filled(3, 300, 1, [](uint32_t, uint32_t, uint32_t) { return uint8_t(200); }));
        auto r = MakeResizer(conf);
        for (uint32_t n = 1; n < 300; ++n) {
            TImg a, b;
            r->ResizeImage(wide.I, a.I, n, 3, false);
            r->ResizeImage(tall.I, b.I, 3, n, false);
            const int mid = MemRow(a.I, 1)[n / 2 * 3];
            ASSERT_EQ(mid, 200) << "filter " << id << " width " << n;
            for (uint32_t i = 0; i < n * 3; ++i)
                ASSERT_LE(std::abs(MemRow(a.I, 1)[i] - mid), 1) << "filter " << id << " width " << n << " at " << i;
            for (uint32_t y = 0; y < n; ++y)
                ASSERT_LE(std::abs(MemRow(b.I, y)[1] - mid), 1) << "filter " << id << " height " << n << " at " << y;
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

TEST(ResizeInvariants, LinearLightAveragesLight)
{
    TConf conf;
    conf.Linear = true;
    conf.Dec = 1;
    TImg src(Filled(2, 1, 1, [](uint32_t x, uint32_t, uint32_t) { return uint8_t(x ? 255 : 0); }));
    EXPECT_EQ(MemRow(Resize(conf, src.I, 1, 1).I, 0)[0], 188);
    conf.Linear = false;
    EXPECT_EQ(MemRow(Resize(conf, src.I, 1, 1).I, 0)[0], 128);
}

TEST(ResizeQuality, IntegerLanczosIsWithinOneLevelOfExactArithmetic)
{
    // A smooth picture with fine detail; the exact result uses the same
    // weights without rounding between the passes.
    TImg src(Filled(300, 200, 1, [](uint32_t x, uint32_t y, uint32_t) {
        return uint8_t(128 + 90 * std::sin(x * 0.07) * std::cos(y * 0.05) + 20 * std::sin(x * 0.9 + y * 0.3));
    }));
    auto r = MakeResizer({});
    TImg out;
    r->ResizeImage(src.I, out.I, 97, 61, false);
    const TResizeParam& hp = r->RF->HPrm;
    const TResizeParam& vp = r->RF->VPrm;
    auto weights = [](const TResizeParam& P, uint32_t I, uint64_t Step, int64_t& First) {
        const auto* w = reinterpret_cast<const int16_t*>(P.WeightTableInfo[2 * I + 1]);
        uint32_t n;
        std::memcpy(&n, reinterpret_cast<const uint8_t*>(w) - 4, 4);
        First = int64_t(P.WeightTableInfo[2 * I] / Step) * 2;
        return std::vector<int16_t>(w, w + 2 * n);
    };
    std::vector<double> tmp(97 * 200);
    for (uint32_t y = 0; y < 200; ++y)
        for (uint32_t x = 0; x < 97; ++x) {
            int64_t f;
            auto w = weights(hp, x, hp.Step, f);
            double s = 0;
            for (size_t k = 0; k < w.size(); ++k)
                if (f + int64_t(k) < 300)
                    s += w[k] / 16384.0 * MemRow(src.I, y)[f + k];
            tmp[y * 97 + x] = s;
        }
    int worst = 0;
    for (uint32_t y = 0; y < 61; ++y) {
        int64_t f;
        auto w = weights(vp, y, vp.Step, f);
        for (uint32_t x = 0; x < 97; ++x) {
            double s = 0;
            for (size_t k = 0; k < w.size(); ++k)
                if (f + int64_t(k) < 200)
                    s += w[k] / 16384.0 * tmp[(f + k) * 97 + x];
            const int exact = int(std::lround(std::clamp(s, 0.0, 255.0)));
            worst = std::max(worst, std::abs(exact - MemRow(out.I, y)[x]));
        }
    }
    EXPECT_LE(worst, 1);
}

TEST(ResizeFamilies, SixteenBitLinearKernelMatchesTheEightBitOne)
{
    // The 12-bit scale is the 8-bit one times 16, so the same picture must give
    // the same linear-light sums through both horizontal kernels.
    InitGammaTables();
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

namespace {

// Feeds Src to a band resize in bands of BandRows rows, top to bottom, each
// band a picture of its own as a decoder hands it over.
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

// A picture resized as it arrives in bands gives the bytes of the whole
// picture resized at once, for every kernel family, channel count, thread
// count and band size, and for sizes where only one side changes.
TEST(BandResize, SameBytesAsTheWholePicture)
{
    struct TSize {
        uint32_t SW, SH, W, H;
    };
    const TSize sizes[] = {{301, 211, 97, 61}, {130, 77, 260, 150}, {301, 211, 97, 211}, {97, 203, 97, 55},
                           {64, 1, 16, 1}, {45, 1301, 23, 640}};
    for (TConf conf : AllFamilies())
        for (int32_t threads : {1, 3})
            for (uint32_t ch : {1u, 3u, 4u}) {
                conf.Threads = threads;
                for (const TSize& s : sizes) {
                    TImg src(Noise(s.SW, s.SH, ch, s.SW + ch));
                    TImg whole = Resize(conf, src.I, s.W, s.H);
                    auto r = MakeResizer(conf);
                    for (uint32_t band : {1u, 7u, 64u, 1000u}) {
                        TImg got = BandResize(*r, src.I, s.W, s.H, band);
                        EXPECT_TRUE(SamePixels(got.I, whole.I))
                            << conf.Name() << " ch " << ch << " " << s.SW << "x" << s.SH << " -> " << s.W << "x"
                            << s.H << " band " << band;
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
    TImg src(Noise(40, 30, 3));
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
