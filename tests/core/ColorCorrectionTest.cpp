#include "core/ColorCorrectionFunc.h"
#include "core/ColorKernels.h"
#include "core/Errors.h"
#include "PictureTestUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

struct Family {
    const char* Name;
    TColorConvProc ToRGB3, ToRGB4, To16_3, From16_3, To16_4, From16_4;
    TApplyLUTProc RGBLUT, LUT8, LUT16;
};
const Family Families[] = {
    {"ref", YCbCrToRGB3Ref, YCbCrToRGB4Ref, RGB3ToYCbCr16Ref, YCbCr16ToRGB3Ref, RGB4ToYCbCr16Ref, YCbCr16ToRGB4Ref,
     ApplyRGBLUTRef, ApplyYCbCrLUT8Ref, ApplyYCbCrLUT16Ref},
    {"sse2", YCbCrToRGB3SSE2, YCbCrToRGB4SSE2, RGB3ToYCbCr16SSE2, YCbCr16ToRGB3SSE2, RGB4ToYCbCr16SSE2,
     YCbCr16ToRGB4SSE2, ApplyRGBLUTSSE2, ApplyYCbCrLUT8SSE2, ApplyYCbCrLUT16SSE2},
};

} // namespace

TEST(YCbCr16, RoundTripOfRandomPicturesStaysWithinOneStep)
{
    for (const Family& f : Families)
        for (uint32_t c : {3u, 4u})
            for (uint32_t w : {1u, 7u, 17u, 33u, 101u}) {
                SCOPED_TRACE(std::string(f.Name) + " c" + std::to_string(c) + " w" + std::to_string(w));
                TPicture m(w, 5, c);
                FillRandom(m, w * 10 + c, true);
                const std::vector<uint8_t> before = m.Bytes();
                const uint32_t bpl = m.I.Bpl;
                (c == 3 ? f.To16_3 : f.To16_4)(m.I);
                (c == 3 ? f.From16_3 : f.From16_4)(m.I);
                int worst = 0;
                for (uint32_t y = 0; y < 5; ++y)
                    for (uint32_t x = 0; x < w * c; ++x) {
                        const int d = std::abs(int(MemRow(m.I, y)[x]) - int(before[y * bpl + x]));
                        if (c == 4 && x % 4 == 3) {
                            ASSERT_EQ(d, 0) << "alpha changed";
                        }
                        worst = std::max(worst, d);
                    }
                EXPECT_LE(worst, 1);
            }
}

