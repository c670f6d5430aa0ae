// The main window's file list: a report view of the process-wide FileList
// with check marks, header-click sorting, dragging rows to reorder them, and
// every list command. Files come in through the list-up window (the busy
// window over the main window): Add Files, Add Folder, drops from the file
// manager, hand-offs of a second start, pasted pictures and the command line.
//
// What the main window does with it:
// - Create it as the central list (parent: the main window, which also owns
//   the list-up window), then call SetThumbnailWindow once.
// - Connect ListStateChanged to enable its actions and to write the file
//   count into the status bar (State.CountText is "%dFiles" or empty). The
//   signal follows every list or selection change; UpdateListState sends it
//   on demand (for instance after the run mode or the viewer changed).
// - Connect RunAtOnceRequested to the Run command: an add made while [File]
//   AtOnce is set filled the run input, which is to be converted now.
// - Connect CaptionMessage to show a thumbnail failure in the window caption.
// - Bind the list commands (Remove File, Clear File, Select All, Check,
//   Uncheck, Reverse, Reverse All, Alternately, Paste, Add Files, Add Folder,
//   Thumbnail) to the methods of the same meaning below; the pop-up menu is
//   the main window's (setContextMenuPolicy / customContextMenuRequested).
// - Around a run: SetDragDropAccept(false) before, and after it
//   RefreshFileList() then SetDragDropAccept(true); hand-offs that arrive
//   meanwhile are kept and listed then.
// - Feed every hand-off of a second start to AddHandOff, and the command line
//   of this start to AddCommandLine.
// - ColumnWidths / SetColumnWidths for the [ListView] settings.
#pragma once
#include "app/FileListModel.h"

#include <QTableView>

#include <array>
#include <string>
#include <vector>

class QAction;
class TThumbnailForm;

// What the actions that depend on the list need to know.
struct TListState {
    int Count = 0;                    // rows in the view
    bool HasSelection = false;        // Remove File, Check, Uncheck, Reverse
    bool CanPreview = false;          // Preview: rows, and the normal run mode
    bool CanPreviewNewWindow = false; // Preview In New Window: also a viewer exists
    QString CountText;                // "%dFiles", empty without rows
};

// Saves Picture as a BMP file named "clipboard<n>.bmp" in Dir (created with
// its parents when missing), with n the first number from Counter on whose
// name is free. The file is created exclusively: an existing file is never
// touched. Counter becomes n + 1. Returns the path, or an empty string with
// Error set ("name: reason") when nothing could be written (also when Dir
// holds a control character).
std::string SaveClipboardPicture(const QImage& Picture, const std::string& Dir, int& Counter, std::string& Error);

// The paths among a start's arguments (already absolute): every argument that
// does not begin with "/", and those that do and name an existing file or
// folder; switches such as "/ini=NAME" are left out.
std::vector<std::string> PathsFromArguments(const std::vector<std::string>& Args);

class TFileListView : public QTableView {
    Q_OBJECT
public:
    // List: the list shown (null: FileList). The list-up window always adds
    // to FileList, so a view of another list is for looking only.
    explicit TFileListView(QWidget* Parent = nullptr, TImageInfoList* List = nullptr);
    ~TFileListView() override;
    TFileListModel* Model() const { return FModel; }

    // Column widths in pixels; stored widths replace the designed ones only
    // when positive.
    std::array<int32_t, 7> ColumnWidths() const;
    void SetColumnWidths(const std::array<int32_t, 7>& Widths);

    // The thumbnail window beside the main window, the Thumbnail action
    // (checkable) and the "Ignore Embedded Thumbnails" item (checkable); none
    // is owned. Call once after creating them.
    void SetThumbnailWindow(TThumbnailForm* Form, QAction* ShowThumbnail, QAction* IgnoreEmbedded);
    // The Thumbnail command, after the action toggled its check mark.
    void ShowThumbnailExecute();
    void HideThumbnail();

    // List commands.
    void DeleteSelected();
    void ClearList();
    void SelectAllRows();
    void CheckSelected();
    void UncheckSelected();
    void ReverseSelected(); // nothing without a selection
    void ReverseAll();
    void CheckAlternately();
    void SortByColumn(int Column);
    // Pastes a picture from the clipboard (nothing when it holds none).
    void Paste();
    // Open dialog / folder picker, then the list-up window.
    void AddFilesDialog();
    void AddFolderDialog();

    // Lists Paths through the list-up window (modal); when MayRunAtOnce and
    // the run input is not empty afterwards, RunAtOnceRequested follows.
    void AddPaths(const std::vector<std::string>& Paths, bool MayRunAtOnce = true);
    // The files of this start's command line (absolute): listed, never run at
    // once.
    void AddCommandLine(const std::vector<std::string>& Args);
    // Arguments handed over by a second start (absolute; switches are left
    // out). While drops are refused (a run) they are kept and listed when
    // SetDragDropAccept(true) is called.
    void AddHandOff(const std::vector<std::string>& Args);
    void SetDragDropAccept(bool Accept);
    bool DragDropAccept() const { return FDragDropAccept; }

    // Drops entries whose file vanished or no longer probes, shows the error
    // log when it holds lines, then UpdateListState.
    void RefreshFileList();
    // The list changed behind the view's back (a run, a profile): the rows
    // are made afresh and the state sent.
    void ReloadList();
    // Sends ListStateChanged.
    void UpdateListState();
    TListState ListState() const;

    int CurrentRow() const;                // -1 without a current row
    std::vector<int> SelectedRows() const; // ascending

signals:
    void ListStateChanged(const TListState& State);
    void RunAtOnceRequested();
    void CaptionMessage(const QString& Text);

protected:
    void keyPressEvent(QKeyEvent* Event) override;
    QModelIndex moveCursor(CursorAction Action, Qt::KeyboardModifiers Modifiers) override;
    void startDrag(Qt::DropActions Actions) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;
    void currentChanged(const QModelIndex& Current, const QModelIndex& Previous) override;
    void selectionChanged(const QItemSelection& Selected, const QItemSelection& Deselected) override;

private:
    void ShowThumbnailFor(int Row);
    // Makes E's thumbnail beside the GUI thread and shows it when E is still
    // the current row; Tell: failures go to the caption and what the readers
    // said to the error log (once per file); without Tell nothing is said.
    void RequestThumbnail(TImageInfo* E, bool Tell);

    TFileListModel* FModel;
    TThumbnailForm* FThumbnailForm = nullptr;
    int FThumbnailTicket = 0; // the thumbnail request whose result is wanted
    QAction* FShowThumbnail = nullptr;
    QAction* FIgnoreEmbedded = nullptr;
    bool FDragDropAccept = true;
    std::vector<std::vector<std::string>> FPendingHandOffs;
};
