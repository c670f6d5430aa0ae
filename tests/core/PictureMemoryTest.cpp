// The picture memory budget a run reads under.
#include "core/Errors.h"
#include "core/Global.h"
#include "core/PictureMemory.h"

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
