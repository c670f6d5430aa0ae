// The built program on damaged BMP files and on the header probe's read
// errors: one line per file that says what is wrong, in the interface
// language, the same whether the list's probe or the decoder finds it; status
// 1, nothing written, the source kept. And the palette PNG of the colour
// reduction, read back row by row.
#include "AtOnceRun.h"

#include <QByteArray>

namespace fs = std::filesystem;

namespace {

void Put32(std::string& B, size_t At, uint32_t V)
{
    for (int i = 0; i < 4; ++i)
        B[At + size_t(i)] = char(V >> (8 * i));
}

// A 24-bit BMP of W x H (40-byte header), rows of a gradient.
std::string Bitmap24(uint32_t W, uint32_t H)
{
    const uint32_t Row = (W * 3 + 3) & ~3u;
    std::string B(54 + size_t(Row) * H, '\0');
    B[0] = 'B';
    B[1] = 'M';
    Put32(B, 2, uint32_t(B.size()));
    Put32(B, 10, 54);
    Put32(B, 14, 40);
    Put32(B, 18, W);
    Put32(B, 22, H);
    B[26] = 1;
    B[28] = 24;
    for (size_t i = 54; i < B.size(); ++i)
        B[i] = char(i * 7);
    return B;
}

// An 8-bit palette BMP of W x H with a 256-entry palette of colours.
std::string Bitmap8(uint32_t W, uint32_t H)
{
    const uint32_t Row = (W + 3) & ~3u;
    std::string B(54 + 1024 + size_t(Row) * H, '\0');
    B[0] = 'B';
    B[1] = 'M';
    Put32(B, 2, uint32_t(B.size()));
    Put32(B, 10, 54 + 1024);
    Put32(B, 14, 40);
    Put32(B, 18, W);
    Put32(B, 22, H);
    B[26] = 1;
    B[28] = 8;
    for (int i = 0; i < 256; ++i) {
        B[54 + 4 * size_t(i)] = char(i);
        B[55 + 4 * size_t(i)] = char(255 - i);
        B[56 + 4 * size_t(i)] = char(i * 3);
    }
    for (size_t i = 54 + 1024; i < B.size(); ++i)
        B[i] = char(i % 251);
    return B;
}

void Write(const fs::path& P, const std::string& Bytes)
{
    std::ofstream(P, std::ios::binary) << Bytes;
}

using DamagedBitmapVerdict = AtOnceRun;

} // namespace

TEST_F(DamagedBitmapVerdict, EachDamageIsNamedAlikeByTheProbeAndTheDecoderInEachLanguage)
{
    const std::string Good = Bitmap24(64, 48), Palette = Bitmap8(40, 30);
    std::string Huge = Bitmap24(64, 48);
    Put32(Huge, 18, 60000);
    Put32(Huge, 22, 60000);
    std::string Wide = Bitmap24(64, 48); // over the readers' side limit, small in pixels
    Put32(Wide, 18, 2000000);
    Put32(Wide, 22, 1);
    std::string Masks = Bitmap24(64, 48); // 16-bit with bit fields, cut before its masks
    Masks[28] = 16;
    Put32(Masks, 30, 3);
    const struct {
        const char* Name;
        std::string Bytes;
        const char* En;
        const char* De;
    } Files[] = {
        {"rows.bmp", Good.substr(0, Good.size() / 2), "The BMP file is truncated", "Die BMP-Datei ist abgeschnitten"},
        {"lastbyte.bmp", Good.substr(0, Good.size() - 3 * 64 + 1), "The BMP file is truncated",
         "Die BMP-Datei ist abgeschnitten"},
        {"header.bmp", Good.substr(0, 40), "The BMP file is truncated", "Die BMP-Datei ist abgeschnitten"},
        {"palette.bmp", Palette.substr(0, 54 + 500), "The BMP file is truncated", "Die BMP-Datei ist abgeschnitten"},
        {"masks.bmp", Masks.substr(0, 60), "The BMP file is truncated", "Die BMP-Datei ist abgeschnitten"},
        {"nodata.bmp", Good.substr(0, 54), "The BMP file is truncated", "Die BMP-Datei ist abgeschnitten"},
        {"huge.bmp", Huge, "picture too large", "Bild zu groß"},
        {"wide.bmp", Wide, "picture too large", "Bild zu groß"},
        {"short.bmp", "BM", "The BMP file is truncated", "Die BMP-Datei ist abgeschnitten"},
        // The probe's own read error: a PNG cut inside its header chunk.
        {"head.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0", 18), "Stream read error",
         "Lesefehler im Datenstrom"},
    };
    std::vector<std::string> Args{"in/good.bmp"};
    for (const auto& F : Files) {
        Write(Dir / "in" / F.Name, F.Bytes);
        Args.push_back(std::string("in/") + F.Name);
    }
    Write(Dir / "in" / "good.bmp", Good);
    // Named files and a folder walk go through the list's probe; with the
    // image check skipped the decoder meets every file itself.
    const struct {
        const char* Settings;
        bool Folder, German;
    } Runs[] = {
        {"", false, false},
        {"", true, false},
        {"[System]\nSkipImageCheck=1\n", false, false},
        {"[System]\nLanguage=de\n", false, true},
        {"[System]\nLanguage=de\nSkipImageCheck=1\n", false, true},
    };
    for (const auto& R : Runs) {
        fs::remove_all(Dir / "out");
        WriteProfile(R.Settings);
        const auto [Status, Err] = Start(R.Folder ? std::vector<std::string>{"in"} : Args);
        const std::string Tag = std::string(R.Settings) + (R.Folder ? " folder" : "");
        EXPECT_EQ(Status, 1) << Tag << "\n" << Err;
        for (const auto& F : Files) {
            // The decoder never meets the PNG cut in its header: its own
            // words for it are its own.
            if (std::string(F.Name) == "head.png" && std::string(R.Settings).find("Skip") != std::string::npos)
                continue;
            const std::string Line = LineOf(Err, F.Name);
            EXPECT_THAT(Line, HasSubstr(R.German ? F.De : F.En)) << Tag << " " << F.Name << "\n" << Err;
            EXPECT_EQ(Count(Err, std::string(F.Name) + ":"), 1) << Tag << " " << F.Name << "\n" << Err;
            EXPECT_FALSE(fs::exists(Dir / "out" / F.Name)) << Tag << " " << F.Name;
            EXPECT_EQ(ReadFile(Dir / "in" / F.Name), F.Bytes) << Tag << " " << F.Name;
        }
        EXPECT_THAT(Err, Not(HasSubstr("Unknown format"))) << Tag;
        EXPECT_THAT(Err, Not(HasSubstr("Unbekanntes Format"))) << Tag;
        EXPECT_EQ(ImageSize(Dir / "out" / "good.bmp"), QSize(64, 48)) << Tag << "\n" << Err;
    }
}

