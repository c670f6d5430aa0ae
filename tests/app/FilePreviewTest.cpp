// Thumbnails of listed files and the external viewer's command line.
#include "TestApp.h"
#include "app/FileListView.h"
#include "app/FilePreview.h"
#include "app/ThumbnailFrm.h"
#include "core/Bitmap.h"
#include "core/ImageInfoExif.h"
#include "core/Kodex.h"
#include "effects/ui/PreviewFrm.h"
#include "platform/Process.h"
#include "platform/Session.h"

#include <QAction>
#include <QClipboard>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace {

// A list view of Files beside its thumbnail window, shown and focused, the
// thumbnail command checked when Showing.
struct TListWithThumbnail {
    TListWithThumbnail(TImageInfoList* Files, bool Showing) : View(new TFileListView(&Window, Files))
    {
        Show.setCheckable(true);
        Show.setChecked(Showing);
        Ignore.setCheckable(true);
        View->SetThumbnailWindow(&Thumb, &Show, &Ignore);
        View->ReloadList();
        Window.show();
        View->setFocus();
    }
    QWidget Window;
    QAction Show, Ignore;
    TFileListView* View;
    TThumbnailForm Thumb{&Window, &Show};
};

class Previews : public TListsTest {
protected:
    void SetUp() override
    {
        TListsTest::SetUp();
        std::string Err;
        ASSERT_TRUE(LoadKodex(std::string(VESTRO_DIST_DIR) + "/", Err)) << Err;
        Settings.File.FileNameFormat = "<old>";
        Settings.Preview.ViewerPath.clear();
    }
    // A picture of W x H with a gradient, so that shrinking has work to do,
    // as JPEG or BMP by its name.
    std::string Picture(const std::string& Name, uint32_t W, uint32_t H)
    {
        TImgInfo Img;
        AllocImg(Img, W, H, 3);
        for (uint32_t Y = 0; Y < H; ++Y)
            for (uint32_t X = 0; X < W * 3; ++X)
                ScanLine(Img, Y)[X] = uint8_t((X / 3 + Y) & 255);
        const std::string P = (Dir / Name).string();
        EXPECT_TRUE(Name.ends_with(".jpg")
                        ? WriteJPEG(P, Img, 85, TResolutionInfo{}, false, nullptr, nullptr, 0, 1, 0, TakeRunSettings())
                        : SaveBitmapFile(P, Img, TResolutionInfo{}, TakeRunSettings()));
        FreeImg(Img);
        return P;
    }
    // An uncompressed RGB TIFF, red rising left to right and green top to bottom.
    std::string Tiff(const std::string& Name, uint32_t W, uint32_t H)
    {
        std::string F("II*\0\x08\0\0\0", 8);
        auto Put = [&F](uint32_t V, int Bytes) {
            for (int i = 0; i < Bytes; ++i)
                F += char(V >> (8 * i));
        };
        const uint32_t Tags[9][3] = {{256, 4, W},   {257, 4, H}, {258, 3, 122}, {259, 3, 1},        {262, 3, 2},
                                     {273, 4, 128}, {277, 3, 3}, {278, 4, H},   {279, 4, W * H * 3}};
        Put(9, 2);
        for (const auto& T : Tags) {
            Put(T[0], 2), Put(T[1], 2), Put(T[0] == 258 ? 3 : 1, 4);
            Put(T[2], T[1] == 3 && T[0] != 258 ? 2 : 4);
            if (T[1] == 3 && T[0] != 258)
                Put(0, 2);
        }
        Put(0, 4);
        Put(8, 2), Put(8, 2), Put(8, 2);
        for (uint32_t Y = 0; Y < H; ++Y)
            for (uint32_t X = 0; X < W; ++X)
                F += char(X * 255 / (W - 1)), F += char(Y * 255 / (H - 1)), F += char(128);
        const std::string P = (Dir / Name).string();
        std::ofstream(P, std::ios::binary) << F;
        return P;
    }
    TImageInfo* Listed(const std::string& Path)
    {
        auto* E = new TImageInfo;
        EXPECT_TRUE(GetImageInfo(Path, *E));
        Files.Add(E);
        return E;
    }
    // A viewer script, run by /bin/sh (so that a temporary folder mounted
    // without execution does not matter), that writes the arguments it got,
    // each ended by a zero byte, to viewer.sh.args beside itself.
    std::string Viewer()
    {
        const fs::path P = Dir / "viewer.sh";
        std::ofstream(P)
            << "#!/bin/sh\nout=\"$0.args\"\n: > \"$out.tmp\"\n"
               "for a in \"$@\"; do printf '%s\\0' \"$a\" >> \"$out.tmp\"; done\nmv \"$out.tmp\" \"$out\"\n";
        return P.string();
    }
    std::vector<std::string> ViewerGot()
    {
        WaitFor([&] { return fs::exists(Dir / "viewer.sh.args"); }, 10000);
        const std::string All = ReadFile(Dir / "viewer.sh.args");
        std::vector<std::string> Args;
        for (size_t B = 0, E; (E = All.find('\0', B)) != std::string::npos; B = E + 1)
            Args.push_back(All.substr(B, E - B));
        return Args;
    }
};

