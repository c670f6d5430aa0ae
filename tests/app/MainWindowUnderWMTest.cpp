// The main window under a real window manager (openbox on a 1366 x 768 Xvfb
// screen): where the thumbnail window's frame goes beside it, what is stored
// when the program closes and where the next start puts it; the questions it
// asks show their whole title.
#include "app/FileListView.h"
#include "app/IniSettings.h"
#include "app/MainFrm.h"
#include "app/Startup.h"
#include "app/ThumbnailFrm.h"
#include "core/IniFile.h"
#include "core/MemReservoir.h"
#include "tests/WindowManagerFixture.h"
#include "tests/app/TestApp.h"
#include "tests/effectsui/DialogLayout.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <climits>

namespace fs = std::filesystem;

namespace {

bool Xdotool(const QStringList& Args)
{
    return QProcess::execute("xdotool", Args) == 0;
}

class MainWindowUnderWM : public WindowManagerTest {
public:
    static void SetUpTestSuite()
    {
        WindowManagerTest::SetUpTestSuite();
        SavedExeDir = Startup.ExeDir;
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            Startup.ExeDir = VESTRO_DIST_DIR "/";
            Started = InitializeGlobals({});
        }
    }
    static void TearDownTestSuite()
    {
        if (Started)
            FinalizeGlobals();
        Startup.ExeDir = SavedExeDir;
    }

protected:
    void SetUp() override
    {
        WindowManagerTest::SetUp();
        if (IsSkipped())
            return;
        if (!Startup.KodexLoaded)
            GTEST_SKIP() << "the codec library is not built";
        if (QProcess::execute("xdotool", {"version"}) != 0)
            GTEST_SKIP() << "xdotool is not installed here (scripts/setup installs it)";
        Dir = ScratchDir("thumbwm");
        fs::create_directories(Dir / "ini");
        for (int i = 0; i < 2; ++i) {
            Photos.push_back((Dir / ("p" + std::to_string(i) + ".jpg")).string());
            WritePhoto(Photos.back(), 1200, 800, i);
        }
        Startup.DataDir = Dir.string() + "/";
        Startup.IniDir = Startup.DataDir + "ini/";
        Startup.ExeDir = Startup.DataDir; // settings of this "program folder", saved when the window closes
        Startup.IniFileName = GetSettingsFileName({});
    }
    void TearDown() override
    {
        if (Window)
            Window->close();
        Window.reset();
        if (App.FileList)
            App.FileList->Clear();
        Startup.ExeDir = VESTRO_DIST_DIR "/";
        fs::remove_all(Dir);
    }
    // Starts the main window as the program does, the photos listed, and
    // clicks the first row, which shows the thumbnail window; waits until the
    // window manager has framed both windows.
    void Start(bool ShowThumbnail = true)
    {
        LoadIniFile(Startup.IniFileName);
        Window = std::make_unique<TMainForm>(Photos);
        Window->show();
        ASSERT_TRUE(WaitFor([&] { return App.FileList->Count() == int(Photos.size()); }));
        if (!ShowThumbnail) {
            ASSERT_TRUE(WaitFor([&] { return !WindowFrame(Window.get()).isNull(); }, 10000));
            return;
        }
        TFileListView* View = Window->FileListView;
        QTest::mouseClick(View->viewport(), Qt::LeftButton, {}, View->visualRect(View->model()->index(0, 0)).center());
        Thumb = Window->ThumbnailForm;
        ASSERT_TRUE(WaitFor([&] { return Thumb->isVisible() && !Thumb->IsPlacing(); }, 20000));
        ASSERT_FALSE(WindowFrame(Thumb).isNull());
        ASSERT_FALSE(WindowFrame(Window.get()).isNull());
    }
    // Closes the main window as a user does: a click on the close button at
    // the right end of its title bar.
    void Close()
    {
        const QRect F = WindowFrame(Window.get());
        const int TitleMiddle = F.top() + (Window->geometry().top() - F.top()) / 2;
        ASSERT_TRUE(Xdotool({"mousemove", QString::number(F.right() - 11), QString::number(TitleMiddle), "sleep", "0.1",
                             "click", "1"}));
        ASSERT_TRUE(WaitFor([&] { return !Window->isVisible(); }, 10000));
        Window.reset();
    }
    QPoint Stored() const
    {
        const TMemIniFile Ini(Startup.IniFileName);
        return {Ini.ReadInteger("ThumbnailWindow", "Left", -1), Ini.ReadInteger("ThumbnailWindow", "Top", -1)};
    }

    static inline std::string SavedExeDir;
    static inline bool Started = false;
    fs::path Dir;
    std::vector<std::string> Photos;
    std::unique_ptr<TMainForm> Window;
    TThumbnailForm* Thumb = nullptr;
};

} // namespace

