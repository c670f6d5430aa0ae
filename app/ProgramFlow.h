// The order of a start, shared by the program with windows and the one that
// converts at once with no window system: the hand-off to a running instance,
// the settings, then the at-once runs or the window. What needs the window
// system comes in through TProgramParts; the flow itself uses the toolkit's
// core only.
#pragma once
#include <QCoreApplication>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TSingleInstance;

struct TProgramParts {
    // The toolkit's application object, made from the toolkit's own
    // arguments (the program's name, maybe a platform).
    std::function<std::unique_ptr<QCoreApplication>(int& Argc, char** Argv)> MakeApplication;
    // What the window system tells at start-up (screen, interface font) and
    // the questions a window may ask; empty where there is none.
    std::function<void()> StartUpWindowSystem;
    // The window start: the main window until it closes. Returns the status.
    // Empty where there is no window system.
    std::function<int(QCoreApplication&, TSingleInstance&, const std::vector<std::string>& AbsArgs,
                      const std::string& Unread)>
        RunWindow;
    // An at-once run with its window (someone watches); Cancel is set to what
    // closes the window. Returns the run's status.
    std::function<int(bool Combine, const std::vector<std::string>& Args, std::function<void()>& Cancel)> RunWatched;
    // A warning box beside the line on standard error, where someone looks.
    std::function<void(const std::string& Title, const std::string& Text)> ShowWarning;
    // Rejects the error log when it shows (a stop signal came).
    std::function<void()> CloseErrorLog;
    // Whether this process can do a run with the settings now loaded; when it
    // cannot, RunElsewhere does it in a process of its own (with the same
    // settings file), Cancel set to what stops that process.
    std::function<bool()> CanRunHere;
    std::function<int(const std::vector<std::string>& Args, std::function<void()>& Cancel)> RunElsewhere;
};

// Ctrl+C, a TERM signal or a closed terminal: OnStop runs on the GUI thread,
// once for each burst of signals. Parent owns what watches them.
void OnStopSignals(QObject* Parent, std::function<void()> OnStop);

// One line per file or folder named in Args, "name: reason", for files handed
// to a process that ended before it said what became of them.
std::vector<std::string> UnansweredLines(const std::vector<std::string>& Args);

// The whole start, from the command line to the exit status (see ProgramMain.h).
int RunProgram(int argc, char** argv, const TProgramParts& Parts);

// The variable by which a run handed over to another process is marked: such
// a process runs alone, neither handing its files on nor taking any.
inline constexpr char kHandedRunVariable[] = "VESTRO_HANDED_RUN";