TEST_F(Previews, LargePicturesAreDecodedSmallAndCachedSmallOnesShownAsTheyAre)
{
    TImageInfo* Big = Listed(Picture("big.jpg", 2400, 1800));
    QImage B;
    ASSERT_TRUE(UpdateThumbnail(B, *Big, false));
    EXPECT_EQ(B.size(), QSize(160, 120));
    ASSERT_GT(Big->FThumbnail.size(), 2u);
    EXPECT_TRUE(Big->FThumbnail[0] == 0xFF && Big->FThumbnail[1] == 0xD8) << "a JPEG";
    // From now on the cached picture is shown, even without the file.
    fs::remove(Dir / "big.jpg");
    ASSERT_TRUE(UpdateThumbnail(B, *Big, false));
    EXPECT_EQ(B.size(), QSize(160, 120));

    TImageInfo* Small = Listed(Picture("small.bmp", 100, 80));
    ASSERT_TRUE(UpdateThumbnail(B, *Small, false));
    EXPECT_EQ(B.size(), QSize(100, 80));
    EXPECT_TRUE(Small->FThumbnail.empty());
    EXPECT_EQ(B.pixelColor(10, 5).red(), (10 + 5) & 255); // the picture arrives unmoved: top-left is top-left
}

// A TIFF has no thumbnail of its own: it is decoded small beside the window,
// which shows it once it is there, and cached.
TEST_F(Previews, PicturesWithoutAThumbnailAreDecodedSmallBesideTheWindow)
{
    ASSERT_EQ(Listed(Tiff("gone.tif", 1200, 900))->PictureFormat, pfWIC);
    TListWithThumbnail L(&Files, true);
    QWidget& Main = L.Window;
    TFileListView* View = L.View;
    TThumbnailForm& Thumb = L.Thumb;
    // A row removed while its picture is decoded: the late picture is dropped.
    QTest::keyClick(View, Qt::Key_Down);
    QTest::keyClick(View, Qt::Key_Delete);
    ASSERT_EQ(Files.Count(), 0);
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_TRUE(Thumb.FPath.empty());

    TImageInfo* E = Listed(Tiff("big.tif", 1200, 900));
    View->ReloadList();
    QTest::keyClick(View, Qt::Key_Down);
    EXPECT_TRUE(Thumb.FPath.empty()) << "the key waited for the decode";
    ASSERT_TRUE(WaitFor([&] { return Thumb.FPath == E->Path(); }));
    // 160 x 120 in the middle of the window: its corners are the picture's.
    const auto Near = [](QColor C, int R, int G) { return std::abs(C.red() - R) <= 4 && std::abs(C.green() - G) <= 4; };
    EXPECT_TRUE(Near(Thumb.Thumbnail.pixelColor(0, 20), 0, 0))
        << Thumb.Thumbnail.pixelColor(0, 20).name().toStdString();
    EXPECT_TRUE(Near(Thumb.Thumbnail.pixelColor(159, 139), 255, 255));
    EXPECT_EQ(Thumb.Thumbnail.pixelColor(80, 10), Main.palette().color(QPalette::Button)); // above the picture
    ASSERT_GT(E->FThumbnail.size(), 2u);
    QImage B;
    fs::remove(E->Path());
    ASSERT_TRUE(UpdateThumbnail(B, *E, false)); // the cached one
    EXPECT_EQ(B.size(), QSize(160, 120));
}

