#include "batch/CombineRun.h"

#include "BatchFixture.h"

#include <cstring>

namespace {

// Tiles of one constant colour each (blue = 10 x (index + 1)), so that every
// cell can be told from its neighbours and from the background.
std::vector<TImgInfo> Tiles(std::initializer_list<std::pair<uint32_t, uint32_t>> Sizes, uint32_t Channels = 3)
{
    std::vector<TImgInfo> V;
    uint8_t Value = 10;
    for (auto [W, H] : Sizes) {
        TImgInfo T;
        if (W) {
            AllocImg(T, W, H, Channels);
            for (uint32_t Y = 0; Y < H; ++Y)
                std::memset(ScanLine(T, Y), Value, size_t(W) * Channels);
        }
        V.push_back(T);
        Value = uint8_t(Value + 10);
    }
    return V;
}

void Free(std::vector<TImgInfo>& V)
{
    for (TImgInfo& T : V)
        FreeImg(T);
}

uint8_t At(const TImgInfo& I, uint32_t X, uint32_t Y)
{
    return ScanLine(I, Y)[X * I.Channels];
}

class CombineTest : public BatchRunTest {
protected:
    void SetUp() override
    {
        BatchRunTest::SetUp();
        SavedOption = Settings.Combine;
        O = TCombineOption();
        O.Width = 32;
        O.Height = 24;
        O.FillBlank = false;
        O.BackgroundColor = 0x000000; // background reads 0 in every channel
    }
    void TearDown() override
    {
        Settings.Combine = SavedOption;
        BatchRunTest::TearDown();
    }
    TCombineOption O, SavedOption;
};

} // namespace

TEST_F(CombineTest, GridSheetSizeAndCellsFollowTheOrder)
{
    // Five tiles with gaps: the last cell of the second row stays background;
    // a narrower tile is centred in its cell.
    O.RowSpace = 4;
    O.ColumnSpace = 2;
    auto V = Tiles({{32, 24}, {32, 24}, {16, 24}, {32, 24}, {32, 24}});
    TImgInfo S;
    ASSERT_TRUE(LayoutCombineSheet(O, V, 3, 0, 0, Main, S));
    EXPECT_EQ(std::make_pair(S.Width, S.Height), std::make_pair(32u * 3 + 8, 24u * 2 + 2));
    EXPECT_EQ(At(S, 0, 26), 40);           // tile 3 starts the second row
    EXPECT_EQ(At(S, 36, 30), 50);          // tile 4 beside it
    EXPECT_EQ(At(S, 72 + 16, 26 + 12), 0); // empty last cell
    EXPECT_EQ(At(S, 72 + 7, 5), 0);        // left of the centred narrow tile
    EXPECT_EQ(At(S, 72 + 8, 5), 30);
    EXPECT_EQ(At(S, 33, 5), 0); // the gap
    FreeImg(S);

    // "Column" order fills downwards first.
    O.Order = 1;
    O.RowSpace = O.ColumnSpace = 0;
    ASSERT_TRUE(LayoutCombineSheet(O, V, 3, 0, 0, Main, S));
    EXPECT_EQ(std::make_pair(S.Width, S.Height), std::make_pair(64u, 72u));
    EXPECT_EQ(At(S, 5, 30), 20);
    EXPECT_EQ(At(S, 37, 5), 40);
    FreeImg(S);
    Free(V);
}

TEST_F(CombineTest, FillBlankStripsShareOneHeightWithoutHoles)
{
    O.FillBlank = true;
    O.Order = 1; // vertical strips of Columns tiles, each Width wide
    O.Columns = O.Rows = O.RowSpace = 2;
    uint32_t TW = 0, TH = 0;
    CombineTileSize(O, 64, 96, TW, TH);
    EXPECT_EQ(std::make_pair(TW, TH), std::make_pair(32u, 48u));
    // Strip 1: 32x48 + 32x16 = 64 tall; strip 2: 32x32 + a file that did not
    // load = 32 tall. Strip 1 is scaled to 32 tall, 16 wide.
    auto V = Tiles({{32, 48}, {32, 16}, {32, 32}, {0, 0}});
    TImgInfo S;
    ASSERT_TRUE(LayoutCombineSheet(O, V, 3, 0xFFFFFF, 255, Main, S));
    EXPECT_EQ(std::make_pair(S.Width, S.Height), std::make_pair(16u + 2 + 32, 32u));
    for (uint32_t Y = 0; Y < S.Height; ++Y) {
        EXPECT_NE(At(S, 8, Y), 255) << "a hole in the first strip at " << Y;
        EXPECT_EQ(At(S, 16, Y), 255) << "the gap";
        EXPECT_EQ(At(S, 30, Y), 30) << "the second strip";
    }
    FreeImg(S);
    Free(V);

    // Gray tiles on a colour sheet are widened, not dropped.
    O.FillBlank = false;
    auto G = Tiles({{32, 24}}, 1);
    ASSERT_TRUE(LayoutCombineSheet(O, G, 3, 0, 0, Main, S));
    EXPECT_EQ(S.Channels, 3u);
    EXPECT_EQ(ScanLine(S, 3)[3 * 3 + 2], 10);
    FreeImg(S);
    Free(G);
}

