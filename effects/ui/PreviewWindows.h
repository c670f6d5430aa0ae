// The preview and histogram windows the effect dialogs share, and what they
// preview.
#pragma once
#include <functional>

class QWidget;
class TPreviewForm;
class THistogramForm;
class THistogramWindowHook;
class TImageInfoList;

struct TPreviewWindows {
    // The process-wide preview window of the effect dialogs; made and
    // released by the open preview dialog, null otherwise.
    TPreviewForm* PreviewForm = nullptr;
    THistogramForm* HistogramForm = nullptr;
    // Made with a preview dialog (Owner: that dialog) and released with it.
    std::function<THistogramWindowHook*(QWidget* Owner)> CreateHistogramWindow;
    // The main window's file list, whose entries the dialogs preview; set by
    // start-up.
    TImageInfoList* PreviewFileList = nullptr;
};
extern TPreviewWindows PreviewWindows;
