#include "core/SafeWrite.h"
#include "FilesTestUtil.h"

#include <stdexcept>

namespace fs = std::filesystem;

namespace {
std::string Slurp(const fs::path& P)
{
    const std::vector<uint8_t> b = ReadBytes(P.string());
    return {b.begin(), b.end()};
}
} // namespace

TEST(SafeWrite, ReplacesOnlyOnSuccessAndLeavesNoTemporaryFile)
{
    TTempDir D;
    const fs::path dir = fs::path(D.Path).parent_path(), p = dir / "out.dat";
    std::ofstream(p) << "old";

    EXPECT_FALSE(WriteFileAtomically(p.string(), [](std::FILE* f) {
        std::fputs("half", f);
        return false;
    }));
    EXPECT_EQ(Slurp(p), "old");
    EXPECT_THROW(WriteFileAtomically(p.string(), [](std::FILE*) -> bool { throw std::runtime_error("writer failed"); }),
                 std::runtime_error);
    EXPECT_EQ(Slurp(p), "old");
    {
        TSafeFileWriter w(p.string());
        ASSERT_NE(w.File(), nullptr);
        EXPECT_EQ(fs::path(w.TempPath()).parent_path(), dir);
        // never committed
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);

    EXPECT_TRUE(WriteFileAtomically(p.string(), "new data", 8, true));
    EXPECT_EQ(Slurp(p), "new data");
    EXPECT_TRUE(WriteFileAtomically(p.string(), "", 0));
    EXPECT_EQ(Slurp(p), "");
    EXPECT_FALSE(WriteFileAtomically((dir / "no" / "such.dat").string(), "x", 1));

    // Permission bits and symbolic links survive a replacement.
    fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(p.filename(), dir / "link.dat");
    EXPECT_TRUE(WriteFileAtomically((dir / "link.dat").string(), "via link", 8) && fs::is_symlink(dir / "link.dat"));
    EXPECT_EQ(Slurp(p), "via link");
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    fs::remove(dir / "link.dat");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
}

TEST(SafeWrite, ANewFileOfTheCallersIsWrittenInPlaceAndNeverOverAnother)
{
    TTempDir D;
    const fs::path dir = fs::path(D.Path).parent_path(), p = dir / ".out.~pending.tmp";
    auto Count = [&] { return std::distance(fs::directory_iterator(dir), {}); };

    // Written where it was asked for, with no second temporary file beside it.
    EXPECT_TRUE(WriteFileAtomically(
        p.string(),
        [&](std::FILE* f) {
            std::fputs("data", f);
            return Count() == 1 && fs::exists(p);
        },
        false, TWriteMode::NewFile));
    EXPECT_EQ(Slurp(p), "data");

    // A file already there is someone else's: it stays as it was.
    EXPECT_FALSE(WriteFileAtomically(p.string(), "other", 5, false, TWriteMode::NewFile));
    EXPECT_EQ(Slurp(p), "data");

    // A failed or abandoned write leaves nothing behind.
    fs::remove(p);
    EXPECT_FALSE(WriteFileAtomically(
        p.string(),
        [](std::FILE* f) {
            std::fputs("half", f);
            return false;
        },
        false, TWriteMode::NewFile));
    EXPECT_FALSE(fs::exists(p));
    {
        TSafeFileWriter w(p.string(), TWriteMode::NewFile);
        ASSERT_NE(w.File(), nullptr);
    }
    EXPECT_EQ(Count(), 0);
}
