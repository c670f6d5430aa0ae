#include "app/ErrorLogFrm.h"
#include "TestApp.h"
#include "core/ErrorLog.h"
#include "core/Global.h"
#include "core/ResourceText.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>

TEST(ErrorLogForm, ShowsTheLogAndClosingEmptiesIt)
{
    EnsureApp();
    ErrorLog.Clear();
    TErrorLogForm form;
    EXPECT_EQ(form.windowTitle(), "ErrorLog");
    EXPECT_EQ(form.Button1->text(), "Close");
    EXPECT_TRUE(form.Memo1->isReadOnly());

    ErrorLog.PutFileError("/pics/a.jpg", "Failed to load file");
    ErrorLog.PutProbeError("/pics/b.bmp", "Unknown format");
    form.show();
    EXPECT_EQ(form.Memo1->toPlainText(), "/pics/a.jpg: Failed to load file\n/pics/b.bmp:Unknown format");

    form.Button1->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(ErrorLog.GetErrorCount(), 0);
    EXPECT_TRUE(form.Memo1->toPlainText().isEmpty());

    // Closed by the window frame: emptied the same way.
    ErrorLog.PutErrorMsg("c.png: Failed to copy file");
    form.show();
    EXPECT_EQ(form.Memo1->toPlainText(), "c.png: Failed to copy file");
    form.close();
    EXPECT_EQ(ErrorLog.GetErrorCount(), 0);
}

TEST(ErrorLogForm, TranslatesItsTexts)
{
    EnsureApp();
    const std::string saved = ExeDir;
    ExeDir = VESTRO_DIST_DIR "/";
    SetInterfaceLanguage("de");
    {
        TErrorLogForm form;
        EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Fehlerprotokoll"));
        EXPECT_EQ(form.Button1->text(), QString::fromUtf8("Schließen"));
    }
    SetInterfaceLanguage("en");
    ExeDir = saved;
}
