#include "app/ProgramFlow.h"

#include "app/IniSettings.h"
#include "app/QtTexts.h"
#include "app/RunSession.h"
#include "app/SingleInstance.h"
#include "app/Startup.h"
#include "core/ErrorLog.h"
#include "core/Global.h"
#include "core/IniFile.h"
#include "core/Kodex.h"
#include "core/MemReservoir.h"
#include "core/ResourceText.h"
#include "effects/FontCache.h"
#include "platform/Process.h"
#include "platform/Session.h"
#include "platform/SysInfo.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>

// Ctrl+C, a TERM signal or a closed terminal: OnStop runs on the GUI thread,
// once for each burst of signals. Parent owns what watches them.
void OnStopSignals(QObject* Parent, std::function<void()> OnStop)
{
    const int stopFd = platform::CatchStopSignals();
    if (stopFd < 0)
        return;
    auto* stopNotifier = new QSocketNotifier(qintptr(stopFd), QSocketNotifier::Read, Parent);
    QObject::connect(stopNotifier, &QSocketNotifier::activated, Parent, [stopFd, OnStop = std::move(OnStop)] {
        platform::DrainStopSignals(stopFd);
        OnStop();
    });
}

// What a start says of the files it handed over when the running instance
// ended before it told what became of them: one line per file or folder
// named, "name: reason".
std::vector<std::string> UnansweredLines(const std::vector<std::string>& Args)
{
    return NamedFileLines(Args, IsPathArgument,
                          LoadResText("the running instance ended before it said what became of this file"));
}

namespace {

// Why a file of a run cancelled before it began was not written.
constexpr char kNotWrittenCancelled[] = "not written, the run was cancelled";

// One line per file or folder named in Args, "name: Why", for a run of
// which nothing was converted.
void SayNotConverted(const std::vector<std::string>& Args, const std::string& Why)
{
    for (const std::string& l : NamedFileLines(Args, IsPathArgument, Why))
        std::fprintf(stderr, "%s\n", l.c_str());
}

// Why a start has no at-once run (and would open the window instead), in the
// interface language.
std::string NoAtOnceRunReason(const std::vector<std::string>& Args, const std::string& Profile)
{
    // The profile's path may be longer than any buffer: put in by hand.
    const auto Said = [&Profile](std::string S) {
        if (const size_t At = S.find("%s"); At != std::string::npos)
            S.replace(At, 2, Profile);
        return S;
    };
    if (std::none_of(Args.begin(), Args.end(), IsPathArgument))
        return LoadResText("no file or folder was named");
    std::error_code ec;
    if (!std::filesystem::exists(Profile, ec))
        return Said(LoadResText("no profile %s"));
    try {
        TMemIniFile ini(Profile);
    } catch (const std::exception&) {
        return Said(LoadResText("the profile %s could not be read"));
    }
    return Said(LoadResText("the profile %s does not convert at once ([File] AtOnce=1)"));
}

// The hand-off to a running instance: a start that is not the first gives
// its files to the instance that is and ends with what it answered. Returns
// nothing when this start is to do the work itself (it became the first
// instance, or it runs alone).
std::optional<int> HandOffToRunningInstance(TSingleInstance& instance, const std::vector<std::string>& args,
                                            const std::vector<std::string>& absArgs)
{
    if (instance.TryBecomeFirst())
        return std::nullopt;
    if (args.empty())
        return 0;
    // Ctrl+C, a TERM signal or a closed terminal while this start waits:
    // the run it handed over is cancelled as its own would be, and the start
    // ends with what that run says.
    const int stopFd = platform::CatchStopSignals();
    bool stopped = false;
    const auto Stopped = [&] {
        stopped = (stopFd >= 0 && platform::DrainStopSignals(stopFd)) || stopped;
        return stopped;
    };
    // The running instance may be just ending and refuse: then this
    // start waits for its lock and does the work itself.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        // A first instance that converts at once with nobody looking
        // sends the run's result back: this start ends with it.
        const TSingleInstance::THandOffResult handed = instance.HandOffAndWait(absArgs, 5000, Stopped);
        if (handed.Untrusted)
            return std::nullopt; // runs alone (said by the caller)
        if (!handed.Refused) {
            for (const std::string& l : handed.Lines)
                std::fprintf(stderr, "%s\n", l.c_str());
            // It ended (was killed) before it answered: each file it
            // took says so, and the start fails, as for a file that
            // was not converted.
            if (handed.Lost) {
                SetInterfaceLanguage(Settings.System.Language);
                for (const std::string& l : UnansweredLines(absArgs))
                    std::fprintf(stderr, "%s\n", l.c_str());
                return 1;
            }
            // Without this line the start would look like a finished
            // run that converted nothing.
            if (handed.NoResult)
                std::fprintf(stderr, "%s\n", kHandedToWindowLine);
            return handed.Status;
        }
        // Stopped before anyone took the files: nothing was converted.
        if (Stopped()) {
            SetInterfaceLanguage(Settings.System.Language);
            SayNotConverted(absArgs, LoadResText(kNotWrittenCancelled));
            return 2;
        }
        if (instance.TryBecomeFirst())
            return std::nullopt;
        if (waited.elapsed() > 15000) {
            std::fprintf(stderr, "Vestro: the running instance did not take the files; nothing was done with:\n");
            for (const std::string& a : absArgs)
                std::fprintf(stderr, "  %s\n", a.c_str());
            return 2;
        }
        QThread::msleep(100);
    }
}

