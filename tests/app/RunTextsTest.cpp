// The texts a finished run leaves in the status bar, and the after-run
// command with the output folder put in.
#include "TestApp.h"
#include "app/RunEnd.h"

TEST(RunTexts, ElapsedTimeBelowAndAboveASecond)
{
    const std::pair<int64_t, const char*> Cases[] = {{0, "0ms"},           {850, "850ms"},    {999, "999ms"},
                                                     {1000, "1.00s"},      {12345, "12.35s"}, {61000, "61.00s"},
                                                     {3599990, "3599.99s"}};
    for (const auto& [Ms, Text] : Cases)
        EXPECT_EQ(FormatElapsed(Ms), Text) << Ms << " ms";
}

TEST(RunTexts, WhatAFailedOrCancelledRunSays)
{
    EnsureApp();
    EXPECT_EQ(FailedRunText("12.35s", 2, 8), "12.35s, with errors: 2 of 8 files not written");
    EXPECT_EQ(CancelledRunText(3, 10), "Cancelled: 3 of 10 files not written");
}

// "<DIR>" in any case, anywhere inside an argument, becomes the output folder,
// which stays one argument even with blanks; the rest is split as typed.
TEST(RunTexts, AfterRunCommandGetsTheOutputFolder)
{
    const std::string Dir = "/tmp/out put";
    using V = std::vector<std::string>;
    EXPECT_EQ(AfterRunArguments("viewer <DIR>", Dir), (V{"viewer", Dir}));
    EXPECT_EQ(AfterRunArguments("viewer --open=<dir>/first.jpg -v", Dir),
              (V{"viewer", "--open=" + Dir + "/first.jpg", "-v"}));
    EXPECT_EQ(AfterRunArguments("\"/opt/my tools/sync\" <Dir> <DIR>", Dir), (V{"/opt/my tools/sync", Dir, Dir}));
    EXPECT_EQ(AfterRunArguments("notify-done", Dir), (V{"notify-done"}));
}
