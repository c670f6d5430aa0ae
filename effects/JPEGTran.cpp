#include "effects/JPEGTran.h"

#include "core/Errors.h"
#include "core/Funcs.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/IniFile.h"
#include "core/JPEGCheck.h"
#include "core/JPEGProfile.h"
#include "core/PictureMemory.h"
#include "core/ResourceText.h"
#include "core/SafeWrite.h"
#include "platform/FileMap.h"
#include "platform/FileOps.h"
#include "platform/Process.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr const char SSaveFailed[] = "Failed to save file";
constexpr const char SystemJPEGTran[] = "/usr/bin/jpegtran";

// Trunc(x + 0.5), saturated so that absurd expression values cannot overflow.
int64_t Round(double X)
{
    X += 0.5;
    if (!(X > -9.0e15))
        return std::isnan(X) ? 0 : -9'000'000'000'000'000;
    if (X > 9.0e15)
        return 9'000'000'000'000'000;
    return int64_t(X);
}

double Eval(const std::string& Text, int64_t W, int64_t H)
{
    return EvaluateExpression(SubstituteWidthHeight(Text, W, H));
}

// Moves a rectangle given in the input's coordinates into the output's: the
// tool crops the transformed picture, and the user chose the region on the
// picture as it comes in.
void TransformCrop(int32_t Rotation, int64_t W, int64_t H, TJPEGTranCrop& C)
{
    const TJPEGTranCrop S = C;
    switch (Rotation) {
    case JT_ROTATE90:
        C = {H - (S.Y + S.Height), S.X, S.Height, S.Width};
        break;
    case JT_ROTATE180:
        C.X = W - (S.X + S.Width);
        C.Y = H - (S.Y + S.Height);
        break;
    case JT_ROTATE270:
        C = {S.Y, W - (S.X + S.Width), S.Height, S.Width};
        break;
    case JT_FLIPH:
        C.X = W - (S.X + S.Width);
        break;
    case JT_FLIPV:
        C.Y = H - (S.Y + S.Height);
        break;
    default:
        break;
    }
}

// Checks the source before the tool takes it and returns the memory limit
// the tool runs under. The tool copies what it reads: a damaged file is
// refused as the decoder refuses it, and a picture whose coefficients do not
// fit the budget as every other path refuses a picture too large. The tool
// holds the coefficients, a second set when it turns, flips or crops them,
// and the markers it copies (at most the file).
uint64_t CheckSource(const std::string& Path, bool Transformed)
{
    platform::TMappedFile File;
    if (!File.Open(Path))
        throw EVestroError(LoadResText(SLoadFailed));
    TJPEGFrame Frame;
    if (const std::string Why = CheckJPEGStructure(File.Data(), size_t(File.Size()), &Frame); !Why.empty())
        RaiseLoadFailed(Why);
    const uint64_t Coefficients = Frame.CoefficientBytes();
    const uint64_t Need = Transformed ? 2 * Coefficients : Coefficients;
    try {
        CheckPictureMemory(Need);
    } catch (const EVestroError& E) {
        RaiseLoadFailed(E.what());
    }
    return ToolMemoryLimit(Need + File.Size());
}

// Camera files may carry a few stray bytes between the last coded data and
// the end marker; more than that, or any other fault of the coded data, is
// damage.
constexpr unsigned kFewStrayBytes = 16;

// The first of the tool's warnings that says its picture is damaged (the
// decoder's words, as the tool uses the same decoder); empty when none does.
std::string DamageWarning(const std::string& Said)
{
    size_t From = 0;
    while (From < Said.size()) {
        size_t To = Said.find('\n', From);
        if (To == std::string::npos)
            To = Said.size();
        const std::string Line = Said.substr(From, To - From);
        From = To + 1;
        unsigned Bytes = 0;
        int End = -1; // set only when the whole pattern matched
        std::sscanf(Line.c_str(), "Corrupt JPEG data: %u extraneous bytes before marker 0xd9%n", &Bytes, &End);
        if (End == int(Line.size()) && Bytes <= kFewStrayBytes)
            continue;
        if (Line == "Premature end of JPEG file" || Line.rfind("Corrupt JPEG data", 0) == 0)
            return Line;
    }
    return std::string();
}

} // namespace

