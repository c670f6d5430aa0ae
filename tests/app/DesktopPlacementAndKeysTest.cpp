// The main window on a real desktop: where the folder pickers open, stored
// bounds at the integer limits, and the Run key pressed, held and pressed
// again.
#include "tests/app/WindowOnDesktop.h"

// ------------------------------------------------------------------ folder picker

TEST(Desktop, EveryFolderPickerOpensAt22_22FromItsDialog)
{
    RunOnDesktop("EveryFolderPickerOpensAt22_22FromItsDialog");
}

TEST_F(WindowOnDesktop, DISABLED_EveryFolderPickerOpensAt22_22FromItsDialog)
{
    Open("");
    fs::create_directories(Dir / "plugins");
    Startup.SPIPath = (Dir / "plugins").string();
    // Each dialog is opened from the window's menu command, and its "..."
    // clicked; the picker's frame is measured against the dialog's.
    struct TCase {
        const char* Name;
        QAction* Command;
        std::function<QPushButton*(QWidget*)> Button;
    };
    const TCase Cases[] = {
        {"plug-in folder", Window->SetSPIOption,
         [](QWidget* M) { return qobject_cast<TSusiePluginOptionForm*>(M)->FolderButton; }},
        {"output folder", Window->SetOutPutFolder,
         [](QWidget* M) { return qobject_cast<TFolderOptionForm*>(M)->OutputButton; }},
        {"clipboard folder", Window->SetOutPutFolder,
         [](QWidget* M) { return qobject_cast<TFolderOptionForm*>(M)->ClipboardButton; }},
    };
    // A user may click "..." the moment the dialog appears, before the window
    // manager has framed it, or later.
    for (const bool AtOnce : {true, false})
        for (const TCase& C : Cases) {
            QPoint Offset(-1, -1);
            QWidget* Dialog = nullptr;
            OnModal(
                [&](QWidget* M) {
                    if (!Dialog) {
                        Dialog = M;
                        if (!AtOnce)
                            FramedCorner(M);
                        QPushButton* B = C.Button(M);
                        QTimer::singleShot(0, B, [B] { QTest::mouseClick(B, Qt::LeftButton); });
                        return false;
                    }
                    if (M == Dialog)
                        return false;
                    if (auto* Picker = qobject_cast<QFileDialog*>(M)) {
                        // Between the client areas: both windows get the same
                        // frame, and the frame is what Qt may learn late.
                        FramedCorner(Picker);
                        Offset = Picker->geometry().topLeft() - Dialog->geometry().topLeft();
                        Picker->reject();
                        QTimer::singleShot(100, Dialog, [Dialog] { qobject_cast<QDialog*>(Dialog)->reject(); });
                        return true;
                    }
                    return false;
                },
                AtOnce ? 0 : 50);
            C.Command->trigger();
            EXPECT_EQ(Offset, QPoint(22, 22)) << C.Name << (AtOnce ? ", clicked at once" : ", clicked once framed");
        }
}

TEST(Desktop, TheAddFolderPickerOpensAt22_22FromTheMainWindow)
{
    RunOnDesktop("TheAddFolderPickerOpensAt22_22FromTheMainWindow");
}

// Opened by its menu keys (File, Add Folder), client area to client area as
// the dialogs' pickers: its title bar sits below the main window's, not on it.
TEST_F(WindowOnDesktop, DISABLED_TheAddFolderPickerOpensAt22_22FromTheMainWindow)
{
    Open("");
    FramedCorner(Window.get());
    QPoint Offset(-1, -1);
    OnModal([&](QWidget* M) {
        auto* Picker = qobject_cast<QFileDialog*>(M);
        if (!Picker)
            return false;
        FramedCorner(Picker);
        Offset = Picker->geometry().topLeft() - Window->geometry().topLeft();
        ScreenShot("AddFolderPicker");
        Picker->reject();
        return true;
    });
    QProcess::execute(QStringLiteral("/usr/bin/xdotool"), {"key", "alt+f", "sleep", "0.3", "key", "f"});
    ASSERT_TRUE(WaitFor([&] { return Offset != QPoint(-1, -1); }, 20000)) << "the picker did not open";
    EXPECT_EQ(Offset, QPoint(22, 22));
}

