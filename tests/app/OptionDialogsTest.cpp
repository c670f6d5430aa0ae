// The metadata, system and combine settings dialogs: OK stores, Cancel
// leaves the records alone, ranges are held, dependent controls follow.
#include "app/CombineOptionFrm.h"
#include "app/FolderOptionFrm.h"
#include "app/IniSettings.h"
#include "app/MetadataOptionFrm.h"
#include "app/SusiePluginOptionFrm.h"
#include "app/SystemOptionFrm.h"
#include "core/Global.h"
#include "effects/ui/NumEdit.h"
#include "tests/app/TestApp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Each test starts from the records' defaults and puts them back afterwards.
struct OptionDialogsTest : ::testing::Test {
    void SetUp() override
    {
        EnsureApp();
        Save();
        JPEGOption = {};
        MetadataOption = {};
        PNGOption = {};
        SystemOption = {};
        FileOption = {};
        CombineOption = {};
        DefaultBGColor = {};
        UIFontName = "Sans";
        UIFontSize = 9;
    }
    void TearDown() override
    {
        JPEGOption = J; MetadataOption = M; PNGOption = P; SystemOption = S;
        FileOption = F; CombineOption = C; DefaultBGColor = B; UIFontName = FN; UIFontSize = FS;
    }
    void Save()
    {
        J = JPEGOption; M = MetadataOption; P = PNGOption; S = SystemOption;
        F = FileOption; C = CombineOption; B = DefaultBGColor; FN = UIFontName; FS = UIFontSize;
    }
    TJPEGOption J; TMetadataOption M; TPNGOption P; TSystemOption S;
    TFileOption F; TCombineOption C; TBGColor B; std::string FN; int32_t FS = 0;
};

} // namespace

TEST_F(OptionDialogsTest, MetadataExifBoxesFollowTheirMastersAndKeepState)
{
    JPEGOption.AddExifInfo = true;
    JPEGOption.UpdateExifResolution = true;
    MetadataOption.KeepResolution = true;
    TMetadataOptionForm D;
    // Open: the resolution update waits for "Keep resolution" to go off.
    EXPECT_TRUE(D.UpdateExif->isEnabled());
    EXPECT_FALSE(D.UpdateExifResolution->isEnabled());
    D.KeepResolution->setChecked(false);
    EXPECT_TRUE(D.UpdateExifResolution->isEnabled());
    D.KeepExif->setChecked(false);
    EXPECT_FALSE(D.UpdateExif->isEnabled());
    EXPECT_FALSE(D.UpdateExifResolution->isEnabled());
    EXPECT_FALSE(D.UpdateExifThumbnail->isEnabled());
    // Disabled boxes still hold and store their states.
    D.UpdateExifThumbnail->setChecked(true);
    D.Resolution->setText(QStringLiteral("123456"));
    D.accept();
    EXPECT_FALSE(JPEGOption.AddExifInfo);
    EXPECT_TRUE(JPEGOption.UpdateExif);
    EXPECT_TRUE(JPEGOption.UpdateExifResolution);
    EXPECT_TRUE(JPEGOption.UpdateExifThumbnail);
    EXPECT_FALSE(MetadataOption.KeepResolution);
    EXPECT_LE(MetadataOption.Resolution, 9999);
}

TEST_F(OptionDialogsTest, MetadataCancelStoresNothing)
{
    TMetadataOptionForm D;
    D.KeepICC->setChecked(false);
    D.WritepHYs->setChecked(true);
    D.reject();
    EXPECT_TRUE(MetadataOption.KeepICCProfile);
    EXPECT_FALSE(PNGOption.WritepHYsChunk);
}

TEST_F(OptionDialogsTest, SystemOneProcessorAllowsOneThreadOnly)
{
    SystemOption.ProcessorCount = 1;
    SystemOption.MaxThread = 4;
    TSystemOptionForm D;
    EXPECT_FALSE(D.Parallel->isEnabled());
    EXPECT_EQ(D.MaxThread->IntValue(), 1);
    D.accept();
    EXPECT_EQ(SystemOption.MaxThread, 1);
}

