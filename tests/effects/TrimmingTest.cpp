#include "core/Errors.h"
#include "core/IniFile.h"
#include "core/ResourceText.h"
#include "effects/TrimmingFilter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// A 1-channel picture whose pixel (x, y) holds x + 10 y (mod 256), so the
// crop's top-left pixel tells where it was cut.
struct TGrid {
    TImgInfo I;
    TGrid(uint32_t W, uint32_t H)
    {
        AllocImg(I, W, H, 1);
        for (uint32_t y = 0; y < H; ++y)
            for (uint32_t x = 0; x < W; ++x)
                ScanLine(I, y)[x] = uint8_t(x + 10 * y);
    }
    ~TGrid() { FreeImg(I); }
    uint8_t At(uint32_t X, uint32_t Y) const { return ScanLine(I, Y)[X]; }
};

struct TCase {
    int32_t Type;
    const char* Values; // the first set
    uint32_t W, H;      // picture
    uint32_t CW, CH;    // expected crop (the picture's size: no crop)
    uint32_t X, Y;      // expected top-left corner
};

// A trimming effect with the given type and value sets, as the settings give it.
std::unique_ptr<TTrimmingFilter> Trim(int32_t Type, const std::string& First, const std::string& Second)
{
    auto T = std::make_unique<TTrimmingFilter>();
    TMemIniFile Ini("/nonexistent/trim.ini");
    Ini.WriteString("TrimmingFilter", "Value", First + "," + Second);
    Ini.WriteInteger("TrimmingFilter", "Type", Type);
    T->ReadIniFile(Ini);
    return T;
}

} // namespace

TEST(Trimming, CropsByEachKindOfValue)
{
    const TCase Cases[] = {
        {TRIM_MARGIN, "10,10,10,10", 100, 50, 80, 30, 10, 10},
        {TRIM_RECT, "50,0,100,50", 120, 50, 70, 50, 50, 0},
        {TRIM_RECT, "W/4,H/5,W/2,H/2", 120, 50, 60, 25, 30, 10},
        {TRIM_PERCENT, "10,20,30,40", 100, 50, 60, 20, 10, 10},
        {TRIM_ASPECT, "1,1,50,50", 300, 200, 200, 200, 50, 0},
        {TRIM_ASPECT, "16,9,0,100", 160, 100, 160, 90, 0, 10},
        {TRIM_ASPECT, "1,2,100,0", 100, 100, 50, 100, 50, 0},
        // Positions beyond 0..100 hold the crop at the picture's edge.
        {TRIM_ASPECT, "1,1,250,50", 300, 200, 200, 200, 100, 0},
        // Margins that leave nothing, a zero ratio side and a zero width leave
        // the picture as it is.
        {TRIM_MARGIN, "60,0,60,0", 100, 50, 100, 50, 0, 0},
        {TRIM_PERCENT, "0,0,150,0", 100, 50, 100, 50, 0, 0},
        {TRIM_ASPECT, "0,1,50,50", 100, 50, 100, 50, 0, 0},
        {TRIM_ASPECT, "0,0,50,50", 100, 50, 100, 50, 0, 0},
        {TRIM_RECT, "200,0,10,10", 100, 50, 100, 50, 0, 0},
        // Negative results count as 0; huge ones stay inside the picture.
        {TRIM_MARGIN, "0-5,0,10,0", 100, 50, 90, 50, 0, 0},
        {TRIM_RECT, "10,0,99999999999*99999999999,20", 100, 50, 90, 20, 10, 0},
        {9, "1,1,1,1", 100, 50, 100, 50, 0, 0},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(testing::Message() << "type " << C.Type << " values " << C.Values << " on " << C.W << "x"
                                        << C.H);
        TGrid G(C.W, C.H);
        auto T = Trim(C.Type, C.Values, C.Values);
        TEffectParams P;
        T->DoEffect(G.I, P);
        ASSERT_EQ(G.I.Width, C.CW);
        ASSERT_EQ(G.I.Height, C.CH);
        EXPECT_EQ(G.At(0, 0), uint8_t(C.X + 10 * C.Y));
        EXPECT_EQ(G.At(C.CW - 1, C.CH - 1), uint8_t(C.X + C.CW - 1 + 10 * (C.Y + C.CH - 1)));
    }
}

TEST(Trimming, ValueSetByShape)
{
    // The first set trims 5 pixels off each side, the second 10.
    struct {
        uint32_t W, H;
        int32_t Exp;
        bool First;
    } const Cases[] = {
        {50, 50, TRIM_SQUARE_FIRST, true}, {50, 50, TRIM_SQUARE_SECOND, false}, {60, 50, TRIM_SQUARE_SECOND, true},
        {50, 60, TRIM_SQUARE_FIRST, false}, {50, 60, TRIM_FIRST_ONLY, true},    {50, 50, 7, false},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(testing::Message() << C.W << "x" << C.H << " rule " << C.Exp);
        TGrid G(C.W, C.H);
        auto T = Trim(TRIM_MARGIN, "5,0,5,0", "10,0,10,0");
        T->FExp = C.Exp;
        TEffectParams P;
        T->DoEffect(G.I, P);
        EXPECT_EQ(G.I.Width, C.W - (C.First ? 10u : 20u));
        EXPECT_EQ(G.I.Height, C.H);
    }
}

