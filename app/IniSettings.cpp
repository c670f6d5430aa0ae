#include "app/IniSettings.h"

#include "app/IniKeys.h"
#include "app/Startup.h"
#include "core/Errors.h"
#include "core/Funcs.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/IniFile.h"
#include "core/OutputFileName.h"
#include "core/Resize.h"
#include "core/ResourceText.h"
#include "core/SusiePlugin.h"
#include "effects/Effect.h"
#include "effects/IniFloat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <thread>

std::unique_ptr<TSPIList> SPIList;
int32_t WorkAreaRight = 1 << 20, WorkAreaBottom = 1 << 20;
std::function<bool(const std::string&)> FontInstalled;
std::function<bool(const std::string&)> SaveRetryQuestion;
std::function<void(const std::string&)> SaveFailedNotice;

const std::array<double, 12> BuiltinSize1 = {100, 640, 480, 640, 480, 100, 100, 640, 640, 0, 640, 640};
const std::array<double, 12> BuiltinSize2 = {0, 0, 0, 0, 0, 100, 100, 480, 480, 0, 480, 480};

namespace {

constexpr const char SNotSaved[] = "The settings were not saved; the old file is kept.";

// Folders may be stored with "\" by older files.
std::string SlashPath(std::string S)
{
    std::replace(S.begin(), S.end(), '\\', '/');
    return S;
}

bool ParseNumber(std::string Item, double& Value)
{
    // Blanks around the item are allowed; the decimal separator may be "." or
    // the locale's (files written before the separator was fixed).
    const size_t b = Item.find_first_not_of(' ');
    if (b == std::string::npos)
        return false;
    Item = Item.substr(b, Item.find_last_not_of(' ') - b + 1);
    const char sep = LocaleDecimalSeparator();
    if (sep != '.')
        std::replace(Item.begin(), Item.end(), sep, '.');
    const char* first = Item.data();
    if (*first == '+')
        ++first;
    const char* last = Item.data() + Item.size();
    auto [p, ec] = std::from_chars(first, last, Value);
    return ec == std::errc() && p == last && std::isfinite(Value);
}

// ------------------------------------------------------------------ corrections

std::string QuotedHistory(std::string H)
{
    // An older file may hold one entry without its quotes.
    if (!H.empty() && H.front() != '"')
        H = '"' + H + '"';
    return H;
}

int32_t ProcessorCount()
{
    return std::max<int32_t>(1, SystemOption.ProcessorCount);
}

// Batch workers: below 1 every processor the process may use; never more.
int32_t WorkerCount(int32_t V)
{
    return V < 1 ? ProcessorCount() : std::min(V, ProcessorCount());
}

// Threads per resampling pass: below 1 the processor count; a pass has at
// most 64 shares.
int32_t PassThreads(int32_t V)
{
    return std::clamp(V < 1 ? ProcessorCount() : V, 1, 64);
}

// The SSE2 integer kernels need SSE2.
int32_t KernelFamily(int32_t V)
{
    return V == 3 && !(CPUFeatures & 4) ? 1 : V;
}

int32_t InWorkAreaWidth(int32_t V)
{
    return std::min(V, WorkAreaRight);
}
int32_t InWorkAreaHeight(int32_t V)
{
    return std::min(V, WorkAreaBottom);
}

const TIniFix Path = TextRule(SlashPath);
// A code 1..3 of the format lists; anything else is the key's default.
const TIniFix FormatCode = Fallback(1, 3);

template <auto M, const std::array<double, 12>* Builtin> TIniKey SizeList(const char* Key)
{
    TIniKey k = ini_detail::KeyOf<std::string>("Resize", Key, {});
    k.Get = [] { return TIniValue(FormatSizeList(ResizeOption.*M)); };
    k.Set = [](const TIniValue& V) { ResizeOption.*M = ParseSizeList(std::get<std::string>(V), *Builtin); };
    k.Default = [] { return TIniValue(FormatSizeList(TResizeOption{}.*M)); };
    return k;
}

// ------------------------------------------------------------------ the table

// Every key of the settings file, in the order the full writer writes them
// (a new file gets its sections and keys in this order). Defaults are the
// records' own (core/Global.h) unless a row names one.
std::vector<TIniKey> MakeKeys()
{
    using O = TIniUse;
    return {
        Bind<&TWindowSettings::Left>(WindowSettings, "Window", "Left"),
        Bind<&TWindowSettings::Top>(WindowSettings, "Window", "Top"),
        Bind<&TWindowSettings::ClientWidth>(WindowSettings, "Window", "ClientWidth"),
        Bind<&TWindowSettings::ClientHeight>(WindowSettings, "Window", "ClientHeight"),

        Bind<&TFileOption::SameDirectory>(FileOption, "File", "SameDirectory"),
        Bind<&TFileOption::OutputDirectory>(FileOption, "File", "OutPutDirectory", Path, O::ReadWrite,
                                            [] { return TIniValue(MyPicturesDir + "VestroPlus"); }),
        Bind<&TFileOption::FileNameFormat>(FileOption, "File", "FileNameFormat"),
        Bind<&TFileOption::NotOverwrite>(FileOption, "File", "NotOverwrite"),
        Bind<&TFileOption::RenameOnly>(FileOption, "File", "RenameOnly"),
        Bind<&TFileOption::AddSubFolder>(FileOption, "File", "AddSubFolder"),
        Bind<&TFileOption::AtOnce>(FileOption, "File", "AtOnce"),
        Bind<&TFileOption::ShowDirectory>(FileOption, "File", "ShowDirectory"),
        Bind<&TFileOption::RemoveList>(FileOption, "File", "RemoveList"),
        Bind<&TFileOption::Skip>(FileOption, "File", "Skip"),
        Bind<&TFileOption::StartNumber>(FileOption, "File", "StartNumber"),
        Bind<&TFileOption::ResetType>(FileOption, "File", "NumberResetType", Clamp(0, 2)),
        Bind<&TFileOption::IgnoreReadOnlyAttr>(FileOption, "File", "IgnoreReadOnlyAttr"),
        Bind<&TFileOption::ClipBoardTempDir>(FileOption, "File", "ClipBoardTemp", Path, O::ReadWrite,
                                             [] { return TIniValue(TempDir); }),
        Bind<&TFileOption::SortMode>(FileOption, "File", "SortMode"),
        Bind<&TFileOption::DeleteInputFile>(FileOption, "File", "DeleteInputFile"),
        Bind<&TFileOption::AutoSortMode>(FileOption, "File", "AutoSortMode"),

        // Ranges of the resampling dialog: a value it could not have stored is
        // taken to the nearest it could.
        SizeList<&TResizeOption::Size1, &BuiltinSize1>("Size1"),
        SizeList<&TResizeOption::Size2, &BuiltinSize2>("Size2"),
        Bind<&TResizeOption::Rule>(ResizeOption, "Resize", "Rule", Fallback(0, 11)),
        Bind<&TResizeOption::DecimationMode>(ResizeOption, "Resize", "DecimationType", Fallback(1, 9)),
        Bind<&TResizeOption::DecimationRadius>(ResizeOption, "Resize", "DecimationRadius", Clamp(1, 32)),
        Bind<&TResizeOption::DecimationSharp>(ResizeOption, "Resize", "DecimationSharp", Clamp(-4, 8)),
        Bind<&TResizeOption::DecimationBlur>(ResizeOption, "Resize", "DecimationBlur", Clamp(1, 24)),
        Bind<&TResizeOption::InterpolationMode>(ResizeOption, "Resize", "InterpolationType", Fallback(2, 9)),
        Bind<&TResizeOption::InterpolationRadius>(ResizeOption, "Resize", "InterpolationRadius", Clamp(1, 8)),
        Bind<&TResizeOption::InterpolationSharp>(ResizeOption, "Resize", "InterpolationSharp", Clamp(-4, 8)),
        Bind<&TResizeOption::InterpolationBlur>(ResizeOption, "Resize", "InterpolationBlur", Clamp(1, 24)),
        Bind<&TResizeOption::SIMDMode>(ResizeOption, "Resize", "SIMD", Fallback(1, 3, KernelFamily)),
        Bind<&TResizeOption::MaxThread>(ResizeOption, "Resize", "MaxThread", IntRule(PassThreads), O::ReadWrite,
                                        [] { return TIniValue(ProcessorCount()); }),
        Bind<&TResizeOption::History>(ResizeOption, "Resize", "History", TextRule(QuotedHistory)),
        Bind<&TResizeOption::Degamma>(ResizeOption, "Resize", "Degamma"),
        Bind<&TResizeOption::NoExpand>(ResizeOption, "Resize", "NoExpand"),

        // The older key AlphaCheckStrict is read and removed apart (ReadOlderKeys).
        Bind<&TBitmapOption::ConvertTo>(BitmapOption, "Bitmap", "ConvertTo", FormatCode),
        Bind<&TBitmapOption::AlphaChannelSupport>(BitmapOption, "Bitmap", "AlphaChannelSupport"),
        Bind<&TBitmapOption::AlphaBitmapHeaderType>(BitmapOption, "Bitmap", "AlphaBitmapHeaderType"),
        Bind<&TBitmapOption::AlphaCheckType>(BitmapOption, "Bitmap", "AlphaCheckType", Clamp(0, 2)),
        Bind<&TBitmapOption::IndexColor>(BitmapOption, "Bitmap", "IndexColor"),

        Bind<&TJPEGOption::ConvertTo>(JPEGOption, "JPEG", "ConvertTo", FormatCode),
        Bind<&TJPEGOption::SampleType>(JPEGOption, "JPEG", "SampleType", Clamp(0, 3)),
        Bind<&TJPEGOption::Smoothing>(JPEGOption, "JPEG", "Smoothing", Clamp(0, 100)),
        Bind<&TJPEGOption::Quality>(JPEGOption, "JPEG", "Quality", Clamp(0, 100)),
        Bind<&TJPEGOption::AddExifInfo>(JPEGOption, "JPEG", "AddExifInfo"),
        Bind<&TJPEGOption::DecodeWithDownScaling>(JPEGOption, "JPEG", "DecodeWithDownScaling", Clamp(0, 3)),
        Bind<&TJPEGOption::DownScalingLimit>(JPEGOption, "JPEG", "DownScalingLimit", Clamp(100, 9999)),
        Bind<&TJPEGOption::DCTMethod>(JPEGOption, "JPEG", "DCTMethod"),
        Bind<&TJPEGOption::UpdateExif>(JPEGOption, "JPEG", "UpdateExif"),
        Bind<&TJPEGOption::UpdateExifResolution>(JPEGOption, "JPEG", "UpdateExifResolution"),
        Bind<&TJPEGOption::UseFileSizeLimit>(JPEGOption, "JPEG", "UseFileSizeLimit"),
        Bind<&TJPEGOption::FileSizeLimit>(JPEGOption, "JPEG", "FileSizeLimit", Clamp(1, 9999)),
        Bind<&TJPEGOption::QualityLimit>(JPEGOption, "JPEG", "QualityLimit", Clamp(0, 100)),
        Bind<&TJPEGOption::SampleTypeLimit>(JPEGOption, "JPEG", "SampleTypeLimit", Clamp(0, 3)),
        Bind<&TJPEGOption::UpdateExifThumbnail>(JPEGOption, "JPEG", "UpdateExifThumbnail"),
        Bind<&TJPEGOption::AlwaysRecompress>(JPEGOption, "JPEG", "AlwaysRecompress"),
        Bind<&TJPEGOption::Progressive>(JPEGOption, "JPEG", "Progressive"),

        Bind<&TPNGOption::ConvertTo>(PNGOption, "PNG", "ConvertTo", FormatCode),
        Bind<&TPNGOption::Filter>(PNGOption, "PNG", "Filter"),
        Bind<&TPNGOption::CompressLevel>(PNGOption, "PNG", "CompressLevel", Clamp(0, 9)),
        Bind<&TPNGOption::WritepHYsChunk>(PNGOption, "PNG", "WritepHYsChunk"),
        Bind<&TPNGOption::IndexColor>(PNGOption, "PNG", "IndexColor"),
        Bind<&TPNGOption::TransparentType>(PNGOption, "PNG", "TransparentType", Clamp(0, 5)),
        Bind<&TPNGOption::TransparentColor>(PNGOption, "PNG", "TransparentColor"),
        // Kept as written: the writer uses it only while the optimiser is there.
        Bind<&TPNGOption::UsePNGOUT>(PNGOption, "PNG", "UsePNGOUT"),
        Bind<&TPNGOption::MaximumOptimization>(PNGOption, "PNG", "MaximumOptimization"),
        Bind<&TPNGOption::FullColorOptimization>(PNGOption, "PNG", "FullColorOptimization"),
        Bind<&TPNGOption::UseWIC>(PNGOption, "PNG", "UseWIC"),

        Bind<&TWICOption::ConvertTo>(WICOption, "WIC", "ConvertTo", FormatCode),

        // The plug-ins are loaded from these three after the walk (LoadPlugins).
        Bind<&TSPIOption::SPITo>(SPIOption, "SPI", "ConvertTo", FormatCode),
        Bind<&TSPIOption::SPIDirectory>(SPIOption, "SPI", "SPIDirectory", Path),
        BindValue<&SPIOrder>("SPI", "SPIOrder", [] { return TIniValue(std::string()); }),

        Bind<&TPreviewOption::ViewerPath>(PreviewOption, "Preview", "ViewerPath"),
        Bind<&TPreviewOption::ViewerOption>(PreviewOption, "Preview", "ViewerOption"),
        Bind<&TPreviewOption::ViewerOption2>(PreviewOption, "Preview", "ViewerOption2"),
        Bind<&TPreviewOption::Left>(PreviewOption, "Preview", "Left"),
        Bind<&TPreviewOption::Top>(PreviewOption, "Preview", "Top"),
        Bind<&TPreviewOption::Width>(PreviewOption, "Preview", "Width", IntRule(InWorkAreaWidth)),
        Bind<&TPreviewOption::Height>(PreviewOption, "Preview", "Height", IntRule(InWorkAreaHeight)),
        Bind<&TPreviewOption::HistogramType>(PreviewOption, "Preview", "HistogramType"),
        Bind<&TPreviewOption::HistogramChannel>(PreviewOption, "Preview", "HistogramChannel"),
        Bind<&TPreviewOption::ViewMode>(PreviewOption, "Preview", "ViewMode"),
        Bind<&TPreviewOption::ResizeMode>(PreviewOption, "Preview", "ResizeMode", {}, O::ReadOnly),

        Bind<&TMetadataOption::KeepICCProfile>(MetadataOption, "Metadata", "KeepICCProfile"),
        Bind<&TMetadataOption::KeepCreationTime>(MetadataOption, "Metadata", "KeepCreationTime"),
        Bind<&TMetadataOption::KeepLastWriteTime>(MetadataOption, "Metadata", "KeepLastWriteTime"),
        Bind<&TMetadataOption::Resolution>(MetadataOption, "Metadata", "Resolution"),
        Bind<&TMetadataOption::KeepResolution>(MetadataOption, "Metadata", "KeepResolution"),

        // 16-bit words in the record; the leading word is not stored.
        Bind<&TBGColor::Red>(DefaultBGColor, "DefaultBGColor", "Red"),
        Bind<&TBGColor::Green>(DefaultBGColor, "DefaultBGColor", "Green"),
        Bind<&TBGColor::Blue>(DefaultBGColor, "DefaultBGColor", "Blue"),
        Bind<&TBGColor::Gray>(DefaultBGColor, "DefaultBGColor", "Gray"),

        Bind<&TThumbnailWindowSettings::Visible>(ThumbnailWindowSettings, "ThumbnailWindow", "Visible"),
        Bind<&TThumbnailWindowSettings::Left>(ThumbnailWindowSettings, "ThumbnailWindow", "Left"),
        Bind<&TThumbnailWindowSettings::Top>(ThumbnailWindowSettings, "ThumbnailWindow", "Top"),
        Bind<&TThumbnailWindowSettings::UseEmbeddedThumbnail>(ThumbnailWindowSettings, "ThumbnailWindow",
                                                              "UseEmbeddedThumbnail"),

        BindValue<&PictureDir>(
            "Dir", "Picture", [] { return TIniValue(MyPicturesDir); }, Path),

        // MaxThread before Parallel, which depends on it (JoinKeys).
        Bind<&TSystemOption::MaxThread>(SystemOption, "System", "MaxThread", IntRule(WorkerCount)),
        Bind<&TSystemOption::ParallelProcessing>(SystemOption, "System", "Parallel"),
        Bind<&TSystemOption::MemReserve>(SystemOption, "System", "MemReserve"),
        Bind<&TSystemOption::UseExternalTool>(SystemOption, "System", "UseExternalTool"),
        Bind<&TSystemOption::Command>(SystemOption, "System", "Command"),
        Bind<&TSystemOption::Caption>(SystemOption, "System", "Caption"),
        Bind<&TSystemOption::SkipImageCheck>(SystemOption, "System", "SkipImageCheck"),
        // Read at process start, before the settings are loaded.
        Bind<&TSystemOption::Language>(SystemOption, "System", "Language", {}, O::WriteOnly),
        Bind<&TSystemOption::AbortOnError>(SystemOption, "System", "AbortOnError"),
        // MiB a picture may take while it is read; 0 chooses by the machine's memory.
        Bind<&TSystemOption::PictureMemoryLimit>(SystemOption, "System", "PictureMemoryLimit", Clamp(0, 1 << 24)),

        // Widths of the file list's columns; -1 keeps the designed width.
        BindItem<&TWindowSettings::Header, 0>(WindowSettings, "ListView", "Header0"),
        BindItem<&TWindowSettings::Header, 1>(WindowSettings, "ListView", "Header1"),
        BindItem<&TWindowSettings::Header, 2>(WindowSettings, "ListView", "Header2"),
        BindItem<&TWindowSettings::Header, 3>(WindowSettings, "ListView", "Header3"),
        BindItem<&TWindowSettings::Header, 4>(WindowSettings, "ListView", "Header4"),
        BindItem<&TWindowSettings::Header, 5>(WindowSettings, "ListView", "Header5"),
        BindItem<&TWindowSettings::Header, 6>(WindowSettings, "ListView", "Header6"),

        TIniKey{}, // the effects' own sections go here

        // A font that is not installed gives way to the system's (JoinKeys).
        BindValue<&UIFontName>("Font", "P_FontName", [] { return TIniValue(SystemFontName); }),
        BindValue<&UIFontSize>(
            "Font", "P_FontSize", [] { return TIniValue(9); }, Clamp(MinUIFontSize, MaxUIFontSize)),

        Bind<&TShortCutSettings::Desktop>(ShortCutSettings, "ShortCut", "Desktop"),
        Bind<&TShortCutSettings::MakeIni>(ShortCutSettings, "ShortCut", "MakeIni"),
        Bind<&TShortCutSettings::AtOnce>(ShortCutSettings, "ShortCut", "AtOnce"),

        // Ranges of the combine dialog. A cell or a count it could not have
        // stored makes sheets of 1 x 1 pictures: the default stands in.
        Bind<&TCombineOption::Width>(CombineOption, "Combine", "Width", Fallback(1, 9999)),
        Bind<&TCombineOption::Height>(CombineOption, "Combine", "Height", Fallback(1, 9999)),
        Bind<&TCombineOption::Order>(CombineOption, "Combine", "Order", Fallback(0, 1)),
        Bind<&TCombineOption::Rows>(CombineOption, "Combine", "Rows,", Fallback(1, 99)), // the comma is part of the key
        Bind<&TCombineOption::Columns>(CombineOption, "Combine", "Columns", Fallback(1, 99)),
        Bind<&TCombineOption::RowSpace>(CombineOption, "Combine", "RowSpace", Clamp(0, 99)),
        Bind<&TCombineOption::ColumnSpace>(CombineOption, "Combine", "ColumnSpace", Clamp(0, 99)),
        Bind<&TCombineOption::BackgroundColor>(CombineOption, "Combine", "BackgroundColor"),
        Bind<&TCombineOption::FillBlank>(CombineOption, "Combine", "FillBlank"),
        Bind<&TCombineOption::Use>(CombineOption, "Combine", "Use"),
    };
}

// ------------------------------------------------------------ special rules

// [Bitmap] AlphaCheckStrict, an older key: when present it decides
// AlphaCheckType; the writer removes it.
void ReadOlderKeys(const TMemIniFile& Ini)
{
    if (Ini.ValueExists("Bitmap", "AlphaCheckStrict"))
        BitmapOption.AlphaCheckType = Ini.ReadBool("Bitmap", "AlphaCheckStrict", false) ? 2 : 0;
}

// Values that depend on more than one key, or feed other state.
void JoinKeys()
{
    SystemOption.ParallelProcessing = SystemOption.ParallelProcessing && SystemOption.MaxThread >= 2;
    CurrentNumber = FileOption.StartNumber;
    DefaultBGColor.Lead = 0;
    if (FontInstalled && !FontInstalled(UIFontName)) {
        UIFontName = SystemFontName;
        UIFontSize = 9;
    }
}

// Reloads the plug-ins from [SPI]: the folder, and the stored order merged
// with the plug-ins found there.
void LoadPlugins()
{
    if (!SPIList)
        SPIList = std::make_unique<TSPIList>();
    else
        SPIList->ReleaseSPI();
    // The probe, the loader and the listing ask this list.
    ActiveSPIList = SPIList.get();
    SPIPath = SPIOption.SPIDirectory.empty() ? ExeDir + "SusiePlugin" : SPIOption.SPIDirectory;
    while (SPIPath.size() > 1 && SPIPath.back() == '/')
        SPIPath.pop_back();
    std::string found;
    TSPIList::GetSPIList(SPIPath, found);
    const std::string stored = SPIOrder;
    TSPIList::CreateNewOrder(found, stored, SPIOrder);
    if (!SPIOrder.empty()) {
        std::string names;
        TSPIList::GetUseSPINames(SPIOrder, names);
        SPIList->LoadSPI(SPIPath, names);
    }
}

void WriteAll(TMemIniFile& Ini)
{
    for (const TIniKey& k : IniKeys()) {
        if (k.Section)
            WriteIniKey(Ini, k);
        else if (EffectList)
            EffectList->WriteIniFile(Ini);
    }
    Ini.DeleteKey("Bitmap", "AlphaCheckStrict");
}

} // namespace

