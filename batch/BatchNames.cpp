// The name job: probes every input, gives out the output names and numbers,
// and the collision rules the run names by.
#include "batch/BatchJobs.h"

#include "core/ImageInfoExif.h"
#include "core/OutputFileName.h"
#include "core/ResourceText.h"
#include "platform/FileOps.h"

#include <algorithm>

TOutputNameJob::TOutputNameJob(TRunEntries Entries, TEffectList& Effects, std::string Rule, TRunSettings Settings)
    : FEntries(Entries), FEffects(Effects), FRule(std::move(Rule)), FSettings(std::move(Settings))
{
}

int TOutputNameJob::Count()
{
    if (FEntries.RunInput)
        return int(FEntries.RunInput->size());
    return FEntries.List ? FEntries.List->Count() : 0;
}

void TOutputNameJob::BeginNames()
{
    if (FEntries.RunInput && FSettings.File.AutoSortMode == 1)
        std::sort(FEntries.RunInput->begin(), FEntries.RunInput->end(),
                  [](const TImageFileInfo& A, const TImageFileInfo& B) { return A.InputFileName < B.InputFileName; });
    if (FEntries.RunInput) {
        FEntries.Probes->clear();
        FEntries.Probes->resize(size_t(Count()));
    }
    FRefused.assign(size_t(Count()), std::string());
}

std::string TOutputNameJob::Refused(int Index)
{
    return size_t(Index) < FRefused.size() ? FRefused[size_t(Index)] : std::string();
}

int32_t TOutputNameJob::ExtractStart(int32_t Current)
{
    // The rule's start token, else the running number the run was given.
    TRunSettings S = FSettings;
    S.File.ResetType = 0;
    S.File.StartNumber = Current;
    return ExtractStartNumber(FRule, S);
}

TImageInfo* TOutputNameJob::Info(int Index)
{
    if (FEntries.RunInput)
        return (*FEntries.Probes)[size_t(Index)].Info.get();
    return FEntries.List->Items(Index);
}

bool TOutputNameJob::Prepare(int Index, int64_t& Width, int64_t& Height)
{
    TImageInfo* I = nullptr;
    std::string Why;
    if (FEntries.RunInput) {
        TImageFileInfo& E = (*FEntries.RunInput)[size_t(Index)];
        E.OutPutFileName.clear();
        TEntryProbe& Probe = (*FEntries.Probes)[size_t(Index)];
        auto P = std::make_unique<TImageInfo>();
        if (!E.Named) {
            // Whatever a folder walk found that is no picture is left out.
            if (!platform::StatFile(E.InputFileName, Probe.Stat) || !GetImageInfo(E.InputFileName, *P))
                return false;
        } else if (!ProbeOrExplain(E.InputFileName, *P, Why, &Probe.Stat)) {
            FRefused[size_t(Index)] = Why;
            return false;
        }
        P->Dir = E.Dir;
        P->Base = E.Base;
        I = P.get();
        Probe.Info = std::move(P);
    } else {
        I = FEntries.List->Items(Index);
        I->OutPutFileName.clear();
        if (!I->Checked)
            return false;
        // A checked entry was asked for: losing it is a failure.
        if (I->PictureFormat == pfUnknown || !platform::FileExists(I->Path())) {
            if (!ProbeOrExplain(I->Path(), *I, Why)) {
                FRefused[size_t(Index)] = Why;
                return false;
            }
        }
    }
    Width = I->Width;
    Height = I->Height;
    if (Width < 1 || Height < 1) {
        // A picture of no pixels has nothing to convert, but was asked for.
        FRefused[size_t(Index)] = I->PictureFormat == pfJPEG && Height == 0 && Width > 0
            ? LoadResText("the JPEG's height is given by a DNL marker, which is not supported")
            : LoadResText("the picture has no pixels") + " (" + std::to_string(Width) + " x " + std::to_string(Height) +
                ")";
        return false;
    }
    return true;
}

std::string TOutputNameJob::InputPath(int Index)
{
    if (FEntries.RunInput)
        return (*FEntries.RunInput)[size_t(Index)].InputFileName;
    return FEntries.List->Items(Index)->Path();
}

std::string TOutputNameJob::MakeName(int Index, int32_t Number)
{
    TImageInfo* I = Info(Index);
    if (!I)
        return std::string();
    TScale Scale;
    FEffects.CanDownScalingLoad(*I, Scale, FSettings);
    std::string Name;
    MakeOutputFileName(FRule, *I, Number, Name, Scale, FSettings, FFolderCounts);
    return Name;
}

void TOutputNameJob::StoreName(int Index, const std::string& Name)
{
    if (FEntries.RunInput)
        (*FEntries.RunInput)[size_t(Index)].OutPutFileName = Name;
    else
        FEntries.List->Items(Index)->OutPutFileName = Name;
}

double TOutputNameJob::EstimatedCost(int Index, int64_t Width, int64_t Height)
{
    // Rough decoding work: pixels, plus the entropy-coded bytes of a JPEG
    // (three times over for progressive scans); a PNG's inflating and
    // unfiltering runs over its stored bytes (a 16-bit RGB row holds six times
    // the bytes of a palette one), reading a BMP costs far less.
    const double Pixels = double(Width) * double(Height);
    const TImageInfo* I = Info(Index);
    if (!I)
        return Pixels;
    switch (I->PictureFormat) {
    case pfJPEG:
        return Pixels + double(I->Size) * (I->Progressive ? 6.0 : 2.0);
    case pfPNG: {
        // Samples per pixel by colour type (gray, -, RGB, palette, gray+alpha, -, RGBA).
        static constexpr double Samples[7] = {1, 3, 3, 1, 2, 4, 4};
        const double Bits = I->PNGBitDepth ? I->PNGBitDepth : 8;
        const double Stored = Samples[I->PNGColorType < 7 ? I->PNGColorType : 2] * Bits / 8;
        return Pixels * (0.5 + Stored / 3); // 8-bit RGB: 1.5 per pixel
    }
    case pfBMP:
        return Pixels * 0.3;
    default:
        return Pixels;
    }
}

void TOutputNameJob::EndNames()
{
    // The probes of entries that got no output name are not needed any more;
    // the others wait for their workers.
    if (!FEntries.RunInput)
        return;
    for (size_t i = 0; i < FEntries.Probes->size(); ++i)
        if ((*FEntries.RunInput)[i].OutPutFileName.empty())
            (*FEntries.Probes)[i] = TEntryProbe();
}

TNumbering RunNumbering(TOutputNameJob& Names)
{
    TNumbering N;
    N.CurrentNumber = CurrentNumber;
    N.StartNumber = Names.Settings().File.StartNumber;
    N.ResetType = Names.Settings().File.ResetType;
    N.ExtractStartNumber = [&Names](int32_t Current) { return Names.ExtractStart(Current); };
    return N;
}

void StoreNextNumber(const TNamePhaseResult& R, int32_t& Current, int32_t& StartNumber)
{
    if (!R.Numbered)
        return;
    Current = R.NextNumber;
    if (R.NextIsStart)
        StartNumber = R.NextNumber;
}

TCollisionRules RunCollisionRules(const TRunSettings& S)
{
    return TCollisionRules{S.File.NotOverwrite, S.File.Skip, S.File.IgnoreReadOnlyAttr};
}
