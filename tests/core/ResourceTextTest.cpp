#include "core/ResourceText.h"
#include "core/Errors.h"
#include "core/Funcs.h"
#include "core/Global.h"
#include "core/IniFile.h"

#include <gtest/gtest.h>

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
    try {
        EvaluateExpression("(", '.');
        ADD_FAILURE();
    } catch (const EVestroError& e) {
        EXPECT_STREQ(e.what(), "Fehler beim Auswerten des eingegebenen Parameters");
    }
    // A settings file that cannot be read or saved says so in the same language.
    try {
        TMemIniFile Folder("/");
        ADD_FAILURE();
    } catch (const EVestroError& e) {
        EXPECT_STREQ(e.what(), "nicht lesbar /: Keine reguläre Datei");
    }
    try {
        TMemIniFile("/nonexistent-vestro-folder/x.ini").UpdateFile();
        ADD_FAILURE();
    } catch (const EVestroError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("nicht schreibbar /nonexistent-vestro-folder/x.ini", 0), 0u) << e.what();
    }

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
    EXPECT_EQ(FindCatalogue("de"), "de");
    EXPECT_EQ(FindCatalogue("JA"), "ja");
    EXPECT_EQ(FindCatalogue("fr"), "");
    EXPECT_EQ(FindCatalogue(".."), "");
    EXPECT_EQ(FindCatalogue(""), "");
}
