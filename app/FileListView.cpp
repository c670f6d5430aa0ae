#include "app/FileListView.h"

#include "app/BrwsFldr.h"
#include "app/FilePreview.h"
#include "app/ProgressFrm3.h"
#include "app/Startup.h"
#include "app/ThumbnailFrm.h"
#include "core/Bitmap.h"
#include "core/ErrorLog.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/OutputFileName.h"
#include "core/ResourceText.h"
#include "platform/FileOps.h"

#include <QAction>
#include <QClipboard>
#include <QDrag>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

QString Tr(const char* Text)
{
    return QString::fromStdString(LoadResText(Text));
}

// Marks a drag that started in the list itself; it carries nothing else.
const char* const RowDragMime = "application/x-vestro-list-row";

// A clipboard picture as an image record: 4 channels when it has alpha.
void QImageToImg(const QImage& Picture, TImgInfo& Img)
{
    const bool Alpha = Picture.hasAlphaChannel();
    const QImage Src = Picture.convertToFormat(Alpha ? QImage::Format_ARGB32 : QImage::Format_BGR888);
    AllocImg(Img, uint32_t(Src.width()), uint32_t(Src.height()), Alpha ? 4 : 3);
    for (uint32_t Y = 0; Y < Img.Height; ++Y) {
        const uchar* S = Src.constScanLine(int(Y));
        uint8_t* D = ScanLine(Img, Y);
        if (!Alpha) {
            std::memcpy(D, S, size_t(Img.Width) * 3);
            continue;
        }
        // Format_ARGB32 is a native 0xAARRGGBB word per pixel.
        const QRgb* P = reinterpret_cast<const QRgb*>(S);
        for (uint32_t X = 0; X < Img.Width; ++X) {
            D[4 * X] = uint8_t(qBlue(P[X]));
            D[4 * X + 1] = uint8_t(qGreen(P[X]));
            D[4 * X + 2] = uint8_t(qRed(P[X]));
            D[4 * X + 3] = uint8_t(qAlpha(P[X]));
        }
    }
}

} // namespace

std::string SaveClipboardPicture(const QImage& Picture, const std::string& Dir, int& Counter, std::string& Error)
{
    std::string Folder = Dir.empty() ? Startup.TempDir : Dir;
    if (!Folder.empty() && Folder.back() != '/')
        Folder += '/';
    if (Picture.isNull()) {
        Error = Folder + ": " + LoadResText(SUnknownFormat);
        return {};
    }
    // A folder from a hand-written settings file: a NUL in it would put the
    // picture somewhere else.
    if (HasControlCharacter(Folder)) {
        Error = Folder + ": " + LoadResText("The file name contains characters that cannot be used");
        return {};
    }
    if (!platform::DirectoryExists(Folder) && !platform::ForceDirectories(Folder)) {
        Error = Folder + ": " + std::strerror(errno);
        return {};
    }
    std::vector<uint8_t> Stream;
    {
        TImgInfo Img;
        QImageToImg(Picture, Img);
        const bool Made = SaveBitmapToStream(Stream, Img, TResolutionInfo{}, Settings.Metadata);
        FreeImg(Img);
        if (!Made) {
            Error = Folder + ": " + LoadResText(SUnknownFormat);
            return {};
        }
    }
    // Each name is created exclusively: a file that is there already, ours
    // from an earlier run or anybody's, is skipped and never written.
    for (int Tries = 0; Tries < 100000; ++Tries) {
        const std::string Name = Folder + "clipboard" + std::to_string(Counter) + ".bmp";
        const int E = platform::WriteNewFile(Name, Stream.data(), Stream.size());
        ++Counter;
        if (E == 0)
            return Name;
        if (E != EEXIST) {
            Error = Name + ": " + std::strerror(E);
            return {};
        }
    }
    Error = Folder + ": " + std::strerror(EEXIST);
    return {};
}

