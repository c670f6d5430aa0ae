#include "EffectTestUtil.h"
#include "effects/ExifRotationFilter.h"
#include "effects/RotationFilter.h"
#include "core/IniFile.h"

TEST(ExifRotation, EveryOrientationComesOutUpright)
{
    const uint32_t W = 5, H = 3;
    for (uint32_t C : {1u, 3u, 4u})
        for (int O = 0; O <= 9; ++O) {
            SCOPED_TRACE(testing::Message() << "orientation " << O << ", " << C << " channels");
            const bool Turned = O >= 5 && O <= 8;
            TTestPicture Stored(Turned ? H : W, Turned ? W : H, C), Upright(W, H, C);
            // Where the source keeps upright pixel (x, y), by orientation.
            for (uint32_t y = 0; y < H; ++y)
                for (uint32_t x = 0; x < W; ++x) {
                    const uint32_t S[10][2] = {{x, y},         {x, y}, {W - 1 - x, y}, {W - 1 - x, H - 1 - y},
                                               {x, H - 1 - y}, {y, x}, {y, W - 1 - x}, {H - 1 - y, W - 1 - x},
                                               {H - 1 - y, x}, {x, y}};
                    Stored.Mark(x, y, S[O][0], S[O][1]);
                }
            Upright.MarkAll();
            TExifRotationFilter E;
            TEffectParams P;
            P.ExifOrientation = O;
            E.DoEffect(Stored.I, P);
            ASSERT_EQ(Stored.I.Width, W);
            EXPECT_EQ(Stored.Pixels(), Upright.Pixels());
        }
}

TEST(Rotation, OperationsAndShapes)
{
    // Type, operation, picture size; the top-left pixel afterwards (upright
    // coordinates of the source) and whether the file counts as changed.
    struct {
        int32_t Type, Value;
        uint32_t W, H, X, Y;
        bool Change;
    } const Cases[] = {
        {ROTATE_ALL, ROTATE_90, 3, 1, 0, 0, true},        {ROTATE_ALL, ROTATE_270, 3, 1, 2, 0, true},
        {ROTATE_ALL, ROTATE_180, 4, 3, 3, 2, true},       {ROTATE_ALL, ROTATE_MIRROR, 4, 3, 3, 0, true},
        {ROTATE_ALL, ROTATE_FLIP, 4, 3, 0, 2, true},      {ROTATE_ALL, 7, 4, 3, 0, 0, true},
        {ROTATE_ALL, ROTATE_90, 4, 4, 0, 3, true},        {ROTATE_LANDSCAPE, ROTATE_90, 4, 4, 0, 0, false},
        {ROTATE_PORTRAIT, ROTATE_90, 4, 4, 0, 0, false},  {ROTATE_LANDSCAPE, ROTATE_90, 5, 4, 0, 3, true},
        {ROTATE_PORTRAIT, ROTATE_180, 5, 4, 0, 0, false}, {ROTATE_PORTRAIT, ROTATE_180, 4, 5, 3, 4, true},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(testing::Message() << C.W << "x" << C.H << " type " << C.Type << " value " << C.Value);
        TTestPicture Pic(C.W, C.H, 3);
        Pic.MarkAll();
        TRotationFilter R;
        R.FUse = true;
        R.FType = C.Type;
        R.FValue = C.Value;
        TEffectParams P;
        R.DoEffect(Pic.I, P);
        EXPECT_EQ(Pic.Px(0, 0)[0], TTestPicture::MarkOf(C.X, C.Y));
        TImageInfo Info;
        Info.Width = int32_t(C.W);
        Info.Height = int32_t(C.H);
        EXPECT_EQ(R.IsChange(Info, TakeRunSettings()), C.Change);
    }
}

// The effect's use is mirrored into the chain, where the EXIF writer reads it:
// switching it off by hand or from the settings file clears the flag, and
// only a real turn counts as a change (so a JPEG may still be copied).
TEST(ExifRotation, UseReachesTheChainAndOnlyTurnsCountAsChanges)
{
    TEffectList List;
    auto Owned = std::make_unique<TExifRotationFilter>();
    TExifRotationFilter* E = Owned.get();
    List.AddFilter(std::move(Owned));
    E->SetUse(true);
    EXPECT_TRUE(List.FExifRotationUse);
    E->SetUse(false);
    EXPECT_FALSE(List.FExifRotationUse);

    for (bool Use : {true, false}) {
        TMemIniFile Ini("/nonexistent/x.ini");
        Ini.WriteBool("ExifRotationFilter", "Use", Use);
        E->SetUse(!Use);
        E->ReadIniFile(Ini);
        EXPECT_EQ(E->FUse, Use);
        EXPECT_EQ(List.FExifRotationUse, Use) << "read from the settings file";
    }

    E->SetUse(true);
    TImageInfo Info;
    const TRunSettings S{};
    for (uint16_t O = 0; O <= 9; ++O) {
        Info.SetOrientation(O);
        EXPECT_EQ(E->IsChange(Info, S), O >= 2 && O <= 8) << "orientation " << O;
    }
    Info.SetOrientation(6);
    E->SetUse(false);
    EXPECT_FALSE(E->IsChange(Info, S));
}
