#include "effects/ToneCurveFrm.h"

#include "EffectTestPictures.h"
#include "core/ColorCorrectionFunc.h"
#include "core/Global.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const TPointArray Identity{{0, 0}, {255, 255}};

TPointArray Pts(const std::string& S)
{
    TPointArray p;
    StrToPoints(S, p);
    return p;
}

// An effect read from a settings section.
void ReadSection(TToneCurveEffect& E, const TTestDir& D, const std::string& Body)
{
    TMemIniFile Ini(D.File("s.ini", "[ToneCurve]\n" + Body));
    E.ReadIniFile(Ini);
}

} // namespace

TEST(ToneCurveMaths, StraightListsGiveTheirLine)
{
    uint16_t t[256];
    // Every control point of a straight list lies on its line.
    for (const char* s : {"0,0,255,255", "0,0,128,128,255,255", "0,0,40,40,200,200,255,255"}) {
        CurveToTable(Pts(s), t);
        for (int x = 0; x < 256; ++x)
            ASSERT_EQ(t[x], x) << s;
    }
    CurveToTable(Pts("0,0,255,128"), t);
    for (int x = 0; x < 256; ++x)
        ASSERT_EQ(t[x], int(x * 128.0 / 255 + 0.5)) << x;

    int16_t big[4081];
    CurveToLargeTable(Identity, big, false);
    for (int v = 0; v <= 4080; ++v)
        ASSERT_EQ(big[v], v);
    CurveToLargeTable(Pts(ToneCurveDefaults[tcChroma]), big, true);
    for (int v = 0; v <= 4080; ++v)
        ASSERT_EQ(big[v], v - 2040);
}

TEST(ToneCurveMaths, FlatBeyondTheEndPoints)
{
    uint16_t t[256];
    CurveToTable(Pts("10,77"), t);
    for (int x = 0; x < 256; ++x)
        ASSERT_EQ(t[x], 77);
    CurveToTable(Pts("64,0,192,255"), t);
    for (int x = 0; x <= 64; ++x)
        ASSERT_EQ(t[x], 0);
    for (int x = 192; x < 256; ++x)
        ASSERT_EQ(t[x], 255);
    EXPECT_GT(t[128], 100);
    EXPECT_LT(t[128], 155);
}

TEST(ToneCurveMaths, RisingListsGiveRisingTables)
{
    for (const char* s : {"0,0,64,40,192,215,255,255", "0,0,20,200,40,230,255,255", "0,30,100,120,255,255",
                          "0,0,100,60,200,180,255,255"}) {
        uint16_t t[256];
        int16_t big[4081];
        CurveToTable(Pts(s), t);
        CurveToLargeTable(Pts(s), big, false);
        for (int x = 1; x < 256; ++x)
            ASSERT_GE(t[x], t[x - 1]) << s << " at " << x;
        for (int v = 1; v <= 4080; ++v)
            ASSERT_GE(big[v], big[v - 1]) << s << " at " << v;
        // The curve passes through its points.
        const TPointArray p = Pts(s);
        for (const TCurvePoint& q : p)
            EXPECT_EQ(t[q.x], q.y) << s;
    }
}

TEST(ToneCurvePoints, DamagedTextsReadAsIdentity)
{
    TPointArray p;
    for (const char* s : {"", "0,0,255", "0,0,300,255", "0,0,x,255", "0,-1,255,255", ",", "0,0,,255"}) {
        EXPECT_FALSE(StrToPoints(s, p)) << s;
        EXPECT_EQ(p, Identity) << s;
    }
    EXPECT_TRUE(StrToPoints(" 0, 0 128\t64,255,255", p));
    EXPECT_EQ(p, (TPointArray{{0, 0}, {128, 64}, {255, 255}}));
    EXPECT_EQ(PointsToStr(p), "0,0,128,64,255,255");
    EXPECT_EQ(PointsToStr({}), "");
    // Unsorted and repeated x: sorted, the first of a repeated x kept.
    EXPECT_EQ(SortCurvePoints(Pts("255,255,0,0")), Identity);
    EXPECT_EQ(SortCurvePoints(Pts("0,0,0,50,255,255,128,9")), (TPointArray{{0, 0}, {128, 9}, {255, 255}}));
    // Lists the curve maths could not take still give a sound table.
    uint16_t t[256];
    for (const TPointArray& bad : {TPointArray{}, TPointArray{{9, 9}, {9, 9}}, TPointArray{{200, 0}, {10, 255}},
                                   TPointArray{{-5, 900}, {100000, -3}}}) {
        CurveToTable(bad, t);
        for (int x = 0; x < 256; ++x)
            ASSERT_LE(t[x], 255);
    }
}

