// The program's own dialogs, each with a name and a maker, for the tests that
// show every one of them.
#pragma once
#include "app/AboutFrm.h"
#include "app/BitmapOptionFrm.h"
#include "app/ChangeOrderFrm.h"
#include "app/CombineOptionFrm.h"
#include "app/CreateShortCutFrm.h"
#include "app/ErrorLogFrm.h"
#include "app/FolderOptionFrm.h"
#include "app/JPEGOptionFrm.h"
#include "app/MetadataOptionFrm.h"
#include "app/PNGOptionFrm.h"
#include "app/PictureFormatFrm.h"
#include "app/PreviewOptionFrm.h"
#include "app/ResizeOptionFrm.h"
#include "app/SusiePluginOptionFrm.h"
#include "app/SystemOptionFrm.h"
#include "core/Global.h"
#include "effects/Effect.h"

#include <functional>
#include <utility>
#include <vector>

// Effects is the list the filter order dialog edits.
inline std::vector<std::pair<const char*, std::function<QDialog*()>>> AppDialogs(TEffectList& Effects)
{
    return {
        {"FormatConversion", [] { return new TPictureFormatForm; }},
        {"JPEGSettings", [] { return new TJPEGOptionForm(Settings.JPEG); }},
        {"PNGSettings", [] { return new TPNGOptionForm(Settings.PNG); }},
        {"BMPSettings", [] { return new TBitmapOptionForm(Settings.Bitmap); }},
        {"ResizeSettings", [] { return new TResizeOptionForm(Settings.Resize); }},
        {"MetadataSettings", [] { return new TMetadataOptionForm; }},
        {"SystemSettings", [] { return new TSystemOptionForm; }},
        {"CombineSettings", [] { return new TCombineOptionForm; }},
        {"PluginSettings", [] { return new TSusiePluginOptionForm; }},
        {"FilterOrder", [&Effects] { return new TChangeOrderForm(Effects); }},
        {"ExternalViewer", [] { return new TPreviewOptionForm(Settings.Preview); }},
        {"OutputFolder", [] { return new TFolderOptionForm; }},
        {"About", [] { return new TAboutForm; }},
        {"CreateShortcut", [] { return new TCreateShortCutForm; }},
        {"ErrorLog", [] { return new TErrorLogForm; }},
    };
}
