// The filter order dialog.
#include "app/ChangeOrderFrm.h"
#include "effects/Effect.h"
#include "tests/app/TestApp.h"

#include <QListWidget>

#include <gtest/gtest.h>

namespace {

class TNamedEffect : public TEffect {
public:
    TNamedEffect(const std::string& Name, uint32_t ID) : TEffect(Name, 'x', Name, ID) {}
    void DoEffect(TImgInfo&, TEffectParams&) override {}
};

struct ChangeOrderTest : ::testing::Test {
    void SetUp() override
    {
        EnsureApp();
        uint32_t ID = 1;
        for (const char* N : {"A", "B", "C", "D"}) {
            List.AddFilter(std::make_unique<TNamedEffect>(N, ID));
            ID <<= 1;
        }
        List.ReOrder();
    }
    std::string Order() const
    {
        std::string S;
        for (int i = 0; i < List.Count(); ++i)
            S += List.Items(i)->FName;
        return S;
    }
    TEffectList List;
};

} // namespace

TEST_F(ChangeOrderTest, OkAppliesTheShownOrder)
{
    TChangeOrderForm F(List);
    F.UpButtonClick(); // the first item cannot go up
    EXPECT_EQ(F.EffectListBox->currentRow(), 0);
    // C to the top, two places up: a move that is not a mere swap.
    F.EffectListBox->setCurrentRow(2);
    F.UpButtonClick();
    F.UpButtonClick();
    F.EffectListBox->setCurrentRow(3);
    F.DownButtonClick(); // the last item cannot go down
    EXPECT_EQ(F.EffectListBox->currentRow(), 3);
    F.EffectListBox->setCurrentRow(1);
    F.DownButtonClick(); // A below B: C B A D
    F.accept();
    EXPECT_EQ(Order(), "CBAD");

    // Reopened, the dialog lists the new order; OK without moves keeps it.
    TChangeOrderForm G(List);
    EXPECT_EQ(G.EffectListBox->item(0)->text(), "C");
    G.accept();
    EXPECT_EQ(Order(), "CBAD");
}
