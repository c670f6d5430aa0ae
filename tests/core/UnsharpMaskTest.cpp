#include "core/WeightedMean.h"
#include "PictureTestUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <atomic>
#include <thread>

namespace {

void Sharpen(TPicture& M, uint32_t Amount, uint32_t Threshold, double Radius, bool Degamma, uint32_t Threads,
             bool Is16 = false, int Family = -1)
{
    TUnsharpMask u;
    u.SetUnSharpMaskParam(Amount, Amount, Threshold, Radius, Degamma);
    // Family 0: the plain kernels, 1: the SSE2 ones, -1: as chosen.
    if (Family == 0)
        u.USM = Degamma ? std::unique_ptr<TWeightedMeanFilter>(std::make_unique<TLinearUnsharpMaskFilter>(true))
                        : std::make_unique<TUnsharpMaskMMXFilter>();
    else if (Family == 1)
        u.USM = Degamma ? std::unique_ptr<TWeightedMeanFilter>(std::make_unique<TLinearUnsharpMaskFilter>(false))
                        : std::make_unique<TUnsharpMaskSSE2Filter>();
    u.SetMaxThreadNum(Threads);
    u.DoUnSharpMask(M.I, false, Is16);
}

} // namespace

TEST(UnsharpMask, AmountZeroAndRGBAChangeNothing)
{
    for (bool degamma : {false, true})
        for (uint32_t c : {1u, 3u}) {
            TPicture m(37, 13, c);
            FillRandom(m, c);
            const auto before = m.Samples();
            Sharpen(m, 0, 0, 2.0, degamma, 3);
            EXPECT_EQ(m.Samples(), before) << "channels " << c << " degamma " << degamma;

            TUnsharpMask u;
            u.SetUnSharpMaskParam(300, 300, 0, 1.0, degamma);
            u.DoUnSharpMask(m.I, true, false);
            EXPECT_EQ(m.Samples(), before) << "RGBA";
        }
    TPicture p(29, 9, 1, true);
    FillRandom16(p, 5);
    const auto before = p.Samples();
    Sharpen(p, 0, 0, 1.5, false, 2, true);
    EXPECT_EQ(p.Samples(), before) << "16-bit";
}

TEST(UnsharpMask, ThresholdHoldsSmallDifferencesBack)
{
    // Gentle noise (+-2) beside a strong edge: a threshold of 10 keeps the
    // noise as it is but still sharpens the edge.
    TPicture m(48, 16, 1);
    std::mt19937 rng(3);
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 48; ++x)
            *m.Px(x, y) = uint8_t((x < 24 ? 100 : 200) + int(rng() % 5) - 2);
    TPicture noThreshold(m);
    const auto before = m.Samples();
    Sharpen(m, 100, 10, 1.0, false, 1);
    Sharpen(noThreshold, 100, 0, 1.0, false, 1);
    const auto after = m.Samples(), loose = noThreshold.Samples();
    // Below the threshold a difference fades to nothing; what is left is the
    // one step of the ones'-complement sign (d = -2 becomes d' = -1).
    int worstFar = 0, worstLoose = 0;
    for (size_t i = 0; i < before.size(); ++i)
        if (i % 48 < 20 || i % 48 > 27) { // away from the edge
            worstFar = std::max(worstFar, std::abs(after[i] - before[i]));
            worstLoose = std::max(worstLoose, std::abs(loose[i] - before[i]));
        }
    EXPECT_LE(worstFar, 1);
    EXPECT_GE(worstLoose, 2);
    EXPECT_LT(after[5 * 48 + 23], before[5 * 48 + 23] - 20); // dark side of the edge darker
    EXPECT_GT(after[5 * 48 + 24], before[5 * 48 + 24] + 20); // bright side brighter
}

TEST(UnsharpMask, OneThreadEqualsManyAndSSE2EqualsPlain)
{
    struct Case {
        uint32_t W, H, C;
        bool Is16, Degamma;
        double Radius;
        uint32_t Threshold;
    };
    const Case cases[] = {
        {1, 1, 1, false, false, 1.0, 0},   {5, 3, 1, false, false, 5.0, 0},    {17, 9, 3, false, false, 0.5, 4},
        {64, 33, 3, false, false, 2.0, 0}, {131, 7, 1, false, false, 1.0, 10}, {3, 41, 3, false, false, 3.3, 0},
        {23, 19, 1, true, false, 1.0, 0},  {70, 5, 1, true, false, 4.0, 3},    {33, 21, 3, false, true, 1.5, 0},
        {40, 11, 1, true, true, 1.0, 2},   {300, 9, 1, false, true, 2.0, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.W << "x" << k.H << "x" << k.C << " 16:" << k.Is16 << " lin:" << k.Degamma
                                        << " r" << k.Radius);
        TPicture ref(k.W, k.H, k.C, k.Is16);
        k.Is16 ? FillRandom16(ref, k.W * k.H) : FillRandom(ref, k.W * k.H);
        TPicture many(ref), sse(ref);
        Sharpen(ref, 150, k.Threshold, k.Radius, k.Degamma, 1, k.Is16, 0);
        Sharpen(many, 150, k.Threshold, k.Radius, k.Degamma, 7, k.Is16, 1);
        Sharpen(sse, 150, k.Threshold, k.Radius, k.Degamma, 64, k.Is16, 1);
        EXPECT_EQ(ref.Samples(), many.Samples());
        EXPECT_EQ(ref.Samples(), sse.Samples());
    }
}

