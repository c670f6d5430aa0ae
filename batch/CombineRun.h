// The combine run without windows: the inputs are tiled, a page of up to
// Rows x Columns pictures at a time, into sheets, one output file per sheet.
//
// The progress window (or a test) makes a TCombineRun and calls Execute on
// the combine thread; tiles of a page load on a fork-join pool, each pool
// thread with its own resizer. Progress goes to an observer, once per tile;
// cancelling is a flag read between tiles and pages. Effects are not applied.
#pragma once
#include "batch/BatchRun.h"
#include "core/RunSettings.h"
#include "core/ImgInfo.h"
#include "core/OutputFileName.h"
#include "platform/FileOps.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

class TErrorLog;
class TImageInfo;
class TImageInfoList;
class TResizer;

// Told about the run's progress. TileDone runs on the pool's threads, several
// at once: an implementation only posts (the window steps its bar on the GUI
// thread).
class TCombineObserver {
public:
    virtual ~TCombineObserver() = default;
    virtual void TileDone() = 0;
};

// Size of a W x H picture as a tile (Trunc(x + 0.5) rounding; at least 1 x 1).
// FillBlank fixes one side: the cell width in "Column" order (Order 1), the
// cell height in "Row" order; otherwise the picture fits inside the cell.
void CombineTileSize(const TCombineOption& O, int64_t W, int64_t H, uint32_t& TW, uint32_t& TH);

// Lays out one page. Tiles are in page order; a tile without pixels (a file
// that did not load) leaves its cell empty but still takes its place. Channels
// is 1 or 3; 1-channel tiles are widened on a 3-channel sheet. The grid (no
// FillBlank) centres each tile in a Width x Height cell; the strips (FillBlank)
// pack tiles with only the gaps between them and scale the strips with
// Resizer to the shortest (narrowest) one. Background: 0x00BBGGRR, Gray its
// gray value. Sheet receives a new block; false (Sheet untouched) when
// nothing can be laid out (strips with no picture at all).
bool LayoutCombineSheet(const TCombineOption& O, std::vector<TImgInfo>& Tiles, uint32_t Channels, uint32_t Background,
                        uint8_t Gray, TResizer& Resizer, TImgInfo& Sheet);

// Where the sheets come from: the main list (checked entries whose file
// exists) or the run input of an at-once start (probed as they are reached;
// a named file that cannot be probed is reported).
struct TCombineInput {
    TImageInfoList* List = nullptr;
    const std::vector<TImageFileInfo>* RunInput = nullptr;
};

class TCombineRun {
public:
    // Settings is the run's copy; Option, FileNameFormat, NotOverwrite and
    // MaxThread start from it. MainResizer (set up with the run's filters,
    // used by one thread at a time) serves a single pool thread and the strip
    // scaling, copies of it the others.
    TCombineRun(TCombineInput Input, TResizer& MainResizer, TErrorLog& Log, TCombineObserver* Observer,
                TRunSettings Settings);

    // Runs the whole walk. True when it ended normally, false when cancelled.
    // A file that cannot be read is logged ("name: reason") and leaves an
    // empty cell; a page of which no picture could be read makes no sheet
    // (and takes no number). A sheet is named after its first picture that
    // was read and takes its name by the collision rules of a batch run (no
    // sheet replaces another of the run or another page's input); a sheet
    // that is not written is logged against that picture and the run goes
    // on.
    bool Execute(const std::atomic<bool>& Cancel);

    // The names of the sheets written, in order (for the caller and tests).
    const std::vector<std::string>& Written() const { return FWritten; }
    // After Execute: whether input Index (of the list or the run input) is a
    // picture on a sheet that was written.
    bool Converted(int Index) const;
    // The running number for the next run (after Execute): the caller stores
    // it as a batch run's (StoreNextNumber); the run itself writes no
    // process-wide record.
    const TNamePhaseResult& Numbers() const { return FNumbers; }

    TCombineOption Option;
    std::string FileNameFormat;
    bool NotOverwrite = true;
    uint32_t MaxThread = 1;    // pool threads; 0 counts as 1
    int32_t CurrentNumber = 1; // the running number when the run was set up

private:
    // First: the page's first picture that was read, which names the sheet.
    // True when the sheet was written.
    bool WriteSheet(const TImgInfo& Sheet, const TImageInfo& First, int32_t Number);

    TRunSettings FSettings;
    std::string FRule; // FileNameFormat without its start-number token
    TCombineInput FInput;
    TResizer& FMain;
    TErrorLog& FLog;
    TCombineObserver* FObserver;
    std::vector<std::string> FWritten;
    std::vector<uint8_t> FConverted; // per input: on a sheet written
    TNamePhaseResult FNumbers;
    TGivenNames FGiven;              // sheet names of this run
    TFolderFileCounts FFolderCounts; // the <c> tokens of this run
    std::set<std::string> FInputs;   // the run's inputs (ResolvedPath)
};
