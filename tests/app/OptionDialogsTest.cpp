// The settings dialogs: what OK stores stays within its range, even when
// typed and confirmed before the edit clamps it, and Cancel stores nothing.
#include "app/CombineOptionFrm.h"
#include "app/JPEGOptionFrm.h"
#include "app/MetadataOptionFrm.h"
#include "app/PNGOptionFrm.h"
#include "app/ResizeOptionFrm.h"
#include "app/SystemOptionFrm.h"
#include "core/ImgInfo.h"
#include "effects/ui/NumEdit.h"
#include "tests/app/TestApp.h"
#include <QCheckBox>
#include <QComboBox>

TEST(OptionDialogs, ResizeValuesOutOfRangeAreClamped)
{
    EnsureApp();
    TKeptSettings Kept;
    Startup.CPUFeatures = CPU_MMX | CPU_SSE | CPU_SSE2;
    TResizeOption Opt;
    Opt.DecimationRadius = 99;
    Opt.InterpolationRadius = 0;
    Opt.DecimationSharp = -10;
    Opt.MaxThread = 0;
    Opt.DecimationMode = 42;   // unknown id: first entry
    Opt.InterpolationMode = 1; // area average cannot enlarge
    TResizeOptionForm F(Opt);
    // Typed and confirmed with Enter: the edit has not clamped yet.
    F.IntBlurEdit->setText("300");
    F.MaxThreadEdit->setText("64");
    F.accept();
    EXPECT_EQ(std::make_tuple(Opt.DecimationRadius, Opt.InterpolationRadius), std::make_tuple(32, 1));
    EXPECT_EQ(std::make_tuple(Opt.DecimationSharp, Opt.InterpolationBlur, Opt.MaxThread), std::make_tuple(-4, 24, 16u));
    EXPECT_EQ(std::make_tuple(Opt.DecimationMode, Opt.InterpolationMode), std::make_tuple(1, 2));

    // Linear light runs in floating point only, whatever the list showed before.
    TResizeOptionForm G(Opt);
    G.DegammaCheck->click();
    G.accept();
    EXPECT_EQ(std::make_pair(Opt.Degamma, Opt.SIMDMode), std::make_pair(true, 2));
}

TEST(OptionDialogs, JPEGLimitsNeverExceedTheMainSettings)
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
    EXPECT_EQ(std::make_tuple(Opt.QualityLimit, Opt.SampleTypeLimit, Opt.FileSizeLimit), std::make_tuple(60, 0, 9999));

    // 4:1:1 stands apart from the order and is kept.
    TJPEGOptionForm G(Opt);
    G.SampleLimitList->setCurrentIndex(3);
    G.accept();
    EXPECT_EQ(Opt.SampleTypeLimit, 3);
}

TEST(OptionDialogs, MetadataCombineAndSystemCancelKeepsAndOkClamps)
{
    EnsureApp();
    TKeptSettings Kept;
    const TMetadataOption M = Settings.Metadata;
    const TPNGOption P = Settings.PNG;
    const TCombineOption C = Settings.Combine;
    {
        TMetadataOptionForm D;
        D.KeepICC->setChecked(!M.KeepICCProfile);
        D.WritepHYs->setChecked(!P.WritepHYsChunk);
        D.reject();
        EXPECT_EQ(Settings.Metadata.KeepICCProfile, M.KeepICCProfile);
        EXPECT_EQ(Settings.PNG.WritepHYsChunk, P.WritepHYsChunk);
    }
    {
        TCombineOptionForm D;
        D.TileWidth->setText(QStringLiteral("0"));
        D.reject();
        EXPECT_EQ(Settings.Combine.Width, C.Width);
    }
    {
        TCombineOptionForm D;
        D.TileWidth->setText(QStringLiteral("640"));
        D.Rows->setText(QStringLiteral("500"));
        D.accept();
        EXPECT_EQ(Settings.Combine.Width, 640);
        EXPECT_GE(Settings.Combine.Rows, 1);
        EXPECT_LE(Settings.Combine.Rows, 99);
    }
    // One processor: one worker, whatever was stored.
    Settings.System.ProcessorCount = 1;
    Settings.System.MaxThread = 4;
    TSystemOptionForm D;
    EXPECT_FALSE(D.Parallel->isEnabled());
    D.accept();
    EXPECT_EQ(Settings.System.MaxThread, 1);
}

TEST(OptionDialogs, PNGRecompressionIsOfferedWhenTheOptimiserIsInstalled)
{
    EnsureApp();
    const std::filesystem::path Dir = ScratchDir("pngopt");
    std::filesystem::create_directories(Dir / "bin");
    const std::string SavedExe = Startup.ExeDir;
    const QByteArray Path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(Dir.string())); // nothing there
    Startup.ExeDir = Dir.string() + "/";
    TPNGOption P{};
    EXPECT_FALSE(TPNGOptionForm(P).PNGOUTPanel->isEnabled());
    std::ofstream(Dir / "bin" / "zopflipng") << "#!/bin/sh\n";
    EXPECT_TRUE(TPNGOptionForm(P).PNGOUTPanel->isEnabled());
    qputenv("PATH", Path);
    Startup.ExeDir = SavedExe;
    std::filesystem::remove_all(Dir);
}
