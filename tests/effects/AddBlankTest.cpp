#include "effects/AddBlankFilter.h"

#include "EffectTestUtil.h"
#include "core/PictureMemory.h"
#include "core/WeightedMean.h"

namespace {

// A W x H picture whose pixel (x, y) starts with x + 1 (then y + 1, 9, 255).
TTestImg Picture(uint32_t W, uint32_t H, uint32_t C)
{
    TTestImg P(W, H, V(C, 255));
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x) {
            P.Px(x, y)[0] = uint8_t(x + 1);
            if (C >= 3)
                P.Px(x, y)[1] = uint8_t(y + 1), P.Px(x, y)[2] = 9;
        }
    return P;
}

TAddBlankParam Margins(const char* L, const char* T, const char* R, const char* B, int32_t Type = btPixels)
{
    TAddBlankParam P;
    P.BlankType = Type;
    P.ColorType = 4;
    P.Color = 0xFF0000FF; // red, opaque
    P.Value = {L, T, R, B, L, T, R, B};
    return P;
}

const V Red{0, 0, 255}, Green{0, 255, 0};

} // namespace

TEST(AddBlank, EachModePlacesThePicture)
{
    TTestImg Pic = Picture(100, 50, 3);
    ApplyAddBlank(Pic.I, Margins("10", "20", "30", "40"), nullptr);
    ASSERT_EQ(std::make_pair(Pic.I.Width, Pic.I.Height), std::make_pair(140u, 110u));
    EXPECT_EQ(Pic.At(10, 20), V({1, 1, 9}));
    EXPECT_EQ(Pic.At(109, 69), V({100, 50, 9}));
    for (auto [x, y] : {std::pair{0u, 0u}, {9u, 20u}, {110u, 69u}, {139u, 109u}, {50u, 70u}})
        EXPECT_EQ(Pic.At(x, y), Red) << x << "," << y;

    // Percent of the framed size for the canvas, of the picture for the place.
    TAddBlankParam P = Margins("10", "10", "10", "10", btPercent);
    P.UseFrame1 = true;
    P.Frame1Width = 5;
    TTestImg Sq = Picture(100, 100, 1);
    ApplyAddBlank(Sq.I, P, nullptr);
    EXPECT_EQ(Sq.I.Width, 132u);
    EXPECT_EQ(Sq.At(15, 15)[0], 1) << "outer frame edge at 10";

    TTestImg Wide = Picture(200, 100, 3);
    ApplyAddBlank(Wide.I, Margins("1", "1", "-1", "-1", btAspect), nullptr);
    EXPECT_EQ(Wide.I.Height, 200u);
    EXPECT_EQ(Wide.At(0, 50)[0], 1) << "centred by position -1";
    TSize S{1000, 1000};
    CalcBlankCanvasSize(S, Margins("16", "9", "-1", "-1", btAspect));
    EXPECT_EQ(std::make_pair(S.cx, S.cy), std::make_pair(int64_t(1778), int64_t(1000)));

    // A zero ratio counts as 1:1; a picture already at the ratio is left
    // alone, shadow and all.
    P = Margins("0", "3", "-1", "-1", btAspect);
    P.UseDropShadow = true;
    TTestImg Same = Picture(20, 20, 3);
    const uint8_t* Before = Same.I.Mem;
    ApplyAddBlank(Same.I, P, nullptr);
    EXPECT_EQ(Same.I.Mem, Before);
}

