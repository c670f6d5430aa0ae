// The main window under a real window manager (openbox on a 1366 x 768 Xvfb
// screen): where the thumbnail window's frame goes beside it, what is stored
// when the program closes and where the next start puts it; the questions it
// asks show their whole title.
#include "app/FileListView.h"
#include "app/IniSettings.h"
#include "app/MainFrm.h"
#include "app/ProgressFrm3.h"
#include "app/Startup.h"
#include "app/ThumbnailFrm.h"
#include "core/IniFile.h"
#include "core/MemReservoir.h"
#include "tests/WindowManagerFixture.h"
#include "tests/app/TestApp.h"
#include "tests/effectsui/DialogLayout.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <climits>

#include <xcb/xcb.h>

namespace fs = std::filesystem;

namespace {

// Holds back the list-up window's news of the walk's end (a queued call)
// while it lives, so that the window stays up to be looked at.
class THoldListupEnd : public QObject {
public:
    explicit THoldListupEnd(QObject* Form) : FForm(Form) { Form->installEventFilter(this); }
    ~THoldListupEnd() override { FForm->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* Event) override { return Event->type() == QEvent::MetaCall; }

private:
    QObject* FForm;
};

// A stand-in for a compositing manager while it lives: it holds the
// selection _NET_WM_CM_S0 of the screen, as a compositor does.
class TCompositorClaim {
public:
    TCompositorClaim()
    {
        C = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(C))
            return;
        const xcb_screen_t* Screen = xcb_setup_roots_iterator(xcb_get_setup(C)).data;
        const xcb_window_t W = xcb_generate_id(C);
        xcb_create_window(C, XCB_COPY_FROM_PARENT, W, Screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        const char Name[] = "_NET_WM_CM_S0";
        xcb_intern_atom_reply_t* A = xcb_intern_atom_reply(C, xcb_intern_atom(C, 0, sizeof Name - 1, Name), nullptr);
        if (A)
            xcb_set_selection_owner(C, W, A->atom, XCB_CURRENT_TIME);
        std::free(A);
        std::free(xcb_get_input_focus_reply(C, xcb_get_input_focus(C), nullptr)); // a round trip
    }
    ~TCompositorClaim() { xcb_disconnect(C); }

private:
    xcb_connection_t* C;
};

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

// openbox alone composites nothing: a see-through window would show as a
// black box over the main window (and over its dialogs during a long walk).
// The list-up window is drawn in the window colours with its line instead;
// where a compositing manager runs it stays dark and see-through.
TEST_F(MainWindowUnderWM, WithoutACompositorTheListUpWindowIsDrawnOpaqueWithItsText)
{
    std::ofstream(Startup.IniFileName) << "[ThumbnailWindow]\nVisible=0\n";
    ASSERT_NO_FATAL_FAILURE(Start(false));
    {
        TProgressForm3 Busy(Window.get());
        const THoldListupEnd Hold(&Busy);
        EXPECT_FALSE(Busy.Translucent());
        EXPECT_EQ(Busy.windowOpacity(), 1.0);
        Busy.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Busy));
        QTest::qWait(500);
        ScreenShot("ListUpWindow");
        // What the screen shows where the window is.
        const QRect G = Busy.geometry();
        EXPECT_EQ(G, Window->geometry());
        const QImage Shot = Busy.screen()->grabWindow(0, G.x(), G.y(), G.width(), G.height()).toImage();
        ASSERT_EQ(Shot.size(), G.size());
        const QRgb Back = Busy.palette().color(QPalette::Window).rgb();
        const QRgb Ink = Busy.Message->palette().color(QPalette::WindowText).rgb();
        const QRect Line = Busy.Message->geometry();
        int64_t Black = 0, Backs = 0, Inked = 0;
        for (int y = 0; y < Shot.height(); ++y)
            for (int x = 0; x < Shot.width(); ++x) {
                const QRgb P = Shot.pixel(x, y);
                Black += qGray(P) < 16;
                Backs += P == (Back | 0xFF000000u);
                Inked += Line.contains(x, y) && qGray(P) < (qGray(Back) + qGray(Ink)) / 2;
            }
        const int64_t All = int64_t(Shot.width()) * Shot.height();
        EXPECT_GT(Backs, All * 9 / 10) << "not drawn in the window colour";
        EXPECT_LT(Black, All / 20);
        EXPECT_GT(Inked, 100) << "no text";
        EXPECT_FALSE(Busy.Message->text().isEmpty());
    }
    {
        const TCompositorClaim Compositor;
        TProgressForm3 Busy(Window.get());
        EXPECT_TRUE(Busy.Translucent());
        EXPECT_NEAR(Busy.windowOpacity(), 80.0 / 255.0, 0.01);
    }
}
