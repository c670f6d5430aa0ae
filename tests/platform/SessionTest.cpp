// The folder the single instance trusts with its lock and socket: refused for
// each way another user could reach or stand in for it.
#include "platform/Session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(PrivateFolder, EachConditionOnItsOwn)
{
    const fs::path Dir = fs::temp_directory_path() / ("vestro-session-" + std::to_string(getpid()));
    fs::remove_all(Dir);
    const fs::path Run = Dir / "run", Tmp = Dir / "tmp", Own = Tmp / ("vestro-" + std::to_string(getuid()));
    struct TCase {
        const char* What;
        std::function<void(const fs::path&)> Make; // makes the folder at the path
        bool Trusted;
    };
    auto Folder = [](mode_t Mode) {
        return [Mode](const fs::path& P) {
            fs::create_directory(P);
            chmod(P.c_str(), Mode);
        };
    };
    std::vector<TCase> Cases = {
        {"private", Folder(0700), true},
        {"group may read", Folder(0740), false},
        {"group may enter", Folder(0710), false},
        {"group may write", Folder(0720), false},
        {"others may read", Folder(0704), false},
        {"others may enter", Folder(0701), false},
        {"others may write", Folder(0702), false},
        {"a link to a private folder",
         [&](const fs::path& P) {
             Folder(0700)(Dir / "elsewhere");
             fs::create_directory_symlink(Dir / "elsewhere", P);
         },
         false},
        {"a file", [](const fs::path& P) { std::ofstream(P) << "x"; }, false},
    };
    if (geteuid() == 0)
        Cases.push_back({"another owner",
                         [&](const fs::path& P) {
                             Folder(0700)(P);
                             ASSERT_EQ(chown(P.c_str(), 65534, 65534), 0);
                         },
                         false});
    for (const TCase& c : Cases) {
        SCOPED_TRACE(c.What);
        // As the session's runtime folder: passed over for the temporary one.
        fs::remove_all(Dir);
        fs::create_directories(Tmp);
        c.Make(Run);
        EXPECT_EQ(platform::PrivateRuntimeFolder(Run.string(), Tmp.string()), c.Trusted ? Run.string() : Own.string());
        // As the folder in the temporary folder: the start runs alone.
        fs::remove_all(Dir);
        fs::create_directories(Tmp);
        c.Make(Own);
        EXPECT_EQ(platform::PrivateRuntimeFolder("", Tmp.string()), c.Trusted ? Own.string() : std::string());
    }
    // Missing: made, and private.
    fs::remove_all(Dir);
    fs::create_directories(Tmp);
    EXPECT_EQ(platform::PrivateRuntimeFolder((Dir / "absent").string(), Tmp.string()), Own.string());
    struct stat St;
    ASSERT_EQ(lstat(Own.c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 07777, 0700u);
    EXPECT_EQ(platform::PrivateRuntimeFolder("", ""), "");
    fs::remove_all(Dir);
}
