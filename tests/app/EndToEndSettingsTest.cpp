// The built program at once: what the settings, a full disk and plug-ins
// change in what it writes and says.
#include "ProgramFixture.h"

using namespace endtoend;

// Palette bitmaps of at most the asked colours, and a clean status.
TEST_F(Program, ColourReductionWritesPaletteBitmaps)
{
    if (!fs::exists("/usr/bin/pngquant") && !fs::exists(std::string(VESTRO_DIST_DIR) + "/bin/pngquant"))
        GTEST_SKIP() << "no pngquant";
    WriteProfile("[JPEG]\nConvertTo=1\n[DecreaseColor]\nUse=1\nMode=2\nPaletteEntries=16\nDitherType=2\n");
    WritePhoto(Dir / "in" / "a.jpg", 1200, 800, 1);
    WritePhoto(Dir / "in" / "b.jpg", 600, 900, 2);
    const TResult r = Run({"in"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    for (const char* Name : {"a.bmp", "b.bmp"}) {
        const fs::path Out = Dir / "out" / "in" / Name;
        const std::string File = ReadFile(Out);
        ASSERT_GT(File.size(), 54u) << Name;
        EXPECT_EQ(uint8_t(File[28]), 8) << Name << ": 8 bits per pixel";
        const QImage Img(QString::fromStdString(Out.string()));
        EXPECT_EQ(Img.format(), QImage::Format_Indexed8) << Name;
        std::set<QRgb> Colours;
        for (int y = 0; y < Img.height(); ++y)
            for (int x = 0; x < Img.width(); ++x)
                Colours.insert(Img.pixel(x, y));
        EXPECT_LE(Colours.size(), 16u) << Name;
        EXPECT_GT(Colours.size(), 2u) << Name;
    }
    EXPECT_EQ(ImageSize(Dir / "out" / "in" / "a.bmp"), QSize(320, 213));
}

// Every way an output is written, on a full disk: status 1, one line that
// says which output could not be written and why, nothing at the target (an old
// file there untouched) and the input kept although it was to be deleted.
TEST_F(Program, AFullDiskFailsEveryWriterAndKeepsInputAndOldOutput)
{
    struct TCase {
        const char* Path;
        const char* Ext;
        std::string Settings;
        const char* Says = "cannot write "; // the tool says why itself
    };
    const std::string Small = "[Resize]\nRule=10\nSize1=100,512,384,512,384,100,100,512,512,0,400,512\n"
                              "Size2=0,0,0,0,0,100,100,384,384,0,400,384\n";
    const TCase Cases[] = {
        {"jpeg", "jpg", Small},
        {"size limit", "jpg", Small + "[JPEG]\nUseFileSizeLimit=1\nFileSizeLimit=900\n"},
        {"copy", "jpg", "[Metadata]\nKeepLastWriteTime=1\n", "Failed to copy file: cannot write "},
        {"png", "png", Small + "[JPEG]\nConvertTo=3\n"},
        {"bmp", "bmp", Small + "[JPEG]\nConvertTo=1\n"},
        {"jpegtran", "jpg", "[JPEGTran]\nUse=1\nRotation=2\n",
         "Failed to save file: jpegtran ended with exit status 1: "},
        {"pngquant", "bmp", Small + "[JPEG]\nConvertTo=1\n[DecreaseColor]\nUse=1\nMode=2\nPaletteEntries=16\n"},
        {"zopflipng", "png", Small + "[JPEG]\nConvertTo=3\n[PNG]\nUsePNGOUT=1\n"},
    };
    WritePhoto(Dir / "a.jpg", 900, 700, 1);
    const std::string Photo = ReadFile(Dir / "a.jpg");
    FileLimit = 4096;
    for (const TCase& c : Cases)
        for (const char* Delete : {"1", "0"}) {
            const std::string Why = std::string(c.Path) + " DeleteInputFile=" + Delete;
            fs::remove_all(Dir / "out");
            fs::create_directories(Dir / "out");
            for (const char* N : {"a", "b"})
                std::ofstream(Dir / "in" / (std::string(N) + ".jpg"), std::ios::binary) << Photo;
            const fs::path Old = Dir / "out" / (std::string("b.") + c.Ext);
            std::ofstream(Old) << "old";
            const auto OldTime = fs::file_time_type::clock::now() - std::chrono::hours(48);
            fs::last_write_time(Old, OldTime);
            ModeProfile(Profile, std::string("NotOverwrite=0\nDeleteInputFile=") + Delete + "\n", c.Settings);
            const TResult r = Run({"in/a.jpg", "in/b.jpg"});
            EXPECT_EQ(r.Status, 1) << Why << "\n" << r.Err;
            for (const std::string N : {"\na.jpg: ", "\nb.jpg: "})
                EXPECT_EQ(std::make_pair(Count("\n" + r.Err, N), Count("\n" + r.Err, N + c.Says)), std::make_pair(1, 1))
                    << Why << "\n"
                    << r.Err;
            EXPECT_TRUE(ReadFile(Dir / "in" / "a.jpg") == Photo && ReadFile(Dir / "in" / "b.jpg") == Photo) << Why;
            EXPECT_TRUE(ReadFile(Old) == "old" && fs::last_write_time(Old) == OldTime) << Why;
            EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out"), {}), 1) << Why;
        }
}

// A fresh start told only where to write: the size rule (100 %), the name
// rule (resize/<old>) and JPEG quality 90 at 4:2:2 of the defaults. The
// picture is turned by its EXIF orientation, so it is coded anew.
TEST_F(Program, AFreshStartWritesJPEGQuality90At422)
{
    WritePhoto(Dir / "in" / "a.jpg", 96, 64, 1);
    std::string J = ReadFile(Dir / "in" / "a.jpg");
    const char Exif[] = "\xFF\xE1\x00\x22"
                        "Exif\0\0"
                        "II\x2A\0\x08\0\0\0"
                        "\x01\0"
                        "\x12\x01\x03\0\x01\0\0\0\x06\0\0\0"
                        "\0\0\0\0";
    J.insert(2, Exif, sizeof Exif - 1);
    std::ofstream(Dir / "in" / "a.jpg", std::ios::binary) << J;
    Ini(Profile, "[File]\nAtOnce=1\nSameDirectory=0\nOutPutDirectory=" + (Dir / "out").string() + "\n");
    const TResult r = Run({"in/a.jpg"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string Out = ReadFile(Dir / "out" / "resize" / "a.jpg");
    EXPECT_EQ(ImageSize(Dir / "out" / "resize" / "a.jpg"), QSize(64, 96));
    // First entries of the two quantisation tables (16 and 17 scaled to
    // quality 90: 3 and 3; at 80 they would be 6 and 7) and the sampling
    // factors of the three components.
    const TJPEGHead H = JPEGHead(Out);
    EXPECT_THAT(H.Quant, ElementsAre(3, 3));
    EXPECT_THAT(H.Sampling, ElementsAre(0x21, 0x11, 0x11));
    EXPECT_FALSE(H.Progressive);
}

// Option dialogs changed by keys and clicks, OK, the settings saved as the
// profile of a run: the output has what was chosen (JPEG quality, sampling
// and coding; PNG resolution chunk; BMP palette depth).
TEST_F(Program, OptionDialogChoicesReachTheOutput)
{
    auto Click = [](QCheckBox* C) { QTest::mouseClick(C, Qt::LeftButton, {}, QPoint(8, C->height() / 2)); };
    auto Type = [](QLineEdit* E, const char* Text) {
        E->setFocus();
        E->selectAll();
        QTest::keyClicks(E, Text);
    };
    for (int Dialog = 0; Dialog < 3; ++Dialog) {
        TKeptSettings Kept;
        Settings.File.AtOnce = true;
        Settings.File.SameDirectory = false;
        Settings.File.OutputDirectory = (Dir / "out").string();
        Settings.File.FileNameFormat = "<old>";
        Settings.Resize.Size1[0] = 50;
        std::unique_ptr<QDialog> D;
        if (Dialog == 0) {
            auto* F = new TJPEGOptionForm(Settings.JPEG);
            D.reset(F);
            Type(F->QualityEdit, "75");
            F->SampleList->setFocus();
            QTest::keyClick(F->SampleList, Qt::Key_Down); // 4:2:2 to 4:4:4
            Click(F->ProgressiveCheck);
        } else if (Dialog == 1) {
            auto* F = new TMetadataOptionForm;
            D.reset(F);
            Settings.JPEG.ConvertTo = 3;
            Click(F->KeepResolution);
            Type(F->Resolution, "300");
            Click(F->WritepHYs);
        } else {
            auto* F = new TBitmapOptionForm(Settings.Bitmap);
            D.reset(F);
            Settings.JPEG.ConvertTo = 1;
            Click(F->IndexColorCheck);
        }
        D->show();
        for (QPushButton* B : D->findChildren<QPushButton*>())
            if (B->text() == "OK")
                QTest::mouseClick(B, Qt::LeftButton);
        ASSERT_EQ(D->result(), QDialog::Accepted) << Dialog;
        Inis.push_back(Profile);
        ASSERT_TRUE(SaveIniFile(std::string(VESTRO_DIST_DIR) + "/ini/" + Profile));
        fs::remove_all(Dir / "out");
        // Four colours in blocks: few enough for a palette.
        QImage Q(96, 64, QImage::Format_RGB32);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 96; ++x)
                Q.setPixel(x, y, qRgb(x < 48 ? 250 : 10, y < 32 ? 200 : 30, 90));
        ASSERT_TRUE(Q.save(QString::fromStdString((Dir / "in" / "a.jpg").string()), nullptr, 100));
        const TResult r = Run({"in/a.jpg"});
        ASSERT_EQ(r.Status, 0) << r.Err;
        const std::string Ext[3] = {"jpg", "png", "bmp"};
        const std::string Out = ReadFile(Dir / "out" / ("a." + Ext[Dialog]));
        ASSERT_GT(Out.size(), 60u) << Dialog;
        if (Dialog == 0) {
            const TJPEGHead H = JPEGHead(Out);
            EXPECT_THAT(H.Quant, ElementsAre(8, 9)); // 16 and 17 at quality 75
            EXPECT_THAT(H.Sampling, ElementsAre(0x11, 0x11, 0x11));
            EXPECT_TRUE(H.Progressive);
        } else if (Dialog == 1) {
            // 300 dots an inch: 11811 a metre, unit 1.
            EXPECT_NE(Out.find(std::string("pHYs\0\0\x2E\x23\0\0\x2E\x23\x01", 13)), std::string::npos);
        } else {
            EXPECT_LE(uint8_t(Out[28]), 8) << "bits a pixel";
        }
    }
}

TEST_F(Program, APictureOnlyAPlugInReadsIsConvertedWhenThePlugInIsOn)
{
    const fs::path Plugins = fs::path(VESTRO_TEST_BIN_DIR) / "spi";
    if (!fs::exists(Plugins / "pnm.spi"))
        GTEST_SKIP() << "the test plug-in is not built";
    WritePhoto(Dir / "in" / "p.ppm", 1200, 800, 1);
    for (const char* On : {"0", "1"}) {
        WriteProfile("[SPI]\nSPIDirectory=" + Plugins.string() + "\nSPIOrder=export.spi=1,pnm.spi=" + On + "\n");
        const TResult Folder = Run({"in"}), File = Run({"in/p.ppm"});
        if (*On == '0') {
            EXPECT_EQ(Folder.Status, 2) << Folder.Err;
            EXPECT_EQ(File.Status, 1) << File.Err;
            EXPECT_EQ(Count(File.Err, "p.ppm: "), 1) << File.Err;
            continue;
        }
        EXPECT_EQ(Folder.Status, 0) << Folder.Err;
        EXPECT_EQ(File.Status, 0) << File.Err;
        EXPECT_EQ(ImageSize(Dir / "out" / "in" / "p.png"), QSize(320, 213));
        EXPECT_EQ(ImageSize(Dir / "out" / "p.png"), QSize(320, 213));
    }
}

TEST_F(Program, AStartWithNoArgumentsWhileAnotherRunsEndsAtOnce)
{
    WriteProfile("Parallel=0\n");
    QProcess first;
    Start(first, Profile, Photos(16));
    WaitForLock();
    // Nothing to hand over, not even a profile: no window of its own, no run.
    QProcess bare;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", Platform);
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString((Dir / "run").string()));
    bare.setProcessEnvironment(env);
    bare.setWorkingDirectory(QString::fromStdString(Dir.string()));
    bare.start(QString::fromStdString(kProgram), {});
    ASSERT_TRUE(bare.waitForStarted());
    EXPECT_EQ(Ended(bare, 0, 20000), "");
    Ended(first, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out"), {}), 16);
}
