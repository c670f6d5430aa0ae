// The Language menu as a user works it: each entry named by its catalogue,
// the language in use checked, a click stores the choice in the settings the
// window saves when it closes, and the program started next speaks it.
#include "AtOnceRun.h"

#include "app/FileListView.h"
#include "app/IniSettings.h"
#include "app/MainFrm.h"
#include "app/Startup.h"
#include "core/ImageInfo.h"
#include "core/IniFile.h"
#include "tests/app/MainWindowTest.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class SweepLanguage : public TMainWindowTest {
protected:
    void Open(const std::string& Settings)
    {
        LoadTestSettings(Dir, Settings);
        Window = std::make_unique<TMainForm>(std::vector<std::string>{});
        Window->show();
        QApplication::processEvents();
    }
    // The entries of the Language menu: text and check mark.
    std::vector<std::pair<std::string, bool>> Entries() const
    {
        std::vector<std::pair<std::string, bool>> Out;
        for (QAction* A : Window->LanguageMenu->actions())
            Out.emplace_back(A->text().toStdString(), A->isChecked());
        return Out;
    }
    // Alt+A opens the menu; the entry named Name is clicked.
    void Choose(const std::string& Name)
    {
        QApplication::setActiveWindow(Window.get());
        QTest::keyClick(Window->FileListView, Qt::Key_A, Qt::AltModifier);
        QWidget* Popup = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (Popup = QApplication::activePopupWidget()) != nullptr; }, 2000));
        auto* Menu = qobject_cast<QMenu*>(Popup);
        ASSERT_EQ(Menu, Window->LanguageMenu);
        for (QAction* A : Menu->actions())
            if (A->text().toStdString() == Name) {
                QTest::mouseClick(Menu, Qt::LeftButton, {}, Menu->actionGeometry(A).center());
                QApplication::processEvents();
                return;
            }
        ADD_FAILURE() << "no entry " << Name;
    }
    std::string StoredLanguage() const { return TMemIniFile(IniFileName).ReadString("System", "Language", "?"); }
};

// "de=Deutsch" -> {"de", "Deutsch"}.
std::pair<std::string, std::string> Split(const std::string& L)
{
    const size_t Eq = L.find('=');
    return {L.substr(0, Eq), Eq == std::string::npos ? std::string() : L.substr(Eq + 1)};
}

} // namespace

TEST_F(SweepLanguage, MenuNamesEachCatalogueAndChecksTheLanguageInUse)
{
    ASSERT_GE(LanguageList.size(), 3u);
    for (const char* InUse : {"en", "DE", "ja", "xx"}) {
        SCOPED_TRACE(InUse);
        SystemOption.Language = InUse;
        Window = std::make_unique<TMainForm>(std::vector<std::string>{});
        const auto E = Entries();
        ASSERT_EQ(E.size(), LanguageList.size());
        for (size_t i = 0; i < E.size(); ++i) {
            const auto [Code, Name] = Split(LanguageList[i]);
            EXPECT_EQ(E[i].first, Name.empty() ? Code : Name) << i;
            EXPECT_EQ(E[i].second, AsciiLower(Code) == AsciiLower(InUse)) << Code;
        }
    }
    // The catalogues by their folder names, in order.
    std::vector<std::string> Codes;
    for (const std::string& L : LanguageList)
        Codes.push_back(Split(L).first);
    EXPECT_EQ(Codes, (std::vector<std::string>{"de", "en", "ja"}));
    EXPECT_NE(Split(LanguageList[0]).second, "");
}

TEST_F(SweepLanguage, ChoiceIsSavedOnCloseAndTheNextStartSpeaksIt)
{
    const std::string Kept = SystemOption.Language;
    struct TCase {
        const char* Code;
        const char* Truncated; // the damaged BMP's line in that language
    } Cases[] = {{"de", "Die BMP-Datei ist abgeschnitten"}, {"en", "The BMP file is truncated"}};
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Code);
        // Started in another language than the one chosen.
        SystemOption.Language = std::string(C.Code) == "de" ? "ja" : "de";
        Open(std::string("[System]\nLanguage=") + SystemOption.Language + "\n");
        const auto Shown = Window->menuBar()->actions().front()->text();
        std::string Name;
        for (const std::string& L : LanguageList)
            if (Split(L).first == C.Code)
                Name = Split(L).second.empty() ? Split(L).first : Split(L).second;
        ASSERT_FALSE(Name.empty());
        Choose(Name);
        // Only the mark moves now: the window keeps its language until the next start.
        for (const auto& [Text, Checked] : Entries())
            EXPECT_EQ(Checked, Text == Name) << Text;
        EXPECT_EQ(Window->menuBar()->actions().front()->text(), Shown);
        Window->close();
        EXPECT_EQ(StoredLanguage(), C.Code);

        // The next start, at once, on a damaged picture: its line in the chosen language.
        if (!fs::exists(std::string(VESTRO_DIST_DIR) + "/vestro-resizer"))
            continue;
        const std::string Profile = "sweep-lang-" + std::to_string(::getpid()) + ".ini";
        const std::string ProfilePath = std::string(VESTRO_DIST_DIR) + "/ini/" + Profile;
        fs::copy_file(IniFileName, ProfilePath, fs::copy_options::overwrite_existing);
        {
            TMemIniFile P(ProfilePath);
            P.WriteBool("File", "AtOnce", true);
            P.UpdateFile();
        }
        std::ofstream(Dir / "in" / "short.bmp") << "BM";
        const fs::path Run = fs::temp_directory_path() / ("vl-" + std::to_string(::getpid()));
        fs::create_directories(Run);
        fs::permissions(Run, fs::perms::owner_all);
        const TProgramResult R = RunProgramAtOnce(Profile, {"in/short.bmp"}, Dir, Run);
        fs::remove(ProfilePath);
        fs::remove_all(Run);
        EXPECT_EQ(R.Status, 1) << R.Err;
        EXPECT_THAT(LineOf(R.Err, "short.bmp"), ::testing::HasSubstr(C.Truncated)) << R.Err;
        Window.reset();
    }
    SystemOption.Language = Kept;
}
