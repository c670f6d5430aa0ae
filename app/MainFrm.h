// The main window of a normal start: the file list, the size-rule bar, the
// effect strip, the menus and tool bars, the mode and "at once" boxes, and
// the Run command with what follows a run.
//
// The window is the effect chain's host (strip rebuild, resize settings, the
// size rule pushed before a preview, the rename rule). Its questions go
// through Confirm and Notice, which tests replace; nothing here blocks
// without a person to answer.
#pragma once
#include "app/Startup.h"
#include "effects/Effect.h"

#include <QMainWindow>
#include <QMargins>
#include <QRect>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QToolBar;
class QToolButton;
class QWidget;
class TEffectStrip;
class TFileListView;
class TListPreview;
struct TListState;
class TThumbnailForm;

class TMainForm : public QMainWindow, public TEffectHost {
    Q_OBJECT
public:
    // Args: the command line without the program (switches included); its
    // files are listed through the list-up window once the window shows.
    explicit TMainForm(const std::vector<std::string>& Args, QWidget* Parent = nullptr);
    ~TMainForm() override;

    // --- settings ---
    // Folds the window's state (bounds, column widths, rename rule, size
    // edits and history, thumbnail window) into the records, then writes
    // every section to FileName.
    bool SaveIniFile(const std::string& FileName);
    // Writes only [File] StartNumber.
    bool SaveStartNumber(const std::string& FileName);
    // Loads FileName and applies it to the window (with its stored bounds
    // when WithBounds).
    void LoadProfile(const std::string& FileName, bool WithBounds);
    // Says that the settings file could not be read (Reason: why, from
    // LoadIniFile) and that the defaults hold; nothing when Reason is empty.
    void TellUnreadSettings(const std::string& Reason);
    void ApplySettingsToUI(bool WithBounds);
    void UpdateCaption();

    // --- size rule ---
    void cbxResizeRuleChange();
    // Hands the chosen rule and sides to the chain and records them in the
    // history. False (after telling the user) when the rule is History and
    // the history is empty: then nothing may run.
    bool SetResizeParam();
    std::vector<std::string> ResizeHistory; // newest first, at most 10

    // --- modes and list ---
    void SetJPEGTranMode();
    // Lists Paths through the list-up window (files, folders; anything else
    // is offered as a path too and left out when it is no picture).
    void AddPaths(const std::vector<std::string>& Paths);
    // What another start handed over: listed now, or when the present run
    // ends (a run refuses drops while it goes on).
    void HandOff(const std::vector<std::string>& Args);
    void RefreshFileList();
    void UpdateListState();
    // Selected rows of the list, ascending.
    std::vector<int> SelectedRows() const;
    // The focused row, or the first selected, or -1.
    int CurrentRow() const;

    // --- the run ---
    // Does nothing while a run is on: the Run key pressed again before the
    // run's window has the focus would start a second run inside the first.
    void ConvertRunExecute();

    // --- the effect chain's host ---
    void UpdateEffectStrip(TEffectList& List) override;
    void ShowResizeSettings() override;
    void PushSizeRule() override;
    std::string RenameRule() override;
    void SetResizeFilters(int32_t Decimation, int32_t Interpolation, int32_t SIMDMode) override;

    // Questions and messages. Confirm answers an OK/Cancel question (true:
    // OK); Notice shows a message. Unset: message boxes, and with nobody to
    // answer (offscreen, VESTRO_NONINTERACTIVE) Confirm says Cancel and Notice
    // writes to standard error.
    std::function<bool(const QString& Text)> Confirm;
    std::function<void(const QString& Text)> Notice;