TEST(YCbCr16, InverseSaturatesLumaOutsideTheScale)
{
    for (const Family& f : Families) {
        TPicture m(20, 1, 3, true);
        const int16_t in[4][3] = {{-100, 0, 0}, {5000, 0, 0}, {-32768, 2040, -2040}, {32767, 2040, -2040}};
        for (uint32_t x = 0; x < 20; ++x)
            std::memcpy(m.W(x, 0), in[x % 4], 6);
        f.From16_3(m.I);
        for (uint32_t x = 0; x < 20; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(m.Px(x, 0)[c], x % 2 ? 255 : 0) << f.Name << " pixel " << x;
    }
}

TEST(YCbCr16, FailedAllocationLeavesThePictureAlone)
{
    // A record whose size cannot be met: the conversion must raise the
    // out-of-memory error before it reads or frees anything.
    TPicture m(4, 1, 3);
    TImgInfo big = m.I;
    big.Width = 0xFFFFFFF0u;
    big.Height = 0x40000000u;
    const TImgInfo saved = big;
    for (const Family& f : Families) {
        EXPECT_THROW(f.To16_3(big), EOutOfMemory);
        EXPECT_EQ(big.Mem, saved.Mem);
        EXPECT_EQ(big.Bpl, saved.Bpl);
    }
}

TEST(ColorKernels, SSE2MatchesReferenceByteForByte)
{
    const Family &R = Families[0], &S = Families[1];
    for (uint32_t w : {1u, 8u, 15u, 16u, 17u, 31u, 48u, 67u}) {
        // A random table (entries beyond 0..255 too) for the table appliers.
        std::vector<int16_t> table(YCbCrLUT12Size);
        std::mt19937 rng(w);
        for (auto& t : table)
            t = int16_t(int(rng() % 700) - 200);
        // Both kernels on one random picture, spare bytes included; the 16-bit
        // form from legal and from wild words (sharpened luma, odd chroma).
        auto same = [&](const char* Name, uint32_t C, bool Is16, bool Wild, auto Ref, auto Sse) {
            TPicture a(w, 3, C, Is16), b(w, 3, C, Is16);
            for (TPicture* p : {&a, &b})
                Is16 ? FillRandom16(*p, 3 * w + C, Wild) : FillRandom(*p, 7 * w + C, true);
            Ref(a.I);
            Sse(b.I);
            EXPECT_EQ(a.Bytes(), b.Bytes()) << Name << " width " << w << " channels " << C << " wild " << Wild;
        };
        for (uint32_t c : {3u, 4u}) {
            const bool three = c == 3;
            same("YCbCrToRGB", c, false, false, three ? R.ToRGB3 : R.ToRGB4, three ? S.ToRGB3 : S.ToRGB4);
            same("RGBToYCbCr16", c, false, false, three ? R.To16_3 : R.To16_4, three ? S.To16_3 : S.To16_4);
            for (bool wild : {false, true})
                same("YCbCr16ToRGB", c, true, wild, three ? R.From16_3 : R.From16_4, three ? S.From16_3 : S.From16_4);
        }
        for (uint32_t c : {1u, 3u, 4u}) {
            auto lut = [&](TApplyLUTProc P) { return [&table, P](TImgInfo& I) { P(I, table.data()); }; };
            same("RGB table", c, false, false, lut(R.RGBLUT), lut(S.RGBLUT));
            same("8-bit table", c, false, false, lut(R.LUT8), lut(S.LUT8));
            same("16-bit table", c, true, true, lut(R.LUT16), lut(S.LUT16));
        }
    }
}

TEST(ColorLUT, DegenerateSettingsDoNotBreakTheTables)
{
    // Contrast 256 and beyond used to divide by zero or invert the slope; a
    // gamma of 0 divided by zero. Both are clamped.
    int16_t a[RGBLUTSize], b[RGBLUTSize];
    BuildRGBLUT(0, 256, a, 1.0);
    BuildRGBLUT(0, 255, b, 1.0);
    EXPECT_EQ(0, std::memcmp(a, b, sizeof a));
    BuildRGBLUT(0, 100000, a, 1.0);
    EXPECT_EQ(0, std::memcmp(a, b, sizeof a));
    BuildRGBLUT(0, 0, a, 0.0);
    int16_t t[YCbCrLUT8Size];
    BuildYCbCrLUT8(0, 0, 0, 0.0, t);
    for (int i = 1; i < 256; ++i) {
        EXPECT_GE(a[i], a[i - 1]);
        EXPECT_GE(t[i], t[i - 1]);
        EXPECT_LE(t[i], 255);
    }
}

// The tables against their formulas: black and white points, luma gamma and
// chroma gain; hue, contrast and RGB gamma per channel (blue, green, red).
TEST(ColorLUT, TablesFollowTheirFormulas)
{
    struct TCase {
        int32_t Min, Max, Chroma, Hue, Contrast;
        double Gamma;
    };
    for (const TCase c : {TCase{20, 30, 60, 100, 80, 1.6}, TCase{-15, -40, -100, -70, -90, 0.7}}) {
        int16_t y[YCbCrLUT8Size], rgb[RGBLUTSize];
        BuildYCbCrLUT8(c.Min, c.Max, c.Chroma, c.Gamma, y);
        BuildRGBLUT(c.Hue, c.Contrast, rgb, c.Gamma);
        const long double inLo = c.Min >= 0 ? 0 : -c.Min, outLo = c.Min >= 0 ? c.Min : 0;
        const long double inHi = c.Max >= 0 ? 255 - c.Max : 255, outHi = c.Max >= 0 ? 255 : 255 + c.Max;
        const long double num = c.Contrast >= 0 ? 256 : c.Contrast + 255;
        const long double den = c.Contrast >= 0 ? 256 - c.Contrast : 255;
        for (int i = 0; i < 256; ++i) {
            const long double g = 255 * std::pow(i / 255.0L, 1 / (long double)c.Gamma);
            const long double gd = double(g); // the RGB table works from a double
            const long double luma = std::clamp((g - inLo) * (outHi - outLo) / (inHi - inLo) + outLo, 0.0L, 255.0L);
            const long double gain = c.Chroma >= 0 ? (c.Chroma + 128) / 128.0L : (c.Chroma + 255) / 255.0L;
            EXPECT_EQ(y[i], int(luma)) << i;
            EXPECT_EQ(y[256 + i], int(std::trunc((i - 128) * gain + 128.5L))) << i;
            const long double v[3] = {((c.Hue + 512) * gd / 512 - 127.5L) * num / den + 128,
                                      (gd - 127.5L) * num / den + 128,
                                      ((1024 - c.Hue) * gd / 1024 - 127.5L) * num / den + 128};
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(rgb[256 * k + i], int(std::clamp(v[k], 0.0L, 255.0L))) << k << " " << i;
            EXPECT_EQ(rgb[768 + i], rgb[256 + i]);
        }
    }
}

TEST(ColorLUT, Luma16IndexIsClampedToTheTable)
{
    // A sharpened luma plane carries words outside 0..4080; they must map to
    // the ends of the luma part, never read past the table.
    std::vector<int16_t> table(YCbCrLUT12Size);
    for (int i = 0; i < YCbCrLUT12Size; ++i)
        table[i] = int16_t(i);
    for (const Family& f : Families) {
        TPicture m(10, 1, 3, true);
        const int16_t in[][3] = {{-100, 3000, -3000}, {5000, 0, 0}, {-32768, 32767, -32768}, {100, 5, -5}};
        for (uint32_t x = 0; x < 10; ++x)
            std::memcpy(m.W(x, 0), in[x % 4], 6);
        f.LUT16(m.I, table.data());
        const int16_t want[][3] = {{0, 8176, 4096}, {4080, 6136, 6136}, {0, 8176, 4096}, {100, 6141, 6131}};
        for (uint32_t x = 0; x < 10; ++x)
            EXPECT_EQ(0, std::memcmp(m.W(x, 0), want[x % 4], 6)) << f.Name << " " << x;

        TPicture plane(9, 1, 1, true);
        for (uint32_t x = 0; x < 9; ++x)
            *plane.W(x, 0) = int16_t(x % 2 ? 60000 - 65536 : 9000);
        f.LUT16(plane.I, table.data());
        for (uint32_t x = 0; x < 9; ++x)
            EXPECT_EQ(*plane.W(x, 0), x % 2 ? 0 : 4080) << f.Name;
    }
}
