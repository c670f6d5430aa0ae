#include "core/Global.h"

TFileOption FileOption;
TResizeOption ResizeOption;
TPreviewOption PreviewOption;
TSPIOption SPIOption;
TSystemOption SystemOption;
TBitmapOption BitmapOption;
TJPEGOption JPEGOption;
TPNGOption PNGOption;
TWICOption WICOption;
TMetadataOption MetadataOption;
TCombineOption CombineOption;
TBGColor DefaultBGColor;
TWindowSettings WindowSettings;
TThumbnailWindowSettings ThumbnailWindowSettings;
TShortCutSettings ShortCutSettings;
std::string SPIOrder;
std::string UIFontName;
int32_t UIFontSize = 9;
std::string PictureDir;

const std::array<const char*, 5> OutputExt = {"???", ".bmp", ".jpg", ".png", ".gif"};

int32_t RunMode = 0;

std::string ExeDir, DataDir, IniDir, IniFileName, JPEGTranPath, TempDir;
std::string SendToDir, ProgramFilesDir, MyPicturesDir, DesktopDir;
uint32_t CPUFeatures = 0;
bool KodexLoaded = false;
bool AtOnceStart = false;
