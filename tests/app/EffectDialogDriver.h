// The main window with pictures listed, and the effect dialogs opened from its
// strip as a user opens them: a click on a row's settings button.
#pragma once
#include "app/EffectPanel.h"
#include "app/FileListView.h"
#include "app/MainFrm.h"
#include "effects/ui/HistogramFrm.h"
#include "effects/ui/PreviewFrm.h"
#include "tests/app/TestApp.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace fs = std::filesystem;

class TEffectDialogDriver {
public:
    // Call once the application exists: the program's globals from the
    // build's program folder, and a scratch data folder of its own. Stop
    // undoes it.
    void Start()
    {
        Started = true;
        SavedExeDir = Startup.ExeDir;
        Startup.ExeDir = VESTRO_DIST_DIR "/";
        InitializeGlobals({});
        Dir = ScratchDir("effectdlg");
        UseDataFolder(Dir);
        App.FileList->Clear();
        ErrorLog.Clear();
    }
    void Stop()
    {
        if (!Started)
            return;
        Started = false;
        Window.reset();
        if (App.FileList)
            App.FileList->Clear();
        FinalizeGlobals();
        Startup.ExeDir = SavedExeDir;
        fs::remove_all(Dir);
    }

    // A settings file holding Settings, then the window listing Args (Listed entries).
    void Open(const std::string& Settings, const std::vector<std::string>& Args = {}, size_t Listed = 0)
    {
        LoadTestSettings(Dir, Settings);
        Window = std::make_unique<TMainForm>(Args);
        Window->show();
        ASSERT_TRUE(WaitFor([&] { return size_t(App.FileList->Count()) == Listed && Window->isVisible(); }))
            << App.FileList->Count();
    }

    // A W x H picture of one colour in in/, its path.
    std::string Solid(const char* Name, QColor Colour, int W = 600, int H = 400)
    {
        QImage Img(W, H, QImage::Format_RGB32);
        Img.fill(Colour);
        const fs::path P = Dir / "in" / Name;
        EXPECT_TRUE(Img.save(QString::fromStdString(P.string())));
        return P.string();
    }

    // The settings button of the strip row of the effect ID.
    QToolButton* SettingsButton(uint32_t ID) const
    {
        for (int i = 0; i < EffectList->Count(); ++i)
            if (EffectList->Items(i)->FID == ID)
                return Window->EffectStrip->FilterList[size_t(i)]->FSpeedButton;
        return nullptr;
    }

    // Clicks the settings button of effect ID; Look runs on the dialog of type
    // Form once it is shown. A dialog that Look leaves open is cancelled.
    template <class Form> void WithDialog(uint32_t ID, const std::function<void(Form&)>& Look)
    {
        QToolButton* Button = SettingsButton(ID);
        ASSERT_NE(Button, nullptr);
        bool Seen = false;
        QTimer::singleShot(0, [&] {
            Form* F = nullptr;
            WaitFor([&] { return (F = qobject_cast<Form*>(QApplication::activeModalWidget())) && F->isVisible(); });
            if (!F) {
                if (auto* Other = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                    Other->reject();
                return;
            }
            Seen = true;
            Look(*F);
            if (F->isVisible())
                QTest::mouseClick(F->CancelButton, Qt::LeftButton);
        });
        QTest::mouseClick(Button, Qt::LeftButton);
        EXPECT_TRUE(Seen) << "no dialog came up";
    }

    // The check box of Dialog captioned Caption.
    static QCheckBox* Box(QWidget& Dialog, const char* Caption)
    {
        for (QCheckBox* B : Dialog.findChildren<QCheckBox*>())
            if (B->text() == QLatin1String(Caption))
                return B;
        return nullptr;
    }
    // A click on the box of Box (a check box is wider than what takes a click).
    static void ClickBox(QCheckBox* Box)
    {
        QStyleOptionButton Opt;
        Opt.initFrom(Box);
        const QRect R = Box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &Opt, Box);
        QTest::mouseClick(Box, Qt::LeftButton, {}, R.center());
    }
    // The text of the preview window's status panel Index (0 size, 1 pointer or selection).
    static QString PreviewStatus(int Index)
    {
        const QList<QLabel*> L = PreviewWindows.PreviewForm->findChild<QStatusBar*>()->findChildren<QLabel*>();
        return Index < L.size() ? L[Index]->text() : QString();
    }
    // Waits until the preview window shows a picture whose middle has colour C (within 3 per channel).
    static bool PreviewShows(QColor C)
    {
        return WaitFor(
            [&] {
                if (!PreviewWindows.PreviewForm || !PreviewWindows.PreviewForm->isVisible() ||
                    PreviewWindows.PreviewForm->PaintBox()->width() < 4)
                    return false;
                const QImage I = PreviewWindows.PreviewForm->PaintBox()->grab().toImage();
                return Near(I.pixelColor(I.width() / 2, I.height() / 2), C);
            },
            10000);
    }
    // Whether the preview's picture fills its area on one side and lies within it on the other.
    static ::testing::AssertionResult PreviewFitsItsArea()
    {
        const QSize Area = PreviewWindows.PreviewForm->PaintBox()->parentWidget()->size();
        const QSize Box = PreviewWindows.PreviewForm->PaintBox()->size();
        if ((Box.width() == Area.width() && Box.height() <= Area.height()) ||
            (Box.height() == Area.height() && Box.width() <= Area.width()))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
            << Box.width() << "x" << Box.height() << " in " << Area.width() << "x" << Area.height();
    }
    static bool Near(QColor A, QColor B)
    {
        return std::abs(A.red() - B.red()) <= 3 && std::abs(A.green() - B.green()) <= 3 &&
            std::abs(A.blue() - B.blue()) <= 3;
    }

    fs::path Dir;
    std::unique_ptr<TMainForm> Window;

private:
    bool Started = false;
    std::string SavedExeDir;
};
