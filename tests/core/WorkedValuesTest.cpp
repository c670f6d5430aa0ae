// Worked numbers of the integer kernels: the colours of the luma/chroma
// conversions, the unsharp mask's soft threshold and amounts, and the blur and
// sharpen passes against their fixed-point formulas, exact to the level.
#include "core/ColorKernels.h"
#include "core/ImageLoader.h"
#include "core/WeightedMean.h"
#include "FilesTestUtil.h"
#include "PictureTestUtil.h"

#include <cmath>

namespace {

struct TConvFamily {
    const char* Name;
    void (*To16)(TImgInfo&);
    void (*From16)(TImgInfo&);
    void (*From8)(TImgInfo&);
};
const TConvFamily ConvFamilies[] = {
    {"ref", RGB3ToYCbCr16Ref, YCbCr16ToRGB3Ref, YCbCrToRGB3Ref},
    {"sse2", RGB3ToYCbCr16SSE2, YCbCr16ToRGB3SSE2, YCbCrToRGB3SSE2},
};

// 14-bit weights of one position of a pass over Len samples: the Gaussian of
// the given radius (sigma half of it) folded onto the edge samples and
// truncated, as the weight builder makes them.
std::vector<int32_t> IntWeights(int Len, int I, double FRadius)
{
    const int R = int(std::ceil(FRadius));
    std::vector<double> Slot(static_cast<size_t>(Len), 0.0);
    double Sum = 0;
    for (int k = I - R; k <= I + R; ++k) {
        const double x = 2.0 * (k - I) / FRadius;
        const double w = std::exp(-x * x / 2) / std::sqrt(2 * M_PI);
        Slot[size_t(std::clamp(k, 0, Len - 1))] += w;
        Sum += w;
    }
    std::vector<int32_t> W(static_cast<size_t>(Len));
    for (int j = 0; j < Len; ++j)
        W[size_t(j)] = int32_t(Slot[size_t(j)] / Sum * 16384);
    return W;
}

int32_t Round14(int64_t Sum)
{
    return int32_t((Sum + 8192) >> 14);
}

// The two fixed-point passes: rows first, each rounded and kept as a byte,
// then columns, rounded; Clamp says what the column sum is saturated to.
std::vector<int32_t> FixedPointBlur(const TPicture& Src, double FRadius, int32_t Lo, int32_t Hi)
{
    const int W = int(Src.I.Width), H = int(Src.I.Height);
    std::vector<int32_t> Rows(size_t(W * H)), Out(size_t(W * H));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const auto Wt = IntWeights(W, x, FRadius);
            int64_t s = 0;
            for (int i = 0; i < W; ++i)
                s += int64_t(Wt[size_t(i)]) * MemRow(Src.I, uint32_t(y))[i];
            Rows[size_t(y * W + x)] = std::clamp(Round14(s), 0, 255);
        }
    for (int y = 0; y < H; ++y) {
        const auto Wt = IntWeights(H, y, FRadius);
        for (int x = 0; x < W; ++x) {
            int64_t s = 0;
            for (int j = 0; j < H; ++j)
                s += int64_t(Wt[size_t(j)]) * Rows[size_t(j * W + x)];
            Out[size_t(y * W + x)] = std::clamp(Round14(s), Lo, Hi);
        }
    }
    return Out;
}

// A test picture with noise beside a hard edge, the cases where rounding and
// truncation show.
TPicture NoiseAndEdge(uint32_t W, uint32_t H)
{
    TPicture m(W, H);
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x)
            *m.Px(x, y) = x < W / 2 ? uint8_t((x * 97 + y * 61) % 256) : uint8_t(y < H / 2 ? 240 : 10);
    return m;
}

// The soft threshold with a threshold T and the coefficient K (in 1/4096)
// written out on its own: a difference d of at least T passes unchanged,
// below it fades as max(2|d| - T, 0), and the sign comes back as r or -r - 1.
int32_t SharpenedByFormula(int32_t O, int32_t B, int32_t T, int32_t K)
{
    const int32_t d = B - O;
    const int32_t a = d < 0 ? -d - 1 : d;
    const int32_t r = a >= T ? a : std::max(2 * a - T, 0);
    const int32_t dd = d < 0 ? -r - 1 : r;
    const int32_t c = int32_t(std::floor(double(dd) * K / 4096.0));
    return O + c;
}

} // namespace

