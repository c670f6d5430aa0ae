#include "app/ErrorLogFrm.h"
#include "TestApp.h"
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <thread>

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

// Lines that come while the window shows are added to it, whether a caller
// asks for the log again (it does not wait a second time) or another thread
// adds them; closing takes out only what was shown.
TEST(ErrorLogForm, LinesThatComeWhileItShowsAreAddedAndOnlyTheShownAreTakenOut)
{
    EnsureApp();
    ErrorLog.Clear();
    TErrorLogForm form;
    ErrorLog.PutFileError("/pics/missing.jpg", "File not found");
    form.show();
    ErrorLog.PutFileError("/pics/empty.jpg", "Unknown format");
    EXPECT_TRUE(form.ShowModal()); // returns at once: the window is open already
    EXPECT_EQ(form.LogText->toPlainText(), "/pics/missing.jpg: File not found\n/pics/empty.jpg: Unknown format");
    std::thread([] { ErrorLog.PutFileError("/pics/noise.jpg", "Not a JPEG file"); }).join();
    EXPECT_TRUE(
        WaitFor([&] { return form.LogText->toPlainText().endsWith("/pics/noise.jpg: Not a JPEG file"); }, 5000));
    EXPECT_EQ(form.LogText->toPlainText().count('\n'), 2);

    // A line that came after the window last looked stays in the log.
    ErrorLog.PutErrorMsg("late.png: Failed to copy file");
    form.CloseButton->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(ErrorLog.Lines(), std::vector<std::string>{"late.png: Failed to copy file"});
}

// Shown modally, the window comes back as long as lines came that it had not
// shown when it was closed; the program's end closes it for good, and the
// lines nobody saw are left for standard error.
TEST(ErrorLogForm, AModalLogShowsAgainWithLinesThatCameAsItClosed)
{
    EnsureApp();
    ErrorLog.Clear();
    TErrorLogForm form;
    ErrorLog.PutErrorMsg("a.jpg: Failed to load file");
    std::vector<QString> Shown;
    QTimer Close;
    QObject::connect(&Close, &QTimer::timeout, &form, [&] {
        if (!form.isVisible())
            return;
        Shown.push_back(form.LogText->toPlainText());
        if (Shown.size() == 1)
            ErrorLog.PutErrorMsg("b.jpg: Failed to load file"); // comes as the user clicks Close
        form.CloseButton->click();
    });
    Close.start(10);
    EXPECT_TRUE(form.ShowModal());
    EXPECT_EQ(Shown, (std::vector<QString>{"a.jpg: Failed to load file", "b.jpg: Failed to load file"}));
    EXPECT_EQ(ErrorLog.GetErrorCount(), 0);
    Close.stop();

    // Ended while it shows: not shown again, and what it did not show is left.
    ErrorLog.PutErrorMsg("c.jpg: Failed to load file");
    QTimer::singleShot(50, &form, [&] {
        ErrorLog.PutErrorMsg("d.jpg: Failed to load file");
        form.Dismiss();
    });
    EXPECT_FALSE(form.ShowModal());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(ErrorLog.Lines(), std::vector<std::string>{"d.jpg: Failed to load file"});
    ErrorLog.PutErrorMsg("e.jpg: Failed to load file");
    EXPECT_FALSE(form.ShowModal()); // never again
    ErrorLog.Clear();
}
