// Trimming settings saved by older versions are read into today's form and
// saved back without their old keys.
#include "core/IniFile.h"
#include "effects/TrimmingFilter.h"

#include <gtest/gtest.h>

#include <array>

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
        for (auto [Key, V] : {std::pair{"Type", "18"}, {"SelectMode", "4:3"}, {"Style", R[0]}, {"Value", R[1]},
                              {"SizeList", R[2]}})
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
