#include "UiTestApp.h"

#include "core/Global.h"
#include "effects/ui/PreviewFrm.h"

#include <QLabel>

#include <array>
#include <cstring>

namespace {

std::array<int32_t, 4> Box4(const TRect& R)
{
    return {R.Left, R.Top, R.Right, R.Bottom};
}

struct TPicture {
    TImgInfo Img;
    TPicture(uint32_t W, uint32_t H, uint8_t V = 100)
    {
        AllocImg(Img, W, H, 3);
        std::memset(Img.Mem, V, uint64_t(Img.Bpl) * H);
    }
    ~TPicture() { FreeImg(Img); }
};

// A shown window at 100 per cent, big enough for a 100 x 100 picture.
struct TShownForm {
    TPicture After{100, 100}, Before{100, 100, 50};
    TPreviewForm Form;
    TShownForm()
    {
        TestApp();
        Settings.Preview.ViewMode = 1;
        Form.resize(400, 300);
        Form.SetPreviewImage(&After.Img, &Before.Img, false, QStringLiteral("a.jpg"));
        Form.show();
        Form.SetViewMode(1);
        QCoreApplication::processEvents();
    }
};

} // namespace

TEST(PreviewForm, UpDownSwitchesBeforeAndAfter)
{
    TestApp();
    TPicture A(20, 10), B(20, 10);
    TPreviewForm Form;
    Form.SetPreviewImage(&A.Img, nullptr, false, QStringLiteral("x.png"));
    Key(&Form, Qt::Key_Up);
    EXPECT_EQ(Form.windowTitle(), QStringLiteral("x.png"));
    EXPECT_EQ(Form.ShownIndex(), 0);

    Form.SetPreviewImage(&A.Img, &B.Img, false, QStringLiteral("x.png"));
    EXPECT_EQ(Form.windowTitle(), QStringLiteral("x.png[After]"));
    Key(&Form, Qt::Key_Up);
    EXPECT_EQ(Form.windowTitle(), QStringLiteral("x.png[Before]"));
    Key(&Form, Qt::Key_Down);
    EXPECT_EQ(Form.windowTitle(), QStringLiteral("x.png[After]"));
}

TEST(PreviewForm, SelectionFollowsTheMouse)
{
    TShownForm S;
    TRect Last{-1, -1, -1, -1};
    int Calls = 0;
    S.Form.SetOnChangeSelectRect([&](TRect& r, QObject*) {
        Last = r;
        ++Calls;
    });
    auto Sel = [&] { return Box4(Last); };
    QWidget* Box = S.Form.PaintBox();
    ASSERT_EQ(Box->width(), 100); // centred, unscrolled: view pixel = image pixel

    // Fixed aspect 4:3: dragging from (10,10) to (50,12) gives 40 x 30.
    S.Form.SetSelectSize(TSize{4, 3});
    Stroke(Box, 10, 10, 50, 12);
    EXPECT_EQ(Calls, 1);
    EXPECT_EQ(Sel(), (std::array<int32_t, 4>{10, 10, 50, 40}));

    // Moving a selection against the top-left edge stops it there, size kept.
    S.Form.SetSelectSize(TSize{0, 0});
    S.Form.SetSelectRect(TRect{10, 10, 50, 50});
    Stroke(Box, 30, 30, 0, 0);
    EXPECT_EQ(Sel(), (std::array<int32_t, 4>{0, 0, 40, 40}));

    // Dragging past the picture keeps the corner on it.
    Mouse(Box, QEvent::MouseButtonPress, 90, 90);
    Mouse(Box, QEvent::MouseMove, 300, 300);
    EXPECT_EQ(std::make_pair(Last.Right, Last.Bottom), std::make_pair(100, 100));
    Mouse(Box, QEvent::MouseButtonRelease, 300, 300);

    // Pressing inside a selection of the whole picture starts a new one
    // instead of moving it.
    S.Form.SetSelectRect(TRect{0, 0, 100, 100});
    Mouse(Box, QEvent::MouseMove, 50, 50); // marks the whole-picture selection
    Stroke(Box, 50, 50, 60, 70);
    EXPECT_EQ(Sel(), (std::array<int32_t, 4>{50, 50, 60, 70}));

    // The read-out of a selection of a wide picture shows whole.
    TPicture Wide(20000, 10), Fit(400, 1);
    S.Form.SetPreviewImage(&Wide.Img, nullptr, false, QStringLiteral("wide.bmp"));
    S.Form.SetAllViewImage(&Fit.Img, &Fit.Img);
    S.Form.SetViewMode(0);
    Stroke(Box, 200, 0, 395, 0);
    const QLabel* ReadOut = nullptr;
    for (const QLabel* L : S.Form.findChildren<QLabel*>())
        ReadOut = L->text().startsWith("(10000,") ? L : ReadOut;
    ASSERT_NE(ReadOut, nullptr);
    EXPECT_GE(ReadOut->contentsRect().width(), ReadOut->fontMetrics().horizontalAdvance(ReadOut->text()))
        << ReadOut->text().toStdString();

    // While a new preview is pending, presses are ignored.
    const int Before = Calls;
    S.Form.CanMove = false;
    Mouse(Box, QEvent::MouseButtonPress, 5, 5);
    Mouse(Box, QEvent::MouseMove, 20, 20);
    EXPECT_EQ(Calls, Before);
}

