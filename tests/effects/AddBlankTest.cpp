#include "effects/AddBlankFrm.h"

#include "core/Errors.h"
#include "core/IniFile.h"
#include "core/WeightedMean.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A W x H picture whose pixel (x, y) holds x + 1, y + 1, 9 (and alpha 255).
struct TPicture {
    TImgInfo I;
    TPicture(uint32_t W, uint32_t H, uint32_t C)
    {
        AllocImg(I, W, H, C);
        for (uint32_t y = 0; y < H; ++y)
            for (uint32_t x = 0; x < W; ++x) {
                uint8_t* p = ScanLine(I, y) + x * C;
                p[0] = uint8_t(x + 1);
                if (C >= 3)
                    p[1] = uint8_t(y + 1), p[2] = 9;
                if (C == 4)
                    p[3] = 255;
            }
    }
    ~TPicture() { FreeImg(I); }
    const uint8_t* At(uint32_t x, uint32_t y) const { return ScanLine(I, y) + x * I.Channels; }
};

TAddBlankParam Margins(const char* L, const char* T, const char* R, const char* B, int32_t Type = btPixels)
{
    TAddBlankParam P;
    P.BlankType = Type;
    P.ColorType = 4;
    P.Color = 0xFF0000FF; // red, opaque
    P.Value = {L, T, R, B, L, T, R, B};
    return P;
}

} // namespace

TEST(AddBlank, PixelMarginsPlacePictureAndFillColour)
{
    TPicture Pic(100, 50, 3);
    ApplyAddBlank(Pic.I, Margins("10", "20", "30", "40"), nullptr);
    ASSERT_EQ(Pic.I.Width, 140u);
    ASSERT_EQ(Pic.I.Height, 110u);
    EXPECT_EQ(Pic.At(10, 20)[0], 1); // the picture's top-left pixel
    EXPECT_EQ(Pic.At(10, 20)[1], 1);
    EXPECT_EQ(Pic.At(109, 69)[0], 100);
    for (auto [x, y] : {std::pair{0u, 0u}, {9u, 20u}, {110u, 69u}, {139u, 109u}, {50u, 70u}}) {
        const uint8_t* p = Pic.At(x, y);
        EXPECT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 255) << x << "," << y; // red in BGR order
    }
}

TEST(AddBlank, PercentOfFramedSizeAndAspect)
{
    TSize S{100, 100};
    TAddBlankParam P = Margins("10", "10", "10", "10", btPercent);
    P.UseFrame1 = true;
    P.Frame1Width = 5;
    CalcBlankCanvasSize(S, P);
    EXPECT_EQ(S.cx, 132);
    TPicture Pic(100, 100, 1);
    ApplyAddBlank(Pic.I, P, nullptr);
    EXPECT_EQ(Pic.I.Width, 132u);
    EXPECT_EQ(Pic.At(10 + 5, 10 + 5)[0], 1) << "outer frame edge at 10";

    P = Margins("1", "1", "-1", "-1", btAspect);
    S = {200, 100};
    CalcBlankCanvasSize(S, P);
    EXPECT_EQ(S.cx, 200);
    EXPECT_EQ(S.cy, 200);
    TPicture Wide(200, 100, 3);
    ApplyAddBlank(Wide.I, P, nullptr);
    EXPECT_EQ(Wide.At(0, 50)[0], 1) << "centred by position -1";
    EXPECT_EQ(Wide.At(0, 49)[2], 255);

    P = Margins("16", "9", "-1", "-1", btAspect);
    S = {1000, 1000};
    CalcBlankCanvasSize(S, P);
    EXPECT_EQ(S.cx, 1778);
    EXPECT_EQ(S.cy, 1000);
    // A zero ratio counts as 1:1; a picture already at the ratio is left
    // alone, shadow and all.
    P = Margins("0", "3", "-1", "-1", btAspect);
    P.UseDropShadow = true;
    TPicture Square(20, 20, 3);
    const uint8_t* Before = Square.I.Mem;
    ApplyAddBlank(Square.I, P, nullptr);
    EXPECT_EQ(Square.I.Mem, Before);
    EXPECT_EQ(Square.I.Width, 20u);
}

TEST(AddBlank, FramesNestInsideTheMargin)
{
    TPicture Pic(10, 10, 3);
    TAddBlankParam P = Margins("2", "2", "2", "2");
    P.UseFrame1 = P.UseFrame2 = P.UseFrame3 = true;
    P.Frame1Color = 0x0000FF, P.Frame1Width = 1; // red
    P.Frame2Color = 0x00FF00, P.Frame2Width = 2; // green
    P.Frame3Color = 0xFF0000, P.Frame3Width = -4; // a negative width draws nothing
    ApplyAddBlank(Pic.I, P, nullptr);
    ASSERT_EQ(Pic.I.Width, 2 + 2 * 3 + 10 + 2u); // outer frame edge 2..17
    auto Is = [&](uint32_t x, uint32_t y, uint8_t b, uint8_t g, uint8_t r) {
        const uint8_t* p = Pic.At(x, y);
        return p[0] == b && p[1] == g && p[2] == r;
    };
    EXPECT_TRUE(Is(2, 2, 0, 0, 255));
    EXPECT_TRUE(Is(17, 12, 0, 0, 255));
    EXPECT_TRUE(Is(3, 3, 0, 255, 0));
    EXPECT_TRUE(Is(4, 12, 0, 255, 0));
    EXPECT_TRUE(Is(16, 16, 0, 255, 0));
    EXPECT_EQ(Pic.At(5, 5)[0], 1); // the picture right inside frame 2
    EXPECT_EQ(Pic.At(14, 14)[0], 10);
}

