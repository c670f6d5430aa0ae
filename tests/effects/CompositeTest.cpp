#include "effects/CompositeEffect.h"

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
    // Canvas, layer, opacity and the canvas pixel afterwards.
    struct {
        V Canvas, Layer;
        int32_t Opacity;
        V Want;
    } const Cases[] = {
        {{0, 0, 0}, {255, 255, 255}, 50, {127, 127, 127}},
        {{10, 10, 10}, {255, 255, 255}, 300, {255, 255, 255}}, // held to 0..100 instead of wrapping
        // A transparent layer pixel leaves every kind of canvas alone.
        {{7}, {9, 99, 199, 0}, 100, {7}},
        {{7, 8, 9}, {9, 99, 199, 0}, 100, {7, 8, 9}},
        {{7, 8, 9, 100}, {9, 99, 199, 0}, 100, {7, 8, 9, 100}},
        {{7, 50}, {9, 99, 199, 0}, 100, {7, 50}},
        {{0, 0, 0, 0}, {9, 99, 199, 255}, 100, {9, 99, 199, 255}},
        // Half alpha over an opaque canvas: t has no rounding term, so the
        // canvas alpha ends one short of opaque, as it always has.
        {{0, 0, 0, 255}, {255, 255, 255, 128}, 100, {129, 129, 129, 254}},
        // A gray canvas takes the gray of a colour layer by the gray weights
        // (BT.601: red 255 is gray 76, blue 255 gray 29), with or without the
        // layer's alpha and the canvas's; a gray layer gives its value to every
        // channel.
        {{0}, {0, 0, 255, 255}, 100, {76}},
        {{0, 255}, {0, 0, 255, 255}, 100, {76, 255}},
        {{0}, {0, 0, 255}, 100, {76}},
        {{0, 255}, {0, 0, 255}, 100, {76, 255}},
        {{0}, {255, 0, 0, 255}, 100, {29}},
        {{0, 0, 0}, {60}, 100, {60, 60, 60}},
    };
    for (const auto& c : Cases) {
        TTestImg Canvas(1, 1, c.Canvas), Layer(1, 1, c.Layer);
        TRect R;
        CompositeImage(Canvas.I, Layer.I, 0, 0, 0, c.Opacity, R);
        EXPECT_EQ(Canvas.At(0, 0), c.Want)
            << testing::PrintToString(c.Canvas) << " under " << testing::PrintToString(c.Layer) << " at " << c.Opacity;
    }
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