std::array<double, 12> ParseSizeList(const std::string& Text, const std::array<double, 12>& Builtin)
{
    std::array<double, 12> out = Builtin;
    const std::vector<std::string> items = SplitCommaText(Text);
    for (size_t i = 0; i < out.size() && i < items.size(); ++i) {
        double v;
        // A side of 0 % or 0 px, or below, makes 1 x 1 pictures: no size
        // edit takes it for a side its rule uses (built-in value above 0).
        if (ParseNumber(items[i], v) && (v > 0 || Builtin[i] <= 0))
            out[i] = v;
    }
    return out;
}

const std::vector<TIniKey>& IniKeys()
{
    static const std::vector<TIniKey> keys = MakeKeys();
    return keys;
}

std::string FormatSizeList(const std::array<double, 12>& Values)
{
    std::string s = IniFloatText(Values[0]);
    for (size_t i = 1; i < Values.size(); ++i)
        s.append(1, ',').append(IniFloatText(Values[i]));
    return s;
}

std::string LoadIniFile(const std::string& FileName)
{
    std::unique_ptr<TMemIniFile> ini;
    std::string unread;
    try {
        ini = std::make_unique<TMemIniFile>(FileName);
    } catch (const EVestroError& E) {
        // An unreadable file counts as a missing one: the defaults hold.
        unread = E.what();
        std::fprintf(stderr, "%s\n", unread.c_str());
        ini = std::make_unique<TMemIniFile>(std::string());
    }
    for (const TIniKey& k : IniKeys())
        ReadIniKey(*ini, k);
    ReadOlderKeys(*ini);
    JoinKeys();
    LoadPlugins();
    if (EffectList)
        EffectList->ReadIniFile(*ini);

    IniFileName = FileName;
    TEffect* tran = EffectList ? EffectList->JPEGTranEffect() : nullptr;
    if (FileOption.RenameOnly) {
        if (tran)
            tran->SetUse(false);
        CombineOption.Use = false;
        RunMode = 3;
    } else if (tran && tran->FUse) {
        CombineOption.Use = false;
        RunMode = 1;
    } else if (CombineOption.Use) {
        RunMode = 2;
    } else {
        RunMode = 0;
    }
    SetResizeFilters(ResizeOption.DecimationMode, ResizeOption.InterpolationMode, ResizeOption.SIMDMode);
    for (TResizer* R : {MainResizer, AntialiasResizer})
        if (R)
            R->SetMaxThreadNum(int32_t(ResizeOption.MaxThread));
    SetSharedFilterThreads(ResizeOption.MaxThread);
    return unread;
}

