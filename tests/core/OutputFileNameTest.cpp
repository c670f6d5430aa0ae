
#include "core/OutputFileName.h"
#include "FilesTestUtil.h"

namespace {

class NameRule : public ::testing::Test {
protected:
    void SetUp() override
    {
        FileOption.SameDirectory = true;
        ClearFolderFileCounts();
        Info.SetPath("/photos/2016/a.png");
        Info.PictureFormat = pfPNG;
        TryEncodeDateTime(2016, 3, 9, 14, 5, 7, Info.DateTimeOriginal);
    }
    void TearDown() override { ClearFolderFileCounts(); }
    std::string Make(const std::string& Rule, int32_t Number = 1, TScale Scale = {})
    {
        std::string R = Rule, Out;
        ExtractStartNumber(R);
        MakeOutputFileName(R, Info, Number, Out, Scale, TakeRunSettings());
        return Out;
    }
    TOptionGuard Guard;
    TImageInfo Info;
};

TEST_F(NameRule, NameAndFolderTokens)
{
    Info.SetPath("/in/sub/Photo.Final.JPG");
    Info.PictureFormat = pfJPEG;
    Info.Dir = "sub/";
    Info.Base = "/in/";
    EXPECT_EQ(Make("<old>.<ext>"), "/in/sub/Photo.Final.JPG");
    EXPECT_EQ(Make("resize/<dir>/<old>_<pdir>"), "/in/sub/resize/sub/Photo.Final_sub.jpg");
    EXPECT_EQ(Make("resize\\<dir>\\<old>"), "/in/sub/resize/sub/Photo.Final.jpg");
    // <base> and absolute rules are not put under any folder.
    EXPECT_EQ(Make("<base>_out/<dir><old>"), "/in_out/sub/Photo.Final.jpg");
    FileOption.SameDirectory = false;
    FileOption.OutputDirectory = "/out";
    EXPECT_EQ(Make("<old>"), "/out/Photo.Final.jpg");
    EXPECT_EQ(Make("/abs/<old>"), "/abs/Photo.Final.jpg");
    EXPECT_EQ(Make("\\abs\\<old>"), "/abs/Photo.Final.jpg");
}

TEST_F(NameRule, FolderCountsContinueAfterExistingFiles)
{
    TTempDir D;
    for (int I = 0; I < 9; ++I)
        WriteBytes(D.File("f" + std::to_string(I)), {1});
    WriteBytes(D.File(".hidden"), {1});
    std::filesystem::create_directory(D.File("sub"));
    FileOption.SameDirectory = false;
    FileOption.OutputDirectory = D.Path;
    EXPECT_EQ(Make("<c2>"), D.Path + "10.png");
    EXPECT_EQ(Make("<c>"), D.Path + "11.png");
    // Another folder has its own count; a missing folder starts at 1.
    EXPECT_EQ(Make("sub/<c3>"), D.Path + "sub/001.png");
    EXPECT_EQ(Make("none/<c>"), D.Path + "none/1.png");
    ClearFolderFileCounts();
    EXPECT_EQ(Make("<c>"), D.Path + "10.png");
}

} // namespace
