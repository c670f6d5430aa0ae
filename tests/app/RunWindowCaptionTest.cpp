// The run window where nobody looks (the offscreen platform): its caption is
// measured only when it shows, and then it is kept whole as everywhere else.
#include "TestApp.h"
#include "app/ProgressFrm.h"
#include "effects/ui/WindowLook.h"

#include <QFont>
#include <QScreen>

TEST(RunWindowCaption, AShownRunWindowKeepsItsWholeCaption)
{
    EnsureApp();
    ASSERT_TRUE(IsNonInteractive());
    const QFont Kept = QApplication::font();
    // A large interface font: the bold title is wider than the window's
    // label and button.
    QFont Big = Kept;
    Big.setPointSize(36);
    QApplication::setFont(Big);
    {
        TProgressForm Run(false, {});
        Run.show();
        QApplication::processEvents();
        const int Need = std::min(TitleBarWidth(Run.windowTitle()), Run.screen()->availableGeometry().width() * 3 / 4);
        EXPECT_GT(Need, 420);
        EXPECT_GE(Run.width(), Need);
        Run.hide();
    }
    QApplication::setFont(Kept);
}
