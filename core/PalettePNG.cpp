#include "core/PalettePNG.h"

#include "core/ErrorLog.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/Kodex.h"
#include "core/PictureMemory.h"
#include "core/RunSettings.h"
#include "core/ResourceText.h"
#include "core/SafeWrite.h"
#include "platform/Process.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

TWritePNGProc WritePNGProc = WritePNG;

uint32_t PNGKeyColor(const TImgInfo& Img, const TPNGOption& PNG)
{
    const uint32_t last = Img.Height - 1, right = 3 * (Img.Width - 1);
    switch (PNG.TransparentType) {
    case 0:
    case 2:
        return PixelColor(MemRow(Img, 0));
    case 1:
        return PixelColor(MemRow(Img, last));
    case 3:
        return PixelColor(MemRow(Img, last) + right);
    case 4:
        return PixelColor(MemRow(Img, 0) + right);
    default:
        return SwapRB(PNG.TransparentColor) & 0xFFFFFF;
    }
}

bool SavePalettePNG(const std::string& FileName, const TImgInfo& Img, const TICCInfo* ICCInfo,
                    const TResolutionInfo& Resolution, const TRunSettings& S, TWriteMode Mode)
{
    if (Img.Channels != 3 || !Img.Mem || Img.Width == 0 || Img.Height == 0)
        return false;
    TImgInfo index;
    TExactPalette pal;
    if (!MakeExactPalette(Img, PNGKeyColor(Img, S.PNG), index, pal))
        return false;
    uint8_t rgb[256 * 3];
    for (uint32_t i = 0; i < pal.Count; ++i) {
        rgb[3 * i] = pal.Colors[i][2];
        rgb[3 * i + 1] = pal.Colors[i][1];
        rgb[3 * i + 2] = pal.Colors[i][0];
    }
    int r = 0;
    try {
        r = WritePNGFile(FileName, index, ICCInfo, S.PNG.TransparentType != 0, pal.Count - 1 < 16, Resolution,
                         int32_t(pal.Count), rgb, S, Mode);
    } catch (...) {
        FreeImg(index);
        throw;
    }
    FreeImg(index);
    return r != 0;
}

int WritePNGFile(const std::string& FileName, const TImgInfo& Img, const TICCInfo* ICCInfo, bool Transparent,
                 bool FourBit, const TResolutionInfo& Resolution, int32_t PaletteCount, const uint8_t* Palette,
                 const TRunSettings& S, TWriteMode Mode)
{
    int32_t filter = S.PNG.Filter, level = S.PNG.CompressLevel;
    bool recompress = false;
    // Without the optimiser the setting waits (it stays stored) and the file
    // is written as configured.
    const bool use = S.PNG.UsePNGOUT && !PNGOUTPath().empty();
    if (Palette) {
        filter = 0;
        recompress = use;
    } else {
        recompress = use && (S.PNG.FullColorOptimization || Img.Channels == 1);
        if (recompress)
            filter = 0;
    }
    if (recompress)
        level = 1; // the optimiser does the expensive search
    if (!WritePNGProc)
        return 0;
    const int r = WritePNGProc(FileName, Img, filter, Transparent, FourBit, Resolution, PaletteCount, Palette,
                               (ICCInfo && ICCInfo->Profile) ? ICCInfo : nullptr, level, S, Mode);
    // Nothing to recompress when nothing was written.
    if (recompress && r != 0)
        RunPNGOUT(FileName, S);
    return r;
}

std::string PNGOUTPath()
{
    std::error_code ec;
    const fs::path own = fs::path(Startup.ExeDir) / "bin" / "zopflipng";
    if (!Startup.ExeDir.empty() && fs::is_regular_file(own, ec))
        return own.string();
    const char* path = std::getenv("PATH");
    std::string list = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string dir = list.substr(start, end - start);
        if (!dir.empty()) {
            const fs::path p = fs::path(dir) / "zopflipng";
            if (fs::is_regular_file(p, ec))
                return p.string();
        }
        start = end + 1;
    }
    return {};
}

void RunPNGOUT(const std::string& FileName, const TRunSettings& S)
{
    const std::string tool = PNGOUTPath();
    if (tool.empty())
        return;
    std::vector<std::string> args{tool, "-y"};
    if (S.PNG.MaximumOptimization)
        args.push_back("-m");
    // The optimiser drops every chunk not named here.
    if (S.PNG.WritepHYsChunk)
        args.push_back(S.Metadata.KeepICCProfile ? "--keepchunks=pHYs,iCCP" : "--keepchunks=pHYs");
    else if (S.Metadata.KeepICCProfile)
        args.push_back("--keepchunks=iCCP");
    // The optimiser writes a new file beside the PNG; it replaces the PNG only
    // when it is complete, so a crash or a full disk never costs the output.
    const std::string temp = MakeSiblingTempName(FileName, ".png");
    args.push_back(FileName);
    args.push_back(temp);
    // Its chatter (names of our temporary files) is no business of the
    // program's output; only a failure is told, against the file.
    // A cancelled run ends the optimiser at once; the file stays as written.
    // It may take what a picture may take, and no more.
    const int code = RunProcessAndWait(args, S.ToolCancel, true, nullptr, ToolMemoryLimit(PictureMemoryBudget()));
    std::error_code ec;
    bool done = false;
    if (code == 0 && fs::file_size(temp, ec) > 0 && !ec) {
        fs::rename(temp, FileName, ec);
        done = !ec;
    }
    fs::remove(temp, ec);
    if (!done && !(S.ToolCancel && S.ToolCancel->Cancelled()))
        ErrorLog.PutFileError(ExtractFileName(FileName),
                              LoadResText("the PNG optimiser failed; the file is kept as written") +
                                  (code > 0 ? " (exit status " + std::to_string(code) + ")" : std::string()));
}
