#include "effects/DecreaseColor.h"

#include "core/AlphaBlend.h"
#include "core/Bitmap.h"
#include "core/ErrorLog.h"
#include "core/Errors.h"
#include "core/Global.h"
#include "core/Grayscale.h"
#include "core/ImageLoader.h"
#include "core/IniFile.h"
#include "core/Kodex.h"
#include "core/PalettePNG.h"
#include "core/PictureMemory.h"
#include "core/ResourceText.h"
#include "core/SafeWrite.h"
#include "platform/FileOps.h"
#include "platform/FileTimes.h"
#include "platform/Process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

constexpr const char SSaveFailed[] = "Failed to save file";
constexpr const char SystemQuantiser[] = "/usr/bin/pngquant";

// A work file may still be held open by a tool that is just ending: up to 21
// tries 50 ms apart (about a second), then it is left.
void DeleteWithRetries(const std::string& Path)
{
    for (int I = 0; I <= 20; ++I) {
        if (platform::DeleteFile(Path) || !platform::PathExists(Path))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::string WorkFolder()
{
    if (!Startup.TempDir.empty())
        return Startup.TempDir;
    std::string T = std::filesystem::temp_directory_path().string();
    if (T.empty() || T.back() != '/')
        T += '/';
    return T;
}

// A work file or output that could not be written: one line with the reason
// the writers gave (kept from the log) or the system's.
[[noreturn]] void FailWrite(const std::string& Path, const TErrorCapture& Said, int Errno)
{
    std::string Why = Said.Text();
    if (Why.empty())
        Why = Errno ? std::strerror(Errno) : LoadResText(SSaveFailed);
    throw EVestroError(LoadResText("cannot write") + " " + Path + ": " + Why);
}

// Removes a work file however DoEffect ends.
struct TWorkFile {
    std::string Path;
    ~TWorkFile()
    {
        if (!Path.empty())
            DeleteWithRetries(Path);
    }
};

// Flattens alpha onto the run's background: what the palette tools were
// handed (the loader does this already unless a later effect added alpha).
void DropAlpha(TImgInfo& Img, const TBGColor& Background)
{
    if (Img.Channels != 2 && Img.Channels != 4)
        return;
    TImgInfo Flat;
    AllocImg(Flat, Img.Width, Img.Height, Img.Channels == 4 ? 3 : 1);
    if (Img.Channels == 4)
        FlattenAlpha(Flat, Img, Background);
    else
        FlattenGrayAlpha(Flat, Img, Background);
    FreeImg(Img);
    Img = Flat;
}

} // namespace

std::string FindQuantiserPath()
{
    const std::string Own = Startup.ExeDir + "bin/pngquant";
    if (!Startup.ExeDir.empty() && platform::FileExists(Own))
        return Own;
    if (platform::FileExists(SystemQuantiser))
        return SystemQuantiser;
    return {};
}

TDecreaseColorEffect::TDecreaseColorEffect()
    : TEffect(LoadResText(SDecreaseColor), 'D', "DecreaseColor", EFFECT_DECREASECOLOR)
{
}

void TDecreaseColorEffect::UpdateLoaderFlag() const
{
    // pngnqi's stand-in keeps alpha; the two palette tools did not.
    Settings.ColorReductionDropsAlpha = FUse && FMode != 3;
}

void TDecreaseColorEffect::SetUse(bool Value)
{
    TEffect::SetUse(Value && FMode != 0);
    UpdateLoaderFlag();
}

void TDecreaseColorEffect::ShowConfigDialog()
{
    if (ShowEffectDialog(*this))
        UpdateLoaderFlag();
}

void TDecreaseColorEffect::ReadIniFile(TMemIniFile& Ini)
{
    TEffect::ReadIniFile(Ini);
    const std::string& S = FSectionName;
    FOption = Ini.ReadString(S, "Option", "-Y10 -C10 -G10 -O8 -I8");
    FMode = Ini.ReadInteger(S, "Mode", 0);
    // Values outside their ranges would reach the tool's command line.
    FPaletteEntries = std::clamp(Ini.ReadInteger(S, "PaletteEntries", 256), 2, 256);
    FTransparentType = std::clamp(Ini.ReadInteger(S, "TransparentType", 0), 0, 4);
    FDitherType = std::clamp(Ini.ReadInteger(S, "DitherType", 2), 0, 4);
    FDitherStr = std::clamp(Ini.ReadInteger(S, "DitherStr", 8), 0, 10);
    FQuality = std::clamp(Ini.ReadInteger(S, "Quality", 9), 1, 10);

    // The quantiser stands in for IZYINS and pngnqi; FLAXC has no build here.
    FFlags = FindQuantiserPath().empty() ? 0u : uint32_t(DC_IZYINS | DC_PNGNQ);
    if (FMode > 0 && (FMode > 3 || !(FFlags & (1u << (FMode - 1)))))
        FMode = 0;
    if (FMode == 0)
        FMode = (FFlags & DC_FLAXC) ? 1 : (FFlags & DC_IZYINS) ? 2 : (FFlags & DC_PNGNQ) ? 3 : 0;
    if (FMode == 0)
        FUse = false;
    UpdateLoaderFlag();
}

void TDecreaseColorEffect::WriteIniFile(TMemIniFile& Ini)
{
    TEffect::WriteIniFile(Ini);
    const std::string& S = FSectionName;
    Ini.WriteString(S, "Option", FOption);
    Ini.WriteInteger(S, "Mode", FMode);
    Ini.WriteInteger(S, "PaletteEntries", FPaletteEntries);
    Ini.WriteInteger(S, "TransparentType", FTransparentType);
    Ini.WriteInteger(S, "DitherType", FDitherType);
    Ini.WriteInteger(S, "DitherStr", FDitherStr);
    Ini.WriteInteger(S, "Quality", FQuality);
}

void TDecreaseColorEffect::DoEffect(TImgInfo& Img, TEffectParams& Params)
{
    // FLAXC and IZYINS wrote BMP and PNG, pngnqi PNG only; JPEG has no palette.
    const int32_t Format = FormatIdFromExt(Params.OutFileName);
    const bool PaletteTool = FMode == 1 || FMode == 2;
    if (!Img.Mem || (FMode != 3 && !PaletteTool) || !(Format == ofPNG || (Format == ofBMP && PaletteTool)))
        return;
    const std::string Tool = FindQuantiserPath();
    if (Tool.empty())
        FailTool(SToolNotFound, "pngquant");
    YCbCrToBGRInPlace(Img, Params.IsYCbCr);
    if (PaletteTool)
        DropAlpha(Img, Params.Settings.Background);
    else if (Img.Channels == 2)
        GrayAlphaToBGRA(Img);

    const std::string& Out = Params.ToolOutFileName;

    // Work files per worker, under names no other run of the program uses.
    const std::string Base = WorkFolder() + "srcpng" + std::to_string(Params.ThreadNum);
    TWorkFile Src{MakeSiblingTempName(Base + ".png", ".png")};
    TWorkFile Result{MakeSiblingTempName(Base + "-nq8.png", ".png")};
    TWorkFile PaletteBmp, PalettePng;
    {
        TErrorCapture Said;
        errno = 0;
        if (WritePNG(Src.Path, Img, 0, false, false, Params.RInfo, 0, nullptr, Params.ICCInfo, 1, Params.Settings) == 0)
            FailWrite(Src.Path, Said, errno);
    }

    std::vector<std::string> Args{Tool, "--force"};
    if (PaletteTool) {
        // Strength 0..10 is the share of the quantisation error passed on.
        const std::string Strength = FDitherStr >= 10 ? "1" : "0." + std::to_string(std::max(FDitherStr, 0));
        Args.push_back(FDitherType == 0 ? "--nofs" : "--floyd=" + Strength);
    } else {
        Args.insert(Args.end(), {"--speed", std::to_string(11 - FQuality), FDitherType == 0 ? "--nofs" : "--floyd=1"});
    }
    Args.insert(Args.end(), {"--output", Result.Path, std::to_string(FPaletteEntries), "--", Src.Path});
    // What the tool says is its reason when it fails, never lines of our own log.
    // It may take what a picture may take, and no more.
    std::string Said;
    const int Code =
        RunProcessAndWait(Args, Params.ToolCancel, /*Quiet=*/true, &Said, ToolMemoryLimit(PictureMemoryBudget()));
    if ((Params.ToolCancel && Params.ToolCancel->Cancelled()) || (Params.Cancel && *Params.Cancel)) {
        Params.DecreaseColor = true;
        return;
    }
    if (Code < 0)
        FailTool(SToolNotStarted, Tool);
    if (Code != 0)
        FailTool(SToolFailed, Tool, Code, Said);
    if (platform::FileSize(Result.Path) <= 0)
        FailTool(SToolWroteNothing, Tool, Code, Said);

    // The tool's file must be a whole picture of the right size before it
    // may replace anything.
    struct TOwnedImg {
        TImgInfo I;
        ~TOwnedImg() { FreeImg(I); }
    } Check;
    uint32_t Flags = PaletteTool ? 1 : 0; // the palette tools knew no alpha
    TBGColor BG = Params.Settings.Background;
    if (ReadPNGFile(Result.Path, Check.I, Flags, nullptr, BG) == 0 || Check.I.Width != Img.Width ||
        Check.I.Height != Img.Height)
        throw EVestroError(LoadResText(SSaveFailed));

    std::string Final = Result.Path;
    if (PaletteTool) {
        // The reduced picture as the tools gave it: an 8-bit palette BMP.
        ExpandGrayToRGB(Check.I); // a gray picture as BGR, for the palette writer
        PaletteBmp.Path =
            MakeSiblingTempName(WorkFolder() + "destbmp" + std::to_string(Params.ThreadNum) + ".bmp", ".bmp");
        TErrorCapture Said;
        errno = 0;
        if (!SavePaletteBitmap(PaletteBmp.Path, Check.I, Params.RInfo, Params.Settings, 8))
            FailWrite(PaletteBmp.Path, Said, errno);
        Final = PaletteBmp.Path;
        if (Format == ofPNG) {
            PalettePng.Path = MakeSiblingTempName(Base + "-pal.png", ".png");
            LoadPaletteBitmapFile(PaletteBmp.Path, PalettePng.Path, FPaletteEntries, Params.RInfo, Params.ICCInfo,
                                  FTransparentType, Params.Settings);
            Final = PalettePng.Path;
        }
    }

    // The temporary folder may be on another file system: the result is
    // copied straight into the worker's new name beside the output (never
    // over an existing file), which the worker moves into place.
    if (Out.empty())
        throw EVestroError(LoadResText(SSaveFailed));
    std::error_code Ec;
    if (!std::filesystem::copy_file(Final, Out, Ec)) {
        if (Ec != std::errc::file_exists)
            platform::DeleteFile(Out); // a part-written copy is ours
        throw EVestroError(LoadResText("cannot write") + " " + Out + ": " + Ec.message());
    }
    if (Format == ofPNG && Params.Settings.PNG.UsePNGOUT)
        RunPNGOUT(Out, Params.Settings);
    Params.DecreaseColor = true;
}
