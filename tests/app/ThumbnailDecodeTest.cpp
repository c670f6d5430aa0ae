// A thumbnail still being decoded when its window goes away.
#include "app/FileListView.h"
#include "app/MainFrm.h"
#include "app/ThumbnailFrm.h"
#include "tests/app/MainWindowTest.h"
#include "tests/app/TestApp.h"

#include <QThreadPool>

namespace fs = std::filesystem;

namespace {

class ThumbnailDecode : public TMainWindowTest { };

} // namespace

// The decode ends after the window is closed: its result is dropped, and the
// program goes on (the next window lists and shows the same picture).
TEST_F(ThumbnailDecode, AWindowClosedWhileItsThumbnailDecodesIsNotCalledBack)
{
    const fs::path Photo = Dir / "in" / "big.jpg";
    WritePhoto(Photo, 3000, 2000);
    for (int Round = 0; Round < 4; ++Round) {
        LoadTestSettings(Dir, "[ThumbnailWindow]\nVisible=1\n");
        Window = std::make_unique<TMainForm>(std::vector<std::string>{Photo.string()});
        Window->show();
        ASSERT_TRUE(WaitFor([&] { return App.FileList->Count() == 1; }));
        Window->FileListView->selectRow(0);
        Window.reset();
        App.FileList->Clear();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    // A window that stays gets its thumbnail.
    LoadTestSettings(Dir, "[ThumbnailWindow]\nVisible=1\n");
    Window = std::make_unique<TMainForm>(std::vector<std::string>{Photo.string()});
    Window->show();
    ASSERT_TRUE(WaitFor([&] { return App.FileList->Count() == 1; }));
    Window->FileListView->selectRow(0);
    EXPECT_TRUE(WaitFor([&] { return Window->ThumbnailForm->FPath == Photo.string(); }));
    EXPECT_FALSE(Window->ThumbnailForm->Thumbnail.isNull());
}
