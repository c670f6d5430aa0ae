#include "effects/USMFilter.h"

#include "EffectTestUtil.h"
#include "core/WeightedMean.h"

namespace {

// A vertical edge: columns below 8 take Dark, the rest Light (B, G, R).
void Edge(TTestImg& P, const uint8_t (&Dark)[3], const uint8_t (&Light)[3])
{
    for (uint32_t y = 0; y < P.I.Height; ++y)
        for (uint32_t x = 0; x < P.I.Width; ++x)
            std::memcpy(P.Px(x, y), x < 8 ? Dark : Light, 3);
}

struct Sharpener {
    TUnsharpMask F;
    TEffectParams Prm;
    TUSMFilter E;
    Sharpener(bool LumaOnly, bool Degamma, bool YCbCr = false)
    {
        E.FLumaOnly = LumaOnly;
        E.FDegamma = Degamma;
        E.ApplyParam(F);
        Prm.UnSharpMask = &F;
        Prm.IsYCbCr = YCbCr;
    }
};

} // namespace

TEST(UnsharpEffect, LumaOnlyVersusRGB)
{
    // A gray edge sharpened on luma alone stays gray, with an overshoot.
    Sharpener s(true, false);
    TPatternPicture p(16, 4, 3);
    Edge(p, {60, 60, 60}, {180, 180, 180});
    s.E.DoEffect(p.I, s.Prm);
    EXPECT_LT(p.Px(7, 2)[0], 60);
    EXPECT_GT(p.Px(8, 2)[0], 180);
    for (uint32_t x = 0; x < 16; ++x)
        EXPECT_TRUE(p.Px(x, 1)[0] == p.Px(x, 1)[1] && p.Px(x, 1)[1] == p.Px(x, 1)[2]) << x;

    // A red/blue edge of (nearly) equal luma: left alone on luma, sharpened in RGB.
    TPatternPicture q(16, 4, 3), ref(16, 4, 3);
    Edge(q, {0, 50, 200}, {200, 113, 0});
    Edge(ref, {0, 50, 200}, {200, 113, 0});
    s.E.DoEffect(q.I, s.Prm);
    for (uint32_t x = 0; x < 16; ++x)
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(q.Px(x, 2)[k], ref.Px(x, 2)[k], 2) << x;
    Sharpener rgb(false, false);
    rgb.E.DoEffect(q.I, rgb.Prm);
    EXPECT_GT(q.Px(8, 2)[0], 200);
    EXPECT_GT(q.Px(7, 2)[2], 200);
}

TEST(UnsharpEffect, YCbCrPictures)
{
    // Luma only: the Y bytes alone, the form kept.
    Sharpener s(true, false, true);
    TPatternPicture p(16, 4, 3), ref(16, 4, 3);
    Edge(p, {60, 100, 150}, {180, 140, 110});
    Edge(ref, {60, 100, 150}, {180, 140, 110});
    s.E.DoEffect(p.I, s.Prm);
    EXPECT_TRUE(s.Prm.IsYCbCr);
    EXPECT_LT(p.Px(7, 1)[0], 60);
    for (uint32_t x = 0; x < 16; ++x)
        EXPECT_TRUE(p.Px(x, 1)[1] == ref.Px(x, 1)[1] && p.Px(x, 1)[2] == ref.Px(x, 1)[2]);

    // Whole picture without linear light: all three channels in that form.
    Sharpener w(false, false, true);
    w.E.DoEffect(ref.I, w.Prm);
    EXPECT_TRUE(w.Prm.IsYCbCr);
    EXPECT_GT(ref.Px(7, 1)[2], 150);
    // Linear light needs RGB: converted first.
    Sharpener g(false, true, true);
    g.E.DoEffect(ref.I, g.Prm);
    EXPECT_FALSE(g.Prm.IsYCbCr);
    // No filter handed over: an error, not a silently unsharpened picture.
    TEffectParams none;
    EXPECT_THROW(g.E.DoEffect(ref.I, none), EVestroError);
}

TEST(UnsharpEffect, PicturesWithAlphaAreSharpenedAndKeepTheirAlpha)
{
    // The colour of a picture with alpha comes out as that of the same
    // picture without alpha; the alpha stays as it was. Gray+alpha likewise.
    for (const uint32_t C : {4u, 2u}) {
        const uint32_t N = C - 1;
        TPatternPicture withAlpha(16, 4, C), plain(16, 4, N);
        for (uint32_t y = 0; y < 4; ++y)
            for (uint32_t x = 0; x < 16; ++x) {
                for (uint32_t k = 0; k < N; ++k)
                    withAlpha.Px(x, y)[k] = plain.Px(x, y)[k] = uint8_t(x < 8 ? 50 + 10 * k : 170 + 20 * k);
                withAlpha.Px(x, y)[N] = uint8_t(x * 16 + y);
            }
        Sharpener a(false, false), b(false, false); // whole: the 3-channel twin in RGB
        a.E.DoEffect(withAlpha.I, a.Prm);
        b.E.DoEffect(plain.I, b.Prm);
        EXPECT_LT(withAlpha.Px(7, 2)[0], 50) << C; // sharpened at all
        for (uint32_t y = 0; y < 4; ++y)
            for (uint32_t x = 0; x < 16; ++x) {
                for (uint32_t k = 0; k < N; ++k)
                    ASSERT_EQ(withAlpha.Px(x, y)[k], plain.Px(x, y)[k]) << C << " " << x << "," << y;
                ASSERT_EQ(withAlpha.Px(x, y)[N], uint8_t(x * 16 + y));
            }
    }
}
