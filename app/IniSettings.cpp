#include "app/IniSettings.h"

#include "app/Startup.h"
#include "core/Errors.h"
#include "core/Funcs.h"
#include "core/Global.h"
#include "core/IniFile.h"
#include "core/OutputFileName.h"
#include "core/Resize.h"
#include "core/SusiePlugin.h"
#include "effects/Effect.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

std::unique_ptr<TSPIList> SPIList;
std::string SPIPath;
int32_t WorkAreaRight = 1 << 20, WorkAreaBottom = 1 << 20;
std::function<bool(const std::string&)> FontInstalled;
std::string SystemFontName = "Sans Serif";
std::function<bool(const std::string&)> SaveRetryQuestion;

const std::array<double, 12> BuiltinSize1 = {100, 640, 480, 640, 480, 100, 100, 640, 640, 0, 640, 640};
const std::array<double, 12> BuiltinSize2 = {0, 0, 0, 0, 0, 100, 100, 480, 480, 0, 480, 480};

namespace {

const char kDefaultSize1[] = "100,512,384,512,384,100,100,512,512,0,512,512";
const char kDefaultSize2[] = "0,0,0,0,0,100,100,384,384,0,384,384";
const char kDefaultHistory[] = "\"8,640,480\",\"0,50,50\"";

int32_t Clamp(int32_t V, int32_t Lo, int32_t Hi) { return std::min(std::max(V, Lo), Hi); }

// A code 1..3 of the format lists; anything else is the key's default.
int32_t FormatCode(int32_t V, int32_t Default) { return V >= 1 && V <= 3 ? V : Default; }

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

std::string FormatNumber(double V)
{
    char buf[64];
    // Six significant digits, as the general format writes them, and always "."
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, V, std::chars_format::general, 6);
    if (ec != std::errc())
        return "0";
    return std::string(buf, p);
}

void ReadSystem(const TMemIniFile& Ini)
{
    TSystemOption& S = SystemOption;
    const int32_t cpus = std::max<int32_t>(1, S.ProcessorCount);
    int32_t mt = Ini.ReadInteger("System", "MaxThread", 0);
    if (mt < 1)
        mt = cpus;
    else if (mt > cpus)
        mt = cpus;
    S.MaxThread = mt;
    S.ParallelProcessing = Ini.ReadBool("System", "Parallel", true) && mt >= 2;
    S.MemReserve = Ini.ReadBool("System", "MemReserve", false);
    S.UseExternalTool = Ini.ReadBool("System", "UseExternalTool", false);
    S.Command = Ini.ReadString("System", "Command", "");
    S.Caption = Ini.ReadString("System", "Caption", "%ini");
    S.SkipImageCheck = Ini.ReadBool("System", "SkipImageCheck", false);
    S.AbortOnError = Ini.ReadBool("System", "AbortOnError", false);
}

void ReadFile(const TMemIniFile& Ini)
{
    TFileOption& F = FileOption;
    F.SameDirectory = Ini.ReadBool("File", "SameDirectory", true);
    F.OutputDirectory = SlashPath(Ini.ReadString("File", "OutPutDirectory", MyPicturesDir + "VestroPlus"));
    F.ShowDirectory = Ini.ReadBool("File", "ShowDirectory", true);
    F.FileNameFormat = Ini.ReadString("File", "FileNameFormat", "resize/<old>");
    F.NotOverwrite = Ini.ReadBool("File", "NotOverwrite", true);
    F.RenameOnly = Ini.ReadBool("File", "RenameOnly", false);
    F.AddSubFolder = Ini.ReadBool("File", "AddSubFolder", true);
    F.AtOnce = Ini.ReadBool("File", "AtOnce", false);
    F.RemoveList = Ini.ReadBool("File", "RemoveList", false);
    F.Skip = Ini.ReadBool("File", "Skip", false);
    F.StartNumber = Ini.ReadInteger("File", "StartNumber", 1);
    CurrentNumber = F.StartNumber;
    F.ResetType = Clamp(Ini.ReadInteger("File", "NumberResetType", 0), 0, 2);
    F.IgnoreReadOnlyAttr = Ini.ReadBool("File", "IgnoreReadOnlyAttr", false);
    F.ClipBoardTempDir = SlashPath(Ini.ReadString("File", "ClipBoardTemp", TempDir));
    F.SortMode = Ini.ReadInteger("File", "SortMode", 0);
    F.DeleteInputFile = Ini.ReadBool("File", "DeleteInputFile", false);
    F.AutoSortMode = Ini.ReadInteger("File", "AutoSortMode", 0);
}