// The start-up of the instance that does the work: the settings, the
// interface texts and what the window system tells, the questions a window
// may ask, and whether this start converts at once. Returns what of the
// profile could not be read (empty when all of it was).
std::string StartUpSettings(const std::vector<std::string>& args, const TProgramParts& Parts)
{
    InitializeGlobals(args);
    InstallQtTexts(Settings.System.Language);
    if (Parts.StartUpWindowSystem)
        Parts.StartUpWindowSystem();
    if (!Startup.KodexLoaded) {
        std::fprintf(stderr, "%s: %s\n", KodexLoadErrorTitle, Startup.KodexLoadError.c_str());
        if (!IsNonInteractive() && Parts.ShowWarning)
            Parts.ShowWarning(KodexLoadErrorTitle, Startup.KodexLoadError);
    }

    Startup.AtOnceStart = IsAtOnceStart(args, Startup.IniFileName);
    // Text is drawn on worker threads; for the window the font database is set
    // up here first. A run at once reads it only when a step draws text (the
    // first such step sets it up), which most runs never do.
    if (!Startup.AtOnceStart)
        InitTextRendering();
    else if (IsNonInteractive())
        NoFontSetUpAtExit();
    return LoadRunSettings(Startup.IniFileName);
}

// The queue of at-once runs: this start's own run, then every run handed
// over by later starts while one goes on. Returns the process status.
int RunAtOnceQueue(QCoreApplication& app, TSingleInstance& instance, const std::vector<std::string>& absArgs,
                   const TProgramParts& Parts)
{
    // From here on, files handed over by later starts are queued and
    // converted after the present run, with the same settings.
    int status = 0;
    // Ctrl+C, a TERM signal or a closed terminal cancels like the Cancel
    // button: the workers finish their current files and nothing half-written
    // is left behind.
    std::function<void()> cancelCurrent; // the run going on, if any
    bool stopRequested = false;
    OnStopSignals(&app, [&] {
        stopRequested = true;
        // A modal error log would keep the program waiting for a click.
        if (Parts.CloseErrorLog)
            Parts.CloseErrorLog();
        if (cancelCurrent)
            cancelCurrent();
    });
    // Each hand-off is its own run with the profile its start named (the
    // default file when it named none), after the present one. A start that
    // waits for its run's result gets it (its ticket is not 0): its status
    // and what the run said, which this process then does not say as its
    // own. The status of this process is its own run's, and that of
    // hand-offs nobody waits for.
    std::deque<TSingleInstance::THandOff> pending{{absArgs, 0, {}}};
    bool first = true;
    // A start that waits for its run and is stopped asks for the run to be
    // cancelled: the one going on as its own Ctrl+C would, a queued one at
    // once (the start need not wait for the runs before it), unconverted.
    int runningTicket = 0;
    const QMetaObject::Connection onCancelAsked =
        QObject::connect(&instance, &TSingleInstance::CancelAsked, &app, [&](int Ticket) {
            if (Ticket == runningTicket) {
                if (cancelCurrent)
                    cancelCurrent();
                return;
            }
            for (auto& q : instance.TakeQueuedRuns())
                pending.push_back(std::move(q));
            const auto it = std::find_if(pending.begin(), pending.end(),
                                         [Ticket](const TSingleInstance::THandOff& h) { return h.Ticket == Ticket; });
            if (it == pending.end())
                return;
            // Told straight to its start: standard error may be another
            // run's just now.
            const std::vector<std::string> lines =
                NamedFileLines(it->Args, IsPathArgument, LoadResText(kNotWrittenCancelled));
            pending.erase(it);
            instance.ReportResult(Ticket, 2, lines);
        });
    // Each run is converted in the folder its start was made in, as that
    // start alone would convert it: relative folders of its profile (the
    // output folder, ...) are that start's. This instance's own folder is
    // taken back after each.
    std::error_code ec;
    const std::filesystem::path ownFolder = std::filesystem::current_path(ec);
    auto finished = [&](const TSingleInstance::THandOff& h, int runStatus, platform::TStderrCapture* said) {
        if (h.Ticket == 0) {
            status = std::max(status, runStatus);
            return;
        }
        std::vector<std::string> lines;
        const std::string text = said ? said->End() : std::string();
        for (size_t at = 0, end; at < text.size(); at = end + 1) {
            end = std::min(text.find('\n', at), text.size());
            lines.push_back(text.substr(at, end - at));
        }
        instance.ReportResult(h.Ticket, runStatus, lines);
    };
    while (!pending.empty()) {
        const TSingleInstance::THandOff handOff = std::move(pending.front());
        const std::vector<std::string>& runArgs = handOff.Args;
        pending.pop_front();
        std::optional<platform::TStderrCapture> said;
        if (handOff.Ticket != 0)
            said.emplace();
        platform::TStderrCapture* const saidPtr = said ? &*said : nullptr;
        if (!first) {
            // What a handed run says is in its start's language, as that
            // start alone would say it.
            Settings.System.Language = StartLanguage(runArgs);
            SelectInterfaceLanguage();
        }
        if (stopRequested) {
            SayNotConverted(runArgs, LoadResText(kNotWrittenCancelled));
            finished(handOff, 2, saidPtr);
            continue;
        }
        if (!ownFolder.empty())
            std::filesystem::current_path(ownFolder, ec);
        if (!first) {
            // A start with switches only has nothing to convert; one that
            // names files, even missing ones, gets a run that says so.
            if (std::none_of(runArgs.begin(), runArgs.end(), IsPathArgument)) {
                finished(handOff, 0, saidPtr);
                continue;
            }
            if (!handOff.WorkDir.empty()) {
                std::filesystem::current_path(handOff.WorkDir, ec);
                if (ec) {
                    const std::string why =
                        QString::fromStdString(
                            LoadResText("not converted: the folder the start was made in, %1, cannot be entered (%2)"))
                            .arg(QString::fromStdString(handOff.WorkDir), QString::fromStdString(ec.message()))
                            .toStdString();
                    SayNotConverted(runArgs, why);
                    finished(handOff, 2, saidPtr);
                    continue;
                }
            }
            // Its own profile over the defaults; nothing of the run before.
            const std::string profile = ProfileFileName(runArgs);
            LoadRunSettings(profile);
            if (!Settings.File.AtOnce) {
                SayNotConverted(runArgs, NoAtOnceRunReason(runArgs, profile));
                finished(handOff, 2, saidPtr);
                continue;
            }
        }
        first = false;
        runningTicket = handOff.Ticket;
        instance.SetAccepting(true);
        // A combine profile makes sheets; every other mode (convert,
        // lossless transform, rename only) is a batch run.
        const bool combine = Settings.RunMode == 2;
        int runStatus = 0;
        if (Parts.CanRunHere && !Parts.CanRunHere()) {
            // A step this process cannot do (text without a window system):
            // the run goes to a process that can, with the same files.
            runStatus = Parts.RunElsewhere(runArgs, cancelCurrent);
        } else if (IsNonInteractive() || !Parts.RunWatched) {
            // Nobody looks: the run goes on without any window.
            TRunSession session(combine, true, runArgs);
            cancelCurrent = [&session] { session.Cancel(); };
            runStatus = session.RunUnwatched();
        } else {
            // The run's window shows it; closing the window cancels it.
            runStatus = Parts.RunWatched(combine, runArgs, cancelCurrent);
        }
        cancelCurrent = nullptr;
        runningTicket = 0;
        finished(handOff, runStatus, saidPtr);
        // Refuse further hand-offs before looking at the queue, so that none
        // is answered "taken" and then left behind.
        instance.SetAccepting(false);
        for (auto& q : instance.TakeQueuedRuns())
            pending.push_back(std::move(q));
    }
    QObject::disconnect(onCancelAsked);
    if (!ownFolder.empty())
        std::filesystem::current_path(ownFolder, ec);
    FinalizeGlobals();
    return status;
}

} // namespace