std::vector<std::string> PathsFromArguments(const std::vector<std::string>& Args)
{
    std::vector<std::string> Paths;
    std::error_code Ec;
    for (const std::string& A : Args) {
        if (!IsPathArgument(A))
            continue;
        if (A.front() != '/')
            Paths.push_back(std::filesystem::absolute(A, Ec).lexically_normal().string());
        else
            Paths.push_back(A);
    }
    return Paths;
}

TFileListView::TFileListView(QWidget* Parent, TImageInfoList* List)
    : QTableView(Parent), FModel(new TFileListModel(List ? List : App.FileList, this))
{
    setObjectName("FileListView");
    setModel(FModel);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    // The designed widths fit a small 8-point face (about 5 pixels a
    // character); larger interface fonts widen them in proportion.
    const double Scale = std::max(1.0, fontMetrics().averageCharWidth() / 5.0);
    for (int C = 0; C < TFileListModel::ColumnCount; ++C)
        setColumnWidth(C, int(TFileListModel::DefaultWidths[size_t(C)] * Scale + 0.5));
    // The type column shows the names of the formats read whole, in the
    // interface language.
    int TypeWidth = columnWidth(TFileListModel::colType);
    for (const QString& Ext : QStringLiteral(".jpg .png .bmp .gif .tif .webp .heic .ico .jxr").split(QLatin1Char(' ')))
        TypeWidth = std::max(TypeWidth,
                             fontMetrics().horizontalAdvance(
                                 QString::fromStdString(PictureTypes.ExtInfoList.GetExtType(Ext.toStdString()))) +
                                 12);
    setColumnWidth(TFileListModel::colType, TypeWidth);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &TFileListView::SortByColumn);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setDropIndicatorShown(true);
}

TFileListView::~TFileListView() = default;

std::array<int32_t, 7> TFileListView::ColumnWidths() const
{
    std::array<int32_t, 7> W{};
    for (int C = 0; C < 7; ++C)
        W[size_t(C)] = columnWidth(C);
    return W;
}

void TFileListView::SetColumnWidths(const std::array<int32_t, 7>& Widths)
{
    for (int C = 0; C < 7; ++C)
        if (Widths[size_t(C)] > 0)
            setColumnWidth(C, Widths[size_t(C)]);
}

// ---------------------------------------------------------------- state

TListState TFileListView::ListState() const
{
    TListState S;
    S.Count = FModel->rowCount();
    S.HasSelection = selectionModel() && selectionModel()->hasSelection();
    S.CanPreview = S.Count > 0 && Settings.RunMode == 0;
    S.CanPreviewNewWindow = S.CanPreview && ViewerExists();
    if (S.Count > 0)
        S.CountText = QString::asprintf(LoadResText("%dFiles").c_str(), S.Count);
    return S;
}

void TFileListView::UpdateListState()
{
    emit ListStateChanged(ListState());
}

int TFileListView::CurrentRow() const
{
    const QModelIndex I = currentIndex();
    return I.isValid() ? I.row() : -1;
}

std::vector<int> TFileListView::SelectedRows() const
{
    std::vector<int> Rows;
    if (!selectionModel())
        return Rows;
    for (const QModelIndex& I : selectionModel()->selectedRows())
        Rows.push_back(I.row());
    std::sort(Rows.begin(), Rows.end());
    return Rows;
}

// ---------------------------------------------------------------- commands

void TFileListView::DeleteSelected()
{
    const std::vector<int> Rows = SelectedRows();
    if (Rows.empty())
        return;
    FModel->DeleteRows(Rows);
    clearSelection();
    HideThumbnail();
    UpdateListState();
}

void TFileListView::ClearList()
{
    FModel->Clear();
    UpdateListState();
    HideThumbnail();
}

void TFileListView::SelectAllRows()
{
    selectAll();
}

void TFileListView::CheckSelected()
{
    FModel->SetChecks(SelectedRows(), TFileListModel::ckCheck);
}

void TFileListView::UncheckSelected()
{
    FModel->SetChecks(SelectedRows(), TFileListModel::ckUncheck);
}

