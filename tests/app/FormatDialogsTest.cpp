// The option dialogs: what OK and Cancel write, range limits, and which
// controls are enabled or shown by the ones they depend on.
#include "app/BitmapOptionFrm.h"
#include "app/JPEGOptionFrm.h"
#include "app/PNGOptionFrm.h"
#include "app/PictureFormatFrm.h"
#include "app/ResizeOptionFrm.h"
#include "core/Global.h"
#include "core/Grayscale.h"
#include "core/ImgInfo.h"
#include "effects/ui/NumEdit.h"
#include "tests/app/TestApp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

// Sets the processor feature word for one test and restores it after.
struct CPUScope {
    explicit CPUScope(uint32_t Features) : Saved(CPUFeatures) { CPUFeatures = Features; }
    ~CPUScope() { CPUFeatures = Saved; }
    uint32_t Saved;
};

struct ResizeDialogTest : ::testing::Test {
    void SetUp() override { EnsureApp(); }
    TResizeOption Opt;
    CPUScope CPU{CPU_MMX | CPU_SSE | CPU_SSE2};
};

} // namespace

TEST_F(ResizeDialogTest, OkWritesControlsCancelWritesNothing)
{
    {
        TResizeOptionForm F(Opt);
        F.DecimationList->setCurrentIndex(7);    // Gaussian
        F.InterpolationList->setCurrentIndex(0); // Lanczos
        F.DecBlurEdit->SetValue(20);
        F.IntRadiusEdit->SetValue(5);
        F.MaxThreadEdit->SetValue(4);
        F.NoExpandCheck->setChecked(true);
        F.reject();
    }
    const TResizeOption Defaults;
    EXPECT_EQ(Opt.DecimationMode, Defaults.DecimationMode);
    EXPECT_EQ(Opt.DecimationBlur, Defaults.DecimationBlur);
    EXPECT_EQ(Opt.MaxThread, Defaults.MaxThread);
    EXPECT_FALSE(Opt.NoExpand);

    TResizeOptionForm F(Opt);
    F.DecimationList->setCurrentIndex(7);
    F.InterpolationList->setCurrentIndex(0);
    F.DecBlurEdit->SetValue(20);
    F.IntRadiusEdit->SetValue(5);
    F.MaxThreadEdit->SetValue(4);
    F.NoExpandCheck->setChecked(true);
    F.SIMDList->setCurrentIndex(0);
    F.accept();
    EXPECT_EQ(Opt.DecimationMode, 8);
    EXPECT_EQ(Opt.InterpolationMode, 2);
    EXPECT_EQ(Opt.DecimationBlur, 20);
    EXPECT_EQ(Opt.InterpolationRadius, 5);
    EXPECT_EQ(Opt.MaxThread, 4u);
    EXPECT_EQ(Opt.SIMDMode, 1);
    EXPECT_TRUE(Opt.NoExpand);
    // Hidden parameters keep their values.
    EXPECT_EQ(Opt.DecimationSharp, Defaults.DecimationSharp);
}

TEST_F(ResizeDialogTest, OutOfRangeValuesAreClamped)
{
    Opt.DecimationRadius = 99;
    Opt.InterpolationRadius = 0;
    Opt.DecimationSharp = -10;
    Opt.MaxThread = 0;
    Opt.DecimationMode = 42;     // unknown id: first entry
    Opt.InterpolationMode = 1;   // area average cannot enlarge
    TResizeOptionForm F(Opt);
    // Typed and confirmed with Enter: the edit has not clamped yet.
    F.IntBlurEdit->setText("300");
    F.MaxThreadEdit->setText("64");
    F.accept();
    EXPECT_EQ(Opt.DecimationRadius, 32);
    EXPECT_EQ(Opt.InterpolationRadius, 1);
    EXPECT_EQ(Opt.DecimationSharp, -4);
    EXPECT_EQ(Opt.InterpolationBlur, 24);
    EXPECT_EQ(Opt.MaxThread, 16u);
    EXPECT_EQ(Opt.DecimationMode, 1);
    EXPECT_EQ(Opt.InterpolationMode, 2);
}

