// The add-text and composite dialogs: dragging the block and the preview
// drawing it where it lands.
#include "core/Global.h"
#include "core/Resize.h"
#include "core/WeightedMean.h"
#include "effects/CompositeEffect.h"
#include "effects/ui/AddTextDlg.h"
#include "effects/ui/CompositeDlg.h"
#include "effects/ui/NumEdit.h"
#include "tests/effectsui/UiTestApp.h"

#include <QPlainTextEdit>
#include <QTest>

#include <cstring>

namespace {

// The shared shrinker and blur the preview draws with, as start-up sets them.
struct TPreviewFilters {
    TResizer R;
    TGaussianBlur Blur;
    TPreviewFilters()
    {
        TestApp();
        InitTextRendering();
        R.SetDecimationMode(1, CreateWeightSetter(1, 0, 0, 0));
        R.SetInterpolationMode(1, CreateWeightSetter(1, 0, 0, 0));
        R.SetSIMDMode(3, false);
        R.SetMaxThreadNum(1);
        PreviewParams.Antialiasing = &R;
        PreviewParams.GaussianBlur = &Blur;
    }
    ~TPreviewFilters()
    {
        PreviewParams.Antialiasing = nullptr;
        PreviewParams.GaussianBlur = nullptr;
    }
};

const TFont Font{"DejaVu Sans", 1, 20, 0xFFFFFF, fsBold};

TEST(AddTextForm, PreviewDrawsTextAndDragMovesIt)
{
    TPreviewFilters F;
    // A 300 x 200 black picture: the preview takes its size.
    TAddTextForm Form(nullptr, [](int32_t, TImgInfo& Img, TAddTextPreviewSource& N) {
        AllocImg(Img, 300, 200, 3);
        for (uint32_t Y = 0; Y < Img.Height; ++Y)
            std::memset(ScanLine(Img, Y), 0, size_t(Img.Width) * 3);
        N.OldFileName = "a.jpg";
        N.NewFileName = "b.jpg";
        N.Number = 0;
        return true;
    });
    TAddTextParam P{.Position = 0, .XOffset = 20, .YOffset = 30, .FontOpacity = 100};
    Form.SetParam(P, Font, "HELLO");
    Form.SetPreviewImageIndex(0);

    const TRect R = Form.TextRectangle();
    ASSERT_GT(R.Right, R.Left);
    EXPECT_EQ(std::make_pair(R.Left, R.Top), std::make_pair(20, 30));
    // White letters inside the block, the black picture outside it, the gray
    // field past the picture's edge.
    const QImage& B = Form.BackBuffer();
    int Lit = 0;
    for (int Y = R.Top; Y < R.Bottom; ++Y)
        for (int X = R.Left; X < R.Right; ++X)
            Lit += qRed(B.pixel(X, Y)) > 200;
    EXPECT_GT(Lit, 10);
    EXPECT_EQ(B.pixel(5, 5) & 0xFFFFFF, 0u);
    EXPECT_EQ(B.pixel(400, 100) & 0xFFFFFF, 0x808080u);

    // Drag the block 10 left and 4 down: the offsets follow, the block moves.
    const int X0 = (R.Left + R.Right) / 2, Y0 = (R.Top + R.Bottom) / 2;
    Form.PreviewMouseDown(X0, Y0);
    Form.PreviewMouseMove(X0 - 6, Y0 + 1);
    Form.PreviewMouseMove(X0 - 10, Y0 + 4);
    Form.PreviewMouseUp();
    TAddTextParam Out;
    TFont OutFont;
    std::string Text;
    Form.GetParam(Out, OutFont, Text);
    EXPECT_EQ(std::make_pair(Out.XOffset, Out.YOffset), std::make_pair(10, 34));
    EXPECT_EQ(Form.TextRectangle().Left, 10);
    // Moving after the button is up drags nothing.
    Form.PreviewMouseMove(0, 0);
    Form.GetParam(Out, OutFont, Text);
    EXPECT_EQ(Out.XOffset, 10);

    // A press outside the block starts no drag; an empty list shows the field.
    Form.PreviewMouseDown(290, 190);
    Form.PreviewMouseMove(280, 180);
    Form.GetParam(Out, OutFont, Text);
    EXPECT_EQ(Out.XOffset, 10);
    Form.SetPreviewImageIndex(-1);
    EXPECT_EQ(Form.BackBuffer().pixel(400, 250) & 0xFFFFFF, 0x808080u);
}

// The number token previews the number the file would get: the rule's start
// value plus the entry's place in the list; with no list, the first file's.
// What the user types in place of the token shows the same picture.
TEST(AddTextForm, NumberTokenPreviewsTheFilesNumber)
{
    TPreviewFilters F;
    const auto Saved = std::make_pair(Settings.File.StartNumber, Settings.File.ResetType);
    Settings.File.StartNumber = 1;
    Settings.File.ResetType = 0;
    TAddTextForm Form(nullptr, [](int32_t Index, TImgInfo& Img, TAddTextPreviewSource& N) {
        AllocImg(Img, Index == 5 ? 800 : 200, Index == 5 ? 600 : 100, 3);
        for (uint32_t Y = 0; Y < Img.Height; ++Y)
            std::memset(ScanLine(Img, Y), 0, size_t(Img.Width) * 3);
        N.Number = Index;
        return Index >= 0;
    });
    Form.SetParam(TAddTextParam{.Position = 0, .XOffset = 10, .YOffset = 10, .FontOpacity = 100}, Font, "");
    auto Shown = [&](const char* Typed) {
        Form.TextEdit->selectAll();
        QTest::keyClicks(Form.TextEdit, Typed);
        return Form.BackBuffer().copy();
    };
    for (auto [Index, Want, Other] : {std::tuple{-1, "#1", "#2"}, {0, "#1", "#2"}, {3, "#4", "#5"}}) {
        SCOPED_TRACE(Index);
        Form.SetPreviewImageIndex(Index);
        const QImage Token = Shown("#<n>");
        EXPECT_TRUE(Token == Shown(Want));
        EXPECT_FALSE(Token == Shown(Other));
    }
    // A start value in the text counts from there.
    Form.SetPreviewImageIndex(-1);
    EXPECT_TRUE(Shown("<s7>#<n>") == Shown("#7"));
    // A picture larger than the preview fills its 512 x 288 pixels.
    Shown("");
    Form.SetPreviewImageIndex(5);
    const QImage& B = Form.BackBuffer();
    EXPECT_EQ(B.size(), QSize(512, 288));
    for (QPoint P : {QPoint(0, 0), QPoint(511, 0), QPoint(0, 287), QPoint(511, 287)})
        EXPECT_EQ(B.pixel(P) & 0xFFFFFF, 0u) << P.x() << "," << P.y();
    std::tie(Settings.File.StartNumber, Settings.File.ResetType) = Saved;
}

// Every number of the dialog reaches the field it was read from, colours and
// switches too.
TEST(AddTextForm, EveryValueShownComesBack)
{
    TPreviewFilters F;
    TAddTextForm Form;
    const TAddTextParam In{.Position = 5,
                           .XOffset = -7,
                           .YOffset = 8,
                           .FontOpacity = 90,
                           .BackColor = 0x123456,
                           .BackOpacity = 40,
                           .MarginX = -3,
                           .MarginY = 4,
                           .LinePitch = 1.25,
                           .Shadow = true,
                           .ShadowColor = 0x654321,
                           .ShadowOpacity = 70,
                           .ShadowRadius = 3.5,
                           .ShadowStr = 5,
                           .ShadowOffsetX = 6,
                           .ShadowOffsetY = -2,
                           .Glow = true,
                           .GlowColor = 0xABCDEF,
                           .GlowOpacity = 60,
                           .GlowRadius = 4.5,
                           .GlowStr = 9};
    Form.SetParam(In, Font, "A");
    TAddTextParam Out;
    TFont OutFont;
    std::string Text;
    Form.GetParam(Out, OutFont, Text);
    auto Numbers = [](const TAddTextParam& P) {
        return std::make_tuple(P.Position, P.XOffset, P.YOffset, P.FontOpacity, P.BackOpacity, P.MarginX, P.MarginY,
                               P.LinePitch, P.ShadowOpacity, P.ShadowRadius, P.ShadowStr, P.ShadowOffsetX,
                               P.ShadowOffsetY, P.GlowOpacity, P.GlowRadius, P.GlowStr);
    };
    EXPECT_EQ(Numbers(Out), Numbers(In));
    EXPECT_EQ(std::make_tuple(Out.BackColor, Out.ShadowColor, Out.GlowColor, Out.Shadow, Out.Glow),
              std::make_tuple(In.BackColor, In.ShadowColor, In.GlowColor, In.Shadow, In.Glow));
}

// The composite dialog, its image file given by a stand-in loader: a 100 x 50
// white picture for any name but "missing".

bool WhiteLayer(const std::string& Path, TImgInfo& Img)
{
    if (Path == "missing")
        return false;
    AllocImg(Img, 100, 50, 3);
    for (uint32_t Y = 0; Y < Img.Height; ++Y)
        std::memset(ScanLine(Img, Y), 255, size_t(Img.Width) * 3);
    return true;
}

} // namespace

