// The main window's file list: sorting, deleting, moving and the refresh
// under Qt's model checker; keys and pasted pictures through the view.
#include "TestApp.h"
#include "app/FileListModel.h"
#include "app/FileListView.h"
#include "core/Bitmap.h"
#include "core/RunSettings.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QMimeData>
#include <QTest>

#include "tests/effectsui/CommaLocale.h"

namespace fs = std::filesystem;

namespace {

// Qt's model checker reports through warnings; every one is a fault here.
int ModelWarnings = 0;
void CountModelWarnings(QtMsgType Type, const QMessageLogContext& Context, const QString& Message)
{
    if (Type != QtDebugMsg && Context.category && std::string(Context.category) == "qt.modeltest") {
        ++ModelWarnings;
        std::fprintf(stderr, "model checker: %s\n", qPrintable(Message));
    }
}

TImageInfo* Entry(const std::string& Path, int32_t W, int32_t H, int64_t Size, int32_t Format = pfBMP)
{
    auto* E = new TImageInfo;
    E->SetPath(Path);
    E->Width = W;
    E->Height = H;
    E->Size = Size;
    E->PictureFormat = Format;
    return E;
}

std::vector<std::string> Names(const TFileListModel& M)
{
    std::vector<std::string> Out;
    for (int R = 0; R < M.rowCount(); ++R)
        Out.push_back(M.data(M.index(R, TFileListModel::colName)).toString().toStdString());
    return Out;
}

// Runs Op and checks that every row's persistent index (the view's selection
// and current row) still shows the entry it showed before, or is gone with it.
template <class TOp> void PersistentRowsFollow(TFileListModel& M, TOp Op)
{
    std::vector<std::pair<QPersistentModelIndex, QString>> Before;
    for (int R = 0; R < M.rowCount(); ++R)
        Before.emplace_back(QPersistentModelIndex(M.index(R, 0)), M.data(M.index(R, 0)).toString());
    Op();
    for (const auto& [Index, Name] : Before) {
        if (!Index.isValid())
            continue;
        EXPECT_EQ(Index.data().toString().toStdString(), Name.toStdString()) << "now at row " << Index.row();
    }
}

class FileListFiles : public TListsTest {
protected:
    void SetUp() override
    {
        TListsTest::SetUp();
        Settings.File.AtOnce = false;
    }
    // Pictures written and listed, probed.
    void ListPictures(std::initializer_list<const char*> Names)
    {
        for (const char* N : Names) {
            WritePhoto(Dir / N, 8, 6);
            auto* E = new TImageInfo;
            ASSERT_TRUE(GetImageInfo((Dir / N).string(), *E));
            Files.Add(E);
        }
    }
};

TEST(FileListModelTest, SortDeleteAndMoveKeepTheModelSound)
{
    EnsureApp();
    ModelWarnings = 0;
    const QtMessageHandler Old = qInstallMessageHandler(CountModelWarnings);
    {
        TImageInfoList L;
        for (const auto& [N, W, H] : std::initializer_list<std::tuple<const char*, int, int>>{
                 {"c", 30, 10}, {"a", 10, 30}, {"e", 50, 50}, {"b", 20, 20}, {"d", 40, 40}})
            L.Add(Entry("/p/" + std::string(N) + ".bmp", W, H, W * 10)); // the size follows the width
        TFileListModel M(&L);
        QAbstractItemModelTester Tester(&M, QAbstractItemModelTester::FailureReportingMode::Warning);

        M.Sort(TFileListModel::colName);
        EXPECT_EQ(Names(M), (std::vector<std::string>{"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp"}));
        PersistentRowsFollow(M, [&M] { M.Sort(TFileListModel::colName); });
        EXPECT_EQ(Names(M), (std::vector<std::string>{"e.bmp", "d.bmp", "c.bmp", "b.bmp", "a.bmp"}));
        // Dimensions: width first, then height.
        M.Sort(TFileListModel::colSize);
        EXPECT_EQ(Names(M).front(), "a.bmp");
        M.Sort(TFileListModel::colSize);
        EXPECT_EQ(Names(M).front(), "c.bmp");

        M.Sort(TFileListModel::colPath); // a b c d e
        EXPECT_FALSE(M.MoveRow(2, 2));   // onto itself: nothing moves and the texts stay
        EXPECT_EQ(Names(M), (std::vector<std::string>{"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp"}));
        // Below the last row: to the end.
        PersistentRowsFollow(M, [&M] { EXPECT_TRUE(M.MoveRow(0, -1)); });
        EXPECT_EQ(Names(M), (std::vector<std::string>{"b.bmp", "c.bmp", "d.bmp", "e.bmp", "a.bmp"}));
        EXPECT_TRUE(M.MoveRow(1, M.rowCount()));
        PersistentRowsFollow(M, [&M] { EXPECT_TRUE(M.MoveRow(4, 0)); });
        PersistentRowsFollow(M, [&M] { EXPECT_TRUE(M.MoveRow(1, 3)); });
        EXPECT_EQ(Names(M), (std::vector<std::string>{"c.bmp", "d.bmp", "e.bmp", "b.bmp", "a.bmp"}));

        // Rows given in any order, with the last one: each index names the row
        // it named before anything was deleted.
        PersistentRowsFollow(M, [&M] { M.DeleteRows({4, 0, 2, 4}); });
        EXPECT_EQ(Names(M), (std::vector<std::string>{"d.bmp", "b.bmp"}));
        EXPECT_FALSE(L.Contains("/p/a.bmp"));
        EXPECT_TRUE(L.Contains("/p/b.bmp"));

        M.Clear();
        EXPECT_EQ(M.rowCount(), 0);
    }
    qInstallMessageHandler(Old);
    EXPECT_EQ(ModelWarnings, 0);
}

TEST_F(FileListFiles, RefreshDropsVanishedAndUnreadableFiles)
{
    ListPictures({"keep.bmp", "gone.bmp", "spoilt.bmp"});
    TFileListModel M(&Files);
    QAbstractItemModelTester Tester(&M, QAbstractItemModelTester::FailureReportingMode::Warning);
    fs::remove(Dir / "gone.bmp");
    // Rewritten with something that is no picture, and a new time.
    std::ofstream(Dir / "spoilt.bmp", std::ios::binary | std::ios::trunc) << "no picture here";
    fs::last_write_time(Dir / "spoilt.bmp", fs::last_write_time(Dir / "keep.bmp") + std::chrono::hours(1));

    EXPECT_EQ(M.RefreshEntries(), 2);
    EXPECT_EQ(Names(M), std::vector<std::string>{"keep.bmp"});
}

TEST_F(FileListFiles, KeysCheckAndRemoveTheSelectedRows)
{
    ListPictures({"1.bmp", "2.bmp", "3.bmp"});
    TFileListView View;
    View.ReloadList();
    TListState Last;
    QObject::connect(&View, &TFileListView::ListStateChanged, [&Last](const TListState& S) { Last = S; });
    View.selectRow(0);
    View.selectionModel()->select(View.Model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_TRUE(Last.HasSelection);
    EXPECT_EQ(Last.CountText.toStdString(), "3Files");

    QTest::keyClick(&View, Qt::Key_Space);
    EXPECT_TRUE(Files[0]->Checked && !Files[1]->Checked && Files[2]->Checked);
    View.ReverseAll();
    EXPECT_TRUE(!Files[0]->Checked && Files[1]->Checked && !Files[2]->Checked);

    QTest::keyClick(&View, Qt::Key_Delete);
    ASSERT_EQ(Files.Count(), 1);
    EXPECT_EQ(std::make_tuple(Files[0]->Name(), Last.Count), std::make_tuple("2.bmp", 1));
    EXPECT_FALSE(Last.HasSelection);

    View.ClearList();
    EXPECT_EQ(Files.Count(), 0);
    EXPECT_TRUE(Last.CountText.isEmpty());
    EXPECT_FALSE(Last.CanPreview);
}

TEST_F(FileListFiles, PastesTakeTheNextFreeNumberAndNeverOverwrite)
{
    QImage Picture(5, 4, QImage::Format_RGB32);
    Picture.fill(qRgb(10, 20, 30));
    Picture.setPixel(0, 0, qRgb(200, 100, 50));
    std::string Error;
    int Counter = 0;
    const fs::path Fresh = Dir / "fresh" / "sub";
    EXPECT_EQ(SaveClipboardPicture(Picture, Fresh.string(), Counter, Error), (Fresh / "clipboard0.bmp").string());
    EXPECT_EQ(SaveClipboardPicture(Picture, Fresh.string() + "/", Counter, Error), (Fresh / "clipboard1.bmp").string());
    EXPECT_EQ(Counter, 2);
    TImageInfo Info;
    ASSERT_TRUE(GetImageInfo((Fresh / "clipboard1.bmp").string(), Info));
    EXPECT_EQ(std::make_pair(Info.Width, Info.Height), std::make_pair(5, 4));
    TImgInfo Back;
    ASSERT_TRUE(LoadBitmapFromMemory((Fresh / "clipboard1.bmp").string(), Back, 0, Settings.Background,
                                     Settings.Bitmap.AlphaCheckType));
    EXPECT_EQ(ScanLine(Back, 0)[0], 50); // blue of the top-left pixel
    EXPECT_EQ(ScanLine(Back, 0)[2], 200);
    FreeImg(Back);

    // Somebody's clipboard0.bmp is left as it is; the paste takes the next name.
    std::ofstream(Dir / "clipboard0.bmp") << "somebody's file";
    Settings.File.ClipBoardTempDir = Dir.string();
    TFileListView View;
    QGuiApplication::clipboard()->setImage(Picture);
    View.Paste();
    ASSERT_EQ(Files.Count(), 1);
    EXPECT_EQ(Files[0]->Path(), (Dir / "clipboard1.bmp").string());
    EXPECT_TRUE(Files[0]->IsTempFile);
    const QMimeData* Left = QGuiApplication::clipboard()->mimeData();
    EXPECT_TRUE(!Left || !Left->hasImage());
    QGuiApplication::clipboard()->setImage(Picture);
    View.Paste();
    ASSERT_EQ(Files.Count(), 2);
    EXPECT_EQ(Files[1]->Path(), (Dir / "clipboard2.bmp").string());
    EXPECT_EQ(ReadFile(Dir / "clipboard0.bmp"), "somebody's file");
    // Nothing on the clipboard: nothing happens.
    View.Paste();
    EXPECT_EQ(Files.Count(), 2);
    // Removing a pasted entry removes its file.
    View.selectRow(0);
    View.DeleteSelected();
    EXPECT_FALSE(fs::exists(Dir / "clipboard1.bmp"));
    EXPECT_TRUE(fs::exists(Dir / "clipboard0.bmp"));
}

TEST(FileListModelTest, AnEntryNotProbedYetShowsNoSizeAndTheMarkSetsChecked)
{
    EnsureApp();
    TImageInfoList L;
    TImageInfo* A = Entry("/pics/a.bmp", 640, 480, 1048576);
    L.Add(A);
    TImageInfo* B = Entry("/pics/not probed.jpg", 0, 0, 0, pfUnknown); // listed without a probe
    B->Checked = true;
    L.Add(B);
    TFileListModel M(&L);
    QAbstractItemModelTester Tester(&M, QAbstractItemModelTester::FailureReportingMode::Warning);
    auto Text = [&M](int R, int C) { return M.data(M.index(R, C)).toString().toStdString(); };
    EXPECT_EQ(Text(0, TFileListModel::colSize), "640 x 480");
    EXPECT_EQ(Text(1, TFileListModel::colSize), "");
    EXPECT_EQ(Text(1, TFileListModel::colType), "");
    EXPECT_EQ(Text(1, TFileListModel::colDateTimeOriginal), "");
    EXPECT_EQ(Text(1, TFileListModel::colPath), "/pics/not probed.jpg");

    EXPECT_EQ(M.data(M.index(0, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(M.data(M.index(1, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_TRUE(M.setData(M.index(0, 0), Qt::Checked, Qt::CheckStateRole) && A->Checked);
    EXPECT_FALSE(M.setData(M.index(0, 1), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_TRUE(A->Checked);
}

// The File Size column in whole kilobytes, a started one counting as one, with
// the locale's thousands separator; the date columns to the minute with the
// locale's separators, empty for a missing shooting time.
TEST(FileListModelTest, ColumnTextsAsTheUserReadsThem)
{
    EnsureApp();
    const std::pair<int64_t, const char*> Sizes[] = {
        {0, "0 KB"},
        {1, "1 KB"},
        {1023, "1 KB"},
        {1024, "1 KB"},
        {1025, "2 KB"},
        {10239, "10 KB"},
        {1048575, "1024 KB"},
        {1048576, "1024 KB"},
        {1048577, "1025 KB"},
        {1023999999, "1000000 KB"},
        {int64_t(5) << 40, "5368709120 KB"},
    };
    TImageInfoList L;
    for (const auto& [Size, Text] : Sizes)
        L.Add(Entry("/p/" + std::to_string(Size) + ".bmp", 1, 1, Size));
    TFileListModel M(&L);
    auto Text = [&M](int R, int C) { return M.data(M.index(R, C)).toString().toStdString(); };
    for (size_t i = 0; i < std::size(Sizes); ++i) {
        std::string Plain = Sizes[i].second, Grouped;
        for (size_t d = 0, n = Plain.find(' '); d < n; ++d)
            Grouped += (d > 0 && (n - d) % 3 == 0 ? "," : "") + std::string(1, Plain[d]);
        Grouped += " KB";
        EXPECT_EQ(FileSizeKBText(Sizes[i].first, ","), Grouped) << Sizes[i].first;
        EXPECT_EQ(Text(int(i), TFileListModel::colFileSize), Plain) << "the C locale groups nothing";
    }
    {
        TCommaLocale German;
        if (German.Ok()) {
            EXPECT_EQ(Text(6, TFileListModel::colFileSize), "1.024 KB");
            EXPECT_EQ(Text(10, TFileListModel::colFileSize), "5.368.709.120 KB");
        }
    }
    TImageInfo* E = L.Items(0);
    ASSERT_TRUE(TryEncodeDateTime(2024, 3, 5, 7, 8, 20, E->DateTimeLastWrite));
    ASSERT_TRUE(TryEncodeDateTime(1999, 12, 31, 23, 59, 0, E->DateTimeOriginal));
    EXPECT_EQ(Text(0, TFileListModel::colLastUpdate), "2024/03/05 07:08");
    EXPECT_EQ(Text(0, TFileListModel::colDateTimeOriginal), "1999/12/31 23:59");
    EXPECT_EQ(Text(1, TFileListModel::colDateTimeOriginal), "");
    EXPECT_EQ(Text(0, TFileListModel::colSize), "1 x 1");
    EXPECT_EQ(M.headerData(TFileListModel::colFileSize, Qt::Horizontal).toString().toStdString(), "File Size");
    EXPECT_EQ(M.data(M.index(0, TFileListModel::colFileSize), Qt::TextAlignmentRole).toInt(),
              int(Qt::AlignRight | Qt::AlignVCenter));
}

} // namespace
