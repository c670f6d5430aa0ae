#include "core/IniFile.h"
#include "effects/ExifRotationFilter.h"
#include "effects/RotationOptionFrm.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

// Pixel (x, y) of channel c holds a value unique to its place, so any
// misplaced or mirrored pixel shows.
uint8_t Mark(uint32_t X, uint32_t Y, uint32_t C) { return uint8_t(1 + Y * 40 + X * 4 + C); }

struct TPicture {
    TImgInfo I;
    TPicture(uint32_t W, uint32_t H, uint32_t C) { AllocImg(I, W, H, C); }
    ~TPicture() { FreeImg(I); }
    uint8_t* At(uint32_t X, uint32_t Y) const { return ScanLine(I, Y) + X * I.Channels; }
    std::vector<uint8_t> Pixels() const
    {
        std::vector<uint8_t> V;
        for (uint32_t y = 0; y < I.Height; ++y)
            V.insert(V.end(), ScanLine(I, y), ScanLine(I, y) + I.Width * I.Channels);
        return V;
    }
};

// Where the stored picture keeps upright pixel (x, y) of a W x H picture, for
// each EXIF orientation (the orientation says how the stored picture must be
// turned to be seen upright).
void StoredPlace(int O, uint32_t W, uint32_t H, uint32_t X, uint32_t Y, uint32_t& SX, uint32_t& SY)
{
    switch (O) {
    case 2: SX = W - 1 - X; SY = Y; break;
    case 3: SX = W - 1 - X; SY = H - 1 - Y; break;
    case 4: SX = X; SY = H - 1 - Y; break;
    case 5: SX = Y; SY = X; break;
    case 6: SX = Y; SY = W - 1 - X; break;
    case 7: SX = H - 1 - Y; SY = W - 1 - X; break;
    case 8: SX = H - 1 - Y; SY = X; break;
    default: SX = X; SY = Y; break;
    }
}

} // namespace

TEST(ExifRotation, EveryOrientationComesOutUpright)
{
    const uint32_t W = 5, H = 3;
    for (uint32_t C : {1u, 3u, 4u})
        for (int O = 0; O <= 9; ++O) {
            SCOPED_TRACE(testing::Message() << "orientation " << O << ", " << C << " channels");
            const bool Turned = O >= 5 && O <= 8;
            TPicture Stored(Turned ? H : W, Turned ? W : H, C);
            TPicture Upright(W, H, C);
            for (uint32_t y = 0; y < H; ++y)
                for (uint32_t x = 0; x < W; ++x) {
                    uint32_t sx, sy;
                    StoredPlace(O, W, H, x, y, sx, sy);
                    for (uint32_t c = 0; c < C; ++c)
                        Stored.At(sx, sy)[c] = Upright.At(x, y)[c] = Mark(x, y, c);
                }
            TExifRotationFilter E;
            TEffectParams P;
            P.ExifOrientation = O;
            E.DoEffect(Stored.I, P);
            ASSERT_EQ(Stored.I.Width, W);
            ASSERT_EQ(Stored.I.Height, H);
            EXPECT_EQ(Stored.Pixels(), Upright.Pixels());
        }
}

TEST(ExifRotation, TwoChannelPicturesAndUprightSourcesAreLeftAlone)
{
    TPicture P2(4, 2, 2);
    *P2.At(0, 0) = 9;
    const auto Before = P2.Pixels();
    TExifRotationFilter E;
    TEffectParams P;
    P.ExifOrientation = 6;
    E.DoEffect(P2.I, P);
    EXPECT_EQ(P2.I.Width, 4u);
    EXPECT_EQ(P2.Pixels(), Before);

    // Only a source that needs turning counts as changed, so upright JPEGs
    // can still be copied losslessly.
    TImageInfo Info;
    for (uint16_t O : {0, 1, 9}) {
        Info.SetOrientation(O);
        EXPECT_FALSE(E.IsChange(Info)) << O;
    }
    Info.SetOrientation(6);
    EXPECT_TRUE(E.IsChange(Info));
    E.SetUse(false);
    EXPECT_FALSE(E.IsChange(Info));
}

TEST(ExifRotation, UseFlagReachesTheListForTheExifWriter)
{
    TEffectList L;
    auto Owned = std::make_unique<TExifRotationFilter>();
    TExifRotationFilter* E = Owned.get();
    L.AddFilter(std::move(Owned));
    E->SetUse(true);
    EXPECT_TRUE(L.FExifRotationUse);
    E->SetUse(false);
    EXPECT_FALSE(L.FExifRotationUse);

    TMemIniFile Ini("/nonexistent/exif.ini");
    Ini.WriteBool("ExifRotationFilter", "Use", true);
    L.ReadIniFile(Ini);
    EXPECT_TRUE(E->FUse);
    EXPECT_TRUE(L.FExifRotationUse);
    Ini.WriteBool("ExifRotationFilter", "Use", false);
    L.ReadIniFile(Ini);
    EXPECT_FALSE(L.FExifRotationUse);
}

