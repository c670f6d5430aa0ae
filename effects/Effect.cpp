#include "effects/Effect.h"

#include "core/ColorCorrectionFunc.h"
#include "core/Errors.h"
#include "core/Global.h"
#include "core/Grayscale.h"
#include "core/ImageLoader.h"
#include "core/IniFile.h"
#include "core/OutputFileName.h"
#include "core/ResourceText.h"
#include "effects/ResizeFilter.h"

#include <cstdio>
#include "platform/FileOps.h"

#include <algorithm>
#include <map>

TEffectHost* EffectHost = nullptr;
TEffectList* EffectList = nullptr;
TEffectParams PreviewParams;

TEffect::TEffect(std::string Name, char Accelerator, std::string SectionName, uint32_t ID)
    : FName(std::move(Name)), FAccelerator(Accelerator), FSectionName(std::move(SectionName)), FID(ID)
{
}

void TEffect::SetUse(bool Value)
{
    FUse = Value;
}

namespace {

std::map<uint32_t, TEffectDialog>& EffectDialogs()
{
    static std::map<uint32_t, TEffectDialog> Dialogs;
    return Dialogs;
}

} // namespace

void SetEffectDialog(uint32_t ID, TEffectDialog Dialog)
{
    if (Dialog)
        EffectDialogs()[ID] = std::move(Dialog);
    else
        EffectDialogs().erase(ID);
}

bool ShowEffectDialog(TEffect& Effect)
{
    auto It = EffectDialogs().find(Effect.FID);
    if (It == EffectDialogs().end())
        return false;
    // A copy: the dialog may set another one while it runs.
    TEffectDialog Dialog = It->second;
    return Dialog(Effect);
}

void TEffect::ShowConfigDialog()
{
    ShowEffectDialog(*this);
}

bool TEffect::IsChange(const TImageInfo&, const TRunSettings&)
{
    return FUse;
}

TEffectList::TEffectList() = default;

// Items first, then the two held beside them (the order start-up relies on
// when effects share process-wide objects).
TEffectList::~TEffectList()
{
    FItems.clear();
    FJPEGTranEffect.reset();
    FDecreaseColorEffect.reset();
}

std::unique_ptr<TEffectList> TEffectList::Clone() const
{
    auto C = std::make_unique<TEffectList>();
    for (const auto& E : FItems)
        C->AddFilter(E->Clone());
    if (FJPEGTranEffect)
        C->SetJPEGTranEffect(FJPEGTranEffect->Clone());
    if (FDecreaseColorEffect)
        C->SetDecreaseColorEffect(FDecreaseColorEffect->Clone());
    C->FResizeType = FResizeType;
    C->FResizeValue = FResizeValue;
    C->FResizeValue2 = FResizeValue2;
    C->FExifRotationUse = FExifRotationUse;
    C->FConvertToGray = FConvertToGray;
    C->FTrimmingType = FTrimmingType;
    C->FTrimmingValue = FTrimmingValue;
    C->FUseJPEGTran = FUseJPEGTran;
    return C;
}

void TEffectList::AddFilter(std::unique_ptr<TEffect> E)
{
    E->FOwner = this;
    FItems.push_back(std::move(E));
}

void TEffectList::SetJPEGTranEffect(std::unique_ptr<TEffect> E)
{
    if (E)
        E->FOwner = this;
    FJPEGTranEffect = std::move(E);
}

void TEffectList::SetDecreaseColorEffect(std::unique_ptr<TEffect> E)
{
    if (E)
        E->FOwner = this;
    FDecreaseColorEffect = std::move(E);
}

int TEffectList::IndexOf(const std::string& Name) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i]->FName == Name)
            return int(i);
    return -1;
}

TEffect* TEffectList::FindByID(uint32_t ID) const
{
    for (const auto& E : FItems)
        if (E->FID == ID)
            return E.get();
    return nullptr;
}

int TEffectList::PositionOf(const TEffect* E) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == E)
            return int(i);
    return -1;
}

