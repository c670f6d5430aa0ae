// The fuzz target's seeds must reach the decoders they are made for: a seed
// that lands in another reader fails at its first bytes and leaves the
// decoder it was meant for unexplored.
#include "KodexTestUtil.h"
#include "fuzz/KodexFuzzSeeds.h"
#include "fuzz/KodexFuzzTarget.h"

#include <set>

using FuzzSeeds = TKodexTest;

TEST_F(FuzzSeeds, EverySeedDecodesThroughTheEntryItsSelectorPicks)
{
    MakeFuzzSeeds(Scratch.Dir.string());
    const TFuzzEntries entries{KodexProcs.ReadPNG, KodexProcs.ReadJPEG, KodexProcs.ReadWIC, KodexProcs.ReadWICThumbnail,
                               KodexProcs.ReadWICInfo};
    std::set<uint8_t> selectors;
    int seeds = 0;
    for (const auto& e : std::filesystem::directory_iterator(Scratch.Dir)) {
        const std::vector<uint8_t> d = ReadBytes(e.path().string());
        ASSERT_GT(d.size(), 1u);
        EXPECT_NE(0, RunFuzzInput(entries, d.data(), d.size())) << e.path().filename() << " " << int(d[0]);
        selectors.insert(d[0]);
        ++seeds;
    }
    EXPECT_GT(seeds, 40);
    // Every entry and option the seeds are meant to reach is reached.
    for (uint8_t s : {0x00, 0x80, 0x01, 0x15, 0x02, 0x22})
        EXPECT_TRUE(selectors.count(s)) << int(s);
    EXPECT_TRUE(TakeErrors().empty());
}
