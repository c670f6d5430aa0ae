#include "platform/FileOps.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

class FileOps : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(Dir); }
    void TearDown() override { fs::remove_all(Dir); }
    std::string P(const std::string& Name) const { return (Dir / Name).string(); }
    static void Put(const std::string& Path, const std::string& Text) { std::ofstream(Path, std::ios::binary) << Text; }
    static std::string Get(const std::string& Path)
    {
        std::ifstream F(Path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(F), {});
    }
    const fs::path Dir = fs::temp_directory_path() / ("vestro_fileops_" + std::to_string(::getpid()) + "_" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

} // namespace

TEST_F(FileOps, RenameNeverReplacesAnExistingFile)
{
    Put(P("a"), "source");
    Put(P("b"), "keep me");
    EXPECT_EQ(platform::RenameNoReplace(P("a"), P("b")), EEXIST);
    EXPECT_EQ(Get(P("a")), "source");
    EXPECT_EQ(Get(P("b")), "keep me");
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
    EXPECT_EQ(Get(P("dst")), "data");
    EXPECT_EQ(fs::last_write_time(P("dst")), T);
    Put(P("src"), "new");
    EXPECT_EQ(platform::CopyFile(P("src"), P("dst"), true), EEXIST);
    EXPECT_EQ(Get(P("dst")), "data");
    EXPECT_EQ(platform::CopyFile(P("src"), P("dst"), false), 0);
    EXPECT_EQ(Get(P("dst")), "new");
    // Nothing but the two files: no temporary left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 2);
}
