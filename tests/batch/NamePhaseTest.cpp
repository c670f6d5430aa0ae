#include "batch/BatchRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Entries named like the main list: a source path, checked or not, a size.
// The rule is "<old>" with JPEG output into Out (or beside the source).
struct FakeNames : TNameJob {
    struct E {
        E(std::string P, bool C = true, int64_t Wd = 100, int64_t Ht = 100)
            : Path(std::move(P)), Checked(C), W(Wd), H(Ht)
        {
        }
        std::string Path;
        bool Checked = true;
        int64_t W = 100, H = 100;
        std::string Out;
        int32_t Number = 0;
    };
    std::vector<E> Entries;
    std::string OutDir; // empty: the source's folder
    std::string Ext = ".jpg";
    int Count() override { return int(Entries.size()); }
    bool Prepare(int I, int64_t& W, int64_t& H) override
    {
        E& e = Entries[size_t(I)];
        e.Out.clear();
        W = e.W;
        H = e.H;
        return e.Checked;
    }
    std::string InputPath(int I) override { return Entries[size_t(I)].Path; }
    std::string MakeName(int I, int32_t Number) override
    {
        E& e = Entries[size_t(I)];
        e.Number = Number;
        const fs::path P(e.Path);
        const std::string Dir = OutDir.empty() ? P.parent_path().string() + "/" : OutDir;
        return Dir + P.stem().string() + Ext;
    }
    void StoreName(int I, const std::string& Name) override { Entries[size_t(I)].Out = Name; }
};

class NamePhase : public ::testing::Test {
protected:
    void SetUp() override
    {
        Dir = fs::temp_directory_path() /
              ("vestro_names_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        Numbering.CurrentNumber = &Current;
        Numbering.StartNumber = &Start;
        Numbering.ExtractStartNumber = [this] { return Current; };
    }
    void TearDown() override { fs::remove_all(Dir); }
    std::string P(const std::string& N) const { return (Dir / N).string(); }
    void Touch(const std::string& N) { std::ofstream(P(N)) << "x"; }
    TNamePhaseResult Run(FakeNames& J) { return RunNamePhase(J, Rules, Numbering, Stop); }

    fs::path Dir;
    TCollisionRules Rules;
    int32_t Current = 1, Start = 1;
    TNumbering Numbering;
    std::atomic<bool> Stop{false};
};

} // namespace

TEST_F(NamePhase, NotOverwriteNumbersCollisionsWithinTheRunAndOnDisk)
{
    Touch("a.jpg");
    Touch("a.png");
    Touch("b.png");
    Touch("b[1].jpg"); // taken on disk: the next free is b[2]
    FakeNames J;
    J.OutDir = P("out/");
    J.Entries = {{P("a.jpg")}, {P("a.png")}, {P("A.bmp")}, {P("b.png")}};
    fs::create_directories(Dir / "out");
    std::ofstream(P("out/b.jpg")) << "x";
    std::ofstream(P("out/b[1].jpg")) << "x";
    const TNamePhaseResult R = Run(J);
    EXPECT_EQ(R.OutputFileCount, 4);
    EXPECT_EQ(J.Entries[0].Out, P("out/a.jpg"));
    EXPECT_EQ(J.Entries[1].Out, P("out/a[1].jpg"));
    // Differs only in letter case: the same name within a run.
    EXPECT_EQ(J.Entries[2].Out, P("out/A[2].jpg"));
    EXPECT_EQ(J.Entries[3].Out, P("out/b[2].jpg"));
}

TEST_F(NamePhase, SkipLeavesExistingOutputsAlone)
{
    Rules.Skip = true;
    fs::create_directories(Dir / "out");
    std::ofstream(P("out/a.jpg")) << "x";
    FakeNames J;
    J.OutDir = P("out/");
    J.Entries = {{P("a.png"), true, 600, 600}, {P("b.png")}};
    const TNamePhaseResult R = Run(J);
    EXPECT_EQ(R.OutputFileCount, 1);
    EXPECT_EQ(J.Entries[0].Out, "");
    EXPECT_EQ(J.Entries[1].Out, P("out/b.jpg"));
    // The progress total holds only the work that will be done.
    EXPECT_EQ(R.AllSize, 1);
}

TEST_F(NamePhase, OverwriteGivesEachNameOnceAndSparesReadOnlyAndOtherInputs)
{
    Rules.NotOverwrite = false;
    Touch("a.jpg");
    Touch("a.png");
    Touch("c.png");
    Touch("c.jpg");
    fs::permissions(P("c.jpg"), fs::perms::owner_write, fs::perm_options::remove);
    FakeNames J;
    // a.png would turn into a.jpg, the source of the next entry, which may not
    // have been read yet; a.jpg itself may be converted in place.
    J.Entries = {{P("a.png")}, {P("a.jpg")}, {P("c.png")}, {P("x/a.gif")}};
    J.Entries[3].Path = P("a.gif"); // a.jpg again, already given out
    const TNamePhaseResult R = Run(J);
    EXPECT_EQ(J.Entries[0].Out, "");
    EXPECT_EQ(J.Entries[1].Out, P("a.jpg"));
    EXPECT_EQ(J.Entries[2].Out, ""); // read-only output
    EXPECT_EQ(J.Entries[3].Out, "");
    EXPECT_EQ(R.OutputFileCount, 1);
    Rules.IgnoreReadOnlyAttr = true;
    J.Entries = {{P("c.png")}};
    Run(J);
    EXPECT_EQ(J.Entries[0].Out, P("c.jpg"));
}

