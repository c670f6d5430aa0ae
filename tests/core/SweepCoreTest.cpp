// Names, dates, sizes and settings texts at the edges the other tables leave
// open: each row is a case a user meets and a plausible slip would change.
#include <gtest/gtest.h>

#include "core/Bitmap.h"
#include "core/Funcs.h"
#include "core/Kodex.h"
#include "core/OutputFileName.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include "core/RunSettings.h"
#include "FilesTestUtil.h"

namespace {

// The name a rule gives the picture /p/a.PNG (a PNG, taken 2016-03-09 14:05:07).
std::string NameOf(const std::string& RuleIn, TScale Scale = {1, 1},
                   const std::function<void(TRunSettings&)>& Change = nullptr)
{
    TImageInfo Info;
    Info.SetPath("/p/a.PNG");
    Info.PictureFormat = pfPNG;
    TryEncodeDateTime(2016, 3, 9, 14, 5, 7, Info.DateTimeOriginal);
    TRunSettings S = TakeRunSettings();
    S.File.SameDirectory = true;
    S.File.ResetType = 0;
    S.File.StartNumber = 1;
    S.File.RenameOnly = false;
    S.RunMode = 0;
    S.PNG.ConvertTo = 3;
    if (Change)
        Change(S);
    std::string Rule = RuleIn, Out;
    const int32_t Number = ExtractStartNumber(Rule, S);
    MakeOutputFileName(Rule, Info, Number, Out, Scale, S);
    return Out;
}

} // namespace

// A rule that names one of the written extensions itself keeps it as it is:
// nothing is appended, whatever its case.
TEST(SweepNames, AWrittenExtensionInTheRuleIsKept)
{
    const struct {
        const char* Rule;
        const char* Name;
    } Rows[] = {
        {"<old>.jpeg", "/p/a.jpeg"},   {"<old>.JPEG", "/p/a.JPEG"}, {"<old>.jpg", "/p/a.jpg"},
        {"<old>.bmp", "/p/a.bmp"},     {"<old>.png", "/p/a.png"},   {"<old>.tif", "/p/a.tif.png"},
        {"<old>.jpe", "/p/a.jpe.png"},
    };
    for (const auto& R : Rows)
        EXPECT_EQ(NameOf(R.Rule), R.Name) << R.Rule;
}

// <resizemode> names the filter of the direction the picture goes: a picture
// only stretched in height is enlarged (interpolation filter), one only
// squeezed in height is reduced (decimation filter).
TEST(SweepNames, ResizeModeFollowsTheDirectionOfEitherSide)
{
    auto Filters = [](TRunSettings& S) {
        S.Resize = {.DecimationMode = 2,
                    .DecimationRadius = 3,
                    .InterpolationMode = 4,
                    .InterpolationSharp = 6,
                    .SIMDMode = 0,
                    .Degamma = false};
    };
    const struct {
        TScale Scale;
        const char* Name;
    } Rows[] = {
        {{1, 2}, "/p/Bicubic6_int.png"},   {{2, 1}, "/p/Bicubic6_int.png"},   {{1, 0.5}, "/p/Lanczos3_int.png"},
        {{0.5, 1}, "/p/Lanczos3_int.png"}, {{0.5, 2}, "/p/Lanczos3_int.png"}, {{2, 0.5}, "/p/Bicubic6_int.png"},
    };
    for (const auto& R : Rows)
        EXPECT_EQ(NameOf("<resizemode>", R.Scale, Filters), R.Name) << R.Scale.XScale << " x " << R.Scale.YScale;
}

// Renaming converts nothing: the renamed file keeps its own kind of
// extension whichever format the settings would convert a PNG to, whether
// the run mode or the file option asks for renaming.
TEST(SweepNames, ARenamedFileKeepsItsOwnExtension)
{
    const struct {
        const char* Rule;
        int32_t RunMode;
        bool RenameOnly;
        const char* Name;
    } Rows[] = {
        {"<old>_r", 0, true, "/p/a_r.png"},       {"<old>_r", 3, false, "/p/a_r.png"},
        {"<old>_r.<ext>", 0, true, "/p/a_r.PNG"}, {"<old>_r.png", 0, true, "/p/a_r.png"},
        {"<old>_r", 0, false, "/p/a_r.jpg"},
    };
    for (const auto& R : Rows)
        EXPECT_EQ(NameOf(R.Rule, {1, 1},
                         [&](TRunSettings& S) {
                             S.PNG.ConvertTo = 2;
                             S.RunMode = R.RunMode;
                             S.File.RenameOnly = R.RenameOnly;
                         }),
                  R.Name)
            << R.Rule << " mode " << R.RunMode << (R.RenameOnly ? " rename only" : "");
}

