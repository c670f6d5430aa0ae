// The interface language: every catalogue covers the whole message template,
// and the windows show their texts in the language chosen.
#include "app/IniSettings.h"
#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "app/MainFrm.h"
#include "app/QtTexts.h"
#include "core/MemReservoir.h"
#include "core/ResourceText.h"
#include "app/ProgressFrm3.h"
#include "effects/ui/HistogramFrm.h"
#include "effects/ui/PreviewFrm.h"
#include "tests/app/AppDialogs.h"
#include "tests/app/AtOnceRun.h"
#include "tests/app/TestApp.h"
#include "tests/effectsui/DialogLayout.h"
#include "tests/effectsui/EffectDialogs.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTableView>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace fs = std::filesystem;

namespace {

// msgid -> msgstr of a .po or .pot file, escapes resolved, without the header.
std::map<std::string, std::string> Catalogue(const std::string& Path)
{
    std::ifstream In(Path);
    EXPECT_TRUE(In.good()) << Path;
    std::map<std::string, std::string> Out;
    std::string Line, Id, Str, *Cur = nullptr;
    auto Unquote = [](const std::string& L) {
        std::string S;
        for (size_t i = L.find('"') + 1, B = L.rfind('"'); i < B; ++i) {
            const char E = L[i] == '\\' && i + 1 < B ? L[++i] : 0;
            S += !E ? L[i] : E == 'r' ? '\r' : E == 'n' ? '\n' : E == 't' ? '\t' : E;
        }
        return S;
    };
    auto Flush = [&] {
        if (!Id.empty())
            Out[Id] = Str;
        Id.clear(), Str.clear(), Cur = nullptr;
    };
    while (std::getline(In, Line)) {
        if (Line.rfind("msgid ", 0) == 0)
            Flush(), Id = Unquote(Line), Cur = &Id;
        else if (Line.rfind("msgstr ", 0) == 0)
            Str = Unquote(Line), Cur = &Str;
        else if (Cur && !Line.empty() && Line[0] == '"')
            *Cur += Unquote(Line);
        else if ((Line.empty() || Line[0] == '#') && Cur == &Str)
            Flush();
    }
    Flush();
    return Out;
}

// A caption without its mnemonic ("(&A)", "(A)", "&"), trailing "...", outer
// blanks and \r: key and shown text compare equal.
std::string Plain(std::string S)
{
    S.erase(std::remove(S.begin(), S.end(), '\r'), S.end());
    S.erase(std::remove(S.begin(), S.end(), '&'), S.end());
    const size_t At = S.find('(');
    if (At != std::string::npos && S.size() > At + 2 && S[At + 2] == ')' && std::isalpha((unsigned char)S[At + 1]))
        S.erase(At, 3);
    if (S.size() > 3 && S.compare(S.size() - 3, 3, "...") == 0)
        S.resize(S.size() - 3);
    const size_t A = S.find_first_not_of(' '), B = S.find_last_not_of(' ');
    return A == std::string::npos ? std::string() : S.substr(A, B - A + 1);
}

// The text before a value that follows it ("Percent   50", a label with its figure).
std::string TextPart(const std::string& S)
{
    size_t Cut = S.find("  ");
    for (size_t i = 0; i + 1 < S.size() && i < Cut; ++i)
        if (S[i] == ' ' && std::isdigit((unsigned char)S[i + 1]))
            Cut = i;
    return Plain(S.substr(0, Cut));
}

std::string Po(const char* Name)
{
    return std::string(VESTRO_SOURCE_DIR "/po/") + Name;
}

// Every text a user reads in W, its child windows and menus, hints included.
std::vector<std::string> ShownTexts(QWidget* W)
{
    std::vector<std::string> Out;
    auto Add = [&](const QString& S) {
        if (!S.trimmed().isEmpty())
            Out.push_back(S.toStdString());
    };
    std::function<void(QWidget*)> Walk = [&](QWidget* C) {
        if (C->isWindow())
            Add(C->windowTitle());
        Add(C->toolTip());
        if (auto* L = qobject_cast<QLabel*>(C))
            Add(L->text());
        if (auto* B = qobject_cast<QAbstractButton*>(C))
            Add(B->text());
        if (auto* G = qobject_cast<QGroupBox*>(C))
            Add(G->title());
        if (auto* L = qobject_cast<QComboBox*>(C); L && !L->isEditable())
            for (int i = 0; i < L->count(); ++i)
                Add(L->itemText(i));
        if (auto* M = qobject_cast<QMenu*>(C))
            Add(M->title());
        if (auto* T = qobject_cast<QTableView*>(C))
            for (int i = 0; i < T->model()->columnCount(); ++i)
                Add(T->model()->headerData(i, Qt::Horizontal).toString());
        if (auto* S = qobject_cast<QStatusBar*>(C))
            Add(S->currentMessage());
        for (QAction* A : C->actions()) {
            Add(A->text());
            if (A->menu())
                Walk(A->menu());
        }
        for (QObject* O : C->children())
            if (auto* Child = qobject_cast<QWidget*>(O))
                Walk(Child);
    };
    Walk(W);
    return Out;
}

// The labels and buttons of the shown window W narrower than their text.
std::string CutTexts(QWidget* W)
{
    std::string F;
    for (QWidget* C : W->findChildren<QWidget*>()) {
        const auto* L = qobject_cast<QLabel*>(C);
        const auto* B = qobject_cast<QAbstractButton*>(C);
        const bool Text = (L && !L->wordWrap() && !L->text().isEmpty()) || (B && !B->text().isEmpty());
        if (Text && C->isVisibleTo(W) && C->width() < C->sizeHint().width())
            F += Describe(C) + " cuts its text: " + std::to_string(C->width()) + " < " +
                std::to_string(C->sizeHint().width()) + "\n";
    }
    return F;
}

class Language : public TStartedTest {
protected:
    static void SetUpTestSuite()
    {
        TStartedTest::SetUpTestSuite();
        Template = Catalogue(Po("default.pot"));
    }
    static void TearDownTestSuite()
    {
        SetInterfaceLanguage("en");
        TStartedTest::TearDownTestSuite();
    }
    void SetUp() override
    {
        Dir = ScratchDir("language");
        fs::create_directories(Dir / "ini");
        Startup.ExeDir = Dir.string() + "/";
        Startup.DataDir = Startup.ExeDir;
        Startup.IniDir = Startup.DataDir + "ini/";
        Startup.IniFileName = GetSettingsFileName({});
        std::ofstream(Startup.IniFileName) << "[File]\nSameDirectory=1\n";
        LoadIniFile(Startup.IniFileName);
    }
    void TearDown() override
    {
        SetInterfaceLanguage("en");
        fs::remove_all(Dir);
    }
    // Starts the globals again in the language Code: the effects take their names then.
    void Select(const char* Code)
    {
        const std::string Kept = Startup.ExeDir;
        FinalizeGlobals();
        Startup.ExeDir = VESTRO_DIST_DIR "/";
        Settings.System.Language = Code;
        InitializeGlobals({});
        Startup.ExeDir = Kept;
        LoadIniFile(Startup.IniFileName);
    }

