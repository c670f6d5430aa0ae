// The file list and option dialogs worked as a user works them.
#include "TestApp.h"
#include "app/FileListView.h"
#include "app/IniSettings.h"
#include "app/PNGOptionFrm.h"
#include "app/SusiePluginOptionFrm.h"
#include "app/ThumbnailFrm.h"

#include <QTest>
#include <QtWidgets>

namespace fs = std::filesystem;

namespace {

// Picks P in the file or folder box that the next action opens.
void AnswerFile(const fs::path& P)
{
    QTimer::singleShot(0, [P] {
        if (auto* D = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
            D->selectFile(QString::fromStdString(P.string())), static_cast<QDialog*>(D)->accept();
    });
}

// File dragged from the file manager onto W; whether the drop was taken.
bool DropOn(QWidget* W, const fs::path& File)
{
    QMimeData Data;
    Data.setUrls({QUrl::fromLocalFile(QString::fromStdString(File.string()))});
    QDragEnterEvent Enter({5, 5}, Qt::CopyAction, &Data, Qt::LeftButton, {});
    QDragMoveEvent Move({6, 6}, Qt::CopyAction, &Data, Qt::LeftButton, {});
    QDropEvent Drop({6, 6}, Qt::CopyAction, &Data, Qt::LeftButton, {});
    for (QEvent* E : std::initializer_list<QEvent*>{&Enter, &Move, &Drop})
        QCoreApplication::sendEvent(W, E);
    return Enter.isAccepted() && Move.isAccepted() && Drop.isAccepted();
}

} // namespace

TEST(ListWorked, DropPickSortAndFollowTheCurrentRow)
{
    EnsureApp();
    const fs::path Dir = ScratchDir("listworked");
    for (QSize S : {QSize(30, 20), QSize(4, 40), QSize(8, 6)}) {
        QImage Img(S, QImage::Format_RGB32);
        Img.fill(Qt::darkCyan);
        Img.save(QString::fromStdString((Dir / (std::to_string(S.width()) + ".bmp")).string()));
    }
    TImageInfoList Files;
    App.FileList = &Files;
    auto Names = [&Files] {
        std::string N;
        for (int i = 0; i < Files.Count(); ++i)
            N += Files[i]->Name() + " ";
        return N;
    };
    QWidget Main;
    QAction Show, Ignore;
    Show.setCheckable(true);
    auto* View = new TFileListView(&Main);
    TThumbnailForm Thumb(&Main, &Show);
    View->SetThumbnailWindow(&Thumb, &Show, &Ignore);
    View->resize(700, 300);
    Main.show();

    // Dropped from the file manager (not during a run), picked in the open
    // dialog, then the folder picker adds what is new.
    View->SetDragDropAccept(false);
    EXPECT_FALSE(DropOn(View->viewport(), Dir / "30.bmp"));
    View->SetDragDropAccept(true);
    EXPECT_TRUE(DropOn(View->viewport(), Dir / "30.bmp"));
    ASSERT_TRUE(WaitFor([&] { return Files.Count() == 1; }));
    AnswerFile(Dir / "4.bmp");
    View->AddFilesDialog();
    AnswerFile(Dir);
    View->AddFolderDialog();
    EXPECT_EQ(Names(), "30.bmp 4.bmp 8.bmp ");

    // The size column sorts by width, then by height.
    QHeaderView* Header = View->horizontalHeader();
    for (const char* Sorted : {"4.bmp 8.bmp 30.bmp ", "8.bmp 30.bmp 4.bmp "}) {
        QTest::mouseClick(Header->viewport(), Qt::LeftButton, {}, {Header->sectionViewportPosition(1) + 20, 5});
        EXPECT_EQ(Names(), Sorted);
    }
    // The thumbnail window follows the current row while it is on.
    const QPoint Row0 = View->visualRect(View->Model()->index(0, 1)).center();
    QTest::mouseClick(View->viewport(), Qt::LeftButton, {}, Row0);
    Show.setChecked(true);
    View->ShowThumbnailExecute();
    EXPECT_TRUE(WaitFor([&] { return Thumb.FPath == (Dir / "8.bmp").string(); }));
    QTest::keyClick(View, Qt::Key_Down);
    EXPECT_TRUE(WaitFor([&] { return Thumb.windowTitle() == "30.bmp"; }));

    // A row dragged with the mouse is the one selected: Space turns its mark,
    // Delete removes it.
    View->selectRow(1);
    QTest::mousePress(View->viewport(), Qt::LeftButton, {}, Row0);
    QTest::mouseMove(View->viewport(), Row0 + QPoint(0, 40));
    QTest::mouseRelease(View->viewport(), Qt::LeftButton, {}, Row0 + QPoint(0, 40));
    QTest::keyClick(View, Qt::Key_Space);
    EXPECT_NE(Files[0]->Checked, Files[1]->Checked);
    QTest::keyClick(View, Qt::Key_Delete);
    EXPECT_EQ(Names(), "30.bmp 4.bmp ");
    App.FileList = nullptr;
    fs::remove_all(Dir);
}

TEST(ListWorked, OptionDialogsStoreOnOkOnly)
{
    EnsureApp();
    const fs::path Plugins = ScratchDir("plugins"), Built = fs::path(VESTRO_TEST_BIN_DIR) / "spi" / "pnm.spi";
    if (!fs::exists(Built))
        GTEST_SKIP() << "the test plug-in is not built";
    for (const char* Spi : {"a.spi", "b.spi"})
        fs::copy_file(Built, Plugins / Spi);
    const auto Saved = std::tuple(Settings.PNG, Settings.SPIOrder, Startup.SPIPath);
    auto State = [] { return std::to_string(Settings.PNG.TransparentType) + " " + Settings.SPIOrder; };
    const std::function<void(bool)> Rows[] = {
        [](bool Ok) {
            TPNGOptionForm F(Settings.PNG);
            F.IndexColorCheck->setChecked(true);
            F.TransparentList->setCurrentIndex(5);
            QTimer::singleShot(0, [] { qobject_cast<QDialog*>(QApplication::activeModalWidget())->accept(); });
            F.ColorPanel->click();
            (Ok ? F.OkButton : F.CancelButton)->click();
        },
        [&Plugins](bool Ok) {
            TSusiePluginOptionForm F;
            AnswerFile(Plugins);
            F.FolderButton->click();
            ASSERT_EQ(F.CheckList->count(), 2);
            F.CheckList->item(0)->setCheckState(Qt::Checked);
            for (QPushButton* B : {F.DownButton, F.UpButton, F.DownButton, F.DownButton, F.ConfigButton})
                B->click();
            Ok ? F.accept() : F.reject();
        },
    };
    for (const auto& Work : Rows) {
        const std::string Before = State();
        Work(false);
        EXPECT_EQ(State(), Before);
        Work(true);
        EXPECT_NE(State(), Before);
    }
    EXPECT_EQ(Settings.SPIOrder, "b.spi=0,a.spi=1");
    EXPECT_EQ(Startup.SPIPath, Plugins.string());
    std::tie(Settings.PNG, Settings.SPIOrder, Startup.SPIPath) = Saved;
    fs::remove_all(Plugins);
}