// Colours worked by hand through the full-range matrix: exact 16-bit words,
// and each back to the same 8-bit colour.
TEST(WorkedValues, LumaChromaWordsOfKnownColours)
{
    struct TCase {
        uint8_t R, G, B;
        int16_t Y, Cb, Cr;
    };
    const TCase Cases[] = {
        {0, 0, 0, 0, 0, 0},           {255, 255, 255, 4080, 0, 0},
        {128, 128, 128, 2048, 0, 0},  {255, 0, 0, 1220, -688, 2040},
        {0, 0, 255, 465, 2040, -332}, {10, 200, 30, 1981, -847, -1299},
    };
    for (const TConvFamily& f : ConvFamilies) {
        TPicture m(std::size(Cases), 1, 3);
        for (size_t i = 0; i < std::size(Cases); ++i) {
            uint8_t* p = m.Px(uint32_t(i), 0);
            p[0] = Cases[i].B, p[1] = Cases[i].G, p[2] = Cases[i].R;
        }
        f.To16(m.I);
        for (size_t i = 0; i < std::size(Cases); ++i) {
            const int16_t* w = reinterpret_cast<int16_t*>(MemRow(m.I, 0)) + 3 * i;
            EXPECT_EQ(std::vector<int>({w[0], w[1], w[2]}), std::vector<int>({Cases[i].Y, Cases[i].Cb, Cases[i].Cr}))
                << f.Name << " colour " << i;
        }
        f.From16(m.I);
        for (size_t i = 0; i < std::size(Cases); ++i) {
            const uint8_t* p = MemRow(m.I, 0) + 3 * i;
            EXPECT_EQ(std::vector<int>({p[2], p[1], p[0]}), std::vector<int>({Cases[i].R, Cases[i].G, Cases[i].B}))
                << f.Name << " back, colour " << i;
        }
    }
}

TEST(WorkedValues, EightBitLumaChromaToColour)
{
    struct TCase {
        uint8_t Y, Cb, Cr, R, G, B;
    };
    const TCase Cases[] = {{255, 128, 128, 255, 255, 255}, {0, 128, 128, 0, 0, 0}, {76, 85, 255, 254, 0, 0}};
    for (const TConvFamily& f : ConvFamilies) {
        TPicture m(std::size(Cases), 1, 3);
        for (size_t i = 0; i < std::size(Cases); ++i) {
            uint8_t* p = m.Px(uint32_t(i), 0);
            p[0] = Cases[i].Y, p[1] = Cases[i].Cb, p[2] = Cases[i].Cr;
        }
        f.From8(m.I);
        for (size_t i = 0; i < std::size(Cases); ++i) {
            const uint8_t* p = m.Px(uint32_t(i), 0);
            EXPECT_EQ(std::vector<int>({p[2], p[1], p[0]}), std::vector<int>({Cases[i].R, Cases[i].G, Cases[i].B}))
                << f.Name << " case " << i;
        }
    }
}

// Amounts turn into -(amount x 4096) div 100, cut toward zero; the threshold
// is counted sixteen times in the 16-bit working form.
TEST(WorkedValues, SharpenAmountsAndThreshold)
{
    const std::pair<uint32_t, int16_t> Amounts[] = {{100, -4096}, {150, -6144}, {33, -1351}, {1, -40}, {500, -20480}};
    for (const auto& [Amount, Coeff] : Amounts) {
        SetUSMStrength(Amount, 7);
        SetUSMThreshold(10);
        const TUSMCoeffs k8 = GetUSMCoeffs(false), k16 = GetUSMCoeffs(true);
        EXPECT_EQ(k8.Highlight, Coeff) << Amount;
        EXPECT_EQ(k8.Shadow, -286) << "the shadow amount is its own";
        EXPECT_EQ(k8.Threshold, 10);
        EXPECT_EQ(k16.Threshold, 160);
    }
    // The soft threshold of 10 on differences d (blur minus sample), amount
    // 100 so that the change is -d': the sample moves by exactly -d'.
    SetUSMStrength(100, 100);
    const TUSMCoeffs k = GetUSMCoeffs(false);
    const std::pair<int, int> Soft[] = {{12, 12}, {6, 2}, {4, 0}, {-6, -1}, {-7, -3}, {-12, -12}, {0, 0}, {10, 10}};
    TUSMCoeffs t = k;
    t.Threshold = 10;
    for (const auto& [d, dd] : Soft)
        EXPECT_EQ(usmpx::Sharpen(100, int16_t(100 + d), t), 100 - dd) << "d = " << d;
    // Amount 150: d' = 5 moves by -8 and d' = -3 by +4 (the product rounds
    // toward minus infinity).
    t.Threshold = 0;
    t.Shadow = t.Highlight = -6144;
    EXPECT_EQ(usmpx::Sharpen(100, 105, t), 92);
    EXPECT_EQ(usmpx::Sharpen(100, 97, t), 104);
}