    // The main window, the option and effect dialogs and the small windows.
    std::vector<std::pair<std::string, std::vector<std::string>>> Windows()
    {
        std::vector<std::pair<std::string, std::vector<std::string>>> Out;
        TMainForm Main({});
        Main.show();
        QApplication::processEvents();
        Out.emplace_back("main window", ShownTexts(&Main));
        std::vector<std::pair<const char*, std::function<QWidget*()>>> All = {
            {"Histogram", [] { return new THistogramForm; }},
            {"Preview", [] { return new TPreviewForm; }},
            {"Processing", [] { return new TProgressForm3; }},
        };
        for (const auto& [Name, Make] : AllEffectDialogs())
            All.emplace_back(Name, Make);
        for (const auto& [Name, Make] : AppDialogs(*EffectList))
            All.emplace_back(Name, Make);
        Faults.clear();
        for (const auto& [Name, Make] : All) {
            std::unique_ptr<QWidget> D(Make());
            D->show();
            Faults += LayoutFaults(D.get()) + CutTexts(D.get());
            Out.emplace_back(Name, ShownTexts(D.get()));
        }
        return Out;
    }

    static inline std::map<std::string, std::string> Template;
    std::string Faults; // of the dialogs Windows() showed
    fs::path Dir;
    TKeptSettings KeptRecords;
};

} // namespace