namespace {

// A W x H picture whose edges say where they are: red on the left, blue on
// the right, yellow at the top, magenta at the bottom (each an eighth of the
// side, at least 6 pixels), green inside.
void PaintEdges(TImgInfo& Img, uint32_t W, uint32_t H)
{
    AllocImg(Img, W, H, 3);
    const uint32_t BX = std::max(W / 8, 6u), BY = std::max(H / 8, 6u);
    for (uint32_t Y = 0; Y < H; ++Y)
        for (uint32_t X = 0; X < W; ++X) {
            QRgb C = qRgb(0, 200, 0);
            if (X < BX)
                C = qRgb(230, 0, 0);
            else if (X >= W - BX)
                C = qRgb(0, 0, 230);
            else if (Y < BY)
                C = qRgb(230, 230, 0);
            else if (Y >= H - BY)
                C = qRgb(230, 0, 230);
            uint8_t* P = ScanLine(Img, Y) + 3 * X;
            P[0] = uint8_t(qBlue(C)), P[1] = uint8_t(qGreen(C)), P[2] = uint8_t(qRed(C));
        }
}

// The box of Picture that differs from Background.
QRect PictureBox(const QImage& Picture, QColor Background)
{
    QRect Box;
    for (int Y = 0; Y < Picture.height(); ++Y)
        for (int X = 0; X < Picture.width(); ++X)
            if (Picture.pixelColor(X, Y) != Background)
                Box |= QRect(X, Y, 1, 1);
    return Box;
}

bool Near(QColor C, QRgb Want)
{
    return std::abs(C.red() - qRed(Want)) < 48 && std::abs(C.green() - qGreen(Want)) < 48 &&
        std::abs(C.blue() - qBlue(Want)) < 48;
}

} // namespace

