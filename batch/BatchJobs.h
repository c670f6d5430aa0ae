// The jobs of a normal run: output names for the main file list or the run
// input of an at-once run, and the workers' roads from an input to its output
// (rename or copy only, lossless transform, lossless copy, load -> chain ->
// write).
//
// Outputs are written under a temporary name in the output folder and renamed
// into place only when complete, so a failed write leaves the previous file
// (which may be the source itself) as it was. An input is deleted only when its
// output was written by this run, exists, and is not the input file itself.
#pragma once
#include "batch/BatchRun.h"
#include "core/RunSettings.h"
#include "core/ImageInfo.h"
#include "core/OutputFileName.h"
#include "core/PictureMemory.h"
#include "platform/FileTimes.h"
#include "effects/Effect.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

class TErrorLog;

// The process-wide error log as the run's error sink.
class TErrorLogSink : public TErrorSink {
public:
    explicit TErrorLogSink(TErrorLog& Log) : FLog(Log) { }
    void PutErrorMsg(const std::string& Msg) override;
    int GetErrorCount() override;

private:
    TErrorLog& FLog;
};

// Runs Load (a reader call that returns 0 on failure) with the readers' and
// the codec library's messages held back, so that a file that cannot be read
// gives one line: raises EVestroError "Failed to load file: <their reason>"
// (just "Failed to load file" when they gave none). The warnings of a load
// that succeeded are logged as they were. Returns Load's result.
int32_t LoadOrRaise(const std::function<int32_t()>& Load);

// The codec side of the workers. The default implementation uses the
// program's readers and writers; tests replace single calls. S is the run's
// copy of the settings.
// Raised by a worker's file when the run's cancel stopped it before its
// output was written: the file is not converted, and the cancel, not the file,
// is to blame (nothing is logged for it).
struct ERunCancelled : std::runtime_error {
    ERunCancelled() : std::runtime_error("cancelled") { }
};

class TConvertIO {
public:
    virtual ~TConvertIO() = default;
    // Reads Info's file into Img (a new block owned by the caller). Returns
    // the decode factor (1, 2, 4, 8), 0 on failure; readers may raise.
    virtual int32_t LoadImage(TImageInfo& Info, TImgInfo& Img, TScale& Scale, bool AllowDownScale, TICCInfo* ICC,
                              bool& IsYCbCr, uint32_t& Flags, int32_t OutFormat, const TRunSettings& S);
    // Reads Info's JPEG or PNG resized as it is decoded (LoadJPEGResized): the
    // decode factor, 0 on failure, -1 (nothing kept) when it is to be loaded
    // whole instead.
    virtual int32_t LoadResizedJPEG(TImageInfo& Info, TImgInfo& Img, TScale& Scale, bool AllowDownScale, TICCInfo* ICC,
                                    uint32_t& Flags, int32_t OutFormat, TResizer& Resizer,
                                    const std::function<void(uint32_t&, uint32_t&, uint32_t, int32_t)>& NewSize,
                                    const TRunSettings& S);
    // Writers: true when the whole file was written to Path, a new name of
    // the worker's that they create in place (TWriteMode::NewFile).
    virtual bool WriteBMP(const std::string& Path, TImgInfo& Img, const TResolutionInfo& Res, const TRunSettings& S);
    virtual bool WritePaletteBMP(const std::string& Path, TImgInfo& Img, const TResolutionInfo& Res,
                                 const TRunSettings& S);
    virtual bool WriteJPEG(const std::string& Path, TImgInfo& Img, int32_t Quality, const TResolutionInfo& Res,
                           bool IsYCbCr, const TICCInfo* ICC, const uint8_t* Exif, uint32_t ExifSize,
                           int32_t SampleType, int32_t Smoothing, const TRunSettings& S);
    // Into Buf; true when it fitted, Size the bytes written.
    virtual bool WriteJPEGToMemory(std::vector<uint8_t>& Buf, uint32_t& Size, TImgInfo& Img, const TResolutionInfo& Res,
                                   bool IsYCbCr, const TICCInfo* ICC, const uint8_t* Exif, uint32_t ExifSize,
                                   int32_t SampleType, int32_t Smoothing, int32_t Quality, const TRunSettings& S);
    virtual bool WritePNG(const std::string& Path, TImgInfo& Img, const TICCInfo* ICC, const TResolutionInfo& Res,
                          const TRunSettings& S);
    // False, with nothing written, when the picture has too many colours.
    virtual bool WritePalettePNG(const std::string& Path, TImgInfo& Img, const TICCInfo* ICC,
                                 const TResolutionInfo& Res, const TRunSettings& S);
    // Checks the JPEG at Source's structure, then decodes it at an eighth of
    // its size and throws the pixels away, for a copy that must refuse what
    // the decoding paths refuse: a damaged file fails as a load does, in the
    // decoder's words;
    // Warned says whether it complained on the way to a whole picture.
    // Nothing is checked while the codec library is not loaded.
    virtual void CheckJPEGData(const std::string& Source, bool& Warned, const TRunSettings& S);
    // The JPEG at Source copied to Dest with its markers rewritten; the copier
    // logs its failures, restores the times and deletes the source when asked.
    virtual bool CopyJPEGMetadata(const std::string& Source, const std::string& Dest, bool DropExif, TImageInfo& Info,
                                  bool DropICC, const TRunSettings& S);
    // The output's times from the source, as S's [Metadata] asks.
    virtual void RestoreFileTimes(TImageInfo& Info, const TRunSettings& S);
};