    // --- controls ---
    TFileListView* FileListView;
    QLabel* StatusPanel[3];
    QLineEdit* RenameRuleEdit;
    QToolButton* RuleHelpButton; // rename-rule token help
    QComboBox* ModeCombo;
    QCheckBox* AtOnceBox; // "at once"
    QComboBox* cbxResizeRule;
    QWidget *Side1Panel, *Side2Panel, *SizeHistoryPanel;
    QLabel *Side1Label, *Side1UnitLabel, *Side2Label, *Side2UnitLabel;
    QLineEdit *edtSide1, *edtSide2;
    QComboBox* SizeHistoryCombo;
    TEffectStrip* EffectStrip;
    QMenu* LanguageMenu;
    QMenu* FileListMenu;
    QToolBar *MainToolBar, *SizeToolBar;
    TThumbnailForm* ThumbnailForm;

    QAction *FileAdd, *FileAddFolder, *FileOpenIni, *FileSaveIni, *FileExit;
    QAction *ListViewDelete, *ListViewClear, *ListViewSelectAll, *ListViewCheck, *ListViewCheckReset,
        *ListViewCheckReverse, *ListViewReverseAll, *ListViewCheckAlt, *ListViewPaste;
    QAction *ShowThumbnail, *IgnoreEmbeddedThumbnail;
    QAction *SetBMPOption, *SetJPEGOption, *SetPNGOption, *SetPictureFormat, *SetOutPutFolder, *SetMetaDataOption,
        *SetPreviewOption, *SetSPIOption, *JPEGTranOption, *Combine, *SystemOptionSetting, *CreateShortCut,
        *DeleteShortCut, *EffectPermute, *SetResizeOption;
    QAction *ConvertRun, *Preview, *PreviewNewWindow, *HelpShow, *HelpAbout;

    int OldRule = 0;

protected:
    bool event(QEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBars();
    void CreateCentral();
    void ConnectActions();
    void BuildLanguageMenu();
    // Moves and cuts the window so that its frame lies in the work area.
    void FitToWorkArea();

    bool Ask(const QString& Text);
    void Tell(const QString& Text);

    void ModeComboChange(int Index);
    void AtOnceBoxClick(bool Checked);
    void OnListStateChanged(const TListState& State);
    // Preview and Preview In New Window.
    void PreviewExecute(bool NewWindow);
    void FileOpenIniExecute();
    void FileSaveIniExecute();
    void SetSPIOptionExecute();
    void SystemOptionSettingClick();
    void DeleteShortCutClick();
    void EffectPermuteExecute();
    void HelpShowExecute();
    void LanguageClick(int Tag);
    template <class TForm, class... TArgs> bool ShowDialog(TArgs&&... Args);
    // After a run: entries to drop from the list (RemoveList).
    void RemoveConvertedEntries(const std::vector<bool>& Converted);
    // Folds the window's state into the records before they are written.
    void StoreWindowState();
    // Fills the history and its combo from the stored comma text, each entry
    // rewritten in the form HistoryEntryText gives (unreadable ones left out).
    void SetHistory(const std::string& CommaText);
    QString HistoryLine(const std::string& Entry) const;
    void MoveHistoryToTop(int Index);

    std::vector<std::string> FArgs;
    std::unique_ptr<TListPreview> FPreview;
    bool FClosing = false;
    bool FFitFramePending = false;
    bool FRunning = false;
};

// Where a window goes whose frame (Inner plus the Frame margins) starts at
// Pos, so that the frame lies within the work area (0, 0)-(WorkRight,
// WorkBottom): at 0, 0 when it runs over either edge, then cut to fit.
// Returns the frame position and the new inner size.
QRect FitWindowToWorkArea(QPoint Pos, QSize Inner, QMargins Frame, int WorkRight, int WorkBottom);

// A size history entry: "rule,side1,side2", the sides written with a dot
// whatever the locale (rules 0 to 4 repeat side1). Reading also takes the
// older form whose sides were written as typed, so that "0,12,5,12,5" is
// 12.5 %; false when the sides are no numbers. A rule out of range reads 0.
bool ReadHistoryEntry(const std::string& Entry, int& Rule, double& Side1, double& Side2);
std::string HistoryEntryText(int Rule, double Side1, double Side2);

// The window of a normal start; null before it is made and after it is gone.