TEST(ToneCurveEffect, SettingsReadWithCorrections)
{
    TTestDir d;
    TToneCurveEffect e;
    ReadSection(e, d,
                "Use=1\nRGB=0,0,255,255\nRed=255,255,0,0\nGreen=0,0,300,300\nBlue=1,2,3\nLuma=a,b\n"
                "Chroma=\nHistogram=3\n");
    EXPECT_TRUE(e.FUse);
    for (int i = 0; i < tcCount; ++i)
        EXPECT_EQ(e.FControlPoints[size_t(i)], Identity) << i;
    EXPECT_TRUE(e.FSkipRGB);
    EXPECT_TRUE(e.FSkipYCC);
    EXPECT_FALSE(e.FHistogram);
    EXPECT_EQ(e.FHistogramType, 1);
    EXPECT_TRUE(e.FPreview);

    // Missing keys: defaults (the chroma default has three points).
    ReadSection(e, d, "Histogram=2\n");
    EXPECT_EQ(e.FControlPoints[tcChroma], Pts("0,0,128,128,255,255"));
    EXPECT_TRUE(e.FSkipYCC);
    EXPECT_FALSE(e.FHistogram);
    EXPECT_EQ(e.FHistogramType, 0);
    // Only the chroma curve accepts the three-point identity.
    ReadSection(e, d, "Luma=0,0,128,128,255,255\n");
    EXPECT_FALSE(e.FSkipYCC);
    EXPECT_TRUE(e.FSkipRGB);
}

TEST(ToneCurveEffect, SettingsRoundTrip)
{
    TTestDir d;
    TToneCurveEffect a;
    a.FControlPoints[tcRed] = Pts("0,10,100,90,255,240");
    a.FControlPoints[tcChroma] = Pts("0,0,100,140,255,255");
    a.FHistogram = false;
    a.FHistogramType = 1;
    a.FPreview = false;
    a.FOrder = 4;
    TMemIniFile w((d.P / "w.ini").string());
    a.WriteIniFile(w);
    EXPECT_EQ(w.ReadString("ToneCurve", "Histogram", ""), "3");
    EXPECT_EQ(w.ReadString("ToneCurve", "Red", ""), "0,10,100,90,255,240");
    w.UpdateFile();

    TToneCurveEffect b;
    TMemIniFile r((d.P / "w.ini").string());
    b.ReadIniFile(r);
    EXPECT_EQ(b.FControlPoints, a.FControlPoints);
    EXPECT_EQ(b.FHistogram, false);
    EXPECT_EQ(b.FHistogramType, 1);
    EXPECT_EQ(b.FPreview, false);
    EXPECT_EQ(b.FOrder, 4);
    EXPECT_FALSE(b.FSkipRGB);
    EXPECT_FALSE(b.FSkipYCC);
}

TEST(ToneCurveEffect, IdentityCurvesChangeNothing)
{
    TToneCurveEffect e;
    e.BuildToneCurveTables();
    for (uint32_t c : {1u, 2u, 3u, 4u})
        for (bool ycc : {false, true}) {
            TTestPicture p(9, 5, c), ref(9, 5, c);
            TEffectParams prm;
            prm.IsYCbCr = ycc;
            e.DoEffect(p.I, prm);
            EXPECT_TRUE(ref.SameAs(p.I)) << c;
            EXPECT_EQ(prm.IsYCbCr, ycc);
        }
}

TEST(ToneCurveEffect, CurvesActOnTheirChannels)
{
    TToneCurveEffect e;
    e.FControlPoints[tcBlue] = Pts("0,255,255,0");
    e.BuildToneCurveTables();
    TTestPicture p(7, 3, 4), ref(7, 3, 4);
    TEffectParams prm;
    e.DoEffect(p.I, prm);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 7; ++x) {
            const uint8_t *o = ref.At(x, y), *n = p.At(x, y);
            ASSERT_EQ(n[0], 255 - o[0]);
            ASSERT_EQ(n[1], o[1]);
            ASSERT_EQ(n[2], o[2]);
            ASSERT_EQ(n[3], o[3]); // alpha kept
        }

    // Gray: the luma curve, then the master; the red curve does not touch it.
    e.FControlPoints[tcBlue] = Identity;
    e.FControlPoints[tcLuma] = Pts("0,255,255,0");
    e.FControlPoints[tcRGB] = Pts("0,0,255,128");
    e.FControlPoints[tcRed] = Pts("0,255,255,255");
    e.BuildToneCurveTables();
    TTestPicture g(6, 2, 1), gref(6, 2, 1);
    e.DoEffect(g.I, prm);
    for (uint32_t x = 0; x < 6; ++x)
        ASSERT_EQ(*g.At(x, 1), int((255 - *gref.At(x, 1)) * 128.0 / 255 + 0.5));
}

