// The histogram window: when it asks for new tables, and gray or empty
// sources; all drawn offscreen.
#include "effects/ui/HistogramFrm.h"

#include "core/Global.h"
#include "UiTestApp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct HistogramFrmTest : testing::Test {
    std::unique_ptr<THistogramForm> F;
    int Updates = 0;
    void SetUp() override
    {
        TestApp();
        PreviewOption.HistogramType = 0;
        PreviewOption.HistogramChannel = 0;
        F = std::make_unique<THistogramForm>();
        F->SetParentForm(nullptr, [this] { ++Updates; });
    }
    // Pixels of the drawing that are neither white nor the black frame.
    int Painted()
    {
        F->RenderHistogram();
        int n = 0;
        for (int y = 1; y < THistogramForm::BufHeight - 1; ++y)
            for (int x = 1; x < THistogramForm::BufWidth - 1; ++x)
                n += F->BackBuf.pixel(x, y) != qRgb(255, 255, 255);
        return n;
    }
    QRgb At(int Value, int Row) { return F->BackBuf.pixel(Value + 6, Row); }
};

// Source of 100 pixels: blue at 10, green at 20, red at 30 (Y, Cb, Cr 40, 50, 60).
std::vector<uint32_t> Source()
{
    std::vector<uint32_t> c(HistogramCounters, 0);
    c[10] = c[256 + 20] = c[512 + 30] = 100;
    c[768 + 40] = c[1024 + 50] = c[1280 + 60] = 100;
    return c;
}

} // namespace

TEST_F(HistogramFrmTest, OnlyASwitchOfGroupAsksForNewTables)
{
    const auto src = Source();
    F->SetDefaultCount(src.data());
    F->UpdateHistogram(src.data());
    F->ChannelList->setCurrentIndex(1); // RGB -> R
    F->ChannelList->setCurrentIndex(2); // R -> G
    EXPECT_EQ(Updates, 0);
    F->ChannelList->setCurrentIndex(4); // G -> Y
    EXPECT_EQ(Updates, 1);
    EXPECT_EQ(F->HistogramType, 1);
    // Until they come, no blue counts are drawn as luma.
    F->RenderHistogram();
    EXPECT_EQ(At(10, 128), qRgb(255, 255, 255));
    F->UpdateHistogram(src.data()); // Y from table 3
    F->RenderHistogram();
    EXPECT_EQ(At(40, 128), qRgb(202, 202, 202));
    F->ChannelList->setCurrentIndex(5);
    EXPECT_EQ(Updates, 1);

}

TEST_F(HistogramFrmTest, GraySourcesAndEmptyTables)
{
    // Gray source: only the RGB (gray) and Y views draw.
    std::vector<uint32_t> gray(HistogramCounters, 0);
    gray[7] = gray[768 + 7] = 4;
    F->SetDefaultCount(gray.data());
    EXPECT_TRUE(F->IsGrayscale);
    F->UpdateHistogram(gray.data());
    EXPECT_GT(Painted(), 0);
    F->ChannelList->setCurrentIndex(1);
    EXPECT_EQ(Painted(), 0);
    F->ChannelList->setCurrentIndex(4);
    EXPECT_GT(Painted(), 0);

    // Log scale with every count 1: nothing to scale, nothing drawn.
    std::vector<uint32_t> ones(HistogramCounters, 1);
    F->SetDefaultCount(ones.data());
    F->UpdateHistogram(ones.data());
    F->LogButton->setChecked(true);
    EXPECT_EQ(Painted(), 0);

    // No pixels counted (a gray and alpha source): the frame alone.
    std::vector<uint32_t> none(HistogramCounters, 0);
    F->SetDefaultCount(none.data());
    EXPECT_EQ(F->TotalCount, 0u);
    F->LinearButton->setChecked(true);
    EXPECT_EQ(Painted(), 0);
}
