#include "core/RunSettings.h"

#include "core/ImageLoader.h"

TRunSettings TakeRunSettings()
{
    TRunSettings S;
    S.File = Settings.File;
    S.Resize = Settings.Resize;
    S.SPI = Settings.SPI;
    S.System = Settings.System;
    S.Bitmap = Settings.Bitmap;
    S.JPEG = Settings.JPEG;
    S.PNG = Settings.PNG;
    S.WIC = Settings.WIC;
    S.Metadata = Settings.Metadata;
    S.Combine = Settings.Combine;
    S.Background = Settings.Background;
    S.RunMode = Settings.RunMode;
    S.ColorReductionDropsAlpha = Settings.ColorReductionDropsAlpha;
    return S;
}
