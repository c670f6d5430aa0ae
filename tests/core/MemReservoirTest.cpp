#include "core/MemReservoir.h"
#include "core/IniFile.h"
#include "FilesTestUtil.h"

#include <cstdlib>

namespace {
class StartUp : public ::testing::Test {
protected:
    void SetUp() override { Saved = ExeDir; }
    void TearDown() override
    {
        ExeDir = Saved;
        SystemOption = TSystemOption{};
        HadLocale ? setenv("LC_ALL", Locale.c_str(), 1) : unsetenv("LC_ALL");
    }
    std::string Saved;
    const char* const OldLocale = std::getenv("LC_ALL");
    const bool HadLocale = OldLocale != nullptr;
    const std::string Locale = OldLocale ? OldLocale : "";
};
} // namespace

TEST_F(StartUp, ReadsMemReserveAndLanguageBeforeTheLoader)
{
    TTempDir D;
    std::filesystem::create_directories(D.File("ini"));
    ExeDir = D.Path;
    {
        TMemIniFile ini(D.File("ini/p.ini"));
        ini.WriteBool("System", "MemReserve", true);
        ini.WriteString("System", "Language", "ja");
        ini.UpdateFile();
    }
    InitMemReservoir({"/ini=p.ini"});
    EXPECT_TRUE(SystemOption.MemReserve);
    EXPECT_EQ(SystemOption.Language, "ja");

    // No file: no reservation, the locale's language (no catalogue here: "en").
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    InitMemReservoir({"/ini=absent.ini"});
    EXPECT_FALSE(SystemOption.MemReserve);
    EXPECT_EQ(SystemOption.Language, "en");

    EXPECT_GT(GetMaxFreeBlockSize(), 0u);
}