// Every second of a day, and days across centuries and leap days, decode to
// the very parts they were made of (the day fraction is not exact in binary:
// a second cut instead of rounded would show in names and texts).
TEST(SweepDates, EverySecondDecodesToItself)
{
    auto RoundTrip = [](int32_t Y, int32_t M, int32_t D, int32_t H, int32_t N, int32_t S) {
        TDateTime T = 0;
        if (!TryEncodeDateTime(Y, M, D, H, N, S, T))
            return std::string("refused");
        int32_t P[6];
        DecodeDateTime(T, P[0], P[1], P[2], P[3], P[4], P[5]);
        char B[64];
        std::snprintf(B, sizeof B, "%04d-%02d-%02d %02d:%02d:%02d", P[0], P[1], P[2], P[3], P[4], P[5]);
        return std::string(B);
    };
    int Wrong = 0;
    for (int32_t S = 0; S < 86400 && Wrong < 5; ++S) {
        char Want[64];
        std::snprintf(Want, sizeof Want, "2016-03-09 %02d:%02d:%02d", S / 3600, S / 60 % 60, S % 60);
        const std::string Got = RoundTrip(2016, 3, 9, S / 3600, S / 60 % 60, S % 60);
        if (Got != Want)
            ++Wrong, ADD_FAILURE() << Got << " for " << Want;
    }
    const struct {
        int32_t Y, M, D;
        const char* Want;
    } Days[] = {
        {2000, 2, 29, "2000-02-29 23:59:59"},
        {1900, 2, 29, "refused"},
        {2100, 2, 29, "refused"},
        {2024, 2, 29, "2024-02-29 23:59:59"},
        {2023, 2, 29, "refused"},
        {1899, 12, 30, "1899-12-30 23:59:59"},
        {1601, 1, 1, "1601-01-01 23:59:59"},
        {9999, 12, 31, "9999-12-31 23:59:59"},
        {2016, 4, 31, "refused"},
    };
    for (const auto& D : Days)
        EXPECT_EQ(RoundTrip(D.Y, D.M, D.D, 23, 59, 59), D.Want) << D.Y << "-" << D.M << "-" << D.D;
    EXPECT_EQ(RoundTrip(2016, 3, 9, 24, 0, 0), "refused");
    EXPECT_EQ(RoundTrip(2016, 3, 9, 0, 60, 0), "refused");
}

// A leading sign belongs to the first term only: "-W+H+300" is 100 on an
// 800 x 600 picture, not the negative of the whole sum.
TEST(SweepSizeExpression, ALeadingMinusNegatesTheFirstTermOnly)
{
    const std::pair<const char*, double> Rows[] = {
        {"-2+3", 1}, {"-W+H+300", 100}, {"-W/4+H", 400},    {"-2*3+10", 4},
        {"+2-1", 1}, {"-(2-5)", 3},     {"W-H*2+500", 100}, {"h/2+w/4", 500},
    };
    for (const auto& [Text, Want] : Rows)
        EXPECT_EQ(EvaluateExpression(SubstituteWidthHeight(Text, 800, 600), '.'), Want) << Text;
}

// A 32-bit bitmap's fourth byte is alpha unless it is the same everywhere and
// 0 or 255 (writers that leave it unused): a picture that is all half
// transparent keeps its alpha.
TEST(SweepBitmap, TheFourthByteIsAlphaUnlessUnusedEverywhere)
{
    const struct {
        uint8_t A0, A1; // the alpha of the first pixel and of the others
        uint32_t Channels;
    } Rows[] = {{0, 0, 3}, {255, 255, 3}, {128, 128, 4}, {1, 1, 4}, {254, 254, 4}, {0, 255, 4}, {255, 0, 4}};
    for (const auto& R : Rows) {
        TBmpSpec S;
        S.Width = 2;
        S.Height = 2;
        S.Bits = 32;
        for (int P = 0; P < 4; ++P)
            S.Data.insert(S.Data.end(), {uint8_t(10 + P), 20, 30, P == 0 ? R.A0 : R.A1});
        const std::vector<uint8_t> F = MakeBmp(S);
        TImgInfo Img;
        ASSERT_TRUE(LoadBitmapFromBuffer(F.data(), F.size(), Img, 0, TBGColor{}, 0));
        EXPECT_EQ(Img.Channels, R.Channels) << int(R.A0) << "," << int(R.A1);
        FreeImg(Img);
    }
}

// CMYK pictures (as the JPEG decoder gives them: the inks inverted, K last)
// become BGR by ink x K / 255 rounded: full ink of full K is 255, not 254.
TEST(SweepCMYK, InksTimesKRoundToTheNearest)
{
    TImgInfo Img;
    AllocImg(Img, 3, 1, 4);
    const uint8_t In[12] = {255, 200, 128, 255, 255, 200, 0, 128, 1, 2, 3, 0};
    std::memcpy(ScanLine(Img, 0), In, 12);
    ASSERT_TRUE(CMYKToBGR(Img));
    ASSERT_EQ(Img.Channels, 3u);
    const uint8_t* P = ScanLine(Img, 0);
    EXPECT_EQ(std::vector<int>(P, P + 9), (std::vector<int>{128, 200, 255, 0, 100, 128, 0, 0, 0}));
    FreeImg(Img);
}
