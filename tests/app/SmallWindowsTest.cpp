// The filter order dialog, the thumbnail window's place and the about window's
// link.
#include "app/DesktopOpen.h"
#include "app/AboutFrm.h"
#include "app/ChangeOrderFrm.h"
#include "app/ThumbnailFrm.h"
#include "tests/app/TestApp.h"
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include <climits>

namespace {

struct ChangeOrderTest : ::testing::Test {
    void SetUp() override
    {
        EnsureApp();
        AddNamedEffects(List, {"A", "B", "C", "D"});
    }
    TEffectList List;
};

} // namespace

TEST_F(ChangeOrderTest, OkAppliesTheShownOrder)
{
    TChangeOrderForm F(List);
    F.UpButtonClick(); // the first item cannot go up
    EXPECT_EQ(F.EffectListBox->currentRow(), 0);
    // C to the top, two places up: a move that is not a mere swap.
    F.EffectListBox->setCurrentRow(2);
    F.UpButtonClick();
    F.UpButtonClick();
    F.EffectListBox->setCurrentRow(3);
    F.DownButtonClick(); // the last item cannot go down
    EXPECT_EQ(F.EffectListBox->currentRow(), 3);
    F.EffectListBox->setCurrentRow(1);
    F.DownButtonClick(); // A below B: C B A D
    F.accept();
    EXPECT_EQ(ChainNames(List), "C B A D ");

    // Reopened, the dialog lists the new order; OK without moves keeps it.
    TChangeOrderForm G(List);
    EXPECT_EQ(G.EffectListBox->item(0)->text(), "C");
    G.accept();
    EXPECT_EQ(ChainNames(List), "C B A D ");
}

TEST(ThumbnailWindow, OpensInsideTheMainWindowsTopRightCornerOrBesideItAtTheScreenEdge)
{
    const QSize Own(166, 190);
    const int Title = 24;
    const struct {
        QRect Main;
        int DX, DY;
        QPoint Expected;
    } Cases[] = {
        // Never placed: inside the top-right corner, below its own title bar.
        {QRect(100, 50, 800, 600), -65535, -65535, QPoint(900 - 166, 74)},
        {QRect(0, 0, 1366, 740), -65535, -65535, QPoint(1200, 24)},
        // A stored offset that keeps it on the screen is used.
        {QRect(100, 50, 800, 600), 810, 0, QPoint(910, 50)},
        {QRect(100, 50, 800, 600), 1300, 0, QPoint(900 - 166, 74)}, // off the screen: the corner
        // The main window runs off the right edge: at the edge, or left of it.
        {QRect(1300, 50, 420, 600), -65535, -65535, QPoint(1300 - 166, 50)},
        {QRect(100, 50, 1366, 600), -65535, -65535, QPoint(1366 - 166, 74)},
        // Offsets near the integer limits are off the screen, not wrapped onto it.
        {QRect(100, 50, 800, 600), INT_MAX, INT_MAX, QPoint(900 - 166, 74)},
        {QRect(100, 50, 800, 600), INT_MIN, INT_MIN, QPoint(900 - 166, 74)},
        {QRect(1300, 700, 420, 600), INT_MAX - 1300, -700, QPoint(1300 - 166, 768 - 190)},
        // A main window partly above and left of the screen: its corner is
        // off the screen too, the window stays on it.
        {QRect(-500, -100, 600, 400), -65535, -65535, QPoint(0, 0)},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(ThumbnailWindowPos(C.Main, Own, Title, QSize(1366, 768), C.DX, C.DY), C.Expected) << C.Main.x();
}

// The link, clicked, hands the README of the program folder to the desktop's
// launcher (here one that writes down what it was given); it is blue, shows a
// hand and is underlined only while the mouse is over it.
TEST(AboutForm, TheLinkOpensTheProgramFoldersReadme)
{
    EnsureApp();
    namespace fs = std::filesystem;
    const fs::path Dir = ScratchDir("about");
    fs::create_directories(Dir / "bin");
    std::ofstream(Dir / "bin" / "xdg-open")
        << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << (Dir / "opened").string() << ".new' && mv '"
        << (Dir / "opened").string() << ".new' '" << (Dir / "opened").string() << "'\n";
    fs::permissions(Dir / "bin" / "xdg-open", fs::perms::owner_all);
    struct TKept {
        QByteArray Path = qgetenv("PATH");
        std::string ExeDir = Startup.ExeDir;
        fs::path Dir;
        ~TKept() { qputenv("PATH", Path), Startup.ExeDir = ExeDir, fs::remove_all(Dir); }
    } Kept{.Dir = Dir};
    qputenv("PATH", QByteArray::fromStdString((Dir / "bin").string() + ":/usr/bin:/bin"));
    Startup.ExeDir = VESTRO_DIST_DIR "/";
    {
        TAboutForm F;
        F.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&F));
        EXPECT_EQ(F.LinkLabel->text(), "README.md");
        EXPECT_EQ(F.LinkLabel->palette().color(QPalette::WindowText), QColor(Qt::blue));
        EXPECT_EQ(F.LinkLabel->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_FALSE(F.LinkLabel->font().underline());
        EXPECT_EQ(F.LinkLabel->width(), F.LinkLabel->sizeHint().width()); // not the blank beside it
        QTest::mouseMove(F.LinkLabel);
        EXPECT_TRUE(WaitFor([&] { return F.LinkLabel->font().underline(); }, 2000));
        QTest::mouseMove(F.VersionLabel);
        EXPECT_TRUE(WaitFor([&] { return !F.LinkLabel->font().underline(); }, 2000));
        // A click elsewhere opens nothing.
        QTest::mouseClick(F.MemoryLabel, Qt::LeftButton);
        QTest::qWait(500);
        EXPECT_FALSE(fs::exists(Dir / "opened"));
        QTest::mouseClick(F.LinkLabel, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return fs::exists(Dir / "opened"); }, 10000));
        EXPECT_EQ(ReadFile(Dir / "opened"), VESTRO_DIST_DIR "/README.md\n");
        EXPECT_TRUE(fs::is_regular_file(VESTRO_DIST_DIR "/README.md"));
    }
}