TEST_F(OptionDialogsTest, SystemDependentControlsAndOk)
{
    SystemOption.ProcessorCount = 8;
    SystemOption.MaxThread = 0;  // unset in a fresh settings file
    FileOption.NotOverwrite = true;
    FileOption.ResetType = 1;
    TSystemOptionForm D;
    EXPECT_TRUE(D.Parallel->isEnabled());
    EXPECT_EQ(D.MaxThread->IntValue(), 1);
    EXPECT_TRUE(D.ResetType[1]->isChecked());
    D.Parallel->setChecked(false);
    EXPECT_FALSE(D.MaxThread->isEnabled());
    D.Parallel->setChecked(true);
    EXPECT_TRUE(D.MaxThread->isEnabled());
    D.MaxThread->setText(QStringLiteral("6"));

    // Rename/Skip and the reset choice are separate radio sets.
    D.Skip->setChecked(true);
    EXPECT_TRUE(D.ResetType[1]->isChecked());
    D.ResetType[2]->setChecked(true);
    EXPECT_TRUE(D.Skip->isChecked());
    D.NotOverwrite->setChecked(false);
    EXPECT_FALSE(D.Skip->isEnabled());
    EXPECT_FALSE(D.Command->isEnabled());
    D.UseExternalTool->setChecked(true);
    EXPECT_TRUE(D.Command->isEnabled());
    EXPECT_TRUE(D.CommandButton->isEnabled());
    D.Command->setText(QStringLiteral("notify-send done"));
    D.StartNumber->setText(QStringLiteral("123456789"));
    D.SortFiles->setChecked(true);
    D.BackColor = 0x0000FF;  // pure red
    D.SetFont(QStringLiteral("Serif"), 12);
    D.accept();

    EXPECT_EQ(SystemOption.MaxThread, 6);
    EXPECT_FALSE(FileOption.NotOverwrite);
    EXPECT_TRUE(FileOption.Skip);
    EXPECT_EQ(FileOption.ResetType, 2);
    EXPECT_EQ(SystemOption.Command, "notify-send done");
    EXPECT_LE(FileOption.StartNumber, 99999999);
    EXPECT_EQ(FileOption.SortMode, 1);
    EXPECT_EQ(DefaultBGColor.Red, 255);
    EXPECT_EQ(DefaultBGColor.Green, 0);
    EXPECT_EQ(DefaultBGColor.Blue, 0);
    EXPECT_LT(DefaultBGColor.Gray, 255);  // recomputed from the new colour
    EXPECT_EQ(UIFontName, "Serif");
    EXPECT_EQ(UIFontSize, 12);
}

TEST_F(OptionDialogsTest, SystemCancelKeepsFontAndColour)
{
    TSystemOptionForm D;
    EXPECT_EQ(D.FontButton->text(), QStringLiteral("Sans 9pt"));
    D.SetFont(QStringLiteral("Serif"), 14);
    EXPECT_EQ(D.FontButton->text(), QStringLiteral("Serif 14pt"));
    D.BackColor = 0;
    D.reject();
    EXPECT_EQ(UIFontName, "Sans");
    EXPECT_EQ(UIFontSize, 9);
    EXPECT_EQ(DefaultBGColor.Red, 255);
}

TEST_F(OptionDialogsTest, SystemFontButtonNamesTheFontInUseWhenNoneIsChosen)
{
    UIFontName.clear();
    UIFontSize = 0;
    {
        TSystemOptionForm D;
        EXPECT_EQ(D.FontButton->text(),
                  QStringLiteral("%1 %2pt").arg(D.font().family()).arg(D.font().pointSize()));
        D.accept();
    }
    EXPECT_EQ(UIFontName, "") << "still no font of its own";
}

