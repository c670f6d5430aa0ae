// Settings files as other editors leave them, and the values read from them:
// one row per file or text.
#include <gtest/gtest.h>

#include "FilesTestUtil.h"
#include "core/Errors.h"
#include "core/Funcs.h"
#include "core/IniFile.h"

namespace {

std::string Utf16(const std::string& Ascii, bool BigEndian)
{
    std::string R;
    for (char C : Ascii)
        R += BigEndian ? std::string{'\0', C} : std::string{C, '\0'};
    return R;
}

std::vector<uint8_t> Bytes(const std::string& S) { return {S.begin(), S.end()}; }

TEST(SettingsFileTable, EncodingsOtherEditorsWrite)
{
    const std::pair<std::string, std::string> Cases[] = {
        {"\xFE\xFF" + Utf16("[S]\r\nK=v\r\n", true), "v"},
        {Utf16("[S]\nK=v", false), "v"}, // UTF-16LE without a mark
        {"[S]\nK=caf\xC3\xA9", "caf\xC3\xA9"},
        // Not UTF-8 (truncated, broken, overlong, a surrogate): read as Latin-1.
        {"[S]\nK=\xC3", "\xC3\x83"},
        {"[S]\nK=\xC3(", "\xC3\x83("},
        {"[S]\nK=\xC0\x80", "\xC3\x80\xC2\x80"},
        {"[S]\nK=\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},
    };
    TTempDir D;
    for (const auto& [File, Want] : Cases) {
        WriteBytes(D.File("a.ini"), Bytes(File));
        EXPECT_EQ(TMemIniFile(D.File("a.ini")).ReadString("s", "k", "?"), Want) << File;
    }
}

TEST(SettingsFileTable, WhatIsWrittenIsReadBack)
{
    TTempDir D;
    {
        TMemIniFile Ini(D.File("w.ini"));
        Ini.WriteString("S", "Broken", "a\xFF");
        Ini.WriteString("S", "Lines", "one\r\ntwo");
        Ini.WriteString("S", "Wide", "\xF0\x9F\x98\x80");
        Ini.WriteString("S", "  ", "no key");
        Ini.UpdateFile();
    }
    TMemIniFile Ini(D.File("w.ini"));
    EXPECT_EQ(Ini.ReadString("S", "Broken", ""), "a\xEF\xBF\xBD");
    EXPECT_EQ(Ini.ReadString("S", "Lines", ""), "one  two");
    EXPECT_EQ(Ini.ReadString("S", "Wide", ""), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Ini.ReadSection("s"), (std::vector<std::string>{"Broken", "Lines", "Wide"}));
    EXPECT_TRUE(Ini.ReadSection("none").empty());
    // A file far larger than any settings file is refused, not read.
    std::filesystem::resize_file(D.File("w.ini"), 65 << 20);
    EXPECT_THROW(TMemIniFile{D.File("w.ini")}, EVestroError);
}

TEST(SettingsFileTable, IntegersAndRatios)
{
    const std::pair<const char*, int32_t> Ints[] = {
        {" $1F ", 31}, {"0x10", 16}, {"-5", -5}, {"+7", 7}, {"$FFFFFFFF", -1}, {"-$10", -16},
        {"-2147483648", INT32_MIN}, {"2147483648", 99}, {"-$80000000", 99}, {"0x1FFFFFFFF", 99},
        {"$", 99}, {"$1G", 99}, {"abc", 99}, {"1.5", 99}, {"", 99},
    };
    TMemIniFile Ini("/nonexistent/i.ini");
    for (const auto& [Text, Want] : Ints) {
        Ini.WriteString("S", "K", Text);
        EXPECT_EQ(Ini.ReadInteger("S", "K", 99), Want) << Text;
    }
    const std::tuple<const char*, int32_t, int32_t> Ratios[] = {
        {"4:3", 4, 3}, {" 16 : 9 ", 16, 9}, {"\"4\":\"3\"", 4, 3}, {"4 3", 4, 3}, {"4:", 4, 0},
        {"a:3", 0, 3}, {"1:2:3", 0, 0}, {"\"a\"\"b\":1", 0, 1}, {"", 0, 0},
    };
    for (const auto& [Text, WantA, WantB] : Ratios) {
        int32_t A = -1, B = -1;
        ParseRatioPair(Text, A, B);
        EXPECT_EQ(std::make_pair(A, B), std::make_pair(WantA, WantB)) << Text;
    }
    EXPECT_EQ(SplitCommaText("\"a,\"\"b\"x,c,"), (std::vector<std::string>{"a,\"b", "c", ""}));
}

} // namespace