TEST(Rotation, QuarterTurnsOfARow)
{
    for (int32_t V : {ROTATE_90, ROTATE_270}) {
        TPicture Row(3, 1, 3);
        for (uint32_t x = 0; x < 3; ++x)
            Row.At(x, 0)[0] = uint8_t(10 + x);
        TRotationFilter R;
        R.FValue = V;
        TEffectParams P;
        R.DoEffect(Row.I, P);
        ASSERT_EQ(Row.I.Width, 1u);
        ASSERT_EQ(Row.I.Height, 3u);
        // Clockwise the left end goes to the top; counter-clockwise to the bottom.
        for (uint32_t y = 0; y < 3; ++y)
            EXPECT_EQ(Row.At(0, y)[0], V == ROTATE_90 ? 10 + y : 12 - y);
    }
}

TEST(Rotation, MirrorThenFlipIsTheHalfTurn)
{
    TPicture A(4, 3, 4), B(4, 3, 4);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 4; ++x)
            for (uint32_t c = 0; c < 4; ++c)
                A.At(x, y)[c] = B.At(x, y)[c] = Mark(x, y, c);
    TRotationFilter R;
    TEffectParams P;
    R.FValue = ROTATE_MIRROR;
    R.DoEffect(A.I, P);
    R.FValue = ROTATE_FLIP;
    R.DoEffect(A.I, P);
    R.FValue = ROTATE_180;
    R.DoEffect(B.I, P);
    EXPECT_EQ(A.Pixels(), B.Pixels());
    EXPECT_EQ(*B.At(0, 0), Mark(3, 2, 0));
}

TEST(Rotation, OnlyTheChosenShapeIsTurned)
{
    struct {
        uint32_t W, H;
        int32_t Type;
        bool Turned;
    } const Cases[] = {
        {4, 4, ROTATE_ALL, true},        {4, 4, ROTATE_LANDSCAPE, false}, {4, 4, ROTATE_PORTRAIT, false},
        {5, 4, ROTATE_LANDSCAPE, true},  {5, 4, ROTATE_PORTRAIT, false},  {4, 5, ROTATE_PORTRAIT, true},
        {4, 5, ROTATE_LANDSCAPE, false}, {4, 5, 9, true},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(testing::Message() << C.W << "x" << C.H << " type " << C.Type);
        TPicture Pic(C.W, C.H, 1);
        *Pic.At(0, 0) = 7;
        TRotationFilter R;
        R.FUse = true;
        R.FType = C.Type;
        TEffectParams P;
        R.DoEffect(Pic.I, P);
        // Clockwise, the top-left pixel moves to the top-right corner.
        EXPECT_EQ(*Pic.At(0, 0) == 7, !C.Turned);
        TImageInfo Info;
        Info.Width = int32_t(C.W);
        Info.Height = int32_t(C.H);
        EXPECT_EQ(R.IsChange(Info), C.Turned);
    }
}

TEST(Rotation, SettingsRoundTripAndUnknownOperation)
{
    TMemIniFile Ini("/nonexistent/rot.ini");
    TRotationFilter R;
    R.FUse = true;
    R.FType = ROTATE_PORTRAIT;
    R.FValue = ROTATE_FLIP;
    R.WriteIniFile(Ini);
    TRotationFilter Back;
    Back.ReadIniFile(Ini);
    EXPECT_TRUE(Back.FUse);
    EXPECT_EQ(Back.FType, ROTATE_PORTRAIT);
    EXPECT_EQ(Back.FValue, ROTATE_FLIP);

    TMemIniFile Empty("/nonexistent/empty.ini");
    Back.ReadIniFile(Empty);
    EXPECT_EQ(Back.FType, ROTATE_ALL);
    EXPECT_EQ(Back.FValue, ROTATE_90);

    // An operation the program does not know changes nothing.
    Ini.WriteInteger("RotationFilter", "Value", 7);
    Back.ReadIniFile(Ini);
    TPicture Pic(3, 2, 3);
    *Pic.At(0, 0) = 5;
    const auto Before = Pic.Pixels();
    TEffectParams P;
    Back.DoEffect(Pic.I, P);
    EXPECT_EQ(Pic.I.Width, 3u);
    EXPECT_EQ(Pic.Pixels(), Before);
}
