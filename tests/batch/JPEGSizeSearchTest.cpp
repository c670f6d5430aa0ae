#include "batch/JPEGSizeSearch.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

using Tries = std::vector<std::pair<int, int>>;

// An encoder that records its tries and fits only at or below FitQuality.
TJPEGSearchResult Search(TJPEGSizeSearch S, int FitQuality, Tries& Seen)
{
    std::vector<uint8_t> Buf(1000);
    return SearchJPEGFileSize(S, Buf, [&](int32_t Q, int32_t SS, std::vector<uint8_t>& B, uint32_t& Size) {
        Seen.emplace_back(Q, SS);
        Size = Q <= FitQuality ? 900 : 5000;
        return Size <= B.size();
    });
}

} // namespace

TEST(JPEGSizeSearch, LowersChromaFirstThenQualityDownToTheLimit)
{
    Tries Seen;
    const TJPEGSearchResult R = Search({90, 2, 80, 0}, 0, Seen);
    Tries Want = {{90, 2}, {90, 1}, {90, 0}};
    for (int Q = 89; Q >= 80; --Q)
        Want.emplace_back(Q, 0);
    EXPECT_EQ(Seen, Want);
    EXPECT_FALSE(R.Fitted);
    EXPECT_EQ(R.Quality, 80); // written at the last try without a size check
    EXPECT_EQ(R.SampleType, 0);
}

TEST(JPEGSizeSearch, SampleTypeLimitAndOddSettingsStillEnd)
{
    Tries Seen;
    // 4:1:1 allowed: 4:2:2 -> 4:2:0 -> 4:1:1, then quality.
    Search({90, 1, 89, 3}, 0, Seen);
    EXPECT_EQ(Seen, (Tries{{90, 1}, {90, 0}, {90, 3}, {89, 3}}));
    Seen.clear();
    // Below the limit's sample type the search jumps straight to it.
    Search({90, 0, 90, 1}, 0, Seen);
    EXPECT_EQ(Seen, (Tries{{90, 0}}));
    Seen.clear();
    const TJPEGSearchResult R = Search({90, 2, -20, 7}, 0, Seen);
    EXPECT_EQ(R.Quality, 1);
    EXPECT_LT(Seen.size(), 200u);
}