TEST_F(OptionDialogsTest, CombineOkClampsAndCancelKeeps)
{
    {
        TCombineOptionForm D;
        D.TileWidth->setText(QStringLiteral("0"));
        D.reject();
        EXPECT_EQ(CombineOption.Width, 320);
    }
    TCombineOptionForm D;
    D.TileWidth->setText(QStringLiteral("640"));
    D.Rows->setText(QStringLiteral("500"));
    D.RowSpace->setText(QStringLiteral("5"));
    D.Order->setCurrentIndex(1);
    D.FillBlank->setChecked(false);
    D.BackColor = 0x123456;
    D.accept();
    EXPECT_EQ(CombineOption.Width, 640);
    EXPECT_GE(CombineOption.Rows, 1);
    EXPECT_LE(CombineOption.Rows, 99);
    EXPECT_EQ(CombineOption.RowSpace, 5);
    EXPECT_EQ(CombineOption.Order, 1);
    EXPECT_FALSE(CombineOption.FillBlank);
    EXPECT_EQ(CombineOption.BackgroundColor, 0x123456u);
}

TEST_F(OptionDialogsTest, FolderOwnFolderControlsFollowSameFolderBox)
{
    FileOption.SameDirectory = false;
    FileOption.OutputDirectory = "/tmp/out";
    FileOption.ShowDirectory = true;
    {
        TFolderOptionForm D;
        EXPECT_TRUE(D.OutputEdit->isEnabled());
        D.OutputEdit->setText(QStringLiteral("/elsewhere"));
        D.reject();
        EXPECT_EQ(FileOption.OutputDirectory, "/tmp/out");
    }
    TFolderOptionForm D;
    D.SameDirectory->setChecked(true);
    EXPECT_FALSE(D.OutputEdit->isEnabled());
    EXPECT_FALSE(D.OutputButton->isEnabled());
    EXPECT_FALSE(D.ShowDirectory->isEnabled());
    D.ClipboardEdit->setText(QStringLiteral("/no/such/folder"));
    D.accept();
    // Disabled controls keep their values, and OK stores them.
    EXPECT_TRUE(FileOption.SameDirectory);
    EXPECT_EQ(FileOption.OutputDirectory, "/tmp/out");
    EXPECT_TRUE(FileOption.ShowDirectory);
    EXPECT_EQ(FileOption.ClipBoardTempDir, "/no/such/folder");
}

TEST_F(OptionDialogsTest, PluginFolderWithoutPluginsAndOrderText)
{
    QTemporaryDir Exe;
    const std::string OldExe = ExeDir, OldPath = SPIPath, OldOrder = SPIOrder, OldDir = SPIOption.SPIDirectory;
    ExeDir = Exe.path().toStdString() + "/";
    SPIPath = ExeDir + "SusiePlugin";
    SPIOrder = "gone.spi=1";
    {
        TSusiePluginOptionForm D;
        // Nothing usable there: an empty list and no configure button.
        EXPECT_EQ(D.CheckList->count(), 0);
        EXPECT_TRUE(D.ConfigButton->isHidden());
        // Items that have no loaded plug-in behind them still reorder safely.
        for (const char* N : {"a.spi", "b.spi", "c.spi"}) {
            auto* Item = new QListWidgetItem(QString::fromLatin1(N), D.CheckList);
            Item->setFlags(Item->flags() | Qt::ItemIsUserCheckable);
            Item->setCheckState(Qt::Unchecked);
        }
        D.CheckList->item(0)->setCheckState(Qt::Checked);
        D.MoveItem(0, 2);
        D.MoveItem(1, 1);   // onto itself: nothing
        D.MoveItem(1, 7);   // outside the items: nothing
        EXPECT_EQ(D.CheckList->currentRow(), 2);
        D.accept();
    }
    // The default folder chosen explicitly is stored as empty.
    EXPECT_EQ(SPIOption.SPIDirectory, "");
    EXPECT_EQ(SPIOrder, "b.spi=0,c.spi=0,a.spi=1");
    {
        SPIPath = Exe.path().toStdString();
        SPIOrder = "x.spi=1";
        TSusiePluginOptionForm D;
        D.reject();
        EXPECT_EQ(SPIOrder, "x.spi=1");
        EXPECT_EQ(SPIOption.SPIDirectory, "");
    }
    ExeDir = OldExe; SPIPath = OldPath; SPIOrder = OldOrder; SPIOption.SPIDirectory = OldDir;
}
