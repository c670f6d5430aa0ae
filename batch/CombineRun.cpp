#include "batch/CombineRun.h"

#include "batch/BatchJobs.h"

#include "core/Bitmap.h"
#include "core/ErrorLog.h"
#include "core/Errors.h"
#include "core/Funcs.h"
#include "core/Grayscale.h"
#include "core/ImageInfo.h"
#include "core/ImageLoader.h"
#include "core/PictureMemory.h"
#include "core/Kodex.h"
#include "core/MultiThread.h"
#include "core/OutputFileName.h"
#include "core/PalettePNG.h"
#include "core/Resize.h"
#include "core/ResourceText.h"
#include "platform/FileOps.h"
#include "platform/FileTimes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

// No catalogue texts exist for these yet; the English texts are the keys.
constexpr const char SSaveFailed[] = "Failed to save file";
constexpr const char SNoSheet[] = "none of the pictures of this sheet could be read";

int64_t Round(double X)
{
    return int64_t(X + 0.5);
}

// Settings from the file may be anything; the layout needs sides of at least
// one pixel, counts of at least one and no negative gaps.
TCombineOption Sane(TCombineOption O)
{
    O.Width = std::max(O.Width, 1);
    O.Height = std::max(O.Height, 1);
    O.Rows = std::max(O.Rows, 1);
    O.Columns = std::max(O.Columns, 1);
    O.RowSpace = std::max(O.RowSpace, 0);
    O.ColumnSpace = std::max(O.ColumnSpace, 0);
    return O;
}

// Owns the tiles of one page.
struct TTiles {
    std::vector<TImgInfo> Items;
    ~TTiles()
    {
        for (TImgInfo& T : Items)
            FreeImg(T);
    }
};

void FillBackground(TImgInfo& Img, uint32_t Background, uint8_t Gray)
{
    // Colour values keep red in the low byte; pixels are blue, green, red.
    const uint32_t RGB = (Background & 0xFF) << 16 | (Background & 0xFF00) | (Background >> 16 & 0xFF);
    for (uint32_t Y = 0; Y < Img.Height; ++Y) {
        if (Img.Channels == 3)
            FillPixels24(MemRow(Img, Y), Img.Width, RGB);
        else
            std::memset(MemRow(Img, Y), Gray, size_t(Img.Width) * Img.Channels);
    }
}

void NewSheet(TImgInfo& Img, int64_t W, int64_t H, uint32_t Channels, uint32_t Background, uint8_t Gray)
{
    if (W < 1 || H < 1 || W > 0x3FFFFFFF || H > 0x3FFFFFFF)
        throw EOutOfMemory();
    AllocImg(Img, uint64_t(W), uint64_t(H), Channels);
    FillBackground(Img, Background, Gray);
}

// Copies Tile (same channel count as Dest) to (X, Y) of Dest, top-down,
// clipped to Dest.
void Place(const TImgInfo& Tile, TImgInfo& Dest, int64_t X, int64_t Y)
{
    if (!Tile.Mem || Tile.Channels != Dest.Channels)
        return;
    const int64_t X0 = std::max<int64_t>(X, 0), X1 = std::min<int64_t>(X + Tile.Width, Dest.Width);
    if (X1 <= X0)
        return;
    const uint32_t C = Dest.Channels;
    for (uint32_t TY = 0; TY < Tile.Height; ++TY) {
        const int64_t DY = Y + TY;
        if (DY < 0 || DY >= int64_t(Dest.Height))
            continue;
        std::memcpy(ScanLine(Dest, uint32_t(DY)) + X0 * C, ScanLine(Tile, TY) + (X0 - X) * C, size_t(X1 - X0) * C);
    }
}

