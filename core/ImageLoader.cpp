#include "core/ImageLoader.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "core/Global.h"
#include "core/RunSettings.h"
#include "core/Bitmap.h"
#include "core/Kodex.h"
#include "core/Resize.h"
#include "core/SusiePlugin.h"
#include "platform/FileTimes.h"

uint32_t LoaderFlags(int32_t OutFormat, const TRunSettings& S)
{
    const bool Flatten = (Startup.CPUFeatures & CPU_SSE) == 0 || OutFormat == ofJPEG ||
        (OutFormat == ofBMP && !S.Bitmap.AlphaChannelSupport) || S.ColorReductionDropsAlpha;
    return Flatten ? uint32_t(lfFlattenAlpha) : 0u;
}

int32_t JPEGDecodeDenominator(double MaxScale, const TJPEGOption& JPEG)
{
    const double T = JPEG.DownScalingLimit * MaxScale / 100.0;
    int32_t S = 1;
    for (int32_t K = 0; K < JPEG.DecodeWithDownScaling && S < 8; ++K)
        if (1.0 / (2.0 * S) >= T)
            S *= 2;
    return S;
}

int32_t LoadImageByType(const TImageInfo& Info, TImgInfo& Img, const TScale& Scale, bool AllowDownScale, TICCInfo* ICC,
                        bool& IsYCbCr, uint32_t& Flags, int32_t OutFormat, const TRunSettings& Settings)
{
    const double M = std::max(Scale.XScale, Scale.YScale);
    int32_t S = 1;
    Flags = LoaderFlags(OutFormat, Settings);
    TBGColor Background = Settings.Background;
    TICCInfo* WantICC = (OutFormat != ofBMP && Settings.Metadata.KeepICCProfile) ? ICC : nullptr;
    const std::string& Path = Info.Path();
    int R = 0;
    switch (Info.PictureFormat) {
    case pfBMP:
        R = LoadBitmapFromMemory(Path, Img, Flags, Background, Settings.Bitmap.AlphaCheckType);
        break;
    case pfJPEG: {
        if (AllowDownScale)
            S = JPEGDecodeDenominator(M, Settings.JPEG);
        bool Warned = false;
        R = ReadJPEGFile(Path, Img, S, WantICC, IsYCbCr, false, Settings, &Warned);
        if (R && Warned)
            Flags |= lfDecoderWarned;
        if (R && Img.Channels == 4)
            CMYKToBGR(Img);
        break;
    }
    case pfPNG:
        if (!Settings.PNG.UseWIC) {
            R = ReadPNGFile(Path, Img, Flags, WantICC, Background);
            break;
        }
        [[fallthrough]];
    case pfWIC:
        R = ReadWICFile(Path, Img, Flags, WantICC, Background);
        break;
    default:
        R = Info.SPI() && SusieToImg(Info.SPI(), Path, Img, Flags, Background);
        break;
    }
    return R ? S : 0;
}

namespace {

// What the band reader's callback works with: the resize, planned when the
// size is known, and an error raised on the way (the callback must not throw).
struct TResizedBands {
    TResizer* Resizer;
    const std::function<void(uint32_t&, uint32_t&, uint32_t, int32_t)>* NewSize;
    int32_t Factor;
    std::unique_ptr<TBandResize> Resize;
    std::exception_ptr Error;
    bool NotForThisPath = false;

    static int Take(void* Context, const TImgInfo* Band, uint32_t Top)
    {
        auto* t = static_cast<TResizedBands*>(Context);
        try {
            if (!t->Resize) {
                const TKodexReadJPEGBands& rec = *t->Rec;
                uint32_t w = rec.Width, h = rec.Height;
                (*t->NewSize)(w, h, rec.Channels, t->Factor);
                // Alpha is flattened or expanded on the whole picture.
                if (rec.Channels == 2 || rec.Channels == 4 || (w == rec.Width && h == rec.Height)) {
                    t->NotForThisPath = true;
                    return 0;
                }
                // The budget holds for what the resize keeps beside what the decoder holds.
                t->Resize =
                    std::make_unique<TBandResize>(*t->Resizer, rec.Width, rec.Height, rec.Channels, w, h, rec.Held);
            }
            if (Band)
                t->Resize->Feed(*Band, Top);
            return 1;
        } catch (...) {
            t->Error = std::current_exception();
            return 0;
        }
    }
    const TKodexReadJPEGBands* Rec = nullptr;
};

} // namespace

int32_t LoadJPEGResized(const TImageInfo& Info, TImgInfo& Img, const TScale& Scale, bool AllowDownScale, TICCInfo* ICC,
                        uint32_t& Flags, int32_t OutFormat, TResizer& Resizer,
                        const std::function<void(uint32_t&, uint32_t&, uint32_t, int32_t)>& NewSize,
                        const TRunSettings& Settings)
{
    Flags = 0;
    TResizedBands t{&Resizer, &NewSize, 1, nullptr, nullptr};
    const bool png = Info.PictureFormat == pfPNG;
    if (AllowDownScale && !png)
        t.Factor = JPEGDecodeDenominator(std::max(Scale.XScale, Scale.YScale), Settings.JPEG);
    TKodexReadJPEGBands rec{};
    rec.Denominator = uint32_t(t.Factor);
    rec.ICC = (OutFormat != ofBMP && Settings.Metadata.KeepICCProfile) ? ICC : nullptr;
    rec.BandRows = 64;
    rec.Band = TResizedBands::Take;
    rec.Context = &t;
    t.Rec = &rec;
    const int r = png                 ? ReadPNGFileBands(Info.Path(), rec)
        : Info.PictureFormat == pfWIC ? ReadTIFFFileBands(Info.Path(), rec)
                                      : ReadJPEGFileBands(Info.Path(), rec, Settings);
    if (t.Error)
        std::rethrow_exception(t.Error);
    if (t.NotForThisPath || r < 0)
        return -1;
    if (!r || !t.Resize)
        return 0;
    try {
        t.Resize->Finish(Img);
    } catch (...) {
        if (rec.ICC)
            FreeICC(*rec.ICC);
        throw;
    }
    if (!png && (rec.Flags & KODEX_JPEG_WARNED))
        Flags = lfDecoderWarned;
    return t.Factor;
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

void RestoreFileTimes(const TImageInfo& Info, const std::string& OutputFile, const TMetadataOption& Meta)
{
    platform::TFileStat St;
    if (!platform::StatFile(OutputFile, St))
        return;
    if (!Meta.KeepLastWriteTime)
        return;
    if (Info.DateTimeLastWrite == 0 && Info.LastWriteStamp.Sec == 0)
        return; // nothing known about the source
    platform::TFileStamp T = Info.LastWriteStamp;
    int32_t Y, M, D, H, N, S;
    DecodeDateTime(Info.DateTimeLastWrite, Y, M, D, H, N, S);
    if (Info.DateTimeLastWrite != 0 && Y >= 1980 && Y <= 2107) {
        // Cut to even seconds. Time zones differ from UTC by whole minutes, so
        // the raw time can be cut directly, which also keeps the hour that
        // repeats when daylight saving ends.
        int64_t Sec = 0;
        if (T.Sec != 0)
            T = {T.Sec & ~int64_t(1), 0};
        else if (platform::LocalToUTC(platform::TLocalTime{Y, M, D, H, N, S & ~1}, Sec))
            T = {Sec, 0};
    }
    platform::SetLastWriteTime(OutputFile, T);
}