TEST_F(NamePhase, OneFolderUnderTwoSpellingsGivesOneNameOnce)
{
    // alias/ is real/ again: real/a.jpg and alias/a.jpg are one file.
    fs::create_directories(Dir / "real");
    fs::create_directory_symlink(Dir / "real", Dir / "alias");
    Touch("real/a.png");
    Touch("real/a.bmp");
    FakeNames J;
    J.Entries = {{P("real/a.png")}, {P("alias/a.bmp")}};
    Run(J);
    EXPECT_EQ(J.Entries[0].Out, P("real/a.jpg"));
    EXPECT_EQ(J.Entries[1].Out, P("alias/a[1].jpg"));
    Rules.NotOverwrite = false;
    Run(J);
    EXPECT_EQ(J.Entries[0].Out, P("real/a.jpg"));
    EXPECT_EQ(J.Entries[1].Out, "");
}

TEST_F(NamePhase, NumberingTilesAndFolders)
{
    FakeNames J;
    J.OutDir = P("deep/er/");
    J.Entries = {{P("a.png"), true, 257, 256}, {P("b.png"), false}, {P("c.png"), true, 0, 10},
                 {P("d.png"), true, 1, 1}};
    Start = 5;
    const TNamePhaseResult R = Run(J);
    EXPECT_EQ(R.OutputFileCount, 2);
    EXPECT_EQ(R.AllSize, 2 + 1); // 2 x 1 tiles and 1 tile
    EXPECT_EQ(J.Entries[0].Number, 5);
    EXPECT_EQ(J.Entries[1].Out, ""); // unchecked: no number, no name
    EXPECT_EQ(J.Entries[3].Number, 6);
    EXPECT_TRUE(fs::is_directory(Dir / "deep/er"));
    EXPECT_EQ(Current, 7);
}

TEST_F(NamePhase, ResetTypesAcrossTwoRuns)
{
    FakeNames J;
    J.OutDir = P("o/");
    J.Entries = {{P("a.png")}, {P("b.png")}};
    for (int32_t Type : {0, 1, 2}) {
        SCOPED_TRACE(Type);
        Numbering.ResetType = Type;
        Start = 10;
        Current = 10;
        Run(J);
        fs::remove_all(Dir / "o");
        Run(J);
        // 0 starts again at 10; 1 and 2 go on at 12.
        EXPECT_EQ(J.Entries[0].Number, Type == 0 ? 10 : 12);
        EXPECT_EQ(Current, Type == 0 ? 12 : 14);
        EXPECT_EQ(Start, Type == 2 ? 14 : 10);
    }
}

TEST_F(NamePhase, NumbersStopAtTheTopOfTheRangeInsteadOfWrapping)
{
    FakeNames J;
    J.OutDir = P("o/");
    J.Entries = {{P("a.png")}, {P("b.png")}, {P("c.png")}};
    Numbering.ResetType = 1;
    Current = INT32_MAX - 1;
    Run(J);
    EXPECT_EQ(J.Entries[0].Number, INT32_MAX - 1);
    EXPECT_EQ(J.Entries[2].Number, INT32_MAX);
    EXPECT_EQ(Current, INT32_MAX);
}

TEST_F(NamePhase, InvalidNameFailsThePhase)
{
    FakeNames J;
    J.OutDir = P("o/");
    J.Entries = {{P("a.png")}, {P(".png")}};
    J.Ext = "";
    EXPECT_EQ(Run(J).OutputFileCount, -1);
    EXPECT_EQ(RunNamePhase(J, Rules, Numbering, Stop).OutputFileCount, -1);
    FakeNames Empty;
    EXPECT_EQ(Run(Empty).OutputFileCount, 0);
}

TEST_F(NamePhase, WorkIsHandedOutCostliestFirstWhileNumbersFollowTheList)
{
    FakeNames J;
    J.OutDir = P("");
    J.Entries = {{P("a.bmp"), true, 100, 100}, {P("b.bmp"), true, 400, 300}, {P("c.bmp"), false, 999, 999},
                 {P("d.bmp"), true, 300, 400}, {P("e.bmp"), true, 200, 100}};
    const TNamePhaseResult R = Run(J);
    ASSERT_EQ(R.OutputFileCount, 4);
    // Equal costs keep their list order; the unchecked entry is not handed out.
    EXPECT_EQ(R.WorkOrder, (std::vector<int>{1, 3, 4, 0}));
    EXPECT_EQ(J.Entries[0].Number, 1);
    EXPECT_EQ(J.Entries[1].Number, 2);
    EXPECT_EQ(J.Entries[3].Number, 3);
    EXPECT_EQ(J.Entries[4].Number, 4);
}