// FillBlank: tiles packed into strips (vertical ones in "Column" order,
// horizontal ones in "Row" order), the strips scaled to the shortest one.
bool LayoutStrips(const TCombineOption& O, std::vector<TImgInfo>& Tiles, uint32_t C, uint32_t Background, uint8_t Gray,
                  TResizer& Resizer, TImgInfo& Sheet)
{
    const bool Vertical = O.Order == 1;
    const size_t PerStrip = size_t(Vertical ? O.Columns : O.Rows);
    const int64_t Gap = Vertical ? O.ColumnSpace : O.RowSpace;      // between tiles of a strip
    const int64_t StripGap = Vertical ? O.RowSpace : O.ColumnSpace; // between strips
    std::vector<TImgInfo> Strips;
    struct TFree {
        std::vector<TImgInfo>& S;
        ~TFree()
        {
            for (TImgInfo& I : S)
                FreeImg(I);
        }
    } FreeStrips{Strips};

    for (size_t First = 0; First < Tiles.size(); First += PerStrip) {
        const size_t Last = std::min(Tiles.size(), First + PerStrip);
        int64_t Length = 0, Count = 0;
        for (size_t K = First; K < Last; ++K)
            if (Tiles[K].Mem) {
                Length += Vertical ? Tiles[K].Height : Tiles[K].Width;
                ++Count;
            }
        if (Count == 0)
            continue; // a strip of files that did not load
        Length += (Count - 1) * Gap;
        TImgInfo S;
        if (Vertical)
            NewSheet(S, O.Width, Length, C, Background, Gray);
        else
            NewSheet(S, Length, O.Height, C, Background, Gray);
        Strips.push_back(S);
        int64_t Pos = 0;
        for (size_t K = First; K < Last; ++K) {
            const TImgInfo& T = Tiles[K];
            if (!T.Mem)
                continue;
            if (Vertical) {
                Place(T, Strips.back(), (int64_t(O.Width) - T.Width) / 2, Pos);
                Pos += T.Height + Gap;
            } else {
                Place(T, Strips.back(), Pos, (int64_t(O.Height) - T.Height) / 2);
                Pos += T.Width + Gap;
            }
        }
    }
    if (Strips.empty())
        return false;

    int64_t Short = INT64_MAX;
    for (const TImgInfo& S : Strips)
        Short = std::min<int64_t>(Short, Vertical ? S.Height : S.Width);
    int64_t Across = 0;
    for (TImgInfo& S : Strips) {
        const int64_t Side = Vertical ? S.Height : S.Width;
        if (Side != Short) {
            const int64_t Other = std::max<int64_t>(1, Round(double(Vertical ? S.Width : S.Height) * Short / Side));
            if (Vertical)
                Resizer.ResizeImage(S, uint32_t(Other), uint32_t(Short), false);
            else
                Resizer.ResizeImage(S, uint32_t(Short), uint32_t(Other), false);
        }
        Across += Vertical ? S.Width : S.Height;
    }
    Across += int64_t(Strips.size() - 1) * StripGap;

    TImgInfo Out;
    if (Vertical)
        NewSheet(Out, Across, Short, C, Background, Gray);
    else
        NewSheet(Out, Short, Across, C, Background, Gray);
    int64_t Pos = 0;
    for (const TImgInfo& S : Strips) {
        if (Vertical) {
            Place(S, Out, Pos, 0);
            Pos += S.Width + StripGap;
        } else {
            Place(S, Out, 0, Pos);
            Pos += S.Height + StripGap;
        }
    }
    Sheet = Out;
    return true;
}

// The pool job's shared state for one page.
struct TTileJob {
    const std::vector<TImageInfo*>* Page;
    std::vector<TImgInfo>* Tiles;
    std::atomic<size_t> Next{0};
    std::vector<TResizer*> Resizers; // one per pool thread
    TCombineOption Option;
    const TRunSettings* Settings;
    TCombineObserver* Observer;
    TErrorLog* Log;
    const std::atomic<bool>* Cancel;
};

void LoadTile(TTileJob& J, size_t I, TResizer& Resizer)
{
    const TImageInfo& E = *(*J.Page)[I];
    TImgInfo Img;
    try {
        bool IsYCbCr = false;
        uint32_t Flags = 0;
        LoadOrRaise([&] {
            const int32_t R = LoadImageByType(E, Img, TScale{}, false, nullptr, IsYCbCr, Flags, ofJPEG, *J.Settings);
            return Img.Mem ? R : 0;
        });
        uint32_t TW = 0, TH = 0;
        CombineTileSize(J.Option, Img.Width, Img.Height, TW, TH);
        if (TW != Img.Width || TH != Img.Height)
            Resizer.ResizeImage(Img, TW, TH, false);
        (*J.Tiles)[I] = Img;
    } catch (const std::exception& Ex) {
        FreeImg(Img);
        // A picture whose decode the cancel cut short did not fail: the run's
        // end counts it among those not written.
        if (!J.Cancel->load())
            J.Log->PutFileError(E.Name(), Ex.what());
    }
}

