#include <gtest/gtest.h>

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

TEST_F(NameRule, DateAndNumberTokens)
{
    EXPECT_EQ(Make("<yy><mm><dd>_<n3>", 7), "/photos/2016/160309_007.png");
    EXPECT_EQ(Make("<ymd>-<ymdhns>"), "/photos/2016/160309-20160309140507.png");
    EXPECT_EQ(Make("<yyyy>/<hh><nn><ss>"), "/photos/2016/2016/140507.png");
    EXPECT_EQ(Make("x<n>", 42), "/photos/2016/x42.png");
    EXPECT_EQ(Make("x<n2zz>", 5), "/photos/2016/x05.png"); // characters after the digit are ignored
    // Without a shooting date the last-write time counts.
    Info.DateTimeOriginal = 0;
    TryEncodeDateTime(2001, 12, 31, 23, 59, 58, Info.DateTimeLastWrite);
    EXPECT_EQ(Make("<ymd>"), "/photos/2016/011231.png");
}

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

TEST_F(NameRule, AppendedExtension)
{
    EXPECT_EQ(Make("<old>.jpg"), "/photos/2016/a.jpg");
    EXPECT_EQ(Make("<old>.JPEG"), "/photos/2016/a.JPEG");
    EXPECT_EQ(Make("<old>"), "/photos/2016/a.png");
    EXPECT_EQ(Make("<old>.<ext>"), "/photos/2016/a.png");
    Info.SetPath("/s/scan.tif");
    Info.PictureFormat = pfWIC;
    EXPECT_EQ(Make("<old>.<ext>"), "/s/scan.tif.jpg");
    Info.PictureFormat = pfSPI;
    SPIOption.SPITo = 1;
    EXPECT_EQ(Make("<old>"), "/s/scan.bmp");
    // Values that no writer produces count as the record's default.
    SPIOption.SPITo = 4;
    EXPECT_EQ(Make("<old>"), "/s/scan.png");
    Info.PictureFormat = pfBMP;
    BitmapOption.ConvertTo = 0;
    EXPECT_EQ(Make("<old>"), "/s/scan.bmp");
    Info.PictureFormat = pfJPEG;
    JPEGOption.ConvertTo = 77;
    EXPECT_EQ(Make("<old>"), "/s/scan.jpg");
    JPEGOption.ConvertTo = 3;
    EXPECT_EQ(Make("<old>"), "/s/scan.png");
    RunMode = 1;
    EXPECT_EQ(Make("<old>"), "/s/scan.jpg");
    // Renaming converts nothing: the file keeps its own kind of extension,
    // whatever the format conversion settings say.
    RunMode = 3;
    FileOption.RenameOnly = true;
    Info.SetPath("/s/scan.jpg"); // JPEG input, set to become PNG above
    EXPECT_EQ(Make("<old>_<n3>", 4), "/s/scan_004.jpg");
    Info.SetPath("/s/Scan.TIF");
    Info.PictureFormat = pfWIC;
    EXPECT_EQ(Make("<old>"), "/s/Scan.tif");
    EXPECT_EQ(Make("<old>.<ext>"), "/s/Scan.TIF");
    EXPECT_EQ(Make("<old>.png"), "/s/Scan.png"); // what the rule asks for, as typed
}

TEST_F(NameRule, InvalidRulesGiveNoName)
{
    for (const char* Rule : {"out|<old>", "<old", "<>", "a*b", "a?b", "a\"b", "a>b", "<n0>", "<N>", "<OLD>",
                             "<ymdhn>", "<new>", "<oldname>", "<zz>", "<c0>"})
        EXPECT_EQ(Make(Rule), "") << Rule;
}

TEST_F(NameRule, StartNumber)
{
    FileOption.ResetType = 0;
    FileOption.StartNumber = 5;
    std::string R = "<old>_<n>";
    EXPECT_EQ(ExtractStartNumber(R), 5);
    R = "<s100><old>_<n>";
    EXPECT_EQ(ExtractStartNumber(R), 100);
    EXPECT_EQ(R, "<old>_<n>");
    R = "<sabc><old><s7>";
    EXPECT_EQ(ExtractStartNumber(R), 7); // the last token wins
    R = "<sx><old>";
    EXPECT_EQ(ExtractStartNumber(R), 1);
    R = "<old><ss><s3";
    EXPECT_EQ(ExtractStartNumber(R), 3);
    EXPECT_EQ(R, "<old><ss>"); // the seconds token stays
    FileOption.ResetType = 1;
    CurrentNumber = 33;
    R = "<old>";
    EXPECT_EQ(ExtractStartNumber(R), 33);
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

TEST(TextTokens, ExpandsAndWritesUnknownNamesBare)
{
    TDateTime D;
    TryEncodeDateTime(2010, 1, 2, 3, 4, 5, D);
    std::string Out;
    ExpandTextTokens("<old>|<new>|<oldname>|<newname>|<n4>|<n>|<ext>|<zz>|<>|<yy><mm><dd><hh><nn><ss>", "b.png",
                     "a.jpg", Out, 12, D);
    EXPECT_EQ(Out, "a.jpg|b.png|a|b|0012|12|ext|zz||100102030405");
    // The C locale writes dates with "/" and times with ":".
    ExpandTextTokens("<ymd> <ymdhn> <ymdhns> <c> <abc", "", "", Out, 0, D);
    EXPECT_EQ(Out, "2010/01/02 2010/01/02 03:04 2010/01/02 03:04:05 c ");
}

} // namespace
