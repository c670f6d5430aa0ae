#include "effects/CompositeEffect.h"

#include "core/AlphaBlend.h"
#include "core/Errors.h"
#include "core/Grayscale.h"
#include "core/ImageInfo.h"
#include "core/ImageLoader.h"
#include "core/IniFile.h"
#include "core/PictureMemory.h"
#include "core/ResourceText.h"
#include "effects/AddTextEffect.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace {

const char Section[] = "Composite";

inline uint32_t Mix(uint32_t s, uint32_t d, uint32_t k)
{
    return ((s * k + d * (255 - k) + 127) * 257) >> 16;
}

// The gray of a colour, as GrayOfColor gives it.
uint32_t GrayOf(uint8_t R, uint8_t G, uint8_t B)
{
    TBGColor C;
    C.Red = R, C.Green = G, C.Blue = B;
    GrayOfColor(C);
    return C.Gray;
}

} // namespace

void CompositeImage(TImgInfo& Canvas, const TImgInfo& Top, int32_t Anchor, int32_t OffsetX, int32_t OffsetY,
                    int32_t Opacity, TRect& Rect)
{
    const int64_t X = AnchorPosition(Anchor, false, Canvas.Width, Top.Width, OffsetX);
    const int64_t Y = AnchorPosition(Anchor, true, Canvas.Height, Top.Height, OffsetY);
    const TLayerClip O = ClipLayer(Canvas.Width, Canvas.Height, Top.Width, Top.Height, X, Y);
    Rect.Left = int32_t(std::clamp<int64_t>(X, 0, Canvas.Width));
    Rect.Top = int32_t(std::clamp<int64_t>(Y, 0, Canvas.Height));
    if (O.CW != 0)
        Rect.Left = int32_t(O.DX), Rect.Top = int32_t(O.DY);
    Rect.Right = Rect.Left + int32_t(O.CW);
    Rect.Bottom = Rect.Top + int32_t(O.CH);
    const uint32_t CN = Canvas.Channels, TN = Top.Channels;
    if (O.CW == 0 || !Canvas.Mem || !Top.Mem || CN < 1 || CN > 4 || TN < 1 || TN > 4)
        return;
    // A hand-edited opacity outside 0..100 would make the weights wrap.
    const uint32_t Op = uint32_t(std::clamp(Opacity, 0, 100));
    const uint32_t a = Op * 255 / 100, A = Op * 256 / 100;
    const bool TopAlpha = TN == 2 || TN == 4;
    const bool GrayCanvas = CN == 1 || CN == 2;

    for (uint32_t r = 0; r < O.CH; ++r) {
        const uint8_t* s = ScanLine(Top, O.SY + r) + uint64_t(O.SX) * TN;
        uint8_t* d = ScanLine(Canvas, O.DY + r) + uint64_t(O.DX) * CN;
        for (uint32_t i = 0; i < O.CW; ++i, s += TN, d += CN) {
            const uint32_t k = TopAlpha ? (s[TN - 1] * A) >> 8 : a;
            // The layer's colour in pixel byte order; a gray layer gives its
            // gray to all three, and a gray canvas takes the gray of a colour
            // layer by the gray weights (its blue alone would be a wrong
            // picture).
            uint32_t Col[3] = {s[0], TN >= 3 ? s[1] : s[0], TN >= 3 ? s[2] : s[0]};
            if (GrayCanvas && TN >= 3)
                Col[0] = GrayOf(s[2], s[1], s[0]);
            if (CN == 1) {
                d[0] = uint8_t(Mix(Col[0], d[0], k));
            } else if (CN == 3) {
                for (int c = 0; c < 3; ++c)
                    d[c] = uint8_t(Mix(Col[c], d[c], k));
            } else if (k == 255) {
                for (uint32_t c = 0; c + 1 < CN; ++c)
                    d[c] = uint8_t(Col[c]);
                d[CN - 1] = 255;
            } else if (k != 0) {
                const uint32_t t = ((255 - k) * d[CN - 1] * 257) >> 16;
                const uint32_t S = k + t;
                for (uint32_t c = 0; c + 1 < CN; ++c)
                    d[c] = uint8_t((Col[c] * k + d[c] * t + S / 2) / S);
                d[CN - 1] = uint8_t(S);
            }
        }
    }
}

TCompositeEffect::TCompositeEffect() : TEffect(LoadResText(SComposite), 'W', Section, EFFECT_COMPOSITE)
{
}

namespace {

// A block of its own holding Src's pixels (none when Src has none).
TImgInfo CopyOfImage(const TImgInfo& Src)
{
    TImgInfo C;
    if (!Src.Mem)
        return C;
    AllocImg(C, Src.Width, Src.Height, Src.Channels);
    std::memcpy(C.Mem, Src.Mem, size_t(uint64_t(C.Bpl) * BlockRows(C.Height)));
    return C;
}

} // namespace

TCompositeEffect::TCompositeEffect(const TCompositeEffect& Other)
    : TEffect(Other), FMode(Other.FMode), FImageFileName(Other.FImageFileName), FBasePos(Other.FBasePos),
      FOffsetX(Other.FOffsetX), FOffsetY(Other.FOffsetY), FOpacity(Other.FOpacity),
      FExternalImg(CopyOfImage(Other.FExternalImg)), FLoadError(Other.FLoadError)
{
    FOwner = nullptr;
}

std::unique_ptr<TEffect> TCompositeEffect::Clone() const
{
    return std::make_unique<TCompositeEffect>(*this);
}