TEST(PreviewForm, MagnifiedViewScrollsOnlyWhenTheZoomedPictureDoesNotFit)
{
    TShownForm S;
    int Changes = 0;
    S.Form.OnChangeViewMode = [&](QObject*) { ++Changes; };
    // 100 x 100 at 200 per cent fits 400 x 300 minus the status bar? Only
    // when the panel is at least 200 high.
    const TSize Client = S.Form.GetClientSize();
    S.Form.SetViewMode(2);
    EXPECT_EQ(Changes, 1);
    if (Client.cy >= 200) {
        EXPECT_EQ(S.Form.PaintBox()->geometry(), QRect(int(Client.cx - 200) / 2, S.Form.PaintBox()->y(), 200, 200));
    }
    // At 400 per cent the picture needs both bars; the point at the centre
    // stays in view, and the rectangle a spot preview computes is the one
    // that painting then shows.
    S.Form.SetViewMode(4);
    S.Form.SetViewMode(4); // the same mode again is no change
    EXPECT_EQ(Changes, 2);
    const TRect R = S.Form.GetViewRect();
    EXPECT_TRUE(R.Left <= 50 && R.Right > 50 && R.Top <= 50 && R.Bottom > 50);
    EXPECT_LE(R.Right - R.Left, S.Form.PaintBox()->width() / 4 + 2);
    S.Form.PaintBox()->repaint();
    EXPECT_EQ(Box4(S.Form.GetViewRect()), Box4(R));
    // Fit view: the fitted picture's size.
    TPicture Fit(60, 60);
    S.Form.SetAllViewImage(&Fit.Img, &Fit.Img);
    S.Form.SetViewMode(0);
    EXPECT_EQ(std::make_pair(S.Form.GetViewRect().Right, S.Form.GetViewRect().Bottom), std::make_pair(60, 60));
    EXPECT_DOUBLE_EQ(S.Form.GetZoom(), 0.6);
}

// The selection shows whatever the picture and the style: contrasting dashes
// on its edges on a black and on a white picture alike.
TEST(PreviewForm, SelectionShowsOnDarkAndLightPictures)
{
    for (uint8_t V : {uint8_t(0), uint8_t(255)}) {
        TShownForm S;
        TPicture Plain(100, 100, V);
        S.Form.SetPreviewImage(&Plain.Img, nullptr, false, QStringLiteral("plain.bmp"));
        QCoreApplication::processEvents();
        S.Form.SetSelectRect(TRect{20, 30, 80, 70});
        const QImage Shot = S.Form.PaintBox()->grab().toImage();
        ASSERT_EQ(Shot.width(), 100);
        auto Contrasting = [&](int X, int Y) {
            const int G = qGray(Shot.pixel(X, Y));
            return V == 0 ? G > 200 : G < 55;
        };
        int Top = 0, Left = 0, Inside = 0;
        for (int X = 25; X < 75; ++X)
            Top += Contrasting(X, 30);
        for (int Y = 35; Y < 65; ++Y)
            Left += Contrasting(20, Y);
        for (int Y = 40; Y < 60; ++Y)
            for (int X = 30; X < 70; ++X)
                Inside += Contrasting(X, Y);
        EXPECT_GT(Top, 10) << int(V);
        EXPECT_GT(Left, 6) << int(V);
        EXPECT_EQ(Inside, 0) << int(V) << ": the picture inside stays as it is";
    }
}
