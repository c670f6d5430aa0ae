#include "core/ResourceText.h"
#include "core/Errors.h"
#include "core/Funcs.h"
#include "core/Global.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace {
// Every msgid of a .po/.pot file, with the escapes the texts use resolved.
std::set<std::string> MsgIds(const std::string& Path)
{
    std::ifstream in(Path);
    std::set<std::string> ids;
    std::string line, cur;
    bool inId = false;
    auto unquote = [](const std::string& l) {
        std::string s;
        const size_t a = l.find('"'), b = l.rfind('"');
        for (size_t i = a + 1; i < b; ++i) {
            if (l[i] == '\\' && i + 1 < b) {
                const char e = l[++i];
                s += e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e;
            } else {
                s += l[i];
            }
        }
        return s;
    };
    while (std::getline(in, line)) {
        if (line.rfind("msgid ", 0) == 0) {
            inId = true;
            cur = unquote(line);
        } else if (inId && !line.empty() && line[0] == '"') {
            cur += unquote(line);
        } else if (inId) {
            ids.insert(cur);
            inId = false;
        }
    }
    return ids;
}

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

TEST_F(ResourceText, TheTemplateHoldsEveryTextExactly)
{
    std::set<std::string> distinct(ResourceTexts.begin(), ResourceTexts.end());
    EXPECT_EQ(distinct.size(), ResourceTexts.size());
    const std::set<std::string> ids = MsgIds(VESTRO_SOURCE_DIR "/po/default.pot");
    for (const char* t : ResourceTexts)
        EXPECT_TRUE(ids.count(t)) << t;
    // Every catalogue is keyed on texts that exist.
    for (const char* po : {"de", "ja", "en"})
        for (const std::string& id : MsgIds(std::string(VESTRO_SOURCE_DIR "/po/") + po + ".po"))
            EXPECT_TRUE(id.empty() || ids.count(id)) << po << ": " << id;
}

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
