// The preview and histogram windows of the effect dialogs under a real window
// manager: closed by its key, resized by dragging its frame, stacked.
#include "effects/ui/ColorCorrectionDlg.h"
#include "effects/ui/UnSharpMaskDlg.h"
#include "tests/WindowManagerFixture.h"
#include "tests/app/EffectDialogDriver.h"

#include <QWindow>

namespace {

class PreviewWindowsManaged : public wmtest::WindowManagerTest {
protected:
    void SetUp() override
    {
        wmtest::WindowManagerTest::SetUp();
        if (IsSkipped())
            return;
        EnsureApp();
        ASSERT_EQ(QGuiApplication::platformName(), QLatin1String("xcb"));
        D.Start();
        if (!Startup.KodexLoaded)
            GTEST_SKIP() << "the codec library is not built";
        const std::string First = D.Solid("first.png", Red), Second = D.Solid("second.png", Blue);
        // The preview window fits the picture, at a size of its own.
        D.Open("[Preview]\nViewMode=0\nWidth=640\nHeight=480\n", {First, Second}, 2);
        ASSERT_TRUE(Settle([&] { return D.Window->windowHandle() && D.Window->windowHandle()->isExposed(); }));
    }
    void TearDown() override { D.Stop(); }

    // The window's frame as the window manager drew it (X's own view, not Qt's).
    static QRect FrameRect(const QWidget* W)
    {
        std::string Out;
        wmtest::Run({"xwininfo", "-id", std::to_string(wmtest::TWindowManager::FrameOf(ClientOf(W)))}, &Out);
        auto Field = [&](const char* Name) {
            const size_t P = Out.find(Name);
            return P == std::string::npos ? -1 : std::stoi(Out.substr(P + std::strlen(Name)));
        };
        return QRect(Field("Absolute upper-left X:"), Field("Absolute upper-left Y:"), Field("Width:"),
                     Field("Height:"));
    }

    const QColor Red{200, 30, 30}, Blue{30, 30, 200};
    TEffectDialogDriver D;
};

} // namespace

// Unsharp mask opened right after Color Adjust was closed with OK: its
// histogram shows above it and beside it, not hidden behind it.
TEST_F(PreviewWindowsManaged, TheHistogramStandsAboveItsDialogAlsoInTheNextDialog)
{
    D.WithDialog<TColorAdjustForm>(EFFECT_COLORADJUST, [&](TColorAdjustForm& F) {
        EXPECT_TRUE(D.PreviewShows(Red));
        ASSERT_TRUE(Settle([&] { return PreviewWindows.HistogramForm && PreviewWindows.HistogramForm->isVisible(); }));
        QTest::mouseClick(F.OkButton, Qt::LeftButton);
    });
    D.WithDialog<TUnSharpMaskOptionForm>(EFFECT_USM, [&](TUnSharpMaskOptionForm& F) {
        EXPECT_TRUE(D.PreviewShows(Red));
        ASSERT_TRUE(Settle([&] { return PreviewWindows.HistogramForm && PreviewWindows.HistogramForm->isVisible(); }));
        auto Above = [&] {
            const int H = wmtest::TWindowManager::StackingPlace(ClientOf(PreviewWindows.HistogramForm));
            const int Dlg = wmtest::TWindowManager::StackingPlace(ClientOf(&F));
            return H >= 0 && Dlg >= 0 && H > Dlg;
        };
        EXPECT_TRUE(Steady(Above)) << "the histogram is stacked below its dialog";
        const QRect Hist = FrameRect(PreviewWindows.HistogramForm), Dlg = FrameRect(&F);
        // Below the dialog, where there is room (as here), frame to frame.
        EXPECT_TRUE(!Hist.intersects(Dlg) && Hist.top() >= Dlg.bottom() && Hist.left() == Dlg.left())
            << "histogram " << Hist.x() << "," << Hist.y() << " " << Hist.width() << "x" << Hist.height() << " dialog "
            << Dlg.x() << "," << Dlg.y() << " " << Dlg.width() << "x" << Dlg.height();
    });
}