// A profile's language is found in any letter case; one without a catalogue
// (or none at all) speaks English, and the setting says what is spoken.
TEST_F(Language, AProfilesLanguageIsFoundInAnyLetterCaseAndAnUnknownOneIsEnglish)
{
    struct TCase {
        const char *Named, *Spoken, *Text;
    };
    const TCase Cases[] = {{"DE", "de", "Datei konnte nicht geladen werden"},
                           {"Ja", "ja", "ファイルの読み込みに失敗しました"},
                           {"xx", "en", "Failed to load file"},
                           {"", "en", "Failed to load file"},
                           {"de", "de", "Datei konnte nicht geladen werden"}};
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Named);
        Select(C.Named);
        EXPECT_EQ(Settings.System.Language, C.Spoken);
        EXPECT_EQ(LoadResText(SLoadFailed), C.Text);
    }
}

TEST_F(Language, EveryCatalogueTranslatesTheWholeTemplate)
{
    ASSERT_GT(Template.size(), 300u);
    for (const char* Lang : {"de.po", "ja.po"}) {
        const auto Cat = Catalogue(Po(Lang));
        for (const auto& [Id, Str] : Template) {
            const auto It = Cat.find(Id);
            EXPECT_TRUE(It != Cat.end() && !It->second.empty()) << Lang << " lacks: " << Id;
            // A menu caption keeps its mnemonic mark.
            EXPECT_TRUE(It == Cat.end() || Id.find("(&") == std::string::npos ||
                        It->second.find("(&") != std::string::npos)
                << Lang << ": " << It->second;
        }
        for (const auto& [Id, Str] : Cat)
            EXPECT_TRUE(Template.count(Id)) << Lang << " keeps a text the program no longer has: " << Id;
    }
    // The two-sided size rules name their sides in the language too.
    for (const char* Lang : {"de.po", "ja.po"}) {
        const auto Cat = Catalogue(Po(Lang));
        for (const char* Rule : {"W x N(%)", "W x H(%)", "W x N(px)", "W x H(px)"})
            EXPECT_TRUE(Cat.count(Rule) && Cat.at(Rule) != Rule) << Lang << ": " << Rule;
    }
    // English is the program's own text: its catalogue lists all and translates none.
    const auto En = Catalogue(Po("en.po"));
    EXPECT_EQ(En.size(), Template.size());
    for (const auto& [Id, Str] : En)
        EXPECT_EQ(Str, "") << Id;
}

TEST_F(Language, TranslatedWindowsShowNoEnglishLeftOverAndNothingCut)
{
    for (const char* Code : {"de", "ja"}) {
        Select(Code);
        // Every English key whose translation differs must not be seen.
        std::set<std::string> English;
        for (const auto& [Id, Str] : Catalogue(Po((std::string(Code) + ".po").c_str())))
            if (Plain(Str) != Plain(Id))
                English.insert(Plain(Id));
        size_t Seen = 0;
        for (const auto& [Name, Texts] : Windows()) {
            Seen += Texts.size();
            for (const std::string& T : Texts)
                EXPECT_FALSE(English.count(Plain(T)) || English.count(TextPart(T)))
                    << Code << ": " << Name << " shows English: \"" << T << "\"";
        }
        EXPECT_GT(Seen, 400u);
        EXPECT_EQ(Faults, "") << Code; // longer texts still fit: no control covers another or leaves its window
    }
}