// A camera's thumbnail is shown whole, fitted into 160 x 160 when it is
// larger on either side, as it is when smaller or exactly 160; nothing is
// cached for it (the file keeps it).
TEST_F(Previews, AnEmbeddedThumbnailIsShownWholeFittedInto160)
{
    const struct {
        uint32_t W, H;
    } Sizes[] = {{196, 122}, {122, 196}, {300, 300}, {100, 60}, {160, 160}, {160, 90}, {90, 161}};
    // The main picture, and each file: it with an EXIF block holding the thumbnail.
    TImgInfo Main;
    AllocImg(Main, 800, 600, 3);
    std::memset(Main.Mem, 90, size_t(Main.Bpl) * 600);
    const std::string MainPath = (Dir / "main.jpg").string();
    ASSERT_TRUE(WriteJPEG(MainPath, Main, 85, TResolutionInfo{}, false, nullptr, nullptr, 0, 1, 0, TakeRunSettings()));
    FreeImg(Main);
    const std::string MainBytes = ReadFile(MainPath);
    std::vector<TImageInfo*> Entries;
    for (const auto& Sz : Sizes) {
        TImgInfo Thumb;
        PaintEdges(Thumb, Sz.W, Sz.H);
        std::vector<uint8_t> Jpeg;
        ASSERT_TRUE(EncodeThumbnailJPEG(Thumb, 95, Jpeg));
        FreeImg(Thumb);
        // SOI, APP1 "Exif" with IFD0 (orientation 1), then the thumbnail's IFD1.
        const uint8_t Head[] = {0xFF, 0xD8, 0xFF, 0xE1, 0,    34, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0,
                                8,    0,    1,    1,    0x12, 0,  3,   0,   0,   0,   1, 0, 1,   0,   0, 0,  0, 0, 0};
        std::vector<uint8_t> F(std::begin(Head), std::end(Head));
        uint32_t NewSize = 0, Pos = 0;
        ASSERT_TRUE(RebuildExifThumbnail(F, Jpeg.data(), uint32_t(Jpeg.size()), 1, NewSize, Pos));
        F[Pos - 2] = uint8_t((NewSize + 2) >> 8), F[Pos - 1] = uint8_t(NewSize + 2); // the segment's length
        F.insert(F.end(), MainBytes.begin() + 2, MainBytes.end());
        const fs::path P = Dir / ("t" + std::to_string(Sz.W) + "x" + std::to_string(Sz.H) + ".jpg");
        std::ofstream(P, std::ios::binary).write(reinterpret_cast<const char*>(F.data()), std::streamsize(F.size()));
        Entries.push_back(Listed(P.string()));
        ASSERT_EQ(Entries.back()->FThumbnailSize, Jpeg.size()) << P;
    }
    TListWithThumbnail L(&Files, true);
    QWidget& Window = L.Window;
    TFileListView* View = L.View;
    TThumbnailForm& Thumb = L.Thumb;
    const QColor Face = Window.palette().color(QPalette::Button);
    for (size_t i = 0; i < std::size(Sizes); ++i) {
        const auto& Sz = Sizes[i];
        const std::string Which = std::to_string(Sz.W) + " x " + std::to_string(Sz.H);
        QTest::keyClick(View, Qt::Key_Down);
        ASSERT_EQ(Thumb.FPath, Entries[i]->Path()) << Which << ": the embedded picture is shown at once";
        uint32_t W, H;
        ThumbnailSize(Sz.W, Sz.H, W, H);
        ASSERT_LE(std::max(W, H), 160u);
        const QRect Box = PictureBox(Thumb.Thumbnail, Face);
        EXPECT_EQ(Box, QRect(int(160 - W) / 2, int(160 - H) / 2, int(W), int(H))) << Which;
        // Each edge of the thumbnail is there: the whole picture, not its middle.
        const QPoint C = Box.center();
        EXPECT_TRUE(Near(Thumb.Thumbnail.pixelColor(Box.left() + 1, C.y()), qRgb(230, 0, 0))) << Which << " left";
        EXPECT_TRUE(Near(Thumb.Thumbnail.pixelColor(Box.right() - 1, C.y()), qRgb(0, 0, 230))) << Which << " right";
        EXPECT_TRUE(Near(Thumb.Thumbnail.pixelColor(C.x(), Box.top() + 1), qRgb(230, 230, 0))) << Which << " top";
        EXPECT_TRUE(Near(Thumb.Thumbnail.pixelColor(C.x(), Box.bottom() - 1), qRgb(230, 0, 230))) << Which << " bottom";
        EXPECT_TRUE(Near(Thumb.Thumbnail.pixelColor(C.x(), C.y()), qRgb(0, 200, 0))) << Which;
        EXPECT_TRUE(Entries[i]->FThumbnail.empty()) << Which;
    }
    EXPECT_EQ(ErrorLog.GetErrorCount(), 0);
}

// A photograph of the mate-backgrounds set whose camera thumbnail is 196 x 122:
// the window shows that thumbnail fitted into 160 x 99, pixel for pixel.
TEST_F(Previews, ThePhotographsWideEmbeddedThumbnailIsShownFitted)
{
    const std::string Dune = "/usr/share/backgrounds/mate/nature/Dune.jpg";
    if (!fs::exists(Dune))
        GTEST_SKIP() << Dune << " is not installed (scripts/setup installs it)";
    TImageInfo* E = Listed(Dune);
    ASSERT_GT(E->FThumbnailSize, 0u);
    const std::string Bytes = ReadFile(Dune);
    ASSERT_LE(uint64_t(E->FThumbnailPos) + E->FThumbnailSize, Bytes.size());
    TImgInfo Embedded;
    ASSERT_TRUE(ReadJPEGFromMemory(reinterpret_cast<const uint8_t*>(Bytes.data()) + E->FThumbnailPos, E->FThumbnailSize,
                                   Embedded, TakeRunSettings()));
    ASSERT_EQ(std::make_pair(Embedded.Width, Embedded.Height), std::make_pair(196u, 122u));
    TImgInfo Fitted;
    Resizer.ResizeImage(Embedded, Fitted, 160, 99, false);
    const QImage Want = ImgToQImage(Fitted, Settings.Background);
    FreeImg(Embedded);
    FreeImg(Fitted);

    TListWithThumbnail L(&Files, true);
    QWidget& Window = L.Window;
    TFileListView* View = L.View;
    TThumbnailForm& Thumb = L.Thumb;
    QTest::keyClick(View, Qt::Key_Down);
    ASSERT_EQ(Thumb.FPath, Dune);
    const QImage Got = Thumb.Thumbnail.copy(0, 30, 160, 99).convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(Got, Want.convertToFormat(QImage::Format_RGB888));
    EXPECT_EQ(PictureBox(Thumb.Thumbnail, Window.palette().color(QPalette::Button)), QRect(0, 30, 160, 99));
}

