// Settings files and profiles holding values no dialog could have stored, or
// in shapes no dialog makes: what the program does with them, what it writes,
// and what is left of the file afterwards.
#include "TestApp.h"
#include "tests/app/AtOnceRun.h"
#include "app/FilePreview.h"
#include "app/IniSettings.h"
#include "app/MainFrm.h"
#include "app/SystemOptionFrm.h"
#include "core/IniFile.h"
#include "tests/effectsui/CommaLocale.h"

#include <QFileDialog>
#include <QFontDialog>
#include <QPushButton>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QToolBar>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// The built program run offscreen with a profile of the program folder (Dir's
// name), started in Dir with files of Dir/in.
class HostileProfile : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        if (!fs::exists(kProgram) || !fs::exists(VESTRO_DIST_DIR "/bin/libkodex.so"))
            GTEST_SKIP() << "the program is not built";
        Dir = ScratchDir("hostile");
        fs::create_directories(Dir / "in");
        fs::create_directories(Dir / "run");
        fs::permissions(Dir / "run", fs::perms::owner_all, fs::perm_options::replace);
        Profile = Dir.filename().string() + ".ini";
        WritePhoto(Dir / "in" / "a.jpg", 400, 300, 1);
        WritePhoto(Dir / "in" / "b.jpg", 300, 400, 2);
    }
    void TearDown() override
    {
        fs::remove_all(Dir);
        fs::remove(IniPath());
    }
    std::string IniPath() const { return VESTRO_DIST_DIR "/ini/" + Profile; }
    // An at-once profile writing Dir/out/<old>; File comes first in [File]
    // (the first of two equal keys counts), Rest after it.
    void AtOnce(const std::string& File, const std::string& Rest = "")
    {
        std::ofstream(IniPath(), std::ios::binary) << "[File]\n" + File +
                "AtOnce=1\nSameDirectory=0\nNotOverwrite=0\n" + "OutPutDirectory=" + (Dir / "out").string() +
                "\nFileNameFormat=<old>\n" + Rest;
    }
    struct TResult {
        int Status = -1;
        std::string Err;
    };
    TResult Run(const std::vector<std::string>& Args = {"in/a.jpg", "in/b.jpg"})
    {
        const TProgramResult R = RunProgramAtOnce(Profile, Args, Dir, Dir / "run");
        return {R.Status, R.Err};
    }
    // The names of the files in Dir/Sub, in order.
    std::vector<std::string> Files(const char* Sub = "out") const
    {
        std::vector<std::string> N;
        std::error_code Ec;
        for (const auto& E : fs::directory_iterator(Dir / Sub, Ec))
            N.push_back(E.path().filename().string());
        std::sort(N.begin(), N.end());
        return N;
    }
    static inline const std::string kProgram = VESTRO_DIST_DIR "/vestro-resizer";
    fs::path Dir;
    std::string Profile;
};