// Whatever the system's own language is.
TEST_F(Language, TheFileListNamesTypesInTheInterfaceLanguage)
{
    const std::pair<const char*, const char*> Files[] = {{"a.jpg", "JPEG image"},
                                                         {"b.png", "PNG image"},
                                                         {"c.bmp", "Windows BMP image"},
                                                         {"png named.jpg", "PNG image"}};
    QImage Picture(8, 6, QImage::Format_RGB32);
    Picture.fill(Qt::darkCyan);
    std::vector<std::string> Paths;
    for (const auto& [Name, Type] : Files) {
        const std::string P = (Dir / Name).string();
        const char* Format = std::string(Name).find("png") != std::string::npos ? "PNG" : nullptr;
        ASSERT_TRUE(Picture.save(QString::fromStdString(P), Format));
        Paths.push_back(P);
    }
    for (const char* Code : {"de", "ja"}) {
        Select(Code);
        const auto Cat = Catalogue(Po((std::string(Code) + ".po").c_str()));
        TMainForm Main(Paths);
        Main.show();
        QAbstractItemModel* M = Main.FileListView->model();
        WaitFor([&] { return App.FileList->Count() >= int(Paths.size()); });
        QApplication::processEvents();
        ASSERT_EQ(M->rowCount(), int(Paths.size())) << Code;
        for (int R = 0; R < M->rowCount(); ++R) {
            const std::string Name = M->data(M->index(R, TFileListModel::colName)).toString().toStdString();
            const std::string Type = M->data(M->index(R, TFileListModel::colType)).toString().toStdString();
            for (const auto& [File, English] : Files)
                EXPECT_TRUE(Name != File || Type == Cat.at(English)) << Code << ": " << Name << " is " << Type;
        }
        App.FileList->Clear();
    }
}

// A start without a display whose profile does not convert at once says why in
// two lines, both in the profile's language, through the catalogue.
TEST_F(Language, AnOffscreenStartThatDoesNotConvertSaysBothLinesInTheProfilesLanguage)
{
    const std::string Profile = std::string(VESTRO_DIST_DIR "/ini/") + Dir.filename().string() + ".ini";
    const fs::path Run = fs::temp_directory_path() / ("vl-" + std::to_string(getpid()));
    fs::create_directories(Run);
    fs::permissions(Run, fs::perms::owner_all, fs::perm_options::replace);
    struct TGone {
        std::string Profile;
        fs::path Run;
        ~TGone() { fs::remove(Profile), fs::remove_all(Run); }
    } Gone{Profile, Run};
    WritePhoto(Dir / "a.jpg", 64, 48, 1);
    for (const char* Code : {"de", "ja"}) {
        SCOPED_TRACE(Code);
        std::ofstream(Profile) << "[File]\nAtOnce=0\n[System]\nLanguage=" << Code << "\n";
        const auto Cat = Catalogue(Po((std::string(Code) + ".po").c_str()));
        const auto Said = [&](const char* Id) {
            std::string S = Cat.at(Id);
            if (const size_t At = S.find("%s"); At != std::string::npos)
                S.replace(At, 2, Profile);
            return S;
        };
        const std::string First = Said("no display: the window cannot be shown (a profile with AtOnce=1 converts "
                                       "without it)");
        // With a file, and with none.
        const std::pair<std::vector<std::string>, std::string> Starts[] = {
            {{"a.jpg"}, Said("the profile %s does not convert at once ([File] AtOnce=1)")},
            {{}, Said("no file or folder was named")},
        };
        for (const auto& [Args, Second] : Starts) {
            const TProgramResult R = RunProgramAtOnce(fs::path(Profile).filename().string(), Args, Dir, Run, 60000);
            EXPECT_EQ(R.Status, 2);
            EXPECT_EQ(R.Err, First + "\nVestro: " + Second + "\n");
        }
    }
}
