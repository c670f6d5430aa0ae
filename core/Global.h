// Process-wide option records and start-up values.
//
// One instance of each record, holding the settings file's defaults until the
// settings loader fills it. Read by every subsystem; written by the loader and
// the option dialogs on the GUI thread while no batch runs.
#pragma once
#include "kodex/KodexImage.h" // TBGColor, shared with the codec library

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct TFileOption {
    bool SameDirectory = true;
    std::string OutputDirectory; // output folder when not SameDirectory
    bool ShowDirectory = true;
    bool NotOverwrite = true;
    bool RenameOnly = false;
    bool AddSubFolder = true;
    bool AtOnce = false;
    bool RemoveList = false;
    bool Skip = false;
    int32_t StartNumber = 1;
    int32_t ResetType = 0; // 0 every run, 1 at start-up, 2 never
    bool IgnoreReadOnlyAttr = false;
    std::string FileNameFormat = "resize/<old>";
    std::string ClipBoardTempDir;
    int32_t SortMode = 0;
    bool DeleteInputFile = false;
    int32_t AutoSortMode = 0;
};

struct TResizeOption {
    int32_t DecimationMode = 7, DecimationRadius = 3, DecimationSharp = 2, DecimationBlur = 10;
    int32_t InterpolationMode = 7, InterpolationRadius = 3, InterpolationSharp = 0, InterpolationBlur = 11;
    int32_t SIMDMode = 3;   // 1 MMX integer, 2 SSE float, 3 SSE2 integer
    uint32_t MaxThread = 1; // threads per resampling pass
    std::array<double, 12> Size1 = {100, 512, 384, 512, 384, 100, 100, 512, 512, 0, 512, 512};
    std::array<double, 12> Size2 = {0, 0, 0, 0, 0, 100, 100, 384, 384, 0, 384, 384};
    int32_t Rule = 0;     // size rule 0..11
    bool Degamma = false; // resample in linear light
    bool NoExpand = false;
    std::string History = "\"8,640,480\",\"0,50,50\"";
};

struct TPreviewOption {
    std::string ViewerPath;
    std::string ViewerOption = "/getclip /user=vestro";
    std::string ViewerOption2 = "/getclip /newwnd /user=vestro";
    int32_t Left = -1, Top = -1, Width = 800, Height = 600;
    int32_t HistogramType = 0, HistogramChannel = 0, ResizeMode = 2, ViewMode = 1;
};

struct TSPIOption {
    int32_t SPITo = 3;
    std::string SPIDirectory; // empty: the SusiePlugin folder beside the program
};

struct TSystemOption {
    int32_t ProcessorCount = 1;
    int32_t MaxThread = 0; // batch workers
    bool ParallelProcessing = true;
    bool MemReserve = false; // kept for the settings file; reserving is a no-op here
    std::string Caption = "%ini";
    bool UseExternalTool = false;
    std::string Command; // after-run command
    bool SkipImageCheck = false;
    std::string Language;
    bool AbortOnError = false;
    int32_t PictureMemoryLimit = 0; // MiB the pictures of a run may take together; 0: automatic
};

struct TBitmapOption {
    int32_t ConvertTo = 1;
    bool AlphaChannelSupport = true;
    int32_t AlphaBitmapHeaderType = 1; // 1: version-4 header for 32-bit output
    int32_t AlphaCheckType = 0;        // 0 automatic, 1 always alpha, 2 never
    bool IndexColor = false;
};

struct TJPEGOption {
    int32_t ConvertTo = 2;
    int32_t Smoothing = 0;  // 0..100
    int32_t SampleType = 1; // 0 4:2:0, 1 4:2:2, 2 4:4:4, 3 4:1:1
    int32_t Quality = 90;   // 1..100
    bool AddExifInfo = true;
    int32_t DecodeWithDownScaling = 0;
    int32_t DownScalingLimit = 200;
    int32_t DCTMethod = 0; // 0 integer, otherwise floating point
    bool UpdateExif = true, UpdateExifResolution = false, UseFileSizeLimit = false;
    int32_t FileSizeLimit = 200, QualityLimit = 75, SampleTypeLimit = 0;
    bool UpdateExifThumbnail = false, AlwaysRecompress = false, Progressive = false;
};

