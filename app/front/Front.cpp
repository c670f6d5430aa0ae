// The program's front, the executable users start. It chooses the
// executable that does the work, before any library of the toolkit is loaded:
// a start that converts at once where nobody looks, without drawing text, goes
// to the program without windows (loading the window system's libraries
// takes most of such a run's time); every other start to the program with
// windows. The chosen one replaces this process (same process id, same
// standard streams, signals reach it as they would this one).
#include "app/Startup.h"
#include "core/Global.h"
#include "core/MemReservoir.h"
#include "platform/SysInfo.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + std::max(argc, 1));
    InitStartupPaths();
    // As the program does itself: without a display only the offscreen
    // platform can start, and such a start only converts at once.
    if (NoDisplay())
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const bool withoutWindows = ConvertsWithoutWindowSystem(args, GetSettingsFileName(args, nullptr));
    const std::string program = Startup.ExeDir + (withoutWindows ? kProgramWithoutWindows : kProgramWithWindows);
    const std::string self = platform::ExecutablePath();
    if (!self.empty())
        setenv(platform::kProgramFileVariable, self.c_str(), 1);
    std::vector<char*> programArgv(argv, argv + std::max(argc, 0));
    programArgv.push_back(nullptr);
    execv(program.c_str(), programArgv.data());
    const std::string why = std::string("the program ") + program + " cannot be started: " + std::strerror(errno);
    std::fprintf(stderr, "Vestro: %s\n", why.c_str());
    // Each file or folder named gets its line, as every run says it.
    for (const std::string& l : NamedFileLines(
             args, [](const std::string& A) { return PathArgumentByForm(A).value_or(true); }, why))
        std::fprintf(stderr, "%s\n", l.c_str());
    return 2;
}
