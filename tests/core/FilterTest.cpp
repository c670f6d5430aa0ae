#include "core/Filter.h"

#include <gtest/gtest.h>

namespace {

// A filter with fixed loop counts, to look at the share rules alone.
class TFixedFilter : public TFilter {
public:
    uint32_t H = 0, V = 0, G = 1, Resets = 0;
    uint32_t GetVLoopCount() override { return V; }
    uint32_t GetHLoopCount() override { return H; }
    uint32_t GetVMinBlock() override { return G; }
    void ResetParam() override { ++Resets; }
    uint64_t GetHFilterWorkSize(uint64_t BufLength) override { return BufLength; }
    void HFilter(uint8_t*, const uint8_t*, uint32_t) override {}
    void VFilter(uint8_t*, const uint8_t*, uint32_t) override {}
};

} // namespace

// Every item belongs to exactly one thread, for any thread count; vertical
// shares are whole granules and may be empty.
TEST(FilterShares, EveryItemBelongsToOneThread)
{
    for (uint32_t threads = 1; threads <= 64; ++threads) {
        TFixedFilter g;
        g.SetMaxThreadNum(threads);
        g.V = 1000;
        g.G = 16;
        g.H = 777;
        g.FVFilterSrcBlockSize = g.FHFilterSrcBlockSize = 1;
        g.FVFilterDestBlockSize = g.FHFilterDestBlockSize = 1;
        uint32_t vnext = 0, hnext = 0;
        for (uint32_t t = 0; t < threads; ++t) {
            uint8_t* d = nullptr;
            const uint8_t* s = nullptr;
            uint32_t n;
            g.GetVFilterRange(d, s, t, n);
            if (n) {
                EXPECT_TRUE(n % 16 == 0 || vnext + n == 1000) << n;
                EXPECT_EQ(reinterpret_cast<uintptr_t>(s), vnext);
                vnext += n;
            }
            d = nullptr;
            s = nullptr;
            g.GetHFilterRange(d, s, t, n);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(s), hnext);
            hnext += n;
        }
        EXPECT_EQ(vnext, 1000u);
        EXPECT_EQ(hnext, 777u);
    }
}

TEST(FilterShares, SameThreadCountKeepsThePlanAndWorkMemoryIsPerThread)
{
    TFixedFilter f;
    f.SetMaxThreadNum(2);
    const uint32_t resets = f.Resets;
    f.SetMaxThreadNum(2);
    EXPECT_EQ(f.Resets, resets);
    f.SetMaxThreadNum(3);
    EXPECT_EQ(f.Resets, resets + 1);

    f.AllocWorkBuffers(200, 0);
    ASSERT_EQ(f.HFilterWork.size(), 3u);
    for (uint32_t t = 0; t < 3; ++t) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(f.HFilterWork[t]) % 128, 0u);
        f.HFilterWork[t][199] = 1; // whole 128-byte units, 256 each
    }
    EXPECT_EQ(f.HFilterWork[1] - f.HFilterWork[0], 256);
    EXPECT_EQ(f.VFilterWorkMem, nullptr);

    f.FHBufNeedAlign = true; // a ring: 2 x size per thread, aligned to 2 x size
    f.AllocWorkBuffers(1024, 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(f.HFilterWork[0]) % 2048, 0u);
    EXPECT_EQ(f.HFilterWork[1] - f.HFilterWork[0], 2048);
    f.FreeWorkBuffers();
    EXPECT_EQ(f.HFilterWorkMem, nullptr);
    EXPECT_EQ(f.HFilterWork[0], nullptr);
}

TEST(Filter, GammaTables)
{
    InitGammaTables();
    EXPECT_EQ(LinearToSRGB8[0], 0);
    EXPECT_EQ(LinearToSRGB8[8192], 255);
    EXPECT_EQ(LinearToSRGB8[4096], 188); // half the light is not half the sample
    EXPECT_NEAR(SRGB8ToLinear[255], 8192.0f, 0.01f);
    EXPECT_NEAR(SRGB8ToLinear[10], 24.86f, 0.01f); // linear segment
    EXPECT_EQ(LinearToSRGB12[8192], 4080);
    EXPECT_NEAR(SRGB12ToLinear[4080], 8192.0f, 0.01f);
    // Round trips and monotony.
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(LinearToSRGB8[int(SRGB8ToLinear[i] + 0.5f)], i) << i;
    for (int j = 1; j <= 8192; ++j) {
        ASSERT_GE(LinearToSRGB8[j], LinearToSRGB8[j - 1]);
        ASSERT_GE(LinearToSRGB12[j], LinearToSRGB12[j - 1]);
    }
}
