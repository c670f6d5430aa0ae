#include "core/ResourceText.h"
#include "core/Funcs.h"
#include "core/IniFile.h"
#include "FilesTestUtil.h"

#include <cstdlib>

namespace {

class ResourceText : public ::testing::Test {
protected:
    void SetUp() override
    {
        SavedExeDir = ExeDir;
        ExeDir = VESTRO_DIST_DIR "/";
    }
    void TearDown() override
    {
        SetInterfaceLanguage("en");
        ExeDir = SavedExeDir;
    }
    std::string SavedExeDir;
};
} // namespace

TEST_F(ResourceText, SwitchesLanguageAtRunTime)
{
    // A "C" user locale must not stop the switch (the C library ignores
    // LANGUAGE under plain "C").
    const char* savedAll = std::getenv("LC_ALL");
    const std::string keepAll = savedAll ? savedAll : "";
    setenv("LC_ALL", "C", 1);

    SetInterfaceLanguage("de");
    EXPECT_EQ(LoadResText(SResize), "Größe ändern");
    EXPECT_EQ(LoadResText(SOverwriteShortCut), "%s ist bereits vorhanden\r\nÜberschreiben?");
    EXPECT_EQ(LoadResText(SLanczos), "Lanczos"); // not in the catalogue: English
    EXPECT_EQ(ErrorOf([] { EvaluateExpression("(", '.'); }), "Fehler beim Auswerten des eingegebenen Parameters");
    // A settings file that cannot be read or saved says so in the same language.
    EXPECT_EQ(ErrorOf([] { TMemIniFile Folder("/"); }), "nicht lesbar /: Keine reguläre Datei");
    const std::string Unsaved = ErrorOf([] { TMemIniFile("/nonexistent-vestro-folder/x.ini").UpdateFile(); });
    EXPECT_EQ(Unsaved.rfind("nicht schreibbar /nonexistent-vestro-folder/x.ini", 0), 0u) << Unsaved;

    SetInterfaceLanguage("ja");
    EXPECT_EQ(LoadResText(SResize), "リサイズ");
    SetInterfaceLanguage("de_DE"); // territory falls back to the language
    EXPECT_EQ(LoadResText(SError), "Fehler");

    for (const char* none : {"fr", "en", "", "de:ja", "../de"}) {
        SetInterfaceLanguage(none);
        for (const char* t : ResourceTexts)
            EXPECT_EQ(LoadResText(t), t) << none;
    }
    EXPECT_EQ(LoadResText(""), "");

    if (savedAll)
        setenv("LC_ALL", keepAll.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

TEST_F(ResourceText, FindsCataloguesIgnoringCase)
{
    for (auto [asked, found] : {std::pair{"de", "de"}, {"JA", "ja"}, {"fr", ""}, {"..", ""}, {"", ""}})
        EXPECT_EQ(FindCatalogue(asked), found) << asked;
}
