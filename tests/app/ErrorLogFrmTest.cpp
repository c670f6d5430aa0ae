#include "app/ErrorLogFrm.h"
#include "TestApp.h"
#include <QPlainTextEdit>
#include <QPushButton>

TEST(ErrorLogForm, ShowsTheLogAndClosingEmptiesIt)
{
    EnsureApp();
    ErrorLog.Clear();
    TErrorLogForm form;
    EXPECT_TRUE(form.LogText->isReadOnly());
    ErrorLog.PutFileError("/pics/a.jpg", "Failed to load file");
    ErrorLog.PutProbeError("/pics/b.bmp", "Unknown format");
    form.show();
    EXPECT_EQ(form.LogText->toPlainText(), "/pics/a.jpg: Failed to load file\n/pics/b.bmp:Unknown format");
    form.CloseButton->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(ErrorLog.GetErrorCount(), 0);
    EXPECT_TRUE(form.LogText->toPlainText().isEmpty());

    // Closed by the window frame: emptied the same way.
    ErrorLog.PutErrorMsg("c.png: Failed to copy file");
    form.show();
    EXPECT_EQ(form.LogText->toPlainText(), "c.png: Failed to copy file");
    form.close();
    EXPECT_EQ(ErrorLog.GetErrorCount(), 0);
}