TEST_F(HostileProfile, AControlCharacterInAPathSettingRefusesEveryInput)
{
    const std::string Out = (Dir / "out").string();
    // A NUL would cut the name short where the system takes it: both inputs
    // would land on one file "x".
    for (const std::string& File : {"FileNameFormat=x\0<old>\n"s, "OutPutDirectory="s + Out + "\0/x\n"s,
                                    "FileNameFormat=<old>\t.jpg\n"s, "OutPutDirectory="s + Out + "\x1B\n"s}) {
        for (const char* NotOverwrite : {"0", "1"}) {
            SCOPED_TRACE(File + " NotOverwrite=" + NotOverwrite);
            AtOnce(File + "NotOverwrite=" + NotOverwrite + "\n");
            const std::string Before = ReadFile(IniPath());
            const TResult R = Run();
            EXPECT_EQ(R.Status, 1) << R.Err;
            for (const char* In : {"a.jpg", "b.jpg"})
                EXPECT_EQ(Count(R.Err, In + ": The file name contains characters that cannot be used"s), 1) << R.Err;
            EXPECT_THAT(Files(), ElementsAre());
            EXPECT_THAT(Files("."), ElementsAre("in", "run"));
            EXPECT_EQ(ReadFile(IniPath()), Before);
        }
    }
    // A name that only the second input cannot have (its folder's name):
    // no input is converted, and each says why.
    fs::create_directories(Dir / "in" / "x|y");
    WritePhoto(Dir / "in" / "x|y" / "c.jpg", 200, 100, 3);
    std::ofstream(Dir / "in" / "bad.jpg") << "no picture";
    std::ofstream(IniPath()) << "[File]\nAtOnce=1\nSameDirectory=1\nFileNameFormat=sub/<old>\n";
    const TResult R = Run({"in/a.jpg", "in/bad.jpg", "in/x|y/c.jpg"});
    EXPECT_EQ(R.Status, 1) << R.Err;
    for (const char* In : {"a.jpg", "c.jpg"})
        EXPECT_EQ(Count(R.Err, In + ": The file name contains characters that cannot be used"s), 1) << R.Err;
    EXPECT_EQ(Count(R.Err, "bad.jpg: "), 1) << R.Err; // its own reason, once
    EXPECT_THAT(Files("in/sub"), ElementsAre());
    EXPECT_THAT(Files("in/x|y"), ElementsAre("c.jpg"));
}

// Rules whose name has nothing before the extension ("out/.jpg"): no input is
// converted, each says that the rule gives an empty name, and a combine run
// writes no hidden ".jpg" sheet.
TEST_F(HostileProfile, ARuleThatGivesAnEmptyNameRefusesEveryInputAndSaysSo)
{
    for (const char* Combine : {"", "[Combine]\nUse=1\n"})
        for (const char* Rule : {"", "<dir>", "sub/", "<old>/", "<dir>\\"}) {
            SCOPED_TRACE(std::string(Rule) + " " + Combine);
            AtOnce("FileNameFormat="s + Rule + "\n", Combine);
            const TResult R = Run();
            EXPECT_EQ(R.Status, 1) << R.Err;
            // A combined sheet is named by its first picture.
            for (const char* In : *Combine ? std::vector<const char*>{"a.jpg"} : std::vector{"a.jpg", "b.jpg"})
                EXPECT_EQ(Count(R.Err, In + ": The file name rule gives an empty name"s), 1) << R.Err;
            // A run of single files says it once more on its own, first.
            EXPECT_EQ(Count(R.Err, "The file name rule gives an empty name"), *Combine ? 1 : 3) << R.Err;
            EXPECT_EQ(R.Err.find("characters that cannot be used"), std::string::npos) << R.Err;
            EXPECT_THAT(Files(), ElementsAre()); // no ".jpg", "[1].jpg" or "sub/.jpg"
            EXPECT_THAT(Files("."), ElementsAre("in", "run"));
            EXPECT_THAT(Files("in"), ElementsAre("a.jpg", "b.jpg"));
        }
}

