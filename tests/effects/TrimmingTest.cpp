#include "EffectTestUtil.h"
#include "core/IniFile.h"
#include "effects/TrimmingFilter.h"

#include <array>

namespace {

struct TCase {
    int32_t Type;       // FExp x 16 + FType, as stored
    const char* Values; // the first set; the second trims 1 pixel off the left
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
        {TRIM_RECT, "W/4,H/5,W/2,H/2", 120, 50, 60, 25, 30, 10},
        {TRIM_PERCENT, "10,20,30,40", 100, 50, 60, 20, 10, 10},
        {TRIM_ASPECT, "1,1,50,50", 300, 200, 200, 200, 50, 0},
        {TRIM_ASPECT, "16,9,0,100", 160, 100, 160, 90, 0, 10},
        // Positions beyond 0..100 hold the crop at the picture's edge.
        {TRIM_ASPECT, "1,1,250,50", 300, 200, 200, 200, 100, 0},
        // Margins that leave nothing, a zero ratio side, a left edge past the
        // picture and an unknown type leave the picture as it is.
        {TRIM_MARGIN, "60,0,60,0", 100, 50, 100, 50, 0, 0},
        {TRIM_ASPECT, "0,1,50,50", 100, 50, 100, 50, 0, 0},
        {TRIM_RECT, "200,0,10,10", 100, 50, 100, 50, 0, 0},
        {9, "1,1,1,1", 100, 50, 100, 50, 0, 0},
        // Negative results count as 0; huge ones stay inside the picture.
        {TRIM_MARGIN, "0-5,0,10,0", 100, 50, 90, 50, 0, 0},
        {TRIM_RECT, "10,0,99999999999*99999999999,20", 100, 50, 90, 20, 10, 0},
        // Which set: portrait pictures take the second; squares by the rule.
        {TRIM_MARGIN, "5,0,5,0", 50, 60, 49, 60, 1, 0},
        {TRIM_MARGIN, "5,0,5,0", 50, 50, 40, 50, 5, 0},
        {0x10 + TRIM_MARGIN, "5,0,5,0", 50, 50, 49, 50, 1, 0},
        {0x10 + TRIM_MARGIN, "5,0,5,0", 60, 50, 50, 50, 5, 0},
        {0x20 + TRIM_MARGIN, "5,0,5,0", 50, 60, 40, 60, 5, 0},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(testing::Message() << "type " << C.Type << " values " << C.Values << " on " << C.W << "x" << C.H);
        TTestPicture G(C.W, C.H, 1);
        G.MarkAll();
        auto T = Trim(C.Type, C.Values, "1,0,0,0");
        TEffectParams P;
        T->DoEffect(G.I, P);
        ASSERT_EQ(G.I.Width, C.CW);
        ASSERT_EQ(G.I.Height, C.CH);
        EXPECT_EQ(*G.Px(0, 0), G.MarkOf(C.X, C.Y));
        EXPECT_EQ(*G.Px(C.CW - 1, C.CH - 1), G.MarkOf(C.X + C.CW - 1, C.Y + C.CH - 1));
    }
}

TEST(Trimming, ExpressionThatFailsFailsTheFile)
{
    auto T = Trim(TRIM_MARGIN, "W/0,0,0,0", "(5,0,0,0");
    for (uint32_t W : {20u, 10u}) { // landscape, then portrait
        TTestPicture G(W, 15, 1);
        TEffectParams P;
        EXPECT_THROW(T->DoEffect(G.I, P), EVestroError);
        EXPECT_EQ(G.I.Width, W);
    }
}

// Trimming settings saved by older versions are read into today's form and
// saved back without their old keys.
TEST(TrimmingSettings, OlderFormsAreReadIntoTodaysForm)
{
    // Style, Value, SizeList as stored ("" when absent) -> Type, Value, SelectMode as saved back.
    const std::array<const char*, 6> Rows[] = {
        // One set and a rule for the other: the same, turned for portraits, turned for landscapes.
        {"0", "1,2,3,4", "", "18", "1,2,3,4,1,2,3,4", "4:3"},
        {"1", "1,2,3,4", "", "18", "1,2,3,4,2,1,4,3", "4:3"},
        {"2", "1, 2,3,4", "", "18", "2,1,4,3,1,2,3,4", "4:3"},
        // No rule, or a count that fits no form: a rectangle of nothing.
        {"", "1,2,3,4", "", "16", "0,0,0,0,0,0,0,0", "4:3"},
        {"0", "1,2,3", "", "16", "0,0,0,0,0,0,0,0", "4:3"},
        // The size list under its old key, behind an entry of its own.
        {"", "1,2,3,4,5,6,7,8", "9,\"1:1\",16:9", "18", "1,2,3,4,5,6,7,8", "1:1,16:9"},
    };
    for (const auto& R : Rows) {
        TMemIniFile Ini("/nonexistent/t.ini");
        for (auto [Key, V] :
             {std::pair{"Type", "18"}, {"SelectMode", "4:3"}, {"Style", R[0]}, {"Value", R[1]}, {"SizeList", R[2]}})
            if (*V)
                Ini.WriteString("TrimmingFilter", Key, V);
        TTrimmingFilter T;
        T.ReadIniFile(Ini);
        T.WriteIniFile(Ini);
        const auto Get = [&](const char* Key) { return Ini.ReadString("TrimmingFilter", Key, "-"); };
        EXPECT_EQ((std::array{Get("Type"), Get("Value"), Get("SelectMode"), Get("Style"), Get("SizeList")}),
                  (std::array<std::string, 5>{R[3], R[4], R[5], "-", "-"}))
            << R[1];
    }
}
