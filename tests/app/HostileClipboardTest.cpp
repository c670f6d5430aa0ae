// A picture pasted into the list while the settings name a clipboard folder
// that no folder dialog could have stored: a control character, or a NUL that
// the system would cut the path at.
#include "tests/app/MainWindowTest.h"

#include "app/FileListView.h"

#include <QClipboard>
#include <QMimeData>
#include <QTest>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

class HostileClipboard : public TMainWindowTest {
protected:
    void Open(const std::string& Settings)
    {
        LoadTestSettings(Dir, Settings);
        Window = std::make_unique<TMainForm>(std::vector<std::string>{});
        Window->show();
    }
    int Rows() const { return Window->FileListView->model()->rowCount(); }
    // Everything below Dir, as relative paths, in order.
    std::vector<std::string> Tree() const
    {
        std::vector<std::string> N;
        for (const auto& E : fs::recursive_directory_iterator(Dir))
            N.push_back(fs::relative(E.path(), Dir).string());
        std::sort(N.begin(), N.end());
        return N;
    }
};

TEST_F(HostileClipboard, CtrlVWithAControlCharacterInTheFolderWritesNothingAndSaysWhy)
{
    QImage Picture(5, 4, QImage::Format_RGB32);
    Picture.fill(qRgb(10, 20, 30));
    const std::string Clip = (Dir / "clip").string();
    // Each names another place than it says once the system takes it (the
    // NUL cuts it at "clip"), or a folder nobody could mean.
    for (const std::string& Folder : {Clip + "\0/x"s, Clip + "\0"s, Clip + "\t", Clip + "\x1F", Clip + "\x7F"}) {
        SCOPED_TRACE(::testing::PrintToString(Folder));
        Open("[File]\nClipBoardTemp=" + Folder + "\n");
        ASSERT_EQ(Settings.File.ClipBoardTempDir, Folder);
        const std::vector<std::string> Before = Tree();
        QGuiApplication::clipboard()->setImage(Picture);
        QApplication::setActiveWindow(Window.get());
        ::testing::internal::CaptureStderr();
        QTest::keyClick(Window.get(), Qt::Key_V, Qt::ControlModifier);
        const std::string Err = ::testing::internal::GetCapturedStderr();
        // The line shows each control character as "?".
        std::string Shown = Folder;
        std::replace_if(
            Shown.begin(), Shown.end(), [](unsigned char C) { return C < 0x20 || C == 0x7F; }, '?');
        EXPECT_EQ(Err, Shown + "/: The file name contains characters that cannot be used\n");
        EXPECT_EQ(Rows(), 0);
        EXPECT_EQ(Tree(), Before);
        // The picture stays on the clipboard for a paste that can work.
        EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasImage());
        Window.reset();
    }
    // The same folder without the character takes the picture.
    Open("[File]\nClipBoardTemp=" + Clip + "\n");
    QGuiApplication::clipboard()->setImage(Picture);
    QApplication::setActiveWindow(Window.get());
    QTest::keyClick(Window.get(), Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(Rows(), 1);
    EXPECT_THAT(App.FileList->Items(0)->Path(), ::testing::StartsWith(Clip + "/clipboard"));
}

} // namespace