bool RunSaveWithRetry(const std::function<void()>& Attempt)
{
    for (int attempt = 1;; ++attempt) {
        try {
            Attempt();
            return true;
        } catch (const EIniFileTooLarge& E) {
            // Another try would write the same: said once, the old file kept.
            const std::string Msg = std::string(E.what()) + "\n" + LoadResText(SNotSaved);
            if (SaveFailedNotice)
                SaveFailedNotice(Msg);
            else
                std::fprintf(stderr, "Vestro: %s\n", Msg.c_str());
            return false;
        } catch (const std::exception& E) {
            if (attempt > 20) {
                if (!SaveRetryQuestion) {
                    std::fprintf(stderr, "Vestro: %s\n", E.what());
                    return false;
                }
                if (!SaveRetryQuestion(E.what()))
                    return false;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool SaveIniFile(const std::string& FileName)
{
    return RunSaveWithRetry([&] {
        // The old content is read in whatever encoding it has, so that a
        // profile written by hand keeps every key it had.
        TMemIniFile ini(FileName);
        WriteAll(ini);
        ini.UpdateFile();
    });
}

bool SaveIniFile2(const std::string& FileName)
{
    return RunSaveWithRetry([&] {
        TMemIniFile ini(FileName);
        ini.WriteInteger("File", "StartNumber", FileOption.StartNumber);
        ini.UpdateFile();
    });
}
