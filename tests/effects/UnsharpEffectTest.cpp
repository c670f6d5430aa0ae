#include "effects/UnSharpMaskOptionFrm.h"

#include "EffectTestPictures.h"
#include "core/ColorCorrectionFunc.h"
#include "core/Errors.h"
#include "core/WeightedMean.h"

#include <gtest/gtest.h>

namespace {

// A vertical edge: columns below 8 dark, the rest light; colour (B, G, R)
// per side.
void Edge(TTestPicture& P, const uint8_t (&Dark)[3], const uint8_t (&Light)[3])
{
    for (uint32_t y = 0; y < P.I.Height; ++y)
        for (uint32_t x = 0; x < P.I.Width; ++x)
            std::memcpy(P.At(x, y), x < 8 ? Dark : Light, 3);
}

struct Sharpener {
    TUnsharpMask F;
    TEffectParams Prm;
    TUSMFilter E;
    Sharpener(bool LumaOnly, bool Degamma)
    {
        E.FLumaOnly = LumaOnly;
        E.FDegamma = Degamma;
        E.ApplyParam(F);
        Prm.UnSharpMask = &F;
    }
};

} // namespace

TEST(UnsharpEffect, LumaPlanesCopyChannelZero)
{
    TTestPicture p(13, 3, 3), ref(13, 3, 3);
    TImgInfo plane;
    ExtractLumaPlane8(p.I, plane);
    ASSERT_EQ(plane.Channels, 1u);
    EXPECT_EQ(*(MemRow(plane, 2) + 7), ref.At(7, 2)[0]);
    std::memset(MemRow(plane, 2), 5, plane.Width);
    StoreLumaPlane8(p.I, plane);
    EXPECT_EQ(plane.Mem, nullptr);
    EXPECT_EQ(p.At(12, 2)[0], 5);
    EXPECT_EQ(p.At(12, 2)[1], ref.At(12, 2)[1]);
    EXPECT_EQ(p.At(12, 1)[0], ref.At(12, 1)[0]);

    RGB3ToYCbCr16(p.I);
    ExtractLumaPlane16(p.I, plane);
    const auto* w = reinterpret_cast<const int16_t*>(MemRow(p.I, 1));
    EXPECT_EQ(reinterpret_cast<const int16_t*>(MemRow(plane, 1))[4], w[12]);
    StoreLumaPlane16(p.I, plane);
    EXPECT_EQ(plane.Mem, nullptr);
}

TEST(UnsharpEffect, LumaOnlyKeepsChroma)
{
    // A gray edge sharpened on luma alone stays gray, with an overshoot.
    Sharpener s(true, false);
    TTestPicture p(16, 4, 3);
    Edge(p, {60, 60, 60}, {180, 180, 180});
    s.E.DoEffect(p.I, s.Prm);
    const uint8_t* d = p.At(7, 2);
    const uint8_t* l = p.At(8, 2);
    EXPECT_LT(d[0], 60);
    EXPECT_GT(l[0], 180);
    for (uint32_t x = 0; x < 16; ++x)
        EXPECT_TRUE(p.At(x, 1)[0] == p.At(x, 1)[1] && p.At(x, 1)[1] == p.At(x, 1)[2]) << x;

    // Sharpened in RGB the same edge gives the same overshoot on every channel;
    // a red/blue edge of equal luma is left alone by luma-only sharpening but
    // not by RGB sharpening.
    Sharpener rgb(false, false);
    TTestPicture q(16, 4, 3), qref(16, 4, 3);
    Edge(q, {0, 50, 200}, {200, 113, 0}); // luma differs by 0.02 of a level
    Edge(qref, {0, 50, 200}, {200, 113, 0});
    s.E.DoEffect(q.I, s.Prm);
    for (uint32_t x = 0; x < 16; ++x)
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(q.At(x, 2)[k], qref.At(x, 2)[k], 2) << x;
    rgb.E.DoEffect(q.I, rgb.Prm);
    EXPECT_GT(q.At(8, 2)[0], 200);
    EXPECT_GT(q.At(7, 2)[2], 200);
}

