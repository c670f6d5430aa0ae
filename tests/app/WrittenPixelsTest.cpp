// Every picture writer read back by another reader (Qt's) and compared pixel
// by pixel with the colours it was given, and every reader given Qt's
// pictures: a swapped channel or palette entry, a wrong row order or bit
// packing shows here.
#include "TestApp.h"
#include "core/Bitmap.h"
#include "core/ImageInfo.h"
#include "core/ImageLoader.h"
#include "core/Kodex.h"
#include "core/PalettePNG.h"
#include "core/RunSettings.h"
#include "tests/core/PictureTestUtil.h"

#include <QImage>

namespace fs = std::filesystem;

namespace {

// Colours is how many colours the picture has (Channels 3 or 4; 4 adds alpha
// by row, 1 is gray). Neighbours differ in every channel.
TImgHolder Picture(uint32_t Channels, uint32_t Colours)
{
    TImgHolder p;
    AllocImg(p.I, 13, 7, Channels);
    for (uint32_t y = 0; y < 7; ++y)
        for (uint32_t x = 0; x < 13; ++x) {
            const uint32_t k = (x * 5 + y * 3) % Colours;
            uint8_t* s = ScanLine(p.I, y) + x * Channels;
            s[0] = uint8_t(k * 37 + 11);
            if (Channels >= 3)
                s[1] = uint8_t(k * 91 + 3), s[2] = uint8_t(250 - k * 13);
            if (Channels == 4)
                s[3] = uint8_t(y * 40);
        }
    return p;
}

// The colour Qt should see: memory holds blue, green, red (and alpha), the
// top row at ScanLine 0.
QRgb Want(const TImgInfo& I, uint32_t X, uint32_t Y)
{
    const uint8_t* s = ScanLine(I, Y) + X * I.Channels;
    if (I.Channels == 1)
        return qRgb(s[0], s[0], s[0]);
    return qRgba(s[2], s[1], s[0], I.Channels == 4 ? s[3] : 255);
}

// Depth: the bits a pixel the file's header must say (BMP only; 0 for any).
// Without Alpha only the colours count.
::testing::AssertionResult SamePixels(const fs::path& File, const TImgInfo& I, int Depth, bool Alpha = true,
                                      int Tolerance = 0)
{
    const QImage q(QString::fromStdString(File.string()));
    if (q.isNull() || q.width() != int(I.Width) || q.height() != int(I.Height))
        return ::testing::AssertionFailure() << File << " unreadable or of another size";
    if (const std::string f = ReadFile(File); Depth && (f.size() < 30 || f[28] != Depth))
        return ::testing::AssertionFailure() << File << " has another depth";
    for (uint32_t y = 0; y < I.Height; ++y)
        for (uint32_t x = 0; x < I.Width; ++x)
            if (const QRgb a = q.pixel(int(x), int(y)), b = Want(I, x, y); std::abs(qRed(a) - qRed(b)) > Tolerance ||
                std::abs(qGreen(a) - qGreen(b)) > Tolerance || std::abs(qBlue(a) - qBlue(b)) > Tolerance ||
                (Alpha && qAlpha(a) != qAlpha(b)))
                return ::testing::AssertionFailure() << File << " pixel " << x << "," << y << ": " << std::hex
                                                     << q.pixel(int(x), int(y)) << " for " << Want(I, x, y);
    return ::testing::AssertionSuccess();
}

class WrittenPixels : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        std::string Err;
        ASSERT_TRUE(KodexProcs.ReadPNG || LoadKodex(std::string(VESTRO_DIST_DIR) + "/", Err)) << Err;
        Dir = ScratchDir("pixels");
    }
    void TearDown() override { fs::remove_all(Dir); }
    fs::path Dir;
    TRunSettings S = TakeRunSettings();
};

} // namespace

TEST_F(WrittenPixels, BitmapsOfEveryDepth)
{
    // Palette files of 2, 16 and 200 colours at their smallest depth, and 8-bit
    // ones of few colours as colour reduction writes them.
    struct TCase {
        uint32_t Colours, MinBits;
        int Depth;
    };
    for (const TCase c : {TCase{2, 1, 1}, TCase{16, 1, 4}, TCase{200, 1, 8}, TCase{5, 8, 8}}) {
        const TImgHolder p = Picture(3, c.Colours);
        const fs::path f = Dir / ("p" + std::to_string(c.Colours) + "_" + std::to_string(c.MinBits) + ".bmp");
        ASSERT_TRUE(SavePaletteBitmap(f.string(), p.I, TResolutionInfo{}, S, c.MinBits));
        EXPECT_TRUE(SamePixels(f, p.I, c.Depth));
    }
    for (uint32_t Header : {0u, 1u}) {
        S.Bitmap.AlphaBitmapHeaderType = int32_t(Header);
        for (uint32_t Channels : {3u, 4u}) {
            const TImgHolder p = Picture(Channels, 97);
            const fs::path f = Dir / ("t" + std::to_string(Channels) + std::to_string(Header) + ".bmp");
            ASSERT_TRUE(SaveBitmapFile(f.string(), p.I, TResolutionInfo{}, S));
            EXPECT_TRUE(SamePixels(f, p.I, Channels == 3 ? 24 : 32, Header == 1)) << Header;
        }
    }
}

