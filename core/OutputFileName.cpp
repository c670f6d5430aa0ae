#include "core/OutputFileName.h"
#include "core/RunSettings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/Global.h"
#include "platform/LocaleFormat.h"

int32_t CurrentNumber = 1;
TFolderFileCounts& FolderFileCounts()
{
    static TFolderFileCounts Counts;
    return Counts;
}

namespace {

// Shared by both expanders. The file-name expander looks at the first 18 only.
const char* const TokenNames[] = {
    "old", "ext",  "ymd",  "ymdhns", "dir", "resizemode", "yyyy", "yy",  "mm",      "dd",      "n",
    "c",   "pdir", "base", "ymdhn",  "hh",  "nn",         "ss",   "new", "oldname", "newname",
};
constexpr int FileNameTokenCount = 18;
constexpr int TextTokenCount = 21;

int FindToken(const std::string& Name, int Count)
{
    for (int I = 0; I < Count; ++I)
        if (Name == TokenNames[I])
            return I;
    return -1;
}

std::string ReplaceAll(std::string S, const std::string& From, const std::string& To)
{
    for (size_t P = S.find(From); P != std::string::npos; P = S.find(From, P + To.size()))
        S.replace(P, From.size(), To);
    return S;
}

// Like ReplaceAll, but From is matched without regard to ASCII letter case.
std::string ReplaceAllNoCase(const std::string& S, const std::string& From, const std::string& To)
{
    const std::string Lower = AsciiLower(S), LowerFrom = AsciiLower(From);
    std::string R;
    size_t Last = 0;
    for (size_t P = Lower.find(LowerFrom); P != std::string::npos; P = Lower.find(LowerFrom, Last)) {
        R.append(S, Last, P - Last);
        R += To;
        Last = P + From.size();
    }
    R.append(S, Last, std::string::npos);
    return R;
}

std::string Padded(int32_t Value, int Digits)
{
    char Buf[32];
    std::snprintf(Buf, sizeof Buf, "%.*d", Digits, Value);
    return Buf;
}

struct TDateParts {
    int32_t Y, M, D, H, N, S;
};

TDateParts Decode(TDateTime Date)
{
    TDateParts P;
    DecodeDateTime(Date, P.Y, P.M, P.D, P.H, P.N, P.S);
    return P;
}

// One date pattern made of the parts yyyy, yy, mm, dd, hh, nn, ss; every other
// character is copied.
std::string FormatDate(const TDateParts& P, const std::string& Pattern)
{
    std::string R;
    for (size_t I = 0; I < Pattern.size();) {
        auto At = [&](const char* T) { return Pattern.compare(I, std::char_traits<char>::length(T), T) == 0; };
        if (At("yyyy")) {
            R += Padded(P.Y, 4);
            I += 4;
        } else if (At("yy")) {
            R += Padded(P.Y % 100, 2);
            I += 2;
        } else if (At("mm")) {
            R += Padded(P.M, 2);
            I += 2;
        } else if (At("dd")) {
            R += Padded(P.D, 2);
            I += 2;
        } else if (At("hh")) {
            R += Padded(P.H, 2);
            I += 2;
        } else if (At("nn")) {
            R += Padded(P.N, 2);
            I += 2;
        } else if (At("ss")) {
            R += Padded(P.S, 2);
            I += 2;
        } else
            R += Pattern[I++];
    }
    return R;
}

// Extension written for an input whose rule names no output extension. A
// ConvertTo outside the formats the writers know (0 "???", 4 ".gif", or any
// stray value from a settings file) counts as the record's default. Renaming
// converts nothing, so a renamed file keeps its own kind of extension: one of
// the converted format would mislabel its unchanged bytes.
std::string AppendedExt(const TImageInfo& Info, const TRunSettings& S)
{
    if (S.RunMode == 3 || S.File.RenameOnly) {
        return AsciiLower(ExtractFileExt(Info.Path()));
    }
    if (S.RunMode == 1)
        return ".jpg";
    const int32_t PictureFormat = Info.PictureFormat;
    auto Pick = [](int32_t ConvertTo, int32_t Default) {
        return OutputExt[(ConvertTo >= 1 && ConvertTo <= 3) ? ConvertTo : Default];
    };
    switch (PictureFormat) {
    case pfBMP:
        return Pick(S.Bitmap.ConvertTo, 1);
    case pfJPEG:
        return Pick(S.JPEG.ConvertTo, 2);
    case pfPNG:
        return Pick(S.PNG.ConvertTo, 3);
    case pfWIC:
        return Pick(S.WIC.ConvertTo, 2);
    default:
        return Pick(S.SPI.SPITo, 3);
    }
}

std::string WithoutTrailingSlash(std::string S)
{
    while (S.size() > 1 && S.back() == '/')
        S.pop_back();
    return S;
}

} // namespace

void ClearFolderFileCounts()
{
    FolderFileCounts().clear();
}

int32_t ExtractStartNumber(std::string& Rule)
{
    return ExtractStartNumber(Rule, TakeRunSettings());
}

