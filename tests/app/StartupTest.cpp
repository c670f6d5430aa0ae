// Command line, single instance and the pieces of the run window that decide
// what a user sees or what gets started.
#include "TestApp.h"
#include "app/ProgressFrm.h"
#include "app/SingleInstance.h"
#include "app/Startup.h"
#include "core/Global.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <QElapsedTimer>

#include <filesystem>
#include <future>

namespace fs = std::filesystem;

TEST(CommandLine, ProfilesStayInTheIniFolderAndTheLastSwitchWins)
{
    const std::string keep = ExeDir;
    ExeDir = "/opt/vestro/";
    EXPECT_EQ(ProfileFileName({"/INI=work.ini", "pic.jpg", "/ini=other.ini"}), "/opt/vestro/ini/other.ini");
    EXPECT_EQ(ProfileFileName({"/Ini=sub/work.ini"}), "/opt/vestro/ini/sub/work.ini");
    // Leading out of the folder, or naming no file, is ignored.
    const std::string def = ProfileFileName({});
    EXPECT_EQ(def.substr(0, 16), "/opt/vestro/ini/");
    EXPECT_EQ(ProfileFileName({"/ini=../../etc/passwd"}), def);
    EXPECT_EQ(ProfileFileName({"/ini=work.ini", "/ini="}), "/opt/vestro/ini/work.ini");
    ExeDir = keep;
}

TEST(CommandLine, PathsAreMadeAbsoluteBeforeTheyLeaveTheProcess)
{
    const fs::path cwd = fs::current_path();
    const auto out = AbsoluteArguments({"a.jpg", "../b/c.png", "/abs/d.jpg", "/ini=x.ini"});
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], (cwd / "a.jpg").string());
    EXPECT_EQ(out[1], (cwd.parent_path() / "b" / "c.png").string());
    EXPECT_EQ(out[2], "/abs/d.jpg");
    EXPECT_EQ(out[3], "/ini=x.ini");
}

TEST(CommandLine, AnAbsolutePathThatDoesNotExistIsStillAPath)
{
    const fs::path Here = fs::temp_directory_path();
    // Existing paths, paths with a folder part, and picture names are paths.
    for (const std::string& A : {Here.string(), std::string("/nowhere/at/all"), std::string("/x.JPG"),
                                 std::string("/gone.png"), std::string("relative"), std::string("sub/a.bmp")})
        EXPECT_TRUE(IsPathArgument(A)) << A;
    // The profile switch, and words with one leading "/", are switches.
    for (const std::string& A : {std::string("/ini=work.ini"), std::string("/INI=sub/work.ini"),
                                 std::string("/verbose"), std::string("/x.txt"), std::string("")})
        EXPECT_FALSE(IsPathArgument(A)) << A;
}

TEST(SingleInstance, ASecondStartHandsItsFilesToTheFirst)
{
    EnsureApp();
    const fs::path rt = fs::temp_directory_path() / ("vestro-rt-" + std::to_string(QCoreApplication::applicationPid()));
    fs::create_directories(rt);
    TSingleInstance first("/data/one/", rt.string());
    ASSERT_TRUE(first.TryBecomeFirst());
    TSingleInstance second("/data/one/", rt.string());
    EXPECT_FALSE(second.TryBecomeFirst());
    // Another data folder is another program.
    TSingleInstance other("/data/two/", rt.string());
    EXPECT_TRUE(other.TryBecomeFirst());

    auto handOff = [&](std::vector<std::string> Args) {
        auto f = std::async(std::launch::async, [&second, Args] { return second.HandOff(Args, 3000); });
        QElapsedTimer t;
        t.start();
        while (f.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready && t.elapsed() < 5000)
            QCoreApplication::processEvents();
        return f.get();
    };
    // Not ready to take work: the sender is told so and keeps its files.
    EXPECT_FALSE(handOff({"/x/a.jpg"}));
    EXPECT_TRUE(first.TakeQueued().empty());

    first.SetAccepting(true);
    EXPECT_TRUE(handOff({"/ini=w.ini", "/x/a b.jpg"}));
    EXPECT_TRUE(handOff({"/x/c.jpg"}));
    const auto q = first.TakeQueued();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0], (std::vector<std::string>{"/ini=w.ini", "/x/a b.jpg"}));
    EXPECT_EQ(q[1], (std::vector<std::string>{"/x/c.jpg"}));
    fs::remove_all(rt);
}

TEST(RunWindow, ElapsedTextAndAfterRunCommand)
{
    EXPECT_EQ(FormatElapsed(850), "850ms");
    EXPECT_EQ(FormatElapsed(12345), "12.35s");
    EXPECT_EQ(AfterRunArguments("viewer --dir \"<dir>\" -x <DIR>/a", "/home/u/My Pictures"),
              (std::vector<std::string>{"viewer", "--dir", "/home/u/My Pictures", "-x", "/home/u/My Pictures/a"}));
    // No shell: what looks like shell syntax is a plain argument.
    EXPECT_EQ(AfterRunArguments("echo $HOME;rm", "/d"), (std::vector<std::string>{"echo", "$HOME;rm"}));
}

TEST(RunWindow, HistoryRuleFallsBackWhenTheHistoryIsEmpty)
{
    const TResizeOption keep = ResizeOption;
    int32_t rule;
    double v1, v2;
    ResizeOption.Rule = 9;
    ResizeOption.History = "\"1,1600,0\",\"0,50,50\"";
    ResizeRuleOfRun(rule, v1, v2);
    EXPECT_EQ(rule, 1);
    EXPECT_EQ(v1, 1600);
    ResizeOption.History = "";
    ResizeRuleOfRun(rule, v1, v2);
    EXPECT_EQ(rule, 8);
    EXPECT_EQ(v1, 640);
    EXPECT_EQ(v2, 480);
    ResizeOption.Rule = 10;
    ResizeRuleOfRun(rule, v1, v2);
    EXPECT_EQ(rule, 10);
    EXPECT_EQ(v1, ResizeOption.Size1[10]);
    ResizeOption = keep;
}
