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
    return std::max<int32_t>(1, Settings.System.ProcessorCount);
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
    return V == 3 && !(Startup.CPUFeatures & 4) ? 1 : V;
}

int32_t InWorkAreaWidth(int32_t V)
{
    return std::min(V, App.WorkAreaRight);
}
int32_t InWorkAreaHeight(int32_t V)
{
    return std::min(V, App.WorkAreaBottom);
}

const TIniFix Path = TextRule(SlashPath);
// A code 1..3 of the format lists; anything else is the key's default.
const TIniFix FormatCode = Fallback(1, 3);

template <auto M, const std::array<double, 12>* Builtin> TIniKey SizeList(const char* Key)
{
    TIniKey k = ini_detail::KeyOf<std::string>("Resize", Key, {});
    k.Get = [] { return TIniValue(FormatSizeList(Settings.Resize.*M)); };
    k.Set = [](const TIniValue& V) { Settings.Resize.*M = ParseSizeList(std::get<std::string>(V), *Builtin); };
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
        Bind<&TWindowSettings::Left>(Settings.Window, "Window", "Left"),
        Bind<&TWindowSettings::Top>(Settings.Window, "Window", "Top"),
        Bind<&TWindowSettings::ClientWidth>(Settings.Window, "Window", "ClientWidth"),
        Bind<&TWindowSettings::ClientHeight>(Settings.Window, "Window", "ClientHeight"),

        Bind<&TFileOption::SameDirectory>(Settings.File, "File", "SameDirectory"),
        Bind<&TFileOption::OutputDirectory>(Settings.File, "File", "OutPutDirectory", Path, O::ReadWrite,
                                            [] { return TIniValue(Startup.MyPicturesDir + "VestroPlus"); }),
        Bind<&TFileOption::FileNameFormat>(Settings.File, "File", "FileNameFormat"),
        Bind<&TFileOption::NotOverwrite>(Settings.File, "File", "NotOverwrite"),
        Bind<&TFileOption::RenameOnly>(Settings.File, "File", "RenameOnly"),
        Bind<&TFileOption::AddSubFolder>(Settings.File, "File", "AddSubFolder"),
        Bind<&TFileOption::AtOnce>(Settings.File, "File", "AtOnce"),
        Bind<&TFileOption::ShowDirectory>(Settings.File, "File", "ShowDirectory"),
        Bind<&TFileOption::RemoveList>(Settings.File, "File", "RemoveList"),
        Bind<&TFileOption::Skip>(Settings.File, "File", "Skip"),
        Bind<&TFileOption::StartNumber>(Settings.File, "File", "StartNumber"),
        Bind<&TFileOption::ResetType>(Settings.File, "File", "NumberResetType", Clamp(0, 2)),
        Bind<&TFileOption::IgnoreReadOnlyAttr>(Settings.File, "File", "IgnoreReadOnlyAttr"),
        Bind<&TFileOption::ClipBoardTempDir>(Settings.File, "File", "ClipBoardTemp", Path, O::ReadWrite,
                                             [] { return TIniValue(Startup.TempDir); }),
        Bind<&TFileOption::SortMode>(Settings.File, "File", "SortMode"),
        Bind<&TFileOption::DeleteInputFile>(Settings.File, "File", "DeleteInputFile"),
        Bind<&TFileOption::AutoSortMode>(Settings.File, "File", "AutoSortMode"),

        // Ranges of the resampling dialog: a value it could not have stored is
        // taken to the nearest it could.
        SizeList<&TResizeOption::Size1, &BuiltinSize1>("Size1"),
        SizeList<&TResizeOption::Size2, &BuiltinSize2>("Size2"),
        Bind<&TResizeOption::Rule>(Settings.Resize, "Resize", "Rule", Fallback(0, 11)),
        Bind<&TResizeOption::DecimationMode>(Settings.Resize, "Resize", "DecimationType", Fallback(1, 9)),
        Bind<&TResizeOption::DecimationRadius>(Settings.Resize, "Resize", "DecimationRadius", Clamp(1, 32)),
        Bind<&TResizeOption::DecimationSharp>(Settings.Resize, "Resize", "DecimationSharp", Clamp(-4, 8)),
        Bind<&TResizeOption::DecimationBlur>(Settings.Resize, "Resize", "DecimationBlur", Clamp(1, 24)),
        Bind<&TResizeOption::InterpolationMode>(Settings.Resize, "Resize", "InterpolationType", Fallback(2, 9)),
        Bind<&TResizeOption::InterpolationRadius>(Settings.Resize, "Resize", "InterpolationRadius", Clamp(1, 8)),
        Bind<&TResizeOption::InterpolationSharp>(Settings.Resize, "Resize", "InterpolationSharp", Clamp(-4, 8)),
        Bind<&TResizeOption::InterpolationBlur>(Settings.Resize, "Resize", "InterpolationBlur", Clamp(1, 24)),
        Bind<&TResizeOption::SIMDMode>(Settings.Resize, "Resize", "SIMD", Fallback(1, 3, KernelFamily)),
        Bind<&TResizeOption::MaxThread>(Settings.Resize, "Resize", "MaxThread", IntRule(PassThreads), O::ReadWrite,
                                        [] { return TIniValue(ProcessorCount()); }),
        Bind<&TResizeOption::History>(Settings.Resize, "Resize", "History", TextRule(QuotedHistory)),
        Bind<&TResizeOption::Degamma>(Settings.Resize, "Resize", "Degamma"),
        Bind<&TResizeOption::NoExpand>(Settings.Resize, "Resize", "NoExpand"),

        // The older key AlphaCheckStrict is read and removed apart (ReadOlderKeys).
        Bind<&TBitmapOption::ConvertTo>(Settings.Bitmap, "Bitmap", "ConvertTo", FormatCode),
        Bind<&TBitmapOption::AlphaChannelSupport>(Settings.Bitmap, "Bitmap", "AlphaChannelSupport"),
        Bind<&TBitmapOption::AlphaBitmapHeaderType>(Settings.Bitmap, "Bitmap", "AlphaBitmapHeaderType"),
        Bind<&TBitmapOption::AlphaCheckType>(Settings.Bitmap, "Bitmap", "AlphaCheckType", Clamp(0, 2)),
        Bind<&TBitmapOption::IndexColor>(Settings.Bitmap, "Bitmap", "IndexColor"),

        Bind<&TJPEGOption::ConvertTo>(Settings.JPEG, "JPEG", "ConvertTo", FormatCode),
        Bind<&TJPEGOption::SampleType>(Settings.JPEG, "JPEG", "SampleType", Clamp(0, 3)),
        Bind<&TJPEGOption::Smoothing>(Settings.JPEG, "JPEG", "Smoothing", Clamp(0, 100)),
        Bind<&TJPEGOption::Quality>(Settings.JPEG, "JPEG", "Quality", Clamp(0, 100)),
        Bind<&TJPEGOption::AddExifInfo>(Settings.JPEG, "JPEG", "AddExifInfo"),
        Bind<&TJPEGOption::DecodeWithDownScaling>(Settings.JPEG, "JPEG", "DecodeWithDownScaling", Clamp(0, 3)),
        Bind<&TJPEGOption::DownScalingLimit>(Settings.JPEG, "JPEG", "DownScalingLimit", Clamp(100, 9999)),
        Bind<&TJPEGOption::DCTMethod>(Settings.JPEG, "JPEG", "DCTMethod"),
        Bind<&TJPEGOption::UpdateExif>(Settings.JPEG, "JPEG", "UpdateExif"),
        Bind<&TJPEGOption::UpdateExifResolution>(Settings.JPEG, "JPEG", "UpdateExifResolution"),
        Bind<&TJPEGOption::UseFileSizeLimit>(Settings.JPEG, "JPEG", "UseFileSizeLimit"),
        Bind<&TJPEGOption::FileSizeLimit>(Settings.JPEG, "JPEG", "FileSizeLimit", Clamp(1, 9999)),
        Bind<&TJPEGOption::QualityLimit>(Settings.JPEG, "JPEG", "QualityLimit", Clamp(0, 100)),
        Bind<&TJPEGOption::SampleTypeLimit>(Settings.JPEG, "JPEG", "SampleTypeLimit", Clamp(0, 3)),
        Bind<&TJPEGOption::UpdateExifThumbnail>(Settings.JPEG, "JPEG", "UpdateExifThumbnail"),
        Bind<&TJPEGOption::AlwaysRecompress>(Settings.JPEG, "JPEG", "AlwaysRecompress"),
        Bind<&TJPEGOption::Progressive>(Settings.JPEG, "JPEG", "Progressive"),

        Bind<&TPNGOption::ConvertTo>(Settings.PNG, "PNG", "ConvertTo", FormatCode),
        Bind<&TPNGOption::Filter>(Settings.PNG, "PNG", "Filter"),
        Bind<&TPNGOption::CompressLevel>(Settings.PNG, "PNG", "CompressLevel", Clamp(0, 9)),
        Bind<&TPNGOption::WritepHYsChunk>(Settings.PNG, "PNG", "WritepHYsChunk"),
        Bind<&TPNGOption::IndexColor>(Settings.PNG, "PNG", "IndexColor"),
        Bind<&TPNGOption::TransparentType>(Settings.PNG, "PNG", "TransparentType", Clamp(0, 5)),
        Bind<&TPNGOption::TransparentColor>(Settings.PNG, "PNG", "TransparentColor"),
        // Kept as written: the writer uses it only while the optimiser is there.
        Bind<&TPNGOption::UsePNGOUT>(Settings.PNG, "PNG", "UsePNGOUT"),
        Bind<&TPNGOption::MaximumOptimization>(Settings.PNG, "PNG", "MaximumOptimization"),
        Bind<&TPNGOption::FullColorOptimization>(Settings.PNG, "PNG", "FullColorOptimization"),
        Bind<&TPNGOption::UseWIC>(Settings.PNG, "PNG", "UseWIC"),

        Bind<&TWICOption::ConvertTo>(Settings.WIC, "WIC", "ConvertTo", FormatCode),

        // The plug-ins are loaded from these three after the walk (LoadPlugins).
        Bind<&TSPIOption::SPITo>(Settings.SPI, "SPI", "ConvertTo", FormatCode),
        Bind<&TSPIOption::SPIDirectory>(Settings.SPI, "SPI", "SPIDirectory", Path),
        Bind<&TSettings::SPIOrder>(Settings, "SPI", "SPIOrder", {}, O::ReadWrite,
                                   [] { return TIniValue(std::string()); }),

        Bind<&TPreviewOption::ViewerPath>(Settings.Preview, "Preview", "ViewerPath"),
        Bind<&TPreviewOption::ViewerOption>(Settings.Preview, "Preview", "ViewerOption"),
        Bind<&TPreviewOption::ViewerOption2>(Settings.Preview, "Preview", "ViewerOption2"),
        Bind<&TPreviewOption::Left>(Settings.Preview, "Preview", "Left"),
        Bind<&TPreviewOption::Top>(Settings.Preview, "Preview", "Top"),
        Bind<&TPreviewOption::Width>(Settings.Preview, "Preview", "Width", IntRule(InWorkAreaWidth)),
        Bind<&TPreviewOption::Height>(Settings.Preview, "Preview", "Height", IntRule(InWorkAreaHeight)),
        Bind<&TPreviewOption::HistogramType>(Settings.Preview, "Preview", "HistogramType"),
        Bind<&TPreviewOption::HistogramChannel>(Settings.Preview, "Preview", "HistogramChannel"),
        Bind<&TPreviewOption::ViewMode>(Settings.Preview, "Preview", "ViewMode"),
        Bind<&TPreviewOption::ResizeMode>(Settings.Preview, "Preview", "ResizeMode", {}, O::ReadOnly),

        Bind<&TMetadataOption::KeepICCProfile>(Settings.Metadata, "Metadata", "KeepICCProfile"),
        Bind<&TMetadataOption::KeepCreationTime>(Settings.Metadata, "Metadata", "KeepCreationTime"),
        Bind<&TMetadataOption::KeepLastWriteTime>(Settings.Metadata, "Metadata", "KeepLastWriteTime"),
        Bind<&TMetadataOption::Resolution>(Settings.Metadata, "Metadata", "Resolution"),
        Bind<&TMetadataOption::KeepResolution>(Settings.Metadata, "Metadata", "KeepResolution"),

        // 16-bit words in the record; the leading word is not stored.
        Bind<&TBGColor::Red>(Settings.Background, "DefaultBGColor", "Red"),
        Bind<&TBGColor::Green>(Settings.Background, "DefaultBGColor", "Green"),
        Bind<&TBGColor::Blue>(Settings.Background, "DefaultBGColor", "Blue"),
        Bind<&TBGColor::Gray>(Settings.Background, "DefaultBGColor", "Gray"),

        Bind<&TThumbnailWindowSettings::Visible>(Settings.Thumbnail, "ThumbnailWindow", "Visible"),
        Bind<&TThumbnailWindowSettings::Left>(Settings.Thumbnail, "ThumbnailWindow", "Left"),
        Bind<&TThumbnailWindowSettings::Top>(Settings.Thumbnail, "ThumbnailWindow", "Top"),
        Bind<&TThumbnailWindowSettings::UseEmbeddedThumbnail>(Settings.Thumbnail, "ThumbnailWindow",
                                                              "UseEmbeddedThumbnail"),

        Bind<&TStartup::PictureDir>(Startup, "Dir", "Picture", Path, O::ReadWrite,
                                    [] { return TIniValue(Startup.MyPicturesDir); }),

        // MaxThread before Parallel, which depends on it (JoinKeys).
        Bind<&TSystemOption::MaxThread>(Settings.System, "System", "MaxThread", IntRule(WorkerCount)),
        Bind<&TSystemOption::ParallelProcessing>(Settings.System, "System", "Parallel"),
        Bind<&TSystemOption::MemReserve>(Settings.System, "System", "MemReserve"),
        Bind<&TSystemOption::UseExternalTool>(Settings.System, "System", "UseExternalTool"),
        Bind<&TSystemOption::Command>(Settings.System, "System", "Command"),
        Bind<&TSystemOption::Caption>(Settings.System, "System", "Caption"),
        Bind<&TSystemOption::SkipImageCheck>(Settings.System, "System", "SkipImageCheck"),
        // Read at process start, before the settings are loaded.
        Bind<&TSystemOption::Language>(Settings.System, "System", "Language", {}, O::WriteOnly),
        Bind<&TSystemOption::AbortOnError>(Settings.System, "System", "AbortOnError"),
        // MiB a picture may take while it is read; 0 chooses by the machine's memory.
        Bind<&TSystemOption::PictureMemoryLimit>(Settings.System, "System", "PictureMemoryLimit", Clamp(0, 1 << 24)),

        // Widths of the file list's columns; -1 keeps the designed width.
        BindItem<&TWindowSettings::Header, 0>(Settings.Window, "ListView", "Header0"),
        BindItem<&TWindowSettings::Header, 1>(Settings.Window, "ListView", "Header1"),
        BindItem<&TWindowSettings::Header, 2>(Settings.Window, "ListView", "Header2"),
        BindItem<&TWindowSettings::Header, 3>(Settings.Window, "ListView", "Header3"),
        BindItem<&TWindowSettings::Header, 4>(Settings.Window, "ListView", "Header4"),
        BindItem<&TWindowSettings::Header, 5>(Settings.Window, "ListView", "Header5"),
        BindItem<&TWindowSettings::Header, 6>(Settings.Window, "ListView", "Header6"),

        TIniKey{}, // the effects' own sections go here

        // A font that is not installed gives way to the system's (JoinKeys).
        Bind<&TSettings::UIFontName>(Settings, "Font", "P_FontName", {}, O::ReadWrite,
                                     [] { return TIniValue(Startup.SystemFontName); }),
        Bind<&TSettings::UIFontSize>(Settings, "Font", "P_FontSize", Clamp(MinUIFontSize, MaxUIFontSize), O::ReadWrite,
                                     [] { return TIniValue(9); }),

        Bind<&TShortCutSettings::Desktop>(Settings.ShortCut, "ShortCut", "Desktop"),
        Bind<&TShortCutSettings::MakeIni>(Settings.ShortCut, "ShortCut", "MakeIni"),
        Bind<&TShortCutSettings::AtOnce>(Settings.ShortCut, "ShortCut", "AtOnce"),

        // Ranges of the combine dialog. A cell or a count it could not have
        // stored makes sheets of 1 x 1 pictures: the default stands in.
        Bind<&TCombineOption::Width>(Settings.Combine, "Combine", "Width", Fallback(1, 9999)),
        Bind<&TCombineOption::Height>(Settings.Combine, "Combine", "Height", Fallback(1, 9999)),
        Bind<&TCombineOption::Order>(Settings.Combine, "Combine", "Order", Fallback(0, 1)),
        Bind<&TCombineOption::Rows>(Settings.Combine, "Combine", "Rows,",
                                    Fallback(1, 99)), // the comma is part of the key
        Bind<&TCombineOption::Columns>(Settings.Combine, "Combine", "Columns", Fallback(1, 99)),
        Bind<&TCombineOption::RowSpace>(Settings.Combine, "Combine", "RowSpace", Clamp(0, 99)),
        Bind<&TCombineOption::ColumnSpace>(Settings.Combine, "Combine", "ColumnSpace", Clamp(0, 99)),
        Bind<&TCombineOption::BackgroundColor>(Settings.Combine, "Combine", "BackgroundColor"),
        Bind<&TCombineOption::FillBlank>(Settings.Combine, "Combine", "FillBlank"),
        Bind<&TCombineOption::Use>(Settings.Combine, "Combine", "Use"),
    };
}

