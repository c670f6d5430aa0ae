// The table model of the main window's file list: a view onto a
// TImageInfoList (the process-wide FileList) that stores nothing itself. Each
// row is the list entry of the same index; its texts are made when the view
// asks for them.
//
// The list is also changed where the model cannot see it (the list-up thread,
// a run, a profile load). Whoever does that calls Reload() afterwards, before
// the view is painted again. Every change made through the model's own
// methods keeps the view informed by itself. GUI thread only.
#pragma once
#include "core/ImageInfo.h"

#include <QAbstractTableModel>

#include <array>
#include <string>
#include <vector>

// Whole kilobytes of a file of Size bytes, a started kilobyte counting as
// one, with GroupSeparator between groups of three digits: 0 -> "0 KB",
// 1 -> "1 KB", 1048576 -> "1,024 KB" (with ",").
std::string FileSizeKBText(int64_t Size, const std::string& GroupSeparator);
// The same with the thousands separator of the user's numeric locale (none in
// the C locale).
std::string FileSizeKBText(int64_t Size);
// "yyyy/mm/dd hh:nn" with the locale's date and time separators in place of
// "/" and ":"; empty for 0 (no date).
std::string ListDateText(TDateTime D);

class TFileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { colName, colSize, colFileSize, colType, colLastUpdate, colDateTimeOriginal, colPath, ColumnCount };
    // Designed column widths in pixels, used when no stored width replaces them.
    static const std::array<int, ColumnCount> DefaultWidths;

    // List is not owned and must outlive the model.
    explicit TFileListModel(TImageInfoList* List, QObject* Parent = nullptr);
    TImageInfoList* List() const { return FList; }
    TImageInfo* Entry(int Row) const; // null outside the list

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    // Display texts of every column, the check state in the name column,
    // right alignment for the file size, the full path as tool tip.
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& Index) const override;
    // Only the check state of the name column can be set.
    bool setData(const QModelIndex& Index, const QVariant& Value, int Role = Qt::EditRole) override;

    // The list changed behind the model's back: the view starts afresh.
    void Reload();
    // Deletes the entries of Rows (any order, duplicates ignored), from the
    // last to the first, so that every index means the row it named.
    void DeleteRows(std::vector<int> Rows);
    // Deletes every entry.
    void Clear();
    // Moves the entry From to the place To (the entries between shift by
    // one). To outside the list means the last row. False when nothing moved.
    bool MoveRow(int From, int To);
    // Sorts the list by a column (the list's sort key of the same number;
    // repeated sorts by one column alternate the direction).
    void Sort(int Column);

    enum TCheckOp { ckCheck, ckUncheck, ckReverse };
    void SetChecks(const std::vector<int>& Rows, TCheckOp Op);
    void ReverseAll();
    // The first entry checked, the second not, and so on.
    void CheckAlternately();

    // Drops entries whose file is gone, or whose file changed and no longer
    // probes (the probe's reason goes to the error log); refreshes the
    // changed ones that still probe. Returns the number dropped.
    int RefreshEntries();

private:
    void ChecksChanged(int First, int Last);
    TImageInfoList* FList;
};