// A relative folder is handed to the launcher, and named when it fails, as
// the whole path it stands for here: a handed run's output folder is
// relative to the folder its start was made in, which this process leaves.
TEST(DesktopOpen, ARelativeFolderIsOpenedAndNamedWhole)
{
    EnsureApp();
    namespace fs = std::filesystem;
    const fs::path Dir = ScratchDir("relopen");
    fs::create_directories(Dir / "bin");
    fs::create_directories(Dir / "out");
    std::ofstream(Dir / "bin" / "xdg-open")
        << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << (Dir / "opened").string() << "'\nexit 1\n";
    fs::permissions(Dir / "bin" / "xdg-open", fs::perms::owner_all);
    struct TKept {
        QByteArray Path = qgetenv("PATH");
        fs::path Cwd = fs::current_path();
        fs::path Dir;
        ~TKept() { qputenv("PATH", Path), fs::current_path(Cwd), fs::remove_all(Dir); }
    } Kept{.Dir = Dir};
    qputenv("PATH", QByteArray::fromStdString((Dir / "bin").string() + ":/usr/bin:/bin"));
    fs::current_path(Dir);
    QObject Context;
    QString Said;
    OpenWithDesktop(
        "out", &Context, [&Said](const QString& Text) { Said = Text; }, 10000);
    fs::current_path(Kept.Cwd);
    ASSERT_TRUE(WaitFor([&] { return !Said.isEmpty(); }, 10000));
    EXPECT_EQ(ReadFile(Dir / "opened"), (Dir / "out").string() + "\n");
    EXPECT_TRUE(Said.startsWith(QString::fromStdString((Dir / "out").string()) + "\n")) << Said.toStdString();
}