// A damaged photograph's thumbnail: the Thumbnail command shows what it can
// and says nothing; a selection of its row says the reason once, however
// often the row is selected again.
TEST_F(Previews, ADamagedFilesThumbnailSaysItsReasonOnceAndTheCommandNever)
{
    const std::string Damaged = Picture("damaged.jpg", 640, 480);
    {
        std::string B = ReadFile(Damaged);
        const size_t Dht = B.find("\xFF\xC4");
        ASSERT_NE(Dht, std::string::npos);
        B[Dht + 5] = char(0xFF); // more codes one bit long than a table holds
        std::ofstream(Damaged, std::ios::binary) << B;
    }
    Listed(Damaged);
    Listed(Picture("good.bmp", 40, 30));
    TListWithThumbnail L(&Files, false);
    TFileListView* View = L.View;
    TThumbnailForm& Thumb = L.Thumb;
    QAction& Show = L.Show;
    QObject::connect(&Show, &QAction::triggered, View, &TFileListView::ShowThumbnailExecute);
    const auto Settled = [&](const std::string& Path) {
        EXPECT_TRUE(WaitFor([&] { return Thumb.FPath == Path; }, 10000)) << Path;
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
    };
    platform::TStderrCapture Err;
    QTest::keyClick(View, Qt::Key_Down); // the row is current, no thumbnail asked for yet
    Show.trigger();
    Settled(Damaged);
    EXPECT_TRUE(Thumb.isVisible());
    EXPECT_EQ(ErrorLog.GetErrorCount(), 0);
    std::string Said = Err.End();
    EXPECT_THAT(Said, Not(HasSubstr("damaged.jpg"))) << "the command said something";

    platform::TStderrCapture Err2;
    for (int Round = 0; Round < 3; ++Round) {
        QTest::keyClick(View, Qt::Key_Down);
        Settled(Files.Items(1)->Path());
        QTest::keyClick(View, Qt::Key_Up);
        Settled(Damaged);
    }
    View->ReloadList(); // as after a hand-off: the row becomes current afresh
    QTest::keyClick(View, Qt::Key_Down);
    Settled(Damaged);
    Said = Err2.End();
    size_t Lines = 0;
    for (size_t P = 0; (P = Said.find("damaged.jpg: ", P)) != std::string::npos; ++P)
        ++Lines;
    EXPECT_EQ(Lines, 1u) << Said;
    EXPECT_THAT(Said, HasSubstr("damaged.jpg: Bogus Huffman table definition"));
    EXPECT_EQ(ErrorLog.GetErrorCount(), 0);

    // The file written again (still damaged): the refresh probes it afresh,
    // and its thumbnail says so once more.
    fs::last_write_time(Damaged, fs::last_write_time(Damaged) + std::chrono::seconds(10));
    platform::TStderrCapture Err3;
    View->RefreshFileList();
    ASSERT_EQ(Files.Count(), 2);
    QTest::keyClick(View, Qt::Key_Down);
    Settled(Damaged);
    QTest::keyClick(View, Qt::Key_Down);
    Settled(Files.Items(1)->Path());
    QTest::keyClick(View, Qt::Key_Up);
    Settled(Damaged);
    Said = Err3.End();
    EXPECT_EQ(Said.find("damaged.jpg: "), Said.rfind("damaged.jpg: ")) << Said;
    EXPECT_THAT(Said, HasSubstr("damaged.jpg: Bogus Huffman table definition"));
}

