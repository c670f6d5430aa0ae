// The colour profile and the EXIF block of a JPEG source, kept or dropped in
// each output format under each metadata setting, as the built program
// writes them: read from the output's own segments and chunks, and the
// profile through Qt's readers as another program would see it.
#include "AtOnceRun.h"

#include <QColorSpace>
#include <QImage>

namespace fs = std::filesystem;

namespace {

uint32_t Be16(const std::string& B, size_t At)
{
    return uint32_t(uint8_t(B[At])) << 8 | uint8_t(B[At + 1]);
}
uint32_t Be32(const std::string& B, size_t At)
{
    return Be16(B, At) << 16 | Be16(B, At + 2);
}

// A JPEG with an sRGB profile (Qt writes it) and, when Exif, an EXIF block
// of one entry (orientation 1) right after SOI.
std::string SourceJPEG(const fs::path& P, bool Exif)
{
    QImage Img(120, 80, QImage::Format_RGB32);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 120; ++x)
            Img.setPixel(x, y, qRgb(x * 2, y * 3, (x + y) & 255));
    Img.setColorSpace(QColorSpace(QColorSpace::SRgb));
    EXPECT_TRUE(Img.save(QString::fromStdString(P.string()), "JPEG", 92));
    std::string J = ReadFile(P);
    if (Exif) {
        const std::string Block =
            std::string("Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x01\0\0\0\0\0\0\0", 32);
        const std::string App1 =
            std::string("\xFF\xE1", 2) + char((Block.size() + 2) >> 8) + char((Block.size() + 2) & 255) + Block;
        J.insert(2, App1);
        std::ofstream(P, std::ios::binary) << J;
    }
    return J;
}

struct TCarried {
    bool Exif = false, Icc = false;
};

// What the output's segments (JPEG) or chunks (PNG) carry.
TCarried Carried(const std::string& F)
{
    TCarried C;
    if (F.size() > 4 && uint8_t(F[0]) == 0xFF && uint8_t(F[1]) == 0xD8) {
        for (size_t i = 2; i + 4 <= F.size() && uint8_t(F[i]) == 0xFF;) {
            const uint8_t M = uint8_t(F[i + 1]);
            if (M == 0xDA || M == 0xD9)
                break;
            const size_t Len = Be16(F, i + 2);
            C.Exif = C.Exif || (M == 0xE1 && F.compare(i + 4, 6, std::string("Exif\0\0", 6)) == 0);
            C.Icc = C.Icc || (M == 0xE2 && F.compare(i + 4, 12, std::string("ICC_PROFILE\0", 12)) == 0);
            i += 2 + Len;
        }
    } else if (F.size() > 8 && F.compare(1, 3, "PNG") == 0) {
        for (size_t i = 8; i + 8 <= F.size();) {
            const std::string Type = F.substr(i + 4, 4);
            C.Icc = C.Icc || Type == "iCCP";
            C.Exif = C.Exif || Type == "eXIf";
            i += 12 + Be32(F, i);
        }
    } else if (F.size() > 18 && F[0] == 'B' && F[1] == 'M') {
        // Only the fifth header (124 bytes) can hold a profile.
        C.Icc = uint8_t(F[14]) == 124;
    }
    return C;
}

using MetadataCarry = AtOnceRun;

} // namespace

TEST_F(MetadataCarry, ProfileAndExifOfEachOutputFormatUnderEachSetting)
{
    SourceJPEG(Dir / "in" / "exif.jpg", true);
    SourceJPEG(Dir / "in" / "plain.jpg", false);
    ASSERT_TRUE(Carried(ReadFile(Dir / "in" / "exif.jpg")).Exif);
    ASSERT_TRUE(Carried(ReadFile(Dir / "in" / "plain.jpg")).Icc) << "Qt wrote no profile";
    const struct {
        const char* Name;
        const char* Settings;
        const char* Ext;
        bool CanExif, CanIcc;
    } Outputs[] = {
        {"JPEG unchanged", "[JPEG]\nConvertTo=2\nAlwaysRecompress=0\n", ".jpg", true, true},
        {"JPEG recompressed", "[JPEG]\nConvertTo=2\nAlwaysRecompress=1\n", ".jpg", true, true},
        {"PNG", "[JPEG]\nConvertTo=3\n", ".png", false, true},
        {"BMP", "[JPEG]\nConvertTo=1\n", ".bmp", false, false},
    };
    for (const auto& O : Outputs)
        for (const bool KeepIcc : {false, true})
            for (const bool AddExif : {false, true}) {
                fs::remove_all(Dir / "out");
                WriteProfile(std::string(O.Settings) + "AddExifInfo=" + (AddExif ? "1" : "0") +
                             "\n[Metadata]\nKeepICCProfile=" + (KeepIcc ? "1" : "0") + "\n");
                const auto [Status, Err] = Start({"in/exif.jpg", "in/plain.jpg"});
                const std::string Tag =
                    std::string(O.Name) + (KeepIcc ? " KeepICCProfile" : "") + (AddExif ? " AddExifInfo" : "");
                EXPECT_EQ(Status, 0) << Tag << "\n" << Err;
                for (const bool SourceExif : {true, false}) {
                    const fs::path Out = Dir / "out" / (std::string(SourceExif ? "exif" : "plain") + O.Ext);
                    const std::string F = ReadFile(Out);
                    ASSERT_FALSE(F.empty()) << Tag << " " << Out;
                    const TCarried C = Carried(F);
                    // A JPEG without EXIF gets none: a block is only made for sources
                    // whose EXIF the codec library read in another format.
                    const bool WantExif = O.CanExif && AddExif && SourceExif;
                    const bool WantIcc = O.CanIcc && KeepIcc;
                    EXPECT_EQ(C.Exif, WantExif) << Tag << (SourceExif ? ", source with EXIF" : ", source without");
                    EXPECT_EQ(C.Icc, WantIcc) << Tag << (SourceExif ? ", source with EXIF" : ", source without");
                    if (O.CanIcc) { // another reader sees the same
                        EXPECT_EQ(QImage(QString::fromStdString(Out.string())).colorSpace().isValid(), WantIcc) << Tag;
                    }
                }
            }
}