// ------------------------------------------------------------------ window bounds

namespace {

// The frame of X11 window Client as the window manager placed it (its
// frame's absolute corner and size); null when it cannot be asked.
QRect FrameOnDesktop(unsigned long Client)
{
    std::string Out;
    if (wmtest::Run({"xwininfo", "-id", std::to_string(wmtest::TWindowManager::FrameOf(Client))}, &Out) != 0)
        return {};
    const auto Number = [&Out](const char* Label) {
        const size_t P = Out.find(Label);
        return P == std::string::npos ? INT_MIN : std::atoi(Out.c_str() + P + std::strlen(Label));
    };
    const int X = Number("Absolute upper-left X:"), Y = Number("Absolute upper-left Y:");
    const int W = Number("Width:"), H = Number("Height:");
    return X == INT_MIN || Y == INT_MIN || W <= 0 || H <= 0 ? QRect() : QRect(X, Y, W, H);
}

} // namespace

// The built program in a program folder of its own (its default settings
// file, saved when it closes), started with the stored window bounds of each
// case: its frame opens on the 1366 x 768 screen, and what it saves on
// closing is a place and a size on it.
TEST(Desktop, StoredWindowBoundsNearTheIntegerLimitsOpenTheProgramOnTheScreen)
{
    const wmtest::TWindowManager& WM = wmtest::TWindowManager::Get();
    if (!WM.Up())
        GTEST_SKIP() << "no window manager: " << WM.Why;
    const fs::path Dist = VESTRO_DIST_DIR;
    if (!fs::exists(Dist / "vestro-resizer") || !fs::exists(Dist / "bin" / "libkodex.so"))
        GTEST_SKIP() << "the program is not built";
    const fs::path Dir = ScratchDir("bounds"), Prog = Dir / "prog";
    fs::copy(Dist, Prog, fs::copy_options::recursive | fs::copy_options::create_hard_links);
    fs::remove_all(Prog / "ini"); // other tests' profiles; written here, not through links
    fs::create_directories(Prog / "ini");
    const std::string IniFile = (Prog / "ini" / "vestro-resizer.ini").string();
    const struct {
        const char* Bounds;
        QRect Kept; // the stored bounds when they fit, else null
    } Cases[] = {
        {"Left=2147483647\nTop=2147483647\nClientWidth=2147483647\nClientHeight=2147483647", {}},
        {"Left=-2147483648\nTop=-2147483648\nClientWidth=2147483647\nClientHeight=2147483647", {}},
        {"Left=2147483647\nTop=0\nClientWidth=800\nClientHeight=500", {}},
        {"Left=0\nTop=2147483000\nClientWidth=-2147483648\nClientHeight=-2147483648", {}},
        {"Left=100\nTop=80\nClientWidth=800\nClientHeight=500", QRect(100, 80, 800, 500)},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Bounds);
        std::ofstream(IniFile) << "[Window]\n" << C.Bounds << "\n[ThumbnailWindow]\nVisible=0\n";
        QProcess P;
        QProcessEnvironment E = QProcessEnvironment::systemEnvironment();
        E.insert("DISPLAY", QString::fromStdString(WM.Display));
        E.insert("QT_QPA_PLATFORM", "xcb");
        P.setProcessEnvironment(E);
        P.setProcessChannelMode(QProcess::MergedChannels);
        P.start(QString::fromStdString((Prog / "vestro-resizer").string()), {});
        ASSERT_TRUE(P.waitForStarted());
        // Its window, once openbox has framed it and left it in one place.
        unsigned long Client = 0;
        QRect Frame, Last;
        for (int i = 0, Same = 0; i < 300 && Same < 5; ++i) {
            QTest::qWait(100);
            std::string Out;
            if (!Client &&
                wmtest::Run({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(P.processId()), "--name",
                             "^Vestro Image Resizer"},
                            &Out) == 0)
                Client = std::strtoul(Out.c_str(), nullptr, 10);
            Frame = Client ? FrameOnDesktop(Client) : QRect();
            Same = !Frame.isNull() && Frame == Last ? Same + 1 : 0;
            Last = Frame;
        }
        ASSERT_NE(Client, 0ul) << "no window: " << P.readAll().toStdString();
        EXPECT_TRUE(QRect(0, 0, 1366, 768).contains(Frame))
            << Frame.x() << "," << Frame.y() << " " << Frame.width() << " x " << Frame.height();
        ScreenShot("MainWindowBounds");
        // Closed as a user closes it (the window manager's Alt+F4).
        wmtest::Run({"xdotool", "windowactivate", "--sync", std::to_string(Client), "key", "alt+F4"});
        ASSERT_TRUE(P.waitForFinished(20000)) << "the program did not close";
        const TMemIniFile Ini(IniFile);
        const QRect Saved(Ini.ReadInteger("Window", "Left", -1), Ini.ReadInteger("Window", "Top", -1),
                          Ini.ReadInteger("Window", "ClientWidth", 0), Ini.ReadInteger("Window", "ClientHeight", 0));
        if (!C.Kept.isNull()) {
            EXPECT_EQ(Saved, C.Kept);
        }
        EXPECT_TRUE(Saved.width() > 0 && Saved.height() > 0 && QRect(0, 0, 1366, 768).contains(Saved))
            << Saved.x() << "," << Saved.y() << " " << Saved.width() << " x " << Saved.height();
    }
    fs::remove_all(Dir);
}

