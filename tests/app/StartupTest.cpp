// The command line, and the size rule a run takes from the history.
#include "app/ProgressFrm.h"
#include "app/SingleInstance.h"
#include "app/Startup.h"
#include "core/Global.h"

#include <gtest/gtest.h>

#include <filesystem>

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
    EXPECT_EQ(AbsoluteArguments({"a.jpg", "../b/c.png", "/abs/d.jpg", "/ini=x.ini"}),
              (std::vector<std::string>{(cwd / "a.jpg").string(), (cwd.parent_path() / "b" / "c.png").string(),
                                        "/abs/d.jpg", "/ini=x.ini"}));
}

TEST(RunWindow, HistoryRuleFallsBackWhenTheHistoryIsEmpty)
{
    const TResizeOption keep = ResizeOption;
    int32_t rule;
    double v1, v2;
    ResizeOption.Rule = 9;
    ResizeOption.History = "\"1,1600,0\",\"0,50,50\"";
    ResizeRuleOfRun(rule, v1, v2);
    EXPECT_EQ(std::make_pair(rule, v1), std::make_pair(1, 1600.0));
    ResizeOption.History = "";
    ResizeRuleOfRun(rule, v1, v2);
    EXPECT_EQ(std::make_tuple(rule, v1, v2), std::make_tuple(8, 640.0, 480.0));
    ResizeOption.Rule = 10;
    ResizeRuleOfRun(rule, v1, v2);
    EXPECT_EQ(std::make_pair(rule, v1), std::make_pair(10, ResizeOption.Size1[10]));
    ResizeOption = keep;
}
