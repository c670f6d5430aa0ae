// Output names and effect texts as a user writes their rules: one row per rule.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/Global.h"
#include "core/OutputFileName.h"
#include "core/RunSettings.h"
#include "platform/LocaleFormat.h"

namespace {

struct TNameCase {
    const char* Rule;
    const char* Name; // "" when the rule is refused
    void (*Setup)(TRunSettings&, TScale&) = nullptr;
};

const TNameCase NameCases[] = {
    {"<ymd>_<ymdhns>", "/p/160309_20160309140507.png"},
    {"<yyyy>-<yy>-<mm>-<dd> <hh>.<nn>.<ss> <n3>", "/p/2016-16-03-09 14.05.07 007.png"},
    {"<s5><n>", "/p/5.png"},
    {"<sx><n2>", "/p/01.png"},
    {"<old>.JPG", "/p/a.JPG"},
    {"<old>.gif", "/p/a.gif.png"},
    {"<old>", "/p/a.jpg", [](TRunSettings& S, TScale&) { S.PNG.ConvertTo = 2; }},
    {"<old>", "/p/a.png", [](TRunSettings& S, TScale&) { S.PNG.ConvertTo = 4; }},
    {"<old>", "/p/a.jpg", [](TRunSettings& S, TScale&) { S.RunMode = 1; }},
    {"<old>_r.<ext>", "/p/a_r.PNG", [](TRunSettings& S, TScale&) { S.File.RenameOnly = true; }},
    {"<old>_r", "/p/a_r.png", [](TRunSettings& S, TScale&) { S.RunMode = 3; }},
    {"<resizemode>", "/p/None_int.png"},
    {"<resizemode>", "/p/Lanczos4_float_degamma.png",
     [](TRunSettings& S, TScale& Sc) {
         Sc = {0.5, 0.5};
         S.Resize.DecimationMode = 2;
         S.Resize.DecimationRadius = 4;
         S.Resize.SIMDMode = 2;
         S.Resize.Degamma = true;
     }},
    {"<resizemode>", "/p/Bicubic5_int.png",
     [](TRunSettings& S, TScale& Sc) { Sc = {1, 2}; S.Resize.InterpolationMode = 4; S.Resize.InterpolationSharp = 5; }},
    {"<resizemode>", "/p/Gaussian12_int.png",
     [](TRunSettings& S, TScale& Sc) { Sc = {3, 3}; S.Resize.InterpolationMode = 8; S.Resize.InterpolationBlur = 12; }},
    {"<resizemode>", "/p/NearestNeighbor_int.png",
     [](TRunSettings& S, TScale& Sc) { Sc = {0.5, 0.5}; S.Resize.DecimationMode = 9; }},
    // Forbidden characters, broken and unknown tokens give no name at all.
    {"a*b", ""}, {"a?b", ""}, {"a|b", ""}, {"<>", ""}, {"<old", ""}, {"<OLD>", ""}, {"<ymdhn>", ""}, {"<x1>", ""},
};

TEST(NameRuleTable, EveryRuleGivesTheNameAUserExpects)
{
    TImageInfo Info;
    Info.SetPath("/p/a.PNG");
    Info.PictureFormat = pfPNG;
    TryEncodeDateTime(2016, 3, 9, 14, 5, 7, Info.DateTimeOriginal);
    for (const TNameCase& C : NameCases) {
        TRunSettings S = TakeRunSettings();
        S.File.SameDirectory = true;
        S.File.ResetType = 0;
        S.File.StartNumber = 7;
        TScale Scale;
        if (C.Setup)
            C.Setup(S, Scale);
        std::string Rule = C.Rule, Out;
        const int32_t Number = ExtractStartNumber(Rule, S);
        MakeOutputFileName(Rule, Info, Number, Out, Scale, S);
        EXPECT_EQ(Out, C.Name) << C.Rule;
    }
    // Without a shooting date the file's own time names it.
    Info.DateTimeOriginal = 0;
    TryEncodeDateTime(2020, 12, 31, 23, 59, 58, Info.DateTimeLastWrite);
    std::string Out;
    MakeOutputFileName("<ymdhns>", Info, 1, Out, {}, TakeRunSettings());
    EXPECT_EQ(std::filesystem::path(Out).filename(), "20201231235958.png");
}

TEST(NameRuleTable, TextTokensOfTheAddTextEffect)
{
    TDateTime D;
    TryEncodeDateTime(2016, 3, 9, 14, 5, 7, D);
    const std::string DS = platform::DateSeparator(), TS = platform::TimeSeparator();
    const std::pair<const char*, std::string> Cases[] = {
        {"<old>|<new>|<oldname>|<newname>", "a.png|b.jpg|a|b"},
        {"<ymd> <ymdhn> <ymdhns>", "2016" + DS + "03" + DS + "09 2016" + DS + "03" + DS + "09 14" + TS + "05 2016" +
                                       DS + "03" + DS + "09 14" + TS + "05" + TS + "07"},
        {"<yy><mm><dd>-<hh><nn><ss> #<n>/<n4>", "160309-140507 #42/0042"},
        {"<what> <> x", "what  x"},
        {"cut <old", "cut "},
    };
    for (const auto& [Text, Want] : Cases) {
        std::string Out;
        ExpandTextTokens(Text, "b.jpg", "a.png", Out, 42, D);
        EXPECT_EQ(Out, Want) << Text;
    }
}

} // namespace
