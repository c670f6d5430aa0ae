#include "app/FileListModel.h"

#include "core/ResourceText.h"
#include "platform/FileOps.h"
#include "platform/LocaleFormat.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <unordered_map>

namespace {

QString Tr(const char* Text)
{
    return QString::fromStdString(LoadResText(Text));
}

const char* const ColumnCaptions[TFileListModel::ColumnCount] = {
    "Name", "Size", "File Size", "Type", "Last Update", "DateTimeOriginal", "Path",
};

QString Q(const std::string& S)
{
    return QString::fromStdString(S);
}

} // namespace

const std::array<int, TFileListModel::ColumnCount> TFileListModel::DefaultWidths = {120, 80, 80, 100, 110, 110, 180};

std::string FileSizeKBText(int64_t Size, const std::string& GroupSeparator)
{
    const int64_t KB = Size > 0 ? (Size + 1023) / 1024 : 0;
    const std::string Digits = std::to_string(KB);
    std::string Out;
    for (size_t i = 0; i < Digits.size(); ++i) {
        if (i > 0 && (Digits.size() - i) % 3 == 0)
            Out += GroupSeparator;
        Out += Digits[i];
    }
    return Out + " KB";
}

std::string FileSizeKBText(int64_t Size)
{
    const std::lconv* Lc = std::localeconv();
    return FileSizeKBText(Size, Lc && Lc->thousands_sep ? Lc->thousands_sep : "");
}

std::string ListDateText(TDateTime D)
{
    if (D == 0)
        return {};
    int32_t Y, M, Day, H, N, S;
    DecodeDateTime(D, Y, M, Day, H, N, S);
    const std::string DS = platform::DateSeparator(), TS = platform::TimeSeparator();
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, "%04d%s%02d%s%02d %02d%s%02d", Y, DS.c_str(), M, DS.c_str(), Day, H, TS.c_str(), N);
    return Buf;
}

TFileListModel::TFileListModel(TImageInfoList* List, QObject* Parent) : QAbstractTableModel(Parent), FList(List)
{
}

TImageInfo* TFileListModel::Entry(int Row) const
{
    return FList && Row >= 0 && Row < FList->Count() ? FList->Items(Row) : nullptr;
}

int TFileListModel::rowCount(const QModelIndex& Parent) const
{
    return Parent.isValid() || !FList ? 0 : FList->Count();
}

int TFileListModel::columnCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : ColumnCount;
}

QVariant TFileListModel::data(const QModelIndex& Index, int Role) const
{
    const TImageInfo* E = Index.isValid() ? Entry(Index.row()) : nullptr;
    if (!E)
        return {};
    const bool Probed = E->PictureFormat != pfUnknown;
    switch (Role) {
    case Qt::DisplayRole:
        switch (Index.column()) {
        case colName:
            return Q(E->Name());
        case colSize:
            return Probed ? QStringLiteral("%1 x %2").arg(E->Width).arg(E->Height) : QString();
        case colFileSize:
            return Q(FileSizeKBText(E->Size));
        case colType:
            return Probed ? Q(E->ImageType()) : QString();
        case colLastUpdate:
            return Q(ListDateText(E->DateTimeLastWrite));
        case colDateTimeOriginal:
            return Probed ? Q(ListDateText(E->DateTimeOriginal)) : QString();
        case colPath:
            return Q(E->Path());
        }
        break;
    case Qt::CheckStateRole:
        if (Index.column() == colName)
            return E->Checked ? Qt::Checked : Qt::Unchecked;
        break;
    case Qt::TextAlignmentRole:
        if (Index.column() == colFileSize)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case Qt::ToolTipRole:
        return Q(E->Path());
    }
    return {};
}

