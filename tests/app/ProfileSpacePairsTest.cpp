// The built program on pictures whose colour profile is of one colour space,
// through every output that can carry a profile: the output keeps the profile
// only where it describes the output's pixels (gray, RGB), whichever format
// the picture came from and whichever path made it.
#include "TestApp.h"
#include "tests/app/AtOnceRun.h"
#include "../core/ProfileTestUtil.h"
#include "ProfiledJPEG.h"
#include "core/ImgInfo.h"
#include "core/Kodex.h"
#include "core/RunSettings.h"

#include <QByteArray>

#include <jpeglib.h>

#include <cstdlib>
#include <map>

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

// The colour space of the profile a JPEG or PNG file carries ("" for none).
std::string ProfileSpace(const fs::path& P)
{
    const std::string B = ReadFile(P);
    if (P.extension() == ".jpg") {
        return JPEGProfileSpace(B);
    }
    // iCCP: a name, its NUL, the method byte, then the zlib stream.
    const size_t At = B.find("iCCP");
    if (At == std::string::npos || At < 4)
        return "";
    const uint32_t Len = uint32_t(uint8_t(B[At - 4])) << 24 | uint32_t(uint8_t(B[At - 3])) << 16 |
        uint32_t(uint8_t(B[At - 2])) << 8 | uint8_t(B[At - 1]);
    const std::string Chunk = B.substr(At + 4, Len);
    const size_t Nul = Chunk.find('\0');
    if (Nul == std::string::npos || Nul + 2 > Chunk.size())
        return "";
    QByteArray Z("\0\0\x10\0", 4); // a size hint for qUncompress
    Z.append(Chunk.data() + Nul + 2, qsizetype(Chunk.size() - Nul - 2));
    const QByteArray Profile = qUncompress(Z);
    return Profile.size() < 20 ? "" : Profile.mid(16, 4).toStdString();
}

// Colour channels of a JPEG's frame or a PNG's colour type (1 gray, 3 colour).
int ColourChannels(const fs::path& P)
{
    const std::string B = ReadFile(P);
    if (P.extension() == ".png")
        return B.size() > 25 && (B[25] == 0 || B[25] == 4) ? 1 : 3;
    for (size_t i = 2; i + 9 < B.size(); ++i)
        if (uint8_t(B[i]) == 0xFF && (uint8_t(B[i + 1]) == 0xC0 || uint8_t(B[i + 1]) == 0xC2))
            return uint8_t(B[i + 9]);
    return 0;
}

class ProfileSpacePairs : public AtOnceRun { };

} // namespace

TEST_F(ProfileSpacePairs, AnOutputKeepsAProfileOnlyOverPixelsOfItsColourSpace)
{
    std::string Err;
    ASSERT_TRUE(KodexProcs.ReadPNG || LoadKodex(std::string(VESTRO_DIST_DIR) + "/", Err)) << Err;
    // The sources: JPEGs of each colour space with their own profile, one
    // whose profile does not match its frame, and PNGs made by the codec
    // library (colour, and gray with alpha).
    std::map<std::string, std::string> Files{
        {"rgb.jpg", ProfiledJPEG(3, MakeProfile("Screen", "RGB "))},
        {"gray.jpg", ProfiledJPEG(1, MakeProfile("Dot gain", "GRAY"))},
        {"cmyk.jpg", ProfiledJPEG(4, MakeProfile("Ink", "CMYK"))},
        {"mixed.jpg", ProfiledJPEG(3, MakeProfile("Dot gain", "GRAY"))},
    };
    const TRunSettings S = TakeRunSettings();
    for (const auto& [Name, Channels, Space] :
         {std::tuple<const char*, uint32_t, const char*>{"colour.png", 3, "RGB "}, {"ga.png", 2, "GRAY"}}) {
        const std::vector<uint8_t> P = MakeProfile("Made", Space);
        TICCInfo Icc;
        Icc.Profile = static_cast<uint8_t*>(std::malloc(P.size()));
        std::memcpy(Icc.Profile, P.data(), P.size());
        Icc.Len = uint32_t(P.size());
        TImgInfo Img;
        AllocFilledImg(Img, 96, 64, Channels);
        for (uint32_t y = 0; y < 64; ++y)
            for (uint32_t x = 0; x < 96 * Channels; ++x)
                ScanLine(Img, y)[x] = uint8_t(Channels == 2 && x % 2 ? 100 + y : x * 3 + 5 * y);
        ASSERT_TRUE(WritePNG((Dir / Name).string(), Img, 0, false, false, {}, 0, nullptr, &Icc, 6, S)) << Name;
        std::free(Icc.Profile);
        FreeImg(Img);
        Files[Name] = ReadFile(Dir / Name);
    }

    const std::string Whole = "[ResizeFilter]\nUse=0\n";
    const struct {
        const char* Path;
        std::string Settings;
        // Each output with the colour space of its profile ("" none) and
        // its colour channels.
        std::map<std::string, std::pair<std::string, int>> Outputs;
    } Paths[] = {
        {"recompressed as JPEG",
         Whole + "[JPEG]\nAlwaysRecompress=1\n[PNG]\nConvertTo=2\n",
         {{"rgb.jpg", {"RGB ", 3}},
          {"gray.jpg", {"GRAY", 1}},
          {"cmyk.jpg", {"", 3}},
          {"mixed.jpg", {"", 3}},
          {"colour.jpg", {"RGB ", 3}},
          {"ga.jpg", {"", 3}}}},
        {"as PNG",
         Whole + "[JPEG]\nConvertTo=3\n",
         {{"rgb.png", {"RGB ", 3}},
          {"gray.png", {"GRAY", 1}},
          {"cmyk.png", {"", 3}},
          {"mixed.png", {"", 3}},
          {"colour.png", {"RGB ", 3}},
          {"ga.png", {"GRAY", 1}}}},
        {"gray as JPEG",
         Whole + "[GrayscaleFilter]\nUse=1\n[PNG]\nConvertTo=2\n",
         {{"rgb.jpg", {"", 1}},
          {"gray.jpg", {"GRAY", 1}},
          {"cmyk.jpg", {"", 1}},
          {"mixed.jpg", {"GRAY", 1}},
          {"colour.jpg", {"", 1}},
          {"ga.jpg", {"GRAY", 1}}}},
        {"gray as PNG",
         Whole + "[GrayscaleFilter]\nUse=1\n[JPEG]\nConvertTo=3\n",
         {{"rgb.png", {"", 1}},
          {"gray.png", {"GRAY", 1}},
          {"cmyk.png", {"", 1}},
          {"mixed.png", {"GRAY", 1}},
          {"colour.png", {"", 1}},
          {"ga.png", {"GRAY", 1}}}},
    };
    for (const auto& P : Paths) {
        SCOPED_TRACE(P.Path);
        fs::remove_all(Dir / "in");
        fs::remove_all(Dir / "out");
        fs::create_directories(Dir / "in");
        for (const auto& [Name, Bytes] : Files)
            std::ofstream(Dir / "in" / Name, std::ios::binary) << Bytes;
        WriteProfile(P.Settings);
        const auto [Status, Said] = Start({"in"});
        EXPECT_EQ(Status, 0) << Said;
        EXPECT_EQ(SortedNames(Dir / "out").size(), Files.size()) << Said;
        for (const auto& [Name, Expected] : P.Outputs) {
            EXPECT_EQ(ProfileSpace(Dir / "out" / Name), Expected.first) << Name;
            EXPECT_EQ(ColourChannels(Dir / "out" / Name), Expected.second) << Name;
        }
    }
}