TEST(CompositeOptionForm, PreviewAndDrag)
{
    TestApp();
    TCompositeOptionForm Form(nullptr, {}, WhiteLayer);
    int32_t Mode, Pos, X, Y, Opacity;
    std::string Name;
    // Over a gray field (no list entry): the layer lands at the offsets.
    Form.SetParam(0, 0, 20, 30, 100, "logo.png");
    const TRect R = Form.ForegroundRectangle();
    EXPECT_EQ(std::make_tuple(R.Left, R.Top, R.Right), std::make_tuple(20, 30, 120));
    EXPECT_EQ(Form.BackBuffer().pixel(25, 35) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(Form.BackBuffer().pixel(10, 10) & 0xFFFFFF, 0x808080u);

    // A file that cannot be loaded keeps the previous layer in the preview.
    Form.SetImageFile("missing");
    EXPECT_EQ(Form.BackBuffer().pixel(25, 35) & 0xFFFFFF, 0xFFFFFFu);

    Form.PreviewMouseDown(60, 50);
    Form.PreviewMouseMove(50, 60);
    Form.PreviewMouseUp();
    Form.GetParam(Mode, Pos, X, Y, Opacity, Name);
    EXPECT_EQ(std::make_pair(X, Y), std::make_pair(10, 40));
    EXPECT_EQ(Form.ForegroundRectangle().Left, 10);
}
