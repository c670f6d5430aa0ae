#include "app/Startup.h"

#include "app/IniSettings.h"
#include "batch/ListUp.h"
#include "core/AlphaBlend.h"
#include "core/ColorCorrectionFunc.h"
#include "core/ErrorLog.h"
#include "core/Filter.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/IniFile.h"
#include "core/Kodex.h"
#include "core/MemReservoir.h"
#include "core/Resize.h"
#include "core/ResourceText.h"
#include "core/SusiePlugin.h"
#include "effects/Effect.h"
#include "effects/AddBlankFilter.h"
#include "effects/AddTextEffect.h"
#include "effects/ColorAdjust.h"
#include "effects/CompositeEffect.h"
#include "effects/DecreaseColor.h"
#include "effects/ExifRotationFilter.h"
#include "effects/FontCache.h"
#include "effects/GrayscaleFilter.h"
#include "effects/JPEGTran.h"
#include "effects/ResizeFilter.h"
#include "effects/RotationFilter.h"
#include "effects/ToneCurveEffect.h"
#include "effects/TrimmingFilter.h"
#include "effects/USMFilter.h"
#include "platform/Intl.h"
#include "platform/SysInfo.h"

#include <QDir>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

TApplication App;

namespace {

std::string WithSlash(std::string S)
{
    if (S.empty() || S.back() != '/')
        S += '/';
    return S;
}

std::string StandardFolder(QStandardPaths::StandardLocation L)
{
    const QString s = QStandardPaths::writableLocation(L);
    return s.isEmpty() ? std::string() : WithSlash(s.toStdString());
}

// The "Language" header of a compiled catalogue: read straight from the
// file's first entry (the header is the translation of the empty text), so
// that listing the catalogues does not switch the process's language.
std::string CatalogueLanguage(const std::string& MoFile)
{
    std::ifstream in(MoFile, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u32 = [&](size_t Off) -> uint64_t {
        if (Off + 4 > data.size())
            return UINT64_MAX;
        const auto* p = reinterpret_cast<const unsigned char*>(data.data() + Off);
        return uint64_t(p[0]) | uint64_t(p[1]) << 8 | uint64_t(p[2]) << 16 | uint64_t(p[3]) << 24;
    };
    if (u32(0) != 0x950412de || u32(8) == 0)
        return {};
    const uint64_t trans = u32(16);
    const uint64_t len = u32(trans), off = u32(trans + 4);
    if (len == UINT64_MAX || off == UINT64_MAX || off > data.size() || len > data.size() - off)
        return {};
    const std::string header = data.substr(size_t(off), size_t(len));
    const size_t p = header.find("Language: ");
    if (p == std::string::npos)
        return {};
    const size_t e = header.find('\n', p);
    return header.substr(p + 10, e == std::string::npos ? std::string::npos : e - p - 10);
}

} // namespace

std::string ProfileFileName(const std::vector<std::string>& Args)
{
    std::vector<std::string> Ignored;
    const std::string Name = GetSettingsFileName(Args, &Ignored);
    for (const std::string& A : Ignored)
        std::fprintf(stderr, "Ignored %s: a profile must be a file in %sini/\n", A.c_str(), Startup.ExeDir.c_str());
    return Name;
}

void LoadLanguageList()
{
    namespace fs = std::filesystem;
    App.LanguageList.clear();
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& E : fs::directory_iterator(Startup.ExeDir + "locale", ec))
        names.push_back(E.path().filename().string());
    // Directory order is arbitrary here: list them by name.
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        const std::string mo = Startup.ExeDir + "locale/" + n + "/LC_MESSAGES/default.mo";
        if (fs::is_regular_file(mo, ec))
            App.LanguageList.push_back(n + "=" + CatalogueLanguage(mo));
    }
}

void SetResizeFilters(int32_t DecimationId, int32_t InterpolationId, int32_t SIMDMode)
{
    if (!App.MainResizer)
        return;
    const TResizeOption& R = Settings.Resize;
    if (DecimationId >= 1 && DecimationId <= 9)
        if (TWeightSetter* W =
                CreateWeightSetter(uint32_t(DecimationId), R.DecimationRadius, R.DecimationSharp, R.DecimationBlur))
            App.MainResizer->SetDecimationMode(uint32_t(DecimationId), W);
    if (InterpolationId >= 2 && InterpolationId <= 9)
        if (TWeightSetter* W = CreateWeightSetter(uint32_t(InterpolationId), R.InterpolationRadius,
                                                  R.InterpolationSharp, R.InterpolationBlur))
            App.MainResizer->SetInterpolationMode(uint32_t(InterpolationId), W);
    if (SIMDMode != 0)
        App.MainResizer->SetSIMDMode(uint32_t(SIMDMode), R.Degamma);
}

bool IsPathArgument(const std::string& Arg)
{
    if (const std::optional<bool> byForm = PathArgumentByForm(Arg))
        return *byForm;
    return HasPictureExtension(Arg);
}

bool IsAtOnceStart(const std::vector<std::string>& Args, const std::string& IniFile)
{
    const bool anyPath = std::any_of(Args.begin(), Args.end(), IsPathArgument);
    return anyPath && ProfileConvertsAtOnce(IniFile);
}