bool TEffectList::IsChange(const TImageInfo& Info, const TRunSettings& S) const
{
    for (const auto& E : FItems)
        if (E->IsChange(Info, S))
            return true;
    return FDecreaseColorEffect && FDecreaseColorEffect->IsChange(Info, S);
}

bool TEffectList::IsUse() const
{
    for (const auto& E : FItems)
        if (E->FUse)
            return true;
    return FDecreaseColorEffect && FDecreaseColorEffect->FUse;
}

void TEffectList::SetResizeParam(int32_t Type, double Value, double Value2)
{
    FResizeType = Type;
    FResizeValue = Value;
    FResizeValue2 = Value2;
}

void TEffectList::ChangeState(int Index, bool State)
{
    if (Index >= 0 && Index < Count())
        FItems[size_t(Index)]->SetUse(State);
    else if (Index >= Count() && FDecreaseColorEffect)
        FDecreaseColorEffect->SetUse(State);
}

void TEffectList::ShowConfigDialog(int Index)
{
    if (Index >= 0 && Index < Count())
        FItems[size_t(Index)]->ShowConfigDialog();
    else if (Index >= Count() && FDecreaseColorEffect)
        FDecreaseColorEffect->ShowConfigDialog();
}

void TEffectList::SortByOrder()
{
    std::stable_sort(FItems.begin(), FItems.end(), [](const auto& A, const auto& B) { return A->FOrder < B->FOrder; });
}

void TEffectList::SetOrder(const std::vector<int32_t>& Orders)
{
    if (Orders.size() != FItems.size())
        return;
    for (size_t i = 0; i < FItems.size(); ++i)
        FItems[i]->FOrder = Orders[i];
    SortByOrder();
    UpDateMenu();
}

void TEffectList::Exchange(int Index1, int Index2)
{
    std::swap(FItems.at(size_t(Index1)), FItems.at(size_t(Index2)));
}

void TEffectList::ReOrder()
{
    for (size_t i = 0; i < FItems.size(); ++i)
        FItems[i]->FOrder = int32_t(i);
}

void TEffectList::LoadExternalImage()
{
    if (TEffect* E = FindByID(EFFECT_COMPOSITE); E && E->FUse)
        E->LoadExternalImage();
}

void TEffectList::UpDateMenu()
{
    // The lossless transform cannot be offered without its tool.
    if (FJPEGTranEffect && !platform::FileExists(Startup.JPEGTranPath))
        FJPEGTranEffect->FUse = false;
    if (EffectHost)
        EffectHost->UpdateEffectStrip(*this);
}

void TEffect::ReadIniFile(TMemIniFile& Ini)
{
    FUse = Ini.ReadBool(FSectionName, "Use", FUse);
    FOrder = Ini.ReadInteger(FSectionName, "Order", FOwner ? FOwner->PositionOf(this) : -1);
}

void TEffect::WriteIniFile(TMemIniFile& Ini)
{
    Ini.WriteBool(FSectionName, "Use", FUse);
    Ini.WriteInteger(FSectionName, "Order", FOrder);
}

void TEffectList::ReadIniFile(TMemIniFile& Ini)
{
    for (const auto& E : FItems)
        E->ReadIniFile(Ini);
    SortByOrder();
    if (FJPEGTranEffect)
        FJPEGTranEffect->ReadIniFile(Ini);
    if (FDecreaseColorEffect)
        FDecreaseColorEffect->ReadIniFile(Ini);
}

void TEffectList::WriteIniFile(TMemIniFile& Ini)
{
    for (const auto& E : FItems)
        E->WriteIniFile(Ini);
    if (FJPEGTranEffect)
        FJPEGTranEffect->WriteIniFile(Ini);
    if (FDecreaseColorEffect)
        FDecreaseColorEffect->WriteIniFile(Ini);
}

