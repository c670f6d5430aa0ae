// The window code as a user works it, case by case where planted faults went
// unnoticed: the Language menu (each entry named by its catalogue, the
// language in use checked, a click stored for the next start, which speaks
// it), the size rule bar per rule, ranged settings at their bounds, the
// resampling filters, the shortcut dialog, the thumbnail window's place and
// the option dialogs' dependent controls.
#include "AtOnceRun.h"

#include "app/CreateShortCutFrm.h"
#include "app/FileListView.h"
#include "app/BitmapOptionFrm.h"
#include "app/IniSettings.h"
#include "app/PNGOptionFrm.h"
#include "app/ThumbnailFrm.h"
#include "app/MainFrm.h"
#include "app/Startup.h"
#include "app/SystemOptionFrm.h"
#include "core/ImageInfo.h"
#include "core/IniFile.h"
#include "core/Resize.h"
#include "tests/app/MainWindowTest.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <map>

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
    std::string StoredLanguage() const
    {
        return TMemIniFile(Startup.IniFileName).ReadString("System", "Language", "?");
    }
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
    ASSERT_GE(App.LanguageList.size(), 3u);
    for (const char* InUse : {"en", "DE", "ja", "xx"}) {
        SCOPED_TRACE(InUse);
        Settings.System.Language = InUse;
        Window = std::make_unique<TMainForm>(std::vector<std::string>{});
        const auto E = Entries();
        ASSERT_EQ(E.size(), App.LanguageList.size());
        for (size_t i = 0; i < E.size(); ++i) {
            const auto [Code, Name] = Split(App.LanguageList[i]);
            EXPECT_EQ(E[i].first, Name.empty() ? Code : Name) << i;
            EXPECT_EQ(E[i].second, AsciiLower(Code) == AsciiLower(InUse)) << Code;
        }
    }
    // The catalogues by their folder names, in order.
    std::vector<std::string> Codes;
    for (const std::string& L : App.LanguageList)
        Codes.push_back(Split(L).first);
    EXPECT_EQ(Codes, (std::vector<std::string>{"de", "en", "ja"}));
    // Each named as its catalogue's header names it, and nothing more.
    const auto E = Entries();
    std::vector<std::string> Names;
    for (const auto& [Text, Checked] : E)
        Names.push_back(Text);
    EXPECT_EQ(Names, (std::vector<std::string>{"Deutsch", "English", "\u65e5\u672c\u8a9e"}));
    EXPECT_NE(Split(App.LanguageList[0]).second, "");
}

TEST_F(SweepLanguage, ChoiceIsSavedOnCloseAndTheNextStartSpeaksIt)
{
    const std::string Kept = Settings.System.Language;
    struct TCase {
        const char* Code;
        const char* Truncated; // the damaged BMP's line in that language
    } Cases[] = {{"de", "Die BMP-Datei ist abgeschnitten"}, {"en", "The BMP file is truncated"}};
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Code);
        // Started in another language than the one chosen.
        Settings.System.Language = std::string(C.Code) == "de" ? "ja" : "de";
        Open(std::string("[System]\nLanguage=") + Settings.System.Language + "\n");
        const auto Shown = Window->menuBar()->actions().front()->text();
        std::string Name;
        for (const std::string& L : App.LanguageList)
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
        fs::copy_file(Startup.IniFileName, ProfilePath, fs::copy_options::overwrite_existing);
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
    Settings.System.Language = Kept;
}