// ------------------------------------------------------------------ popups

TEST(Desktop, F5RunsAfterADialogClosedWithItsPopupShowing)
{
    RunOnDesktop("F5RunsAfterADialogClosedWithItsPopupShowing");
}

TEST_F(WindowOnDesktop, DISABLED_F5RunsAfterADialogClosedWithItsPopupShowing)
{
    WritePhoto(Dir / "in" / "a.jpg", 640, 480, 1);
    Open("[File]\nShowDirectory=0\n[Resize]\nRule=0\nSize1=50\n", {(Dir / "in" / "a.jpg").string()}, 1);
    // The resize settings, closed with a filter list open over them.
    bool Shown = false;
    OnModal([&](QWidget* M) {
        auto* Box = M->findChild<QComboBox*>();
        if (!Box)
            return false;
        FramedCorner(M);
        Box->showPopup();
        QTimer::singleShot(500, M, [M, &Shown] {
            Shown = QApplication::activePopupWidget() != nullptr;
            qobject_cast<QDialog*>(M)->reject();
        });
        return true;
    });
    Window->SetResizeOption->trigger();
    ASSERT_TRUE(Shown) << "the list did not open";
    QTest::qWait(300);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_TRUE(F5Writes(Dir / "out" / "a.jpg")) << "F5 did not start the run (list)";

    // A dialog with a context menu and an edit that completes from a list,
    // as any dialog may have: closed with the menu open, or with the list
    // opening after it has gone.
    for (const int Kind : {0, 1}) {
        fs::remove(Dir / "out" / "a.jpg");
        QDialog Dialog(Window.get());
        auto* Edit = new QLineEdit(&Dialog);
        auto* List = new QCompleter(QStringList{"apple", "apricot"}, Edit);
        Edit->setCompleter(List);
        auto* Menu = new QMenu(&Dialog);
        Menu->addAction(QStringLiteral("Fit image to window"));
        bool Shown = false;
        QTimer::singleShot(300, &Dialog, [&] {
            if (Kind == 0) {
                Menu->popup(Dialog.mapToGlobal(QPoint(10, 10)));
                Shown = QApplication::activePopupWidget() == Menu;
            }
            QTimer::singleShot(300, &Dialog, [&] {
                Dialog.reject();
                if (Kind == 1) {
                    Edit->setText(QStringLiteral("a"));
                    List->complete();
                    Shown = QApplication::activePopupWidget() == List->popup();
                }
            });
        });
        Dialog.exec();
        QTest::qWait(300);
        ASSERT_TRUE(Shown) << Kind;
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << Kind;
        EXPECT_TRUE(F5Writes(Dir / "out" / "a.jpg"))
            << "F5 did not start the run" << (Kind ? " (list opened late)" : " (menu)");
        while (QWidget* Left = QApplication::activePopupWidget())
            Left->close();
    }

    // A list of a window still shown stays open when another window goes.
    Window->cbxResizeRule->showPopup();
    ASSERT_TRUE(WaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 5000));
    {
        QWidget Other(nullptr, Qt::ToolTip); // takes no focus from the list
        Other.resize(50, 20);
        Other.show();
        QTest::qWait(200);
    }
    QTest::qWait(200);
    EXPECT_NE(QApplication::activePopupWidget(), nullptr) << "the window's own list was closed";
    Window->cbxResizeRule->hidePopup();
}

