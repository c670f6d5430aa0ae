// Settings files in hostile shapes: very many sections, and content too large
// to be read back.
#include "core/IniFile.h"
#include "FilesTestUtil.h"

#include <gmock/gmock.h>

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

std::string Bytes(const std::string& P)
{
    std::ifstream F(P, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(F), {});
}

} // namespace

TEST(IniFileShapes, ManySectionsAreFoundByNameInAnyCaseAndKeepTheirOrder)
{
    const TTempDir Temp;
    const std::string P = Temp.Path + "many.ini";
    {
        std::ofstream F(P, std::ios::binary);
        F << "; kept\n";
        for (int i = 0; i < 100000; ++i)
            F << "[Sect" << i << "]\nKey=" << i << "\n";
        // A repeated section (in another case) merges into the first; its
        // own keys go after the first's.
        F << "[SECT7]\nMore=x\nKey=late\n";
    }
    TMemIniFile Ini(P);
    for (int i : {0, 1, 7, 99999, 54321})
        EXPECT_EQ(Ini.ReadInteger("sect" + std::to_string(i), "KEY", -1), i);
    EXPECT_FALSE(Ini.SectionExists("Sect100000"));
    EXPECT_EQ(Ini.ReadSection("Sect7"), (std::vector<std::string>{"Key", "More", "Key"}));
    EXPECT_EQ(Ini.ReadString("Sect7", "More", ""), "x");

    // Written back: the sections in their order, a new one at the end.
    Ini.WriteString("sect5", "Added", "1");
    Ini.WriteString("New", "K", "v");
    const std::string T = Ini.GetText();
    EXPECT_EQ(T.substr(0, 37), "; kept\r\n\r\n[Sect0]\r\nKey=0\r\n\r\n[Sect1]\r\n");
    EXPECT_THAT(T, HasSubstr("[Sect5]\r\nKey=5\r\nAdded=1\r\n\r\n[Sect6]"));
    EXPECT_THAT(T, HasSubstr("[Sect7]\r\nKey=7\r\nMore=x\r\nKey=late\r\n\r\n[Sect8]"));
    EXPECT_LT(T.find("[Sect99999]"), T.find("[New]"));
    EXPECT_EQ(T.substr(T.size() - 14), "[New]\r\nK=v\r\n\r\n");
}

TEST(IniFileShapes, ContentTooLargeToBeReadAgainIsNotWritten)
{
    const TTempDir Temp;
    const std::string P = Temp.Path + "big.ini";
    {
        std::ofstream(P, std::ios::binary) << "[File]\nStartNumber=5\n";
    }
    const std::string Old = Bytes(P);
    TMemIniFile Ini(P);
    // 33 MiB of UTF-8 text is 66 MiB as UTF-16: more than a file may be.
    Ini.WriteString("Big", "Value", std::string(33u << 20, 'x'));
    try {
        Ini.UpdateFile();
        ADD_FAILURE() << "written";
    } catch (const EIniFileTooLarge& E) {
        EXPECT_THAT(E.what(), HasSubstr("big.ini: file too large (67 MiB > 64 MiB)"));
    }
    EXPECT_EQ(Bytes(P), Old);
    EXPECT_EQ(std::distance(fs::directory_iterator(Temp.Path), fs::directory_iterator()), 1) << "temporary left";

    // Just within the limit it is written, and read back.
    Ini.WriteString("Big", "Value", std::string(32u << 20, 'x').substr(100));
    ASSERT_NO_THROW(Ini.UpdateFile());
    EXPECT_LE(fs::file_size(P), uint64_t(64) << 20);
    EXPECT_EQ(TMemIniFile(P).ReadInteger("File", "StartNumber", 0), 5);
}
