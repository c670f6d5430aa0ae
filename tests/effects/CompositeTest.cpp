#include "effects/CompositeOptionFrm.h"

#include "EffectTestUtil.h"
#include "core/Bitmap.h"

namespace fs = std::filesystem;

TEST(CompositeImage, AnchorsAndClipping)
{
    for (int32_t Anchor = 0; Anchor <= 8; ++Anchor) {
        SCOPED_TRACE(Anchor);
        TTestImg C(50, 40, {0, 0, 0}), T(10, 6, {200, 200, 200});
        TRect R;
        CompositeImage(C.I, T.I, Anchor, 0, 0, 100, R);
        const int32_t Col = Anchor / 3, Row = Anchor % 3;
        EXPECT_EQ(R.Left, Col == 0 ? 0 : Col == 1 ? 20 : 40);
        EXPECT_EQ(R.Top, Row == 0 ? 0 : Row == 1 ? 17 : 34);
        EXPECT_EQ(R.Right - R.Left, 10);
        EXPECT_EQ(C.At(R.Left, R.Top), V({200, 200, 200}));
        EXPECT_EQ(C.At(R.Right - 1, R.Bottom - 1), V({200, 200, 200}));
        EXPECT_EQ(C.At((R.Left + 25) % 50, R.Top), V({0, 0, 0}));
    }
    // A layer larger than the canvas, centred: its middle part is drawn.
    TTestImg C(4, 4, {0}), T(8, 8, {0});
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x)
            *T.Px(x, y) = uint8_t(10 * y + x);
    TRect R;
    CompositeImage(C.I, T.I, 4, 0, 0, 100, R);
    EXPECT_EQ(R.Right - R.Left, 4);
    EXPECT_EQ(C.At(0, 0)[0], 22);
    EXPECT_EQ(C.At(3, 3)[0], 55);
    CompositeImage(C.I, T.I, 0, 100, 0, 100, R);
    EXPECT_EQ(R.Right - R.Left, 0);
}

TEST(CompositeImage, OpacityAndAlpha)
{
    TTestImg C(1, 1, {0, 0, 0}), T(1, 1, {255, 255, 255}), C2(1, 1, {10, 10, 10});
    TRect R;
    CompositeImage(C.I, T.I, 0, 0, 0, 50, R);
    EXPECT_EQ(C.At(0, 0), V({127, 127, 127}));
    // Out-of-range opacities are held to 0..100 instead of wrapping.
    CompositeImage(C2.I, T.I, 0, 0, 0, 300, R);
    EXPECT_EQ(C2.At(0, 0), V({255, 255, 255}));

    // A transparent layer pixel leaves every kind of canvas alone.
    TTestImg Clear(1, 1, {9, 99, 199, 0});
    for (V Px : {V{7}, V{7, 8, 9}, V{7, 8, 9, 100}, V{7, 50}}) {
        TTestImg Cv(1, 1, Px);
        CompositeImage(Cv.I, Clear.I, 0, 0, 0, 100, R);
        EXPECT_EQ(Cv.At(0, 0), Px);
    }
    TTestImg Opaque(1, 1, {9, 99, 199, 255}), Empty(1, 1, {0, 0, 0, 0});
    CompositeImage(Empty.I, Opaque.I, 0, 0, 0, 100, R);
    EXPECT_EQ(Empty.At(0, 0), V({9, 99, 199, 255}));
    // Half alpha over an opaque canvas: t has no rounding term, so the
    // canvas alpha ends one short of opaque, as it always has.
    TTestImg Half(1, 1, {255, 255, 255, 128}), Black(1, 1, {0, 0, 0, 255});
    CompositeImage(Black.I, Half.I, 0, 0, 0, 100, R);
    EXPECT_EQ(Black.At(0, 0), V({129, 129, 129, 254}));
    // A gray canvas takes the gray of a colour layer by the gray weights
    // (BT.601: red 255 is gray 76, blue 255 gray 29), with or without the
    // layer's alpha and the canvas's; a gray layer gives its value to every
    // channel.
    for (V Layer : {V{0, 0, 255, 255}, V{0, 0, 255}}) {
        TTestImg G(1, 1, {0}), GA(1, 1, {0, 255});
        TTestImg L(1, 1, Layer);
        CompositeImage(G.I, L.I, 0, 0, 0, 100, R);
        CompositeImage(GA.I, L.I, 0, 0, 0, 100, R);
        EXPECT_EQ(G.At(0, 0)[0], 76) << Layer.size();
        EXPECT_EQ(GA.At(0, 0), V({76, 255})) << Layer.size();
    }
    TTestImg G(1, 1, {0}), Blue(1, 1, {255, 0, 0, 255}), Gray(1, 1, {60}), Col(1, 1, {0, 0, 0});
    CompositeImage(G.I, Blue.I, 0, 0, 0, 100, R);
    CompositeImage(Col.I, Gray.I, 0, 0, 0, 100, R);
    EXPECT_EQ(G.At(0, 0)[0], 29);
    EXPECT_EQ(Col.At(0, 0), V({60, 60, 60}));
}

struct TCompositeFile : ::testing::Test {
    TTestDir Scratch;
    const fs::path& Dir = Scratch.P;
    TEffectParams Params;
};

TEST_F(TCompositeFile, OverAndUnder)
{
    const std::string Path = (Dir / "logo.bmp").string();
    ASSERT_TRUE(SaveBitmapFile(Path, TTestImg(30, 20, {0, 0, 255}).I, TResolutionInfo(), TakeRunSettings()));
    TCompositeEffect E;
    E.FImageFileName = Path;
    E.LoadExternalImage();
    ASSERT_NE(E.FExternalImg.Mem, nullptr) << E.FLoadError;
    TTestImg Pic(100, 80, {0, 255, 0});
    E.DoEffect(Pic.I, Params);
    EXPECT_EQ(Pic.At(99, 79), V({0, 0, 255}));
    EXPECT_EQ(Pic.At(69, 59), V({0, 255, 0}));

    E.FMode = 1; // the picture onto the file: the result has the file's size
    TTestImg Big(1000, 800, {0, 255, 0});
    E.DoEffect(Big.I, Params);
    EXPECT_EQ(std::make_pair(Big.I.Width, Big.I.Height), std::make_pair(30u, 20u));
    EXPECT_EQ(Big.At(0, 0), V({0, 255, 0}));
}

TEST_F(TCompositeFile, MissingOrDamagedFileFailsThePicture)
{
    const std::string Bad = (Dir / "bad.bmp").string();
    std::ofstream(Bad, std::ios::binary) << "BM\xff\xff\xff\xff garbage that is no bitmap";
    for (const std::string& Path : {(Dir / "missing.png").string(), Bad}) {
        SCOPED_TRACE(Path);
        TCompositeEffect E;
        E.FImageFileName = Path;
        E.LoadExternalImage();
        TTestImg Pic(10, 10, {1, 2, 3});
        const std::string Why = ErrorOf([&] { E.DoEffect(Pic.I, Params); }); // never passed as done
        EXPECT_NE(Why.find(Path), std::string::npos) << Why;
        EXPECT_TRUE(Pic == TTestImg(10, 10, {1, 2, 3}));
    }
    TCompositeEffect None; // no file chosen: nothing to add, nothing to report
    None.LoadExternalImage();
    TTestImg Pic(4, 4, {1, 2, 3});
    EXPECT_NO_THROW(None.DoEffect(Pic.I, Params));
}
