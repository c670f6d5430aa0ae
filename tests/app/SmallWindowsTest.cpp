// The filter order dialog.
#include "app/ChangeOrderFrm.h"
#include "app/ThumbnailFrm.h"
#include "tests/app/TestApp.h"
#include <QListWidget>


namespace {

struct ChangeOrderTest : ::testing::Test {
    void SetUp() override
    {
        EnsureApp();
        AddNamedEffects(List, {"A", "B", "C", "D"});
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
    EXPECT_EQ(ChainNames(List), "C B A D ");

    // Reopened, the dialog lists the new order; OK without moves keeps it.
    TChangeOrderForm G(List);
    EXPECT_EQ(G.EffectListBox->item(0)->text(), "C");
    G.accept();
    EXPECT_EQ(ChainNames(List), "C B A D ");
}

TEST(ThumbnailWindow, ItGoesBesideTheMainWindowNeverOverIt)
{
    const QSize Screen(1920, 1080), Own(166, 190);
    const QRect Main(100, 50, 800, 600);
    // Never placed: beside the main window's right edge.
    EXPECT_EQ(ThumbnailWindowPos(Main, Own, Screen, -65535, -65535), QPoint(900, 50));
    // A stored offset off the main window is used; one over it is not.
    EXPECT_EQ(ThumbnailWindowPos(Main, Own, Screen, 810, 0), QPoint(910, 50));
    EXPECT_EQ(ThumbnailWindowPos(Main, Own, Screen, 800 - 166, 30), QPoint(900, 50));
    // Main window at the right edge: left of it; as wide as the screen:
    // below it, at its right end.
    EXPECT_EQ(ThumbnailWindowPos(QRect(1500, 50, 420, 600), Own, Screen, -65535, -65535), QPoint(1500 - 166, 50));
    EXPECT_EQ(ThumbnailWindowPos(QRect(0, 50, 1920, 600), Own, Screen, -65535, -65535), QPoint(1920 - 166, 650));
    // A window manager centred a large main window on a small screen: no
    // room anywhere, so the screen's corner on the roomier side (here the
    // left), level with the main window's bottom: clear of the title bar,
    // the tool bars and the effect rows in the main window's top part.
    const QSize Small(1366, 768);
    const QRect Centred(134, 51, 1100, 665);
    const QPoint P = ThumbnailWindowPos(Centred, Own, Small, 1100 + 4, 0);
    EXPECT_EQ(P, QPoint(0, 716 - 190));
    EXPECT_GT(P.y(), Centred.top() + 400);
    EXPECT_TRUE(QRect(QPoint(0, 0), Small).contains(QRect(P, Own)));
}