TEST_F(HostileProfile, SidesNoSizeEditTakesAreCorrectedAndAHugeEnlargementIsResultTooLarge)
{
    const struct {
        const char* Resize;
        QSize A, B; // outputs of the 400 x 300 and 300 x 400 inputs
    } Cases[] = {
        {"Rule=0\nSize1=0\n", {400, 300}, {300, 400}}, // the rule's own 100 %
        {"Rule=0\nSize1=-100\n", {400, 300}, {300, 400}},
        {"Rule=6\nSize1=0,0,0,0,0,0,50\nSize2=0,0,0,0,0,0,-1\n", {200, 300}, {150, 400}}, // 50 % x 100 %
        {"Rule=8\nSize1=0,0,0,0,0,0,0,0,-640\nSize2=0,0,0,0,0,0,0,0,0\n", {640, 480}, {640, 480}},
        {"Rule=9\nHistory=\"0,0,0\"\n", {640, 480}, {640, 480}},   // the default history's first entry
        {"Rule=9\nHistory=\"1,200,0\"\n", {200, 150}, {150, 200}}, // a side the rule does not use may be 0
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Resize);
        fs::remove_all(Dir / "out");
        AtOnce("", "[Resize]\n"s + C.Resize);
        const TResult R = Run();
        EXPECT_EQ(R.Status, 0) << R.Err;
        EXPECT_EQ(ImageSize(Dir / "out" / "a.jpg"), C.A);
        EXPECT_EQ(ImageSize(Dir / "out" / "b.jpg"), C.B);
    }
    // The file is fine; what it would become is too large (beyond the
    // memory budget, and beyond what any picture record holds).
    fs::remove_all(Dir / "out");
    WritePhoto(Dir / "in" / "photo.jpg", 2400, 1600, 3);
    AtOnce("", "[Resize]\nRule=0\nSize1=100000\n");
    const TResult R = Run({"in/a.jpg", "in/b.jpg", "in/photo.jpg"});
    EXPECT_EQ(R.Status, 1) << R.Err;
    EXPECT_EQ(Count(R.Err, "a.jpg: result too large: 400000 x 300000 ("), 1) << R.Err;
    EXPECT_EQ(Count(R.Err, "b.jpg: result too large: 300000 x 400000 ("), 1) << R.Err;
    EXPECT_EQ(Count(R.Err, "photo.jpg: result too large: 2400000 x 1600000 ("), 1) << R.Err;
    EXPECT_EQ(Count(R.Err, "Out of memory"), 0) << R.Err;
    EXPECT_THAT(Files(), ElementsAre());
}

// Margins far beyond the picture budget: each input is refused as the
// resize refuses a huge enlargement, nothing is written, and margins that
// fit are still added.
TEST_F(HostileProfile, AddedMarginsBeyondThePictureBudgetAreResultTooLarge)
{
    const std::string Blank = "[System]\nPictureMemoryLimit=100\n[AddBlankFilter]\nUse=1\nPreview=1\nBlankType=1\n";
    AtOnce("", Blank + "Value=15000,15000,0,0,15000,15000,0,0\n");
    const TResult R = Run();
    EXPECT_EQ(R.Status, 1) << R.Err;
    EXPECT_EQ(Count(R.Err, "a.jpg: result too large: 15400 x 15300 ("), 1) << R.Err;
    EXPECT_EQ(Count(R.Err, "b.jpg: result too large: 15300 x 15400 ("), 1) << R.Err;
    EXPECT_THAT(Files(), ElementsAre());
    AtOnce("", Blank + "Value=10,20,30,40,10,20,30,40\n");
    EXPECT_EQ(Run().Status, 0);
    EXPECT_EQ(ImageSize(Dir / "out" / "a.jpg"), QSize(440, 360));
    EXPECT_EQ(ImageSize(Dir / "out" / "b.jpg"), QSize(340, 460));
}

TEST_F(HostileProfile, CombineCellsAndCountsNoDialogTakesGiveTheDefaultSheet)
{
    // Each of these made sheets of 1 x 1 pictures.
    for (const char* Combine : {"Width=0\nHeight=-1\nRows,=0\nColumns=-1\nRowSpace=-50\nColumnSpace=-7\n",
                                "Width=-320\nHeight=0\nRows,=-3\nColumns=0\nRowSpace=1000\n"}) {
        SCOPED_TRACE(Combine);
        fs::remove_all(Dir / "out");
        AtOnce("", "[Combine]\nUse=1\nFillBlank=0\nOrder=7\n"s + Combine);
        const TResult R = Run();
        EXPECT_EQ(R.Status, 0) << R.Err;
        // Two cells of 320 x 240 side by side (a row holds three); the
        // gaps come to the nearest the dialog takes: 0, or 99.
        const int Gap = std::string(Combine).find("RowSpace=1000") != std::string::npos ? 99 : 0;
        EXPECT_THAT(Files(), ElementsAre("a.jpg"));
        EXPECT_EQ(ImageSize(Dir / "out" / "a.jpg"), QSize(640 + Gap, 240));
    }
}

