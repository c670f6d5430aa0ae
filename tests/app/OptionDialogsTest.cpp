// The metadata, system and combine settings dialogs: OK stores, Cancel
// leaves the records alone, ranges are held, dependent controls follow.
#include "app/CombineOptionFrm.h"
#include "app/MetadataOptionFrm.h"
#include "app/SystemOptionFrm.h"
#include "core/Global.h"
#include "effects/ui/NumEdit.h"
#include "tests/app/TestApp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

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
