#include "app/MainFrm.h"

#include "app/AboutFrm.h"
#include "app/BitmapOptionFrm.h"
#include "app/ChangeOrderFrm.h"
#include "app/CombineOptionFrm.h"
#include "app/CreateShortCutFrm.h"
#include "app/DesktopOpen.h"
#include "app/EffectPanel.h"
#include "app/FileListView.h"
#include "app/FilePreview.h"
#include "app/ErrorLogFrm.h"
#include "app/FolderOptionFrm.h"
#include "app/IniSettings.h"
#include "app/JPEGOptionFrm.h"
#include "app/MainIcons.h"
#include "app/MetadataOptionFrm.h"
#include "app/PNGOptionFrm.h"
#include "app/PictureFormatFrm.h"
#include "app/PopupCloser.h"
#include "app/PreviewOptionFrm.h"
#include "app/ProgressFrm.h"
#include "app/ProgressFrm2.h"
#include "app/ProgressFrm3.h"
#include "app/ResizeOptionFrm.h"
#include "app/RunEnd.h"
#include "app/Startup.h"
#include "app/SusiePluginOptionFrm.h"
#include "app/SystemOptionFrm.h"
#include "app/TaskbarProgress.h"
#include "app/ThumbnailFrm.h"
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
#include "effects/ui/DecreaseColorDlg.h"
#include "effects/ui/AddBlankDlg.h"
#include "effects/ui/AddTextDlg.h"
#include "effects/ui/ColorCorrectionDlg.h"
#include "effects/ui/CompositeDlg.h"
#include "effects/ui/GrayscaleDlg.h"
#include "effects/ui/JPEGTranOptionFrm.h"
#include "effects/ui/PreviewBaseFrm.h"
#include "effects/ui/RotationOptionDlg.h"
#include "effects/ui/ToneCurveDlg.h"
#include "effects/ui/TrimmingDlg.h"
#include "effects/ui/UnSharpMaskDlg.h"
#include "platform/FileOps.h"
#include "platform/Process.h"

#include <QAbstractTableModel>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <cstdio>

#include "app/MainFrmShared.h"
#include "effects/ui/WindowLook.h"

using namespace mainfrm;

// --------------------------------------------------------------------------
// Creation and destruction