TEST(Trimming, ExpressionThatFailsFailsTheFile)
{
    for (const char* Bad : {"W/0,0,0,0", "(5,0,0,0", "2*-3,0,0,0", ",0,0,0"}) {
        SCOPED_TRACE(Bad);
        TGrid G(20, 10);
        auto T = Trim(TRIM_MARGIN, Bad, Bad);
        TEffectParams P;
        try {
            T->DoEffect(G.I, P);
            ADD_FAILURE() << "no error";
        } catch (const EVestroError& E) {
            EXPECT_EQ(std::string(E.what()), LoadResText(SEvaluationError));
        }
        EXPECT_EQ(G.I.Width, 20u);
        EXPECT_EQ(G.At(19, 9), 19 + 90);
    }
}

TEST(Trimming, SettingsRoundTripAndOlderForms)
{
    TEffectList L;
    auto Owned = std::make_unique<TTrimmingFilter>();
    TTrimmingFilter& T = *Owned;
    L.AddFilter(std::move(Owned));

    TMemIniFile Empty("/nonexistent/empty.ini");
    T.ReadIniFile(Empty);
    EXPECT_FALSE(T.FUse);
    EXPECT_EQ(T.FType, TRIM_MARGIN);
    EXPECT_EQ(T.FExp, TRIM_SQUARE_FIRST);
    EXPECT_TRUE(T.FPreview);
    EXPECT_EQ(T.FValue[7], "0");

    TMemIniFile Ini("/nonexistent/trim.ini");
    const char* S = "TrimmingFilter";
    Ini.WriteString(S, "Value", "1,2,3,W/2, H/3,5,6,7");
    Ini.WriteInteger(S, "Type", 0x23);
    Ini.WriteString(S, "SizeList", "x,4:3,16:9");
    Ini.WriteInteger(S, "Style", 1);
    Ini.WriteBool(S, "Preview", false);
    T.ReadIniFile(Ini);
    EXPECT_EQ(T.FType, TRIM_ASPECT);
    EXPECT_EQ(T.FExp, TRIM_FIRST_ONLY);
    EXPECT_FALSE(T.FPreview);
    EXPECT_EQ(T.FSizeList, "4:3,16:9");
    EXPECT_EQ(T.FValue[3], "W/2");
    EXPECT_EQ(T.FValue[4], "H/3");
    // The lossless transform reads the list's copies.
    EXPECT_EQ(L.FTrimmingType, TRIM_ASPECT);
    EXPECT_EQ(L.FTrimmingValue[4], "H/3");

    T.WriteIniFile(Ini);
    EXPECT_FALSE(Ini.ValueExists(S, "Style"));
    EXPECT_FALSE(Ini.ValueExists(S, "SizeList"));
    EXPECT_EQ(Ini.ReadInteger(S, "Type", 0), 0x23);
    EXPECT_EQ(Ini.ReadString(S, "Value", ""), "1,2,3,W/2,H/3,5,6,7");
    EXPECT_EQ(Ini.ReadString(S, "SelectMode", ""), "4:3,16:9");
    TTrimmingFilter Back;
    Back.ReadIniFile(Ini);
    EXPECT_EQ(Back.FValue, T.FValue);
    EXPECT_EQ(Back.FSizeList, "4:3,16:9");

    // Four values from older settings fill both sets by the old rule.
    Ini.WriteString(S, "Value", "a,b,c,d");
    using V8 = std::array<std::string, 8>;
    const struct {
        int32_t Style;
        V8 Values;
        int32_t Type;
    } Old[] = {
        {0, {"a", "b", "c", "d", "a", "b", "c", "d"}, TRIM_ASPECT},
        {1, {"a", "b", "c", "d", "b", "a", "d", "c"}, TRIM_ASPECT},
        {2, {"b", "a", "d", "c", "a", "b", "c", "d"}, TRIM_ASPECT},
        {-1, {"0", "0", "0", "0", "0", "0", "0", "0"}, TRIM_RECT},
    };
    for (const auto& O : Old) {
        SCOPED_TRACE(O.Style);
        Ini.WriteInteger(S, "Style", O.Style);
        Back.ReadIniFile(Ini);
        EXPECT_EQ(Back.FValue, O.Values);
        EXPECT_EQ(Back.FType, O.Type);
    }
    // Any other count: a type whose zero values crop nothing.
    Ini.WriteString(S, "Value", "1,2,3");
    Back.ReadIniFile(Ini);
    EXPECT_EQ(Back.FType, TRIM_RECT);
    EXPECT_EQ(Back.FValue[0], "0");
}