std::string FindJPEGTranPath()
{
    const std::string Own = Startup.ExeDir + "bin/jpegtran";
    if (!Startup.ExeDir.empty() && platform::FileExists(Own))
        return Own;
    if (platform::FileExists(SystemJPEGTran))
        return SystemJPEGTran;
    return {};
}

bool CalcJPEGTranCrop(int32_t Type, const std::array<std::string, 8>& Values, int64_t W, int64_t H, TJPEGTranCrop& Crop)
{
    const size_t First = H > W ? 4 : 0;
    const double A = Eval(Values[First], W, H), B = Eval(Values[First + 1], W, H);
    const double C = Eval(Values[First + 2], W, H), D = Eval(Values[First + 3], W, H);
    const double w = double(W), h = double(H);
    int64_t CW = 0, CH = 0;
    switch (Type) {
    case 0:
        CW = Round(A) + Round(C) > W ? W - Round(A) : Round(C);
        CH = Round(B) + Round(D) > H ? H - Round(B) : Round(D);
        break;
    case 1:
        CW = W - (Round(A) + Round(C));
        CH = H - (Round(B) + Round(D));
        break;
    case 2:
        CW = Round((100 - C) * w / 100) - Round(w * A / 100);
        CH = Round((100 - D) * h / 100) - Round(h * B / 100);
        break;
    case 3: {
        // A ratio with a zero side has no rectangle.
        if (A <= 0 || B <= 0)
            return false;
        const int64_t T = Round(w * B / A);
        if (H >= T) {
            CW = W;
            CH = T;
        } else {
            CW = Round(h * A / B);
            CH = H;
        }
        break;
    }
    default:
        return false;
    }
    if (CW < 1 || CH < 1)
        return false;
    CW = std::min(CW, W);
    CH = std::min(CH, H);
    int64_t X = 0, Y = 0;
    if (Type == 2) {
        X = Round(w * A / 100);
        Y = Round(h * B / 100);
    } else if (Type == 3) {
        X = Round(double(W - CW) * C / 100);
        Y = Round(double(H - CH) * D / 100);
    } else {
        X = Round(A);
        Y = Round(B);
    }
    Crop = {std::clamp<int64_t>(X, 0, W - CW), std::clamp<int64_t>(Y, 0, H - CH), CW, CH};
    return true;
}

TJPEGTran::TJPEGTran() : TEffect(LoadResText(SJPEGTran), 'L', "JPEGTran", EFFECT_JPEGTRAN)
{
}

std::vector<std::string> TJPEGTran::MakeOptions(int64_t W, int64_t H, int32_t ExifOrientation,
                                                bool& ResetOrientation) const
{
    std::vector<std::string> O{"-trim", "-copy", FRemoveExtraMarker ? "none" : "all"};
    if (FOptimize)
        O.push_back("-optimize");
    if (FProgressive)
        O.push_back("-progressive");
    if (FGrayscale)
        O.push_back("-grayscale");

    int32_t R = FRotation;
    ResetOrientation = false;
    if (R == JT_AUTO) {
        R = ExifOrientation == 6 ? JT_ROTATE90 : ExifOrientation == 8 ? JT_ROTATE270 : JT_NONE;
        ResetOrientation = R != JT_NONE && !FRemoveExtraMarker;
    }
    static const char* const Transform[][2] = {
        {"-rotate", "90"}, {"-rotate", "180"}, {"-rotate", "270"}, {"-flip", "horizontal"}, {"-flip", "vertical"}};
    if (R >= JT_ROTATE90 && R <= JT_FLIPV) {
        O.push_back(Transform[R - JT_ROTATE90][0]);
        O.push_back(Transform[R - JT_ROTATE90][1]);
    }

    TJPEGTranCrop C;
    if (FTrimming && FOwner && CalcJPEGTranCrop(FOwner->FTrimmingType, FOwner->FTrimmingValue, W, H, C) &&
        !(C.X == 0 && C.Y == 0 && C.Width == W && C.Height == H)) {
        TransformCrop(R, W, H, C);
        O.push_back("-crop");
        O.push_back(std::to_string(C.Width) + "x" + std::to_string(C.Height) + "+" + std::to_string(C.X) + "+" +
                    std::to_string(C.Y));
    }
    return O;
}