// A file written anew is probed afresh by the list's refresh: its thumbnail
// is the new picture's, not the one made of the old.
TEST_F(Previews, AFileWrittenAnewLosesTheThumbnailOfItsOldPicture)
{
    TImageInfo* E = Listed(Picture("photo.jpg", 2400, 1800));
    QImage B;
    ASSERT_TRUE(UpdateThumbnail(B, *E, false));
    ASSERT_EQ(B.size(), QSize(160, 120));
    ASSERT_FALSE(E->FThumbnail.empty());
    Picture("photo.jpg", 1200, 1600);
    fs::last_write_time(E->Path(), fs::last_write_time(E->Path()) + std::chrono::seconds(10));
    TFileListModel Model(&Files);
    EXPECT_EQ(Model.RefreshEntries(), 0);
    ASSERT_TRUE(UpdateThumbnail(B, *E, false));
    EXPECT_EQ(B.size(), QSize(120, 160));
}

TEST_F(Previews, TheJPEGBufferGrowsPastSixtyFourKilobytes)
{
    TImgInfo Noise;
    AllocImg(Noise, 400, 400, 3);
    std::mt19937 Rng(7);
    for (uint32_t Y = 0; Y < 400; ++Y)
        for (uint32_t X = 0; X < 1200; ++X)
            ScanLine(Noise, Y)[X] = uint8_t(Rng());
    std::vector<uint8_t> Out;
    ASSERT_TRUE(EncodeThumbnailJPEG(Noise, 80, Out));
    FreeImg(Noise);
    EXPECT_GT(Out.size(), 65536u);
    TImgInfo Back;
    ASSERT_TRUE(ReadJPEGFromMemory(Out.data(), Out.size(), Back, TakeRunSettings()));
    EXPECT_EQ(std::make_pair(Back.Width, Back.Height), std::make_pair(400u, 400u));
    FreeImg(Back);
}

TEST_F(Previews, TheViewerGetsOneArgumentPerNameAndThePictureOnTheClipboard)
{
    // Each argument is split from the options first; what is put in stays whole.
    EXPECT_EQ(ViewerArguments("/usr/bin/v", "-a \"two words\" x$Ty --t=$t $p", "a b;$p", "/opt/v dir/"),
              (std::vector<std::string>{"/usr/bin/v", "-a", "two words", "xa b;$py", "--t=a b;$p", "/opt/v dir/"}));
    EXPECT_EQ(ViewerArguments("/v", "", "c", "/p/"), std::vector<std::string>{"/v"});

    const std::string Name = "it's a \"test\"; $(touch pwned) & `id` | x.bmp";
    Listed(Picture(Name, 30, 20));
    Settings.Preview.ViewerPath = "/bin/sh";
    Settings.Preview.ViewerOption = "\"" + Viewer() + "\" --title=$t --dir $p";
    Settings.Preview.ViewerOption2 = "\"" + Viewer() + "\" --new \"$T\"";
    ASSERT_TRUE(ViewerExists());
    QGuiApplication::clipboard()->clear();
    TListPreview Preview(nullptr);
    Preview.Execute(0, false);
    EXPECT_THAT(ViewerGot(), ElementsAre(StartsWith("--title=" + Name + ":"), "--dir", Startup.ExeDir));
    EXPECT_FALSE(fs::exists("pwned") || fs::exists(Dir / "pwned"));
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(30, 20));
    EXPECT_EQ(ErrorLog.GetErrorCount(), 0);

    fs::remove(Dir / "viewer.sh.args");
    Preview.Execute(0, true);
    EXPECT_THAT(ViewerGot(), ElementsAre("--new", StartsWith(Name + ":")));
}