// The lossless transform copies the source's markers as they are; a profile
// that no longer describes the frame (a colour one over the gray frame the
// transform made, however many markers it spans) goes, and the rest stays.
TEST_F(ProfileSpacePairs, TheLosslessTransformKeepsNoProfileItsFrameContradicts)
{
    std::vector<uint8_t> Large = MakeProfile("Large", "RGB ");
    Large.resize(150000, 0x5A); // three markers' worth
    Large[0] = 0, Large[1] = 0x02, Large[2] = 0x49, Large[3] = 0xF0;
    const std::map<std::string, std::string> Files{
        {"rgb.jpg", ProfiledJPEG(3, MakeProfile("Screen", "RGB "))},
        {"large.jpg", ProfiledJPEG(3, Large)},
        {"gray.jpg", ProfiledJPEG(1, MakeProfile("Dot gain", "GRAY"))},
        {"mixed.jpg", ProfiledJPEG(3, MakeProfile("Dot gain", "GRAY"))},
    };
    const struct {
        const char* Path;
        const char* Settings;
        std::map<std::string, std::pair<std::string, int>> Outputs;
    } Paths[] = {
        {"turned",
         "[JPEGTran]\nUse=1\nRotation=3\n",
         {{"rgb.jpg", {"RGB ", 3}}, {"large.jpg", {"RGB ", 3}}, {"gray.jpg", {"GRAY", 1}}, {"mixed.jpg", {"", 3}}}},
        {"made gray",
         "[JPEGTran]\nUse=1\nGrayscale=1\n",
         {{"rgb.jpg", {"", 1}}, {"large.jpg", {"", 1}}, {"gray.jpg", {"GRAY", 1}}, {"mixed.jpg", {"GRAY", 1}}}},
    };
    for (const auto& P : Paths) {
        SCOPED_TRACE(P.Path);
        fs::remove_all(Dir / "in");
        fs::remove_all(Dir / "out");
        fs::create_directories(Dir / "in");
        for (const auto& [Name, Bytes] : Files)
            std::ofstream(Dir / "in" / Name, std::ios::binary) << Bytes;
        WriteProfile(std::string("DeleteInputFile=1\n") + P.Settings);
        const auto [Status, Said] = Start({"in"});
        EXPECT_EQ(Status, 0) << Said;
        EXPECT_EQ(SortedNames(Dir / "out").size(), Files.size()) << Said;
        for (const auto& [Name, Expected] : P.Outputs) {
            const std::string Out = ReadFile(Dir / "out" / Name);
            EXPECT_EQ(ProfileSpace(Dir / "out" / Name), Expected.first) << Name;
            EXPECT_EQ(ColourChannels(Dir / "out" / Name), Expected.second) << Name;
            // No piece of a dropped profile is left behind; a kept one is whole.
            const size_t Pieces = Expected.first.empty() ? 0 : Name == "large.jpg" ? 3 : 1;
            size_t Found = 0;
            for (size_t At = Out.find("ICC_PROFILE"); At != std::string::npos; At = Out.find("ICC_PROFILE", At + 1))
                ++Found;
            EXPECT_EQ(Found, Pieces) << Name;
            EXPECT_TRUE(ImageSize(Dir / "out" / Name).isValid()) << Name;
            EXPECT_FALSE(fs::exists(Dir / "in" / Name)) << Name << ": written, its source not deleted as asked";
        }
    }
}
