#include "core/ImageInfo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/Errors.h"
#include "core/ExifReader.h"
#include "core/ResourceText.h"

// ---------------------------------------------------------------- dates ---

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t Y, int64_t M, int64_t D)
{
    Y -= M <= 2;
    const int64_t Era = (Y >= 0 ? Y : Y - 399) / 400;
    const int64_t Yoe = Y - Era * 400;
    const int64_t Doy = (153 * (M + (M > 2 ? -3 : 9)) + 2) / 5 + D - 1;
    const int64_t Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
    return Era * 146097 + Doe - 719468;
}

void CivilFromDays(int64_t Z, int32_t& Y, int32_t& M, int32_t& D)
{
    Z += 719468;
    const int64_t Era = (Z >= 0 ? Z : Z - 146096) / 146097;
    const int64_t Doe = Z - Era * 146097;
    const int64_t Yoe = (Doe - Doe / 1460 + Doe / 36524 - Doe / 146096) / 365;
    const int64_t Doy = Doe - (365 * Yoe + Yoe / 4 - Yoe / 100);
    const int64_t Mp = (5 * Doy + 2) / 153;
    D = int32_t(Doy - (153 * Mp + 2) / 5 + 1);
    M = int32_t(Mp < 10 ? Mp + 3 : Mp - 9);
    Y = int32_t(Yoe + Era * 400 + (M <= 2));
}

const int64_t DelphiEpoch = DaysFromCivil(1899, 12, 30);

bool IsLeap(int32_t Y)
{
    return (Y % 4 == 0 && Y % 100 != 0) || Y % 400 == 0;
}

} // namespace

bool TryEncodeDateTime(int32_t Year, int32_t Month, int32_t Day, int32_t Hour, int32_t Minute, int32_t Second,
                       TDateTime& Out)
{
    static const int32_t MonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1)
        return false;
    if (Day > MonthDays[Month - 1] + (Month == 2 && IsLeap(Year)))
        return false;
    if (Hour < 0 || Hour > 23 || Minute < 0 || Minute > 59 || Second < 0 || Second > 59)
        return false;
    const double Days = double(DaysFromCivil(Year, Month, Day) - DelphiEpoch);
    Out = Days + (Hour * 3600 + Minute * 60 + Second) / 86400.0;
    return true;
}

void DecodeDateTime(TDateTime D, int32_t& Year, int32_t& Month, int32_t& Day, int32_t& Hour, int32_t& Minute,
                    int32_t& Second)
{
    const int64_t Total = int64_t(std::llround(D * 86400.0));
    int64_t Days = Total / 86400, Secs = Total % 86400;
    if (Secs < 0) {
        Secs += 86400;
        --Days;
    }
    CivilFromDays(Days + DelphiEpoch, Year, Month, Day);
    Hour = int32_t(Secs / 3600);
    Minute = int32_t(Secs / 60 % 60);
    Second = int32_t(Secs % 60);
}

TDateTime ExifDateToDateTime(const std::string& Text)
{
    std::vector<std::string> Parts(1);
    for (char C : Text) {
        if (C == ':' || C == ' ')
            Parts.emplace_back();
        else
            Parts.back() += C;
    }
    if (Parts.size() != 6)
        return 0;
    int32_t V[6];
    for (int I = 0; I < 6; ++I) {
        const std::string& P = Parts[size_t(I)];
        char* End = nullptr;
        const long N = P.empty() ? 0 : std::strtol(P.c_str(), &End, 10);
        V[I] = (!P.empty() && *End == 0 && N >= 0 && N <= 99999) ? int32_t(N) : 0;
    }
    TDateTime R = 0;
    return TryEncodeDateTime(V[0], V[1], V[2], V[3], V[4], V[5], R) ? R : 0;
}

TDateTime FileStampToLocal(const platform::TFileStamp& T)
{
    platform::TLocalTime L;
    TDateTime R = 0;
    if (platform::UTCToLocal(T.Sec, L))
        TryEncodeDateTime(L.Year, L.Month, L.Day, L.Hour, L.Minute, L.Second, R);
    return R;
}

// ---------------------------------------------------------------- paths ---

std::string ExtractFilePath(const std::string& Path)
{
    const size_t P = Path.rfind('/');
    return P == std::string::npos ? std::string() : Path.substr(0, P + 1);
}

std::string ExtractFileName(const std::string& Path)
{
    const size_t P = Path.rfind('/');
    return P == std::string::npos ? Path : Path.substr(P + 1);
}

std::string ExtractFileExt(const std::string& Path)
{
    const size_t Dot = Path.rfind('.');
    const size_t Slash = Path.rfind('/');
    if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash))
        return {};
    return Path.substr(Dot);
}