// The size rule bar as each rule shows it, the rule chosen by the keys: which
// edits are there, their captions, units and stored sizes; a size typed
// before another rule is chosen is kept for its own rule.
TEST_F(SweepLanguage, SizeRuleBarShowsEachRulesEditsCaptionsAndUnits)
{
    Open("[Resize]\nRule=0\nSize1=10,20,30,40,50,60,70,80,90,0,110,120\n"
         "Size2=0,0,0,0,0,61,71,81,91,0,111,121\n");
    struct TRule {
        const char* Side1;
        const char* Side2; // "" when the rule has one side
        const char* Unit;
    } Rules[12] = {
        {"Scale", "", "%"},        {"Wide", "", "px"},
        {"Narrow", "", "px"},      {"Width", "", "px"},
        {"Height", "", "px"},      {"Wide", "Narrow", "%"},
        {"Width", "Height", "%"},  {"Wide", "Narrow", "px"},
        {"Width", "Height", "px"}, {"", "", ""},
        {"Width", "Height", "px"}, {"Width", "Height", "px"},
    };
    const char* Size1[12] = {"10", "20", "30", "40", "50", "60", "70", "80", "90", "", "110", "120"};
    const char* Size2[12] = {"", "", "", "", "", "61", "71", "81", "91", "", "111", "121"};
    QComboBox* List = Window->cbxResizeRule;
    // Panels in the tool bar are shown and hidden through their actions.
    auto Shown = [](QWidget* Panel) {
        auto* A = qobject_cast<QAction*>(Panel->property("toolAction").value<QObject*>());
        return A ? A->isVisible() : Panel->isVisible();
    };
    for (int R = 0; R < 12; ++R) {
        SCOPED_TRACE(R);
        List->setFocus();
        QTest::keyClick(List, Qt::Key_Home);
        for (int i = 0; i < R; ++i)
            QTest::keyClick(List, Qt::Key_Down);
        ASSERT_EQ(List->currentIndex(), R);
        const TRule& E = Rules[R];
        EXPECT_EQ(Shown(Window->Side1Panel), R != 9);
        EXPECT_EQ(Shown(Window->Side2Panel), *E.Side2 != 0);
        EXPECT_EQ(Shown(Window->SizeHistoryPanel), R == 9);
        if (R == 9)
            continue;
        EXPECT_EQ(Window->Side1Label->text().toStdString(), E.Side1);
        EXPECT_EQ(Window->Side1UnitLabel->text().toStdString(), E.Unit);
        EXPECT_EQ(Window->edtSide1->text().toStdString(), Size1[R]);
        if (*E.Side2) {
            EXPECT_EQ(Window->Side2Label->text().toStdString(), E.Side2);
            EXPECT_EQ(Window->Side2UnitLabel->text().toStdString(), E.Unit);
            EXPECT_EQ(Window->edtSide2->text().toStdString(), Size2[R]);
        }
    }
    // Sizes typed for rule 6, then rule 3 chosen and 6 again: kept and saved.
    auto Choose = [&](int R) {
        List->setFocus();
        QTest::keyClick(List, Qt::Key_Home);
        for (int i = 0; i < R; ++i)
            QTest::keyClick(List, Qt::Key_Down);
    };
    Choose(6);
    for (QLineEdit* E : {Window->edtSide1, Window->edtSide2}) {
        E->setFocus();
        E->selectAll();
        QTest::keyClicks(E, E == Window->edtSide1 ? "33" : "44");
    }
    Choose(3);
    EXPECT_EQ(Window->edtSide1->text().toStdString(), "40");
    Choose(6);
    EXPECT_EQ(Window->edtSide1->text().toStdString(), "33");
    EXPECT_EQ(Window->edtSide2->text().toStdString(), "44");
    Window->close();
    TMemIniFile Saved(Startup.IniFileName);
    EXPECT_EQ(Saved.ReadString("Resize", "Size1", ""), "10,20,30,40,50,60,33,80,90,0,110,120");
    EXPECT_EQ(Saved.ReadString("Resize", "Size2", ""), "0,0,0,0,0,61,44,81,91,0,111,121");
    EXPECT_EQ(Saved.ReadString("Resize", "Rule", ""), "6");
}

