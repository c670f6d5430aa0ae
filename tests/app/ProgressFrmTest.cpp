// The run window driving real runs on the main file list.
#include "TestApp.h"
#include "app/ProgressFrm.h"
#include "app/ProgressFrm3.h"
#include "app/RunEnd.h"
#include "app/TaskbarProgress.h"
#include "app/Startup.h"
#include "core/Bitmap.h"
#include "core/ErrorLog.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/Resize.h"
#include "effects/Effect.h"
#include "effects/ResizeFilter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Holds each picture until the run is cancelled (at most 30 s), so that no
// run can be over before its cancel arrives, however slowly the window's
// thread gets to send it.
class TWaitForCancel : public TEffect {
public:
    TWaitForCancel() : TEffect("Wait", 'W', "Wait", EFFECT_GRAYSCALE) { FUse = true; }
    void DoEffect(TImgInfo&, TEffectParams& P) override
    {
        for (int i = 0; i < 3000 && P.Cancel && !*P.Cancel; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
};

class RunWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        Dir = fs::temp_directory_path() / ("vestro-runwin-" + std::to_string(QCoreApplication::applicationPid()));
        fs::remove_all(Dir);
        fs::create_directories(Dir / "in");
        Saved = FileOption;
        FileOption.SameDirectory = false;
        FileOption.OutputDirectory = (Dir / "out").string();
        FileOption.FileNameFormat = "<old>";
        FileOption.AtOnce = false;
        Effects.AddFilter(std::make_unique<TResizeFilter>());
        EffectList = &Effects;
        FileList = &Files;
        MainResizer = &Resizer;
        Resizer.SetDecimationMode(1, CreateWeightSetter(1, 3, 0, 10));
        Resizer.SetInterpolationMode(2, CreateWeightSetter(2, 3, 0, 10));
        Resizer.SetSIMDMode(3, false);
        Resizer.SetMaxThreadNum(1);
        for (int i = 0; i < 3; ++i) {
            TImgInfo Img;
            AllocImg(Img, 40 + i, 30, 3);
            SaveBitmapFile((Dir / "in" / ("p" + std::to_string(i) + ".bmp")).string(), Img, TResolutionInfo{}, TakeRunSettings());
            FreeImg(Img);
        }
    }
    void TearDown() override
    {
        EffectList = nullptr;
        FileList = nullptr;
        MainResizer = nullptr;
        FileOption = Saved;
        ErrorLog.Clear();
        fs::remove_all(Dir);
    }
    fs::path Dir;
    TFileOption Saved;
    TEffectList Effects;
    TImageInfoList Files;
    TResizer Resizer;
};

TEST_F(RunWindows, CancelAtTheStartIsACancelAndConvertsNothing)
{
    TProgressForm3 busy;
    busy.AddFolder((Dir / "in").string());
    busy.exec();
    ASSERT_EQ(Files.Count(), 3);
    // Cancel right after the run began, whether the names are ready yet or
    // not: the request must not be lost.
    Effects.AddFilter(std::make_unique<TWaitForCancel>());
    TProgressForm run(false, {});
    QTimer::singleShot(0, &run, [&run] {
        run.StartRun();
        run.close();
    });
    EXPECT_EQ(run.exec(), 2);
    EXPECT_TRUE(run.Canceled());
    EXPECT_EQ(run.ExitStatus(), 2);
    EXPECT_FALSE(run.CancelButton->isEnabled());
    // The one worker (the default) may still finish the file it holds.
    int Written = 0;
    for (const char* Name : {"p0.bmp", "p1.bmp", "p2.bmp"})
        Written += fs::exists(Dir / "out" / Name) ? 1 : 0;
    EXPECT_LE(Written, 1);
}

} // namespace


TEST(RunEnd, ARunningNumberThatCannotBeStoredIsAnError)
{
    // The next run would number from the old value and overwrite the
    // outputs of this one.
    EnsureApp();
    const fs::path Dir = fs::temp_directory_path() / ("vestro-runend-" + std::to_string(QCoreApplication::applicationPid()));
    fs::create_directories(Dir);
    std::ofstream(Dir / "blocker") << "a file where the profile's folder would be";
    const TFileOption SavedFile = FileOption;
    const TSystemOption SavedSystem = SystemOption;
    const std::string SavedIni = IniFileName;
    FileOption.ResetType = 2;
    FileOption.StartNumber = 42;
    SystemOption.UseExternalTool = false;
    IniFileName = (Dir / "blocker" / "profile.ini").string();
    ErrorLog.Clear();
    TTaskbarProgress Taskbar;
    EXPECT_EQ(FinishAtOnceRun(true, Taskbar), 1);
    ASSERT_EQ(ErrorLog.GetErrorCount(), 1);
    EXPECT_EQ(ErrorLog.Lines()[0].rfind("profile.ini: cannot write " + IniFileName + ": ", 0), 0u)
        << ErrorLog.Lines()[0];
    ErrorLog.Clear();
    IniFileName = SavedIni;
    FileOption = SavedFile;
    SystemOption = SavedSystem;
    fs::remove_all(Dir);
}
