#include "core/ErrorLog.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

TEST(ErrorLog, LinesFromManyThreadsStayWhole)
{
    TErrorLog log;
    constexpr int kThreads = 8, kLines = 500;
    std::vector<std::thread> ts;
    for (int t = 0; t < kThreads; ++t)
        ts.emplace_back([&log, t] {
            for (int i = 0; i < kLines; ++i)
                log.PutFileError("file" + std::to_string(t) + "_" + std::to_string(i) + ".jpg", "Failed to load file");
        });
    for (auto& t : ts)
        t.join();
    EXPECT_EQ(log.GetErrorCount(), kThreads * kLines);
    std::set<std::string> seen;
    for (const std::string& l : log.Lines()) {
        EXPECT_EQ(l.substr(l.size() - 21), ": Failed to load file");
        seen.insert(l);
    }
    EXPECT_EQ(seen.size(), size_t(kThreads * kLines));

    log.Clear();
    EXPECT_EQ(log.GetErrorCount(), 0);
    log.PutProbeError("a.bmp", "Unknown format");
    log.PutErrorMsg("plain");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"a.bmp:Unknown format", "plain"}));
}