// Every ranged setting at its bounds and one step past them, read from a
// file and saved again: a bound is kept, a value past it is taken to the
// bound (or, for a code, the key's default); each key with a value of its
// own so that two keys swapped show.
TEST_F(SweepLanguage, RangedSettingsKeepTheirBoundsAndCorrectWhatLiesPast)
{
    TKeptSettings KeptRecords;
    struct TRange {
        const char* Section;
        const char* Key;
        int Lo, Hi;
        bool Code; // past the range: the default, not the bound
    } Ranges[] = {
        {"File", "NumberResetType", 0, 2, false},
        {"Resize", "Rule", 0, 11, true},
        {"Resize", "DecimationType", 1, 9, true},
        {"Resize", "DecimationRadius", 1, 32, false},
        {"Resize", "DecimationSharp", -4, 8, false},
        {"Resize", "DecimationBlur", 1, 24, false},
        {"Resize", "InterpolationType", 2, 9, true},
        {"Resize", "InterpolationRadius", 1, 8, false},
        {"Resize", "InterpolationSharp", -4, 8, false},
        {"Resize", "InterpolationBlur", 1, 24, false},
        {"Bitmap", "ConvertTo", 1, 3, true},
        {"Bitmap", "AlphaCheckType", 0, 2, false},
        {"JPEG", "ConvertTo", 1, 3, true},
        {"JPEG", "SampleType", 0, 3, false},
        {"JPEG", "Smoothing", 0, 100, false},
        {"JPEG", "Quality", 0, 100, false},
        {"JPEG", "DecodeWithDownScaling", 0, 3, false},
        {"JPEG", "DownScalingLimit", 100, 9999, false},
        {"JPEG", "FileSizeLimit", 1, 9999, false},
        {"JPEG", "QualityLimit", 0, 100, false},
        {"JPEG", "SampleTypeLimit", 0, 3, false},
        {"PNG", "ConvertTo", 1, 3, true},
        {"PNG", "CompressLevel", 0, 9, false},
        {"PNG", "TransparentType", 0, 5, false},
        {"WIC", "ConvertTo", 1, 3, true},
        {"SPI", "ConvertTo", 1, 3, true},
        {"Combine", "Width", 1, 9999, true},
        {"Combine", "Height", 1, 9999, true},
        {"Combine", "Order", 0, 1, true},
        {"Combine", "Rows,", 1, 99, true},
        {"Combine", "Columns", 1, 99, true},
        {"Combine", "RowSpace", 0, 99, false},
        {"Combine", "ColumnSpace", 0, 99, false},
    };
    const fs::path In = Dir / "ranged.ini", Out = Dir / "saved.ini";
    auto Save = [&](const std::string& Text) {
        std::ofstream(In) << Text;
        LoadIniFile(In.string());
        fs::remove(Out);
        EXPECT_TRUE(SaveIniFile(Out.string()));
        return TMemIniFile(Out.string());
    };
    const TMemIniFile Defaults = Save("");
    // 0 the lower bound, 1 the upper, 2 one below, 3 one above.
    for (int Pass = 0; Pass < 4; ++Pass) {
        SCOPED_TRACE(Pass);
        std::map<std::string, std::string> Sections;
        for (const TRange& R : Ranges) {
            const int V = Pass == 0 ? R.Lo : Pass == 1 ? R.Hi : Pass == 2 ? R.Lo - 1 : R.Hi + 1;
            Sections[R.Section] += std::string(R.Key) + "=" + std::to_string(V) + "\n";
        }
        std::string Text;
        for (const auto& [Section, Keys] : Sections)
            Text += "[" + Section + "]\n" + Keys;
        const TMemIniFile Saved = Save(Text);
        for (const TRange& R : Ranges) {
            const std::string Want = Pass == 0 ? std::to_string(R.Lo)
                : Pass == 1                    ? std::to_string(R.Hi)
                : R.Code                       ? Defaults.ReadString(R.Section, R.Key, "?")
                                               : std::to_string(Pass == 2 ? R.Lo : R.Hi);
            EXPECT_EQ(Saved.ReadString(R.Section, R.Key, "?"), Want) << R.Section << "/" << R.Key;
        }
    }
    // Each key a value of its own inside its range: neighbours swapped show.
    std::map<std::string, std::string> Sections;
    std::map<std::string, int> Own;
    int n = 0;
    for (const TRange& R : Ranges) {
        const int V = R.Lo + (n++ % (R.Hi - R.Lo + 1));
        Own[std::string(R.Section) + "/" + R.Key] = V;
        Sections[R.Section] += std::string(R.Key) + "=" + std::to_string(V) + "\n";
    }
    std::string Text;
    for (const auto& [Section, Keys] : Sections)
        Text += "[" + Section + "]\n" + Keys;
    const TMemIniFile Saved = Save(Text);
    for (const TRange& R : Ranges)
        EXPECT_EQ(Saved.ReadString(R.Section, R.Key, "?"), std::to_string(Own[std::string(R.Section) + "/" + R.Key]))
            << R.Section << "/" << R.Key;
}

