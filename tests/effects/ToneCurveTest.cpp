#include "effects/ToneCurveEffect.h"

#include "EffectTestUtil.h"
#include "core/ColorCorrectionFunc.h"

#include <cmath>

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

// Worked numbers: tension 0.3, an end point's handle along the chord to its
// neighbour, an inner point's handles parallel to the line through its two
// neighbours, handle x held inside the segment.
TEST(ToneCurveMaths, ControlPolygonOfThreePoints)
{
    const auto near = [](const TDPoint& p, double x, double y) {
        return std::abs(p.x - x) < 1e-3 && std::abs(p.y - y) < 1e-3;
    };
    std::vector<TDPoint> c = BuildBezierControls(Pts("0,0,128,192,255,255"));
    ASSERT_EQ(c.size(), 7u);
    EXPECT_TRUE(near(c[1], 38.4, 57.6)) << c[1].x << "," << c[1].y;
    EXPECT_TRUE(near(c[2], 79.0494, 143.0494)) << c[2].x << "," << c[2].y;
    EXPECT_TRUE(near(c[3], 128, 192));
    EXPECT_TRUE(near(c[4], 158.0734, 222.0734)) << c[4].x << "," << c[4].y;
    EXPECT_TRUE(near(c[5], 216.9, 236.1)) << c[5].x << "," << c[5].y;
    // A steep first segment: B's x (-32.48) is raised to the segment start,
    // its y (157.52) stays.
    c = BuildBezierControls(Pts("0,0,10,200,255,255"));
    EXPECT_TRUE(near(c[1], 3, 60)) << c[1].x << "," << c[1].y;
    EXPECT_TRUE(near(c[2], 0, 157.5206)) << c[2].x << "," << c[2].y;
    EXPECT_TRUE(near(c[4], 63.2658, 253.2658)) << c[4].x << "," << c[4].y;
    EXPECT_TRUE(near(c[5], 181.5, 238.5)) << c[5].x << "," << c[5].y;
}

TEST(ToneCurveMaths, TablesOfThreeFourAndFivePoints)
{
    struct TCase {
        const char* Points;
        std::vector<std::pair<int, int>> Table;     // x, entry of the 256 table
        std::vector<std::pair<int, int>> Large;     // v, entry of the 4081 luma table
        std::vector<std::pair<int, int>> LargeCbCr; // v, entry of the chroma table
    };
    const TCase cases[] = {
        {"0,0,128,192,255,255",
         {{8, 12},
          {32, 52},
          {48, 79},
          {96, 154},
          {100, 159},
          {128, 192},
          {160, 215},
          {176, 222},
          {224, 242},
          {250, 253}},
         {{1, 2}, {256, 403}, {1000, 1652}, {2040, 3064}, {2041, 3065}, {3000, 3636}, {4000, 4042}, {4079, 4080}},
         {{0, -2040}, {1000, -388}, {2040, 1024}, {4080, 2040}}},
        {"0,0,10,200,255,255",
         {{1, 29}, {2, 88}, {3, 128}, {5, 164}, {8, 190}, {20, 209}, {60, 229}, {128, 242}, {200, 247}},
         {},
         {}},
        {"0,0,64,96,192,160,255,255",
         {{8, 13}, {32, 55}, {48, 79}, {96, 115}, {100, 117}, {160, 141}, {176, 149}, {224, 201}, {250, 247}},
         {{1, 2}, {256, 432}, {1000, 1515}, {2040, 2045}, {2041, 2045}, {3000, 2504}, {4000, 3953}, {4079, 4078}},
         {{0, -2040}, {1000, -525}, {2040, 5}, {4080, 2040}}},
        // Falling, rising and falling again: the tables follow the bends.
        {"0,255,64,128,128,200,192,32,255,0",
         {{8, 236}, {32, 165}, {48, 139}, {96, 163}, {100, 172}, {160, 143}, {176, 72}, {224, 12}, {250, 2}},
         {{1, 4078}, {256, 3364}, {1000, 2059}, {2040, 3206}, {2041, 3205}, {3000, 640}, {4000, 37}, {4079, 1}},
         {{0, 2040}, {1000, 19}, {2040, 1166}, {4080, -2040}}},
    };
    for (const TCase& k : cases) {
        uint16_t t[256];
        int16_t big[4081], cbcr[4081];
        CurveToTable(Pts(k.Points), t);
        CurveToLargeTable(Pts(k.Points), big, false);
        CurveToLargeTable(Pts(k.Points), cbcr, true);
        for (const auto& [x, e] : k.Table)
            EXPECT_EQ(t[x], e) << k.Points << " at " << x;
        for (const auto& [v, e] : k.Large)
            EXPECT_EQ(big[v], e) << k.Points << " at " << v;
        for (const auto& [v, e] : k.LargeCbCr)
            EXPECT_EQ(cbcr[v], e) << k.Points << " at " << v;
    }
}