void ReadResize(const TMemIniFile& Ini)
{
    TResizeOption& R = ResizeOption;
    R.Rule = Ini.ReadInteger("Resize", "Rule", 0);
    if (R.Rule < 0 || R.Rule > 11)
        R.Rule = 0;
    R.Size1 = ParseSizeList(Ini.ReadString("Resize", "Size1", kDefaultSize1), BuiltinSize1);
    R.Size2 = ParseSizeList(Ini.ReadString("Resize", "Size2", kDefaultSize2), BuiltinSize2);
    R.History = Ini.ReadString("Resize", "History", kDefaultHistory);
    if (!R.History.empty() && R.History.front() != '"')
        R.History = '"' + R.History + '"';
    // Ranges of the resampling dialog: a value it could not have stored is
    // taken to the nearest it could.
    R.DecimationMode = Ini.ReadInteger("Resize", "DecimationType", 7);
    if (R.DecimationMode < 1 || R.DecimationMode > 9)
        R.DecimationMode = 7;
    R.DecimationRadius = Clamp(Ini.ReadInteger("Resize", "DecimationRadius", 3), 1, 32);
    R.InterpolationMode = Ini.ReadInteger("Resize", "InterpolationType", 7);
    if (R.InterpolationMode < 2 || R.InterpolationMode > 9)
        R.InterpolationMode = 7;
    R.InterpolationRadius = Clamp(Ini.ReadInteger("Resize", "InterpolationRadius", 3), 1, 8);
    R.DecimationSharp = Clamp(Ini.ReadInteger("Resize", "DecimationSharp", 2), -4, 8);
    R.DecimationBlur = Clamp(Ini.ReadInteger("Resize", "DecimationBlur", 10), 1, 24);
    R.InterpolationSharp = Clamp(Ini.ReadInteger("Resize", "InterpolationSharp", 0), -4, 8);
    R.InterpolationBlur = Clamp(Ini.ReadInteger("Resize", "InterpolationBlur", 11), 1, 24);
    R.SIMDMode = Ini.ReadInteger("Resize", "SIMD", 3);
    if (R.SIMDMode < 1 || R.SIMDMode > 3)
        R.SIMDMode = 3;
    if (R.SIMDMode == 3 && !(CPUFeatures & 4))
        R.SIMDMode = 1;
    const int32_t cpus = std::max<int32_t>(1, SystemOption.ProcessorCount);
    const int32_t mt = Ini.ReadInteger("Resize", "MaxThread", cpus);
    R.MaxThread = uint32_t(Clamp(mt < 1 ? cpus : mt, 1, 64));
    R.Degamma = Ini.ReadBool("Resize", "Degamma", false);
    R.NoExpand = Ini.ReadBool("Resize", "NoExpand", false);
}