std::string AsciiLower(std::string S)
{
    for (char& C : S)
        if (C >= 'A' && C <= 'Z')
            C = char(C - 'A' + 'a');
    return S;
}

// ---------------------------------------------------------------- files ---

bool LoadWholeFile(const std::string& Path, std::vector<uint8_t>& Data)
{
    std::ifstream F(Path, std::ios::binary);
    if (!F)
        return false;
    F.seekg(0, std::ios::end);
    const std::streamoff Len = F.tellg();
    if (Len < 0)
        return false;
    F.seekg(0);
    Data.resize(size_t(Len));
    F.read(reinterpret_cast<char*>(Data.data()), Len);
    return bool(F);
}

// ------------------------------------------------------------ TImageInfo ---

TImageInfo::~TImageInfo()
{
    if (IsTempFile && !FPath.empty()) {
        std::error_code Ec;
        std::filesystem::remove(FPath, Ec);
    }
}

void TImageInfo::ResetParam()
{
    // Everything a probe may set; the list's own fields (path, tick, folders,
    // output name, number, temporary flag) stay. Resolution and the Software
    // fields are cleared as well, so that a re-probed file never carries the
    // previous file's values.
    FThumbnail.clear();
    FThumbnail.shrink_to_fit();
    FThumbnailSaid = false;
    FExifPos = FExifSize = FNewExifSize = 0;
    FThumbnailPos = FThumbnailSize = FThumbnailOffset = FThumbnailOrientationPos = 0;
    FOrientationPos = 0;
    FOrientation = 0;
    FSPI = nullptr;
    FHasExif = false;
    FET = etII;
    FXDimensionPos = FYDimensionPos = 0;
    FXDimensionType = FYDimensionType = 0;
    FSoftwarePos = FSoftwareLen = FSoftwareLenPos = 0;
    FXResolution = FYResolution = 0;
    FXResolutionPos = FYResolutionPos = 0;
    FResolutionUnit = 0;
    FResolutionUnitPos = 0;
    FExifBroken = false;
    FIFD0Entry = FIFD0Pos = FIFD0NextPos = 0;
    Width = Height = 0;
    Size = 0;
    PictureFormat = pfUnknown;
    Progressive = false;
    PNGBitDepth = PNGColorType = 0;
    DateTimeOriginal = DateTimeLastWrite = 0;
    LastWriteStamp = {};
    DateTimeCreation = {};
}

std::string TImageInfo::Name() const
{
    return ExtractFileName(FPath);
}

std::string TImageInfo::Ext() const
{
    const std::string E = ExtractFileExt(FPath);
    return E.empty() ? E : E.substr(1);
}

std::string TImageInfo::ImageType() const
{
    switch (PictureFormat) {
    case pfBMP:
        return PictureTypes.ExtInfoList.GetExtType(".bmp");
    case pfJPEG:
        return PictureTypes.ExtInfoList.GetExtType(".jpg");
    case pfPNG:
        return PictureTypes.ExtInfoList.GetExtType(".png");
    default:
        return PictureTypes.ExtInfoList.GetExtType(ExtractFileExt(FPath));
    }
}

std::string TImageInfo::SizeStr() const
{
    const int64_t S = Size;
    char B[64];
    if (S < 1024)
        std::snprintf(B, sizeof B, "%lld Byte", static_cast<long long>(S));
    else if (S < 10240)
        std::snprintf(B, sizeof B, "%.2f KB", double(S) / 1024);
    else if (S < 102400)
        std::snprintf(B, sizeof B, "%.1f KB", double(S) / 1024);
    else if (S < 1024000)
        std::snprintf(B, sizeof B, "%lld KB", static_cast<long long>(S / 1024));
    else if (S < 10485760)
        std::snprintf(B, sizeof B, "%.2f MB", double(S) / 1048576);
    else if (S < 104857600)
        std::snprintf(B, sizeof B, "%.1f MB", double(S) / 1048576);
    else
        std::snprintf(B, sizeof B, "%lld MB", static_cast<long long>(S / 1048576));
    return B;
}

// -------------------------------------------------------- TImageInfoList ---

TImageInfoList::TImageInfoList()
{
    std::fill(std::begin(SD), std::end(SD), 1);
}

TImageInfoList::~TImageInfoList()
{
    Clear();
}

int32_t TImageInfoList::Add(TImageInfo* Info)
{
    FItems.push_back(Info);
    FPathList.insert(Info->Path());
    return int32_t(FItems.size()) - 1;
}

void TImageInfoList::Delete(int32_t Index)
{
    if (Index < 0 || Index >= Count())
        return;
    TImageInfo* Info = FItems[size_t(Index)];
    auto It = FPathList.find(Info->Path());
    if (It != FPathList.end())
        FPathList.erase(It);
    FItems.erase(FItems.begin() + Index);
    delete Info;
}