// Objects a worker must use besides its effect context. With more than one
// worker each gets copies, made and freed one at a time on the runner's thread.
struct TWorkerObjects {
    TResizer* Resizer = nullptr;
    TUnsharpMask* UnSharpMask = nullptr;
    TResizer* Antialiasing = nullptr;
    TGaussianBlur* GaussianBlur = nullptr;
};
struct TWorkerObjectFactory {
    TWorkerObjects Shared;                                     // the process-wide ones
    std::function<TWorkerObjects(const TWorkerObjects&)> Copy; // null: share them
    std::function<void(TWorkerObjects&)> Free;
};

// Copies of the process-wide resizer, antialias resizer, unsharp mask and
// blur for each worker when more than one runs (any of them may be null).
TWorkerObjectFactory ThreadObjectCopies(TResizer* Resizer, TUnsharpMask* UnSharpMask, TResizer* Antialiasing,
                                        TGaussianBlur* GaussianBlur);

// The copy and release steps behind it.
TResizer* CopyResizer(TResizer* R);
void FreeResizer(TResizer*& R);
void CopyFilters(const TWorkerObjects& Shared, TWorkerObjects& Copy);
void FreeFilters(TWorkerObjects& Copy);

// What the name phase learnt of one entry of the run input, for the worker
// that takes it: the probe, and the file as it was when it was probed.
struct TEntryProbe {
    std::unique_ptr<TImageInfo> Info;
    platform::TFileStat Stat;
};
using TRunProbes = std::vector<TEntryProbe>;

// Where the entries come from: the main file list, or the run input of an
// at-once run with Probes, which the name phase fills (one per entry) and the
// workers take; each entry is probed once per run.
struct TRunEntries {
    TImageInfoList* List = nullptr;
    std::vector<TImageFileInfo>* RunInput = nullptr;
    TRunProbes* Probes = nullptr;
};

// The name phase over a run's entries with the rule Rule (its start tokens are
// removed by the phase) and the run's Settings.
class TOutputNameJob : public TNameJob {
public:
    TOutputNameJob(TRunEntries Entries, TEffectList& Effects, std::string Rule, TRunSettings Settings);
    int Count() override;
    void BeginNames() override;
    bool Prepare(int Index, int64_t& Width, int64_t& Height) override;
    std::string Refused(int Index) override;
    std::string InputPath(int Index) override;
    std::string MakeName(int Index, int32_t Number) override;
    void StoreName(int Index, const std::string& Name) override;
    double EstimatedCost(int Index, int64_t Width, int64_t Height) override;
    void EndNames() override;
    int32_t ExtractStart(int32_t Current);
    const std::string& Rule() const { return FRule; }
    const TRunSettings& Settings() const { return FSettings; }

private:
    TImageInfo* Info(int Index);
    TRunEntries FEntries;
    TEffectList& FEffects;
    std::string FRule;
    TRunSettings FSettings;
    TFolderFileCounts FFolderCounts;   // the <c> tokens of this run
    std::vector<std::string> FRefused; // why an entry takes no part
};

// Probes Path into Info with the probes' and the codec library's messages
// held back. False with Why = the reason (a missing or non-regular file, what
// the probe said, else "Unknown format") when it fails; the warnings of a
// probe that succeeded are logged as they were. Stat, when given, receives
// the file as it was just before the probe.
bool ProbeOrExplain(const std::string& Path, TImageInfo& Info, std::string& Why, platform::TFileStat* Stat = nullptr);

// The numbering of a run: the process-wide running number as it stands now
// (read on the thread that sets the run up), StartNumber and the reset type of
// Names' settings, the start value taken from Names' rule.
TNumbering RunNumbering(TOutputNameJob& Names);
// The collision rules of the run's settings.
TCollisionRules RunCollisionRules(const TRunSettings& S);

// The workers of a run. Settings is the run's copy: File.RenameOnly and
// File.NotOverwrite choose the road, the rest goes to the loader, the
// effects and the writers.
class TConvertJob : public TBatchJob {
public:
    TConvertJob(TRunEntries Entries, TEffectList& Effects, TConvertIO& IO, TErrorSink& Errors,
                TWorkerObjectFactory Objects, TRunSettings Settings);
    ~TConvertJob() override;
    int Count() override;
    void CreateThreadObjects(int ThreadNum, int Workers, const std::atomic<bool>* Cancel,
                             TProcessCancel* ToolCancel) override;
    void FreeThreadObjects(int ThreadNum) override;
    bool TakeEntry(int Index, std::string& Label, uint64_t& Tiles) override;
    void ProcessEntry(int Index, int ThreadNum) override;
    void ReleaseEntry(int Index, int ThreadNum) override;
    // After the run: whether entry Index went through without an error
    // (written, renamed or copied).
    bool Converted(int Index) const;

private:
    struct TWorker {
        TEffectParams Params;
        TWorkerObjects Own;
        bool OwnsCopies = false;
    };
    TImageInfo* Entry(int Index);
    void RenameOnly(TImageInfo& Item);
    void LosslessTransform(TImageInfo& Item, TWorker& W, bool Named);
    void LosslessCopy(TImageInfo& Item);
    void Convert(TImageInfo& Item, TWorker& W, bool CanDown, TScale& Scale, int32_t OutFmt);
    // True when Path was written; readers' exceptions pass through.
    bool WriteOutput(TImageInfo& Item, TWorker& W, TImgInfo& Img, int32_t OutFmt, const std::string& Path);
    void DeleteInputIfDone(TImageInfo& Item, bool Written);

    TRunEntries FEntries;
    TEffectList& FEffects;
    TConvertIO& FIO;
    TErrorSink& FErrors;
    TWorkerObjectFactory FObjects;
    TRunSettings FSettings;
    TRunMemory FMemory; // what the run's pictures hold together
    bool FAnyUse = false;
    std::vector<std::unique_ptr<TWorker>> FWorkers;
    std::vector<uint8_t> FConverted; // per entry: went through
};