TEST(AddBlank, ShadowShowsOnlyInTheMargin)
{
    TGaussianBlur Blur;
    TPicture Pic(20, 20, 3);
    TAddBlankParam P = Margins("10", "10", "10", "10");
    P.Color = 0xFFFFFF;
    P.UseDropShadow = true;
    P.ShadowColor = 0;
    P.ShadowOpacity = 100;
    P.ShadowRadius = 2;
    P.ShadowStr = 4;
    P.ShadowOffsetX = P.ShadowOffsetY = 4;
    ApplyAddBlank(Pic.I, P, &Blur);
    EXPECT_LT(Pic.At(32, 32)[0], 128) << "below and right of the picture: dark";
    EXPECT_EQ(Pic.At(5, 5)[0], 255) << "top-left margin: untouched";
    EXPECT_EQ(Pic.At(10, 10)[0], 1) << "the picture covers the shadow";
}

TEST(AddBlank, CornerAndTransparentColours)
{
    TPicture Pic(4, 3, 4);
    TAddBlankParam P = Margins("1", "1", "1", "1");
    P.Color = 0x00FFFFFF;
    ApplyAddBlank(Pic.I, P, nullptr);
    const uint8_t* m = Pic.At(0, 0);
    EXPECT_TRUE(m[0] == 255 && m[1] == 255 && m[2] == 255 && m[3] == 0) << "transparent white";

    TPicture Gray(4, 3, 3);
    P.ColorType = 3; // bottom-right pixel: 4, 3, 9
    ApplyAddBlank(Gray.I, P, nullptr);
    m = Gray.At(0, 0);
    EXPECT_TRUE(m[0] == 4 && m[1] == 3 && m[2] == 9);
}

TEST(AddBlank, BadExpressionFailsTheFileAndKeepsThePicture)
{
    TPicture Pic(10, 10, 3);
    const uint8_t* Before = Pic.I.Mem;
    EXPECT_THROW(ApplyAddBlank(Pic.I, Margins("W/(H-10)", "0", "0", "0"), nullptr), EVestroError);
    EXPECT_EQ(Pic.I.Mem, Before);
    EXPECT_EQ(Pic.I.Width, 10u);
    // Absurd margins fail as out of memory instead of wrapping the sizes.
    EXPECT_THROW(ApplyAddBlank(Pic.I, Margins("999999999*999", "0", "0", "0"), nullptr), EOutOfMemory);
    EXPECT_EQ(Pic.I.Width, 10u);
}

TEST(AddBlankIni, OlderFormsAndResets)
{
    TMemIniFile Ini("");
    Ini.WriteInteger("AddBlankFilter", "BlankType", 0);
    Ini.WriteString("AddBlankFilter", "Value", "0,0,0,0,1,1,50,50");
    TAddBlankFilter E;
    E.ReadIniFile(Ini);
    const std::array<std::string, 8> Ratio = {"1", "1", "50", "50", "1", "1", "50", "50"};
    EXPECT_EQ(E.FAddBlankParam.Value, Ratio);
    EXPECT_TRUE(E.FPreview);

    Ini.WriteString("AddBlankFilter", "Value", "1,2,3,4,5,6");
    E.ReadIniFile(Ini);
    EXPECT_EQ(E.FAddBlankParam.Value[0], "5");
    EXPECT_EQ(E.FAddBlankParam.Value[2], "-1");

    Ini.WriteBool("AddBlankFilter", "Preview", false);
    Ini.WriteInteger("AddBlankFilter", "BlankType", 0x22);
    Ini.WriteString("AddBlankFilter", "Value", "W/2,H,x,0,0,0,0,0");
    E.ReadIniFile(Ini);
    EXPECT_EQ(E.FAddBlankParam.BlankType, btPixels);
    EXPECT_EQ(E.FAddBlankParam.ExpType, 2);
    EXPECT_EQ(E.FAddBlankParam.Value[0], "0");

    E.FAddBlankParam.Value = {"W/2", "H", "3", "4", "5", "6", "7", "8"};
    E.FAddBlankParam.BlankType = btPercent;
    E.FAddBlankParam.ShadowRadius = 3.5;
    E.FAddBlankParam.Color = -1;
    E.WriteIniFile(Ini);
    EXPECT_EQ(Ini.ReadInteger("AddBlankFilter", "BlankType", 0), 0x22);
    TAddBlankFilter F;
    F.ReadIniFile(Ini);
    EXPECT_EQ(F.FAddBlankParam.Value, E.FAddBlankParam.Value);
    EXPECT_EQ(F.FAddBlankParam.BlankType, btPercent);
    EXPECT_DOUBLE_EQ(F.FAddBlankParam.ShadowRadius, 3.5);
    EXPECT_EQ(F.FAddBlankParam.Color, -1);
    EXPECT_FALSE(F.FPreview);
}
