// One verdict per damaged BMP: the list's header probe and the decoder say
// the same words, in the interface language; and the palette-bitmap reader
// of the colour reduction speaks that language too.
#include "core/Bitmap.h"
#include "core/ErrorLog.h"
#include "core/Errors.h"
#include "core/ImageInfo.h"
#include "core/Kodex.h"
#include "core/ResourceText.h"
#include "core/RunSettings.h"
#include "FilesTestUtil.h"

#include <cstdlib>

namespace {

// A 24-bit W x H file (40-byte header) whose rows are all there.
std::vector<uint8_t> Bitmap24(int32_t W, int32_t H)
{
    const uint32_t Row = (uint32_t(W) * 3 + 3) & ~3u;
    TBmpSpec S{.Width = W, .Height = H, .Bits = 24};
    S.Data.assign(size_t(Row) * uint32_t(H), 0x5A);
    return MakeBmp(S);
}

std::vector<uint8_t> Cut(std::vector<uint8_t> B, size_t N)
{
    B.resize(N);
    return B;
}

class BitmapVerdict : public ::testing::Test {
protected:
    void SetUp() override
    {
        SavedExeDir = Startup.ExeDir;
        Startup.ExeDir = VESTRO_DIST_DIR "/";
        const char* All = std::getenv("LC_ALL");
        SavedAll = All ? All : "";
        HadAll = All != nullptr;
        setenv("LC_ALL", "C", 1);
        ErrorLog.Clear();
    }
    void TearDown() override
    {
        SetInterfaceLanguage("en");
        Startup.ExeDir = SavedExeDir;
        if (HadAll)
            setenv("LC_ALL", SavedAll.c_str(), 1);
        else
            unsetenv("LC_ALL");
        ErrorLog.Clear();
    }
    TTempDir Tmp;
    std::string SavedExeDir, SavedAll;
    bool HadAll = false;
};

} // namespace

TEST_F(BitmapVerdict, TheProbeAndTheDecoderGiveOneVerdictInEachLanguage)
{
    const std::vector<uint8_t> Good = Bitmap24(9, 6);
    std::vector<uint8_t> Huge = Good, Tall = Good, Bad = Good, Gray = Good;
    Put32(Huge, 18, 60000), Put32(Huge, 22, 60000);
    Put32(Tall, 18, 1), Put32(Tall, 22, uint32_t(-2000000)); // top-down, over the side limit
    Put32(Bad, 14, 12);                                      // no header has 12 bytes
    TBmpSpec P{.Width = 4, .Height = 2, .Bits = 8, .ColorsUsed = 200};
    P.Extra.assign(800, 7);
    P.Data.assign(8, 1);
    const std::vector<uint8_t> Pal = MakeBmp(P);
    const struct {
        const char* Name;
        std::vector<uint8_t> Bytes;
        const char *En, *De;
    } Files[] = {
        {"rows.bmp", Cut(Good, Good.size() - 2), // the last row lacks a pixel byte, not only its padding
         "The BMP file is truncated", "Die BMP-Datei ist abgeschnitten"},
        {"info.bmp", Cut(Good, 30), "The BMP file is truncated", "Die BMP-Datei ist abgeschnitten"},
        {"file.bmp", Cut(Good, 10), "The BMP file is truncated", "Die BMP-Datei ist abgeschnitten"},
        {"palette.bmp", Cut(Pal, 54 + 799), "The BMP file is truncated", "Die BMP-Datei ist abgeschnitten"},
        {"nodata.bmp", Cut(Pal, 54 + 800), "The BMP file is truncated", "Die BMP-Datei ist abgeschnitten"},
        {"huge.bmp", Huge, "picture too large", "Bild zu groß"},
        {"tall.bmp", Tall, "picture too large", "Bild zu groß"},
        {"header.bmp", Bad, "Unknown format", "Unbekanntes Format"},
    };
    for (const char* Lang : {"en", "de"}) {
        SetInterfaceLanguage(Lang);
        const bool De = std::string(Lang) == "de";
        for (const auto& F : Files) {
            const std::string Path = Tmp.Path + F.Name, Want = De ? F.De : F.En;
            WriteBytes(Path, F.Bytes);
            ErrorLog.Clear();
            TImageInfo Info;
            EXPECT_FALSE(GetImageInfo(Path, Info)) << F.Name;
            EXPECT_EQ(ErrorLog.Lines(), std::vector<std::string>{std::string(F.Name) + ":" + Want}) << Lang;
            TImgInfo Img;
            TBGColor Bg;
            EXPECT_EQ(ErrorOf([&] { LoadBitmapFromMemory(Path, Img, 0, Bg, 0); }), Want) << F.Name << " " << Lang;
            EXPECT_EQ(Img.Mem, nullptr);
        }
        // The whole file still reads, in both.
        WriteBytes(Tmp.Path + "good.bmp", Good);
        TImageInfo Info;
        EXPECT_TRUE(GetImageInfo(Tmp.Path + "good.bmp", Info));
        EXPECT_EQ(std::make_pair(Info.Width, Info.Height), std::make_pair(9, 6));
        // The probe's own read error, of a PNG cut inside its header chunk.
        WriteBytes(Tmp.Path + "head.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0});
        ErrorLog.Clear();
        EXPECT_FALSE(GetImageInfo(Tmp.Path + "head.png", Info));
        EXPECT_EQ(ErrorLog.Lines(),
                  std::vector<std::string>{std::string("head.png:") +
                                           (De ? "Lesefehler im Datenstrom" : "Stream read error")});
    }
}

// The palette-bitmap reader's refusals, in the interface language.
TEST_F(BitmapVerdict, ThePaletteBitmapReaderSpeaksTheInterfaceLanguage)
{
    TBmpSpec P{.Width = 4, .Height = 2, .Bits = 8, .ColorsUsed = 4};
    P.Extra.assign(16, 9);
    P.Data.assign(8, 1);
    const std::vector<uint8_t> Good = MakeBmp(P);
    std::vector<uint8_t> NotBmp = Good, Deep = Good;
    NotBmp[0] = 'X';
    Deep[28] = 24;
    const struct {
        std::vector<uint8_t> Bytes;
        const char *En, *De;
    } Rows[] = {
        {NotBmp, "Unknown format", "Unbekanntes Format"},
        {Deep, "Unknown format", "Unbekanntes Format"},
        {Cut(Good, Good.size() - 5), "Failed to load file", "Datei konnte nicht geladen werden"},
        {Cut(Good, 40), "Failed to load file", "Datei konnte nicht geladen werden"},
    };
    for (const char* Lang : {"en", "de"}) {
        SetInterfaceLanguage(Lang);
        const bool De = std::string(Lang) == "de";
        for (const auto& R : Rows) {
            WriteBytes(Tmp.Path + "tool.bmp", R.Bytes);
            EXPECT_EQ(ErrorOf([&] {
                          LoadPaletteBitmapFile(Tmp.Path + "tool.bmp", Tmp.Path + "out.png", 4, {}, nullptr, 0,
                                                TakeRunSettings());
                      }),
                      De ? R.De : R.En)
                << Lang;
        }
        EXPECT_EQ(ErrorOf([&] {
                      LoadPaletteBitmapFile(Tmp.Path + "none.bmp", Tmp.Path + "out.png", 4, {}, nullptr, 0,
                                            TakeRunSettings());
                  }),
                  De ? "Datei konnte nicht geladen werden" : "Failed to load file");
    }
}