TCompositeEffect::~TCompositeEffect()
{
    FreeImg(FExternalImg);
}

void TCompositeEffect::FreeExternalImage()
{
    FreeImg(FExternalImg);
    FLoadError.clear();
}

void TCompositeEffect::LoadExternalImage()
{
    const std::string Failed = LoadResText(SLoadFailed) + " " + FImageFileName;
    // Every picture of a run holds the image beside its own (and "under", a
    // copy of it as well): it may take at most half of what one picture may.
    const uint64_t Limit = PictureMemoryBudget() / 2;
    const auto TooLarge = [&](uint64_t W, uint64_t H) {
        FreeImg(FExternalImg);
        FLoadError =
            Failed + ": " + LoadResText(SPictureTooLarge) + " (" + std::to_string(W) + " x " + std::to_string(H) + ")";
    };
    if (FExternalImg.Mem) {
        // Loaded before (a preview, the last run) under another budget.
        if (ImgBytes(FExternalImg) > Limit)
            TooLarge(FExternalImg.Width, FExternalImg.Height);
        else
            HoldPictureMemoryForRun(ImgBytes(FExternalImg));
        return;
    }
    if (FImageFileName.empty())
        return;
    FLoadError = Failed;
    std::error_code Ec;
    if (!std::filesystem::is_regular_file(FImageFileName, Ec))
        return;
    TImageInfo Info;
    if (!GetImageInfo(FImageFileName, Info))
        return;
    // Refused before a byte of it is allocated.
    if (PictureBytes(uint64_t(std::max(Info.Width, 0)), uint64_t(std::max(Info.Height, 0)), 4) > Limit) {
        TooLarge(uint64_t(std::max(Info.Width, 0)), uint64_t(std::max(Info.Height, 0)));
        return;
    }
    TImgInfo Img;
    try {
        bool IsYCbCr = false;
        uint32_t Flags = 0;
        if (LoadImageByType(Info, Img, TScale(), false, nullptr, IsYCbCr, Flags, ofPNG, TakeRunSettings()) == 0 ||
            !Img.Mem) {
            FreeImg(Img);
            return;
        }
    } catch (const EVestroError& E) {
        FreeImg(Img);
        FLoadError = Failed + ": " + E.what();
        return;
    }
    FExternalImg = Img;
    FLoadError.clear();
    HoldPictureMemoryForRun(ImgBytes(FExternalImg));
}

void TCompositeEffect::DoEffect(TImgInfo& Img, TEffectParams& Params)
{
    if (!FExternalImg.Mem) {
        // Writing the picture without its overlay would pass a failure off
        // as success; the worker logs this against the file instead.
        if (!FImageFileName.empty())
            throw EVestroError(FLoadError.empty() ? LoadResText(SLoadFailed) + " " + FImageFileName : FLoadError);
        return;
    }
    // The image file's pixels are blue, green, red: the picture must be too.
    YCbCrToBGRInPlace(Img, Params.IsYCbCr);
    TRect R;
    if (FMode == 0) {
        // Only read: every worker draws from the one loaded image.
        CompositeImage(Img, FExternalImg, FBasePos, FOffsetX, FOffsetY, FOpacity, R);
        return;
    }
    // Under: the result is a copy of the image with the picture on it. A
    // picture with alpha goes where such pictures are flattened (JPEG, a BMP
    // without alpha) flattened onto the background colour like any other.
    const uint32_t W = FExternalImg.Width, H = FExternalImg.Height, Ch = FExternalImg.Channels;
    const bool Flatten =
        Ch == 4 && (LoaderFlags(FormatIdFromExt(Params.OutFileName), Params.Settings) & lfFlattenAlpha) != 0;
    CheckResultMemory(ImgBytes(Img) + PictureBytes(W, H, Ch) + (Flatten ? PictureBytes(W, H, 3) : 0), W, H);
    TImgInfo E = CopyOfImage(FExternalImg);
    CompositeImage(E, Img, FBasePos, FOffsetX, FOffsetY, FOpacity, R);
    FreeImg(Img);
    Img = E;
    if (!Flatten)
        return;
    TImgInfo Flat;
    AllocFilledImg(Flat, W, H, 3);
    FlattenAlphaProc(Flat, Img, Params.Settings.Background);
    FreeImg(Img);
    Img = Flat;
}

void TCompositeEffect::ReadIniFile(TMemIniFile& Ini)
{
    TEffect::ReadIniFile(Ini);
    FMode = Ini.ReadInteger(Section, "Mode", 0);
    FBasePos = Ini.ReadInteger(Section, "BasePos", 8);
    FOffsetX = Ini.ReadInteger(Section, "OffsetX", 0);
    FOffsetY = Ini.ReadInteger(Section, "OffsetY", 0);
    FOpacity = Ini.ReadInteger(Section, "Opacity", 100);
    FImageFileName = Ini.ReadString(Section, "ImageFileName", "");
    FreeExternalImage();
}

void TCompositeEffect::WriteIniFile(TMemIniFile& Ini)
{
    TEffect::WriteIniFile(Ini);
    Ini.WriteInteger(Section, "Mode", FMode);
    Ini.WriteInteger(Section, "BasePos", FBasePos);
    Ini.WriteInteger(Section, "OffsetX", FOffsetX);
    Ini.WriteInteger(Section, "OffsetY", FOffsetY);
    Ini.WriteInteger(Section, "Opacity", FOpacity);
    Ini.WriteString(Section, "ImageFileName", FImageFileName);
}
