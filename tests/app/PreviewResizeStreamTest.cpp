// The preview window resized by the window system in a stream that lasts
// longer than the pause which ends it: the picture is refitted once, after
// the last size, not every time the pause would have passed since the first.
#include "effects/ui/ColorCorrectionDlg.h"
#include "tests/app/EffectDialogDriver.h"

#include <QElapsedTimer>
#include <QWindow>

namespace {

class PreviewResizeStream : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        D.Start();
        if (!Startup.KodexLoaded)
            GTEST_SKIP() << "the codec library is not built";
        D.Open("[Preview]\nViewMode=0\nWidth=640\nHeight=480\n", {D.Solid("first.png", Red)}, 1);
    }
    void TearDown() override { D.Stop(); }

    // Processes events for Ms milliseconds.
    static void Pass(int Ms)
    {
        QElapsedTimer T;
        T.start();
        while (T.elapsed() < Ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    const QColor Red{200, 30, 30};
    TEffectDialogDriver D;
};

} // namespace

TEST_F(PreviewResizeStream, AStreamLongerThanThePauseIsRefittedOnceAfterItsLastSize)
{
    D.WithDialog<TColorAdjustForm>(EFFECT_COLORADJUST, [&](TColorAdjustForm&) {
        ASSERT_TRUE(D.PreviewShows(Red));
        int Refits = 0;
        auto Resized = PreviewWindows.PreviewForm->OnResized;
        PreviewWindows.PreviewForm->OnResized = [&](QObject* Sender) {
            ++Refits;
            Resized(Sender);
        };
        // Resized through its window, as the window system does: twelve sizes,
        // a quarter of the pause apart, three pauses long in all.
        QWindow* Window = PreviewWindows.PreviewForm->windowHandle();
        ASSERT_NE(Window, nullptr);
        const QSize Start = PreviewWindows.PreviewForm->size();
        QSize Size = Start;
        for (int Step = 1; Step <= 12; ++Step) {
            Size = Start - QSize(10 * Step, 5 * Step);
            Window->resize(Size);
            Pass(TPreviewForm::ResizeSettleMs / 4);
        }
        ASSERT_EQ(PreviewWindows.PreviewForm->size(), Size) << "the resizes did not arrive";
        EXPECT_EQ(Refits, 0) << "refitted while the sizes were still coming";
        ASSERT_TRUE(WaitFor([&] { return Refits > 0; }, 10000));
        Pass(3 * TPreviewForm::ResizeSettleMs);
        EXPECT_EQ(Refits, 1);
        // The 600 x 400 picture fills the last area on one side, and still shows.
        EXPECT_TRUE(D.PreviewFitsItsArea());
        EXPECT_TRUE(D.PreviewShows(Red));
    });
}
