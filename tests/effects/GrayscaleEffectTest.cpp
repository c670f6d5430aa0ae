#include "core/Grayscale.h"
#include "core/IniFile.h"
#include "effects/GrayscaleFrm.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The weight vector is process-wide: every test leaves it as it found it.
class GrayscaleEffect : public testing::Test {
protected:
    void SetUp() override { std::copy(GrayWeights, GrayWeights + 4, Saved); }
    void TearDown() override { std::copy(Saved, Saved + 4, GrayWeights); }

    // Reads a [GrayscaleFilter] section holding only the given keys.
    static void Load(TGrayscaleFilter& G, std::initializer_list<std::pair<const char*, int32_t>> Keys)
    {
        TMemIniFile Ini("/nonexistent/gray.ini");
        for (const auto& [K, V] : Keys)
            Ini.WriteInteger("GrayscaleFilter", K, V);
        G.ReadIniFile(Ini);
    }
    float Saved[4];
};

} // namespace

TEST_F(GrayscaleEffect, SettingsDefineTheSharedWeights)
{
    TGrayscaleFilter G;
    GrayWeights[0] = GrayWeights[1] = GrayWeights[2] = 0.5f;
    Load(G, {});
    EXPECT_EQ(G.FType, GRAY_BT601);
    EXPECT_EQ(GrayWeights[0], 0.299f);
    EXPECT_EQ(GrayWeights[1], 0.587f);
    EXPECT_EQ(GrayWeights[2], 0.114f);

    Load(G, {{"Type", GRAY_BT709}, {"Red", 5000}});
    EXPECT_EQ(GrayWeights[0], 0.2125f);
    EXPECT_EQ(GrayWeights[1], 0.7154f);
    EXPECT_EQ(GrayWeights[2], 0.0721f);
    EXPECT_EQ(G.FRed, 5000); // kept for when the user picks custom again

    // Custom weights that sum to 1 are used as they are; others are
    // normalised; all zero stays zero.
    GrayWeights[3] = 0.25f;
    Load(G, {{"Type", GRAY_CUSTOM}, {"Red", 5000}, {"Green", 5000}, {"Blue", 0}});
    EXPECT_EQ(GrayWeights[0], 0.5f);
    EXPECT_EQ(GrayWeights[1], 0.5f);
    EXPECT_EQ(GrayWeights[2], 0.0f);
    EXPECT_EQ(GrayWeights[3], 0.25f);
    Load(G, {{"Type", GRAY_CUSTOM}, {"Red", 2000}, {"Green", 2000}, {"Blue", 2000}});
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(GrayWeights[i], 1.0 / 3, 1e-7);
    Load(G, {{"Type", GRAY_CUSTOM}});
    EXPECT_EQ(GrayWeights[0] + GrayWeights[1] + GrayWeights[2], 0.0f);

    // Weights beyond what the dialog can set are brought into 0..10000, so a
    // hand-edited file cannot give negative weights.
    Load(G, {{"Type", GRAY_CUSTOM}, {"Red", -5000}, {"Green", 10000}, {"Blue", 30000}});
    EXPECT_EQ(G.FRed, 0);
    EXPECT_EQ(G.FBlue, MaxGrayWeight);
    EXPECT_EQ(GrayWeights[0], 0.0f);
    EXPECT_EQ(GrayWeights[1], 0.5f);
    EXPECT_EQ(GrayWeights[2], 0.5f);
}

TEST_F(GrayscaleEffect, SettingsRoundTrip)
{
    TGrayscaleFilter G;
    G.FUse = true;
    G.FRed = 1000;
    G.FGreen = 2000;
    G.FBlue = 7000;
    G.FType = GRAY_CUSTOM;
    TMemIniFile Ini("/nonexistent/gray.ini");
    G.WriteIniFile(Ini);
    TGrayscaleFilter Back;
    Back.ReadIniFile(Ini);
    EXPECT_TRUE(Back.FUse);
    EXPECT_EQ(Back.FRed, 1000);
    EXPECT_EQ(Back.FGreen, 2000);
    EXPECT_EQ(Back.FBlue, 7000);
    EXPECT_EQ(Back.FType, GRAY_CUSTOM);
    EXPECT_NEAR(GrayWeights[2], 0.7, 1e-6);
}

TEST_F(GrayscaleEffect, PicturesByChannelCount)
{
    TGrayscaleFilter G;
    Load(G, {});
    TEffectParams P;

    TImgInfo Img;
    AllocImg(Img, 5, 2, 3);
    uint8_t* Px = ScanLine(Img, 1) + 3 * 4; // bottom-right pixel: pure red
    Px[2] = 255;
    G.DoEffect(Img, P);
    EXPECT_EQ(Img.Channels, 1u);
    EXPECT_EQ(ScanLine(Img, 1)[4], 76);
    EXPECT_EQ(ScanLine(Img, 0)[0], 0);
    EXPECT_FALSE(P.ToGrayAlpha);

    // A 1-channel picture passes unchanged.
    G.DoEffect(Img, P);
    EXPECT_EQ(Img.Channels, 1u);
    EXPECT_EQ(ScanLine(Img, 1)[4], 76);
    FreeImg(Img);

    // With alpha the chain turns it to gray+alpha after its last effect.
    AllocImg(Img, 2, 2, 4);
    G.DoEffect(Img, P);
    EXPECT_EQ(Img.Channels, 4u);
    EXPECT_TRUE(P.ToGrayAlpha);
    FreeImg(Img);
}

TEST_F(GrayscaleEffect, LumaChromaPixelsAreTurnedBackBeforeWeighting)
{
    TGrayscaleFilter G;
    Load(G, {});
    TImgInfo Img;
    AllocImg(Img, 1, 1, 3);
    // A neutral gray of luma 200 in the working form (Y, Cb, Cr).
    ScanLine(Img, 0)[0] = 200;
    ScanLine(Img, 0)[1] = 128;
    ScanLine(Img, 0)[2] = 128;
    TEffectParams P;
    P.IsYCbCr = true;
    G.DoEffect(Img, P);
    EXPECT_FALSE(P.IsYCbCr);
    EXPECT_EQ(Img.Channels, 1u);
    EXPECT_NEAR(ScanLine(Img, 0)[0], 200, 1);
    FreeImg(Img);
}
