#include "effects/ToneCurveEffect.h"

#include "EffectTestUtil.h"
#include "core/ColorCorrectionFunc.h"

namespace {

const TPointArray Identity{{0, 0}, {255, 255}};

TPointArray Pts(const std::string& S)
{
    TPointArray p;
    StrToPoints(S, p);
    return p;
}

} // namespace

TEST(ToneCurveMaths, RisingCurvesGiveRisingTablesThroughTheirPoints)
{
    for (const char* s : {"0,0,64,40,192,215,255,255", "0,0,20,200,40,230,255,255", "0,0,100,60,200,180,255,255"}) {
        uint16_t t[256];
        int16_t big[4081];
        CurveToTable(Pts(s), t);
        CurveToLargeTable(Pts(s), big, false);
        for (int v = 1; v <= 4080; ++v)
            ASSERT_GE(big[v], big[v - 1]) << s << " at " << v;
        for (int x = 1; x < 256; ++x)
            ASSERT_GE(t[x], t[x - 1]) << s << " at " << x;
        for (const TCurvePoint& q : Pts(s))
            EXPECT_EQ(t[q.x], q.y) << s;
    }
}

TEST(ToneCurvePoints, DamagedAndUnsortedLists)
{
    TPointArray p;
    for (const char* s : {"", "0,0,255", "0,0,300,255", "0,0,x,255", "0,-1,255,255", ",", "0,0,,255"}) {
        EXPECT_FALSE(StrToPoints(s, p)) << s;
        EXPECT_EQ(p, Identity) << s;
    }
    EXPECT_TRUE(StrToPoints(" 0, 0 128\t64,255,255", p)); // blanks separate too
    EXPECT_EQ(PointsToStr(p), "0,0,128,64,255,255");
    EXPECT_EQ(SortCurvePoints(Pts("0,0,0,50,255,255,128,9")), Pts("0,0,128,9,255,255"));
    // Lists the curve maths could not take still give a sound table.
    uint16_t t[256];
    CurveToTable(TPointArray{{200, 0}, {10, 255}, {10, 9}, {100000, -3}}, t);
    EXPECT_EQ(t[0] + t[10] + t[255], 255 + 255 + 0);
}

TEST(ToneCurveEffect, CurvesActOnTheirChannels)
{
    TToneCurveEffect e;
    TEffectParams prm;
    e.FControlPoints[tcBlue] = Pts("0,255,255,0");
    e.BuildToneCurveTables();
    TPatternPicture c(4, 1, 3), cref(4, 1, 3);
    e.DoEffect(c.I, prm);
    EXPECT_EQ(c.Px(2, 0)[0], 255 - cref.Px(2, 0)[0]);
    EXPECT_TRUE(c.Px(2, 0)[1] == cref.Px(2, 0)[1] && c.Px(2, 0)[2] == cref.Px(2, 0)[2]);
    e.FControlPoints[tcBlue] = Identity;
    // Gray: the luma curve, then the master; the red curve does not touch it.
    e.FControlPoints[tcLuma] = Pts("0,255,255,0");
    e.FControlPoints[tcRGB] = Pts("0,0,255,128");
    e.FControlPoints[tcRed] = Pts("0,255,255,255");
    e.BuildToneCurveTables();
    TPatternPicture g(6, 2, 1), gref(6, 2, 1);
    e.DoEffect(g.I, prm);
    for (uint32_t x = 0; x < 6; ++x)
        ASSERT_EQ(*g.Px(x, 1), int((255 - *gref.Px(x, 1)) * 128.0 / 255 + 0.5));

    // Y, Cb, Cr from the decoder: Y through the luma table, the form kept
    // while no RGB curve asks for RGB.
    e.FControlPoints[tcRGB] = e.FControlPoints[tcRed] = Identity;
    e.BuildToneCurveTables();
    TPatternPicture y(5, 2, 3), yref(5, 2, 3);
    prm.IsYCbCr = true;
    e.DoEffect(y.I, prm);
    EXPECT_TRUE(prm.IsYCbCr);
    EXPECT_EQ(y.Px(3, 1)[0], 255 - yref.Px(3, 1)[0]);
    EXPECT_EQ(y.Px(3, 1)[2], yref.Px(3, 1)[2]);
    // An RGB curve converts first and clears the flag.
    e.FControlPoints[tcLuma] = Identity;
    e.FControlPoints[tcRGB] = Pts("0,255,255,0");
    e.BuildToneCurveTables();
    e.DoEffect(y.I, prm);
    EXPECT_FALSE(prm.IsYCbCr);
}

TEST(ToneCurvePresets, RoundTripAndDamagedFiles)
{
    TTestDir d;
    const std::string saved = Startup.DataDir;
    Startup.DataDir = d.Path;
    std::filesystem::create_directories(d.P / "ToneCurve" / "folder.txt");
    TCurveSet a, b, defaults;
    for (size_t i = 0; i < tcCount; ++i) {
        a[i] = Pts("0,0," + std::to_string(40 + 20 * i) + ",100,255,255");
        StrToPoints(ToneCurveDefaults[i], defaults[i]);
    }
    WriteToneCurvePreset(ToneCurvePresetDir() + "Warm.txt", a);
    ReadToneCurvePreset(ToneCurvePresetDir() + "Warm.txt", b);
    EXPECT_EQ(b, a);
    d.File("ToneCurve/note.ini", "");
    EXPECT_EQ(ToneCurvePresetNames(), std::vector<std::string>{"Warm"});
    // Missing file, a folder, binary junk, keys without values: the defaults.
    for (const std::string& f : {ToneCurvePresetDir() + "none.txt", ToneCurvePresetDir() + "folder.txt",
                                 d.File("junk.txt", std::string("\xff\xfe\x00\xd8[\0\x01", 8) + "zz"),
                                 d.File("empty.txt", "[ToneCurve]\nRGB\n")}) {
        ReadToneCurvePreset(f, b);
        EXPECT_EQ(b, defaults) << f;
    }
    Startup.DataDir = saved;
}