void ReadFormats(const TMemIniFile& Ini)
{
    TBitmapOption& B = BitmapOption;
    B.ConvertTo = FormatCode(Ini.ReadInteger("Bitmap", "ConvertTo", 1), 1);
    B.AlphaChannelSupport = Ini.ReadBool("Bitmap", "AlphaChannelSupport", true);
    B.AlphaBitmapHeaderType = Ini.ReadInteger("Bitmap", "AlphaBitmapHeaderType", 1);
    if (Ini.ValueExists("Bitmap", "AlphaCheckStrict"))
        B.AlphaCheckType = Ini.ReadBool("Bitmap", "AlphaCheckStrict", false) ? 2 : 0;
    else
        B.AlphaCheckType = Clamp(Ini.ReadInteger("Bitmap", "AlphaCheckType", 0), 0, 2);
    B.IndexColor = Ini.ReadBool("Bitmap", "IndexColor", false);

    TJPEGOption& J = JPEGOption;
    J.ConvertTo = FormatCode(Ini.ReadInteger("JPEG", "ConvertTo", 2), 2);
    J.SampleType = Clamp(Ini.ReadInteger("JPEG", "SampleType", 1), 0, 3);
    J.Smoothing = Clamp(Ini.ReadInteger("JPEG", "Smoothing", 0), 0, 100);
    J.Quality = Clamp(Ini.ReadInteger("JPEG", "Quality", 90), 0, 100);
    J.AddExifInfo = Ini.ReadBool("JPEG", "AddExifInfo", true);
    J.DecodeWithDownScaling = Clamp(Ini.ReadInteger("JPEG", "DecodeWithDownScaling", 0), 0, 3);
    J.DownScalingLimit = Clamp(Ini.ReadInteger("JPEG", "DownScalingLimit", 200), 100, 9999);
    J.DCTMethod = Ini.ReadInteger("JPEG", "DCTMethod", 0);
    J.UpdateExif = Ini.ReadBool("JPEG", "UpdateExif", true);
    J.UpdateExifResolution = Ini.ReadBool("JPEG", "UpdateExifResolution", false);
    J.UseFileSizeLimit = Ini.ReadBool("JPEG", "UseFileSizeLimit", false);
    J.FileSizeLimit = Clamp(Ini.ReadInteger("JPEG", "FileSizeLimit", 200), 1, 9999);
    J.QualityLimit = Clamp(Ini.ReadInteger("JPEG", "QualityLimit", 75), 0, 100);
    J.SampleTypeLimit = Clamp(Ini.ReadInteger("JPEG", "SampleTypeLimit", 0), 0, 3);
    J.UpdateExifThumbnail = Ini.ReadBool("JPEG", "UpdateExifThumbnail", false);
    J.AlwaysRecompress = Ini.ReadBool("JPEG", "AlwaysRecompress", false);
    J.Progressive = Ini.ReadBool("JPEG", "Progressive", false);

    TPNGOption& P = PNGOption;
    P.ConvertTo = FormatCode(Ini.ReadInteger("PNG", "ConvertTo", 3), 3);
    P.Filter = Ini.ReadInteger("PNG", "Filter", 0);
    P.CompressLevel = Clamp(Ini.ReadInteger("PNG", "CompressLevel", 6), 0, 9);
    P.WritepHYsChunk = Ini.ReadBool("PNG", "WritepHYsChunk", false);
    P.IndexColor = Ini.ReadBool("PNG", "IndexColor", true);
    P.TransparentType = Clamp(Ini.ReadInteger("PNG", "TransparentType", 0), 0, 5);
    P.TransparentColor = uint32_t(Ini.ReadInteger("PNG", "TransparentColor", 0));
    P.UsePNGOUT = Ini.ReadBool("PNG", "UsePNGOUT", false);
    P.MaximumOptimization = Ini.ReadBool("PNG", "MaximumOptimization", false);
    P.FullColorOptimization = Ini.ReadBool("PNG", "FullColorOptimization", false);
    P.UseWIC = Ini.ReadBool("PNG", "UseWIC", false);
    std::error_code ec;
    if (P.UsePNGOUT && !std::filesystem::exists(ExeDir + "bin/pngout", ec))
        P.UsePNGOUT = false;

    WICOption.ConvertTo = FormatCode(Ini.ReadInteger("WIC", "ConvertTo", 2), 2);
}

void ReadSPI(const TMemIniFile& Ini)
{
    SPIOption.SPITo = FormatCode(Ini.ReadInteger("SPI", "ConvertTo", 3), 3);
    SPIOption.SPIDirectory = SlashPath(Ini.ReadString("SPI", "SPIDirectory", ""));
    const std::string stored = Ini.ReadString("SPI", "SPIOrder", "");
    if (!SPIList)
        SPIList = std::make_unique<TSPIList>();
    else
        SPIList->ReleaseSPI();
    SPIPath = SPIOption.SPIDirectory.empty() ? ExeDir + "SusiePlugin" : SPIOption.SPIDirectory;
    while (SPIPath.size() > 1 && SPIPath.back() == '/')
        SPIPath.pop_back();
    std::string found;
    TSPIList::GetSPIList(SPIPath, found);
    TSPIList::CreateNewOrder(found, stored, SPIOrder);
    if (!SPIOrder.empty()) {
        std::string names;
        TSPIList::GetUseSPINames(SPIOrder, names);
        SPIList->LoadSPI(SPIPath, names);
    }
}