void CombineLoadTiles(uint32_t ThreadIndex, uint32_t, void* Param)
{
    TTileJob& J = *static_cast<TTileJob*>(Param);
    const TKodexCancelScope CancelDecodes(J.Cancel);
    const TPictureBudgetScope Budget(J.Settings->System);
    for (;;) {
        const size_t I = J.Next.fetch_add(1);
        if (I >= J.Page->size())
            return;
        if (!J.Cancel->load())
            LoadTile(J, I, *J.Resizers[ThreadIndex]);
        if (J.Observer)
            J.Observer->TileDone();
    }
}

} // namespace

void CombineTileSize(const TCombineOption& Option, int64_t W, int64_t H, uint32_t& TW, uint32_t& TH)
{
    const TCombineOption O = Sane(Option);
    W = std::max<int64_t>(W, 1);
    H = std::max<int64_t>(H, 1);
    int64_t X = 0, Y = 0;
    if (O.FillBlank && O.Order == 1) {
        X = O.Width;
        Y = Round(double(H) * O.Width / W);
    } else if (O.FillBlank) {
        Y = O.Height;
        X = Round(double(W) * O.Height / H);
    } else {
        const int64_t T = Round(double(H) * O.Width / W);
        if (T > O.Height) {
            Y = O.Height;
            X = Round(double(W) * O.Height / H);
        } else {
            X = O.Width;
            Y = T;
        }
    }
    // A sliver picture must not become a zero or absurd side.
    TW = uint32_t(std::clamp<int64_t>(X, 1, 0x3FFFFFFF));
    TH = uint32_t(std::clamp<int64_t>(Y, 1, 0x3FFFFFFF));
}

bool LayoutCombineSheet(const TCombineOption& Option, std::vector<TImgInfo>& Tiles, uint32_t Channels,
                        uint32_t Background, uint8_t Gray, TResizer& Resizer, TImgInfo& Sheet)
{
    const TCombineOption O = Sane(Option);
    const uint32_t C = Channels == 1 ? 1 : 3;
    for (TImgInfo& T : Tiles)
        if (T.Mem && T.Channels != C) {
            ExpandGrayToRGB(T);
            if (T.Channels != C)
                FreeImg(T); // no other form is read for a sheet
        }
    if (Tiles.empty())
        return false;
    if (O.FillBlank)
        return LayoutStrips(O, Tiles, C, Background, Gray, Resizer, Sheet);

    const int64_t N = int64_t(Tiles.size());
    const bool ByColumn = O.Order == 1;
    int64_t Rows = 0, Cols = 0;
    if (ByColumn) {
        Rows = std::min<int64_t>(N, O.Columns);
        Cols = (N + O.Columns - 1) / O.Columns;
    } else {
        Cols = std::min<int64_t>(N, O.Rows);
        Rows = (N + O.Rows - 1) / O.Rows;
    }
    TImgInfo Out;
    NewSheet(Out, int64_t(O.Width) * Cols + (Cols - 1) * O.RowSpace,
             int64_t(O.Height) * Rows + (Rows - 1) * O.ColumnSpace, C, Background, Gray);
    for (int64_t K = 0; K < N; ++K) {
        const TImgInfo& T = Tiles[size_t(K)];
        const int64_t Col = ByColumn ? K / O.Columns : K % O.Rows;
        const int64_t Row = ByColumn ? K % O.Columns : K / O.Rows;
        Place(T, Out, (int64_t(O.Width) - T.Width) / 2 + Col * (O.Width + O.RowSpace),
              (int64_t(O.Height) - T.Height) / 2 + Row * (O.Height + O.ColumnSpace));
    }
    Sheet = Out;
    return true;
}

TCombineRun::TCombineRun(TCombineInput Input, TResizer& MainResizer, TErrorLog& Log, TCombineObserver* Observer,
                         TRunSettings Settings)
    : Option(Settings.Combine), FileNameFormat(Settings.File.FileNameFormat), NotOverwrite(Settings.File.NotOverwrite),
      MaxThread(uint32_t(std::max(Settings.System.MaxThread, 1))), FSettings(std::move(Settings)), FInput(Input),
      FMain(MainResizer), FLog(Log), FObserver(Observer)
{
}

