// Which pictures a BMP can hold at all (its sizes are 32-bit): the check a
// run makes before it builds a picture that no BMP writer could write.
#include "core/Bitmap.h"

#include <gtest/gtest.h>

TEST(BitmapCapacity, EveryChannelCountAtItsSmallestFile)
{
    const struct {
        uint64_t W, H;
        uint32_t Channels;
        bool IndexColor, Holds;
    } Cases[] = {
        // 24 bits: 65536 x 21845 is 4294901814 bytes with the header, one
        // more row passes 2^32 - 1 (as the writer finds).
        {65536, 21845, 3, false, true},
        {65536, 21846, 3, false, false},
        {40000, 40000, 3, false, false},
        // A palette file may hold it at 1 bit per pixel.
        {40000, 40000, 3, true, true},
        {1u << 20, 32767, 3, true, true},
        {1u << 20, 32768, 3, true, false},
        // Gray at 8 bits, gray and alpha and BGRA at 32.
        {65536, 65535, 1, true, true},
        {65536, 65536, 1, false, false},
        {32768, 32767, 2, false, true},
        {32768, 32768, 2, true, false},
        {32768, 32768, 4, false, false},
        // Sizes a picture record never reaches are refused, never wrapped.
        {uint64_t(1) << 40, 1, 1, false, false},
        {1, uint64_t(1) << 40, 3, true, false},
        {1, 1, 4, false, true},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(BitmapMayHold(C.W, C.H, C.Channels, C.IndexColor), C.Holds)
            << C.W << " x " << C.H << " x " << C.Channels << (C.IndexColor ? " palette" : "");
}
