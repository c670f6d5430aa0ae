#include "app/RunEnd.h"

#include "app/IniSettings.h"
#include "app/Startup.h"
#include "app/TaskbarProgress.h"
#include "batch/BatchRun.h"
#include "core/ErrorLog.h"
#include "core/ImageInfo.h"
#include "core/Global.h"
#include "core/ResourceText.h"
#include "platform/Process.h"

#include <QString>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

std::string ReplaceDirToken(std::string S, const std::string& Dir)
{
    for (size_t i = 0; i + 5 <= S.size();) {
        if (AsciiLower(S.substr(i, 5)) == "<dir>") {
            S.replace(i, 5, Dir);
            i += Dir.size();
        } else {
            ++i;
        }
    }
    return S;
}

} // namespace

std::string FormatElapsed(int64_t Milliseconds)
{
    char buf[64];
    if (Milliseconds < 1000)
        std::snprintf(buf, sizeof buf, "%dms", int(Milliseconds));
    else
        std::snprintf(buf, sizeof buf, "%.2fs", double(Milliseconds) / 1000.0);
    return buf;
}

std::vector<std::string> AfterRunArguments(const std::string& Command, const std::string& Dir)
{
    std::vector<std::string> args = SplitCommandLine(Command);
    for (std::string& a : args)
        a = ReplaceDirToken(a, Dir);
    return args;
}

int FinishAtOnceRun(bool Finished, TTaskbarProgress& Taskbar)
{
    // The running number is only carried to the next start when it never
    // resets; the run has stored it into StartNumber.
    if (Settings.File.ResetType == 2 && !Startup.IniFileName.empty() && !SaveIniFile2(Startup.IniFileName))
        ErrorLog.PutFileError(
            FileNameOf(Startup.IniFileName),
            CannotWriteText(Startup.IniFileName, LoadResText("the next running number was not stored")));
    const int Errors = ErrorLog.GetErrorCount();
    const bool Clean = Finished && Errors == 0;
    if (Clean && Settings.System.UseExternalTool && !Settings.System.Command.empty()) {
        const std::vector<std::string> args = AfterRunArguments(Settings.System.Command, Settings.File.OutputDirectory);
        if (!StartProcess(args))
            std::fprintf(stderr, "Cannot start %s\n", Settings.System.Command.c_str());
    }
    // Opening a file manager makes no sense when nobody looks at the screen.
    if (Clean && !Settings.File.SameDirectory && Settings.File.ShowDirectory && !IsNonInteractive())
        OpenFolderAfterRun(Settings.File.OutputDirectory);
    if (Errors > 0) {
        Taskbar.SetError();
        if (IsNonInteractive() || !ShowErrorLogWindow()) {
            for (const std::string& l : ErrorLog.Lines())
                std::fprintf(stderr, "%s\n", l.c_str());
        }
    }
    return Errors;
}

std::string CancelledRunText(int NotWritten, int Asked)
{
    return QString::fromStdString(LoadResText("Cancelled: %1 of %2 files not written"))
        .arg(NotWritten)
        .arg(Asked)
        .toStdString();
}

void SayCancelledRun(const std::vector<TImageFileInfo>& Input, const std::function<bool(int)>& Written, int NotWritten,
                     int Asked)
{
    // A file left out of a cancelled run is named as a failed one is: the
    // user sees which ones still need a run.
    // One that failed before the cancel has its line already.
    const std::string Why = LoadResText("not written, the run was cancelled");
    const std::vector<std::string> Said = ErrorLog.Lines();
    for (size_t i = 0; i < Input.size(); ++i) {
        const std::string Name = FileNameOf(Input[i].InputFileName);
        const bool Failed =
            std::any_of(Said.begin(), Said.end(), [&Name](const std::string& L) { return L.starts_with(Name + ":"); });
        if (Input[i].Named && !Written(int(i)) && !Failed)
            std::fprintf(stderr, "%s: %s\n", Name.c_str(), Why.c_str());
    }
    std::fprintf(stderr, "%s\n", CancelledRunText(NotWritten, Asked).c_str());
}

std::string FailedRunText(const std::string& Elapsed, int NotWritten, int Asked)
{
    return QString::fromStdString(LoadResText("%1, with errors: %2 of %3 files not written"))
        .arg(QString::fromStdString(Elapsed))
        .arg(NotWritten)
        .arg(Asked)
        .toStdString();
}

void SayNoPicturesFound(const std::vector<std::string>& Args)
{
    for (const std::string& A : Args) {
        std::error_code Ec;
        if (!IsPathArgument(A) || !std::filesystem::is_directory(A, Ec))
            continue;
        const QString Text =
            QString::fromStdString(LoadResText("no pictures found in %1")).arg(QString::fromStdString(A));
        std::fprintf(stderr, "%s\n", qPrintable(Text));
    }
}
