// A file copied where a move cannot go (another file system) is the file the
// user had: its bytes, its permission bits and its time, and never put over
// a file when that is not allowed.
#include "platform/FileOps.h"
#include "platform/FileTimes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Bytes(const fs::path& P)
{
    std::ifstream F(P, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(F), {});
}

} // namespace

TEST(SweepCopyFile, KeepsBytesModeAndTime)
{
    const fs::path D = fs::temp_directory_path() / ("vestro-sweep-copy-" + std::to_string(::getpid()));
    fs::remove_all(D);
    fs::create_directories(D);
    const std::string Big(3 << 20, 'x'); // more than one read of the copier
    for (const mode_t Mode : {mode_t(0640), mode_t(0604), mode_t(0755)}) {
        SCOPED_TRACE(Mode);
        const fs::path Src = D / "src.jpg", Dst = D / "dst.jpg";
        fs::remove(Dst);
        std::ofstream(Src, std::ios::binary | std::ios::trunc) << Big << Mode;
        ASSERT_EQ(::chmod(Src.c_str(), Mode), 0);
        ASSERT_TRUE(platform::SetLastWriteTime(Src.string(), {1500000001, 123456789}));
        ASSERT_EQ(platform::CopyFile(Src.string(), Dst.string(), true), 0);
        EXPECT_EQ(Bytes(Dst), Bytes(Src));
        struct stat St { };
        ASSERT_EQ(::stat(Dst.c_str(), &St), 0);
        EXPECT_EQ(St.st_mode & 07777, Mode);
        platform::TFileStat T;
        ASSERT_TRUE(platform::StatFile(Dst.string(), T));
        EXPECT_EQ(T.LastWrite.Sec, 1500000001);
        EXPECT_EQ(T.LastWrite.NSec, 123456789u);
        // Not over an existing file unless allowed; allowed, it replaces it.
        std::ofstream(Dst, std::ios::trunc) << "mine";
        EXPECT_EQ(platform::CopyFile(Src.string(), Dst.string(), true), EEXIST);
        EXPECT_EQ(Bytes(Dst), "mine");
        EXPECT_EQ(platform::CopyFile(Src.string(), Dst.string(), false), 0);
        EXPECT_EQ(Bytes(Dst), Bytes(Src));
        // Nothing left beside them.
        EXPECT_EQ(std::distance(fs::directory_iterator(D), fs::directory_iterator()), 2);
    }
    fs::remove_all(D);
}