// The blur of a mask is exactly the fixed-point formula: truncated 14-bit
// weights, each pass rounded by + 8192 >> 14, then the opacity rounded half
// up.
TEST(WorkedValues, BlurIsTheFixedPointFormulaToTheLevel)
{
    for (const auto& [W, H, Radius] : {std::tuple{11u, 7u, 2.0}, std::tuple{23u, 9u, 1.0}, std::tuple{5u, 3u, 4.0}}) {
        TPicture m = NoiseAndEdge(W, H);
        const TPicture src(m);
        TGaussianBlur gb;
        gb.SetGauusianBlurParam(Radius);
        gb.DoGauusianBlur(m.I, 192);
        const auto Want = FixedPointBlur(src, Radius + 0.5, 0, 255);
        for (uint32_t y = 0; y < H; ++y)
            for (uint32_t x = 0; x < W; ++x) {
                const int32_t b = Want[y * W + x];
                ASSERT_EQ(*m.Px(x, y), std::min(((b * 192 >> 7) + 1) >> 1, 255))
                    << W << "x" << H << " radius " << Radius << " at " << x << "," << y;
            }
    }
}

// Sharpening on every kernel family is the formula to the level: the blur
// of the fixed-point passes, the soft threshold and the amounts.
TEST(WorkedValues, SharpenIsTheFixedPointFormulaToTheLevel)
{
    for (int Family : {0, 1})
        for (const auto& [Amount, Threshold] : {std::pair{100u, 0u}, std::pair{150u, 10u}, std::pair{37u, 3u}}) {
            TPicture m = NoiseAndEdge(13, 9);
            const TPicture src(m);
            TUnsharpMask u;
            u.SetUnSharpMaskParam(Amount, Amount, Threshold, 1.0, false);
            if (Family == 0)
                u.USM = std::make_unique<TUnsharpMaskMMXFilter>();
            else
                u.USM = std::make_unique<TUnsharpMaskSSE2Filter>();
            u.SetMaxThreadNum(2);
            u.DoUnSharpMask(m.I, false, false);
            const auto Blur = FixedPointBlur(src, 1.5, -32768, 32767);
            const int32_t K = int32_t(-(int64_t(Amount) * 4096) / 100);
            for (uint32_t y = 0; y < 9; ++y)
                for (uint32_t x = 0; x < 13; ++x) {
                    const int32_t O = MemRow(src.I, y)[x];
                    const int32_t Want =
                        std::clamp(SharpenedByFormula(O, Blur[y * 13 + x], int32_t(Threshold), K), 0, 255);
                    ASSERT_EQ(*m.Px(x, y), Want) << "family " << Family << " amount " << Amount << " threshold "
                                                 << Threshold << " at " << x << "," << y;
                }
        }
}

// Kept last-write times inside the FAT range are cut to even seconds; the
// second and its fraction are dropped, never rounded up.
TEST(WorkedValues, KeptWriteTimesAreCutToEvenSeconds)
{
    TOptionGuard Guard;
    TTempDir D;
    const std::pair<platform::TFileStamp, int64_t> Cases[] = {
        {{1700000001, 999999999}, 1700000000}, {{1700000000, 500000000}, 1700000000}, {{1700000003, 0}, 1700000002}};
    for (const auto& [Source, Want] : Cases) {
        WriteBytes(D.File("src"), {1});
        WriteBytes(D.File("out"), {1});
        TImageInfo Info;
        ASSERT_TRUE(platform::SetLastWriteTime(D.File("src"), Source) && GetBasicFileInfo(D.File("src"), Info));
        Settings.Metadata.KeepLastWriteTime = true;
        RestoreFileTimes(Info, D.File("out"), Settings.Metadata);
        platform::TFileStat St;
        ASSERT_TRUE(platform::StatFile(D.File("out"), St));
        EXPECT_EQ(St.LastWrite.Sec, Want) << Source.Sec << "." << Source.NSec;
        EXPECT_EQ(St.LastWrite.NSec, 0);
        Settings.Metadata.KeepLastWriteTime = false;
        WriteBytes(D.File("out"), {2});
        RestoreFileTimes(Info, D.File("out"), Settings.Metadata);
        ASSERT_TRUE(platform::StatFile(D.File("out"), St));
        EXPECT_NE(St.LastWrite.Sec, Want) << "a time not kept is left alone";
    }
}
