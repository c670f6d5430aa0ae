#include "platform/FileMap.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct FileMap : ::testing::Test {
    fs::path Dir = fs::temp_directory_path() / ("vestro_filemap_" + std::to_string(::getpid()));
    void SetUp() override { fs::create_directories(Dir); }
    void TearDown() override { fs::remove_all(Dir); }
    std::string Put(const std::string& Name, const std::vector<uint8_t>& Bytes)
    {
        const std::string p = (Dir / Name).string();
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(Bytes.data()), long(Bytes.size()));
        return p;
    }
};

TEST_F(FileMap, MapsRegularFilesOnlyAndNeverWaitsOnAFifo)
{
    std::vector<uint8_t> bytes(10000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7);
    platform::TMappedFile m(Put("a.bin", bytes));
    ASSERT_NE(m.Data(), nullptr);
    ASSERT_EQ(m.Size(), bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), m.Data()));
    EXPECT_FALSE(m.Damaged());

    const std::string fifo = (Dir / "pipe.jpg").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    platform::TMappedFile f;
    EXPECT_FALSE(f.Open(fifo)); // no writer: a blocking open would hang here
    EXPECT_FALSE(f.Open(Put("empty.jpg", {})));
    EXPECT_FALSE(f.Open(Dir.string()));
    EXPECT_FALSE(f.Open((Dir / "missing").string()));
    EXPECT_EQ(f.Data(), nullptr);
}

// Another program cuts the file short while it is read: the missing part
// reads as zeros and the mapping says so, instead of the process dying.
TEST_F(FileMap, AFileCutShortWhileMappedReadsZerosAndSaysSo)
{
    const long page = sysconf(_SC_PAGESIZE);
    const std::string p = Put("cut.bin", std::vector<uint8_t>(size_t(page) * 3, 0xAB));
    platform::TMappedFile m(p);
    ASSERT_EQ(m.Size(), uint64_t(page) * 3);
    ASSERT_EQ(truncate(p.c_str(), page), 0);
    const volatile uint8_t* d = m.Data();
    EXPECT_EQ(d[0], 0xAB);
    EXPECT_EQ(d[page * 2 + 5], 0);
    EXPECT_TRUE(m.Damaged());
    platform::TMappedFile other(Put("whole.bin", {1, 2, 3}));
    EXPECT_FALSE(other.Damaged());
}

} // namespace
