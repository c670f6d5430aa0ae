#include "core/Resize.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <memory>

namespace {

struct TRow {
    uint64_t Offset;
    std::vector<int32_t> Int; // integer slots (pairs flattened)
    std::vector<float> Flt;
};

TRow RowOf(const TResizeParam& P, uint32_t I, TWeightType T)
{
    TRow r;
    r.Offset = P.WeightTableInfo[2 * I];
    const auto* w = reinterpret_cast<const uint8_t*>(P.WeightTableInfo[2 * I + 1]);
    uint32_t n;
    std::memcpy(&n, w - 4, 4);
    if (T == wtInt)
        for (uint32_t k = 0; k < 2 * n; ++k)
            r.Int.push_back(reinterpret_cast<const int16_t*>(w)[k]);
    else
        for (uint32_t k = 0; k < n; ++k)
            r.Flt.push_back(reinterpret_cast<const float*>(w)[k]);
    return r;
}

void Plan(TWeightSetter& S, TResizeParam& P, uint32_t Src, uint32_t Dst, TWeightType T, uint64_t Step = 1)
{
    P.Reset();
    P.SrcLength = Src;
    P.DestLength = Dst;
    P.Step = Step;
    S.SetWeight(P, T);
}

} // namespace

TEST(ResizeWeights, AreaAverageOnLongAxesStaysInside)
{
    // 50000 x 50000 passes 2^31: positions must be formed in 64 bits.
    TAreaAverage a;
    TResizeParam p;
    Plan(a, p, 50000, 45000, wtSingle);
    for (uint32_t i = 0; i < 45000; ++i) {
        const TRow r = RowOf(p, i, wtSingle);
        ASSERT_LE(r.Offset + r.Flt.size(), 50000u) << i;
        float sum = 0;
        for (float w : r.Flt)
            sum += w;
        ASSERT_NEAR(sum, 45000.0f / 50000.0f * 50000.0f / 45000.0f, 1e-5f) << i;
        ASSERT_EQ(r.Offset, uint64_t(i) * 50000 / 45000) << i; // output i covers source i x 10 / 9 onwards
    }
}

TEST(ResizeWeights, IntegerWeightsStayWithinAUnitAndSaturate)
{
    TLanczos l(3);
    TResizeParam pf, pi;
    Plan(l, pf, 10, 27, wtSingle);
    Plan(l, pi, 10, 27, wtInt, 16);
    bool negative = false;
    for (uint32_t i = 0; i < 27; ++i) {
        const TRow f = RowOf(pf, i, wtSingle), n = RowOf(pi, i, wtInt);
        const uint32_t lead = f.Offset & 1;
        for (size_t k = 0; k < f.Flt.size(); ++k) {
            const int32_t q = n.Int[k + lead];
            EXPECT_LT(std::abs(q - f.Flt[k] * 16384.0f), 1.01f);
            negative |= q < 0;
        }
    }
    EXPECT_TRUE(negative);

    // A very sharp bicubic: weights beyond 16 bits saturate instead of wrapping.
    std::unique_ptr<TWeightSetter> b(CreateWeightSetter(4, 0, 1000, 0));
    Plan(*b, pf, 5, 12, wtSingle);
    Plan(*b, pi, 5, 12, wtInt, 16);
    bool saturated = false;
    for (uint32_t i = 0; i < 12; ++i) {
        const TRow f = RowOf(pf, i, wtSingle), n = RowOf(pi, i, wtInt);
        const uint32_t lead = f.Offset & 1;
        for (size_t k = 0; k < f.Flt.size(); ++k) {
            if (f.Flt[k] * 16384.0f > 32767.0f) {
                EXPECT_EQ(n.Int[k + lead], 32767);
                saturated = true;
            } else if (f.Flt[k] * 16384.0f < -32767.0f) {
                EXPECT_EQ(n.Int[k + lead], -32767);
                saturated = true;
            }
        }
    }
    EXPECT_TRUE(saturated);
}