TEST_F(HostileProfile, AProfileTooLargeToBeReadAgainIsNotSavedAndTheUserIsTold)
{
    // 33 MiB of text: 66 MiB once saved as UTF-16, which no start would read.
    AtOnce("FileNameFormat=<old>_<n>\nNumberResetType=2\nStartNumber=5\n",
           "[Notes]\nText=" + std::string(33u << 20, 'x') + "\n");
    const std::string Before = ReadFile(IniPath());
    TResult R = Run({"in/a.jpg"});
    // Converted, but the running number could not be kept: said, status 1.
    EXPECT_EQ(R.Status, 1) << R.Err;
    EXPECT_THAT(Files(), ElementsAre("a_5.jpg"));
    EXPECT_EQ(
        Count(R.Err,
              Profile + ": file too large (67 MiB > 64 MiB)\nThe settings were not saved; the old file is kept.\n"),
        1)
        << R.Err;
    EXPECT_EQ(Count(R.Err, Profile + ": the next running number was not stored"), 1) << R.Err;
    EXPECT_TRUE(ReadFile(IniPath()) == Before);
    // The old file still reads: the next run numbers from where it did.
    R = Run({"in/b.jpg"});
    EXPECT_THAT(Files(), ElementsAre("a_5.jpg", "b_5.jpg"));
}

// The loader itself, on the records.
class HostileValues : public ::testing::Test {
protected:
    void SetUp() override
    {
        Dir = ScratchDir("hostile-values");
        Settings.System.ProcessorCount = 4;
        Startup.CPUFeatures = 4;
    }
    void TearDown() override { fs::remove_all(Dir); }
    std::string Write(const std::string& Text)
    {
        const std::string P = (Dir / "s.ini").string();
        std::ofstream(P, std::ios::binary) << Text;
        return P;
    }
    TKeptSettings Kept;
    fs::path Dir;
};

TEST_F(HostileValues, TheFontSizeIsTakenIntoTheRangeTheWindowHoldsAndSavedSo)
{
    for (auto [Stored, Loaded] : {std::pair{"2147483647", 14},
                                  {"200", 14},
                                  {"15", 14},
                                  {"14", 14},
                                  {"6", 6},
                                  {"5", 6},
                                  {"0", 6},
                                  {"-2147483648", 6},
                                  {"12", 12},
                                  {"huge", 9}}) {
        SCOPED_TRACE(Stored);
        const std::string F = Write("[Font]\nP_FontName=Sans\nP_FontSize="s + Stored + "\n");
        LoadIniFile(F);
        EXPECT_EQ(Settings.UIFontSize, Loaded);
        ASSERT_TRUE(SaveIniFile(F));
        EXPECT_EQ(TMemIniFile(F).ReadInteger("Font", "P_FontSize", 0), Loaded);
    }
}

TEST_F(HostileValues, TheFontDialogGivesOnlySizesTheLoaderKeeps)
{
    EnsureApp();
    for (auto [Typed, Taken] : {std::pair{200, 14}, {15, 14}, {11, 11}, {3, 6}}) {
        TSystemOptionForm D;
        D.show();
        // The user types a size into the font dialog and presses Enter.
        QTimer::singleShot(0, [Size = Typed] {
            if (auto* F = qobject_cast<QFontDialog*>(QApplication::activeModalWidget())) {
                F->setCurrentFont(QFont(QStringLiteral("Sans"), Size));
                QTest::keyClick(F, Qt::Key_Return);
            }
        });
        QTest::mouseClick(D.FontButton, Qt::LeftButton);
        EXPECT_THAT(D.FontButton->text().toStdString(), HasSubstr(" " + std::to_string(Taken) + "pt")) << Typed;
        D.accept();
        EXPECT_EQ(Settings.UIFontSize, Taken) << Typed;
    }
}

