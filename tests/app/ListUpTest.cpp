// Expanding folders into the file list and the run input.
#include "batch/ListUp.h"
#include "tests/app/AtOnceRun.h"
#include "tests/app/TestApp.h"

namespace fs = std::filesystem;

namespace {

class ListUp : public ::testing::Test {
protected:
    void SetUp() override
    {
        Root = ScratchDir("listup");
        // a/b holds one picture directly and one in b/s.
        fs::create_directories(Root / "a" / "b" / "s");
        Picture(Root / "a" / "b" / "top.bmp");
        Picture(Root / "a" / "b" / "s" / "deep.bmp");
    }
    void TearDown() override { fs::remove_all(Root); }
    static void Picture(const fs::path& P) { WritePhoto(P, 4, 3); }
    std::string B() const { return (Root / "a" / "b").string(); }
    std::string A() const { return (Root / "a").string() + "/"; }
    fs::path Root;
};

std::vector<std::string> Names(const std::vector<TImageFileInfo>& L)
{
    std::vector<std::string> out;
    for (const auto& e : L)
        out.push_back(ExtractFileName(e.InputFileName));
    return out;
}

TEST_F(ListUp, AFolderGivesBaseAndRelativeFoldersOfEveryPicture)
{
    TImageInfoList files;
    TListupOptions o;
    TListup(o, &files, nullptr).ListupPath(B());
    ASSERT_EQ(files.Count(), 2);
    // Name order, a sub-folder walked where its name falls: "s" before "top.bmp".
    EXPECT_EQ(files[0]->Name(), "deep.bmp");
    EXPECT_EQ(files[0]->Base, A());
    EXPECT_EQ(std::make_tuple(files[0]->Dir, files[1]->Dir), std::make_tuple("b/s/", "b/"));
    EXPECT_TRUE(files[1]->Checked);

    // Listing the same folder again adds nothing; a file differing only in
    // letter case is another file.
    Picture(Root / "a" / "b" / "TOP.bmp");
    TListup(o, &files, nullptr).ListupPath(B());
    ASSERT_EQ(files.Count(), 3);
    EXPECT_EQ(files[2]->Name(), "TOP.bmp");

    // A file that is not a picture is left out silently.
    std::ofstream(Root / "a" / "b" / "notes.txt") << "text";
    TImageInfoList again;
    TListup(o, &again, nullptr).ListupPath(B());
    EXPECT_EQ(again.Count(), 3);
}

TEST_F(ListUp, ANamedFileThatCannotBeListedSaysWhyAndAFoldersOneStaysQuiet)
{
    ErrorLog.Clear();
    std::ofstream(Root / "empty.jpg").close();
    std::ofstream(Root / "text.png") << "not a picture";
    std::ofstream(Root / "a" / "b" / "also-empty.jpg").close();
    TImageInfoList files;
    TListupOptions o;
    for (const char* Name : {"empty.jpg", "text.png"})
        TListup(o, &files, nullptr).ListupPath((Root / Name).string());
    TListup(o, &files, nullptr).ListupPath(B());
    EXPECT_EQ(files.Count(), 2); // the folder's two pictures
    EXPECT_THAT(ErrorLog.Lines(), ElementsAre(StartsWith("empty.jpg: "), StartsWith("text.png: ")));
    ErrorLog.Clear();
}

TEST_F(ListUp, LinkLoopsEndAndTerminateStopsTheWalk)
{
    // s/up points back at b: without the visited set this never ends.
    fs::create_directory_symlink(Root / "a" / "b", Root / "a" / "b" / "s" / "up");
    fs::create_symlink(Root / "a" / "b" / "nowhere", Root / "a" / "b" / "dangling.bmp");
    std::vector<TImageFileInfo> run;
    TListupOptions o;
    o.AtOnce = true;
    TListup(o, nullptr, &run).ListupPath(B());
    EXPECT_EQ(Names(run), (std::vector<std::string>{"deep.bmp", "top.bmp"}));

    // A terminated walk adds nothing more; what the list held stays.
    std::atomic<bool> stop{true};
    TListup(o, nullptr, &run, &stop).ListupPath(B());
    EXPECT_EQ(run.size(), 2u);

    // The thread reports its end and whether it was terminated.
    std::vector<TImageFileInfo> threaded;
    std::atomic<int> ended{-1};
    {
        TListupThread t({B()}, o, nullptr, &threaded, [&](bool Aborted) { ended = Aborted ? 1 : 0; });
        t.Start();
        t.Join();
    }
    EXPECT_EQ(std::make_tuple(ended.load(), threaded.size()), std::make_tuple(0, 2u));
}

} // namespace

// The built program handed a folder tree at once: the [File] keys that shape
// the walk decide which files are converted and in which order they are
// numbered (<n>): AddSubFolder, SortMode (a sub-folder where its name falls,
// or sub-folders first), AutoSortMode (the whole input by path, byte order,
// capitals before small letters). A file that is no picture by its name is
// passed over without a word.
using ListUpRun = AtOnceRun;

TEST_F(ListUpRun, EachFileKeyShapesTheInputOfAnAtOnceRun)
{
    fs::create_directories(Dir / "in" / "sub");
    WritePhoto(Dir / "in" / "B.jpg", 64, 48, 1);
    WritePhoto(Dir / "in" / "a.jpg", 64, 48, 2);
    WritePhoto(Dir / "in" / "sub" / "c.jpg", 64, 48, 3);
    std::ofstream(Dir / "in" / "notes.txt") << "not a picture";
    const struct {
        const char* Keys;
        std::vector<std::string> Want; // the outputs, numbered in input order
    } Runs[] = {
        {"AddSubFolder=0\nSortMode=0\nAutoSortMode=0\n", {"1_a.jpg", "2_B.jpg"}},
        {"AddSubFolder=1\nSortMode=0\nAutoSortMode=0\n", {"1_a.jpg", "2_B.jpg", "3_c.jpg"}},
        {"AddSubFolder=1\nSortMode=1\nAutoSortMode=0\n", {"1_c.jpg", "2_a.jpg", "3_B.jpg"}},
        {"AddSubFolder=1\nSortMode=1\nAutoSortMode=1\n", {"1_B.jpg", "2_a.jpg", "3_c.jpg"}},
        {"AddSubFolder=0\nSortMode=1\nAutoSortMode=1\n", {"1_B.jpg", "2_a.jpg"}},
    };
    int k = 0;
    for (const auto& R : Runs) {
        SCOPED_TRACE(R.Keys);
        const fs::path Out = Dir / ("out" + std::to_string(++k));
        std::ofstream(std::string(VESTRO_DIST_DIR) + "/ini/" + Profile)
            << "[File]\nAtOnce=1\nSameDirectory=0\nOutPutDirectory=" << Out.string()
            << "\nFileNameFormat=<n>_<old>\nStartNumber=1\nNumberResetType=0\n"
            << R.Keys;
        const auto [Status, Err] = Start({"in"});
        EXPECT_EQ(Status, 0) << Err;
        EXPECT_EQ(Err, "");
        std::vector<std::string> Got;
        for (const auto& E : fs::directory_iterator(Out))
            Got.push_back(E.path().filename().string());
        std::sort(Got.begin(), Got.end());
        std::vector<std::string> Want = R.Want;
        std::sort(Want.begin(), Want.end());
        EXPECT_EQ(Got, Want);
    }
}
