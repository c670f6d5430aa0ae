#include "effects/Effect.h"

#include <gtest/gtest.h>

namespace {

class FakeEffect : public TEffect {
public:
    FakeEffect(const char* Name, uint32_t ID) : TEffect(Name, 'X', Name, ID) {}
    void DoEffect(TImgInfo&, TEffectParams&) override {}
};

TEffectList& Filled(TEffectList& L)
{
    L.AddFilter(std::make_unique<FakeEffect>("Grayscale", EFFECT_GRAYSCALE));
    L.AddFilter(std::make_unique<FakeEffect>("Trimming", EFFECT_TRIMMING));
    L.AddFilter(std::make_unique<FakeEffect>("Resize", EFFECT_RESIZE));
    L.ReOrder();
    return L;
}

} // namespace

TEST(EffectList, OrderFollowsSortKeysAndIgnoresWrongLengths)
{
    TEffectList L;
    Filled(L);
    EXPECT_EQ(L.Items(0)->FOwner, &L);
    L.SetOrder({5, 1});
    EXPECT_EQ(L.IndexOf("Grayscale"), 0);
    L.SetOrder({5, 1, 3});
    EXPECT_EQ(L.IndexOf("Trimming"), 0);
    EXPECT_EQ(L.IndexOf("Resize"), 1);
    EXPECT_EQ(L.IndexOf("Grayscale"), 2);
    EXPECT_EQ(L.IndexOf("resize"), -1); // display names are case-sensitive
    L.ReOrder();
    EXPECT_EQ(L.Items(2)->FOrder, 2);
}

TEST(EffectList, UseAndChangeFallBackToTheDecreaseColourEffect)
{
    TEffectList L;
    Filled(L);
    EXPECT_FALSE(L.IsUse());
    auto DC = std::make_unique<FakeEffect>("DecreaseColor", EFFECT_DECREASECOLOR);
    TEffect* DCp = DC.get();
    L.SetDecreaseColorEffect(std::move(DC));
    EXPECT_EQ(DCp->FOwner, &L);
    // Rows past the ordered items address the decrease-colour effect.
    L.ChangeState(L.Count(), true);
    EXPECT_TRUE(DCp->FUse);
    EXPECT_TRUE(L.IsUse());
    L.ChangeState(L.Count(), false);
    L.ChangeState(1, true);
    EXPECT_TRUE(L.Items(1)->FUse);
    EXPECT_TRUE(L.IsUse());
}