// Alt+F4 in the preview window, which the window manager turns into a close
// request: Preview unchecks and the histogram goes with the picture; the
// dialog stays.
TEST_F(PreviewWindowsManaged, AltF4InThePreviewWindowUnchecksPreviewAndHidesTheHistogram)
{
    D.WithDialog<TColorAdjustForm>(EFFECT_COLORADJUST, [&](TColorAdjustForm& F) {
        ASSERT_TRUE(D.PreviewShows(Red));
        ASSERT_TRUE(Settle([&] { return PreviewWindows.HistogramForm && PreviewWindows.HistogramForm->isVisible(); }));
        // The dialog's first activation hands the focus back to the dialog;
        // once it has passed, the preview keeps the focus it is given.
        ASSERT_TRUE(Settle([&] { return F.isActiveWindow(); }));
        const unsigned long Preview = ClientOf(PreviewWindows.PreviewForm);
        ASSERT_EQ(XDoTool({"windowactivate", "--sync", std::to_string(Preview)}), 0);
        ASSERT_TRUE(Settle([&] { return PreviewWindows.PreviewForm->isActiveWindow(); }));
        ASSERT_EQ(XDoTool({"key", "--clearmodifiers", "alt+F4"}), 0);
        ASSERT_TRUE(Settle([&] { return !PreviewWindows.PreviewForm->isVisible(); }))
            << "the window manager did not close it";
        Settle([&] { return !PreviewWindows.HistogramForm->isVisible(); });
        EXPECT_FALSE(F.PreviewBox->isChecked());
        EXPECT_FALSE(PreviewWindows.HistogramForm->isVisible()) << "the histogram stays on screen";
        EXPECT_FALSE(F.HistogramBox->isEnabled());
        EXPECT_TRUE(F.isVisible());
        // Both really went from the screen, not only from Qt's view of it.
        EXPECT_TRUE(Steady([&] {
            return wmtest::TWindowManager::StackingPlace(Preview) < 0 &&
                wmtest::TWindowManager::StackingPlace(ClientOf(PreviewWindows.HistogramForm)) < 0;
        }));
    });
}

// Dragging the preview window's frame: the window manager sends a stream of
// resizes and the picture is fitted once, when the stream has ended, to the
// size it ended at.
TEST_F(PreviewWindowsManaged, AResizeByTheWindowManagerRefitsOnceAtItsEnd)
{
    D.WithDialog<TUnSharpMaskOptionForm>(EFFECT_USM, [&](TUnSharpMaskOptionForm&) {
        ASSERT_TRUE(D.PreviewShows(Red));
        ASSERT_EQ(PreviewWindows.PreviewForm->ViewMode(), 0);
        int Refits = 0;
        auto Resized = PreviewWindows.PreviewForm->OnResized;
        PreviewWindows.PreviewForm->OnResized = [&](QObject* Sender) {
            ++Refits;
            Resized(Sender);
        };
        const std::string Preview = std::to_string(ClientOf(PreviewWindows.PreviewForm));
        const QSize Start = PreviewWindows.PreviewForm->size();
        // Steps of a drag, each taken by the window manager before the next
        // (the window's X geometry shows it) while the program reads none of them.
        QSize Size = Start;
        for (int Step = 1; Step <= 6; ++Step) {
            Size = Start + QSize(-30 * Step, -20 * Step);
            ASSERT_EQ(XDoTool({"windowsize", Preview, std::to_string(Size.width()), std::to_string(Size.height())}), 0);
            std::string Out;
            for (int i = 0; i < 200; ++i) {
                wmtest::Run({"xwininfo", "-id", Preview}, &Out);
                if (Out.find("Width: " + std::to_string(Size.width()) + "\n") != std::string::npos &&
                    Out.find("Height: " + std::to_string(Size.height()) + "\n") != std::string::npos)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        ASSERT_TRUE(Settle([&] { return PreviewWindows.PreviewForm->size() == Size; })) << "the resizes did not arrive";
        EXPECT_EQ(Refits, 0) << "refitted while the frame was still being dragged";
        ASSERT_TRUE(Settle([&] { return Refits > 0; }));
        Settle([] { return false; }, 3 * TPreviewForm::ResizeSettleMs);
        EXPECT_EQ(Refits, 1);
        // The picture (600 x 400) fills the smaller area on one side, and still shows.
        EXPECT_TRUE(D.PreviewFitsItsArea());
        EXPECT_TRUE(D.PreviewShows(Red));
    });
}
