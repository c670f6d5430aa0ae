#include "core/IniFile.h"
#include "core/Errors.h"

#include "FilesTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {
class IniFile : public ::testing::Test {
protected:
    std::string Put(const std::string& Bytes, const char* Name = "a.ini")
    {
        const std::string p = (Dir / Name).string();
        std::ofstream(p, std::ios::binary) << Bytes;
        return p;
    }
    static std::string Bytes(const std::string& Path)
    {
        std::ifstream in(Path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static std::string Utf16(const std::string& Ascii, bool Big)
    {
        std::string r;
        for (char c : Ascii) {
            r += Big ? '\0' : c;
            r += Big ? c : '\0';
        }
        return r;
    }

    TTempDir Temp;
    const fs::path Dir{Temp.Path};
};
} // namespace

TEST_F(IniFile, WritesUtf16LeWithBomAndCrLfAndReadsItBack)
{
    const std::string p = (Dir / "new.ini").string();
    {
        TMemIniFile ini(p);
        EXPECT_FALSE(ini.SectionExists("System"));
        ini.WriteString("System", "Caption", "Größe 日本 \xF0\x9F\x98\x80"); // a surrogate pair in UTF-16
        ini.WriteInteger("System", "MaxThread", -3);
        ini.WriteBool("File", "AtOnce", true);
        ini.UpdateFile();
    }
    const std::string b = Bytes(p);
    ASSERT_GE(b.size(), 2u);
    EXPECT_EQ(b.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(b.substr(2, 20), Utf16("[System]\r\n", false));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 1) << "temporary left behind";

    const TMemIniFile ini(p);
    EXPECT_EQ(ini.ReadString("SYSTEM", "caption", ""), "Größe 日本 \xF0\x9F\x98\x80");
    EXPECT_EQ(ini.ReadInteger("system", "MAXTHREAD", 0), -3);
    EXPECT_TRUE(ini.ReadBool("file", "atonce", false));
    EXPECT_EQ(ini.ReadString("System", "Missing", "dflt"), "dflt");
}

TEST_F(IniFile, ReadsEveryEncoding)
{
    const std::string body = "[S]\r\nK=v\xC3\xA9\r\n"; // "vé" in UTF-8
    const std::string latin = "[S]\nK=v\xE9\n";
    const std::string utf16 = Utf16("[S]\r\nK=v", false) + std::string("\xE9\0", 2);
    const std::string utf16be = Utf16("[S]\r\nK=v", true) + std::string("\0\xE9", 2);
    const std::pair<const char*, std::string> cases[] = {
        {"utf16le", "\xFF\xFE" + utf16},
        {"utf16be", "\xFE\xFF" + utf16be},
        {"utf8bom", "\xEF\xBB\xBF" + body},
        {"utf8", body},
        {"latin1", latin},
        {"utf16le-nobom", utf16},
    };
    for (const auto& [name, bytes] : cases) {
        const TMemIniFile ini(Put(bytes, name));
        EXPECT_EQ(ini.ReadString("s", "k", "?"), "v\xC3\xA9") << name;
    }
}

TEST_F(IniFile, KeepsWhatItDoesNotKnowInOrder)
{
    const std::string p = Put("; made by hand\n[Window]\nLeft=10\n; note\nX-Unknown= spaced = value \n"
                              "Junk line\n\n[Effect]\nUse=1\nOrder=3\n[window]\nTop=20\n");
    TMemIniFile ini(p);
    EXPECT_EQ(ini.ReadString("Window", "X-Unknown", ""), " spaced = value "); // kept as it stands
    EXPECT_EQ(ini.ReadInteger("Window", "Top", 0), 20);                     // repeated section merged
    EXPECT_EQ(ini.ReadSection("WINDOW"), (std::vector<std::string>{"Left", "X-Unknown", "Top"}));
    EXPECT_TRUE(ini.ReadSection("Nope").empty());

    ini.WriteInteger("window", "left", 11); // the stored spelling of the key stays
    ini.WriteString("Window", "Width", "a\r\nb"); // a line break cannot enter the file
    ini.DeleteKey("Effect", "Use");
    ini.WriteBool("New", "Flag", false);
    EXPECT_FALSE(ini.ValueExists("Effect", "Use"));
    EXPECT_TRUE(ini.ValueExists("effect", "order"));
    ini.UpdateFile();

    EXPECT_EQ(TMemIniFile(p).GetText(), "; made by hand\r\n\r\n"
                                        "[Window]\r\nLeft=11\r\n; note\r\nX-Unknown= spaced = value \r\n"
                                        "Junk line\r\nTop=20\r\nWidth=a  b\r\n\r\n"
                                        "[Effect]\r\nOrder=3\r\n\r\n"
                                        "[New]\r\nFlag=0\r\n\r\n");
}

TEST_F(IniFile, NumbersAndBooleans)
{
    TMemIniFile ini(Put("[N]\na= 42 \nb=$10\nc=abc\nd=99999999999\ne=0\nf=-1\ng=\n"));
    EXPECT_EQ(ini.ReadInteger("N", "a", 0), 42);
    EXPECT_EQ(ini.ReadInteger("N", "b", 0), 16);
    EXPECT_EQ(ini.ReadInteger("N", "c", 5), 5);
    EXPECT_EQ(ini.ReadInteger("N", "d", 5), 5);
    EXPECT_FALSE(ini.ReadBool("N", "e", true));
    EXPECT_TRUE(ini.ReadBool("N", "f", false)); // any non-zero integer
    EXPECT_TRUE(ini.ReadBool("N", "c", true));  // not a number: the default
    EXPECT_FALSE(ini.ReadBool("N", "g", false));
}

TEST_F(IniFile, FailuresAreReportedAndLoseNothing)
{
    // Not a file: refused instead of being read as empty (and later overwritten).
    fs::create_directories(Dir / "sub.ini");
    EXPECT_THROW(TMemIniFile((Dir / "sub.ini").string()), EVestroError);

    const TMemIniFile missing((Dir / "nofolder" / "x.ini").string());
    EXPECT_THROW(missing.UpdateFile(), EVestroError);

    const std::string p = Put("[A]\nK=1\n");
    TMemIniFile ini(p);
    ini.WriteString("A", "K", "2");
    fs::permissions(p, fs::perms::owner_read | fs::perms::group_read);
    ini.UpdateFile(); // replacing keeps the permission bits
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(TMemIniFile(p).ReadString("A", "K", ""), "2");
}
