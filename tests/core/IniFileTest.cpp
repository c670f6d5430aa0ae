#include "core/IniFile.h"
#include "FilesTestUtil.h"

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
    const std::vector<uint8_t> b = ReadBytes(p);
    std::vector<uint8_t> want = {0xFF, 0xFE}; // then "[System]\r\n" in UTF-16LE
    for (char c : std::string("[System]\r\n"))
        want.insert(want.end(), {uint8_t(c), 0});
    EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + long(std::min(b.size(), want.size()))), want);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 1) << "temporary left behind";

    const TMemIniFile ini(p);
    EXPECT_EQ(ini.ReadString("SYSTEM", "caption", ""), "Größe 日本 \xF0\x9F\x98\x80");
    EXPECT_EQ(ini.ReadInteger("system", "MAXTHREAD", 0), -3);
    EXPECT_TRUE(ini.ReadBool("file", "atonce", false));
    EXPECT_EQ(ini.ReadString("System", "Missing", "dflt"), "dflt");
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