bool TCombineRun::Execute(const std::atomic<bool>& Cancel)
{
    const TCombineOption O = Sane(Option);
    // Tiles with alpha are flattened onto the sheet's colour.
    TRunSettings Tiles = FSettings;
    Tiles.Background.Red = uint16_t(O.BackgroundColor & 0xFF);
    Tiles.Background.Green = uint16_t(O.BackgroundColor >> 8 & 0xFF);
    Tiles.Background.Blue = uint16_t(O.BackgroundColor >> 16 & 0xFF);
    GrayOfColor(Tiles.Background);
    const uint8_t Gray = uint8_t(Tiles.Background.Gray);

    FRule = FileNameFormat;
    // The rule's start token, else the running number (from StartNumber in
    // every run with ResetType 0).
    TRunSettings Start = FSettings;
    if (Start.File.ResetType != 0)
        Start.File.StartNumber = CurrentNumber;
    Start.File.ResetType = 0;
    int32_t Number = ExtractStartNumber(FRule, Start) - 1;

    const size_t PerPage = size_t(O.Rows) * size_t(O.Columns);
    const uint32_t Threads = std::max<uint32_t>(MaxThread, 1);
    TMultiThread Pool(Threads);
    std::vector<std::unique_ptr<TResizer>> Copies;
    TTileJob Job;
    for (uint32_t I = 0; I < Threads; ++I) {
        if (Threads == 1)
            Job.Resizers.push_back(&FMain);
        else {
            Copies.emplace_back(FMain.CreateMTResizer());
            Job.Resizers.push_back(Copies.back().get());
        }
    }
    Job.Option = O;
    Job.Settings = &Tiles;
    Job.Observer = FObserver;
    Job.Log = &FLog;
    Job.Cancel = &Cancel;

    const int32_t Total = FInput.List ? FInput.List->Count() : FInput.RunInput ? int32_t(FInput.RunInput->size()) : 0;
    // Every input's identity, so that no sheet replaces a picture of the run.
    FGiven = TGivenNames();
    FInputs.clear();
    for (int32_t I = 0; I < Total; ++I) {
        const std::string P = FInput.List ? FInput.List->Items(I)->Path() : (*FInput.RunInput)[size_t(I)].InputFileName;
        if (std::string Key = ResolvedPath(P); !Key.empty())
            FInputs.insert(std::move(Key));
    }
    FConverted.assign(size_t(Total), 0);
    int32_t Index = 0;
    while (!Cancel.load()) {
        std::vector<TImageInfo*> Page;
        std::vector<int32_t> Inputs; // each tile's input
        std::vector<std::unique_ptr<TImageInfo>> Probes;
        while (Page.size() < PerPage && Index < Total) {
            const int32_t I = Index++;
            std::string Why;
            if (FInput.List) {
                TImageInfo* E = FInput.List->Items(I);
                if (!E->Checked)
                    continue;
                // A checked entry that cannot be read is asked for and lost.
                if ((E->Width <= 0 || !platform::FileExists(E->Path())) && !ProbeOrExplain(E->Path(), *E, Why)) {
                    FLog.PutFileError(E->Name(), Why);
                    continue;
                }
                Page.push_back(E);
                Inputs.push_back(I);
            } else {
                const TImageFileInfo& F = (*FInput.RunInput)[size_t(I)];
                auto E = std::make_unique<TImageInfo>();
                E->SetPath(F.InputFileName);
                if (!F.Named) {
                    // What a folder walk found that is no picture is left out.
                    if (!GetImageInfo(E->Path(), *E))
                        continue;
                } else if (!ProbeOrExplain(F.InputFileName, *E, Why)) {
                    FLog.PutFileError(FileNameOf(F.InputFileName), Why);
                    continue;
                }
                Page.push_back(E.get());
                Inputs.push_back(I);
                Probes.push_back(std::move(E));
            }
        }
        if (Page.empty())
            break;

        TTiles Tiles;
        Tiles.Items.resize(Page.size());
        Job.Page = &Page;
        Job.Tiles = &Tiles.Items;
        Job.Next = 0;
        Pool.ExecMultiThreadFunc(CombineLoadTiles, &Job);
        // A page cut short by the cancel would be a sheet of holes.
        if (Cancel.load())
            break;

        uint32_t C = 1;
        const TImageInfo* Named = nullptr; // the page's first picture that was read
        for (size_t K = 0; K < Tiles.Items.size(); ++K)
            if (Tiles.Items[K].Mem) {
                C = std::max(C, Tiles.Items[K].Channels);
                if (!Named)
                    Named = Page[K];
            }
        // Not one picture read: each has said why, and a sheet of empty
        // cells would only pass for a result.
        if (!Named)
            continue;
        TImgInfo Sheet;
        ++Number;
        try {
            if (!LayoutCombineSheet(O, Tiles.Items, C, O.BackgroundColor, Gray, FMain, Sheet)) {
                FLog.PutFileError(Named->Name(), LoadResText(SNoSheet));
            } else if (WriteSheet(Sheet, *Named, Number)) {
                // The pictures the layout placed are written; one it could
                // not take was left without pixels.
                for (size_t K = 0; K < Tiles.Items.size(); ++K)
                    FConverted[size_t(Inputs[K])] = Tiles.Items[K].Mem ? 1 : 0;
            }
        } catch (const std::exception& Ex) {
            FLog.PutFileError(Named->Name(), Ex.what());
        }
        FreeImg(Sheet);
    }

    FNumbers.Numbered = true;
    FNumbers.NextNumber = Number + 1;
    FNumbers.NextIsStart = FSettings.File.ResetType == 2;
    return !Cancel.load();
}

