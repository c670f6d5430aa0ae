// The picture memory budget a run reads under.
#include "core/Errors.h"
#include "core/Global.h"
#include "core/PictureMemory.h"
#include "platform/PageMemory.h"

#include <gtest/gtest.h>

TEST(PictureMemory, ARunKeepsTheBudgetOfItsSettingsCopy)
{
    const int32_t Saved = SystemOption.PictureMemoryLimit;
    TSystemOption RunCopy = SystemOption;
    RunCopy.PictureMemoryLimit = 1; // MiB
    {
        const TPictureBudgetScope Budget(RunCopy);
        // A dialog raises the limit while the run goes on: this run keeps its own.
        SystemOption.PictureMemoryLimit = 4096;
        EXPECT_THROW(CheckPictureMemory(2u << 20), EVestroError);
        EXPECT_NO_THROW(CheckPictureMemory(1u << 20));
    }
    // Outside a run the settings as they are now count.
    EXPECT_NO_THROW(CheckPictureMemory(2u << 20));
    SystemOption.PictureMemoryLimit = Saved;
}

// A worker keeps the blocks of its last picture for the next within half the
// run's budget: a limit the user set bounds them too.
TEST(PictureMemory, TheRunsBudgetCapsTheBlocksAWorkerKeeps)
{
    constexpr uint64_t MiB = uint64_t(1) << 20;
    TSystemOption RunCopy = SystemOption;
    RunCopy.PictureMemoryLimit = 6; // MiB: blocks kept up to 3 MiB together
    platform::TPageReuse Keep(uint64_t(1) << 30);
    platform::PageFree(platform::PageAlloc(2 * MiB));
    platform::PageFree(platform::PageAlloc(2 * MiB));
    ASSERT_EQ(Keep.Count(), 2);
    {
        const TPictureBudgetScope Budget(RunCopy);
        EXPECT_EQ(Keep.Count(), 1); // the oldest went
        platform::PageFree(platform::PageAlloc(4 * MiB));
        EXPECT_EQ(Keep.Count(), 1);
        EXPECT_LE(Keep.Bytes(), 3 * MiB);
    }
}
