
#include "core/OutputFileName.h"
#include "core/RunSettings.h"
#include "platform/LocaleFormat.h"
#include "FilesTestUtil.h"

// Output names and effect texts as a user writes their rules: one row per rule.
TEST(NameRuleTable, EveryRuleGivesTheNameAUserExpects)
{
    TTempDir D; // an output folder that already holds nine files, a hidden one and a folder
    for (int I = 0; I < 9; ++I)
        WriteBytes(D.File("f" + std::to_string(I)), {1});
    WriteBytes(D.File(".hidden"), {1});
    std::filesystem::create_directory(D.File("sub"));
    struct TRow {
        const char* Rule;
        std::string Name;                               // "" when the rule is refused
        int32_t ConvertTo = 3, RunMode = 0, Filter = 0; // [PNG] ConvertTo, run mode, resampling filter
        double Scale = 1;
        std::string OutDir = "";  // "" writes beside the picture
        bool Sub = false;         // the picture is /in/sub/Photo.Final.JPG under the added folder /in/
        bool ClearCounts = false; // a new run forgets the folder counts first
    } const Rows[] = {
        {"<ymd>_<ymdhns>", "/p/160309_20160309140507.png"},
        {"<yyyy>-<yy>-<mm>-<dd> <hh>.<nn>.<ss> <n3>", "/p/2016-16-03-09 14.05.07 007.png"},
        {"<s5><n>", "/p/5.png"},
        {"<sx><n2>", "/p/01.png"},
        {"<old>.JPG", "/p/a.JPG"},
        {"<old>.gif", "/p/a.gif.png"},
        {"<old>", "/p/a.jpg", 2},
        {"<old>", "/p/a.png", 4},
        {"<old>", "/p/a.jpg", 3, 1},
        {"<old>_r", "/p/a_r.png", 3, 3},
        {"<old>_r.<ext>", "/p/a_r.PNG", 3, 3},
        {"<resizemode>", "/p/None_float_degamma.png"},
        {"<resizemode>", "/p/Lanczos4_float_degamma.png", 3, 0, 2, 0.5},
        {"<resizemode>", "/p/Bicubic5_float_degamma.png", 3, 0, 4, 2},
        {"<resizemode>", "/p/Gaussian12_float_degamma.png", 3, 0, 8, 3},
        {"<resizemode>", "/p/NearestNeighbor_float_degamma.png", 3, 0, 9, 0.5},
        // Forbidden characters, broken and unknown tokens give no name at all.
        {"a*b", ""},
        {"a?b", ""},
        {"a|b", ""},
        {"<>", ""},
        {"<old", ""},
        {"<OLD>", ""},
        {"<ymdhn>", ""},
        {"<x1>", ""},
        // Folder tokens; <base> and absolute rules are not put under any folder.
        {.Rule = "<old>.<ext>", .Name = "/in/sub/Photo.Final.JPG", .Sub = true},
        {.Rule = "resize/<dir>/<old>_<pdir>", .Name = "/in/sub/resize/sub/Photo.Final_sub.jpg", .Sub = true},
        {.Rule = "resize\\<dir>\\<old>", .Name = "/in/sub/resize/sub/Photo.Final.jpg", .Sub = true},
        {.Rule = "<base>_out/<dir><old>", .Name = "/in_out/sub/Photo.Final.jpg", .Sub = true},
        {.Rule = "<old>", .Name = "/out/Photo.Final.jpg", .OutDir = "/out", .Sub = true},
        {.Rule = "/abs/<old>", .Name = "/abs/Photo.Final.jpg", .OutDir = "/out", .Sub = true},
        {.Rule = "\\abs\\<old>", .Name = "/abs/Photo.Final.jpg", .OutDir = "/out", .Sub = true},
        // Folder counts go on after the files already there; another folder has its own count, a
        // missing one starts at 1.
        {.Rule = "<c2>", .Name = D.Path + "10.png", .OutDir = D.Path},
        {.Rule = "<c>", .Name = D.Path + "11.png", .OutDir = D.Path},
        {.Rule = "sub/<c3>", .Name = D.Path + "sub/001.png", .OutDir = D.Path},
        {.Rule = "none/<c>", .Name = D.Path + "none/1.png", .OutDir = D.Path},
        {.Rule = "<c>", .Name = D.Path + "10.png", .OutDir = D.Path, .ClearCounts = true},
    };
    TImageInfo Info, Sub;
    Info.SetPath("/p/a.PNG");
    Info.PictureFormat = pfPNG;
    TryEncodeDateTime(2016, 3, 9, 14, 5, 7, Info.DateTimeOriginal);
    Sub.SetPath("/in/sub/Photo.Final.JPG");
    Sub.PictureFormat = pfJPEG;
    Sub.Dir = "sub/";
    Sub.Base = "/in/";
    ClearFolderFileCounts();
    for (const TRow& R : Rows) {
        if (R.ClearCounts)
            ClearFolderFileCounts();
        TRunSettings S = TakeRunSettings();
        S.File.SameDirectory = R.OutDir.empty();
        S.File.OutputDirectory = R.OutDir;
        S.File.ResetType = 0;
        S.File.StartNumber = 7;
        S.PNG.ConvertTo = R.ConvertTo;
        S.RunMode = R.RunMode;
        S.Resize = {.DecimationMode = R.Filter,
                    .DecimationRadius = 4,
                    .InterpolationMode = R.Filter,
                    .InterpolationSharp = 5,
                    .InterpolationBlur = 12,
                    .SIMDMode = 2,
                    .Degamma = true};
        std::string Rule = R.Rule, Out;
        const int32_t Number = ExtractStartNumber(Rule, S);
        MakeOutputFileName(Rule, R.Sub ? Sub : Info, Number, Out, {R.Scale, R.Scale}, S);
        EXPECT_EQ(Out, R.Name) << R.Rule;
    }
    ClearFolderFileCounts();
}

TEST(NameRuleTable, TextTokensOfTheAddTextEffect)
{
    TDateTime D;
    TryEncodeDateTime(2016, 3, 9, 14, 5, 7, D);
    const std::string DS = platform::DateSeparator(), TS = platform::TimeSeparator();
    const std::string Day = "2016" + DS + "03" + DS + "09";
    const std::pair<const char*, std::string> Rows[] = {
        {"<old>|<new>|<oldname>|<newname>", "a.png|b.jpg|a|b"},
        {"<ymd> <ymdhn> <ymdhns>", Day + " " + Day + " 14" + TS + "05 " + Day + " 14" + TS + "05" + TS + "07"},
        {"<yy><mm><dd>-<hh><nn><ss> #<n>/<n4>", "160309-140507 #42/0042"},
        {"<what> <> x", "what  x"},
        {"cut <old", "cut "},
    };
    for (const auto& [Text, Want] : Rows) {
        std::string Out;
        ExpandTextTokens(Text, "b.jpg", "a.png", Out, 42, D);
        EXPECT_EQ(Out, Want) << Text;
    }
}