QVariant TFileListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
    if (Orientation != Qt::Horizontal || Section < 0 || Section >= ColumnCount)
        return {};
    if (Role == Qt::DisplayRole)
        return Tr(ColumnCaptions[Section]);
    if (Role == Qt::TextAlignmentRole && Section == colFileSize)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags TFileListModel::flags(const QModelIndex& Index) const
{
    if (!Index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags F = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled |
        Qt::ItemNeverHasChildren;
    if (Index.column() == colName)
        F |= Qt::ItemIsUserCheckable;
    return F;
}

bool TFileListModel::setData(const QModelIndex& Index, const QVariant& Value, int Role)
{
    TImageInfo* E = Index.isValid() ? Entry(Index.row()) : nullptr;
    if (!E || Role != Qt::CheckStateRole || Index.column() != colName)
        return false;
    E->Checked = Value.toInt() == Qt::Checked;
    emit dataChanged(Index, Index, {Qt::CheckStateRole});
    return true;
}

void TFileListModel::Reload()
{
    beginResetModel();
    endResetModel();
}

void TFileListModel::DeleteRows(std::vector<int> Rows)
{
    std::sort(Rows.begin(), Rows.end());
    Rows.erase(std::unique(Rows.begin(), Rows.end()), Rows.end());
    // From the last to the first, one block of neighbouring rows at a time.
    for (size_t End = Rows.size(); End > 0;) {
        size_t Begin = End - 1;
        while (Begin > 0 && Rows[Begin - 1] == Rows[Begin] - 1)
            --Begin;
        const int First = Rows[Begin], Last = Rows[End - 1];
        End = Begin;
        if (First < 0 || Last >= rowCount())
            continue;
        beginRemoveRows(QModelIndex(), First, Last);
        for (int R = Last; R >= First; --R)
            FList->Delete(R);
        endRemoveRows();
    }
}

void TFileListModel::Clear()
{
    if (!FList)
        return;
    beginResetModel();
    FList->Clear();
    endResetModel();
}

bool TFileListModel::MoveRow(int From, int To)
{
    const int N = rowCount();
    if (From < 0 || From >= N)
        return false;
    if (To < 0 || To >= N)
        To = N - 1;
    if (To == From)
        return false;
    // The view's move counts its destination before the move; the list's
    // counts the place the entry ends up in.
    beginMoveRows(QModelIndex(), From, From, QModelIndex(), To > From ? To + 1 : To);
    FList->Move(From, To);
    endMoveRows();
    return true;
}

void TFileListModel::Sort(int Column)
{
    if (!FList || Column < 0 || Column >= ColumnCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Persistent indices (selection, current row) follow their entries.
    const QModelIndexList Old = persistentIndexList();
    std::vector<const TImageInfo*> Entries;
    for (const QModelIndex& I : Old)
        Entries.push_back(Entry(I.row()));
    FList->SortList(Column);
    std::unordered_map<const TImageInfo*, int> RowOf;
    for (int R = 0; R < FList->Count(); ++R)
        RowOf[FList->Items(R)] = R;
    QModelIndexList New;
    for (size_t k = 0; k < Entries.size(); ++k) {
        const auto It = RowOf.find(Entries[k]);
        New.append(It == RowOf.end() ? QModelIndex() : index(It->second, Old[int(k)].column()));
    }
    changePersistentIndexList(Old, New);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TFileListModel::ChecksChanged(int First, int Last)
{
    if (First <= Last)
        emit dataChanged(index(First, colName), index(Last, colName), {Qt::CheckStateRole});
}

void TFileListModel::SetChecks(const std::vector<int>& Rows, TCheckOp Op)
{
    int First = rowCount(), Last = -1;
    for (int R : Rows) {
        TImageInfo* E = Entry(R);
        if (!E)
            continue;
        E->Checked = Op == ckCheck ? true : Op == ckUncheck ? false : !E->Checked;
        First = std::min(First, R);
        Last = std::max(Last, R);
    }
    ChecksChanged(First, Last);
}

void TFileListModel::ReverseAll()
{
    for (int R = 0; R < rowCount(); ++R)
        FList->Items(R)->Checked = !FList->Items(R)->Checked;
    ChecksChanged(0, rowCount() - 1);
}

void TFileListModel::CheckAlternately()
{
    for (int R = 0; R < rowCount(); ++R)
        FList->Items(R)->Checked = R % 2 == 0;
    ChecksChanged(0, rowCount() - 1);
}

int TFileListModel::RefreshEntries()
{
    int Dropped = 0;
    for (int R = rowCount() - 1; R >= 0; --R) {
        TImageInfo* E = FList->Items(R);
        bool Keep = platform::FileExists(E->Path());
        if (Keep && GetFileLastWriteTime(E->Path()) != E->DateTimeLastWrite) {
            Keep = GetImageInfo(E->Path(), *E);
            if (Keep)
                emit dataChanged(index(R, 0), index(R, ColumnCount - 1));
        }
        if (!Keep) {
            beginRemoveRows(QModelIndex(), R, R);
            FList->Delete(R);
            endRemoveRows();
            ++Dropped;
        }
    }
    return Dropped;
}