void TJPEGTran::DoEffect(TImgInfo& Img, TEffectParams& Params)
{
    const std::string Tool = Startup.JPEGTranPath.empty() ? FindJPEGTranPath() : Startup.JPEGTranPath;
    if (Tool.empty() || !platform::FileExists(Tool))
        FailTool(SToolNotFound, Tool.empty() ? std::string("jpegtran") : Tool);
    bool ResetOrientation = false;
    std::vector<std::string> Args{Tool};
    bool Transformed = false;
    for (auto& O : MakeOptions(Img.Width, Img.Height, Params.ExifOrientation, ResetOrientation)) {
        Transformed = Transformed || O == "-rotate" || O == "-flip" || O == "-crop";
        Args.push_back(std::move(O));
    }
    const uint64_t MemoryLimit = CheckSource(Params.InFileName, Transformed);

    // The tool writes the worker's new file beside the output; only a
    // complete result replaces the output, so a failing tool never leaves
    // half a file, and converting a file onto itself never reads what is
    // being written.
    const std::string& Temp = Params.ToolOutFileName;
    if (Temp.empty())
        throw EVestroError(LoadResText(SSaveFailed));
    Args.push_back("-outfile");
    Args.push_back(Temp);
    Args.push_back(Params.InFileName);
    std::string Said;
    const int Code = RunProcessAndWait(Args, Params.ToolCancel, /*Quiet=*/true, &Said, MemoryLimit);

    const bool Cancelled = (Params.ToolCancel && Params.ToolCancel->Cancelled()) || (Params.Cancel && *Params.Cancel);
    // Exit code 2 means the tool met flaws in the data and still wrote a
    // file. Damaged coded data (the picture filled with gray where it is
    // missing) fails the file as the decoder fails it: nothing is written.
    // Lesser flaws (stray bytes between markers) keep the file, but it is no
    // proof that the source may go: the worker logs it and keeps the source.
    if (!Cancelled && (Code == 0 || Code == 2)) {
        if (const std::string Damage = DamageWarning(Said); !Damage.empty()) {
            platform::DeleteFile(Temp);
            RaiseLoadFailed(Damage);
        }
    }
    const bool Ok = !Cancelled && (Code == 0 || Code == 2) && platform::FileSize(Temp) > 0;
    if (Ok && Code == 2)
        Params.Warning = LoadResText("the lossless transform reported damaged data; the source is kept");
    if (!Ok) {
        platform::DeleteFile(Temp);
        if (Cancelled)
            return;
        if (Code < 0)
            FailTool(SToolNotStarted, Tool);
        if (Code != 0 && Code != 2)
            FailTool(SToolFailed, Tool, Code, Said);
        FailTool(SToolWroteNothing, Tool, Code, Said);
    }
    // The tool copies the source's profile as it is, also over the gray
    // frame it made of a colour one.
    if (!DropContradictingJPEGProfile(Temp)) {
        platform::DeleteFile(Temp);
        throw EVestroError(LoadResText(SSaveFailed));
    }
    if (ResetOrientation)
        ResetJPEGExifOrientation(Temp);
}

void TJPEGTran::ReadIniFile(TMemIniFile& Ini)
{
    TEffect::ReadIniFile(Ini);
    FOptimize = Ini.ReadBool(FSectionName, "Optimize", true);
    FProgressive = Ini.ReadBool(FSectionName, "Progressive", false);
    FGrayscale = Ini.ReadBool(FSectionName, "Grayscale", false);
    FTrimming = Ini.ReadBool(FSectionName, "Trimming", false);
    FRemoveExtraMarker = Ini.ReadBool(FSectionName, "RemoveExtraMarker", false);
    FRotation = Ini.ReadInteger(FSectionName, "Rotation", JT_NONE);
    // A value from a newer or damaged file would index past the list.
    if (FRotation < JT_NONE || FRotation > JT_FLIPV)
        FRotation = JT_NONE;
}

void TJPEGTran::WriteIniFile(TMemIniFile& Ini)
{
    TEffect::WriteIniFile(Ini);
    Ini.WriteBool(FSectionName, "Optimize", FOptimize);
    Ini.WriteBool(FSectionName, "Progressive", FProgressive);
    Ini.WriteBool(FSectionName, "Grayscale", FGrayscale);
    Ini.WriteBool(FSectionName, "Trimming", FTrimming);
    Ini.WriteBool(FSectionName, "RemoveExtraMarker", FRemoveExtraMarker);
    Ini.WriteInteger(FSectionName, "Rotation", FRotation);
}