TEST_F(CombineTest, RunWritesNumberedSheetsAndLogsADamagedInput)
{
    Settings.File.FileNameFormat = "sheet<n>.bmp";
    O.Width = O.Height = 16;
    O.Rows = O.Columns = 2;
    Settings.Combine = O;
    Files.Clear();
    for (int K = 0; K < 5; ++K)
        Add(MakeJPEG("p" + std::to_string(K) + ".jpg", 32, 32, K));
    std::ofstream(Dir / "in" / "p1.jpg", std::ios::trunc) << "\xFF\xD8\xFF\xE0garbage";
    struct : TCombineObserver {
        std::atomic<int> N{0};
        void TileDone() override { ++N; }
    } Steps;
    TCombineRun Run(TCombineInput{&Files, nullptr}, Main, Log, &Steps, TakeRunSettings());
    Run.MaxThread = 2; // tiles load on the pool with resizer copies
    std::atomic<bool> Cancel{false};
    ASSERT_TRUE(Run.Execute(Cancel));
    EXPECT_EQ(Steps.N.load(), 5);
    ASSERT_EQ(Run.Written().size(), 2u);
    EXPECT_EQ(SizeOf(Run.Written()[0]), std::make_pair(32, 32));
    EXPECT_EQ(SizeOf(Run.Written()[1]), std::make_pair(16, 16));
    EXPECT_EQ(Run.Written()[1], Out("sheet2.bmp").string());
    EXPECT_EQ(Run.Numbers().NextNumber, 3);
    EXPECT_THAT(OnlyLine(), StartsWith("p1.jpg: "));

    // A cancelled run writes nothing more.
    Cancel = true;
    TCombineRun Again(TCombineInput{&Files, nullptr}, Main, Log, nullptr, TakeRunSettings());
    EXPECT_FALSE(Again.Execute(Cancel));
    EXPECT_TRUE(Again.Written().empty());
}

TEST_F(CombineTest, SheetsTakeNamesByTheRunsCollisionRulesAndEverySkipIsSaid)
{
    // A rule without a number: every page asks for the same name.
    Settings.File.FileNameFormat = "sheet.bmp";
    O.Rows = O.Columns = 1;
    Settings.Combine = O;
    Files.Clear();
    for (int K = 0; K < 3; ++K)
        Add(MakeJPEG("p" + std::to_string(K) + ".jpg", 32, 24, K));
    std::atomic<bool> Cancel{false};

    // Overwriting allowed: the first sheet is written, the later ones may
    // not silently take its place.
    TCombineRun Over(TCombineInput{&Files, nullptr}, Main, Log, nullptr, TakeRunSettings());
    Over.NotOverwrite = false;
    ASSERT_TRUE(Over.Execute(Cancel));
    EXPECT_EQ(Over.Written(), std::vector<std::string>{Out("sheet.bmp").string()});
    auto L = Lines();
    ASSERT_EQ(L.size(), 2u) << ::testing::PrintToString(L);
    EXPECT_EQ(L[0],
              "p1.jpg: cannot write " + Out("sheet.bmp").string() + ": another file of this run is written there");
    EXPECT_EQ(L[1].rfind("p2.jpg: ", 0), 0u);

    // Not overwriting: numbered names, the first sheet kept.
    ErrorLog.Clear();
    const std::string First = Read(Out("sheet.bmp"));
    TCombineRun Keep(TCombineInput{&Files, nullptr}, Main, Log, nullptr, TakeRunSettings());
    Keep.NotOverwrite = true;
    ASSERT_TRUE(Keep.Execute(Cancel));
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(Keep.Written().size(), 3u);
    EXPECT_EQ(Read(Out("sheet.bmp")), First);
    EXPECT_TRUE(fs::exists(Out("sheet[3].bmp")));

    // Beside the inputs under the first picture's name: a page's own
    // picture is no more to be replaced than another page's.
    ErrorLog.Clear();
    Settings.File.SameDirectory = true;
    Settings.File.FileNameFormat = "<old>";
    const std::string P0 = Read(Dir / "in" / "p0.jpg");
    O.Rows = 2;
    Settings.Combine = O;
    TCombineRun Own(TCombineInput{&Files, nullptr}, Main, Log, nullptr, TakeRunSettings());
    Own.NotOverwrite = false;
    ASSERT_TRUE(Own.Execute(Cancel));
    EXPECT_TRUE(Own.Written().empty());
    EXPECT_TRUE(Read(Dir / "in" / "p0.jpg") == P0);
    EXPECT_THAT(Lines(), ElementsAre(HasSubstr("p0.jpg: cannot write"), HasSubstr("p2.jpg: cannot write")));
}