void TFileListView::ReverseSelected()
{
    FModel->SetChecks(SelectedRows(), TFileListModel::ckReverse);
}

void TFileListView::ReverseAll()
{
    FModel->ReverseAll();
}

void TFileListView::CheckAlternately()
{
    FModel->CheckAlternately();
}

void TFileListView::SortByColumn(int Column)
{
    FModel->Sort(Column);
    RefreshFileList();
}

void TFileListView::RefreshFileList()
{
    HideThumbnail();
    FModel->RefreshEntries();
    ShowErrorLogIfAny();
    UpdateListState();
}

void TFileListView::ReloadList()
{
    FModel->Reload();
    UpdateListState();
}

// ---------------------------------------------------------------- adding files

void TFileListView::AddPaths(const std::vector<std::string>& Paths, bool MayRunAtOnce)
{
    if (Paths.empty())
        return;
    {
        TProgressForm3 Form(window());
        Form.AddFiles(Paths);
        Form.exec();
    }
    ReloadList();
    ShowErrorLogIfAny();
    if (MayRunAtOnce && Settings.File.AtOnce && App.ImageFileList && !App.ImageFileList->empty())
        emit RunAtOnceRequested();
}

void TFileListView::AddCommandLine(const std::vector<std::string>& Args)
{
    AddPaths(PathsFromArguments(Args), false);
    UpdateListState();
}

void TFileListView::AddHandOff(const std::vector<std::string>& Args)
{
    std::vector<std::string> Paths = PathsFromArguments(Args);
    if (Paths.empty())
        return;
    if (!FDragDropAccept) {
        FPendingHandOffs.push_back(std::move(Paths));
        return;
    }
    AddPaths(Paths);
}

void TFileListView::SetDragDropAccept(bool Accept)
{
    FDragDropAccept = Accept;
    if (!Accept || FPendingHandOffs.empty())
        return;
    // What later starts handed over during the run, in the order it came.
    std::vector<std::string> Paths;
    for (auto& P : FPendingHandOffs)
        Paths.insert(Paths.end(), P.begin(), P.end());
    FPendingHandOffs.clear();
    AddPaths(Paths);
}

void TFileListView::AddFilesDialog()
{
    QFileDialog Dialog(window(), Tr("Add file"), QString::fromStdString(Startup.PictureDir));
    Dialog.setFileMode(QFileDialog::ExistingFiles);
    Dialog.setSizeGripEnabled(true);
    if (Dialog.exec() != QDialog::Accepted)
        return;
    std::vector<std::string> Files;
    for (const QString& F : Dialog.selectedFiles())
        Files.push_back(F.toStdString());
    if (Files.empty())
        return;
    Startup.PictureDir = ExtractFilePath(Files.front());
    AddPaths(Files);
}

void TFileListView::AddFolderDialog()
{
    TBrowseFolderBox Box;
    Box.FTitle = Tr(SSelectFolderToAdd);
    Box.FFlags |= TBrowseFolderBox::NewDialogStyle;
    Box.PlaceOver(window());
    if (Box.Execute(window()))
        AddPaths({Box.FSelectFolder.toStdString()});
}

void TFileListView::Paste()
{
    QClipboard* Clip = QGuiApplication::clipboard();
    const QMimeData* Data = Clip ? Clip->mimeData() : nullptr;
    if (!Data || !Data->hasImage())
        return;
    const QImage Picture = qvariant_cast<QImage>(Data->imageData());
    if (Picture.isNull())
        return;
    std::string Error;
    const std::string Path = SaveClipboardPicture(Picture, Settings.File.ClipBoardTempDir, App.ClipboardCounter, Error);
    if (Path.empty()) {
        ErrorLog.PutErrorMsg(Error);
        ShowErrorLogIfAny();
        return;
    }
    Clip->clear();
    AddPaths({Path}, false);
    // The entry owns its file from now on: it goes when the entry goes.
    bool Listed = false;
    for (int R = FModel->rowCount() - 1; R >= 0 && !Listed; --R)
        if (TImageInfo* E = FModel->Entry(R); E->Path() == Path)
            E->IsTempFile = Listed = true;
    if (Settings.File.AtOnce && App.ImageFileList && !App.ImageFileList->empty())
        emit RunAtOnceRequested();
    else if (!Listed)
        platform::DeleteFile(Path); // not taken (say, in the lossless JPEG mode)
}

