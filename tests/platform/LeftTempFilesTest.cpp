// Which names a later run takes for temporaries a killed writer left behind.
#include "platform/LeftTempFiles.h"

#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

// Only a name of exactly our shape, with a writer that is gone on this
// machine, is removed; near misses (a part one digit long or short, a letter
// outside base 32, another suffix, no leading dot) stay.
TEST(LeftTempFiles, OnlyNamesOfExactlyOurShapeAreRemoved)
{
    const fs::path Dir = fs::temp_directory_path() / ("vestro_lefttemp_" + std::to_string(getpid()));
    fs::create_directories(Dir);
    const std::string Host = platform::WriterTag().substr(platform::WriterTag().size() - 4);
    const pid_t Gone = fork();
    if (Gone == 0)
        _exit(0);
    waitpid(Gone, nullptr, 0);
    char Buf[16] = {};
    std::to_chars(Buf, Buf + 15, long(Gone), 32);
    const std::string Pid = Buf;
    const std::string Other = Host == "0000" ? "0001" : "0000";
    const std::set<std::string> Removed = {
        ".p.jpg.~abcdefgh-" + Pid + "-" + Host + ".tmp", ".p.~0123456v-" + Pid + "-" + Host + ".png",
        ".a.~b.~abcdefgh-" + Pid + "-" + Host + ".tmp", // ".~" inside the name too
        ".x.~abcdefgh-0" + Pid + "-" + Host + ".tmp",   // leading zeros: the same id
    };
    const std::set<std::string> Kept = {
        ".p.jpg.~abcdefg-" + Pid + "-" + Host + ".tmp",   // 7 random characters
        ".p.jpg.~abcdefghi-" + Pid + "-" + Host + ".tmp", // 9
        ".p.jpg.~abcdefgw-" + Pid + "-" + Host + ".tmp",  // w is no base-32 digit
        ".p.jpg.~ABCDEFGH-" + Pid + "-" + Host + ".tmp",
        ".p.jpg.~abcdefgh-" + std::string(8 - Pid.size(), '0') + Pid + "-" + Host + ".tmp", // 8 digits of id
        ".p.jpg.~abcdefgh--" + Host + ".tmp",                                               // no id
        ".p.jpg.~abcdefgh-" + Pid + "-" + Other + ".tmp",                                   // another machine
        ".p.jpg.~abcdefgh-" + Pid + "-" + Host.substr(1) + ".tmp",
        ".p.jpg.~abcdefgh-" + Pid + "-0" + Host + ".tmp",
        ".p.jpg.~abcdefgh-" + Pid + "-" + Host + ".txt",
        ".p.jpg.~abcdefgh-" + Pid + "-" + Host + ".tmp.x",
        "p.jpg.~abcdefgh-" + Pid + "-" + Host + ".tmp", // not hidden
        "..~abcdefgh-" + Pid + "-" + Host + ".tmp",     // nothing between the dots
        ".p.jpg~abcdefgh-" + Pid + "-" + Host + ".tmp",
        ".p\nq.~abcdefgh-" + Pid + "-" + Host + ".tmp",
        ".p.jpg.~abcdefgh-" + platform::WriterTag() + ".tmp", // this process's own
    };
    for (const std::set<std::string>* Names : {&Removed, &Kept})
        for (const std::string& N : *Names)
            std::ofstream(Dir / N) << "x";
    EXPECT_EQ(platform::RemoveLeftTempFiles(Dir.string()), int(Removed.size()));
    std::set<std::string> Left;
    for (const auto& E : fs::directory_iterator(Dir))
        Left.insert(E.path().filename().string());
    EXPECT_EQ(Left, Kept);
    fs::remove_all(Dir);
}