// ------------------------------------------------------------ special rules

// [Bitmap] AlphaCheckStrict, an older key: when present it decides
// AlphaCheckType; the writer removes it.
void ReadOlderKeys(const TMemIniFile& Ini)
{
    if (Ini.ValueExists("Bitmap", "AlphaCheckStrict"))
        Settings.Bitmap.AlphaCheckType = Ini.ReadBool("Bitmap", "AlphaCheckStrict", false) ? 2 : 0;
}

// Values that depend on more than one key, or feed other state.
void JoinKeys()
{
    Settings.System.ParallelProcessing = Settings.System.ParallelProcessing && Settings.System.MaxThread >= 2;
    CurrentNumber = Settings.File.StartNumber;
    Settings.Background.Lead = 0;
    if (FontInstalled && !FontInstalled(Settings.UIFontName)) {
        Settings.UIFontName = Startup.SystemFontName;
        Settings.UIFontSize = 9;
    }
}

// Reloads the plug-ins from [SPI]: the folder, and the stored order merged
// with the plug-ins found there.
void LoadPlugins()
{
    if (!App.SPIList)
        App.SPIList = std::make_unique<TSPIList>();
    else
        App.SPIList->ReleaseSPI();
    // The probe, the loader and the listing ask this list.
    PictureTypes.ActiveSPIList = App.SPIList.get();
    Startup.SPIPath = Settings.SPI.SPIDirectory.empty() ? Startup.ExeDir + "SusiePlugin" : Settings.SPI.SPIDirectory;
    while (Startup.SPIPath.size() > 1 && Startup.SPIPath.back() == '/')
        Startup.SPIPath.pop_back();
    std::string found;
    TSPIList::GetSPIList(Startup.SPIPath, found);
    const std::string stored = Settings.SPIOrder;
    TSPIList::CreateNewOrder(found, stored, Settings.SPIOrder);
    if (!Settings.SPIOrder.empty()) {
        std::string names;
        TSPIList::GetUseSPINames(Settings.SPIOrder, names);
        App.SPIList->LoadSPI(Startup.SPIPath, names);
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

    Startup.IniFileName = FileName;
    TEffect* tran = EffectList ? EffectList->JPEGTranEffect() : nullptr;
    if (Settings.File.RenameOnly) {
        if (tran)
            tran->SetUse(false);
        Settings.Combine.Use = false;
        Settings.RunMode = 3;
    } else if (tran && tran->FUse) {
        Settings.Combine.Use = false;
        Settings.RunMode = 1;
    } else if (Settings.Combine.Use) {
        Settings.RunMode = 2;
    } else {
        Settings.RunMode = 0;
    }
    SetResizeFilters(Settings.Resize.DecimationMode, Settings.Resize.InterpolationMode, Settings.Resize.SIMDMode);
    for (TResizer* R : {App.MainResizer, App.AntialiasResizer})
        if (R)
            R->SetMaxThreadNum(int32_t(Settings.Resize.MaxThread));
    SetSharedFilterThreads(Settings.Resize.MaxThread);
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
        ini.WriteInteger("File", "StartNumber", Settings.File.StartNumber);
        ini.UpdateFile();
    });
}