void ReadRest(const TMemIniFile& Ini)
{
    TPreviewOption& P = PreviewOption;
    P.ViewerPath = Ini.ReadString("Preview", "ViewerPath", "");
    P.ViewerOption = Ini.ReadString("Preview", "ViewerOption", "/getclip /user=vestro");
    P.ViewerOption2 = Ini.ReadString("Preview", "ViewerOption2", "/getclip /newwnd /user=vestro");
    P.Width = std::min(Ini.ReadInteger("Preview", "Width", 800), WorkAreaRight);
    P.Height = std::min(Ini.ReadInteger("Preview", "Height", 600), WorkAreaBottom);
    P.Left = Ini.ReadInteger("Preview", "Left", -1);
    P.Top = Ini.ReadInteger("Preview", "Top", -1);
    P.HistogramType = Ini.ReadInteger("Preview", "HistogramType", 0);
    P.HistogramChannel = Ini.ReadInteger("Preview", "HistogramChannel", 0);
    P.ResizeMode = Ini.ReadInteger("Preview", "ResizeMode", 2);
    P.ViewMode = Ini.ReadInteger("Preview", "ViewMode", 1);

    TMetadataOption& M = MetadataOption;
    M.KeepICCProfile = Ini.ReadBool("Metadata", "KeepICCProfile", true);
    M.KeepCreationTime = Ini.ReadBool("Metadata", "KeepCreationTime", false);
    M.KeepLastWriteTime = Ini.ReadBool("Metadata", "KeepLastWriteTime", false);
    M.Resolution = Ini.ReadInteger("Metadata", "Resolution", 72);
    M.KeepResolution = Ini.ReadBool("Metadata", "KeepResolution", true);

    DefaultBGColor.Lead = 0;
    DefaultBGColor.Red = uint16_t(Ini.ReadInteger("DefaultBGColor", "Red", 255));
    DefaultBGColor.Green = uint16_t(Ini.ReadInteger("DefaultBGColor", "Green", 255));
    DefaultBGColor.Blue = uint16_t(Ini.ReadInteger("DefaultBGColor", "Blue", 255));
    DefaultBGColor.Gray = uint16_t(Ini.ReadInteger("DefaultBGColor", "Gray", 255));

    TWindowSettings& W = WindowSettings;
    W.Left = Ini.ReadInteger("Window", "Left", -1000);
    W.Top = Ini.ReadInteger("Window", "Top", -1000);
    W.ClientWidth = Ini.ReadInteger("Window", "ClientWidth", 0);
    W.ClientHeight = Ini.ReadInteger("Window", "ClientHeight", 0);
    for (int i = 0; i < 7; ++i)
        W.Header[size_t(i)] = Ini.ReadInteger("ListView", "Header" + std::to_string(i), -1);

    TThumbnailWindowSettings& T = ThumbnailWindowSettings;
    T.UseEmbeddedThumbnail = Ini.ReadBool("ThumbnailWindow", "UseEmbeddedThumbnail", true);
    T.Visible = Ini.ReadBool("ThumbnailWindow", "Visible", true);
    T.Left = Ini.ReadInteger("ThumbnailWindow", "Left", -65535);
    T.Top = Ini.ReadInteger("ThumbnailWindow", "Top", -65535);

    PictureDir = SlashPath(Ini.ReadString("Dir", "Picture", MyPicturesDir));

    const std::string candidate = SystemFontName;
    const std::string name = Ini.ReadString("Font", "P_FontName", candidate);
    if (!FontInstalled || FontInstalled(name)) {
        UIFontName = name;
        UIFontSize = Ini.ReadInteger("Font", "P_FontSize", 9);
    } else {
        UIFontName = candidate;
        UIFontSize = 9;
    }

    ShortCutSettings.Desktop = Ini.ReadBool("ShortCut", "Desktop", false);
    ShortCutSettings.MakeIni = Ini.ReadBool("ShortCut", "MakeIni", true);
    ShortCutSettings.AtOnce = Ini.ReadBool("ShortCut", "AtOnce", false);

    TCombineOption& C = CombineOption;
    C.Width = Ini.ReadInteger("Combine", "Width", 320);
    C.Height = Ini.ReadInteger("Combine", "Height", 240);
    C.Order = Ini.ReadInteger("Combine", "Order", 0);
    C.Rows = Ini.ReadInteger("Combine", "Rows,", 3);
    C.Columns = Ini.ReadInteger("Combine", "Columns", 3);
    C.RowSpace = Ini.ReadInteger("Combine", "RowSpace", 0);
    C.ColumnSpace = Ini.ReadInteger("Combine", "ColumnSpace", 0);
    C.BackgroundColor = uint32_t(Ini.ReadInteger("Combine", "BackgroundColor", 0xFFFFFF));
    C.FillBlank = Ini.ReadBool("Combine", "FillBlank", true);
    C.Use = Ini.ReadBool("Combine", "Use", false);
}