TEST_F(Previews, AGrayAndAlphaPictureIsShownAsTheRunWritesIt)
{
    // Larger than the window, so that the fitted copy is shrunk; written as
    // PNG again, so the chain keeps it gray+alpha.
    TImgInfo Img;
    AllocImg(Img, 1600, 1000, 2);
    for (uint32_t Y = 0; Y < Img.Height; ++Y)
        for (uint32_t X = 0; X < Img.Width; ++X) {
            ScanLine(Img, Y)[X * 2] = uint8_t(X / 8 % 2 ? 200 : 40);
            ScanLine(Img, Y)[X * 2 + 1] = uint8_t(X < Img.Width / 2 ? 255 : 0);
        }
    const std::string P = (Dir / "Stripes.png").string();
    ASSERT_TRUE(WritePNG(P, Img, 0, false, false, {}, 0, nullptr, nullptr, 6, TakeRunSettings()));
    FreeImg(Img);
    ASSERT_EQ(Listed(P)->PictureFormat, pfPNG);
    // The loader keeps alpha only where the blending kernels exist.
    const uint32_t SavedFeatures = Startup.CPUFeatures;
    Startup.CPUFeatures = GetCPUFeatures();

    TListPreview Preview(nullptr);
    std::string Title;
    QImage Shown;
    QObject Context;
    QTimer::singleShot(0, &Context, [&] {
        if (TPreviewForm* F = Preview.Form()) {
            Title = F->windowTitle().toStdString();
            // Magnified, then fitted again: the fitted copy is made anew.
            F->SetViewMode(1);
            F->SetViewMode(0);
            Shown = F->grab().toImage();
            F->close();
        }
    });
    Preview.Execute(0, false);
    Startup.CPUFeatures = SavedFeatures;
    EXPECT_EQ(Title.rfind("Stripes.png:", 0), 0u) << Title;
    EXPECT_FALSE(Shown.isNull());
    EXPECT_EQ(std::make_tuple(ErrorLog.GetErrorCount(), Preview.Form()), std::make_tuple(0, nullptr));
}

TEST_F(Previews, ThePreviewWindowStepsRoundTheList)
{
    for (const char* N : {"a.bmp", "b.bmp", "c.bmp"})
        Listed(Picture(N, 30 + 10 * (N[0] - 'a'), 20));
    TListPreview Preview(nullptr);
    std::vector<std::pair<int, std::string>> Seen;
    auto Look = [&] {
        TPreviewForm* F = Preview.Form();
        Seen.emplace_back(Preview.PreviewIndex(), F ? F->windowTitle().toStdString() : "");
    };
    auto Press = [&](Qt::Key K) { QTest::keyClick(Preview.Form(), K); };
    QTimer::singleShot(0, [&] {
        Look();
        Press(Qt::Key_Right); // past the last: the first
        Look();
        Press(Qt::Key_Left); // before the first: the last
        Look();
        Press(Qt::Key_Left);
        Look();
        if (Preview.Form())
            Preview.Form()->close();
    });
    Preview.Execute(2, false);
    using ::testing::Pair;
    EXPECT_THAT(Seen,
                ElementsAre(Pair(2, StartsWith("c.bmp:")), Pair(0, StartsWith("a.bmp:")), Pair(2, StartsWith("c.bmp:")),
                            Pair(1, StartsWith("b.bmp:"))));
    EXPECT_EQ(Preview.Form(), nullptr);

    // A file that went away while the window is open: stepping onto it
    // closes the window instead of showing something else.
    fs::remove(Dir / "a.bmp");
    bool StillOpen = true;
    QTimer::singleShot(0, [&] {
        Press(Qt::Key_Right);
        StillOpen = Preview.Form() && Preview.Form()->isVisible();
        if (StillOpen)
            Preview.Form()->close();
    });
    Preview.Execute(2, false);
    EXPECT_FALSE(StillOpen);
    EXPECT_EQ(Preview.Form(), nullptr);

    // A damaged picture: one line with the reader's reason, not the codec's
    // line and then ours.
    const std::string Cut = Picture("cut.jpg", 64, 48);
    fs::resize_file(Cut, fs::file_size(Cut) / 2);
    Listed(Cut);
    testing::internal::CaptureStderr();
    QTimer::singleShot(0, [&] {
        Press(Qt::Key_Right); // c.bmp -> cut.jpg
        if (Preview.Form())
            Preview.Form()->close();
    });
    Preview.Execute(2, false);
    const std::string Said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Count(Said, "cut.jpg"), 1) << Said;
    EXPECT_THAT(Said, HasSubstr("cut.jpg: Failed to load file: "));
}

} // namespace
