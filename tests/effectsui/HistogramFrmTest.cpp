// The histogram window on gray or empty sources, drawn offscreen.
#include "effects/ui/HistogramFrm.h"

#include "core/Global.h"
#include "UiTestApp.h"

#include <QComboBox>
#include <QRadioButton>

#include <memory>
#include <vector>

namespace {

struct HistogramFrmTest : testing::Test {
    std::unique_ptr<THistogramForm> F;
    int Updates = 0;
    void SetUp() override
    {
        TestApp();
        Settings.Preview.HistogramType = 0;
        Settings.Preview.HistogramChannel = 0;
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
};

} // namespace

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