// Colour reduction to PNG: the palette PNG is written with filter 0 on every
// row, whatever filters the PNG settings choose for true-colour files.
TEST_F(DamagedBitmapVerdict, TheColourReductionsPalettePNGIsUnfiltered)
{
    if (!fs::exists("/usr/bin/pngquant") && !fs::exists(std::string(VESTRO_DIST_DIR) + "/bin/pngquant"))
        GTEST_SKIP() << "no pngquant";
    for (const char* Filter : {"248", "16", "128"}) {
        fs::remove_all(Dir / "out");
        WriteProfile(std::string("[JPEG]\nConvertTo=3\n[PNG]\nFilter=") + Filter +
                     "\nUsePNGOUT=0\n[DecreaseColor]\nUse=1\nMode=2\nPaletteEntries=16\nDitherType=0\n");
        WritePhoto(Dir / "in" / "a.jpg", 300, 200, 3);
        const auto [Status, Err] = Start({"in/a.jpg"});
        ASSERT_EQ(Status, 0) << Err;
        const std::string Png = ReadFile(Dir / "out" / "a.png");
        ASSERT_GT(Png.size(), 33u);
        ASSERT_EQ(Png.substr(12, 4), "IHDR");
        auto Be32 = [&](size_t At) {
            return uint32_t(uint8_t(Png[At])) << 24 | uint32_t(uint8_t(Png[At + 1])) << 16 |
                uint32_t(uint8_t(Png[At + 2])) << 8 | uint8_t(Png[At + 3]);
        };
        const uint32_t W = Be32(16), H = Be32(20), Depth = uint8_t(Png[24]), Type = uint8_t(Png[25]);
        EXPECT_EQ(Type, 3u) << Filter << ": a palette PNG";
        QByteArray Z;
        for (size_t At = 8; At + 8 <= Png.size();) {
            const uint32_t Len = Be32(At);
            if (Png.substr(At + 4, 4) == "IDAT")
                Z.append(Png.data() + At + 8, qsizetype(Len));
            At += 12 + size_t(Len);
        }
        const uint32_t RowBytes = (W * Depth + 7) / 8;
        const uint32_t Raw = (RowBytes + 1) * H;
        QByteArray Sized;
        for (int i = 3; i >= 0; --i)
            Sized.append(char(Raw >> (8 * i)));
        const QByteArray Rows = qUncompress(Sized + Z);
        ASSERT_EQ(uint32_t(Rows.size()), Raw) << Filter;
        int Filtered = 0;
        for (uint32_t y = 0; y < H; ++y)
            Filtered += Rows[qsizetype(y * (RowBytes + 1))] != 0;
        EXPECT_EQ(Filtered, 0) << "rows written with a filter other than 0, [PNG] Filter=" << Filter;
    }
}