void ConvertChainGrayAlpha(TImgInfo& Img)
{
    // Only a picture with alpha has a gray+alpha form; a 3-channel picture
    // (a later effect dropped the alpha) stays as it is.
    if (Img.Channels == 4 && Img.Mem)
        ConvertToGrayAlpha(Img);
}

void YCbCrToBGRInPlace(TImgInfo& Img, bool& IsYCbCr)
{
    if (!IsYCbCr)
        return;
    if (Img.Channels == 3)
        YCbCrToRGB3(Img);
    else if (Img.Channels == 4)
        YCbCrToRGB4(Img);
    IsYCbCr = false;
}

namespace {

void Preamble(const TImageInfo& Info, int32_t Scale, TEffectParams& Params)
{
    Params.ToGrayAlpha = false;
    Params.ExifOrientation = Info.Orientation();
    Params.DownScale = Scale;
    Params.InFileName = Info.Path();
    Params.OutFileName = Info.OutPutFileName;
    Params.DecreaseColor = false;
    Params.Number = Info.Number;
}

} // namespace

void TEffectList::DoEffect(TImgInfo& Img, const TImageInfo& Info, int32_t Scale, TEffectParams& Params)
{
    Preamble(Info, Scale, Params);
    if (FJPEGTranEffect && FJPEGTranEffect->FUse) {
        // Works file to file; nothing else runs on such a run.
        FJPEGTranEffect->DoEffect(Img, Params);
        return;
    }
    for (const auto& E : FItems)
        if (E->FUse)
            E->DoEffect(Img, Params);
    if (Params.ToGrayAlpha || Params.NeedGrayAlpha)
        ConvertChainGrayAlpha(Img);
    if (FDecreaseColorEffect && FDecreaseColorEffect->FUse && !Params.Preview)
        FDecreaseColorEffect->DoEffect(Img, Params);
    Params.DownScale = 1;
    Params.NeedGrayAlpha = false;
}

const TResizeFilter* TEffectList::SoleResize(const TImageInfo& Info, const TRunSettings& S) const
{
    if ((FJPEGTranEffect && FJPEGTranEffect->FUse) || (FDecreaseColorEffect && FDecreaseColorEffect->FUse))
        return nullptr;
    const TResizeFilter* found = nullptr;
    for (const auto& E : FItems) {
        if (E->FID == EFFECT_RESIZE) {
            found = E->FUse ? dynamic_cast<const TResizeFilter*>(E.get()) : nullptr;
            if (!found)
                return nullptr;
        } else if (E->FUse && E->IsChange(Info, S)) {
            return nullptr;
        }
    }
    return found;
}

void TEffectList::ResizedOutside(const TImageInfo& Info, TEffectParams& Params)
{
    Preamble(Info, 1, Params);
    Params.DownScale = 1;
    Params.NeedGrayAlpha = false;
}

void TEffectList::GetBeforeImage(uint32_t EffectID, TImgInfo& Img, const TImageInfo& Info, int32_t Scale,
                                 TEffectParams& Params)
{
    Preamble(Info, Scale, Params);
    for (const auto& E : FItems) {
        if (E->FID == EffectID)
            break;
        if (E->FUse)
            E->DoEffect(Img, Params);
    }
    Params.DownScale = 1;
    Params.NeedGrayAlpha = false;
}

bool TEffectList::CanDownScalingLoad(const TImageInfo& Info, TScale& Scale, const TRunSettings& Settings) const
{
    Scale = TScale();
    for (const auto& E : FItems) {
        if (E->FID == EFFECT_RESIZE) {
            if (!E->FUse)
                return false;
            TSize S{Info.Width, Info.Height};
            if (const auto* R = dynamic_cast<const TResizeFilter*>(E.get()))
                R->GetNewSize(S, 1, Settings.Resize.NoExpand);
            if (Info.Width > 0 && Info.Height > 0) {
                Scale.XScale = double(S.cx) / double(Info.Width);
                Scale.YScale = double(S.cy) / double(Info.Height);
            }
            return true;
        }
        if (E->IsChange(Info, Settings))
            return false;
    }
    return false;
}

