#include "core/ImageLoader.h"

#include "core/Global.h"
#include "platform/FileTimes.h"

bool ColorReductionDropsAlpha = false;

uint32_t LoaderFlags(int32_t OutFormat)
{
    const bool Flatten = (CPUFeatures & CPU_SSE) == 0 || OutFormat == ofJPEG ||
                         (OutFormat == ofBMP && !BitmapOption.AlphaChannelSupport) || ColorReductionDropsAlpha;
    return Flatten ? uint32_t(lfFlattenAlpha) : 0u;
}

int32_t JPEGDecodeDenominator(double MaxScale)
{
    const double T = JPEGOption.DownScalingLimit * MaxScale / 100.0;
    int32_t S = 1;
    for (int32_t K = 0; K < JPEGOption.DecodeWithDownScaling && S < 8; ++K)
        if (1.0 / (2.0 * S) >= T)
            S *= 2;
    return S;
}

int32_t FormatIdFromExt(const std::string& FileName)
{
    const std::string E = AsciiLower(ExtractFileExt(FileName));
    if (E == ".bmp")
        return ofBMP;
    if (E == ".jpg" || E == ".jpeg")
        return ofJPEG;
    if (E == ".png")
        return ofPNG;
    return ofNone;
}

void RestoreFileTimes(const TImageInfo& Info)
{
    RestoreFileTimes(Info, Info.OutPutFileName);
}

void RestoreFileTimes(const TImageInfo& Info, const std::string& OutputFile)
{
    platform::TFileStat St;
    if (!platform::StatFile(OutputFile, St))
        return;
    if (!MetadataOption.KeepLastWriteTime)
        return;
    if (Info.DateTimeLastWrite == 0 && Info.LastWriteStamp.Sec == 0)
        return; // nothing known about the source
    platform::TFileStamp T = Info.LastWriteStamp;
    int32_t Y, M, D, H, N, S;
    DecodeDateTime(Info.DateTimeLastWrite, Y, M, D, H, N, S);
    if (Info.DateTimeLastWrite != 0 && Y >= 1980 && Y <= 2107) {
        const platform::TLocalTime L{Y, M, D, H, N, S & ~1};
        int64_t Sec = 0;
        if (platform::LocalToUTC(L, Sec))
            T = {Sec, 0};
    }
    platform::SetLastWriteTime(OutputFile, T);
}
