#include "core/SusiePlugin.h"

#include "core/ErrorLog.h"

#include "FilesTestUtil.h"

#include <thread>

namespace fs = std::filesystem;

namespace {

const fs::path kBuilt = fs::path(VESTRO_TEST_BIN_DIR) / "spi";

// A plug-in folder holding the PNM reader, the same reader announcing an
// export interface, and a file that only looks like a plug-in.
class SusiePluginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(Dir / "plugins");
        fs::copy_file(kBuilt / "pnm.spi", Dir / "plugins" / "pnm.spi");
        fs::copy_file(kBuilt / "export.spi", Dir / "plugins" / "export.spi");
        std::ofstream(Dir / "plugins" / "junk.spi") << "not a library";
        Pnm.LoadSPI(Folder(), "pnm.spi");
        ASSERT_EQ(Pnm.Count(), 1u);
    }

    // A W x H PPM with distinct pixels (top row first, red-green-blue).
    fs::path WritePpm(const std::string& Name, const std::string& Comment = "", int W = 3, int H = 2)
    {
        const fs::path p = Dir / Name;
        std::ofstream f(p, std::ios::binary);
        f << "P6\n" << Comment << (Comment.empty() ? "" : "\n") << W << " " << H << "\n255\n";
        for (int i = 0; i < W * H * 3; ++i)
            f.put(char(i * 13 + 1));
        return p;
    }
    std::string Folder() const { return (Dir / "plugins").string(); }
    // The channel count and pixels Spi reads from P; (0, nothing) when it fails.
    static std::pair<uint32_t, std::vector<uint8_t>> Read(TSusiePlugin* Spi, const fs::path& P)
    {
        TImgHolder img;
        if (!SusieToImg(Spi, P.string(), img.I, 0, TBGColor{}))
            return {};
        return {img.I.Channels, Pixels(img.I)};
    }
    TTempDir Temp;
    const fs::path Dir{Temp.Path};
    TSPIList Pnm; // the PNM reader alone
};

// Expected picture of WritePpm, top row first, blue-green-red.
std::vector<uint8_t> PpmPixels()
{
    std::vector<uint8_t> v;
    for (int px = 0; px < 6; ++px)
        for (int c : {2, 1, 0})
            v.push_back(uint8_t((px * 3 + c) * 13 + 1));
    return v;
}

} // namespace

TEST_F(SusiePluginTest, OnlyImportPluginsAreListed)
{
    std::string names;
    TSPIList::GetSPIList(Folder(), names);
    EXPECT_EQ(names, "pnm.spi");
    TSPIList list;
    list.LoadSPI(Folder(), "export.spi,junk.spi,missing.spi,pnm.spi");
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.Items(0)->Name(), "pnm.spi");
}

TEST(SusieOrder, StoredOrderIsKeptNewOnesComeLastDisabled)
{
    std::string r;
    TSPIList::CreateNewOrder("a.spi,b.spi,c.spi", "gone.spi=1,c.spi=1,a.spi=0,c.spi=0", r);
    EXPECT_EQ(r, "c.spi=1,a.spi=0,b.spi=0");
    TSPIList::CreateNewOrder("a.spi", "", r);
    EXPECT_EQ(r, "a.spi=0");
    TSPIList::CreateNewOrder("", "a.spi=1", r);
    EXPECT_EQ(r, "");
    std::string use;
    TSPIList::GetUseSPINames("c.spi=1,a.spi=0,\"my reader.spi=1\"", use);
    EXPECT_EQ(use, "c.spi,\"my reader.spi\"");
    EXPECT_EQ(SplitCommaText(use), (std::vector<std::string>{"c.spi", "my reader.spi"}));
    EXPECT_EQ(SplitCommaText(JoinCommaText({"a,b", "say \"hi\"", ""})),
              (std::vector<std::string>{"a,b", "say \"hi\"", ""}));
}

TEST_F(SusiePluginTest, ReadsThroughThePlugin)
{
    TSPIList& list = Pnm;
    const fs::path ppm = WritePpm("x.PPM");
    EXPECT_TRUE(list.IsSupportExt(ppm.string()) && list.IsSupportExt("a/b.pgm"));
    EXPECT_FALSE(list.IsSupportExt("a/b.png"));
    uint8_t head[SPI_HEADER_SIZE] = {'P', '6'};
    TSusiePlugin* spi = list.FindSupportSPI(ppm.string(), head);
    ASSERT_NE(spi, nullptr);
    head[1] = '3';
    EXPECT_EQ(list.FindSupportSPI(ppm.string(), head), nullptr);

    TPictureInfo info;
    ASSERT_EQ(spi->GetPictureInfo(ppm.string(), info), 0);
    EXPECT_EQ(std::make_tuple(info.Width, info.Height), std::make_tuple(3, 2));
    EXPECT_EQ(info.Left, 0) << "handed over by name";
    const void* extra = info.hInfo; // the record is packed: no reference to its field
    EXPECT_EQ(extra, nullptr) << "released by the wrapper";

    EXPECT_EQ(Read(spi, ppm), std::make_pair(3u, PpmPixels()));

    // A name that is not UTF-8 goes over in memory.
    const fs::path odd = Dir / "caf\xe9.ppm";
    fs::copy_file(ppm, odd);
    EXPECT_TRUE(IsNotAnsiPath(odd.string()));
    EXPECT_FALSE(IsNotAnsiPath("/tmp/caf\xc3\xa9.ppm"));
    ASSERT_EQ(spi->GetPictureInfo(odd.string(), info), 0);
    EXPECT_EQ(info.Left, 1);
    EXPECT_EQ(Read(spi, odd), std::make_pair(3u, PpmPixels()));

    // A top-down gray bitmap with a palette.
    const fs::path pgm = Dir / "g.pgm";
    std::ofstream(pgm, std::ios::binary) << "P5 2 2 255\n"
                                         << "\x01\x02\x03\x04";
    EXPECT_EQ(Read(spi, pgm), std::make_pair(1u, std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST_F(SusiePluginTest, DamagedPluginOutputFailsAndLeaksNothing)
{
    TSPIList& list = Pnm;
    ErrorLog.Clear();
    for (const char* c : {"#badheader", "#shortbits", "#fail"}) {
        const fs::path p = WritePpm("bad.ppm", c, 40, 30);
        TImgInfo img;
        EXPECT_FALSE(SusieToImg(list.Items(0), p.string(), img, 0, TBGColor{})) << c;
        EXPECT_EQ(img.Mem, nullptr);
    }
    // The two damaged bitmaps are logged; a plug-in's own failure is left to
    // the caller, which reports the file as not loaded.
    const std::string bad = (Dir / "bad.ppm").string();
    EXPECT_EQ(ErrorLog.Lines(), (std::vector<std::string>{bad + ": Unknown format", bad + ": Unknown format"}));
    ErrorLog.Clear();
    EXPECT_EQ(Read(list.Items(0), Dir / "missing.ppm").first, 0u);
}

TEST_F(SusiePluginTest, PictureCallsOfOnePluginAreSerialised)
{
    TSPIList& list = Pnm;
    const fs::path ppm = WritePpm("x.ppm");
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 4; ++i)
                good += Read(list.Items(0), ppm).first == 3;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(good, 24) << "the plug-in saw two callers at once";
}
