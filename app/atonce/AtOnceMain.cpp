// The program that converts at once where nobody looks. It links the
// toolkit's core only, not the window system's libraries, whose loading takes
// most of a short run's time: the front (app/front) starts it for such a
// start, and the program with windows for every other. A run that draws text
// needs the window system's fonts: this program hands such a run to the
// program with windows, started for that run alone.
#include "app/ProgramFlow.h"
#include "app/RunEnd.h"
#include "app/Startup.h"
#include "effects/Effect.h"
#include "platform/SysInfo.h"

#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>

#include <cstdio>
#include <memory>

namespace {

bool RunDrawsText()
{
    const TEffect* text = EffectList ? EffectList->FindByID(EFFECT_ADDTEXT) : nullptr;
    return text && text->FUse;
}

// The run in the program with windows, started alone for it; its lines go
// to this process's standard error, its status is the run's.
int RunInProgramWithWindows(const std::vector<std::string>& Args, std::function<void()>& Cancel)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kHandedRunVariable, "1");
    env.insert(platform::kProgramFileVariable, QString::fromStdString(platform::ExecutablePath()));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.setInputChannelMode(QProcess::ForwardedInputChannel);
    QStringList args;
    for (const std::string& a : Args)
        args << QString::fromStdString(a);
    program.start(QString::fromStdString(Startup.ExeDir + kProgramWithWindows), args);
    if (!program.waitForStarted(-1)) {
        for (const std::string& l : UnansweredLines(Args))
            std::fprintf(stderr, "%s\n", l.c_str());
        return 2;
    }
    QEventLoop loop;
    QObject::connect(&program, &QProcess::finished, &loop, &QEventLoop::quit);
    Cancel = [&program] { program.terminate(); };
    if (program.state() != QProcess::NotRunning)
        loop.exec();
    Cancel = nullptr;
    if (program.exitStatus() != QProcess::NormalExit) {
        for (const std::string& l : UnansweredLines(Args))
            std::fprintf(stderr, "%s\n", l.c_str());
        return 2;
    }
    return program.exitCode();
}

} // namespace

// Nobody looks at this program's runs: nothing opens, no box shows.
void OpenFolderAfterRun(const std::string&)
{
}

bool ShowErrorLogWindow()
{
    return false;
}

void ShowRunWarning(QWidget*, const std::string& Text)
{
    std::fprintf(stderr, "%s\n", Text.c_str());
}

int main(int argc, char** argv)
{
    TProgramParts Parts;
    Parts.MakeApplication = [](int& Argc, char** Argv) { return std::make_unique<QCoreApplication>(Argc, Argv); };
    Parts.CanRunHere = [] { return !RunDrawsText(); };
    Parts.RunElsewhere = RunInProgramWithWindows;
    return RunProgram(argc, argv, Parts);
}
