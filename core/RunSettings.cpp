#include "core/RunSettings.h"

#include "core/ImageLoader.h"

TRunSettings TakeRunSettings()
{
    TRunSettings S;
    S.File = FileOption;
    S.Resize = ResizeOption;
    S.SPI = SPIOption;
    S.System = SystemOption;
    S.Bitmap = BitmapOption;
    S.JPEG = JPEGOption;
    S.PNG = PNGOption;
    S.WIC = WICOption;
    S.Metadata = MetadataOption;
    S.Combine = CombineOption;
    S.Background = DefaultBGColor;
    S.RunMode = RunMode;
    S.ColorReductionDropsAlpha = ColorReductionDropsAlpha;
    return S;
}