TEST_F(HostileValues, SizesReadBackIdenticalAfterASaveWithNoChange)
{
    const std::string Size1 = "1234567,33.3333333,0.1,1e-07,1000000,-0.5,2.5e+20,123456789012,0.30000000000000004,0,"
                              "640.125,9007199254740993";
    const std::string F = Write("[Resize]\nSize1=" + Size1 + "\nSize2=1e6,1E+3,+7,0007,12.50,0,0,0,0,0,0,0\n");
    LoadIniFile(F);
    const auto Loaded1 = Settings.Resize.Size1, Loaded2 = Settings.Resize.Size2;
    EXPECT_EQ(Loaded1[0], 1234567.0);
    EXPECT_EQ(Loaded1[1], 33.3333333);
    EXPECT_EQ(Loaded1[5], 100.0); // a side of -0.5 % is no size (the rule's own)
    for (int Pass = 0; Pass < 2; ++Pass) {
        // Under a comma locale too: the list keeps its dots.
        const TCommaLocale German;
        ASSERT_TRUE(SaveIniFile(F));
        const TMemIniFile Saved(F);
        EXPECT_EQ(Saved.ReadString("Resize", "Size1", ""),
                  "1234567,33.3333333,0.1,1e-07,1000000,100,2.5e+20,123456789012,"
                  "0.30000000000000004,0,640.125,9007199254740992");
        EXPECT_EQ(Saved.ReadString("Resize", "Size2", ""), "1000000,1000,7,7,12.5,100,100,480,480,0,480,480");
        LoadIniFile(F);
        EXPECT_EQ(Settings.Resize.Size1, Loaded1);
        EXPECT_EQ(Settings.Resize.Size2, Loaded2);
    }
}

// The main window on a settings file of hostile values, and loading a
// profile that cannot be read.
class SettingsWindow : public TStartedTest {
protected:
    void SetUp() override
    {
        if (!Startup.KodexLoaded)
            GTEST_SKIP() << "the codec library is not built";
        Dir = ScratchDir("unread");
        fs::create_directories(Dir / "ini");
        KeptIniDir = Startup.IniDir;
        Startup.IniDir = (Dir / "ini").string() + "/";
        Startup.IniFileName = Startup.IniDir + "start.ini";
        std::ofstream(Startup.IniFileName)
            << "[File]\nShowDirectory=0\n[Font]\nP_FontName=Sans\nP_FontSize=200\n"
            << "[Resize]\nHistory=\"0,0,0\",\"8,640,480\",\"1,-5,0\",\"6,50,0\",\"1,1024,0\"\n";
        LoadIniFile(Startup.IniFileName);
        Window = std::make_unique<TMainForm>(std::vector<std::string>{});
        Window->Notice = [this](const QString& Text) { Notices.push_back(Text.toStdString()); };
        Window->show();
    }
    void TearDown() override
    {
        Window.reset();
        if (App.FileList)
            App.FileList->Clear();
        Startup.IniDir = KeptIniDir;
        fs::remove_all(Dir);
    }
    // Load Profile from the tool bar, the file picked in the dialog.
    void LoadFromToolBar(const fs::path& P)
    {
        QTimer::singleShot(0, [P] {
            if (auto* D = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                D->selectFile(QString::fromStdString(P.string()));
                static_cast<QDialog*>(D)->accept();
            }
        });
        QTest::mouseClick(Window->MainToolBar->widgetForAction(Window->FileOpenIni), Qt::LeftButton);
    }
    TKeptSettings Kept;
    std::string KeptIniDir;
    fs::path Dir;
    std::unique_ptr<TMainForm> Window;
    std::vector<std::string> Notices;
};