int32_t ExtractStartNumber(std::string& Rule, const TRunSettings& S)
{
    // Hide the seconds token so that its "<s" is not read as a start value.
    Rule = ReplaceAll(Rule, "<ss>", "<SS>");
    int32_t Start = S.File.ResetType == 0 ? S.File.StartNumber : CurrentNumber;
    for (size_t P = Rule.find("<s"); P != std::string::npos; P = Rule.find("<s")) {
        size_t Close = Rule.find('>', P + 2);
        std::string Text = Rule.substr(P + 2, Close == std::string::npos ? std::string::npos : Close - P - 2);
        char* End = nullptr;
        long V = Text.empty() ? 0 : std::strtol(Text.c_str(), &End, 10);
        Start = (!Text.empty() && *End == 0 && V >= INT32_MIN && V <= INT32_MAX) ? int32_t(V) : 1;
        Rule.erase(P, Close == std::string::npos ? std::string::npos : Close - P + 1);
    }
    Rule = ReplaceAll(Rule, "<SS>", "<ss>");
    return Start;
}

int32_t NextFolderFileCount(const std::string& Folder)
{
    return NextFolderFileCount(Folder, FolderFileCounts());
}

int32_t NextFolderFileCount(const std::string& Folder, TFolderFileCounts& Counts)
{
    auto It = Counts.find(Folder);
    if (It != Counts.end())
        return ++It->second;
    int32_t Count = 1;
    std::error_code Ec;
    for (std::filesystem::directory_iterator D(Folder.empty() ? "." : Folder, Ec), End; !Ec && D != End;
         D.increment(Ec)) {
        // Plain files only: folders and hidden (dot) files are not counted.
        const std::string Name = D->path().filename().string();
        std::error_code Ec2;
        if (!Name.empty() && Name[0] != '.' && D->is_regular_file(Ec2))
            ++Count;
    }
    Counts[Folder] = Count;
    return Count;
}

void ResizeModeText(const TImageInfo&, const TScale& Scale, std::string& S, const TResizeOption& R)
{
    static const char* const FilterNames[] = {"Average",  "Lanczos",  "Bilinear", "Bicubic",        "BlackmanSinc",
                                              "Spline16", "Spline36", "Gaussian", "NearestNeighbor"};
    const std::string Suffix1 = R.SIMDMode == 2 ? "_float" : "_int";
    const std::string Suffix2 = R.Degamma ? "_degamma" : "";
    if (Scale.XScale == 1.0 && Scale.YScale == 1.0) {
        S = "None" + Suffix1 + Suffix2;
        return;
    }
    const bool Enlarge = Scale.XScale > 1 || (Scale.XScale == 1 && Scale.YScale > 1);
    const int32_t Mode = Enlarge ? R.InterpolationMode : R.DecimationMode;
    const int32_t Radius = Enlarge ? R.InterpolationRadius : R.DecimationRadius;
    const int32_t Sharp = Enlarge ? R.InterpolationSharp : R.DecimationSharp;
    const int32_t Blur = Enlarge ? R.InterpolationBlur : R.DecimationBlur;
    S.clear();
    if (Mode >= 1 && Mode <= 9) {
        S = FilterNames[Mode - 1];
        // Lanczos and BlackmanSinc carry their radius, Bicubic its sharpness, Gaussian its blur.
        if (Mode == 2 || Mode == 5)
            S += std::to_string(Radius);
        else if (Mode == 4)
            S += std::to_string(Sharp);
        else if (Mode == 8)
            S += std::to_string(Blur);
    }
    S += Suffix1 + Suffix2;
}

bool HasControlCharacter(std::string_view S)
{
    return std::any_of(S.begin(), S.end(), [](unsigned char C) { return C < 0x20 || C == 0x7F; });
}

void MakeOutputFileName(const std::string& Rule, const TImageInfo& Info, int32_t Number, std::string& OutName,
                        const TScale& Scale, const TRunSettings& Settings)
{
    MakeOutputFileName(Rule, Info, Number, OutName, Scale, Settings, FolderFileCounts());
}

