#include "core/MemReservoir.h"
#include "core/Global.h"
#include "core/IniFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <random>

namespace fs = std::filesystem;

namespace {
// Sets environment variables for one test and puts the old values back.
class TEnv {
public:
    void Set(const char* Name, const char* Value)
    {
        if (!FSaved.count(Name)) {
            const char* v = std::getenv(Name);
            FSaved[Name] = v ? std::optional<std::string>(v) : std::nullopt;
        }
        if (Value)
            setenv(Name, Value, 1);
        else
            unsetenv(Name);
    }
    ~TEnv()
    {
        for (const auto& [n, v] : FSaved)
            v ? setenv(n.c_str(), v->c_str(), 1) : unsetenv(n.c_str());
    }

private:
    std::map<std::string, std::optional<std::string>> FSaved;
};

class StartUp : public ::testing::Test {
protected:
    void SetUp() override { Saved = ExeDir; }
    void TearDown() override
    {
        ExeDir = Saved;
        SystemOption = TSystemOption{};
    }
    std::string Saved;
    TEnv Env;
};
} // namespace

TEST_F(StartUp, ProgramAndTemporaryFolders)
{
    Env.Set("TMPDIR", "/no/such/folder");
    InitStartupPaths();
    EXPECT_EQ(ExeDir, VESTRO_TEST_BIN_DIR "/");
    EXPECT_EQ(TempDir, "/tmp/");
    Env.Set("TMPDIR", VESTRO_TEST_BIN_DIR);
    InitStartupPaths();
    EXPECT_EQ(TempDir, VESTRO_TEST_BIN_DIR "/");
}

TEST_F(StartUp, SettingsFileFromTheCommandLine)
{
    ExeDir = "/opt/vestro/";
    EXPECT_EQ(GetSettingsFileName({}), "/opt/vestro/ini/test_core.ini");
    EXPECT_EQ(GetSettingsFileName({"/INI=work.ini", "/home/me/a.jpg"}), "/opt/vestro/ini/work.ini");
    EXPECT_EQ(GetSettingsFileName({"/ini=one.ini", "/Ini=two.ini", "/other"}), "/opt/vestro/ini/two.ini");
    EXPECT_EQ(GetSettingsFileName({"ini=x.ini", "/ini"}), "/opt/vestro/ini/test_core.ini");
}

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
    Env.Set("LC_ALL", "de_DE.UTF-8");
    InitMemReservoir({"/ini=absent.ini"});
    EXPECT_FALSE(SystemOption.MemReserve);
    EXPECT_EQ(SystemOption.Language, "en");
    fs::remove_all(dir);

    EXPECT_GT(GetMaxFreeBlockSize(), 0u);
}

TEST_F(StartUp, DefaultLanguageIsANormalisedCatalogueName)
{
    ExeDir = VESTRO_DIST_DIR "/";
    Env.Set("LC_ALL", nullptr);
    Env.Set("LC_MESSAGES", nullptr);
    const std::pair<const char*, const char*> cases[] = {
        {"de_DE.UTF-8", "de"}, {"ja_JP.utf8@mod", "ja"}, {"de", "de"}, {"fr_FR.UTF-8", "en"},
        {"C", "en"},           {"POSIX", "en"},          {"", "en"},   {"C.UTF-8", "en"},
    };
    for (const auto& [lang, want] : cases) {
        Env.Set("LANG", lang);
        EXPECT_EQ(GetDefaultLanguage(), want) << lang;
    }
    // The message category outranks LANG, and LC_ALL outranks both.
    Env.Set("LANG", "de_DE.UTF-8");
    Env.Set("LC_MESSAGES", "ja_JP.UTF-8");
    EXPECT_EQ(GetDefaultLanguage(), "ja");
    Env.Set("LC_ALL", "de_AT.UTF-8");
    EXPECT_EQ(GetDefaultLanguage(), "de");
}