void MakeDefaultEffectChain()
{
    // The chain in its default order; the lossless transform and the colour
    // reduction are held beside it.
    delete EffectList;
    EffectList = new TEffectList;
    EffectList->AddFilter(std::make_unique<TGrayscaleFilter>());
    EffectList->AddFilter(std::make_unique<TExifRotationFilter>());
    EffectList->AddFilter(std::make_unique<TTrimmingFilter>());
    EffectList->AddFilter(std::make_unique<TRotationFilter>());
    EffectList->AddFilter(std::make_unique<TResizeFilter>());
    EffectList->AddFilter(std::make_unique<TAddBlankFilter>());
    EffectList->AddFilter(std::make_unique<TUSMFilter>());
    EffectList->AddFilter(std::make_unique<TColorAdjust>());
    EffectList->AddFilter(std::make_unique<TToneCurveEffect>());
    EffectList->AddFilter(std::make_unique<TAddTextEffect>());
    EffectList->AddFilter(std::make_unique<TCompositeEffect>());
    EffectList->SetJPEGTranEffect(std::make_unique<TJPEGTran>());
    EffectList->SetDecreaseColorEffect(std::make_unique<TDecreaseColorEffect>());
}

std::string LoadRunSettings(const std::string& FileName)
{
    // Each effect reads its keys over what it holds: a fresh chain, so that
    // whatever the file leaves out is the default and not a former run's.
    MakeDefaultEffectChain();
    return LoadIniFile(FileName);
}

void SelectInterfaceLanguage()
{
    // A profile may name the language in any letter case ("DE"); the
    // catalogue is found under its own name only.
    std::string known = "en";
    for (const std::string& L : App.LanguageList) {
        const std::string name = L.substr(0, L.find('='));
        if (AsciiLower(name) == AsciiLower(Settings.System.Language))
            known = name;
    }
    Settings.System.Language = known;
    SetInterfaceLanguage(known);
}

bool InitializeGlobals(const std::vector<std::string>& Args)
{
    Settings.System.ProcessorCount = platform::UsableProcessorCount();
    LoadLanguageList();
    SelectInterfaceLanguage();

    Startup.CPUFeatures = GetCPUFeatures();
    InitColorProcs((Startup.CPUFeatures & 4) != 0);

    Startup.KodexLoadError.clear();
    Startup.KodexLoaded = LoadKodex(Startup.ExeDir, Startup.KodexLoadError);

    for (const char* e : {".bmp", ".jpg", ".png", ".tif"})
        PictureTypes.ExtInfoList.AddExt(e);
    // bin/ beside the program first, then the system's own tool.
    Startup.JPEGTranPath = FindJPEGTranPath();
    Startup.SendToDir = StandardFolder(QStandardPaths::ApplicationsLocation);
    Startup.ProgramFilesDir = "/usr/";
    Startup.MyPicturesDir = StandardFolder(QStandardPaths::PicturesLocation);
    Startup.DesktopDir = StandardFolder(QStandardPaths::DesktopLocation);

    App.FileList = new TImageInfoList;
    App.ImageFileList = new std::vector<TImageFileInfo>;
    Startup.DataDir = Startup.ExeDir;
    Startup.IniDir = Startup.DataDir + "ini/";
    std::error_code ec;
    std::filesystem::create_directories(Startup.IniDir, ec);

    MakeDefaultEffectChain();

    Startup.IniFileName = ProfileFileName(Args);

    App.MainResizer = new TResizer;
    App.AntialiasResizer = new TResizer;
    // Until the settings say otherwise: area average down, Lanczos up.
    App.MainResizer->SetDecimationMode(1, CreateWeightSetter(1, 3, 0, 10));
    App.MainResizer->SetInterpolationMode(2, CreateWeightSetter(2, 3, 0, 10));
    App.MainResizer->SetSIMDMode((Startup.CPUFeatures & 4) ? 3 : 1, false);
    App.MainResizer->SetMaxThreadNum(Settings.System.ProcessorCount);
    App.AntialiasResizer->SetDecimationMode(4, new TMitchellNetravali(1.0 / 3, 1.0 / 3));
    App.AntialiasResizer->SetInterpolationMode(4, new TMitchellNetravali(1.0 / 3, 1.0 / 3));
    App.AntialiasResizer->SetSIMDMode((Startup.CPUFeatures & 4) ? 3 : 1, false);
    CreateSharedFilters();
    PreviewParams.Resizer = App.MainResizer;
    PreviewParams.Antialiasing = App.AntialiasResizer;
    InitFlattenAlphaProc(Startup.CPUFeatures);
    return true;
}

void FinalizeGlobals()
{
    UnloadKodex();
    delete App.FileList;
    App.FileList = nullptr;
    delete App.ImageFileList;
    App.ImageFileList = nullptr;
    FreeFontCache(PreviewParams.FontCache);
    PreviewParams.Resizer = PreviewParams.Antialiasing = nullptr;
    delete App.MainResizer;
    App.MainResizer = nullptr;
    delete App.AntialiasResizer;
    App.AntialiasResizer = nullptr;
    FreeSharedFilters();
    delete EffectList;
    EffectList = nullptr;
    PictureTypes.ActiveSPIList = nullptr;
    App.SPIList.reset();
    App.LanguageList.clear();
}
