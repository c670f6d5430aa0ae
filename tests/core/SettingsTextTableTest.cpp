// Settings files as other editors leave them, and the values read from them:
// one row per file or text.

#include "FilesTestUtil.h"
#include "core/Funcs.h"
#include "core/IniFile.h"

TEST(SettingsFileTable, EncodingsOtherEditorsWriteAndWhatIsWrittenBack)
{
    auto Utf16 = [](const std::string& Ascii, bool BigEndian) {
        std::string R = BigEndian ? "\xFE\xFF" : "";
        for (char C : Ascii)
            R += BigEndian ? std::string{'\0', C} : std::string{C, '\0'};
        return R;
    };
    const std::pair<std::string, std::string> Rows[] = {
        {Utf16("[S]\r\nK=v\r\n", true), "v"},
        {Utf16("[S]\nK=v", false), "v"},
        {"[S]\nK=caf\xC3\xA9", "caf\xC3\xA9"},
        // Not UTF-8 (truncated, broken, overlong, a surrogate): read as Latin-1.
        {"[S]\nK=\xC3", "\xC3\x83"},
        {"[S]\nK=\xC3(", "\xC3\x83("},
        {"[S]\nK=\xC0\x80", "\xC3\x80\xC2\x80"},
        {"[S]\nK=\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},
    };
    TTempDir D;
    for (const auto& [File, Want] : Rows) {
        WriteBytes(D.File("a.ini"), {File.begin(), File.end()});
        EXPECT_EQ(TMemIniFile(D.File("a.ini")).ReadString("s", "k", "?"), Want) << File;
    }
    // Written back, every value reads as it was given, or as near as a line allows.
    TMemIniFile W(D.File("w.ini"));
    for (auto [Key, Value] :
         {std::pair{"Broken", "a\xFF"}, {"Lines", "one\r\ntwo"}, {"Wide", "\xF0\x9F\x98\x80"}, {" ", "x"}})
        W.WriteString("S", Key, Value);
    W.UpdateFile();
    const TMemIniFile Ini(D.File("w.ini"));
    EXPECT_EQ(Ini.ReadSection("s"), (std::vector<std::string>{"Broken", "Lines", "Wide"}));
    for (auto [Key, Value] :
         {std::pair{"Broken", "a\xEF\xBF\xBD"}, {"Lines", "one  two"}, {"Wide", "\xF0\x9F\x98\x80"}})
        EXPECT_EQ(Ini.ReadString("S", Key, ""), Value);
}

TEST(SettingsFileTable, IntegersAndRatios)
{
    const std::pair<const char*, int32_t> Ints[] = {
        {" $1F ", 31},
        {"0x10", 16},
        {"-5", -5},
        {"+7", 7},
        {"$FFFFFFFF", -1},
        {"-$10", -16},
        {"-2147483648", INT32_MIN},
        {"2147483648", 99},
        {"-$80000000", 99},
        {"0x1FFFFFFFF", 99},
        {"$", 99},
        {"$1G", 99},
        {"abc", 99},
        {"1.5", 99},
        {"", 99},
    };
    TMemIniFile Ini("/nonexistent/i.ini");
    for (const auto& [Text, Want] : Ints) {
        Ini.WriteString("S", "K", Text);
        EXPECT_EQ(Ini.ReadInteger("S", "K", 99), Want) << Text;
    }
    const std::tuple<const char*, int32_t, int32_t> Ratios[] = {
        {"4:3", 4, 3}, {" 16 : 9 ", 16, 9}, {"\"4\":\"3\"", 4, 3},  {"4 3", 4, 3}, {"4:", 4, 0},
        {"a:3", 0, 3}, {"1:2:3", 0, 0},     {"\"a\"\"b\":1", 0, 1}, {"", 0, 0},
    };
    for (const auto& [Text, WantA, WantB] : Ratios) {
        int32_t A = -1, B = -1;
        ParseRatioPair(Text, A, B);
        EXPECT_EQ(std::make_pair(A, B), std::make_pair(WantA, WantB)) << Text;
    }
    EXPECT_EQ(SplitCommaText("\"a,\"\"b\"x,c,"), (std::vector<std::string>{"a,\"b", "c", ""}));
}