// ------------------------------------------------------------------ the Run key

TEST(Desktop, AHeldF5StartsOneRunAndAFreshPressTheNext)
{
    RunOnDesktop("AHeldF5StartsOneRunAndAFreshPressTheNext");
}

// The key held down for two seconds: the keyboard repeats it long after the
// short run has ended, and the repeats start nothing.
TEST_F(WindowOnDesktop, DISABLED_AHeldF5StartsOneRunAndAFreshPressTheNext)
{
    OpenNumbered(2, QSize(400, 300));
    TRunWindowCounter Runs;
    QProcess::execute(QStringLiteral("/usr/bin/xdotool"), {"keydown", "F5"});
    QTest::qWait(2000);
    QProcess::execute(QStringLiteral("/usr/bin/xdotool"), {"keyup", "F5"});
    QTest::qWait(300);
    EXPECT_EQ(Runs.Shown, 1);
    EXPECT_EQ(SortedNames(Dir / "out"), (std::vector<std::string>{"1_p0.jpg", "2_p1.jpg"}));

    EXPECT_TRUE(F5Writes(Dir / "out" / "4_p1.jpg"));
    EXPECT_EQ(Runs.Shown, 2);
    EXPECT_TRUE(Messages.empty()) << Messages.front();
}

TEST(Desktop, F5PressedAgainWhileTheRunWindowOpensStartsNoSecondRun)
{
    RunOnDesktop("F5PressedAgainWhileTheRunWindowOpensStartsNoSecondRun");
}

TEST_F(WindowOnDesktop, DISABLED_F5PressedAgainWhileTheRunWindowOpensStartsNoSecondRun)
{
    OpenNumbered(4, QSize(2400, 1600));
    TRunWindowCounter Runs;
    // The key again as soon as the run's window shows, before the window
    // manager has given it the focus.
    Runs.OnShow = [&](QWidget*) {
        if (Runs.Shown == 1)
            QProcess::execute(QStringLiteral("/usr/bin/xdotool"), {QStringLiteral("key"), QStringLiteral("F5")});
    };
    const fs::path Last = Dir / "out" / "4_p3.jpg";
    ASSERT_TRUE(F5Writes(Last));
    const auto RunWindowShows = [] {
        const auto All = QApplication::topLevelWidgets();
        return std::any_of(All.begin(), All.end(),
                           [](QWidget* W) { return qobject_cast<TProgressForm*>(W) && W->isVisible(); });
    };
    ASSERT_TRUE(WaitFor([&] { return !RunWindowShows(); }));
    EXPECT_EQ(Runs.Shown, 1);
    std::vector<std::string> Names;
    for (const auto& E : fs::directory_iterator(Dir / "out"))
        Names.push_back(E.path().filename().string());
    std::sort(Names.begin(), Names.end());
    EXPECT_EQ(Names, (std::vector<std::string>{"1_p0.jpg", "2_p1.jpg", "3_p2.jpg", "4_p3.jpg"}));
    EXPECT_TRUE(Messages.empty()) << Messages.front();
}
