#include "batch/BatchRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

using TNames = std::vector<std::string>;

// Entries named like the main list: a source path, checked or not, a size.
// The rule is "<old>" with JPEG output into Out (or beside the source).
struct FakeNames : TNameJob {
    struct E {
        E(std::string P, bool C = true, int64_t Wd = 100, int64_t Ht = 100)
            : Path(std::move(P)), Checked(C), W(Wd), H(Ht)
        {
        }
        std::string Path;
        bool Checked;
        int64_t W, H;
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
    TNames Outs() const
    {
        TNames O;
        for (const E& e : Entries)
            O.push_back(e.Out);
        return O;
    }
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
        Numbering.ExtractStartNumber = [](int32_t C) { return C; };
    }
    void TearDown() override { fs::remove_all(Dir); }
    std::string P(const std::string& N) const { return (Dir / N).string(); }
    void Touch(std::initializer_list<const char*> Names)
    {
        for (const char* N : Names) {
            fs::create_directories(fs::path(P(N)).parent_path());
            std::ofstream(P(N)) << "x";
        }
    }
    // A run as a window makes it: the numbers taken before, stored after.
    TNamePhaseResult Run(FakeNames& J)
    {
        Numbering.CurrentNumber = Current;
        Numbering.StartNumber = Start;
        const TNamePhaseResult R = RunNamePhase(J, Rules, Numbering, Stop);
        StoreNextNumber(R, Current, Start);
        return R;
    }

    fs::path Dir;
    TCollisionRules Rules;
    int32_t Current = 1, Start = 1;
    TNumbering Numbering;
    std::atomic<bool> Stop{false};
};

} // namespace

TEST_F(NamePhase, NotOverwriteNumbersCollisionsWithinTheRunAndOnDisk)
{
    // b[1] is taken on disk: the next free is b[2]; A.bmp differs from a.jpg
    // in letter case, another name on this file system. a.png named twice
    // (the second time by another spelling) is one input, named once.
    Touch({"a.jpg", "a.png", "b.png", "b[1].jpg", "out/b.jpg", "out/b[1].jpg"});
    FakeNames J;
    J.OutDir = P("out/");
    J.Entries = {{P("a.jpg")}, {P("a.png")}, {P("A.bmp")}, {P("b.png")}, {(Dir / "." / "a.png").string()}};
    EXPECT_EQ(Run(J).OutputFileCount, 4);
    EXPECT_EQ(J.Outs(), (TNames{P("out/a.jpg"), P("out/a[1].jpg"), P("out/A.jpg"), P("out/b[2].jpg"), ""}));
}

TEST_F(NamePhase, SkipLeavesExistingOutputsAlone)
{
    Rules.Skip = true;
    Touch({"out/a.jpg"});
    FakeNames J;
    J.OutDir = P("out/");
    J.Entries = {{P("a.png"), true, 600, 600}, {P("b.png")}};
    const TNamePhaseResult R = Run(J);
    EXPECT_EQ(R.OutputFileCount, 1);
    EXPECT_EQ(J.Outs(), (TNames{"", P("out/b.jpg")}));
    EXPECT_EQ(R.AllSize, 1); // the progress total holds only the work that will be done
}

TEST_F(NamePhase, OverwriteGivesEachNameOnceAndSparesReadOnlyAndOtherInputs)
{
    Rules.NotOverwrite = false;
    Touch({"a.jpg", "a.png", "c.png", "c.jpg"});
    fs::permissions(P("c.jpg"), fs::perms::owner_write, fs::perm_options::remove);
    FakeNames J;
    // a.png would turn into a.jpg, the source of the next entry, which may not
    // have been read yet; a.jpg itself may be converted in place.
    J.Entries = {{P("a.png")}, {P("a.jpg")}, {P("c.png")}, {P("x/a.gif")}};
    J.Entries[3].Path = P("a.gif"); // a.jpg again, already given out
    EXPECT_EQ(Run(J).OutputFileCount, 1);
    EXPECT_EQ(J.Outs(), (TNames{"", P("a.jpg"), "" /* read-only */, ""}));
    Rules.IgnoreReadOnlyAttr = true;
    J.Entries = {{P("c.png")}};
    Run(J);
    EXPECT_EQ(J.Entries[0].Out, P("c.jpg"));
}

TEST_F(NamePhase, OneFolderUnderTwoSpellingsGivesOneNameOnce)
{
    // alias/ is real/ again: real/a.jpg and alias/a.jpg are one file.
    Touch({"real/a.png", "real/a.bmp"});
    fs::create_directory_symlink(Dir / "real", Dir / "alias");
    FakeNames J;
    J.Entries = {{P("real/a.png")}, {P("alias/a.bmp")}};
    Run(J);
    EXPECT_EQ(J.Outs(), (TNames{P("real/a.jpg"), P("alias/a[1].jpg")}));
    Rules.NotOverwrite = false;
    Run(J);
    EXPECT_EQ(J.Outs(), (TNames{P("real/a.jpg"), ""}));
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
    EXPECT_EQ(std::make_tuple(J.Entries[2].Number, Current), std::make_tuple(INT32_MAX, INT32_MAX));
}

TEST_F(NamePhase, InvalidNameFailsThePhase)
{
    FakeNames J;
    J.OutDir = P("o/");
    J.Entries = {{P("a.png")}, {P(".png")}};
    J.Ext = "";
    // "o/.png" has nothing before its extension: the rule gave an empty name.
    const TNamePhaseResult R = Run(J);
    EXPECT_EQ(R.OutputFileCount, kNamesEmpty);
    EXPECT_EQ(R.Lines,
              (std::vector<std::string>{"a.png: The file name rule gives an empty name",
                                        ".png: The file name rule gives an empty name"}));
    // A rule with a forbidden character gives no name at all.
    struct Forbidden : FakeNames {
        std::string MakeName(int, int32_t) override { return {}; }
    } F;
    F.Entries = {{P("a.png")}, {P("b.png")}};
    const TNamePhaseResult RF = Run(F);
    EXPECT_EQ(RF.OutputFileCount, kNamesInvalid);
    EXPECT_EQ(RF.Lines,
              (std::vector<std::string>{"a.png: The file name contains characters that cannot be used",
                                        "b.png: The file name contains characters that cannot be used"}));
    FakeNames Empty;
    EXPECT_EQ(Run(Empty).OutputFileCount, 0);
}