TEST(ToneCurveEffect, LumaCurveOnColourAndYCbCrPictures)
{
    TToneCurveEffect e;
    e.FControlPoints[tcLuma] = Pts("0,255,255,0");
    e.BuildToneCurveTables();
    // A gray pixel in a colour picture: its luma inverted, still gray.
    TTestPicture p(4, 1, 3);
    for (uint32_t x = 0; x < 4; ++x)
        std::memset(p.At(x, 0), int(20 + 60 * x), 3);
    TEffectParams prm;
    e.DoEffect(p.I, prm);
    for (uint32_t x = 0; x < 4; ++x)
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(p.At(x, 0)[k], 255 - int(20 + 60 * x), 1) << x;

    // Y, Cb, Cr from the decoder: Y through the 8-bit luma table, chroma
    // through the (identity) chroma table, and the form is kept while no
    // RGB curve asks for RGB.
    TTestPicture y(5, 2, 3), yref(5, 2, 3);
    prm.IsYCbCr = true;
    e.DoEffect(y.I, prm);
    EXPECT_TRUE(prm.IsYCbCr);
    EXPECT_EQ(y.At(3, 1)[0], 255 - yref.At(3, 1)[0]);
    EXPECT_EQ(y.At(3, 1)[1], yref.At(3, 1)[1]);
    EXPECT_EQ(y.At(3, 1)[2], yref.At(3, 1)[2]);

    // An RGB curve converts first and clears the flag.
    e.FControlPoints[tcLuma] = Identity;
    e.FControlPoints[tcRGB] = Pts("0,255,255,0");
    e.BuildToneCurveTables();
    TTestPicture c(5, 2, 3), cref(5, 2, 3);
    e.DoEffect(c.I, prm);
    EXPECT_FALSE(prm.IsYCbCr);
    YCbCrToRGB3(cref.I);
    EXPECT_EQ(c.At(2, 1)[2], 255 - cref.At(2, 1)[2]);
}

TEST(ToneCurveEffect, PreviewMatchesTheBatch)
{
    TToneCurveEffect e;
    e.FControlPoints[tcRGB] = Pts("0,0,64,80,255,255");
    e.FControlPoints[tcGreen] = Pts("0,20,255,235");
    e.FControlPoints[tcLuma] = Pts("0,0,128,110,255,255");
    e.FControlPoints[tcChroma] = Pts("0,0,128,128,200,230,255,255");
    e.BuildToneCurveTables();
    for (uint32_t c : {1u, 3u, 4u}) {
        TTestPicture a(33, 7, c), b(33, 7, c);
        TEffectParams prm;
        e.DoEffect(a.I, prm);
        ApplyToneCurvePreview(b.I, e.FControlPoints);
        EXPECT_TRUE(b.SameAs(a.I)) << c;
    }
}

TEST(ToneCurvePresets, RoundTripAndDamagedFiles)
{
    TTestDir d;
    const std::string saved = DataDir;
    DataDir = d.P.string() + "/";
    std::filesystem::create_directory(d.P / "ToneCurve");
    TCurveSet a;
    for (size_t i = 0; i < tcCount; ++i)
        a[i] = Pts("0,0," + std::to_string(40 + 20 * i) + ",100,255,255");
    WriteToneCurvePreset(ToneCurvePresetDir() + "Warm.txt", a);
    TCurveSet b;
    ReadToneCurvePreset(ToneCurvePresetDir() + "Warm.txt", b);
    EXPECT_EQ(b, a);
    d.File("ToneCurve/note.ini", "[ToneCurve]\n");
    std::filesystem::create_directory(d.P / "ToneCurve" / "folder.txt");
    EXPECT_EQ(ToneCurvePresetNames(), std::vector<std::string>{"Warm"});

    TCurveSet defaults;
    for (size_t i = 0; i < tcCount; ++i)
        StrToPoints(ToneCurveDefaults[i], defaults[i]);
    // Missing file, a folder, binary junk, missing keys: the defaults.
    for (const std::string& f : {ToneCurvePresetDir() + "none.txt", ToneCurvePresetDir() + "folder.txt",
                                 d.File("junk.txt", std::string("\xff\xfe\x00\xd8[\0\x01", 8) + "zz"),
                                 d.File("empty.txt", "[ToneCurve]\nRGB\n")}) {
        ReadToneCurvePreset(f, b);
        EXPECT_EQ(b, defaults) << f;
    }
    // Unsorted points are put in order; out-of-range ones give the identity.
    ReadToneCurvePreset(d.File("odd.txt", "[ToneCurve]\nRed=255,0,0,255,100,100\nBlue=0,0,256,1\n"), b);
    EXPECT_EQ(b[tcRed], Pts("0,255,100,100,255,0"));
    EXPECT_EQ(b[tcBlue], Identity);
    DataDir = saved;
}