void TImageInfoList::Move(int32_t From, int32_t To)
{
    if (From < 0 || From >= Count() || To < 0 || To >= Count() || From == To)
        return;
    auto First = FItems.begin();
    if (From < To)
        std::rotate(First + From, First + From + 1, First + To + 1);
    else
        std::rotate(First + To, First + From, First + From + 1);
}

void TImageInfoList::Clear()
{
    for (TImageInfo* I : FItems)
        delete I;
    FItems.clear();
    FPathList.clear();
}

bool TImageInfoList::Contains(const std::string& Path) const
{
    return FPathList.count(Path) != 0;
}

void TImageInfoList::SortList(int32_t Key)
{
    if (Key < 0 || Key > 6)
        return;
    auto Sign = [](auto A, auto B) { return A < B ? -1 : A > B ? 1 : 0; };
    auto Compare = [&](const TImageInfo* A, const TImageInfo* B) -> int {
        switch (Key) {
        case 0:
            return Sign(A->Name().compare(B->Name()), 0);
        case 1:
            if (SD2 == 0)
                return A->Width != B->Width ? Sign(A->Width, B->Width) : Sign(A->Height, B->Height);
            return A->Height != B->Height ? Sign(A->Height, B->Height) : Sign(A->Width, B->Width);
        case 2:
            return Sign(A->Size, B->Size);
        case 3:
            return Sign(A->PictureFormat, B->PictureFormat);
        case 4:
            return Sign(B->DateTimeLastWrite, A->DateTimeLastWrite);
        case 5:
            return Sign(B->DateTimeOriginal, A->DateTimeOriginal);
        default:
            return Sign(A->Path().compare(B->Path()), 0);
        }
    };
    const int32_t Dir = SD[Key];
    std::stable_sort(FItems.begin(), FItems.end(),
                     [&](const TImageInfo* A, const TImageInfo* B) { return Compare(A, B) * Dir < 0; });
    if (Key == 1) {
        SD2 = SD2 == 0 ? 1 : 0;
        if (SD2 == 0)
            SD[1] = -SD[1];
    } else {
        SD[Key] = -SD[Key];
    }
}

// ---------------------------------------------------------- TExtInfoList ---

TPictureTypes PictureTypes;

namespace {

// Type names of the formats the program reads, in the interface language.
constexpr const char SJPEGImage[] = "JPEG image";
constexpr const char SPNGImage[] = "PNG image";
constexpr const char SBMPImage[] = "Windows BMP image";
constexpr const char SGIFImage[] = "GIF image";
constexpr const char STIFFImage[] = "TIFF image";
constexpr const char SWebPImage[] = "WebP image";
constexpr const char SHEIFImage[] = "HEIF image";
constexpr const char SIconImage[] = "Windows icon";
constexpr const char SJPEGXRImage[] = "JPEG XR image";
// Any other type, as a file manager names it: "XYZ file".
constexpr const char SFileOfType[] = "%s file";

} // namespace

std::string TExtInfoList::AddExt(const std::string& Ext)
{
    const std::string Key = AsciiLower(Ext);
    TType T;
    {
        std::lock_guard<std::mutex> Lock(FLock);
        auto It = FTypes.find(Key);
        if (It == FTypes.end()) {
            static const std::pair<const char*, const char*> Table[] = {
                {".jpg", SJPEGImage},   {".jpeg", SJPEGImage},  {".jpe", SJPEGImage},  {".jfif", SJPEGImage},
                {".exif", SJPEGImage},  {".png", SPNGImage},    {".bmp", SBMPImage},   {".dib", SBMPImage},
                {".gif", SGIFImage},    {".tif", STIFFImage},   {".tiff", STIFFImage}, {".webp", SWebPImage},
                {".heic", SHEIFImage},  {".heif", SHEIFImage},  {".ico", SIconImage},  {".jxr", SJPEGXRImage},
                {".hdp", SJPEGXRImage}, {".wdp", SJPEGXRImage},
            };
            TType New{SFileOfType, Key.empty() ? std::string() : Key.substr(1)};
            for (const auto& [E, N] : Table)
                if (Key == E)
                    New = {N, {}};
            for (char& C : New.Ext)
                if (C >= 'a' && C <= 'z')
                    C = char(C - 'a' + 'A');
            It = FTypes.emplace(Key, New).first;
        }
        T = It->second;
    }
    // Translated on every call: the names follow the interface language.
    if (T.Text != SFileOfType)
        return LoadResText(T.Text);
    if (T.Ext.empty())
        return LoadResText("File");
    char Buf[256];
    std::snprintf(Buf, sizeof Buf, LoadResText(SFileOfType).c_str(), T.Ext.substr(0, 64).c_str());
    return Buf;
}