TEST(ResizeWeights, EveryIntegerRowSumsToExactlyOne)
{
    // Rows short of 16384 darken the picture, by up to a unit per tap: strong
    // reductions with thousands of taps lost a tenth of their level or all of it.
    struct TCase {
        uint32_t Src, Dst;
    };
    const TCase cases[] = {{3, 2}, {7, 1}, {10, 27}, {300, 97}, {1000, 3}, {20000, 20}, {60000, 1}, {65537, 2}};
    for (uint32_t id = 1; id <= 9; ++id) {
        std::unique_ptr<TWeightSetter> s(CreateWeightSetter(id, 3, 0, 10));
        for (const TCase& c : cases) {
            TResizeParam p;
            Plan(*s, p, c.Src, c.Dst, wtInt, 16);
            for (uint32_t i = 0; i < c.Dst; ++i) {
                const TRow r = RowOf(p, i, wtInt);
                int64_t sum = 0;
                for (int32_t w : r.Int)
                    sum += w;
                ASSERT_EQ(sum, 16384) << "filter " << id << " " << c.Src << " -> " << c.Dst << " row " << i;
            }
        }
    }
    // Spread over the whole row, not piled on one tap: averaging 60000
    // pixels gives each a few units, none more than one above another.
    TAreaAverage a;
    TResizeParam p;
    Plan(a, p, 60000, 1, wtInt, 16);
    const TRow r = RowOf(p, 0, wtInt);
    const auto [lo, hi] = std::minmax_element(r.Int.begin(), r.Int.begin() + 60000);
    EXPECT_EQ(std::make_tuple(*lo, *hi), std::make_tuple(0, 1));
    EXPECT_EQ(std::count(r.Int.begin(), r.Int.begin() + 30000, 1), 8192);
}

// The filter ids of the settings stand for their setters and parameters; an
// id outside 1..9 makes none.
TEST(ResizeWeights, FilterIdsMakeTheirSetters)
{
    auto Make = [](uint32_t Id, int32_t Radius = 3, int32_t Sharp = 0, int32_t Blur = 1) {
        return std::unique_ptr<TWeightSetter>(CreateWeightSetter(Id, Radius, Sharp, Blur));
    };
    EXPECT_TRUE(dynamic_cast<TAreaAverage*>(Make(1).get()));
    EXPECT_TRUE(dynamic_cast<TLanczos*>(Make(2).get()));
    EXPECT_TRUE(dynamic_cast<TBilinear*>(Make(3).get()));
    EXPECT_TRUE(dynamic_cast<TMitchellNetravali*>(Make(4).get()));
    EXPECT_TRUE(dynamic_cast<TBlackmanSinc*>(Make(5).get()));
    EXPECT_TRUE(dynamic_cast<TSpline16*>(Make(6).get()));
    EXPECT_TRUE(dynamic_cast<TSpline36*>(Make(7).get()));
    EXPECT_TRUE(dynamic_cast<TGaussian*>(Make(8).get()));
    EXPECT_TRUE(dynamic_cast<TNearestNeighbor*>(Make(9).get()));
    EXPECT_EQ(Make(0), nullptr);
    EXPECT_EQ(Make(10), nullptr);

    // Radius goes to the windowed kernels, held to 1..32 for Lanczos.
    for (const auto& [Asked, Kept] : {std::pair{0, 1}, std::pair{3, 3}, std::pair{32, 32}, std::pair{99, 32}})
        EXPECT_EQ(static_cast<TLanczos*>(Make(2, Asked).get())->Radius, Kept) << "Lanczos " << Asked;
    EXPECT_EQ(static_cast<TBlackmanSinc*>(Make(5, 7).get())->Radius, 7);
    // Bicubic: c = (Sharp + 4) / 12, b = 1 - 2c, and never below 0.
    for (const auto& [Sharp, B, C] :
         {std::tuple{0, 1.0 / 3, 1.0 / 3}, std::tuple{2, 0.0, 0.5}, std::tuple{5, 0.0, 0.75}}) {
        const auto S = Make(4, 3, Sharp);
        EXPECT_DOUBLE_EQ(static_cast<TMitchellNetravali*>(S.get())->b, B) << "sharp " << Sharp;
        EXPECT_DOUBLE_EQ(static_cast<TMitchellNetravali*>(S.get())->c, C) << "sharp " << Sharp;
    }
}