TEST_F(MainWindowUnderWM, FrameSitsBelowTheMainTitleBarAndARestartPutsItWhereItWasLeft)
{
    std::ofstream(Startup.IniFileName) << "[ThumbnailWindow]\nVisible=1\n";
    ASSERT_NO_FATAL_FAILURE(Start());
    const QRect Main = WindowFrame(Window.get()), Own = WindowFrame(Thumb);
    // Inside the main window's top-right corner, its frame just below the
    // main window's title bar: the minimise, maximise and close buttons stay
    // free.
    EXPECT_EQ(Own.top(), Window->geometry().top()) << Own.top() << " main frame " << Main.top();
    EXPECT_EQ(Own.right(), Main.right());
    EXPECT_TRUE(Main.contains(Own));

    // The user drags it by its title bar to the left of the main window's
    // bottom-left corner ...
    const QPoint Grab(Own.center().x(), Own.top() + (Thumb->geometry().top() - Own.top()) / 2);
    const QPoint To(Main.left() + 100, Main.bottom() - 150);
    // (Pauses between the steps, as a hand makes them: the window manager
    // starts a move only on a motion after the press.)
    ASSERT_TRUE(
        Xdotool({"mousemove", QString::number(Grab.x()), QString::number(Grab.y()), "mousedown", "1", "sleep", "0.2",
                 "mousemove", QString::number(Grab.x() - 20), QString::number(Grab.y() + 20), "sleep", "0.2",
                 "mousemove", QString::number(To.x()), QString::number(To.y()), "sleep", "0.2", "mouseup", "1"}));
    ASSERT_TRUE(WaitFor([&] { return WindowFrame(Thumb).top() > Main.top() + 200; }, 10000))
        << WindowFrame(Thumb).top();
    // Where the window manager leaves it once the drag has ended.
    const QPoint Offset = SettledFrame(Thumb).topLeft() - Main.topLeft();

    // ... and closes the program: the frame's offset is stored.
    ASSERT_NO_FATAL_FAILURE(Close());
    EXPECT_EQ(Stored(), Offset);

    // The next start puts the frame there again.
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(WindowFrame(Thumb).topLeft() - WindowFrame(Window.get()).topLeft(), Offset);
    ASSERT_NO_FATAL_FAILURE(Close());
    EXPECT_EQ(Stored(), Offset);
}

// Shown at once with the main window, before the window manager has framed
// either: placed again by the frames once they are there.
TEST_F(MainWindowUnderWM, ShownBeforeEitherWindowIsFramedItEndsBelowTheMainTitleBar)
{
    std::ofstream(Startup.IniFileName) << "[ThumbnailWindow]\nVisible=1\n";
    LoadIniFile(Startup.IniFileName);
    Window = std::make_unique<TMainForm>(std::vector<std::string>{});
    Thumb = Window->ThumbnailForm;
    Window->show();
    Thumb->show();
    ASSERT_TRUE(WaitFor([&] { return !Thumb->IsPlacing(); }, 20000));
    EXPECT_EQ(WindowFrame(Thumb).top(), Window->geometry().top());
    EXPECT_EQ(WindowFrame(Thumb).right(), WindowFrame(Window.get()).right());
}

TEST_F(MainWindowUnderWM, AnOffsetNearTheIntegerLimitsLeavesItInTheCornerOnTheScreen)
{
    for (const char* Offset : {"Left=2147483647\nTop=2147483647", "Left=-2147483648\nTop=-2147483648",
                               "Left=2147483000\nTop=0", "Left=0\nTop=-2147483000"}) {
        SCOPED_TRACE(Offset);
        std::ofstream(Startup.IniFileName) << "[ThumbnailWindow]\nVisible=1\n" << Offset << "\n";
        ASSERT_NO_FATAL_FAILURE(Start());
        const QRect Main = WindowFrame(Window.get()), Own = WindowFrame(Thumb);
        EXPECT_TRUE(QRect(0, 0, 1366, 768).contains(Own)) << Own.x() << "," << Own.y();
        EXPECT_EQ(Own.top(), Window->geometry().top());
        EXPECT_EQ(Own.right(), Main.right());
        ASSERT_NO_FATAL_FAILURE(Close());
    }
}

TEST_F(MainWindowUnderWM, TheQuestionBeforeClearingTheListShowsItsWholeTitle)
{
    std::ofstream(Startup.IniFileName)
        << "[ThumbnailWindow]\nVisible=0\n[System]\nCaption=%ini settings of the studio\n";
    ASSERT_NO_FATAL_FAILURE(Start(false));
    // "at once" with files listed asks whether they may all go; the box
    // carries the main window's long title.
    QString Seen;
    int Width = 0;
    QTimer::singleShot(0, [&] {
        QWidget* Box = nullptr;
        WaitFor([&] { return (Box = QApplication::activeModalWidget()) != nullptr; }, 10000);
        if (!Box || SettledFrame(Box).isNull())
            return;
        Seen = Box->windowTitle();
        Width = Box->width();
        ScreenShot("ClearListQuestion");
        QTest::keyClick(Box, Qt::Key_Escape);
    });
    QTest::mouseClick(Window->AtOnceBox, Qt::LeftButton);
    EXPECT_EQ(Seen, Window->windowTitle());
    EXPECT_GE(Width, OpenboxTitleWidth(Seen)) << Seen.toStdString();
    EXPECT_FALSE(Window->AtOnceBox->isChecked()); // Escape: the files stay
    EXPECT_EQ(App.FileList->Count(), int(Photos.size()));
}