void MakeOutputFileName(const std::string& RuleIn, const TImageInfo& Info, int32_t Number, std::string& OutName,
                        const TScale& Scale, const TRunSettings& Settings, TFolderFileCounts& Counts)
{
    OutName.clear();
    if (HasControlCharacter(RuleIn))
        return;
    std::string Rule = ReplaceAll(RuleIn, "\\", "/");

    std::string Ext = AsciiLower(ExtractFileExt(Rule));
    if (Ext == ".<ext>")
        Ext = "." + AsciiLower(Info.Ext());

    // An absolute rule, or one built on the base folder, already says where.
    if (!(Rule.starts_with("/") || Rule.find("<base>") != std::string::npos)) {
        if (Settings.File.SameDirectory) {
            Rule = ExtractFilePath(Info.Path()) + Rule;
        } else {
            if (HasControlCharacter(Settings.File.OutputDirectory))
                return;
            std::string Out = ReplaceAll(Settings.File.OutputDirectory, "\\", "/");
            if (!Out.empty() && Out.back() != '/')
                Out += '/';
            Rule = Out + Rule;
        }
    }
    // <dir> already ends with a separator.
    Rule = ReplaceAllNoCase(Rule, "<dir>/", "<dir>");

    const TDateParts Date = Decode(Info.DateTimeOriginal != 0 ? Info.DateTimeOriginal : Info.DateTimeLastWrite);

    std::string R;
    for (size_t I = 0; I < Rule.size();) {
        const char Ch = Rule[I];
        if (Ch != '<') {
            if (Ch == '*' || Ch == '?' || Ch == '"' || Ch == '>' || Ch == '|')
                return;
            R += Ch;
            ++I;
            continue;
        }
        const size_t Close = Rule.find('>', I + 1);
        if (Close == std::string::npos || Close == I + 1)
            return;
        const std::string Name = Rule.substr(I + 1, Close - I - 1);
        I = Close + 1;
        switch (FindToken(Name, FileNameTokenCount)) {
        case 0: {
            const std::string N = Info.Name();
            R += N.substr(0, N.size() - ExtractFileExt(N).size());
            break;
        }
        case 1:
            R += Info.Ext();
            break;
        case 2:
            R += FormatDate(Date, "yymmdd");
            break;
        case 3:
            R += FormatDate(Date, "yyyymmddhhnnss");
            break;
        case 4:
            R += Info.Dir;
            break;
        case 5: {
            std::string S;
            ResizeModeText(Info, Scale, S, Settings.Resize);
            R += S;
            break;
        }
        case 6:
        case 7:
        case 8:
        case 9:
        case 15:
        case 16:
        case 17:
            R += FormatDate(Date, Name);
            break;
        case 10:
            R += std::to_string(Number);
            break;
        case 11:
            R += std::to_string(NextFolderFileCount(ExtractFilePath(R), Counts));
            break;
        case 12:
            R += ExtractFileName(WithoutTrailingSlash(ExtractFilePath(Info.Path())));
            break;
        case 13:
            R += WithoutTrailingSlash(Info.Base);
            break;
        default:
            // <n1>..<n9>, <c1>..<c9>: zero-padded to that many digits.
            if (Name.size() >= 2 && (Name[0] == 'n' || Name[0] == 'c') && Name[1] >= '1' && Name[1] <= '9') {
                const int Digits = Name[1] - '0';
                const int32_t V = Name[0] == 'n' ? Number : NextFolderFileCount(ExtractFilePath(R), Counts);
                R += Padded(V, Digits);
                break;
            }
            return; // <ymdhn>, text-only tokens, upper case, unknown names
        }
    }
    // A rule ending in the input's own extension (<old>.<ext>) already names
    // what a renamed file keeps.
    const bool Renaming = Settings.RunMode == 3 || Settings.File.RenameOnly;
    if (Ext != ".bmp" && Ext != ".jpg" && Ext != ".jpeg" && Ext != ".png" &&
        !(Renaming && Ext == AsciiLower(ExtractFileExt(Info.Path()))))
        R += AppendedExt(Info, Settings);
    OutName = R;
}

void ExpandTextTokens(const std::string& Text, const std::string& NewName, const std::string& OldName, std::string& Out,
                      int32_t Number, TDateTime Date)
{
    auto NoExt = [](const std::string& N) { return N.substr(0, N.size() - ExtractFileExt(N).size()); };
    const TDateParts P = Decode(Date);
    const std::string DS = platform::DateSeparator(), TS = platform::TimeSeparator();
    auto Localised = [&](const std::string& Pattern) {
        return ReplaceAll(ReplaceAll(FormatDate(P, Pattern), "/", DS), ":", TS);
    };
    Out.clear();
    for (size_t I = 0; I < Text.size();) {
        if (Text[I] != '<') {
            Out += Text[I++];
            continue;
        }
        const size_t Close = Text.find('>', I + 1);
        if (Close == std::string::npos)
            break; // an unterminated token produces nothing
        const std::string Name = Text.substr(I + 1, Close - I - 1);
        I = Close + 1;
        if (Name.empty())
            continue;
        switch (FindToken(Name, TextTokenCount)) {
        case 0:
            Out += OldName;
            break;
        case 18:
            Out += NewName;
            break;
        case 19:
            Out += NoExt(OldName);
            break;
        case 20:
            Out += NoExt(NewName);
            break;
        case 2:
            Out += Localised("yyyy/mm/dd");
            break;
        case 14:
            Out += Localised("yyyy/mm/dd hh:nn");
            break;
        case 3:
            Out += Localised("yyyy/mm/dd hh:nn:ss");
            break;
        case 6:
        case 7:
        case 8:
        case 9:
        case 15:
        case 16:
        case 17:
            Out += FormatDate(P, Name);
            break;
        case 10:
            Out += std::to_string(Number);
            break;
        default:
            if (Name.size() >= 2 && Name[0] == 'n' && Name[1] >= '1' && Name[1] <= '9')
                Out += Padded(Number, Name[1] - '0');
            else
                Out += Name;
        }
    }
}
