#include "core/MemReservoir.h"
#include "core/Global.h"
#include "core/IniFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

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
    const fs::path dir = fs::temp_directory_path() / ("vestro-startup-" + std::to_string(std::random_device{}()));
    fs::remove_all(dir);
    fs::create_directories(dir / "ini");
    ExeDir = dir.string() + "/";
    {
        TMemIniFile ini((dir / "ini" / "p.ini").string());
        ini.WriteBool("System", "MemReserve", true);
        ini.WriteString("System", "Language", "ja");
        ini.UpdateFile();
    }
    InitMemReservoir({"/ini=p.ini"});
    EXPECT_TRUE(SystemOption.MemReserve);
    EXPECT_EQ(SystemOption.Language, "ja");
    ReleaseReservedMemory(); // nothing reserved: harmless, also twice
    ReleaseReservedMemory();

    // No file: no reservation, the locale's language (no catalogue here: "en").
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    InitMemReservoir({"/ini=absent.ini"});
    EXPECT_FALSE(SystemOption.MemReserve);
    EXPECT_EQ(SystemOption.Language, "en");
    fs::remove_all(dir);

    EXPECT_GT(GetMaxFreeBlockSize(), 0u);
}
