// The combine window driving real runs on the main file list: a damaged
// picture among good ones, and cancel.
#include "TestApp.h"
#include "app/ProgressFrm2.h"
#include "app/ProgressFrm3.h"
#include "core/Bitmap.h"
#include "core/ErrorLog.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/Resize.h"
#include "app/Startup.h"
#include "effects/ResizeFilter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImageReader>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class CombineWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        Dir = fs::temp_directory_path() / ("vestro-combinewin-" + std::to_string(QCoreApplication::applicationPid()));
        fs::remove_all(Dir);
        fs::create_directories(Dir / "in");
        SavedFile = FileOption;
        SavedCombine = CombineOption;
        SavedSystem = SystemOption;
        FileOption.SameDirectory = false;
        FileOption.OutputDirectory = (Dir / "out").string();
        FileOption.FileNameFormat = "<old>";
        FileOption.AtOnce = false;
        FileOption.NotOverwrite = false;
        CombineOption = TCombineOption{};
        CombineOption.Use = true;
        CombineOption.FillBlank = false;
        CombineOption.Width = 20;
        CombineOption.Height = 20;
        FileList = &Files;
        MainResizer = &Resizer;
        Resizer.SetDecimationMode(1, CreateWeightSetter(1, 3, 0, 10));
        Resizer.SetInterpolationMode(2, CreateWeightSetter(2, 3, 0, 10));
        Resizer.SetSIMDMode(3, false);
        Resizer.SetMaxThreadNum(1);
    }
    void TearDown() override
    {
        FileList = nullptr;
        MainResizer = nullptr;
        FileOption = SavedFile;
        CombineOption = SavedCombine;
        SystemOption = SavedSystem;
        ErrorLog.Clear();
        fs::remove_all(Dir);
    }
    // N pictures p00.bmp.. of 40 x 30, differing in colour, listed in name order.
    void MakeInputs(int N)
    {
        for (int i = 0; i < N; ++i) {
            TImgInfo Img;
            AllocImg(Img, 40, 30, 3);
            for (uint32_t y = 0; y < Img.Height; ++y)
                for (uint32_t x = 0; x < Img.Width * 3; ++x)
                    MemRow(Img, y)[x] = uint8_t(i * 20 + x);
            SaveBitmapFile(In(i).string(), Img, TResolutionInfo{}, TakeRunSettings());
            FreeImg(Img);
        }
    }
    void ListInputs()
    {
        TProgressForm3 busy;
        busy.AddFolder((Dir / "in").string());
        ASSERT_EQ(busy.exec(), 1);
    }
    fs::path In(int I) const
    {
        char name[16];
        std::snprintf(name, sizeof name, "p%02d.bmp", I);
        return Dir / "in" / name;
    }
    fs::path Out(int I) const { return Dir / "out" / In(I).filename(); }
    static QSize SizeOf(const fs::path& P) { return QImageReader(QString::fromStdString(P.string())).size(); }

    fs::path Dir;
    TFileOption SavedFile;
    TCombineOption SavedCombine;
    TSystemOption SavedSystem;
    TImageInfoList Files;
    TResizer Resizer;
};

TEST_F(CombineWindow, ADamagedPictureIsLoggedAndTheOthersStillMakeTheirSheets)
{
    MakeInputs(3);
    // The header stays readable, the pixels are gone.
    fs::resize_file(In(1), 80);
    ListInputs();
    ASSERT_EQ(Files.Count(), 3);
    CombineOption.Rows = 1;
    CombineOption.Columns = 1;

    TProgressForm2 run(false, {});
    QTimer::singleShot(0, &run, [&run] { run.StartRun(); });
    EXPECT_EQ(run.exec(), 1);
    EXPECT_EQ(run.ExitStatus(), 1);
    ASSERT_GE(ErrorLog.GetErrorCount(), 1);
    EXPECT_NE(ErrorLog.Lines().front().find("p01.bmp"), std::string::npos);
    EXPECT_EQ(SizeOf(Out(0)), QSize(20, 20));
    EXPECT_EQ(SizeOf(Out(2)), QSize(20, 20));
}

TEST_F(CombineWindow, CancelEndsTheRunAsACancel)
{
    MakeInputs(12);
    ListInputs();
    CombineOption.Rows = 1;
    CombineOption.Columns = 1;

    TProgressForm2 run(false, {});
    QTimer::singleShot(0, &run, [&run] {
        run.StartRun();
        run.close();
    });
    EXPECT_EQ(run.exec(), 2);
    EXPECT_TRUE(run.Canceled());
    EXPECT_EQ(run.ExitStatus(), 2);
    EXPECT_FALSE(run.CancelButton->isEnabled());
    EXPECT_LT(run.Written().size(), 12u);
}

} // namespace
