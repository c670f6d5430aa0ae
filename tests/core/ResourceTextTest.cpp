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
        SavedExeDir = Startup.ExeDir;
        Startup.ExeDir = VESTRO_DIST_DIR "/";
    }
    void TearDown() override
    {
        SetInterfaceLanguage("en");
        Startup.ExeDir = SavedExeDir;
    }
    std::string SavedExeDir;
};

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

double Eval(const std::string& Text, int W = 800, int H = 600)
{
    return EvaluateExpression(SubstituteWidthHeight(Text, W, H), '.');
}

void ExpectEvalError(const std::string& Text, char Sep = '.')
{
    EXPECT_EQ(ErrorOf([&] { EvaluateExpression(Text, Sep); }), LoadResText(SEvaluationError)) << Text.substr(0, 40);
}
} // namespace

TEST(SizeExpression, Values)
{
    // W 800, H 600; a negative total becomes 0; the first ";" ends the text.
    const std::pair<const char*, double> cases[] = {
        {"W/2-H/4", 250}, {"10-20+30", 20},       {"2*3+4*5", 26},     {"-5", 0},
        {"2*(-3)", 0},    {"10+2*(-3)", 4},       {"+7", 7},           {"1;2", 1},
        {"w*h/W", 600},   {"8/3*3", 8.0 / 3 * 3}, {"((((1+1))))*2", 4}};
    for (const auto& [Text, Want] : cases)
        EXPECT_EQ(Eval(Text), Want) << Text;
    EXPECT_EQ(Eval("(W+H)/2", 640, 480), 560);
}

TEST(SizeExpression, MalformedTextsGiveTheOneError)
{
    for (const char* t : {"", "()", "(5", "5)", "2*-3", "5+", "*5", "1 + 2", ".", "1.2.3", "5x", "(1", "1)+(2"})
        ExpectEvalError(t);
}

TEST(SizeExpression, ArithmeticFaultsAreCheckedNotTrapped)
{
    for (const char* t : {"1/0", "0/0", "5/(3-3)", "W/0"}) // W is not substituted here: an error either way
        ExpectEvalError(t);
    // A result past the double range is an error, not infinity.
    std::string big = "99999999999999999999";
    std::string t = big;
    for (int i = 0; i < 20; ++i)
        t += "*" + big;
    ExpectEvalError(t);
    ExpectEvalError(std::string(400, '9'));
}

TEST(SizeExpression, DeepNestingIsRefusedWithoutExhaustingTheStack)
{
    const int ok = kMaxExpressionDepth;
    EXPECT_EQ(EvaluateExpression(std::string(ok, '(') + "3" + std::string(ok, ')'), '.'), 3);
    ExpectEvalError(std::string(ok + 1, '(') + "3" + std::string(ok + 1, ')'));
    ExpectEvalError(std::string(1000000, '(') + "1" + std::string(1000000, ')'));
}

TEST(SizeExpression, PointWorksInEveryLocaleBesideTheLocaleSeparator)
{
    EXPECT_EQ(EvaluateExpression("1.5*2", '.'), 3);
    EXPECT_EQ(EvaluateExpression("1.5*2", ','), 3); // a stored "1.5" survives a comma locale
    EXPECT_EQ(EvaluateExpression("1,5*2", ','), 3);
    EXPECT_EQ(EvaluateExpression(".5+1.", '.'), 1.5);
    ExpectEvalError("1,5", '.');
    ExpectEvalError("1,5.2", ',');
}