// ---------------------------------------------------------------- thumbnails

void TFileListView::SetThumbnailWindow(TThumbnailForm* Form, QAction* ShowThumbnail, QAction* IgnoreEmbedded)
{
    FThumbnailForm = Form;
    FShowThumbnail = ShowThumbnail;
    FIgnoreEmbedded = IgnoreEmbedded;
}

void TFileListView::HideThumbnail()
{
    if (FThumbnailForm && FThumbnailForm->isVisible())
        FThumbnailForm->hide();
}

void TFileListView::ShowThumbnailExecute()
{
    const bool On = FShowThumbnail && FShowThumbnail->isChecked();
    if (On && FThumbnailForm && FThumbnailForm->isHidden()) {
        if (TImageInfo* E = FModel->Entry(CurrentRow())) {
            FThumbnailForm->show();
            // The command shows what it can; a picture that fails is left out.
            if (E->Path() != FThumbnailForm->FPath && platform::FileExists(E->Path()))
                RequestThumbnail(E, false);
            window()->activateWindow();
            setFocus();
        }
    } else {
        HideThumbnail();
    }
    if (FIgnoreEmbedded)
        FIgnoreEmbedded->setEnabled(On);
}

void TFileListView::ShowThumbnailFor(int Row)
{
    TImageInfo* E = FModel->Entry(Row);
    if (!E || !FThumbnailForm || !FShowThumbnail || !FShowThumbnail->isChecked())
        return;
    try {
        if (FThumbnailForm->isHidden()) {
            FThumbnailForm->show();
            window()->activateWindow();
            setFocus();
        }
        RequestThumbnail(E, true);
    } catch (const std::exception& Ex) {
        emit CaptionMessage(QString::fromStdString(Ex.what()));
    }
}

void TFileListView::RequestThumbnail(TImageInfo* E, bool Tell)
{
    // Only the last request is shown: rows passed on the way are dropped.
    const int Ticket = ++FThumbnailTicket;
    const std::string Path = E->Path();
    StartThumbnail(*E, FIgnoreEmbedded && FIgnoreEmbedded->isChecked(), this,
                   [this, E, Path, Ticket, Tell](const QImage& Bitmap, std::vector<uint8_t> Cache,
                                                 const std::string& Error, const std::string& Said) {
                       if (Ticket != FThumbnailTicket || !FThumbnailForm)
                           return;
                       // The entry is still listed when it is the current row.
                       TImageInfo* Now = FModel->Entry(CurrentRow());
                       if (Now != E || Now->Path() != Path)
                           return;
                       if (!Cache.empty())
                           E->FThumbnail = std::move(Cache);
                       FThumbnailForm->SetThumbnail(Bitmap.isNull() ? nullptr : &Bitmap, Path);
                       if (!Tell)
                           return;
                       if (!Error.empty())
                           emit CaptionMessage(QString::fromStdString(Error));
                       // A damaged file is made again at every refresh of the list and
                       // every hand-off (the row becomes current again): its line is
                       // logged the first time only.
                       if (!Said.empty() && !E->FThumbnailSaid) {
                           E->FThumbnailSaid = true;
                           ErrorLog.PutFileError(E->Name(), Said);
                       }
                       ShowErrorLogIfAny();
                   });
}

void TFileListView::currentChanged(const QModelIndex& Current, const QModelIndex& Previous)
{
    QTableView::currentChanged(Current, Previous);
    if (Current.isValid() && (!Previous.isValid() || Current.row() != Previous.row()))
        ShowThumbnailFor(Current.row());
}

