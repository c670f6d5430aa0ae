// The main window's run and what follows it.
#include "app/MainFrm.h"
#include "app/MainFrmShared.h"

#include "app/DesktopOpen.h"
#include "app/EffectPanel.h"
#include "app/FileListView.h"
#include "app/FilePreview.h"
#include "app/IniSettings.h"
#include "app/MainIcons.h"
#include "app/ProgressFrm.h"
#include "app/ProgressFrm2.h"
#include "app/ProgressFrm3.h"
#include "app/RunEnd.h"
#include "app/Startup.h"
#include "app/TaskbarProgress.h"
#include "core/ErrorLog.h"
#include "core/Funcs.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/IniFile.h"
#include "core/MemReservoir.h"
#include "core/Resize.h"
#include "core/ResourceText.h"
#include "core/SusiePlugin.h"
#include "effects/DecreaseColor.h"
#include "platform/FileOps.h"
#include "platform/Process.h"

#include <QLabel>
#include <QScopedValueRollback>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace mainfrm;

namespace {

// The status bar after a run (batch or combine window): a run that did not
// finish must not go on showing the time of the one before. A cancel says
// what it left undone, and so does a run that lost files to errors. The
// errors are the run's own count: a log shown during the run (a thumbnail's
// failure opens it) may have taken them out by now.
template <class TRunForm> QString RunEndText(const TRunForm& Run, bool Finished)
{
    int Asked = 0, Written = 0;
    Run.CountWritten(Asked, Written);
    if (Finished && Run.LinesLogged() > 0 && Written < Asked)
        return QString::fromStdString(FailedRunText(Run.ResultText(), Asked - Written, Asked));
    if (Finished)
        return QString::fromStdString(Run.ResultText());
    if (Run.Canceled())
        return QString::fromStdString(CancelledRunText(Asked - Written, Asked));
    return QString();
}

} // namespace

// --------------------------------------------------------------------------
// The run

void TMainForm::RemoveConvertedEntries(const std::vector<bool>& Converted)
{
    if (!App.FileList)
        return;
    FileListView->HideThumbnail();
    std::vector<int> Rows;
    for (int i = 0; i < std::min(App.FileList->Count(), int(Converted.size())); ++i)
        if (Converted[size_t(i)] && App.FileList->Items(i)->Checked)
            Rows.push_back(i);
    FileListView->Model()->DeleteRows(Rows);
}

void TMainForm::ConvertRunExecute()
{
    if (FRunning)
        return;
    const QScopedValueRollback<bool> Running(FRunning, true);
    FileListView->SetDragDropAccept(false);
    setAcceptDrops(false);
    // Hand-offs kept meanwhile are listed when drops are taken again.
    auto Reopen = [this] {
        FileListView->SetDragDropAccept(!Startup.AtOnceStart);
        setAcceptDrops(!Startup.AtOnceStart);
    };
    const bool UsesList = !(Settings.File.AtOnce && App.ImageFileList && !App.ImageFileList->empty());
    bool AnyChecked = false;
    for (int i = 0; UsesList && App.FileList && i < App.FileList->Count() && !AnyChecked; ++i)
        AnyChecked = App.FileList->Items(i)->Checked;
    if (UsesList && !AnyChecked) {
        Tell(Tx("No file is checked: tick the files to convert."));
        Reopen();
        return;
    }
    if (!SetResizeParam()) {
        Reopen();
        return;
    }
    ::SetResizeFilters(Settings.Resize.DecimationMode, 0, Settings.Resize.SIMDMode);
    const bool WithCommand = Settings.System.UseExternalTool && !Settings.System.Command.empty();
    const std::vector<std::string> Command = WithCommand
        ? AfterRunArguments(Settings.System.Command, Settings.File.OutputDirectory)
        : std::vector<std::string>();

    const int Listed = UsesList && App.FileList ? App.FileList->Count() : 0;
    std::vector<bool> Converted(size_t(Listed), false);
    bool Finished = false;
    uint64_t RunLines = 0; // the run's own errors (see RunEndText)
    if (!Settings.Combine.Use || Settings.File.RenameOnly) {
        TProgressForm Run(false, {}, this);
        QTimer::singleShot(0, &Run, [&Run] { Run.StartRun(); });
        Finished = Run.exec() == 1;
        StatusPanel[0]->setText(RunEndText(Run, Finished));
        RunLines = Run.LinesLogged();
        for (int i = 0; i < Listed; ++i)
            Converted[size_t(i)] = Run.Converted(i);
    } else {
        TProgressForm2 Run(false, {}, this);
        QTimer::singleShot(0, &Run, [&Run] { Run.StartRun(); });
        Finished = Run.exec() == 1;
        StatusPanel[0]->setText(RunEndText(Run, Finished));
        RunLines = Run.LinesLogged();
        // Sheets are made of every checked entry: a finished run without
        // errors used them all.
        const bool Clean = Finished && RunLines == 0;
        for (int i = 0; i < Listed; ++i)
            Converted[size_t(i)] = Clean;
    }
    if (App.ImageFileList)
        App.ImageFileList->clear();
    if (Finished && RunLines == 0) {
        if (WithCommand && !StartProcess(Command))
            std::fprintf(stderr, "Cannot start %s\n", Settings.System.Command.c_str());
        if (!Settings.File.SameDirectory && Settings.File.ShowDirectory && !IsNonInteractive())
            OpenWithDesktop(Settings.File.OutputDirectory, this, [this](const QString& Text) { Tell(Text); });
    }
    if (ErrorLog.GetErrorCount() > 0) {
        TTaskbarProgress Taskbar;
        Taskbar.SetError();
        ShowErrorLogIfAny();
        Taskbar.Clear();
    }
    ::SetResizeFilters(1, 0, Settings.Resize.SIMDMode);
    if (Settings.File.RemoveList)
        RemoveConvertedEntries(Converted);
    FileListView->ReloadList();
    RefreshFileList();
    Reopen();
}