TEST_F(ResizeDialogTest, SIMDListFollowsProcessorAndLinearLight)
{
    {
        CPUScope NoSSE2(CPU_MMX | CPU_SSE);
        Opt.SIMDMode = 3;
        TResizeOptionForm F(Opt);
        EXPECT_EQ(Opt.SIMDMode, 1); // corrected before OK
        EXPECT_EQ(F.SIMDList->count(), 2);
        EXPECT_EQ(F.SIMDList->currentText(), "MMX Integer");
        F.reject();
        EXPECT_EQ(Opt.SIMDMode, 1);
    }
    Opt.SIMDMode = 3;
    TResizeOptionForm F(Opt);
    EXPECT_EQ(F.SIMDList->currentText(), "SSE2 Integer");
    F.DegammaCheck->click();
    EXPECT_EQ(F.SIMDList->count(), 1);
    EXPECT_EQ(F.SIMDList->currentText(), "SSE Float");
    F.DegammaCheck->click();
    EXPECT_EQ(F.SIMDList->count(), 3);
    EXPECT_EQ(F.SIMDList->currentText(), "SSE Float");
    F.DegammaCheck->click();
    F.accept();
    EXPECT_TRUE(Opt.Degamma);
    EXPECT_EQ(Opt.SIMDMode, 2);
}

TEST(JPEGDialog, LimitsNeverExceedTheMainSettings)
{
    EnsureApp();
    TJPEGOption Opt;
    {
        TJPEGOptionForm F(Opt);
        F.QualityEdit->SetValue(10);
        F.reject();
    }
    EXPECT_EQ(Opt.Quality, TJPEGOption().Quality);

    TJPEGOptionForm F(Opt);
    F.QualityEdit->SetValue(60);
    F.QualityLimitEdit->SetValue(75);
    F.SampleList->setCurrentIndex(0);      // 4:2:0
    F.SampleLimitList->setCurrentIndex(2); // 4:4:4
    F.SizeEdit->setText("20000");          // typed, not yet clamped
    F.accept();
    EXPECT_EQ(Opt.QualityLimit, 60);
    EXPECT_EQ(Opt.SampleTypeLimit, 0);
    EXPECT_EQ(Opt.FileSizeLimit, 9999);

    // 4:1:1 stands apart from the order and is kept.
    TJPEGOptionForm G(Opt);
    G.SampleLimitList->setCurrentIndex(3);
    G.accept();
    EXPECT_EQ(Opt.SampleTypeLimit, 3);
}

// Values edited by hand in the settings file open in range, and OK stores
// what the controls show; every box and list goes back to its own field.
TEST(JPEGDialog, StoredValuesOpenInRangeAndOkStoresWhatIsShown)
{
    EnsureApp();
    TJPEGOption Opt;
    Opt.Quality = 500;
    Opt.SampleType = 7;
    Opt.DecodeWithDownScaling = -2;
    Opt.Progressive = true;
    Opt.AddExifInfo = false;
    Opt.DCTMethod = 5;
    TJPEGOptionForm F(Opt);
    EXPECT_EQ(F.QualityEdit->IntValue(), 100);
    EXPECT_EQ(F.SampleList->currentIndex(), 0);
    EXPECT_EQ(F.DownScalingList->currentIndex(), 0);
    EXPECT_EQ(F.DCTList->currentIndex(), 1) << "any method but 0 is the float one";
    EXPECT_TRUE(F.ProgressiveCheck->isChecked());
    EXPECT_FALSE(F.ExifCheck->isChecked());
    F.RecompressCheck->setChecked(true);
    F.DownScalingList->setCurrentIndex(2);
    F.accept();
    EXPECT_EQ(Opt.Quality, 100);
    EXPECT_EQ(Opt.SampleType, 0);
    EXPECT_EQ(Opt.DecodeWithDownScaling, 2);
    EXPECT_EQ(Opt.DCTMethod, 1);
    EXPECT_TRUE(Opt.Progressive);
    EXPECT_TRUE(Opt.AlwaysRecompress);
    EXPECT_FALSE(Opt.AddExifInfo);
    EXPECT_FALSE(Opt.UpdateExifThumbnail);
}

