// The main window driven as a user drives it: files on the command line,
// the Run key, the mode and "at once" boxes and the effect strip.
#include "app/EffectPanel.h"
#include "app/ErrorLogFrm.h"
#include "app/FileListView.h"
#include "app/FilePreview.h"
#include "app/IniSettings.h"
#include "app/MainFrm.h"
#include "app/ProgressFrm3.h"
#include "app/SusiePluginOptionFrm.h"
#include "core/IniFile.h"
#include "core/MemReservoir.h"
#include "tests/app/MainWindowTest.h"
#include "tests/app/TestApp.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <climits>
#include <numeric>

namespace fs = std::filesystem;

namespace {

void Mouse(QWidget* W, QEvent::Type Type, int Y)
{
    const QPointF Local(30, Y);
    QMouseEvent E(Type, Local, W->mapToGlobal(Local), Qt::LeftButton,
                  Type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(W, &E);
}

void Pick(QComboBox* List, int Index)
{
    List->setCurrentIndex(Index);
    emit List->activated(Index);
}

class MainWindow : public TMainWindowTest {
protected:
    // The default settings file of this "program folder", then a window listing Args.
    void Open(const std::string& Settings, const std::vector<std::string>& Args = {}, size_t Listed = 0)
    {
        LoadTestSettings(Dir, Settings);
        Window = std::make_unique<TMainForm>(Args);
        Window->Confirm = [this](const QString& Text) {
            Questions.push_back(Text.toStdString());
            return Answer;
        };
        Window->Notice = [this](const QString& Text) { Notices.push_back(Text.toStdString()); };
        Window->show();
        ASSERT_TRUE(WaitFor([&] { return size_t(App.FileList->Count()) == Listed; })) << App.FileList->Count();
    }
    int Rows() const { return Window->FileListView->model()->rowCount(); }
    // A picture in in/, its path.
    std::string Photo(const char* Name, int W = 400, int H = 300)
    {
        WritePhoto(Dir / "in" / Name, W, H);
        return (Dir / "in" / Name).string();
    }

    std::vector<std::string> Questions, Notices;
    bool Answer = false;
};

} // namespace

TEST_F(MainWindow, CommandLineFilesAreListedAndF5WritesTheSizeRulesOutputs)
{
    Photo("wide.jpg", 800, 400);
    Photo("tall.jpg", 300, 600);
    std::ofstream(Dir / "in" / "notes.txt") << "no picture";
    // Rule 3: every output 200 pixels wide.
    Open("[Resize]\nRule=3\nSize1=100,512,384,200,384,100,100,512,512,0,512,512\n",
         {(Dir / "in").string(), "/ini=ignored-here.ini"}, 2);
    EXPECT_EQ(std::make_tuple(Rows(), Window->StatusPanel[1]->text()), std::make_tuple(2, "2Files"));
    EXPECT_TRUE(Window->ConvertRun->isEnabled());

    Window->ConvertRun->trigger(); // the Run key's action, as F5 triggers it
    EXPECT_EQ(ImageSize(Dir / "out" / "wide.jpg"), QSize(200, 100));
    EXPECT_EQ(ImageSize(Dir / "out" / "tall.jpg"), QSize(200, 400));
    EXPECT_FALSE(Window->StatusPanel[0]->text().isEmpty()); // the elapsed time
    ASSERT_FALSE(Window->ResizeHistory.empty());
    EXPECT_EQ(Window->ResizeHistory.front(), "3,200,200"); // the run's size, at the top
    EXPECT_EQ(Rows(), 2);                                  // without RemoveList the entries stay
}

TEST_F(MainWindow, ACancelledRunSaysWhatItLeftUndoneInsteadOfTheLastTime)
{
    for (const char* N : {"a.jpg", "b.jpg", "c.jpg"})
        Photo(N);
    Open("[File]\nNotOverwrite=0\n[Resize]\nRule=0\nSize1=50\n", {(Dir / "in").string()}, 3);
    Window->ConvertRun->trigger();
    const QString Time = Window->StatusPanel[0]->text();
    ASSERT_TRUE(!Time.isEmpty() && !Time.startsWith("Cancelled")) << Time.toStdString();

    // The run window is closed as soon as it shows, as its Cancel button does.
    QTimer Closer;
    QObject::connect(&Closer, &QTimer::timeout, [] {
        if (QWidget* W = QApplication::activeModalWidget())
            W->close();
    });
    Closer.start(0);
    fs::remove_all(Dir / "out");
    Window->ConvertRun->trigger();
    Closer.stop();
    const int Written =
        fs::exists(Dir / "out" / "a.jpg") + fs::exists(Dir / "out" / "b.jpg") + fs::exists(Dir / "out" / "c.jpg");
    EXPECT_EQ(Window->StatusPanel[0]->text().toStdString(),
              "Cancelled: " + std::to_string(3 - Written) + " of 3 files not written");
}

TEST_F(MainWindow, RemoveListDropsOnlyTheEntriesThatWereConverted)
{
    Open("[File]\nRemoveList=1\n[Resize]\nRule=0\nSize1=50\n", {Photo("a.jpg"), Photo("b.jpg"), Photo("c.jpg")}, 3);
    // b is not checked; c is damaged after it was listed.
    App.FileList->Items(1)->Checked = false;
    const auto Stamp = fs::last_write_time(Dir / "in" / "c.jpg");
    fs::resize_file(Dir / "in" / "c.jpg", 400);
    fs::last_write_time(Dir / "in" / "c.jpg", Stamp); // the list's refresh sees no change
    Window->ConvertRun->trigger();
    EXPECT_EQ(ImageSize(Dir / "out" / "a.jpg"), QSize(200, 150));
    EXPECT_FALSE(fs::exists(Dir / "out" / "b.jpg") || fs::exists(Dir / "out" / "c.jpg")); // b not checked
    ASSERT_EQ(App.FileList->Count(), 2);
    EXPECT_EQ(App.FileList->Items(0)->Name() + App.FileList->Items(1)->Name(),
              "b.jpgc.jpg"); // c failed: kept to try again
    EXPECT_EQ(Rows(), 2);
    // The status does not read as a clean run's.
    EXPECT_THAT(Window->StatusPanel[0]->text().toStdString(), HasSubstr(", with errors: 1 of 2 files not written"));
}

// Without the list-up check unreadable files are listed as they are and found
// out only by the run: the status says so as it does for any run that lost
// files.
TEST_F(MainWindow, ARunThatFindsUnreadableFilesListedUncheckedSaysHowManyItLost)
{
    // One cut short after its header (found out when it is decoded), one
    // that is no picture at all (found out by the run's probe).
    Photo("cut.jpg");
    fs::resize_file(Dir / "in" / "cut.jpg", 400);
    std::ofstream(Dir / "in" / "text.png") << "not a picture";
    Open("[System]\nSkipImageCheck=1\n[Resize]\nRule=0\nSize1=50\n",
         {(Dir / "in" / "cut.jpg").string(), Photo("a.jpg"), (Dir / "in" / "text.png").string()}, 3);
    ErrorLog.Clear();
    QApplication::setActiveWindow(Window.get());
    QTest::keyClick(Window.get(), Qt::Key_F5);
    EXPECT_EQ(ImageSize(Dir / "out" / "a.jpg"), QSize(200, 150));
    EXPECT_EQ(SortedNames(Dir / "out"), std::vector<std::string>{"a.jpg"});
    EXPECT_THAT(Window->StatusPanel[0]->text().toStdString(),
                testing::MatchesRegex("[0-9.,]+m?s, with errors: 2 of 3 files not written"));
}

// The log may be shown, and so emptied, while the run goes on (a thumbnail's
// failure opens it): the run's end still counts the files it lost, and a run
// that lost files opens no output folder as a clean one does.
TEST_F(MainWindow, ARunWhoseLinesWereShownMeanwhileStillSaysHowManyItLost)
{
    std::ofstream(Dir / "in" / "text.png") << "not a picture";
    std::vector<std::string> Files{(Dir / "in" / "text.png").string()};
    for (int i = 0; i < 12; ++i)
        Files.push_back(Photo(("p" + std::to_string(i) + ".jpg").c_str(), 1600, 1200));
    Open("[System]\nSkipImageCheck=1\n[Resize]\nRule=0\nSize1=50\n", Files, 13);
    ErrorLog.Clear();
    // Shown as often as the event loop turns: offscreen that says the lines
    // on standard error and takes them out, as a closed window does.
    QTimer Shown;
    QObject::connect(&Shown, &QTimer::timeout, [] { ShowErrorLogIfAny(); });
    Shown.start(0);
    QApplication::setActiveWindow(Window.get());
    QTest::keyClick(Window.get(), Qt::Key_F5);
    Shown.stop();
    EXPECT_EQ(ErrorLog.GetErrorCount(), 0);
    EXPECT_EQ(SortedNames(Dir / "out").size(), 12u);
    EXPECT_THAT(Window->StatusPanel[0]->text().toStdString(),
                testing::MatchesRegex("[0-9.,]+m?s, with errors: 1 of 13 files not written"));
}

TEST_F(MainWindow, JPEGTranModeOnAMixedListAsksFirst)
{
    Photo("a.jpg", 64, 48);
    Photo("b.png", 64, 48);
    Open("", {(Dir / "in").string()}, 2);
    QComboBox* Mode = Window->ModeCombo;

    Answer = false; // Cancel: list and mode as they were
    Pick(Mode, 1);
    EXPECT_EQ(std::make_tuple(int(Questions.size()), App.FileList->Count(), Mode->currentIndex(), Settings.RunMode),
              std::make_tuple(1, 2, 0, 0));

    Answer = true; // OK: only the JPEG stays
    Pick(Mode, 1);
    ASSERT_EQ(App.FileList->Count(), 1);
    EXPECT_EQ(App.FileList->Items(0)->Name(), "a.jpg");
    EXPECT_EQ(std::make_tuple(Rows(), Settings.RunMode), std::make_tuple(1, 1));
    EXPECT_FALSE(Window->Preview->isEnabled()); // previews only in the normal mode

    // Combine, rename only and back to normal ask nothing; one mode at a time.
    Pick(Mode, 2);
    EXPECT_TRUE(Settings.Combine.Use && !Settings.File.RenameOnly && !EffectList->JPEGTranEffect()->FUse);
    Pick(Mode, 3);
    EXPECT_TRUE(Settings.File.RenameOnly && !Settings.Combine.Use);
    Pick(Mode, 0);
    EXPECT_EQ(std::make_tuple(Settings.Combine.Use, Settings.File.RenameOnly, Questions.size()),
              std::make_tuple(false, false, size_t(2)));
}

TEST_F(MainWindow, AtOnceWithAFullListAsksAndClears)
{
    Open("");
    Window->AddPaths({Photo("a.jpg", 64, 48)});
    ASSERT_EQ(App.FileList->Count(), 1);
    Answer = false;
    Window->AtOnceBox->click();
    EXPECT_EQ(std::make_tuple(int(Questions.size()), Window->AtOnceBox->isChecked(), Settings.File.AtOnce,
                              App.FileList->Count()),
              std::make_tuple(1, false, false, 1));

    Answer = true;
    Window->AtOnceBox->click();
    EXPECT_EQ(std::make_tuple(Window->AtOnceBox->isChecked(), Settings.File.AtOnce, App.FileList->Count(), Rows()),
              std::make_tuple(true, true, 0, 0));
    EXPECT_TRUE(Window->StatusPanel[1]->text().isEmpty());
}

TEST(EffectStrip, TheLastRowOfAShortChainDragsWithoutLookingPastTheEnd)
{
    EnsureApp();
    TEffectList List;
    AddNamedEffects(List, {"A", "B", "C"});
    TEffectStrip Strip;
    Strip.resize(180, 200);
    Strip.Rebuild(List, false);
    TEffectPanel* Last = Strip.FilterList[2];
    Mouse(Last, QEvent::MouseButtonPress, 10);
    Mouse(Last, QEvent::MouseMove, 10 + 40); // beyond the strip's last place
    EXPECT_EQ(Last->y(), 2 * TEffectPanel::RowHeight);
    Mouse(Last, QEvent::MouseMove, 10 - 15); // 15 up: not yet
    EXPECT_EQ(Last->Tag(), 2);
    Mouse(Last, QEvent::MouseMove, 10 - 1); // 16 up: far enough into the middle row
    EXPECT_EQ(Last->Tag(), 1);
    Mouse(Last, QEvent::MouseButtonRelease, 0);
    EXPECT_EQ(std::make_tuple(ChainNames(List), List.Items(2)->FOrder), std::make_tuple("A C B ", 2));
}

TEST(EffectStrip, AQuickDragLandsWhereItIsLetGoAndLeavesNoPiecesOnTheScreen)
{
    EnsureApp();
    TEffectList List;
    AddNamedEffects(List, {"Gray", "Exif", "Trim", "Rot", "Resize", "Blank", "USM", "Color", "Tone", "Text", "Comp"});
    TEffectStrip Strip;
    Strip.resize(180, 12 * TEffectPanel::RowHeight);
    Strip.Rebuild(List, false);
    Strip.show();
    ASSERT_TRUE(WaitFor([&] { return Strip.isVisible(); }));
    QCoreApplication::processEvents();

    // "Text" (row 9) to the top in steps longer than a row, the screen updated between.
    TEffectPanel* Text = Strip.FilterList[9];
    Mouse(Text, QEvent::MouseButtonPress, 10);
    for (int Step = 0; Step < 6; ++Step) {
        Mouse(Text, QEvent::MouseMove, 10 - std::min(40, Text->y()));
        QCoreApplication::processEvents();
    }
    Mouse(Text, QEvent::MouseButtonRelease, 0);
    QCoreApplication::processEvents();

    EXPECT_EQ(std::make_tuple(Text->Tag(), Text->y()), std::make_tuple(0, 0));
    EXPECT_EQ(ChainNames(List), "Text Gray Exif Trim Rot Resize Blank USM Color Tone Comp ");
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(Strip.FilterList[size_t(i)]->y(), i * TEffectPanel::RowHeight) << i;
        EXPECT_EQ(Strip.FilterList[size_t(i)]->FLabel->text().toStdString(), List.Items(i)->FName) << i;
    }
    // What is on the screen is what the strip paints now.
    const QImage Screen = Strip.screen()->grabWindow(Strip.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage Fresh = Strip.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(Screen.size(), Fresh.size());
    EXPECT_TRUE(Screen == Fresh);
}

TEST_F(MainWindow, WithAtOnceTickedAddedFilesAreConvertedAndTheListStaysAsItWas)
{
    Photo("a.jpg");
    Photo("b.jpg", 300, 400);
    Open("[File]\nAtOnce=1\n[Resize]\nRule=2\nSize1=100,512,150,512,384,100,100,512,512,0,512,512\n");
    EXPECT_TRUE(Window->AtOnceBox->isChecked());
    Window->AddPaths({(Dir / "in").string()});
    EXPECT_EQ(ImageSize(Dir / "out" / "a.jpg"), QSize(200, 150)); // narrow side 150
    EXPECT_EQ(ImageSize(Dir / "out" / "b.jpg"), QSize(150, 200));
    EXPECT_EQ(std::make_tuple(App.FileList->Count(), Rows(), App.ImageFileList->empty()), std::make_tuple(0, 0, true));
}

TEST_F(MainWindow, SizeHistoryKeepsTenAndMovesRepeatsToTheTop)
{
    Open("[Resize]\nRule=1\n");
    for (int i = 1; i <= 11; ++i) {
        Window->edtSide1->setText(QString::number(100 + i));
        ASSERT_TRUE(Window->SetResizeParam());
    }
    ASSERT_EQ(Window->ResizeHistory.size(), 10u);
    EXPECT_EQ(Window->SizeHistoryCombo->count(), 10);
    EXPECT_EQ(Window->ResizeHistory.front(), "1,111,111");
    EXPECT_EQ(Window->ResizeHistory.back(), "1,102,102"); // 101 and the two old entries are gone

    Window->edtSide1->setText("105");
    Window->SetResizeParam();
    EXPECT_EQ(Window->ResizeHistory.size(), 10u);
    EXPECT_EQ(Window->ResizeHistory.front(), "1,105,105");
    EXPECT_EQ(std::make_pair(EffectList->FResizeType, EffectList->FResizeValue), std::make_pair(1, 105.0));

    // Letters in the edit: the stored size of the rule stands in.
    Pick(Window->cbxResizeRule, 3);
    const double Stored = Settings.Resize.Size1[3];
    Window->edtSide1->setText("abc");
    Window->SetResizeParam();
    EXPECT_EQ(Window->edtSide1->text().toDouble(), Stored);
    EXPECT_EQ(EffectList->FResizeValue, Stored);

    // The history rule takes the chosen entry and moves it up.
    Pick(Window->cbxResizeRule, 9);
    ASSERT_EQ(Window->ResizeHistory[1], "1,105,105");
    Window->SizeHistoryCombo->setCurrentIndex(1);
    ASSERT_TRUE(Window->SetResizeParam());
    EXPECT_EQ(Window->ResizeHistory.front(), "1,105,105");
    EXPECT_EQ(std::make_pair(EffectList->FResizeType, EffectList->FResizeValue), std::make_pair(1, 105.0));
}

TEST_F(MainWindow, StripDragSwapsOncePerThresholdAndTheSavedOrderFollows)
{
    Open("");
    TEffectStrip* Strip = Window->EffectStrip;
    ASSERT_EQ(int(Strip->FilterList.size()), EffectList->Count());
    TEffectPanel* Row = Strip->FilterList[0];
    const std::string First = EffectList->Items(0)->FName, Second = EffectList->Items(1)->FName;

    Mouse(Row, QEvent::MouseButtonPress, 10);
    Mouse(Row, QEvent::MouseMove, 10 + 11 - Row->y()); // 11 down: not yet
    EXPECT_EQ(std::make_tuple(Row->Tag(), Row->y()), std::make_tuple(0, 11));
    Mouse(Row, QEvent::MouseMove, 10 + 12 - Row->y()); // 12 down: far enough into the next row
    EXPECT_EQ(Row->Tag(), 1);
    Mouse(Row, QEvent::MouseMove, 10 + 16 - Row->y()); // a little further: no second swap
    EXPECT_EQ(Row->Tag(), 1);
    Mouse(Row, QEvent::MouseButtonRelease, 0);
    EXPECT_EQ(std::make_tuple(Row->y(), Strip->FilterList[0]->y()), std::make_tuple(TEffectPanel::RowHeight, 0));
    EXPECT_EQ(std::make_pair(EffectList->Items(0)->FName, EffectList->Items(1)->FName), std::make_pair(Second, First));

    // The first row cannot go above the strip.
    TEffectPanel* Top = Strip->FilterList[0];
    Mouse(Top, QEvent::MouseButtonPress, 10);
    Mouse(Top, QEvent::MouseMove, 0);
    EXPECT_EQ(Top->y(), 0);
    Mouse(Top, QEvent::MouseButtonRelease, 0);

    // The colour-reduction row, when there is one, does not drag.
    if (Strip->DCPanel) {
        const int Y = Strip->DCPanel->y();
        Mouse(Strip->DCPanel, QEvent::MouseButtonPress, 10);
        Mouse(Strip->DCPanel, QEvent::MouseMove, -40);
        Mouse(Strip->DCPanel, QEvent::MouseButtonRelease, 0);
        EXPECT_EQ(Strip->DCPanel->y(), Y);
    }

    const std::string Saved = (Dir / "ini" / "saved.ini").string();
    ASSERT_TRUE(Window->SaveIniFile(Saved));
    TMemIniFile Ini(Saved);
    EXPECT_EQ(Ini.ReadInteger(EffectList->Items(0)->FSectionName, "Order", -1), 0);
    EXPECT_EQ(Ini.ReadInteger(EffectList->Items(1)->FSectionName, "Order", -1), 1);
    // Loaded again, the chain comes back in the dragged order.
    const std::string Before = ChainNames(*EffectList);
    LoadIniFile(Saved);
    EXPECT_EQ(ChainNames(*EffectList), Before);

    // A new order from the order dialog rebuilds the strip in that order.
    std::vector<int32_t> Reversed(size_t(EffectList->Count()));
    std::iota(Reversed.rbegin(), Reversed.rend(), 0);
    EffectList->SetOrder(Reversed);
    ASSERT_EQ(int(Strip->FilterList.size()), EffectList->Count());
    for (int i = 0; i < EffectList->Count(); ++i) {
        EXPECT_EQ(Strip->FilterList[size_t(i)]->FLabel->text().toStdString(), EffectList->Items(i)->FName);
        EXPECT_EQ(Strip->FilterList[size_t(i)]->y(), i * TEffectPanel::RowHeight);
    }
}

TEST_F(MainWindow, ExitSavesBoundsAndColumnWidths)
{
    Open("[System]\nCaption=%ini\n");
    EXPECT_EQ(Window->windowTitle().toStdString(), "Vestro Image Resizer - " + ExtractFileName(Startup.IniFileName));
    Window->resize(900, 500);
    Window->move(30, 40);
    Window->FileListView->setColumnWidth(0, 222);
    Window->FileListView->setColumnWidth(6, 333);
    Window->FileExit->trigger();
    EXPECT_FALSE(Window->isVisible());

    TMemIniFile Ini(Startup.IniFileName);
    EXPECT_EQ(std::make_pair(Ini.ReadInteger("Window", "Left", -1), Ini.ReadInteger("Window", "Top", -1)),
              std::make_pair(30, 40));
    // The next start comes back as it was left.
    Window.reset();
    LoadIniFile(Startup.IniFileName);
    TMainForm Again({});
    EXPECT_EQ(Again.size(), QSize(900, 500));
    EXPECT_EQ(std::make_pair(Again.FileListView->columnWidth(0), Again.FileListView->columnWidth(6)),
              std::make_pair(222, 333));
}

TEST_F(MainWindow, APlugInTickedInItsDialogReadsAtOnceAndAfterARestart)
{
    const fs::path Built = fs::path(VESTRO_TEST_BIN_DIR) / "spi" / "pnm.spi";
    if (!fs::exists(Built))
        GTEST_SKIP() << "the test plug-in is not built";
    fs::create_directories(Dir / "SusiePlugin"); // the default plug-in folder of this program folder
    fs::copy_file(Built, Dir / "SusiePlugin" / "pnm.spi");
    const std::string Ppm = Photo("p.ppm", 400, 300);
    Open("[Resize]\nRule=0\nSize1=50\n"); // a plug-in found for the first time is off
    Window->AddPaths({Ppm});
    EXPECT_NE(App.FileList->Count() == 1 ? App.FileList->Items(0)->PictureFormat : pfUnknown, pfSPI);
    Answer = true; // clear the list first
    // Tick the plug-in with the space key, then Enter for OK.
    QTimer::singleShot(0, [] {
        auto* F = qobject_cast<TSusiePluginOptionForm*>(QApplication::activeModalWidget());
        ASSERT_TRUE(F && F->CheckList->count() == 1);
        F->CheckList->setFocus();
        QTest::keyClick(F->CheckList, Qt::Key_Space);
        QTest::keyClick(F->CheckList, Qt::Key_Return);
    });
    Window->SetSPIOption->trigger();
    EXPECT_EQ(Settings.SPIOrder, "pnm.spi=1");
    Window->AddPaths({Ppm});
    ASSERT_EQ(App.FileList->Count(), 1);
    EXPECT_EQ(std::make_tuple(App.FileList->Items(0)->PictureFormat, App.FileList->Items(0)->Width),
              std::make_tuple(pfSPI, 400));
    Window->ConvertRun->trigger();
    EXPECT_EQ(ImageSize(Dir / "out" / "p.png"), QSize(200, 150)); // as [SPI] ConvertTo says

    // Kept on exit; the next start reads the file listed on its command line.
    Window->FileExit->trigger();
    Window.reset();
    App.FileList->Clear();
    LoadIniFile(Startup.IniFileName);
    TMainForm Again({Ppm});
    ASSERT_TRUE(WaitFor([&] { return App.FileList->Count() == 1; }));
    EXPECT_EQ(std::make_tuple(App.FileList->Items(0)->PictureFormat, App.FileList->Items(0)->Height),
              std::make_tuple(pfSPI, 300));
}

TEST(WindowBounds, TheWholeFrameWithItsStatusBarFitsTheWorkArea)
{
    const QMargins Frame(1, 20, 1, 1); // a title bar and thin borders
    const struct {
        QPoint Pos;
        QSize Inner;
        QRect Expected;
    } Cases[] = {
        {{50, 50}, {1500, 900}, QRect(0, 0, 1366 - 2, 768 - 21)},
        {{100, 100}, {800, 600}, QRect(100, 100, 800, 600)},
        {{600, 100}, {800, 600}, QRect(0, 0, 800, 600)}, // moved, not cut
        {{0, 0}, {1366, 740}, QRect(0, 0, 1364, 740)},   // only the borders run over
    };
    for (const auto& C : Cases)
        EXPECT_EQ(FitWindowToWorkArea(C.Pos, C.Inner, Frame, 1366, 768), C.Expected) << C.Pos.x();
}

// A settings file may hold any 32-bit place and size: sums near the limits
// must not wrap round to a place that seems to fit.
TEST(WindowBounds, PlacesAndSizesNearTheIntegerLimitsEndOnTheWorkArea)
{
    const QMargins Frame(1, 20, 1, 1);
    const int Max = INT_MAX;
    const struct {
        QPoint Pos;
        QSize Inner;
        QRect Expected;
    } Cases[] = {
        {{Max, Max}, {Max, Max}, QRect(0, 0, 1364, 747)},    {{Max, 0}, {800, 600}, QRect(0, 0, 800, 600)},
        {{0, Max - 100}, {800, 600}, QRect(0, 0, 800, 600)}, {{100, 100}, {Max, 600}, QRect(0, 0, 1364, 600)},
        {{0, 0}, {800, Max}, QRect(0, 0, 800, 747)},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(FitWindowToWorkArea(C.Pos, C.Inner, Frame, 1366, 768), C.Expected)
            << C.Pos.x() << "," << C.Pos.y() << " " << C.Inner.width() << " x " << C.Inner.height();
    // A frame of huge margins does not wrap round either.
    EXPECT_EQ(FitWindowToWorkArea({10, 10}, {100, 100}, QMargins(Max, Max, Max, Max), 1366, 768), QRect(0, 0, 1, 1));
}

TEST_F(MainWindow, FilesHandedOverDuringARunAreListedWhenItEnds)
{
    Open("", {Photo("a.jpg")}, 1);
    // As during a run: refused for now, not lost.
    Window->FileListView->SetDragDropAccept(false);
    Window->HandOff({"/ini=other.ini", Photo("late.jpg")});
    EXPECT_EQ(App.FileList->Count(), 1);
    Window->ConvertRun->trigger();
    ASSERT_TRUE(WaitFor([&] { return App.FileList->Count() == 2; }));
    EXPECT_EQ(std::make_tuple(App.FileList->Items(1)->Name(), Rows()), std::make_tuple("late.jpg", 2));
}

TEST_F(MainWindow, HistoryRuleWithAnEmptyHistoryRunsNothing)
{
    Open("[Resize]\nRule=9\nHistory=\n", {Photo("a.jpg")}, 1);
    EXPECT_EQ(Window->cbxResizeRule->currentIndex(), 9);
    Window->ConvertRun->trigger();
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_FALSE(fs::exists(Dir / "out"));
    EXPECT_TRUE(Window->FileListView->DragDropAccept()); // drops are accepted again afterwards
}

TEST_F(MainWindow, CtrlVOnTheWindowListsThePictureOnTheClipboard)
{
    Open("");
    Settings.File.ClipBoardTempDir = (Dir / "clip").string();
    QImage Picture(5, 4, QImage::Format_RGB32);
    Picture.fill(qRgb(10, 20, 30));
    QGuiApplication::clipboard()->setImage(Picture);
    QApplication::setActiveWindow(Window.get());
    QTest::keyClick(Window.get(), Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(std::make_pair(App.FileList->Count(), Rows()), std::make_pair(1, 1));
    EXPECT_THAT(App.FileList->Items(0)->Path(), StartsWith((Dir / "clip" / "clipboard").string()));
    EXPECT_EQ(std::make_pair(App.FileList->Items(0)->Width, App.FileList->Items(0)->Height), std::make_pair(5, 4));
}

TEST_F(MainWindow, DecimalSizesSurviveTheHistoryInACommaDecimalLocale)
{
    const QLocale Kept;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    // Entries of older versions held the sides as typed: "12,5" in two pieces.
    Open("[Resize]\nRule=0\nHistory=\"0,12,5,12,5\",\"5,50,7,5\",\"6,50,100,5\",\"1,800,800\"\n");
    EXPECT_EQ(Window->ResizeHistory, (std::vector<std::string>{"0,12.5,12.5", "5,50.7,5", "6,50,100.5", "1,800,800"}));
    EXPECT_EQ(Window->SizeHistoryCombo->itemText(0).toStdString(), "Percent" + std::string(9, ' ') + "12,5");
    Window->edtSide1->setText("7,25");
    ASSERT_TRUE(Window->SetResizeParam());
    EXPECT_EQ(std::make_pair(Window->ResizeHistory.front(), EffectList->FResizeValue),
              std::make_pair(std::string("0,7.25,7.25"), 7.25));

    // Saved, loaded again and taken from the history: 7.25 %, not 7.
    ASSERT_TRUE(Window->SaveIniFile(Startup.IniFileName));
    Window.reset();
    LoadIniFile(Startup.IniFileName);
    Window = std::make_unique<TMainForm>(std::vector<std::string>{});
    Pick(Window->cbxResizeRule, 9);
    ASSERT_TRUE(Window->SetResizeParam());
    QLocale::setDefault(Kept);
    EXPECT_EQ(std::make_tuple(EffectList->FResizeType, EffectList->FResizeValue, EffectList->FResizeValue2),
              std::make_tuple(0, 7.25, 7.25));
}

TEST_F(MainWindow, TheListUpErrorLogOpensOverTheUncoveredWindow)
{
    Open("");
    std::ofstream(Dir / "in" / "broken.jpg") << "no picture";
    // As on a desktop: the log is shown, not written to standard error.
    const QByteArray Platform = qgetenv("QT_QPA_PLATFORM");
    qputenv("QT_QPA_PLATFORM", "xcb");
    TErrorLogForm Log(Window.get());
    TErrorLogForm* const Kept = App.ErrorLogForm;
    App.ErrorLogForm = &Log;
    bool Covered = true;
    QString Shown;
    QTimer Watch;
    QObject::connect(&Watch, &QTimer::timeout, [&] {
        if (!Log.isVisible())
            return;
        const auto Busy = Window->findChildren<TProgressForm3*>();
        Covered = std::any_of(Busy.begin(), Busy.end(), [](QWidget* W) { return W->isVisible(); });
        Shown = Log.LogText->toPlainText();
        Log.accept();
    });
    Watch.start(5);
    Window->AddPaths({(Dir / "in" / "broken.jpg").string(), Photo("a.jpg")});
    Watch.stop();
    App.ErrorLogForm = Kept;
    qputenv("QT_QPA_PLATFORM", Platform);
    EXPECT_FALSE(Covered);
    EXPECT_THAT(Shown.toStdString(), HasSubstr("broken.jpg"));
    EXPECT_EQ(App.FileList->Count(), 1);
}

TEST_F(MainWindow, TipsNameTheKeysEndGoesDownAndF5WithNothingCheckedSaysSo)
{
    Open("", {Photo("a.jpg"), Photo("b.jpg"), Photo("c.bmp")}, 3);
    auto Tip = [&](QToolBar* Bar, QAction* A) { return Bar->widgetForAction(A)->toolTip().toStdString(); };
    EXPECT_EQ(Tip(Window->MainToolBar, Window->FileAdd), "Add Files");
    EXPECT_EQ(Tip(Window->MainToolBar, Window->ListViewDelete), "Remove File");
    EXPECT_EQ(Tip(Window->MainToolBar, Window->ListViewClear), "Clear File (Ctrl+Del)");
    EXPECT_EQ(Tip(Window->SizeToolBar, Window->ConvertRun), "Run (F5)");
    // The type column shows the type names whole.
    TFileListView* View = Window->FileListView;
    const QString Type = View->model()->index(2, TFileListModel::colType).data().toString();
    EXPECT_GT(View->columnWidth(TFileListModel::colType), View->fontMetrics().horizontalAdvance(Type) + 6)
        << Type.toStdString();

    QApplication::setActiveWindow(Window.get());
    View->setFocus();
    View->selectRow(0);
    QTest::keyClick(View, Qt::Key_End);
    EXPECT_EQ(View->currentIndex().row(), 2);
    // Every row ticked off with Ctrl+A and Space, then F5: a message, no run.
    QTest::keyClick(View, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(View, Qt::Key_Space);
    ASSERT_FALSE(App.FileList->Items(0)->Checked || App.FileList->Items(1)->Checked || App.FileList->Items(2)->Checked);
    QTest::keyClick(Window.get(), Qt::Key_F5);
    EXPECT_EQ(Notices, std::vector<std::string>{"No file is checked: tick the files to convert."});
    EXPECT_FALSE(fs::exists(Dir / "out"));
}

// The list commands as a user gives them (the List menu by its keys, the
// shortcuts, Space and Delete in the list), read back through the check marks
// and names the rows show.
TEST_F(MainWindow, ListCommandsThroughTheMenuKeysAndTheRowsTheyShow)
{
    Open("", {Photo("a.jpg"), Photo("b.jpg"), Photo("c.jpg"), Photo("d.jpg"), Photo("e.jpg")}, 5);
    TFileListView* View = Window->FileListView;
    QAbstractItemModel* M = View->model();
    auto Marks = [&] {
        std::string S;
        for (int R = 0; R < M->rowCount(); ++R)
            S += M->index(R, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked ? 'x' : '-';
        return S;
    };
    auto Shown = [&] {
        std::string S;
        for (int R = 0; R < M->rowCount(); ++R)
            S += M->index(R, 0).data().toString().toStdString().substr(0, 1);
        return S;
    };
    // Alt+L opens the List menu; the letter picks the command.
    auto ListMenu = [&](Qt::Key Letter) {
        // The window is the active one again once a menu has closed (the
        // offscreen platform does not hand activation back by itself).
        QApplication::setActiveWindow(Window.get());
        QTest::keyClick(View, Qt::Key_L, Qt::AltModifier);
        QWidget* Popup = nullptr;
        EXPECT_TRUE(WaitFor([&] { return (Popup = QApplication::activePopupWidget()) != nullptr; }, 2000));
        if (Popup)
            QTest::keyClick(Popup, Letter);
        QApplication::processEvents();
    };
    QApplication::setActiveWindow(Window.get());
    View->setFocus();
    ASSERT_EQ(Marks(), "xxxxx") << "new entries come checked";
    ListMenu(Qt::Key_A); // Alternately
    EXPECT_EQ(Marks(), "x-x-x");
    QTest::keyClick(View, Qt::Key_R, Qt::ControlModifier); // Reverse All
    EXPECT_EQ(Marks(), "-x-x-");
    // Reverse, Check and Uncheck act on the selected rows only.
    View->selectRow(0);
    QTest::keyClick(View, Qt::Key_Down, Qt::ShiftModifier);
    ListMenu(Qt::Key_E); // Reverse
    EXPECT_EQ(Marks(), "x--x-");
    ListMenu(Qt::Key_S); // Check
    EXPECT_EQ(Marks(), "xx-x-");
    ListMenu(Qt::Key_U); // Uncheck
    EXPECT_EQ(Marks(), "---x-");
    QTest::keyClick(View, Qt::Key_Space); // Space reverses the selection too
    EXPECT_EQ(Marks(), "xx-x-");
    QTest::keyClick(View, Qt::Key_A, Qt::ControlModifier); // Select All, then Check
    ListMenu(Qt::Key_S);
    EXPECT_EQ(Marks(), "xxxxx");
    // Delete removes the selected rows and keeps the others' texts and marks.
    View->selectRow(1);
    QTest::keyClick(View, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(View, Qt::Key_Space);
    QTest::keyClick(View, Qt::Key_Delete);
    EXPECT_EQ(Shown(), "ade");
    EXPECT_EQ(Marks(), "xxx");
    EXPECT_EQ(Window->StatusPanel[1]->text().toStdString(), "3Files");
    ListMenu(Qt::Key_C); // Clear File
    EXPECT_EQ(M->rowCount(), 0);
    EXPECT_EQ(Window->StatusPanel[1]->text().toStdString(), "");
    EXPECT_FALSE(Window->ListViewReverseAll->isEnabled());
    EXPECT_FALSE(Window->ConvertRun->isEnabled());
}

// Save Profile and Load Profile from the File menu, with the names typed into
// the file dialogs: a name without an extension is saved as .ini, the caption
// follows the profile in use, and loading brings its settings back.
TEST_F(MainWindow, SaveAndLoadProfileThroughTheFileMenu)
{
    Open("[System]\nCaption=%ini\n[JPEG]\nQuality=55\n");
    const std::string Saved = Startup.IniDir + "mine.ini";
    // Types Name into the file dialog that the File menu's Letter opens.
    auto FileMenu = [&](Qt::Key Letter, const std::string& Name) {
        QApplication::setActiveWindow(Window.get());
        QTest::keyClick(Window->FileListView, Qt::Key_F, Qt::AltModifier);
        QWidget* Popup = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (Popup = QApplication::activePopupWidget()) != nullptr; }, 2000));
        // The letter opens the dialog, which runs its own loop: the typing
        // is queued before.
        bool Typed = false;
        QTimer::singleShot(0, [&] {
            QWidget* Dialog = QApplication::activeModalWidget();
            QLineEdit* Edit = Dialog ? Dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
            Typed = true;
            if (!Edit) {
                ADD_FAILURE() << "no file dialog";
                if (Dialog)
                    Dialog->close();
                return;
            }
            // The name as typed (a completion list would take the keys of a
            // slow typist), then Return as the user presses it.
            Edit->setText(QString::fromStdString(Name));
            QTest::keyClick(Edit, Qt::Key_Return);
        });
        QTest::keyClick(Popup, Letter);
        ASSERT_TRUE(WaitFor([&] { return Typed && !QApplication::activeModalWidget(); }, 10000));
    };
    FileMenu(Qt::Key_S, Startup.IniDir + "mine");
    ASSERT_TRUE(fs::exists(Saved));
    EXPECT_EQ(Startup.IniFileName, Saved);
    EXPECT_EQ(Window->windowTitle().toStdString(), "Vestro Image Resizer - mine.ini");
    {
        TMemIniFile Ini(Saved);
        EXPECT_EQ(Ini.ReadInteger("JPEG", "Quality", 0), 55);
    }
    Settings.JPEG.Quality = 80;
    {
        TMemIniFile Other(Startup.IniDir + "other.ini");
        Other.WriteInteger("JPEG", "Quality", 33);
        Other.WriteString("System", "Caption", "profile %ini");
        Other.UpdateFile();
    }
    FileMenu(Qt::Key_O, Startup.IniDir + "other.ini");
    EXPECT_EQ(Settings.JPEG.Quality, 33);
    EXPECT_EQ(Window->windowTitle().toStdString(), "Vestro Image Resizer - profile other.ini");
    FileMenu(Qt::Key_O, Saved);
    EXPECT_EQ(Settings.JPEG.Quality, 55);
}
