#include "platform/PageMemory.h"

#include <gtest/gtest.h>

TEST(PageMemory, ZeroFilledPageAlignedAndSized)
{
    auto* p = static_cast<uint8_t*>(platform::PageAlloc(10000));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 4096, 0u);
    EXPECT_EQ(platform::PageSize(p), 10000u);
    for (int i = 0; i < 10000; ++i)
        ASSERT_EQ(p[i], 0);
    platform::PageFree(p);
    platform::PageFree(nullptr);
    EXPECT_EQ(platform::PageAlloc(0), nullptr);
    EXPECT_EQ(platform::PageAlloc(uint64_t(1) << 60), nullptr);
}
