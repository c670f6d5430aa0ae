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