void WriteAll(TMemIniFile& Ini)
{
    const TWindowSettings& W = WindowSettings;
    Ini.WriteInteger("Window", "Left", W.Left);
    Ini.WriteInteger("Window", "Top", W.Top);
    Ini.WriteInteger("Window", "ClientWidth", W.ClientWidth);
    Ini.WriteInteger("Window", "ClientHeight", W.ClientHeight);

    const TFileOption& F = FileOption;
    Ini.WriteBool("File", "SameDirectory", F.SameDirectory);
    Ini.WriteString("File", "OutPutDirectory", F.OutputDirectory);
    Ini.WriteString("File", "FileNameFormat", F.FileNameFormat);
    Ini.WriteBool("File", "NotOverwrite", F.NotOverwrite);
    Ini.WriteBool("File", "RenameOnly", F.RenameOnly);
    Ini.WriteBool("File", "AddSubFolder", F.AddSubFolder);
    Ini.WriteBool("File", "AtOnce", F.AtOnce);
    Ini.WriteBool("File", "ShowDirectory", F.ShowDirectory);
    Ini.WriteBool("File", "RemoveList", F.RemoveList);
    Ini.WriteBool("File", "Skip", F.Skip);
    Ini.WriteInteger("File", "StartNumber", F.StartNumber);
    Ini.WriteInteger("File", "NumberResetType", F.ResetType);
    Ini.WriteBool("File", "IgnoreReadOnlyAttr", F.IgnoreReadOnlyAttr);
    Ini.WriteString("File", "ClipBoardTemp", F.ClipBoardTempDir);
    Ini.WriteInteger("File", "SortMode", F.SortMode);
    Ini.WriteBool("File", "DeleteInputFile", F.DeleteInputFile);
    Ini.WriteInteger("File", "AutoSortMode", F.AutoSortMode);

    const TResizeOption& R = ResizeOption;
    Ini.WriteString("Resize", "Size1", FormatSizeList(R.Size1));
    Ini.WriteString("Resize", "Size2", FormatSizeList(R.Size2));
    Ini.WriteInteger("Resize", "Rule", R.Rule);
    Ini.WriteInteger("Resize", "DecimationType", R.DecimationMode);
    Ini.WriteInteger("Resize", "DecimationRadius", R.DecimationRadius);
    Ini.WriteInteger("Resize", "DecimationSharp", R.DecimationSharp);
    Ini.WriteInteger("Resize", "DecimationBlur", R.DecimationBlur);
    Ini.WriteInteger("Resize", "InterpolationType", R.InterpolationMode);
    Ini.WriteInteger("Resize", "InterpolationRadius", R.InterpolationRadius);
    Ini.WriteInteger("Resize", "InterpolationSharp", R.InterpolationSharp);
    Ini.WriteInteger("Resize", "InterpolationBlur", R.InterpolationBlur);
    Ini.WriteInteger("Resize", "SIMD", R.SIMDMode);
    Ini.WriteInteger("Resize", "MaxThread", int32_t(R.MaxThread));
    Ini.WriteString("Resize", "History", R.History);
    Ini.WriteBool("Resize", "Degamma", R.Degamma);
    Ini.WriteBool("Resize", "NoExpand", R.NoExpand);

    const TBitmapOption& B = BitmapOption;
    Ini.WriteInteger("Bitmap", "ConvertTo", B.ConvertTo);
    Ini.WriteBool("Bitmap", "AlphaChannelSupport", B.AlphaChannelSupport);
    Ini.WriteInteger("Bitmap", "AlphaBitmapHeaderType", B.AlphaBitmapHeaderType);
    Ini.DeleteKey("Bitmap", "AlphaCheckStrict");
    Ini.WriteInteger("Bitmap", "AlphaCheckType", B.AlphaCheckType);
    Ini.WriteBool("Bitmap", "IndexColor", B.IndexColor);

    const TJPEGOption& J = JPEGOption;
    Ini.WriteInteger("JPEG", "ConvertTo", J.ConvertTo);
    Ini.WriteInteger("JPEG", "SampleType", J.SampleType);
    Ini.WriteInteger("JPEG", "Smoothing", J.Smoothing);
    Ini.WriteInteger("JPEG", "Quality", J.Quality);
    Ini.WriteBool("JPEG", "AddExifInfo", J.AddExifInfo);
    Ini.WriteInteger("JPEG", "DecodeWithDownScaling", J.DecodeWithDownScaling);
    Ini.WriteInteger("JPEG", "DownScalingLimit", J.DownScalingLimit);
    Ini.WriteInteger("JPEG", "DCTMethod", J.DCTMethod);
    Ini.WriteBool("JPEG", "UpdateExif", J.UpdateExif);
    Ini.WriteBool("JPEG", "UpdateExifResolution", J.UpdateExifResolution);
    Ini.WriteBool("JPEG", "UseFileSizeLimit", J.UseFileSizeLimit);
    Ini.WriteInteger("JPEG", "FileSizeLimit", J.FileSizeLimit);
    Ini.WriteInteger("JPEG", "QualityLimit", J.QualityLimit);
    Ini.WriteInteger("JPEG", "SampleTypeLimit", J.SampleTypeLimit);
    Ini.WriteBool("JPEG", "UpdateExifThumbnail", J.UpdateExifThumbnail);
    Ini.WriteBool("JPEG", "AlwaysRecompress", J.AlwaysRecompress);
    Ini.WriteBool("JPEG", "Progressive", J.Progressive);

    const TPNGOption& P = PNGOption;
    Ini.WriteInteger("PNG", "ConvertTo", P.ConvertTo);
    Ini.WriteInteger("PNG", "Filter", P.Filter);
    Ini.WriteInteger("PNG", "CompressLevel", P.CompressLevel);
    Ini.WriteBool("PNG", "WritepHYsChunk", P.WritepHYsChunk);
    Ini.WriteBool("PNG", "IndexColor", P.IndexColor);
    Ini.WriteInteger("PNG", "TransparentType", P.TransparentType);
    Ini.WriteInteger("PNG", "TransparentColor", int32_t(P.TransparentColor));
    Ini.WriteBool("PNG", "UsePNGOUT", P.UsePNGOUT);
    Ini.WriteBool("PNG", "MaximumOptimization", P.MaximumOptimization);
    Ini.WriteBool("PNG", "FullColorOptimization", P.FullColorOptimization);
    Ini.WriteBool("PNG", "UseWIC", P.UseWIC);

    Ini.WriteInteger("WIC", "ConvertTo", WICOption.ConvertTo);

    Ini.WriteInteger("SPI", "ConvertTo", SPIOption.SPITo);
    Ini.WriteString("SPI", "SPIDirectory", SPIOption.SPIDirectory);
    Ini.WriteString("SPI", "SPIOrder", SPIOrder);

    const TPreviewOption& V = PreviewOption;
    Ini.WriteString("Preview", "ViewerPath", V.ViewerPath);
    Ini.WriteString("Preview", "ViewerOption", V.ViewerOption);
    Ini.WriteString("Preview", "ViewerOption2", V.ViewerOption2);
    Ini.WriteInteger("Preview", "Left", V.Left);
    Ini.WriteInteger("Preview", "Top", V.Top);
    Ini.WriteInteger("Preview", "Width", V.Width);
    Ini.WriteInteger("Preview", "Height", V.Height);
    Ini.WriteInteger("Preview", "HistogramType", V.HistogramType);
    Ini.WriteInteger("Preview", "HistogramChannel", V.HistogramChannel);
    Ini.WriteInteger("Preview", "ViewMode", V.ViewMode);

    const TMetadataOption& M = MetadataOption;
    Ini.WriteBool("Metadata", "KeepICCProfile", M.KeepICCProfile);
    Ini.WriteBool("Metadata", "KeepCreationTime", M.KeepCreationTime);
    Ini.WriteBool("Metadata", "KeepLastWriteTime", M.KeepLastWriteTime);
    Ini.WriteInteger("Metadata", "Resolution", M.Resolution);
    Ini.WriteBool("Metadata", "KeepResolution", M.KeepResolution);

    Ini.WriteInteger("DefaultBGColor", "Red", DefaultBGColor.Red);
    Ini.WriteInteger("DefaultBGColor", "Green", DefaultBGColor.Green);
    Ini.WriteInteger("DefaultBGColor", "Blue", DefaultBGColor.Blue);
    Ini.WriteInteger("DefaultBGColor", "Gray", DefaultBGColor.Gray);

    const TThumbnailWindowSettings& T = ThumbnailWindowSettings;
    Ini.WriteBool("ThumbnailWindow", "Visible", T.Visible);
    Ini.WriteInteger("ThumbnailWindow", "Left", T.Left);
    Ini.WriteInteger("ThumbnailWindow", "Top", T.Top);
    Ini.WriteBool("ThumbnailWindow", "UseEmbeddedThumbnail", T.UseEmbeddedThumbnail);

    Ini.WriteString("Dir", "Picture", PictureDir);

    const TSystemOption& S = SystemOption;
    Ini.WriteInteger("System", "MaxThread", S.MaxThread);
    Ini.WriteBool("System", "Parallel", S.ParallelProcessing);
    Ini.WriteBool("System", "MemReserve", S.MemReserve);
    Ini.WriteBool("System", "UseExternalTool", S.UseExternalTool);
    Ini.WriteString("System", "Command", S.Command);
    Ini.WriteString("System", "Caption", S.Caption);
    Ini.WriteBool("System", "SkipImageCheck", S.SkipImageCheck);
    Ini.WriteString("System", "Language", S.Language);
    Ini.WriteBool("System", "AbortOnError", S.AbortOnError);

    for (int i = 0; i < 7; ++i)
        Ini.WriteInteger("ListView", "Header" + std::to_string(i), W.Header[size_t(i)]);

    if (EffectList)
        EffectList->WriteIniFile(Ini);

    Ini.WriteString("Font", "P_FontName", UIFontName);
    Ini.WriteInteger("Font", "P_FontSize", UIFontSize);

    Ini.WriteBool("ShortCut", "Desktop", ShortCutSettings.Desktop);
    Ini.WriteBool("ShortCut", "MakeIni", ShortCutSettings.MakeIni);
    Ini.WriteBool("ShortCut", "AtOnce", ShortCutSettings.AtOnce);

    const TCombineOption& C = CombineOption;
    Ini.WriteInteger("Combine", "Width", C.Width);
    Ini.WriteInteger("Combine", "Height", C.Height);
    Ini.WriteInteger("Combine", "Order", C.Order);
    Ini.WriteInteger("Combine", "Rows,", C.Rows);
    Ini.WriteInteger("Combine", "Columns", C.Columns);
    Ini.WriteInteger("Combine", "RowSpace", C.RowSpace);
    Ini.WriteInteger("Combine", "ColumnSpace", C.ColumnSpace);
    Ini.WriteInteger("Combine", "BackgroundColor", int32_t(C.BackgroundColor));
    Ini.WriteBool("Combine", "FillBlank", C.FillBlank);
    Ini.WriteBool("Combine", "Use", C.Use);
}

} // namespace

