// Every option dialog as the main window opens it: shown, it fits a
// 1366 x 768 screen and no control covers another.
#include "app/AboutFrm.h"
#include "app/BitmapOptionFrm.h"
#include "app/ChangeOrderFrm.h"
#include "app/CombineOptionFrm.h"
#include "app/CreateShortCutFrm.h"
#include "app/ErrorLogFrm.h"
#include "app/FolderOptionFrm.h"
#include "app/JPEGOptionFrm.h"
#include "app/MetadataOptionFrm.h"
#include "app/PNGOptionFrm.h"
#include "app/PictureFormatFrm.h"
#include "app/PreviewOptionFrm.h"
#include "app/ResizeOptionFrm.h"
#include "app/SusiePluginOptionFrm.h"
#include "app/SystemOptionFrm.h"
#include "core/Global.h"
#include "effects/Effect.h"
#include "effects/ResizeFilter.h"
#include "tests/app/TestApp.h"
#include "tests/effectsui/DialogLayout.h"

#include <QLabel>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

TEST(OptionDialogs, EachOneShowsWholeAndUncovered)
{
    EnsureApp();
    TEffectList Effects;
    Effects.AddFilter(std::make_unique<TResizeFilter>());
    const std::pair<const char*, std::function<QDialog*()>> Dialogs[] = {
        {"FormatConversion", [] { return new TPictureFormatForm; }},
        {"JPEGSettings", [] { return new TJPEGOptionForm(JPEGOption); }},
        {"PNGSettings", [] { return new TPNGOptionForm(PNGOption); }},
        {"BMPSettings", [] { return new TBitmapOptionForm(BitmapOption); }},
        {"ResizeSettings", [] { return new TResizeOptionForm(ResizeOption); }},
        {"MetadataSettings", [] { return new TMetadataOptionForm; }},
        {"SystemSettings", [] { return new TSystemOptionForm; }},
        {"CombineSettings", [] { return new TCombineOptionForm; }},
        {"PluginSettings", [] { return new TSusiePluginOptionForm; }},
        {"FilterOrder", [&] { return new TChangeOrderForm(Effects); }},
        {"ExternalViewer", [] { return new TPreviewOptionForm(PreviewOption); }},
        {"OutputFolder", [] { return new TFolderOptionForm; }},
        {"About", [] { return new TAboutForm; }},
        {"CreateShortcut", [] { return new TCreateShortCutForm; }},
        {"ErrorLog", [] { return new TErrorLogForm; }},
    };
    for (const auto& [Name, Make] : Dialogs) {
        std::unique_ptr<QDialog> D(Make());
        D->show();
        EXPECT_EQ(LayoutFaults(D.get()), "") << Name;
        ScreenShot(Name);
    }
}

TEST(AboutForm, ShowsTheApplicationIcon)
{
    EnsureApp();
    const QIcon Kept = QApplication::windowIcon();
    QPixmap Red(64, 64);
    Red.fill(Qt::red);
    QApplication::setWindowIcon(QIcon(Red));
    {
        TAboutForm F;
        F.show();
        EXPECT_TRUE(F.IconImage->isVisible());
        EXPECT_EQ(F.IconImage->pixmap().toImage().pixelColor(24, 24), QColor(Qt::red));
    }
    QApplication::setWindowIcon(QIcon());
    {
        TAboutForm F;
        F.show();
        EXPECT_FALSE(F.IconImage->isVisible()) << "no empty square without an icon";
        EXPECT_EQ(LayoutFaults(&F), "");
    }
    QApplication::setWindowIcon(Kept);
}