struct TPNGOption {
    int32_t ConvertTo = 3;
    int32_t Filter = 0;
    int32_t CompressLevel = 6;
    bool WritepHYsChunk = false;
    bool IndexColor = true;
    int32_t TransparentType = 0;   // 0 none, 1 top-left, 2 bottom-left, 3 top-right, 4 bottom-right, 5 fixed
    uint32_t TransparentColor = 0; // colour value, red in the low byte
    bool UsePNGOUT = false, MaximumOptimization = false, FullColorOptimization = false, UseWIC = false;
};

struct TWICOption {
    int32_t ConvertTo = 2;
};

struct TMetadataOption {
    bool KeepICCProfile = true;
    bool KeepCreationTime = false;
    bool KeepLastWriteTime = false;
    int32_t Resolution = 72; // dpi used when the resolution is not kept
    bool KeepResolution = true;
};

struct TCombineOption {
    int32_t Width = 320, Height = 240, Order = 0, Rows = 3, Columns = 3, RowSpace = 0, ColumnSpace = 0;
    uint32_t BackgroundColor = 0xFFFFFF;
    bool FillBlank = true;
    bool Use = false;
};

struct TWindowSettings {
    int32_t Left = -1000, Top = -1000, ClientWidth = 0, ClientHeight = 0;
    std::array<int32_t, 7> Header = {-1, -1, -1, -1, -1, -1, -1};
};

struct TThumbnailWindowSettings {
    bool UseEmbeddedThumbnail = true, Visible = true;
    int32_t Left = -65535, Top = -65535;
};

struct TShortCutSettings {
    bool Desktop = false, MakeIni = true, AtOnce = false;
};

// One entry of the run input of an at-once run.
struct TImageFileInfo {
    std::string InputFileName, OutPutFileName, Dir, Base;
    // Named itself (on the command line), not found by walking a folder: a
    // file that cannot be read is then a failure to report.
    bool Named = false;
};

// Every setting the user sets: the records of the settings file, the run
// mode, the windows' places and the interface font. One value, Settings,
// filled by the settings loader and written by the option dialogs on the GUI
// thread while no run goes on; a run works on its own copy (TRunSettings).
struct TSettings {
    TFileOption File;
    TResizeOption Resize;
    TPreviewOption Preview;
    TSPIOption SPI;
    TSystemOption System;
    TBitmapOption Bitmap;
    TJPEGOption JPEG;
    TPNGOption PNG;
    TWICOption WIC;
    TMetadataOption Metadata;
    TCombineOption Combine;
    TBGColor Background; // colour alpha is flattened onto
    int32_t RunMode = 0; // 0 normal, 1 lossless JPEG transform, 2 combine, 3 rename only
    TWindowSettings Window;
    TThumbnailWindowSettings Thumbnail;
    TShortCutSettings ShortCut;
    std::string SPIOrder; // plug-in order string
    std::string UIFontName;
    int32_t UIFontSize = 9;
    // Set by the colour-reduction effect: true while it is used with a tool
    // that cannot keep alpha (every mode but the alpha-keeping one), so the
    // loader flattens alpha while reading.
    bool ColorReductionDropsAlpha = false;
};
extern TSettings Settings;

// Values found at start-up. Folders end in "/". IniFileName follows the
// settings file in use, PictureDir the folder pictures were last added from.
struct TStartup {
    std::string ExeDir, DataDir, IniDir, IniFileName, JPEGTranPath, TempDir;
    std::string SendToDir, ProgramFilesDir, MyPicturesDir, DesktopDir;
    std::string PictureDir;
    uint32_t CPUFeatures = 0;                  // GetCPUFeatures() word
    bool KodexLoaded = false;                  // the codec library loaded
    std::string KodexLoadError;                // why it did not
    bool AtOnceStart = false;                  // started to run the files it was given at once
    std::string SPIPath;                       // the plug-in folder in use, without the last "/"
    std::string SystemFontName = "Sans Serif"; // the interface font when none is set
};
extern TStartup Startup;

// Output extension by ConvertTo: 0 "???", 1 ".bmp", 2 ".jpg", 3 ".png", 4 ".gif".
extern const std::array<const char*, 5> OutputExt;