TEST(UnsharpEffect, YCbCrPictures)
{
    // Luma only: the Y bytes alone, the form kept.
    Sharpener s(true, false);
    TTestPicture p(16, 4, 3), ref(16, 4, 3);
    Edge(p, {60, 100, 150}, {180, 140, 110});
    Edge(ref, {60, 100, 150}, {180, 140, 110});
    s.Prm.IsYCbCr = true;
    s.E.DoEffect(p.I, s.Prm);
    EXPECT_TRUE(s.Prm.IsYCbCr);
    EXPECT_LT(p.At(7, 1)[0], 60);
    for (uint32_t x = 0; x < 16; ++x) {
        EXPECT_EQ(p.At(x, 1)[1], ref.At(x, 1)[1]);
        EXPECT_EQ(p.At(x, 1)[2], ref.At(x, 1)[2]);
    }

    // Whole picture without linear light: all three channels in that form.
    Sharpener w(false, false);
    TTestPicture q(16, 4, 3);
    Edge(q, {60, 100, 150}, {180, 140, 110});
    w.Prm.IsYCbCr = true;
    w.E.DoEffect(q.I, w.Prm);
    EXPECT_TRUE(w.Prm.IsYCbCr);
    EXPECT_GT(q.At(7, 1)[2], 150);

    // Linear light needs RGB: converted first.
    Sharpener g(false, true);
    g.Prm.IsYCbCr = true;
    g.E.DoEffect(q.I, g.Prm);
    EXPECT_FALSE(g.Prm.IsYCbCr);

    // No filter handed over: an error, not a silently unsharpened picture.
    TEffectParams none;
    EXPECT_THROW(g.E.DoEffect(q.I, none), EVestroError);
}

TEST(UnsharpEffect, SettingsAndTheSharedFilter)
{
    TTestDir d;
    TUnsharpMask shared;
    TUnsharpMask* saved = PreviewParams.UnSharpMask;
    PreviewParams.UnSharpMask = &shared;
    TUSMFilter e;
    TMemIniFile ini(d.File("s.ini", "[UnSharpMask]\nStrengthW=900\nStrengthB=50\nRadius=2.5\nThreshold=-4\n"
                                    "LumaOnly=0\n"));
    e.ReadIniFile(ini);
    PreviewParams.UnSharpMask = saved;
    EXPECT_EQ(e.FHighlight, 900); // kept as stored
    EXPECT_EQ(e.FShadow, 50);
    EXPECT_EQ(e.FRadius, 2.5);
    EXPECT_EQ(e.FThreshold, -4);
    EXPECT_FALSE(e.FLumaOnly);
    EXPECT_FALSE(e.FDegamma);
    // The shared filter took the values; a negative threshold counts as 0.
    const TUSMCoeffs k = GetUSMCoeffs(false);
    EXPECT_EQ(k.Shadow, -(50 * 4096) / 100);
    EXPECT_EQ(k.Threshold, 0);
    ASSERT_TRUE(shared.USMWeight);
    EXPECT_GT(shared.USMWeight->FRadius, 2.4);

    TMemIniFile w((d.P / "w.ini").string());
    e.WriteIniFile(w);
    EXPECT_EQ(w.ReadSection("UnSharpMask"),
              (std::vector<std::string>{"Use", "Order", "StrengthW", "StrengthB", "Radius", "Threshold", "Degamma",
                                        "LumaOnly", "Preview", "Histogram"}));
    TUSMFilter b;
    b.ReadIniFile(w);
    EXPECT_EQ(b.FHighlight, 900);
    EXPECT_EQ(b.FRadius, 2.5);
    EXPECT_EQ(b.FThreshold, -4);
    EXPECT_FALSE(b.FLumaOnly);
}