// Values with rules of their own: the resampling passes' threads (at most 64),
// the picture memory limit, and a font that is not installed, which gives
// way to the system's font at its own size.
TEST_F(SweepLanguage, SettingsWithRulesOfTheirOwnAreSavedCorrected)
{
    TKeptSettings KeptRecords;
    const auto KeptInstalled = FontInstalled;
    FontInstalled = [](const std::string& Name) { return Name != "No Such Font"; };
    struct TCase {
        const char* Text;
        std::vector<std::pair<const char*, const char*>> Saved; // "Section/Key", value
    } Cases[] = {
        {"[Resize]\nMaxThread=64\n", {{"Resize/MaxThread", "64"}}},
        {"[Resize]\nMaxThread=65\n", {{"Resize/MaxThread", "64"}}},
        {"[Resize]\nMaxThread=3\n", {{"Resize/MaxThread", "3"}}},
        {"[System]\nPictureMemoryLimit=16777217\n", {{"System/PictureMemoryLimit", "16777216"}}},
        {"[System]\nPictureMemoryLimit=-1\n", {{"System/PictureMemoryLimit", "0"}}},
        {"[Font]\nP_FontName=No Such Font\nP_FontSize=12\n",
         {{"Font/P_FontName", Startup.SystemFontName.c_str()}, {"Font/P_FontSize", "9"}}},
        {"[Font]\nP_FontName=Other\nP_FontSize=12\n", {{"Font/P_FontName", "Other"}, {"Font/P_FontSize", "12"}}},
        // One run mode at a time: renaming before the lossless transform
        // before combining.
        {"[Combine]\nUse=1\n", {{"Combine/Use", "1"}}},
        {"[JPEGTran]\nUse=1\n[Combine]\nUse=1\n", {{"Combine/Use", "0"}, {"JPEGTran/Use", "1"}}},
        {"[File]\nRenameOnly=1\n[JPEGTran]\nUse=1\n[Combine]\nUse=1\n",
         {{"Combine/Use", "0"}, {"JPEGTran/Use", "0"}, {"File/RenameOnly", "1"}}},
    };
    const fs::path In = Dir / "own.ini", Out = Dir / "saved.ini";
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Text);
        std::ofstream(In) << C.Text;
        LoadIniFile(In.string());
        fs::remove(Out);
        ASSERT_TRUE(SaveIniFile(Out.string()));
        const TMemIniFile Saved(Out.string());
        for (const auto& [Key, Value] : C.Saved) {
            const std::string K = Key;
            EXPECT_EQ(Saved.ReadString(K.substr(0, K.find('/')), K.substr(K.find('/') + 1), "?"), Value) << K;
        }
    }
    FontInstalled = KeptInstalled;
}

// Every filter of both resampling lists, chosen in the settings, is the one
// the program's resizer uses once they are loaded.
TEST_F(SweepLanguage, EachStoredResamplingFilterReachesTheResizer)
{
    TKeptSettings KeptRecords;
    ASSERT_NE(App.MainResizer, nullptr);
    const fs::path In = Dir / "filters.ini";
    for (int Id = 1; Id <= 9; ++Id) {
        SCOPED_TRACE(Id);
        const int Up = std::max(Id, 2);
        std::ofstream(In) << "[Resize]\nDecimationType=" << Id << "\nInterpolationType=" << Up << "\n";
        LoadIniFile(In.string());
        EXPECT_EQ(App.MainResizer->DecimationMode, uint32_t(Id));
        EXPECT_EQ(App.MainResizer->InterpolationMode, uint32_t(Up));
    }
}

