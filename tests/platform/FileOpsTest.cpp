// Copies, renames and mapped files.
#include "platform/FileMap.h"
#include "platform/FileOps.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class FileOps : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(Dir); }
    void TearDown() override { fs::remove_all(Dir); }
    std::string P(const std::string& Name) const { return (Dir / Name).string(); }
    // Writes Text to Path; the path.
    static std::string Put(const std::string& Path, const std::string& Text)
    {
        std::ofstream(Path, std::ios::binary) << Text;
        return Path;
    }
    static std::string Get(const std::string& Path)
    {
        std::ifstream F(Path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(F), {});
    }
    const fs::path Dir = fs::temp_directory_path() /
        ("vestro_fileops_" + std::to_string(::getpid()) + "_" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
};
using FileMap = FileOps;

} // namespace

TEST_F(FileOps, RenameNeverReplacesAnExistingFile)
{
    Put(P("a"), "source");
    Put(P("b"), "keep me");
    EXPECT_EQ(platform::RenameNoReplace(P("a"), P("b")), EEXIST);
    EXPECT_EQ(std::make_tuple(Get(P("a")), Get(P("b"))), std::make_tuple("source", "keep me"));
    EXPECT_EQ(platform::RenameNoReplace(P("a"), P("c")), 0);
    EXPECT_FALSE(platform::PathExists(P("a")));
    EXPECT_EQ(Get(P("c")), "source");
}

TEST_F(FileOps, CopyKeepsTimesAndRespectsFailIfExists)
{
    Put(P("src"), "data");
    const auto T = fs::file_time_type::clock::now() - std::chrono::hours(48);
    fs::last_write_time(P("src"), T);
    ASSERT_EQ(platform::CopyFile(P("src"), P("dst"), true), 0);
    EXPECT_EQ(std::make_tuple(Get(P("dst")), fs::last_write_time(P("dst"))), std::make_tuple("data", T));
    Put(P("src"), "new");
    EXPECT_EQ(platform::CopyFile(P("src"), P("dst"), true), EEXIST);
    EXPECT_EQ(Get(P("dst")), "data");
    EXPECT_EQ(platform::CopyFile(P("src"), P("dst"), false), 0);
    EXPECT_EQ(Get(P("dst")), "new");
    // Nothing but the two files: no temporary left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 2);
}

// A full disk (here a file-size limit) is an error, never a short file
// reported as written: nothing at the target, an old file there untouched.
TEST_F(FileOps, AFullDiskFailsTheCopyAndTheNewFile)
{
    const std::string big(200000, 'x');
    Put(P("src"), big);
    Put(P("old"), "old");
    struct rlimit Old { };
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &Old), 0);
    const auto OldSignal = signal(SIGXFSZ, SIG_IGN);
    struct rlimit Small = Old;
    Small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &Small), 0);
    const int Copy = platform::CopyFile(P("src"), P("dst"), true);
    const int Over = platform::CopyFile(P("src"), P("old"), false);
    const int New = platform::WriteNewFile(P("new"), big.data(), big.size());
    setrlimit(RLIMIT_FSIZE, &Old);
    signal(SIGXFSZ, OldSignal);
    EXPECT_EQ(std::make_tuple(Copy, Over, New), std::make_tuple(EFBIG, EFBIG, EFBIG));
    EXPECT_EQ(Get(P("old")), "old");
    EXPECT_FALSE(platform::PathExists(P("dst")) || platform::PathExists(P("new")));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 2); // no temporary left
}

TEST_F(FileMap, MapsRegularFilesOnlyAndNeverWaitsOnAFifo)
{
    std::string bytes(10000, 0);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7);
    platform::TMappedFile m(Put(P("a.bin"), bytes));
    ASSERT_NE(m.Data(), nullptr);
    ASSERT_EQ(m.Size(), bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), m.Data(), [](char a, uint8_t b) { return uint8_t(a) == b; }));
    EXPECT_FALSE(m.Damaged());

    ASSERT_EQ(mkfifo(P("pipe.jpg").c_str(), 0600), 0);
    platform::TMappedFile f;
    EXPECT_FALSE(f.Open(P("pipe.jpg"))); // no writer: a blocking open would hang here
    EXPECT_FALSE(f.Open(Put(P("empty.jpg"), "")) || f.Open(Dir.string()) || f.Open(P("missing")));
    EXPECT_EQ(f.Data(), nullptr);
}

// Another program cuts the file short while it is read: the missing part
// reads as zeros and the mapping says so, instead of the process dying.
TEST_F(FileMap, AFileCutShortWhileMappedReadsZerosAndSaysSo)
{
    const long page = sysconf(_SC_PAGESIZE);
    const std::string p = Put(P("cut.bin"), std::string(size_t(page) * 3, '\xAB'));
    platform::TMappedFile m(p);
    ASSERT_EQ(m.Size(), uint64_t(page) * 3);
    ASSERT_EQ(truncate(p.c_str(), page), 0);
    const volatile uint8_t* d = m.Data();
    EXPECT_EQ(d[0], 0xAB);
    EXPECT_EQ(d[page * 2 + 5], 0);
    EXPECT_TRUE(m.Damaged());
    platform::TMappedFile other(Put(P("whole.bin"), "\x01\x02\x03"));
    EXPECT_FALSE(other.Damaged());
}