TEST(UnsharpMask, SixteenBitResultsAreNotClamped)
{
    // A bright line on black in a 16-bit luma plane: the sharpened line goes
    // past 4080 and its neighbours below 0; both are kept for the consumer.
    TPicture m(16, 4, 1, true);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 16; ++x)
            *m.W(x, y) = x == 8 ? 4080 : 0;
    Sharpen(m, 200, 0, 1.0, false, 1, true);
    EXPECT_GT(*m.W(8, 2), 4080);
    EXPECT_LT(*m.W(7, 2), 0);
}

TEST(UnsharpMask, OutOfRangeThreadCountAndRadius)
{
    TPicture a(20, 6, 1);
    FillRandom(a, 9);
    const auto before = a.Samples();
    Sharpen(a, 100, 0, 1.0, false, 0);
    EXPECT_NE(a.Samples(), before);

    // Settings are loaded unchecked: a radius below zero has no Gaussian and
    // used to give weights of 0/0. It now means the smallest blur (none).
    TPicture b(20, 6, 3);
    FillRandom(b, 10);
    const auto beforeB = b.Samples();
    Sharpen(b, 300, 0, -4.0, false, 2);
    EXPECT_EQ(b.Samples(), beforeB);
}

TEST(UnsharpMask, AmountsChangedDuringAFilterGiveOneOrTheOther)
{
    // The amounts are process-wide and the GUI may set them while a worker
    // filters: each call must use one consistent set for the whole picture.
    TPicture src(120, 90, 3);
    FillRandom(src, 77);
    TPicture low(src), high(src);
    Sharpen(low, 100, 0, 1.0, false, 4);
    Sharpen(high, 400, 0, 1.0, false, 4);
    std::atomic<bool> stop{false};
    std::thread setter([&] {
        for (uint32_t i = 0; !stop; ++i)
            SetUSMStrength(i % 2 ? 400 : 100, i % 2 ? 400 : 100);
    });
    TUnsharpMask u;
    u.SetUnSharpMaskParam(100, 100, 0, 1.0, false);
    u.SetMaxThreadNum(4);
    for (int run = 0; run < 20; ++run) {
        TPicture m(src);
        u.DoUnSharpMask(m.I, false, false);
        const auto got = m.Samples();
        EXPECT_TRUE(got == low.Samples() || got == high.Samples()) << "run " << run;
    }
    stop = true;
    setter.join();
}

// Radius 1 (sigma 0.75, two taps to each side, edges folded) and amount 100:
// each sample moves from its blur by as much as it differs from it,
// within a level of the blur computed here.
TEST(UnsharpMask, MatchesTheFormulaOnNoiseAndAnEdge)
{
    TPicture m(11, 7);
    for (uint32_t y = 0; y < 7; ++y)
        for (uint32_t x = 0; x < 11; ++x)
            *m.Px(x, y) = x < 6 ? uint8_t(60 + (x * 97 + y * 61) % 128) : uint8_t(y < 3 ? 200 : 40);
    const TPicture src(m);
    Sharpen(m, 100, 0, 1.0, false, 1);
    for (uint32_t y = 0; y < 7; ++y)
        for (uint32_t x = 0; x < 11; ++x) {
            const auto wx = GaussianAxis(11, int(x), 2, 1.5L), wy = GaussianAxis(7, int(y), 2, 1.5L);
            long double blur = 0;
            for (uint32_t j = 0; j < 7; ++j)
                for (uint32_t i = 0; i < 11; ++i)
                    blur += wx[i] * wy[j] * MemRow(src.I, j)[i];
            const long double o = MemRow(src.I, y)[x];
            EXPECT_NEAR(*m.Px(x, y), std::clamp(2 * o - blur, 0.0L, 255.0L), 1.5L) << x << "," << y;
        }
}