TEST_F(SettingsWindow, AnUnreadProfileIsSaidAndTheDefaultsHold)
{
    // A font size nobody could choose: the window in the largest it holds.
    EXPECT_EQ(Window->font().pointSize(), 14);
    // Sizes of 0 or below in the history are no entries (a side the rule
    // does not use aside): the good ones are left.
    EXPECT_EQ(Window->ResizeHistory, (std::vector<std::string>{"8,640,480", "1,1024,1024"}));
    EXPECT_TRUE(Notices.empty());

    // Larger than a settings file may be (a sparse file: no disk taken).
    const fs::path Huge = Dir / "ini" / "huge.ini";
    std::ofstream(Huge) << "[File]\nFileNameFormat=mine/<old>\n";
    fs::resize_file(Huge, (uint64_t(64) << 20) + 1);
    LoadFromToolBar(Huge);
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_EQ(Notices[0],
              "cannot read " + Huge.string() +
                  ": file too large\nThe settings could not be read; the defaults are in use.");
    EXPECT_THAT(Window->windowTitle().toStdString(), HasSubstr("huge.ini"));
    EXPECT_EQ(Window->RenameRuleEdit->text().toStdString(), "resize/<old>");
    EXPECT_EQ(Window->font().pointSize(), 9);

    // A profile that reads: nothing to say.
    const fs::path Fine = Dir / "ini" / "fine.ini";
    std::ofstream(Fine) << "[File]\nFileNameFormat=mine/<old>\n";
    LoadFromToolBar(Fine);
    EXPECT_EQ(Notices.size(), 1u);
    EXPECT_EQ(Window->RenameRuleEdit->text().toStdString(), "mine/<old>");
}

TEST_F(SettingsWindow, ASideOfZeroTypedIntoTheSizeEditIsNoSize)
{
    fs::create_directories(Dir / "in");
    WritePhoto(Dir / "in" / "a.jpg", 400, 300);
    Window->AddPaths({(Dir / "in" / "a.jpg").string()});
    ASSERT_TRUE(WaitFor([] { return App.FileList->Count() == 1; }));
    for (const char* Typed : {"0", "-50"}) {
        SCOPED_TRACE(Typed);
        fs::remove_all(Dir / "in" / "resize");
        QApplication::setActiveWindow(Window.get());
        // Percent, the side typed over, then F5: the rule's own 100 %.
        Window->edtSide1->setFocus();
        Window->edtSide1->selectAll();
        QTest::keyClicks(Window->edtSide1, Typed);
        QTest::keyClick(Window.get(), Qt::Key_F5);
        EXPECT_EQ(ImageSize(Dir / "in" / "resize" / "a.jpg"), QSize(400, 300));
        EXPECT_EQ(Window->edtSide1->text().toStdString(), "100");
        EXPECT_EQ(Window->ResizeHistory.front(), "0,100,100");
    }
}

// The external viewer is started only from a path that names a program as it
// stands; one a NUL or another control character would cut or bend shows the
// picture in the program's own preview instead.
TEST(HostileViewer, OnlyAViewerPathWithoutControlCharactersStartsTheViewer)
{
    const std::string Saved = Settings.Preview.ViewerPath;
    const std::string Shell = "/bin/sh";
    ASSERT_TRUE(fs::exists(Shell));
    for (const auto& [Path, Exists] : std::vector<std::pair<std::string, bool>>{{Shell, true},
                                                                                {Shell + "\0/x"s, false},
                                                                                {Shell + "\0"s, false},
                                                                                {Shell + "\t", false},
                                                                                {Shell + "\x7F", false},
                                                                                {"", false},
                                                                                {"/no/such/viewer", false}}) {
        Settings.Preview.ViewerPath = Path;
        EXPECT_EQ(ViewerExists(), Exists) << Path.size();
    }
    Settings.Preview.ViewerPath = Saved;
}

} // namespace