bool LoadBeforeImage(TImageInfo& Info, TImgInfo& Img, uint32_t EffectID, int32_t Number)
{
    if (!EffectList)
        return false;
    if (Info.PictureFormat == pfUnknown && !GetImageInfo(Info.Path(), Info))
        return false;
    // The preview is a run of one picture: it follows the settings as they
    // are now, and so do the effect dialogs' later repaints of it.
    PreviewParams.Settings = TakeRunSettings();
    const TRunSettings& S = PreviewParams.Settings;
    if (EffectHost) {
        EffectHost->PushSizeRule();
        EffectHost->SetResizeFilters(S.Resize.DecimationMode, S.Resize.InterpolationMode, S.Resize.SIMDMode);
    }
    // Outside runs and previews the shared resizer shrinks with the area
    // average; a load or an effect that raises must not leave the batch
    // filter in place.
    struct TRestoreFilters {
        ~TRestoreFilters()
        {
            if (EffectHost)
                EffectHost->SetResizeFilters(1, 0, 0);
        }
    } Restore;

    std::string Rule = EffectHost ? EffectHost->RenameRule() : S.File.FileNameFormat;
    TScale Scale;
    EffectList->CanDownScalingLoad(Info, Scale, S);
    Info.Number = Number;
    const int32_t N = Number + ExtractStartNumber(Rule, S);
    MakeOutputFileName(Rule, Info, N, Info.OutPutFileName, Scale, S);
    const int32_t OutFmt = FormatIdFromExt(Info.OutPutFileName);
    ClearFolderFileCounts();

    struct TOwned {
        TImgInfo I;
        ~TOwned() { FreeImg(I); }
    } Loaded;
    bool IsYCbCr = false;
    uint32_t Flags = 0;
    const int32_t R = LoadImageByType(Info, Loaded.I, TScale(), false, nullptr, IsYCbCr, Flags, OutFmt, S);
    if (R == 0 || !Loaded.I.Mem)
        throw EVestroError(LoadResText(SLoadFailed));
    PreviewParams.IsYCbCr = IsYCbCr;
    if (OutFmt == ofPNG && (Flags & lfGrayAlpha))
        PreviewParams.NeedGrayAlpha = true;
    PreviewParams.Time = Info.DateTimeOriginal != 0 ? Info.DateTimeOriginal : Info.DateTimeLastWrite;
    EffectList->LoadExternalImage();
    EffectList->GetBeforeImage(EffectID, Loaded.I, Info, R, PreviewParams);
    YCbCrToBGRInPlace(Loaded.I, PreviewParams.IsYCbCr);
    Img = Loaded.I;
    Loaded.I = TImgInfo();
    return true;
}

namespace {

// The tool's last line of output: its own reason when it failed. Control
// characters are dropped and a long line is cut, so that the log keeps one
// line per file.
std::string LastLine(const std::string& Said)
{
    size_t End = Said.find_last_not_of(" \t\r\n");
    if (End == std::string::npos)
        return {};
    const size_t Start = Said.find_last_of('\n', End);
    std::string Line;
    for (size_t i = Start == std::string::npos ? 0 : Start + 1; i <= End && Line.size() < 300; ++i)
        if ((unsigned char)Said[i] >= 0x20)
            Line += Said[i];
    return Line;
}

} // namespace

void FailTool(const char* Format, const std::string& Tool, int Code, const std::string& Said)
{
    const size_t Slash = Tool.find_last_of('/');
    const std::string Name = Slash == std::string::npos ? Tool : Tool.substr(Slash + 1);
    char Buf[512];
    std::snprintf(Buf, sizeof Buf, LoadResText(Format).c_str(), Name.c_str(), Code);
    std::string Why = LoadResText("Failed to save file") + ": " + Buf;
    if (const std::string Line = LastLine(Said); !Line.empty())
        Why += ": " + Line;
    throw EVestroError(Why);
}