bool TCombineRun::Converted(int Index) const
{
    return Index >= 0 && size_t(Index) < FConverted.size() && FConverted[size_t(Index)] != 0;
}

bool TCombineRun::WriteSheet(const TImgInfo& Sheet, const TImageInfo& First, int32_t Number)
{
    std::string Wanted;
    MakeOutputFileName(FRule, First, Number, Wanted, TScale{}, FSettings, FFolderCounts);
    // A sheet without a file-name part would be a hidden ".jpg", and the
    // next one "[1].jpg".
    if (const int Unusable = UnusableName(Wanted)) {
        FLog.PutFileError(First.Name(), UnusableNameText(Unusable));
        return false;
    }
    const int32_t Format = FormatIdFromExt(Wanted);
    if (Format != ofBMP && Format != ofJPEG && Format != ofPNG) {
        FLog.PutFileError(First.Name(), CannotWriteText(Wanted, LoadResText(SUnknownFormat)));
        return false;
    }
    // The names of a batch run: no sheet silently replaces another of this
    // run, a read-only file, or any picture of the run, its own page's
    // included (a source photo is never lost to a sheet).
    TNameRefusal Why = TNameRefusal::None;
    const std::string Name = ResolveOutputName(
        Wanted, TCollisionRules{NotOverwrite, FSettings.File.Skip, FSettings.File.IgnoreReadOnlyAttr}, FGiven,
        [this](const std::string& Cand) {
            const std::string Key = ResolvedPath(Cand);
            return !Key.empty() && FInputs.count(Key) != 0;
        },
        &Why);
    if (Name.empty()) {
        // A sheet that was there before the run is skipped as asked.
        if (Why != TNameRefusal::SkipExisting)
            FLog.PutFileError(First.Name(), CannotWriteText(Wanted, RefusalText(Why)));
        return false;
    }
    FGiven.Add(Name);
    const std::string Folder = std::filesystem::path(Name).parent_path().string();
    if (!Folder.empty())
        platform::ForceDirectories(Folder);
    // Writers replace the file through a new one; a read-only file gets its
    // write bit taken away again afterwards.
    const bool ReadOnly = platform::FileExists(Name) && platform::IsReadOnly(Name);
    const TResolutionInfo Res = First.Resolution();
    bool Ok = true;
    std::string Said;
    {
        // The writers' messages become the reason of one line naming the sheet.
        TErrorCapture Capture;
        errno = 0;
        switch (Format) {
        case ofBMP:
            Ok = SaveBitmapFile(Name, Sheet, Res, FSettings);
            break;
        case ofJPEG:
            Ok = WriteJPEG(Name, Sheet, FSettings.JPEG.Quality, Res, false, nullptr, nullptr, 0,
                           FSettings.JPEG.SampleType, FSettings.JPEG.Smoothing, FSettings) != 0;
            break;
        default:
            Ok = WritePNGFile(Name, Sheet, nullptr, false, false, Res, 0, nullptr, FSettings) != 0;
            break;
        }
        Said = Capture.Text();
        if (!Ok && Said.empty())
            Said = errno != 0 ? std::strerror(errno) : LoadResText(SSaveFailed);
    }
    if (!Said.empty())
        FLog.PutFileError(First.Name(), Ok ? Said : CannotWriteText(Name, Said));
    if (!Ok)
        return false;
    if (ReadOnly)
        platform::SetReadOnly(Name, true);
    FWritten.push_back(Name);
    return true;
}