int RunProgram(int argc, char** argv, const TProgramParts& Parts)
{
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + std::max(argc, 1));
    platform::IgnoreBrokenPipes();
    platform::TakeProgramFile();
    // A run another instance handed to this process: it runs alone.
    const char* handedMark = std::getenv(kHandedRunVariable);
    const bool handedRun = handedMark && std::string(handedMark) == "1";
    unsetenv(kHandedRunVariable);
    InitStartupPaths();
    // Tools (jpegtran, ...) end with this program, even when it is killed.
    SetToolLauncher(Startup.ExeDir + "bin/vestro-tool");
    InitMemReservoir(args);
    // Without a display the window system cannot start, and Qt would abort.
    // Converting at once and handing files to a running window need no
    // display: the program starts without one and only the window is refused.
    if (NoDisplay())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Drawn off the screen, a window could never be closed: such a start
    // only converts at once.
    const bool Headless = qgetenv("QT_QPA_PLATFORM").startsWith("offscreen") || !Parts.RunWindow;
    // The toolkit reads options of its own from its command line (-style,
    // -reverse, -platform, ...) and would take a file of that name for one:
    // it gets the program's name only. The files and switches are ours
    // (args, above).
    static char ProgramName[] = "vestro-resizer";
    static char* ToolkitArgv[] = {argc > 0 && argv[0] ? argv[0] : ProgramName, nullptr};
    static int ToolkitArgc = 1;
    const std::unique_ptr<QCoreApplication> app = Parts.MakeApplication(ToolkitArgc, ToolkitArgv);
    app->setApplicationName("Vestro Image Resizer");
    // Paths are made absolute here, against this process's folder, before
    // anything (the running instance, or the run input) can see them.
    const std::vector<std::string> absArgs = AbsoluteArguments(args);

    TSingleInstance instance(Startup.ExeDir);
    if (!handedRun) {
        if (const std::optional<int> handed = HandOffToRunningInstance(instance, args, absArgs))
            return *handed;
        if (!instance.Alone().empty())
            std::fprintf(stderr, "Vestro: %s; this start runs alone\n", instance.Alone().c_str());
        // Hand-offs are taken from now on and wait in the queue until this
        // instance can do something with them.
        instance.SetReportsResults(IsNonInteractive());
        instance.SetAccepting(true);
    }

    const std::string Unread = StartUpSettings(args, Parts);
    if (!Startup.AtOnceStart && Headless) {
        std::fprintf(
            stderr, "%s\nVestro: %s\n",
            LoadResText("no display: the window cannot be shown (a profile with AtOnce=1 converts without it)").c_str(),
            NoAtOnceRunReason(args, Startup.IniFileName).c_str());
        FinalizeGlobals();
        return 2;
    }
    return Startup.AtOnceStart ? RunAtOnceQueue(*app, instance, absArgs, Parts)
                               : Parts.RunWindow(*app, instance, absArgs, Unread);
}