void TFileListView::selectionChanged(const QItemSelection& Selected, const QItemSelection& Deselected)
{
    QTableView::selectionChanged(Selected, Deselected);
    UpdateListState();
}

// ---------------------------------------------------------------- keys, drag and drop

void TFileListView::keyPressEvent(QKeyEvent* Event)
{
    if (Event->modifiers() == Qt::NoModifier || Event->modifiers() == Qt::KeypadModifier) {
        if (Event->key() == Qt::Key_Delete) {
            if (!SelectedRows().empty())
                DeleteSelected();
            Event->accept();
            return;
        }
        if (Event->key() == Qt::Key_Space) {
            ReverseSelected();
            Event->accept();
            return;
        }
    }
    QTableView::keyPressEvent(Event);
}

QModelIndex TFileListView::moveCursor(CursorAction Action, Qt::KeyboardModifiers Modifiers)
{
    // Home and End go to the first and last row, as in any list.
    if ((Action == MoveHome || Action == MoveEnd) && FModel->rowCount() > 0) {
        const int Column = std::max(currentIndex().column(), 0);
        return FModel->index(Action == MoveHome ? 0 : FModel->rowCount() - 1, Column);
    }
    return QTableView::moveCursor(Action, Modifiers);
}

void TFileListView::startDrag(Qt::DropActions)
{
    const QModelIndex Current = currentIndex();
    if (!Current.isValid())
        return;
    // Only the row under the pointer moves.
    selectionModel()->select(Current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    auto* Data = new QMimeData;
    Data->setData(RowDragMime, QByteArray::number(Current.row()));
    auto* Drag = new QDrag(this);
    Drag->setMimeData(Data);
    Drag->exec(Qt::MoveAction, Qt::MoveAction);
}

namespace {

bool IsRowDrag(const QDropEvent* Event, const QObject* View)
{
    return Event->source() == View && Event->mimeData()->hasFormat(RowDragMime);
}

std::vector<std::string> DroppedFiles(const QMimeData* Data)
{
    std::vector<std::string> Files;
    if (!Data || !Data->hasUrls())
        return Files;
    for (const QUrl& U : Data->urls())
        if (U.isLocalFile())
            Files.push_back(U.toLocalFile().toStdString());
    return Files;
}

} // namespace

void TFileListView::dragEnterEvent(QDragEnterEvent* Event)
{
    if (IsRowDrag(Event, this) || (FDragDropAccept && !DroppedFiles(Event->mimeData()).empty()))
        Event->acceptProposedAction();
    else
        Event->ignore();
}

void TFileListView::dragMoveEvent(QDragMoveEvent* Event)
{
    if (IsRowDrag(Event, this)) {
        Event->setDropAction(Qt::MoveAction);
        Event->accept();
    } else if (FDragDropAccept && !DroppedFiles(Event->mimeData()).empty()) {
        Event->acceptProposedAction();
    } else {
        Event->ignore();
    }
}

void TFileListView::dropEvent(QDropEvent* Event)
{
    if (IsRowDrag(Event, this)) {
        const int From = Event->mimeData()->data(RowDragMime).toInt();
        const QModelIndex Target = indexAt(Event->position().toPoint());
        const int To = Target.isValid() ? Target.row() : FModel->rowCount() - 1;
        if (FModel->MoveRow(From, To)) {
            const QModelIndex Moved = FModel->index(std::clamp(To, 0, FModel->rowCount() - 1), 0);
            setCurrentIndex(Moved);
            selectionModel()->select(Moved, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
        Event->setDropAction(Qt::MoveAction);
        Event->accept();
        return;
    }
    std::vector<std::string> Files = DroppedFiles(Event->mimeData());
    if (!FDragDropAccept || Files.empty()) {
        Event->ignore();
        return;
    }
    Event->acceptProposedAction();
    // The file manager waits for the drop to finish; the list-up window runs
    // after it has.
    QTimer::singleShot(0, this, [this, Files = std::move(Files)] { AddPaths(Files); });
}