TMainForm::TMainForm(const std::vector<std::string>& Args, QWidget* Parent) : QMainWindow(Parent), FArgs(Args)
{
    setObjectName("MainForm");
    setWindowIcon(ApplicationIcon());
    App.MainForm = this;

    CreateActions();
    CreateMenus();
    CreateCentral();
    CreateToolBars();
    ConnectActions();
    ThumbnailForm = new TThumbnailForm(this, ShowThumbnail);
    // A menu or completion list left open by a closed dialog would keep the
    // keys and clicks from this window.
    qApp->installEventFilter(new TPopupCloser(this));
    FileListView->SetThumbnailWindow(ThumbnailForm, ShowThumbnail, IgnoreEmbeddedThumbnail);
    FPreview = std::make_unique<TListPreview>(this);

    // What the effect chain and its dialogs need of the window.
    EffectHost = this;
    PreviewWindows.PreviewFileList = App.FileList;
    auto Selected = [this]() -> int32_t { return CurrentRow(); };
    RegisterAddBlankForm(this, Selected);
    RegisterTrimmingOptionForm(this, Selected);
    RegisterGrayscaleForm(this);
    RegisterRotationOptionForm(this);
    RegisterToneCurveOptionForm(this, Selected);
    RegisterDecreaseColorForm(this);
    RegisterJPEGTranOptionForm(this);
    RegisterColorAdjustForm(this, Selected);
    RegisterUnSharpMaskOptionForm(this, Selected);
    RegisterAddTextForm(
        this,
        [](int32_t Index, TImgInfo& Img, TAddTextPreviewSource& Names) {
            if (!App.FileList || Index < 0 || Index >= App.FileList->Count())
                return false;
            TImageInfo& E = *App.FileList->Items(Index);
            if (!LoadBeforeImage(E, Img, EFFECT_ADDTEXT, Index))
                return false;
            Names.OldFileName = E.Name();
            Names.NewFileName = ExtractFileName(E.OutPutFileName);
            Names.Time = E.DateTimeOriginal != 0 ? E.DateTimeOriginal : E.DateTimeLastWrite;
            Names.Number = Index;
            return true;
        },
        Selected);
    RegisterCompositeOptionForm(
        this,
        [](int32_t Index, TImgInfo& Img) {
            if (!App.FileList || Index < 0 || Index >= App.FileList->Count())
                return false;
            return LoadBeforeImage(*App.FileList->Items(Index), Img, EFFECT_COMPOSITE, Index);
        },
        Selected);

    if (!App.ErrorLogForm && !IsNonInteractive())
        App.ErrorLogForm = new TErrorLogForm(this);
    JPEGTranOption->setVisible(platform::FileExists(Startup.JPEGTranPath));

    ApplySettingsToUI(true);
    BuildLanguageMenu();
    UpdateListState();

    FileListView->SetDragDropAccept(true);
    setAcceptDrops(true);

    // The command line's files are listed once the window is up, under the
    // list-up window.
    if (!PathsFromArguments(FArgs).empty())
        QTimer::singleShot(0, this, [this] { FileListView->AddCommandLine(FArgs); });

    if (!Startup.KodexLoaded) {
        // Nothing could be read or written: the window closes at once and
        // the next start makes no reservation.
        Settings.System.MemReserve = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

TMainForm::~TMainForm()
{
    if (EffectHost == this)
        EffectHost = nullptr;
    if (App.MainForm == this)
        App.MainForm = nullptr;
    if (App.ErrorLogForm && App.ErrorLogForm->parent() == this)
        App.ErrorLogForm = nullptr;
    PreviewWindows.PreviewFileList = nullptr;
    // The dialogs must not name a window that is gone.
    RegisterAddBlankForm(nullptr);
    RegisterTrimmingOptionForm(nullptr);
    RegisterGrayscaleForm(nullptr);
    RegisterRotationOptionForm(nullptr);
    RegisterToneCurveOptionForm(nullptr);
    RegisterDecreaseColorForm(nullptr);
    RegisterJPEGTranOptionForm(nullptr);
    RegisterColorAdjustForm(nullptr);
    RegisterUnSharpMaskOptionForm(nullptr);
    RegisterAddTextForm(nullptr);
    RegisterCompositeOptionForm(nullptr);
}

QRect FitWindowToWorkArea(QPoint Pos, QSize Inner, QMargins Frame, int WorkRight, int WorkBottom)
{
    // In 64 bits: a settings file may hold any 32-bit place and size, and
    // their sum must not wrap round to a place that looks on the screen.
    const int64_t FrameW = int64_t(Frame.left()) + Frame.right(), FrameH = int64_t(Frame.top()) + Frame.bottom();
    int64_t X = Pos.x(), Y = Pos.y(), W = Inner.width(), H = Inner.height();
    if (X + W + FrameW > WorkRight || Y + H + FrameH > WorkBottom)
        X = Y = 0;
    if (X + W + FrameW > WorkRight)
        W = std::max<int64_t>(1, WorkRight - FrameW);
    if (Y + H + FrameH > WorkBottom)
        H = std::max<int64_t>(1, WorkBottom - FrameH);
    return {int(X), int(Y), int(W), int(H)};
}

void TMainForm::FitToWorkArea()
{
    if (App.WorkAreaRight <= 0 || App.WorkAreaBottom <= 0)
        return;
    const QMargins Frame = windowHandle() && isVisible() ? windowHandle()->frameMargins() : QMargins();
    const QRect R = FitWindowToWorkArea(pos(), size(), Frame, App.WorkAreaRight, App.WorkAreaBottom);
    if (R.topLeft() != pos())
        move(R.topLeft());
    if (R.size() != size())
        resize(R.size());
}

bool TMainForm::event(QEvent* Event)
{
    const bool Done = QMainWindow::event(Event);
    if (FFitFramePending && isVisible() && windowHandle() && !windowHandle()->frameMargins().isNull() &&
        (Event->type() == QEvent::Move || Event->type() == QEvent::Resize || Event->type() == QEvent::Show)) {
        FFitFramePending = false;
        FitToWorkArea();
    }
    return Done;
}

void TMainForm::closeEvent(QCloseEvent* Event)
{
    if (FClosing) {
        Event->accept();
        return;
    }
    FClosing = true;
    FileListView->SetDragDropAccept(false);
    setAcceptDrops(false);
    ThumbnailForm->hide(); // keeps its place beside the window
    if (Startup.IniFileName == GetSettingsFileName({}))
        SaveIniFile(Startup.IniFileName);
    else if (Settings.File.ResetType == 2)
        SaveStartNumber(Startup.IniFileName);
    Event->accept();
}

// --------------------------------------------------------------------------
// Settings

void TMainForm::StoreWindowState()
{
    TWindowSettings& W = Settings.Window;
    W.Left = x();
    W.Top = y();
    W.ClientWidth = width();
    W.ClientHeight = height();
    W.Header = FileListView->ColumnWidths();
    Settings.File.FileNameFormat = RenameRuleEdit->text().toStdString();
    Settings.Thumbnail.Visible = ShowThumbnail->isChecked();
    Settings.Thumbnail.UseEmbeddedThumbnail = !IgnoreEmbeddedThumbnail->isChecked();

    const int Rule = cbxResizeRule->currentIndex();
    Settings.Resize.Rule = Rule < 0 ? 0 : Rule;
    if (Rule >= 0 && Rule != 9) {
        double V;
        Settings.Resize.Size1[size_t(Rule)] = EditNumber(edtSide1->text(), V) ? V : BuiltinSize1[size_t(Rule)];
        Settings.Resize.Size2[size_t(Rule)] = EditNumber(edtSide2->text(), V) ? V : BuiltinSize2[size_t(Rule)];
    }
    Settings.Resize.History = JoinCommaText(ResizeHistory);
}

bool TMainForm::SaveIniFile(const std::string& FileName)
{
    StoreWindowState();
    return ::SaveIniFile(FileName);
}

bool TMainForm::SaveStartNumber(const std::string& FileName)
{
    return ::SaveIniFile2(FileName);
}

void TMainForm::LoadProfile(const std::string& FileName, bool WithBounds)
{
    const std::string Unread = LoadIniFile(FileName);
    ApplySettingsToUI(WithBounds);
    TellUnreadSettings(Unread);
}

void TMainForm::TellUnreadSettings(const std::string& Reason)
{
    // With nobody to see a box the reason is already on standard error.
    if (Reason.empty() || (!Notice && IsNonInteractive()))
        return;
    Tell(QString::fromStdString(Reason) + QLatin1Char('\n') +
         Tx("The settings could not be read; the defaults are in use."));
}

void TMainForm::ApplySettingsToUI(bool WithBounds)
{
    if (Settings.UIFontSize > 0 && !Settings.UIFontName.empty())
        setFont(QFont(QString::fromStdString(Settings.UIFontName), Settings.UIFontSize));
    if (EffectList)
        EffectList->UpDateMenu();

    if (WithBounds) {
        // Fitted before the window takes them: a stored place far off the
        // screen is no place a window can be moved to.
        const TWindowSettings& W = Settings.Window;
        const bool Placed = W.Left >= 0 && W.Top >= 0;
        const QPoint Pos = Placed ? QPoint(W.Left, W.Top) : pos();
        const QSize Inner =
            W.ClientWidth > 0 && W.ClientHeight > 0 ? QSize(W.ClientWidth, W.ClientHeight) : QSize(1100, 640);
        const QRect R = FitWindowToWorkArea(Pos, Inner, QMargins(), App.WorkAreaRight > 0 ? App.WorkAreaRight : 1 << 20,
                                            App.WorkAreaBottom > 0 ? App.WorkAreaBottom : 1 << 20);
        if (Placed || R.topLeft() != Pos)
            move(R.topLeft());
        resize(R.size());
        // The frame is known only once the window manager has framed the
        // shown window: fitted again then.
        FFitFramePending = true;
        QTimer::singleShot(3000, this, [this] { FFitFramePending = false; });
        FileListView->SetColumnWidths(W.Header);
    }

    // The size history and the edits.
    SetHistory(Settings.Resize.History);
    edtSide1->setText(NumberText(Settings.Resize.Size1[size_t(std::clamp(OldRule, 0, 11))]));
    edtSide2->setText(NumberText(Settings.Resize.Size2[size_t(std::clamp(OldRule, 0, 11))]));
    cbxResizeRule->setCurrentIndex(Settings.Resize.Rule);
    cbxResizeRuleChange();

    RenameRuleEdit->setText(QString::fromStdString(Settings.File.FileNameFormat));
    ModeCombo->setCurrentIndex(Settings.RunMode);
    if (AtOnceBox->isChecked() != Settings.File.AtOnce) {
        AtOnceBox->setChecked(Settings.File.AtOnce);
        AtOnceBoxClick(Settings.File.AtOnce);
    }
    UpdateListState();
    IgnoreEmbeddedThumbnail->setChecked(!Settings.Thumbnail.UseEmbeddedThumbnail);
    ShowThumbnail->setChecked(Settings.Thumbnail.Visible);
    IgnoreEmbeddedThumbnail->setEnabled(ShowThumbnail->isChecked());
    UpdateCaption();
    ThumbnailForm->SetWndPosition();
}

void TMainForm::UpdateCaption()
{
    QString Title = QStringLiteral("Vestro Image Resizer");
    if (!Settings.System.Caption.empty()) {
        QString C = QString::fromStdString(Settings.System.Caption);
        C.replace(QLatin1String("%ini"), QString::fromStdString(ExtractFileName(Startup.IniFileName)),
                  Qt::CaseSensitive);
        Title += QStringLiteral(" - ") + C;
    }
    setWindowTitle(Title);
}

// --------------------------------------------------------------------------
// Questions

bool TMainForm::Ask(const QString& Text)
{
    if (Confirm)
        return Confirm(Text);
    if (IsNonInteractive())
        return false;
    return ShowMessageBox(this, QMessageBox::Question, windowTitle(), Text, QMessageBox::Ok | QMessageBox::Cancel,
                          QMessageBox::Cancel) == QMessageBox::Ok;
}

void TMainForm::Tell(const QString& Text)
{
    if (Notice)
        Notice(Text);
    else if (IsNonInteractive())
        std::fprintf(stderr, "%s\n", qPrintable(Text));
    else
        ShowMessageBox(this, QMessageBox::Information, windowTitle(), Text);
}

// --------------------------------------------------------------------------
// The effect chain's host

void TMainForm::UpdateEffectStrip(TEffectList& List)
{
    const TEffect* DC = List.DecreaseColorEffect();
    const bool HasTool =
        DC && dynamic_cast<const TDecreaseColorEffect*>(DC) && static_cast<const TDecreaseColorEffect*>(DC)->FMode != 0;
    EffectStrip->Rebuild(List, HasTool);
    UpdateListState();
}

void TMainForm::ShowResizeSettings()
{
    TResizeOptionForm F(Settings.Resize, this);
    if (F.exec() != QDialog::Accepted)
        return;
    ::SetResizeFilters(0, Settings.Resize.InterpolationMode, 0);
    if (App.MainResizer)
        App.MainResizer->SetMaxThreadNum(int32_t(Settings.Resize.MaxThread));
    SetSharedFilterThreads(std::max<uint32_t>(Settings.Resize.MaxThread, 1));
}

void TMainForm::PushSizeRule()
{
    SetResizeParam();
}

std::string TMainForm::RenameRule()
{
    return RenameRuleEdit->text().toStdString();
}

void TMainForm::SetResizeFilters(int32_t Decimation, int32_t Interpolation, int32_t SIMDMode)
{
    ::SetResizeFilters(Decimation, Interpolation, SIMDMode);
}

// --------------------------------------------------------------------------
// Modes

void TMainForm::ModeComboChange(int Index)
{
    if (Index == Settings.RunMode)
        return;
    if (Index == 1 && App.FileList && App.FileList->Count() > 0) {
        if (!Ask(Tx(SRemoveNonJPEGFiles))) {
            ModeCombo->setCurrentIndex(Settings.RunMode);
            return;
        }
        SetJPEGTranMode();
    }
    Settings.RunMode = Index;
    if (TEffect* J = EffectList ? EffectList->JPEGTranEffect() : nullptr)
        J->SetUse(Index == 1);
    Settings.Combine.Use = Index == 2;
    Settings.File.RenameOnly = Index == 3;
    UpdateListState();
}

void TMainForm::SetJPEGTranMode()
{
    if (!App.FileList || App.FileList->Count() == 0)
        return;
    FileListView->HideThumbnail();
    std::vector<int> Others;
    for (int i = App.FileList->Count() - 1; i >= 0; --i) {
        TImageInfo& E = *App.FileList->Items(i);
        if (E.PictureFormat == pfUnknown)
            GetImageInfo(E.Path(), E);
        if (E.PictureFormat != pfJPEG)
            Others.push_back(i);
    }
    FileListView->Model()->DeleteRows(Others);
    UpdateListState();
}

void TMainForm::AtOnceBoxClick(bool Checked)
{
    Settings.File.AtOnce = Checked;
    if (Checked && App.FileList && App.FileList->Count() > 0) {
        if (Ask(Tx(SRemoveAllFiles))) {
            FileListView->ClearList();
        } else {
            AtOnceBox->setChecked(false);
            Settings.File.AtOnce = false;
        }
    }
}

void TMainForm::SystemOptionSettingClick()
{
    if (!ShowDialog<TSystemOptionForm>())
        return;
    if (Settings.File.AtOnce && App.FileList && App.FileList->Count() > 0) {
        if (Ask(Tx(SRemoveAllFiles)))
            FileListView->ClearList();
        else
            Settings.File.AtOnce = false;
    }
    AtOnceBox->setChecked(Settings.File.AtOnce);
    UpdateCaption();
}

void TMainForm::SetSPIOptionExecute()
{
    if (App.FileList && App.FileList->Count() > 0) {
        if (!Ask(Tx(SRemoveAllFiles)))
            return;
        FileListView->ClearList();
    }
    ShowDialog<TSusiePluginOptionForm>();
    // Whatever the dialog's result: the plug-ins as the order now names them.
    if (App.SPIList) {
        App.SPIList->ReleaseSPI();
        std::string Names;
        TSPIList::GetUseSPINames(Settings.SPIOrder, Names);
        if (!Names.empty())
            App.SPIList->LoadSPI(Startup.SPIPath, Names);
    }
}

void TMainForm::DeleteShortCutClick()
{
    DeleteShortcutFiles();
}

void TMainForm::EffectPermuteExecute()
{
    if (!EffectList)
        return;
    TChangeOrderForm F(*EffectList, this);
    F.exec();
}

void TMainForm::HelpShowExecute()
{
    OpenWithDesktop(HelpFilePath(), this, [this](const QString& Text) { Tell(Text); });
}

void TMainForm::FileOpenIniExecute()
{
    const QString Name = QFileDialog::getOpenFileName(this, Tx("Load inifile"), QString::fromStdString(Startup.IniDir),
                                                      Tx("inifile (*.ini)"));
    if (Name.isEmpty())
        return;
    if (Settings.File.ResetType == 2) {
        try {
            TMemIniFile Ini(Startup.IniFileName);
            Ini.WriteInteger("File", "StartNumber", Settings.File.StartNumber);
            Ini.UpdateFile();
        } catch (const std::exception& E) {
            std::fprintf(stderr, "%s\n", E.what());
        }
    }
    LoadProfile(Name.toStdString(), false);
    ::SetResizeFilters(1, Settings.Resize.InterpolationMode, Settings.Resize.SIMDMode);
    if (App.MainResizer)
        App.MainResizer->SetMaxThreadNum(int32_t(Settings.Resize.MaxThread));
    SetSharedFilterThreads(std::max<uint32_t>(Settings.Resize.MaxThread, 1));
    ShowThumbnail->setChecked(Settings.Thumbnail.Visible);
    UpdateCaption();
    RefreshFileList();
}

void TMainForm::FileSaveIniExecute()
{
    QString Name = QFileDialog::getSaveFileName(this, Tx("Save inifile"), QString::fromStdString(Startup.IniDir),
                                                Tx("inifile (*.ini)"));
    if (Name.isEmpty())
        return;
    if (QFileInfo(Name).suffix().isEmpty())
        Name += QStringLiteral(".ini");
    if (SaveIniFile(Name.toStdString())) {
        Startup.IniFileName = Name.toStdString();
        UpdateCaption();
    }
}

// --------------------------------------------------------------------------
// The list

std::vector<int> TMainForm::SelectedRows() const
{
    return FileListView->SelectedRows();
}

int TMainForm::CurrentRow() const
{
    const int Row = FileListView->CurrentRow();
    if (Row >= 0)
        return Row;
    const std::vector<int> Rows = SelectedRows();
    return Rows.empty() ? -1 : Rows.front();
}

void TMainForm::UpdateListState()
{
    FileListView->UpdateListState();
}

void TMainForm::OnListStateChanged(const TListState& State)
{
    for (QAction* A : {ListViewClear, ConvertRun, ListViewCheckAlt, ListViewSelectAll, ListViewReverseAll})
        A->setEnabled(State.Count > 0);
    for (QAction* A : {ListViewDelete, ListViewCheck, ListViewCheckReset, ListViewCheckReverse})
        A->setEnabled(State.HasSelection);
    Preview->setEnabled(State.CanPreview);
    PreviewNewWindow->setEnabled(State.CanPreviewNewWindow);
    StatusPanel[1]->setText(State.CountText);
}

void TMainForm::AddPaths(const std::vector<std::string>& Paths)
{
    FileListView->AddPaths(Paths);
}

void TMainForm::HandOff(const std::vector<std::string>& Args)
{
    FileListView->AddHandOff(Args);
}

void TMainForm::dragEnterEvent(QDragEnterEvent* Event)
{
    if (FileListView->DragDropAccept() && Event->mimeData()->hasUrls())
        Event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* Event)
{
    if (!FileListView->DragDropAccept())
        return;
    std::vector<std::string> Paths;
    for (const QUrl& U : Event->mimeData()->urls())
        if (U.isLocalFile())
            Paths.push_back(U.toLocalFile().toStdString());
    Event->acceptProposedAction();
    FileListView->AddPaths(Paths);
}

void TMainForm::RefreshFileList()
{
    FileListView->RefreshFileList();
}

void TMainForm::PreviewExecute(bool NewWindow)
{
    if (!SetResizeParam())
        return;
    FPreview->Execute(CurrentRow(), NewWindow);
}