// The shortcut dialog remembers the place and the two boxes chosen with OK,
// shows them when opened again, and the settings file holds them.
TEST_F(SweepLanguage, ShortcutDialogRemembersThePlaceAndBoxesChosen)
{
    TKeptSettings KeptRecords;
    LoadTestSettings(Dir, "[ShortCut]\nDesktop=1\nMakeIni=0\nAtOnce=0\n");
    Startup.DesktopDir = (Dir / "Desktop").string() + "/";
    Startup.SendToDir = (Dir / "applications").string() + "/";
    auto Mark = [](QAbstractButton* B) {
        QTest::mouseClick(B, Qt::LeftButton, {}, QPoint(B->contentsRect().left() + 8, B->height() / 2));
    };
    {
        TCreateShortCutForm F;
        F.show();
        EXPECT_TRUE(F.DesktopButton->isChecked());
        EXPECT_FALSE(F.AtOnceBox->isEnabled());
        F.NameEdit->setFocus();
        F.NameEdit->selectAll();
        QTest::keyClicks(F.NameEdit, "Mine");
        Mark(F.SendToButton);
        Mark(F.NewIniBox);
        EXPECT_TRUE(F.AtOnceBox->isEnabled());
        Mark(F.AtOnceBox);
        QTest::mouseClick(F.OkButton, Qt::LeftButton);
        EXPECT_EQ(F.result(), QDialog::Accepted);
    }
    EXPECT_TRUE(fs::exists(Dir / "applications" / "Mine.desktop"));
    EXPECT_FALSE(fs::exists(Dir / "Desktop" / "Mine.desktop"));
    EXPECT_EQ(TMemIniFile((Dir / "ini" / "Mine.ini").string()).ReadString("File", "AtOnce", "?"), "1");
    {
        TCreateShortCutForm F;
        F.show();
        EXPECT_TRUE(F.SendToButton->isChecked());
        EXPECT_TRUE(F.NewIniBox->isChecked());
        EXPECT_TRUE(F.AtOnceBox->isChecked());
    }
    const fs::path Out = Dir / "saved.ini";
    ASSERT_TRUE(SaveIniFile(Out.string()));
    const TMemIniFile Saved(Out.string());
    EXPECT_EQ(Saved.ReadString("ShortCut", "Desktop", "?"), "0");
    EXPECT_EQ(Saved.ReadString("ShortCut", "MakeIni", "?"), "1");
    EXPECT_EQ(Saved.ReadString("ShortCut", "AtOnce", "?"), "1");
}

// The thumbnail window's place at the edges of the screen (1366 x 768, the
// window 200 x 300 with a title bar of 20): a stored place that just fits is
// kept; otherwise the main window's top-right corner, the screen's right
// edge or the main window's left side.
TEST(SweepThumbnailPlace, StoredPlaceThatJustFitsIsKeptElseBesideTheMainWindow)
{
    struct TCase {
        QRect Main;
        int DX, DY;
        QPoint Expected;
    } Cases[] = {
        {{100, 50, 800, 600}, 1066, 0, {1166, 50}},    // right edge on the screen's
        {{100, 50, 800, 600}, 0, 418, {100, 468}},     // bottom edge on the screen's
        {{100, 50, 800, 600}, -101, 0, {700, 70}},     // one pixel off the left
        {{100, 50, 800, 600}, 1067, 0, {700, 70}},     // one pixel off the right
        {{566, 50, 800, 600}, -10000, 0, {1166, 70}},  // main window ends at the screen's edge
        {{1300, 50, 800, 600}, -10000, 0, {1100, 50}}, // main window runs off: on its left
        {{100, 50, 1300, 600}, -10000, 0, {1166, 70}}, // no room on its left either
    };
    for (const TCase& C : Cases)
        EXPECT_EQ(ThumbnailWindowPos(C.Main, QSize(200, 300), 20, QSize(1366, 768), C.DX, C.DY), C.Expected)
            << C.Main.x() << "," << C.DX << "," << C.DY;
}