TEST_F(WrittenPixels, PNGsPaletteGrayTrueColourAndTheTransparentKey)
{
    const TImgHolder pal = Picture(3, 40), gray = Picture(1, 200), rgba = Picture(4, 97);
    ASSERT_TRUE(SavePalettePNG((Dir / "pal.png").string(), pal.I, nullptr, TResolutionInfo{}, S));
    EXPECT_TRUE(SamePixels(Dir / "pal.png", pal.I, 0));
    for (const TImgHolder* p : {&gray, &rgba}) {
        const fs::path f = Dir / ("c" + std::to_string(p->I.Channels) + ".png");
        ASSERT_NE(WritePNGFile(f.string(), p->I, nullptr, false, false, TResolutionInfo{}, 0, nullptr, S), 0);
        EXPECT_TRUE(SamePixels(f, p->I, 0));
    }
    // One filter at a time and the extreme levels: each row says which filter
    // made it, the stream's header which level, and the pixels stay.
    for (int i = 0; i < 5; ++i) {
        S.PNG.Filter = 8 << i;
        S.PNG.CompressLevel = i % 2 ? 9 : 0;
        const fs::path f = Dir / ("f" + std::to_string(i) + ".png");
        ASSERT_NE(WritePNGFile(f.string(), rgba.I, nullptr, false, false, TResolutionInfo{}, 0, nullptr, S), 0);
        EXPECT_TRUE(SamePixels(f, rgba.I, 0)) << i;
        const std::string File = ReadFile(f);
        QByteArray Z("\0\0\0\0", 4);
        for (size_t At = File.find("IDAT"); At != std::string::npos; At = File.find("IDAT", At + 4)) {
            const size_t Len = size_t(uint8_t(File[At - 4])) << 24 | size_t(uint8_t(File[At - 3])) << 16 |
                size_t(uint8_t(File[At - 2])) << 8 | uint8_t(File[At - 1]);
            Z.append(File.data() + At + 4, qsizetype(Len));
        }
        EXPECT_EQ(uint8_t(Z[5]) >> 6, i % 2 ? 3 : 0) << "level of filter " << i;
        Z[2] = char(7 * 53 >> 8), Z[3] = char(7 * 53 & 255);
        const QByteArray Raw = qUncompress(Z);
        ASSERT_EQ(Raw.size(), 7 * 53) << i;
        for (int Row = 0; Row < 7; ++Row)
            EXPECT_EQ(Raw[Row * 53], i) << "row " << Row;
    }
    S.PNG.Filter = 0;
    // The top-left colour is the transparent key: those pixels are clear, the rest as they were.
    S.PNG.TransparentType = 1;
    ASSERT_TRUE(SavePalettePNG((Dir / "key.png").string(), pal.I, nullptr, TResolutionInfo{}, S));
    const QImage q(QString::fromStdString((Dir / "key.png").string()));
    ASSERT_FALSE(q.isNull());
    int Clear = 0;
    for (uint32_t y = 0; y < 7; ++y)
        for (uint32_t x = 0; x < 13; ++x) {
            const bool Key = Want(pal.I, x, y) == Want(pal.I, 0, 0);
            Clear += Key;
            const QRgb Got = q.pixel(int(x), int(y));
            EXPECT_TRUE(Key ? qAlpha(Got) == 0 : Got == Want(pal.I, x, y)) << x << "," << y;
        }
    EXPECT_GT(Clear, 1);
}

// Flat blocks of four colours, one a coding unit, so that JPEG's loss stays small.
TEST_F(WrittenPixels, JPEGWriterAndEveryReaderKeepTheColours)
{
    TImgHolder p;
    AllocImg(p.I, 32, 32, 3);
    const QRgb Colours[4] = {qRgb(220, 30, 40), qRgb(20, 200, 60), qRgb(40, 50, 210), qRgb(240, 230, 20)};
    for (uint32_t y = 0; y < 32; ++y)
        for (uint32_t x = 0; x < 32; ++x) {
            const QRgb c = Colours[x / 16 + y / 16 * 2];
            uint8_t* s = ScanLine(p.I, y) + 3 * x;
            s[0] = uint8_t(qBlue(c)), s[1] = uint8_t(qGreen(c)), s[2] = uint8_t(qRed(c));
        }
    ASSERT_NE(WriteJPEG((Dir / "w.jpg").string(), p.I, 100, TResolutionInfo{}, false, nullptr, nullptr, 0, 2, 0, S), 0);
    EXPECT_TRUE(SamePixels(Dir / "w.jpg", p.I, 0, true, 12));
    // Qt writes, the program reads.
    QImage q(32, 32, QImage::Format_RGB32);
    for (uint32_t y = 0; y < 32; ++y)
        for (uint32_t x = 0; x < 32; ++x)
            q.setPixel(int(x), int(y), Want(p.I, x, y));
    for (const char* Name : {"q.bmp", "q.png", "q.jpg"}) {
        const std::string f = (Dir / Name).string();
        ASSERT_TRUE(q.save(QString::fromStdString(f), nullptr, 100));
        TImageInfo Info;
        ASSERT_TRUE(GetImageInfo(f, Info)) << Name;
        TImgHolder r;
        bool YCbCr = false;
        uint32_t Flags = 0;
        ASSERT_NE(LoadImageByType(Info, r.I, TScale{}, false, nullptr, YCbCr, Flags, 1, S), 0) << Name;
        ASSERT_EQ(std::make_tuple(r.I.Width, r.I.Height, r.I.Channels), std::make_tuple(32u, 32u, 3u)) << Name;
        // JPEG's loss is judged inside the blocks only.
        const bool Lossy = Name[2] == 'j';
        for (uint32_t y = 0; y < 32; ++y)
            for (uint32_t x = 0; x < 32; ++x)
                for (uint32_t c = 0; c < 3 && (!Lossy || (x % 16 - 3 < 10 && y % 16 - 3 < 10)); ++c)
                    ASSERT_NEAR(ScanLine(r.I, y)[3 * x + c], ScanLine(p.I, y)[3 * x + c], Lossy ? 12 : 0)
                        << Name << " " << x << "," << y;
    }
}