TEST(JPEGDialog, DependentControlsFollowTheirSwitch)
{
    EnsureApp();
    TJPEGOption Opt;
    Opt.AddExifInfo = false;
    Opt.UseFileSizeLimit = false;
    Opt.DecodeWithDownScaling = 2;
    Opt.QualityLimit = 40;
    TJPEGOptionForm F(Opt);
    EXPECT_FALSE(F.UpdateExifCheck->isEnabled());
    EXPECT_FALSE(F.ExifThumbnailCheck->isEnabled());
    EXPECT_FALSE(F.SizeEdit->isEnabled());
    EXPECT_FALSE(F.SampleLimitLabel->isEnabled());
    EXPECT_TRUE(F.DownScalingPanel->isEnabled());
    F.ExifCheck->setChecked(true);
    F.SizeLimitCheck->setChecked(true);
    F.DownScalingList->setCurrentIndex(0);
    EXPECT_TRUE(F.UpdateExifCheck->isEnabled());
    EXPECT_TRUE(F.ExifThumbnailCheck->isEnabled());
    EXPECT_TRUE(F.QualityLimitEdit->isEnabled());
    EXPECT_TRUE(F.SampleLimitList->isEnabled());
    EXPECT_FALSE(F.DownScalingPanel->isEnabled());
    // A disabled control keeps its value.
    F.SizeLimitCheck->setChecked(false);
    F.accept();
    EXPECT_EQ(Opt.QualityLimit, 40);
    EXPECT_EQ(Opt.DownScalingLimit, TJPEGOption().DownScalingLimit);
}

TEST(BitmapDialog, AlphaSwitchGovernsHeader)
{
    EnsureApp();
    TBitmapOption Opt;
    {
        CPUScope NoSSE(CPU_MMX);
        TBitmapOptionForm F(Opt);
        EXPECT_FALSE(F.AlphaCheck->isEnabled());
    }
    CPUScope SSE(CPU_MMX | CPU_SSE);
    TBitmapOptionForm F(Opt);
    EXPECT_TRUE(F.AlphaCheck->isEnabled());
    EXPECT_TRUE(F.HeaderPanel->isEnabled());
    F.AlphaCheck->setChecked(false);
    EXPECT_FALSE(F.HeaderPanel->isEnabled());
    F.AlphaCheckList->setCurrentIndex(2);
    F.IndexColorCheck->setChecked(true);
    F.accept();
    EXPECT_FALSE(Opt.AlphaChannelSupport);
    EXPECT_EQ(Opt.AlphaBitmapHeaderType, 1);
    EXPECT_EQ(Opt.AlphaCheckType, 2);
    EXPECT_TRUE(Opt.IndexColor);
}

TEST(PNGDialog, FiltersColourAndDependentControls)
{
    EnsureApp();
    const std::string SavedExeDir = ExeDir;
    const auto Dir = std::filesystem::temp_directory_path() / ("vestro_pngdlg_" + std::to_string(::getpid()));
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir / "bin");
    ExeDir = Dir.string() + "/";

    TPNGOption Opt;
    Opt.Filter = 16 | 128;
    Opt.IndexColor = false;
    Opt.TransparentType = 5;
    Opt.TransparentColor = 0x123456;
    {
        TPNGOptionForm F(Opt);
        EXPECT_FALSE(F.PNGOUTPanel->isEnabled()); // no tool beside the program
        EXPECT_FALSE(F.TransparentPanel->isEnabled());
        EXPECT_FALSE(F.ColorPanel->isHidden());
        EXPECT_EQ(F.PanelColor(), QColor(0x56, 0x34, 0x12));
        EXPECT_TRUE(F.FilterChecks[1]->isChecked());
        EXPECT_FALSE(F.FilterChecks[2]->isChecked());
        EXPECT_TRUE(F.FilterChecks[4]->isChecked());
        F.IndexColorCheck->setChecked(true);
        EXPECT_TRUE(F.TransparentPanel->isEnabled());
        F.TransparentList->setCurrentIndex(1);
        EXPECT_TRUE(F.ColorPanel->isHidden());
        for (QCheckBox* C : F.FilterChecks)
            C->setChecked(false);
        F.SetPanelColor(QColor(1, 2, 3));
        F.LevelEdit->setText("12");
        F.accept();
    }
    EXPECT_EQ(Opt.Filter, 0);
    EXPECT_EQ(Opt.TransparentType, 1);
    EXPECT_EQ(Opt.TransparentColor, 0x030201u);
    EXPECT_EQ(Opt.CompressLevel, 9);

    std::ofstream(Dir / "bin" / "pngout") << "";
    {
        TPNGOptionForm F(Opt);
        EXPECT_TRUE(F.PNGOUTPanel->isEnabled());
        EXPECT_FALSE(F.MaxOptCheck->isEnabled());
        F.PNGOUTCheck->setChecked(true);
        EXPECT_TRUE(F.MaxOptCheck->isEnabled());
        EXPECT_TRUE(F.FullColorCheck->isEnabled());
        F.reject();
    }
    EXPECT_FALSE(Opt.UsePNGOUT);
    ExeDir = SavedExeDir;
    std::filesystem::remove_all(Dir);
}