TEST(AddBlank, FramesShadowAndColours)
{
    TTestImg Pic = Picture(10, 10, 3);
    TAddBlankParam P = Margins("2", "2", "2", "2");
    P.UseFrame1 = P.UseFrame2 = P.UseFrame3 = true;
    P.Frame1Color = 0x0000FF, P.Frame1Width = 1;
    P.Frame2Color = 0x00FF00, P.Frame2Width = 2;
    P.Frame3Width = -4; // draws nothing
    ApplyAddBlank(Pic.I, P, nullptr);
    ASSERT_EQ(Pic.I.Width, 20u); // outer frame edge 2..17
    for (auto [x, y, Want] : {std::tuple{2u, 2u, Red}, {17u, 12u, Red}, {3u, 3u, Green}, {16u, 16u, Green}})
        EXPECT_EQ(Pic.At(x, y), Want) << x << "," << y;
    EXPECT_EQ(Pic.At(5, 5)[0], 1);
    EXPECT_EQ(Pic.At(14, 14)[0], 10);

    TGaussianBlur Blur;
    TTestImg Sh = Picture(20, 20, 3);
    P = Margins("10", "10", "10", "10");
    P.Color = 0xFFFFFF;
    P.UseDropShadow = true;
    P.ShadowOpacity = 100, P.ShadowRadius = 2, P.ShadowStr = 4, P.ShadowOffsetX = P.ShadowOffsetY = 4;
    ApplyAddBlank(Sh.I, P, &Blur);
    EXPECT_LT(Sh.At(32, 32)[0], 128) << "below and right of the picture: dark";
    EXPECT_EQ(Sh.At(5, 5)[0], 255) << "top-left margin: untouched";
    EXPECT_EQ(Sh.At(10, 10)[0], 1) << "the picture covers the shadow";

    TTestImg Rgba = Picture(4, 3, 4), Rgb = Picture(4, 3, 3);
    P = Margins("1", "1", "1", "1");
    P.Color = 0x00FFFFFF;
    ApplyAddBlank(Rgba.I, P, nullptr);
    EXPECT_EQ(Rgba.At(0, 0), V({255, 255, 255, 0})) << "transparent white";
    P.ColorType = 3; // the bottom-right pixel
    ApplyAddBlank(Rgb.I, P, nullptr);
    EXPECT_EQ(Rgb.At(0, 0), V({4, 3, 9}));
}

TEST(AddBlank, FailuresKeepThePicture)
{
    TTestImg Pic = Picture(10, 10, 3);
    const uint8_t* Before = Pic.I.Mem;
    EXPECT_THROW(ApplyAddBlank(Pic.I, Margins("W/(H-10)", "0", "0", "0"), nullptr), EVestroError);
    // Absurd margins fail as out of memory instead of wrapping the sizes.
    EXPECT_THROW(ApplyAddBlank(Pic.I, Margins("999999999*999", "0", "0", "0"), nullptr), EOutOfMemory);
    EXPECT_EQ(std::make_tuple(Pic.I.Mem, Pic.I.Width), std::make_tuple(Before, 10u));
}

// The enlarged canvas is a result like the resize's: margins a settings file
// asks for that would take more than the picture budget are refused by name
// before anything is allocated, and the shadow's mask counts with it.
TEST(AddBlank, ACanvasBeyondThePictureBudgetIsResultTooLarge)
{
    TSystemOption S;
    S.PictureMemoryLimit = 1; // MiB
    const TPictureBudgetScope Budget(S);
    TTestImg Pic = Picture(10, 10, 3);
    const uint8_t* Before = Pic.I.Mem;
    // 610 x 600 x 3 bytes: just over the MiB.
    try {
        ApplyAddBlank(Pic.I, Margins("600", "590", "0", "0"), nullptr);
        ADD_FAILURE() << "no refusal";
    } catch (const EResultTooLarge& E) {
        EXPECT_EQ(std::string(E.what()).rfind("result too large: 610 x 600 (", 0), 0u) << E.what();
    }
    EXPECT_EQ(std::make_tuple(Pic.I.Mem, Pic.I.Width, Pic.I.Height), std::make_tuple(Before, 10u, 10u));
    // A 400 x 400 canvas fits beside its 300 x 300 picture; the shadow's
    // mask (the picture and the blur's reach around it) beside them does not.
    TTestImg Big = Picture(300, 300, 3);
    Before = Big.I.Mem;
    // 520 x 520 alone fits; beside the picture it came from it does not.
    EXPECT_THROW(ApplyAddBlank(Big.I, Margins("110", "110", "110", "110"), nullptr), EResultTooLarge);
    TAddBlankParam P = Margins("50", "50", "50", "50");
    TGaussianBlur Blur;
    P.UseDropShadow = true;
    P.ShadowRadius = 250;
    EXPECT_THROW(ApplyAddBlank(Big.I, P, &Blur), EResultTooLarge);
    EXPECT_EQ(Big.I.Mem, Before);
    P.UseDropShadow = false;
    ApplyAddBlank(Big.I, P, &Blur);
    EXPECT_EQ(std::make_pair(Big.I.Width, Big.I.Height), std::make_pair(400u, 400u));
}