// The option dialogs' dependent controls: open while the box they depend on
// is checked, greyed while it is not, following each click on it.
TEST(SweepOptionDialogs, DependentControlsFollowTheirBox)
{
    EnsureApp();
    auto Mark = [](QAbstractButton* B) {
        QTest::mouseClick(B, Qt::LeftButton, {}, QPoint(B->contentsRect().left() + 8, B->height() / 2));
    };
    for (bool Index : {false, true}) {
        TPNGOption Option;
        Option.IndexColor = Index;
        TPNGOptionForm F(Option);
        F.show();
        EXPECT_EQ(F.TransparentPanel->isEnabled(), Index);
        Mark(F.IndexColorCheck);
        EXPECT_EQ(F.TransparentPanel->isEnabled(), !Index);
        Mark(F.IndexColorCheck);
        EXPECT_EQ(F.TransparentPanel->isEnabled(), Index);
    }
    for (bool Alpha : {false, true}) {
        TBitmapOption Option;
        Option.AlphaChannelSupport = Alpha;
        TBitmapOptionForm F(Option);
        F.show();
        EXPECT_EQ(F.HeaderPanel->isEnabled(), Alpha);
        if (!F.AlphaCheck->isEnabled())
            continue;
        Mark(F.AlphaCheck);
        EXPECT_EQ(F.HeaderPanel->isEnabled(), !Alpha);
    }
}

TEST_F(SweepLanguage, SystemOptionsDependentControlsFollowTheirBox)
{
    TKeptSettings KeptRecords;
    auto Mark = [](QAbstractButton* B) {
        QTest::mouseClick(B, Qt::LeftButton, {}, QPoint(B->contentsRect().left() + 8, B->height() / 2));
    };
    for (bool On : {false, true}) {
        SCOPED_TRACE(On);
        Settings.File.NotOverwrite = On;
        Settings.System.UseExternalTool = On;
        TSystemOptionForm F;
        F.show();
        EXPECT_EQ(F.Rename->isEnabled(), On);
        EXPECT_EQ(F.Skip->isEnabled(), On);
        EXPECT_EQ(F.Command->isEnabled(), On);
        Mark(F.NotOverwrite);
        EXPECT_EQ(F.Rename->isEnabled(), !On);
        EXPECT_EQ(F.Skip->isEnabled(), !On);
        EXPECT_EQ(F.Command->isEnabled(), On);
        Mark(F.UseExternalTool);
        EXPECT_EQ(F.Command->isEnabled(), !On);
    }
}

// The size history as the user picks from it: an entry of the history rule
// itself reads as a scale, and the entry used moves to the top and stays the
// chosen one, so that the next run uses it again.
TEST_F(SweepLanguage, SizeHistoryEntryUsedStaysChosenAtTheTop)
{
    Open("[Resize]\nRule=9\nHistory=\"9,50,50\",\"1,200,200\",\"3,300,300\",\"4,400,400\"\n");
    ASSERT_FALSE(Window->ResizeHistory.empty());
    EXPECT_EQ(Window->ResizeHistory.front(), "0,50,50");
    QComboBox* History = Window->SizeHistoryCombo;
    History->setFocus();
    QTest::keyClick(History, Qt::Key_Home);
    QTest::keyClick(History, Qt::Key_Down);
    QTest::keyClick(History, Qt::Key_Down);
    ASSERT_EQ(History->currentIndex(), 2);
    for (int Run = 0; Run < 2; ++Run) {
        SCOPED_TRACE(Run);
        ASSERT_TRUE(Window->SetResizeParam());
        EXPECT_EQ(Window->ResizeHistory.front(), "3,300,300");
        EXPECT_EQ(History->currentIndex(), 0);
        EXPECT_EQ(std::make_pair(EffectList->FResizeType, EffectList->FResizeValue), std::make_pair(3, 300.0));
    }
}
