// Whole runs at the edges other tests leave open: the run's memory budget,
// collision rules and numbering as the user reads them in the output folder.
#include "BatchFixture.h"

#include "core/PictureMemory.h"

namespace {

class SweepBatch : public BatchRunTest {
protected:
    void SetUp() override
    {
        BatchRunTest::SetUp();
        SavedLimit = SystemOption.PictureMemoryLimit;
        SavedSystem = SystemOption;
    }
    void TearDown() override
    {
        SystemOption = SavedSystem;
        SystemOption.PictureMemoryLimit = SavedLimit;
        BatchRunTest::TearDown();
    }
    int32_t SavedLimit = 0;
    TSystemOption SavedSystem;
};

} // namespace

// A picture that the run lets in with more than its whole budget (the
// decoded picture and as much again) but that needs less than the budget
// converts alone, with three workers and small pictures beside it, and the
// run ends: it neither waits for room that never comes nor is refused.
TEST_F(SweepBatch, APictureLargerThanTheWholeRunBudgetAloneConverts)
{
    SystemOption.PictureMemoryLimit = 1; // MiB; the large one is let in with 2 MB
    SystemOption.ParallelProcessing = true;
    SystemOption.MaxThread = 3;
    const fs::path Big = MakeBMP("big.bmp", 500, 500, 1); // 750 kB decoded
    const fs::path A = MakeBMP("a.bmp", 40, 30, 2), B = MakeBMP("b.bmp", 30, 40, 3);
    List({A, Big, B});
    ASSERT_GT(PictureBytes(500, 500, 4) * 2, uint64_t(1) << 20);
    EXPECT_TRUE(Run(3, IO));
    EXPECT_THAT(Lines(), IsEmpty());
    EXPECT_EQ(SizeOf(Out("big.bmp")), std::make_pair(500, 500));
    EXPECT_EQ(Read(Out("big.bmp")).substr(54), Read(Big).substr(54)); // the very pixels
    EXPECT_EQ(SizeOf(Out("a.bmp")), std::make_pair(40, 30));
    EXPECT_EQ(SizeOf(Out("b.bmp")), std::make_pair(30, 40));
}
