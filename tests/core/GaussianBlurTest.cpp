#include "core/WeightedMean.h"
#include "PictureTestUtil.h"

#include <algorithm>
#include <cmath>

TEST(GaussianBlur, ConstantMaskStaysConstantAlsoWhenNarrowerThanTheWindow)
{
    for (double radius : {0.5, 2.0, 15.0})
        for (uint32_t w : {1u, 2u, 5u, 64u}) {
            TGaussianBlur gb;
            gb.SetGauusianBlurParam(radius);
            TPicture m(w, 9);
            for (uint32_t y = 0; y < 9; ++y)
                std::memset(MemRow(m.I, y), 201, w);
            const uint32_t bpl = m.I.Bpl;
            gb.DoGauusianBlur(m.I, 256);
            EXPECT_EQ(m.I.Bpl, bpl);
            for (uint8_t v : m.Samples())
                ASSERT_EQ(v, 201) << "radius " << radius << " width " << w;
        }
}

TEST(GaussianBlur, OtherFormsAreLeftAlone)
{
    // A colour picture, a blur without parameters and an empty mask.
    TPicture rgb(8, 4, 3), mask(8, 4);
    FillRandom(rgb, 1);
    FillRandom(mask, 2);
    const auto colours = rgb.Samples(), samples = mask.Samples();
    TGaussianBlur none, gb;
    gb.SetGauusianBlurParam(2.0);
    gb.DoGauusianBlur(rgb.I, 256);
    none.DoGauusianBlur(mask.I, 256);
    TImgInfo empty = mask.I;
    empty.Width = 0;
    gb.DoGauusianBlur(empty, 256);
    EXPECT_EQ(std::make_tuple(rgb.Samples(), mask.Samples()), std::make_tuple(colours, samples));
}

TEST(GaussianBlur, SSE2EqualsPlainAndCopiesBlurAlike)
{
    for (uint32_t w : {1u, 7u, 33u, 100u})
        for (uint32_t h : {1u, 4u, 13u}) {
            TPicture a(w, h), b(w, h), c(w, h);
            std::mt19937 rng(w * h);
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x)
                    *a.Px(x, y) = *b.Px(x, y) = *c.Px(x, y) = uint8_t(rng());
            TGaussianBlur plain, vec;
            plain.SetGauusianBlurParam(3.0);
            vec.SetGauusianBlurParam(3.0);
            plain.GB = std::make_unique<TGaussianBlurMMXFilter>();
            plain.GB->SetMaxThreadNum(1);
            vec.GB = std::make_unique<TGaussianBlurSSE2Filter>();
            vec.GB->SetMaxThreadNum(1);
            plain.DoGauusianBlur(a.I, 300);
            vec.DoGauusianBlur(b.I, 300);
            EXPECT_EQ(a.Samples(), b.Samples()) << w << "x" << h;
            auto copy = vec.CreateMTGauusinBlur();
            copy->DoGauusianBlur(c.I, 300);
            EXPECT_EQ(a.Samples(), c.Samples()) << w << "x" << h;
        }
}

// Noise beside an edge, blurred with radius 2 (sigma 1.25, three taps to
// each side, the taps beyond an edge counted on the edge pixel) and scaled
// by three quarters: within a level of the weighted mean computed here.
TEST(GaussianBlur, MatchesTheWeightedMeanOfItsFormula)
{
    TPicture m(11, 7);
    for (uint32_t y = 0; y < 7; ++y)
        for (uint32_t x = 0; x < 11; ++x)
            *m.Px(x, y) = x < 6 ? uint8_t((x * 97 + y * 61) % 256) : uint8_t(y < 3 ? 240 : 10);
    const TPicture src(m);
    TGaussianBlur gb;
    gb.SetGauusianBlurParam(2.0);
    gb.DoGauusianBlur(m.I, 192);
    for (uint32_t y = 0; y < 7; ++y)
        for (uint32_t x = 0; x < 11; ++x) {
            const auto wx = GaussianAxis(11, int(x), 3, 2.5L), wy = GaussianAxis(7, int(y), 3, 2.5L);
            long double v = 0;
            for (uint32_t j = 0; j < 7; ++j)
                for (uint32_t i = 0; i < 11; ++i)
                    v += wx[i] * wy[j] * MemRow(src.I, j)[i];
            EXPECT_NEAR(*m.Px(x, y), v * 0.75L, 1.01L) << x << "," << y;
        }
}