std::array<double, 12> ParseSizeList(const std::string& Text, const std::array<double, 12>& Builtin)
{
    std::array<double, 12> out = Builtin;
    const std::vector<std::string> items = SplitCommaText(Text);
    for (size_t i = 0; i < out.size() && i < items.size(); ++i) {
        double v;
        if (ParseNumber(items[i], v))
            out[i] = v;
    }
    return out;
}

std::string FormatSizeList(const std::array<double, 12>& Values)
{
    std::string s = FormatNumber(Values[0]);
    for (size_t i = 1; i < Values.size(); ++i)
        s += "," + FormatNumber(Values[i]);
    return s;
}

void LoadIniFile(const std::string& FileName)
{
    std::unique_ptr<TMemIniFile> ini;
    try {
        ini = std::make_unique<TMemIniFile>(FileName);
    } catch (const EVestroError& E) {
        // An unreadable file counts as a missing one: the defaults hold.
        std::fprintf(stderr, "%s\n", E.what());
        ini = std::make_unique<TMemIniFile>(std::string());
    }
    ReadSystem(*ini);
    ReadFile(*ini);
    ReadResize(*ini);
    ReadFormats(*ini);
    ReadSPI(*ini);
    ReadRest(*ini);
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
}

bool RunSaveWithRetry(const std::function<void()>& Attempt)
{
    for (int attempt = 1;; ++attempt) {
        try {
            Attempt();
            return true;
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
