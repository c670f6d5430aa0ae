#include "core/MemReservoir.h"
#include "core/IniFile.h"
#include "FilesTestUtil.h"

#include <cstdlib>
#include <fstream>

namespace {
class StartUp : public ::testing::Test {
protected:
    void SetUp() override { Saved = Startup.ExeDir; }
    void TearDown() override
    {
        Startup.ExeDir = Saved;
        Settings.System = TSystemOption{};
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
    Startup.ExeDir = D.Path;
    {
        TMemIniFile ini(D.File("ini/p.ini"));
        ini.WriteBool("System", "MemReserve", true);
        ini.WriteString("System", "Language", "ja");
        ini.UpdateFile();
    }
    InitMemReservoir({"/ini=p.ini"});
    EXPECT_TRUE(Settings.System.MemReserve);
    EXPECT_EQ(Settings.System.Language, "ja");

    // No file: no reservation, the locale's language (no catalogue here: "en").
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    InitMemReservoir({"/ini=absent.ini"});
    EXPECT_FALSE(Settings.System.MemReserve);
    EXPECT_EQ(Settings.System.Language, "en");

    EXPECT_GT(GetMaxFreeBlockSize(), 0u);
}

// The language of the user's locale: the first of LC_ALL, LC_MESSAGES and
// LANG that is set, tried with its territory and then without; "en" when no
// catalogue matches or the locale is the plain C one.
TEST_F(StartUp, LanguageFromTheEnvironment)
{
    TTempDir D;
    for (const char* Code : {"de", "pt_BR"}) {
        std::filesystem::create_directories(D.File(std::string("locale/") + Code + "/LC_MESSAGES"));
        WriteBytes(D.File(std::string("locale/") + Code + "/LC_MESSAGES/default.mo"), {0});
    }
    Startup.ExeDir = D.Path;
    struct TCase {
        const char *All, *Messages, *Lang, *Want;
    };
    const TCase Cases[] = {
        {"de_DE.UTF-8", nullptr, nullptr, "de"}, {nullptr, "de_AT@euro", "fr_FR.UTF-8", "de"},
        {nullptr, nullptr, "de", "de"},          {nullptr, nullptr, "fr_FR.UTF-8", "en"},
        {"C", nullptr, "de_DE.UTF-8", "en"},     {"POSIX", nullptr, nullptr, "en"},
        {nullptr, nullptr, nullptr, "en"},       {nullptr, nullptr, "pt_BR.UTF-8", "pt_BR"},
        {"fr_FR", "de_DE", "de_DE", "en"},       {nullptr, nullptr, "../../etc", "en"},
    };
    const char* const Old[] = {std::getenv("LC_MESSAGES"), std::getenv("LANG")};
    const std::string Kept[] = {Old[0] ? Old[0] : "", Old[1] ? Old[1] : ""};
    for (const TCase& c : Cases) {
        auto Set = [](const char* Var, const char* V) { V ? setenv(Var, V, 1) : unsetenv(Var); };
        Set("LC_ALL", c.All);
        Set("LC_MESSAGES", c.Messages);
        Set("LANG", c.Lang);
        EXPECT_EQ(GetDefaultLanguage(), c.Want)
            << (c.All ? c.All : "-") << " " << (c.Messages ? c.Messages : "-") << " " << (c.Lang ? c.Lang : "-");
    }
    Old[0] ? setenv("LC_MESSAGES", Kept[0].c_str(), 1) : unsetenv("LC_MESSAGES");
    Old[1] ? setenv("LANG", Kept[1].c_str(), 1) : unsetenv("LANG");
}

// The language a start speaks, read again for each run handed over: its
// profile's, in whatever case it is written, else the user's locale's, also
// when the profile is missing, names none or cannot be read. The settings
// are not touched.
TEST_F(StartUp, AStartsLanguageIsItsProfilesElseTheUsers)
{
    TTempDir D;
    std::filesystem::create_directories(D.File("ini/folder.ini"));
    std::filesystem::create_directories(D.File("locale/de/LC_MESSAGES"));
    WriteBytes(D.File("locale/de/LC_MESSAGES/default.mo"), {0});
    Startup.ExeDir = D.Path;
    for (const auto& [Name, Language] : {std::pair{"ja.ini", "Ja"}, {"none.ini", ""}})
        std::ofstream(D.File(std::string("ini/") + Name))
            << "[System]\r\n"
            << (*Language ? std::string("Language=") + Language + "\r\n" : "");
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    Settings.System.Language = "kept";
    EXPECT_EQ(StartLanguage({"/ini=ja.ini", "/p/a.jpg"}), "Ja");
    EXPECT_EQ(StartLanguage({"/ini=none.ini"}), "de");
    EXPECT_EQ(StartLanguage({"/ini=absent.ini"}), "de");
    EXPECT_EQ(StartLanguage({"/ini=folder.ini"}), "de");
    EXPECT_EQ(Settings.System.Language, "kept");
}
