// The table of dialog fields: a main window on settings of its own, the
// keys and clicks that set a field, and what a row expects of the saved
// settings file and of a run's output files.
#pragma once
#include "TestApp.h"

#include "app/EffectPanel.h"
#include "app/FileListView.h"
#include "app/IniSettings.h"
#include "app/MainFrm.h"
#include "core/IniFile.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QClipboard>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QListView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <map>
#include <set>
#include <span>

namespace fieldtest {

namespace fs = std::filesystem;

// ------------------------------------------------------------ keys and clicks

// A left click where a user clicks: a box or radio button on its mark, any
// other button in its middle.
inline void Click(QAbstractButton* B)
{
    const QPoint At =
        qobject_cast<QPushButton*>(B) ? B->rect().center() : QPoint(B->contentsRect().left() + 8, B->height() / 2);
    QTest::mouseClick(B, Qt::LeftButton, {}, At);
}

// End, Shift+Home, then Text typed over the selection.
inline void Type(QLineEdit* E, const QString& Text)
{
    QTest::keyClick(E, Qt::Key_End);
    QTest::keyClick(E, Qt::Key_Home, Qt::ShiftModifier);
    QTest::keyClicks(E, Text);
}

// The next or previous entry of a closed list, by the arrow keys.
inline void Down(QComboBox* List)
{
    QTest::keyClick(List, Qt::Key_Down);
}
inline void Up(QComboBox* List)
{
    QTest::keyClick(List, Qt::Key_Up);
}
// Entry Index: Home, then Down as often as it takes.
inline void Choose(QComboBox* List, int Index)
{
    QTest::keyClick(List, Qt::Key_Home);
    for (int i = 0; i < Index; ++i)
        Down(List);
}

// The OK or Cancel button of D, clicked.
inline void ClickButton(QWidget* D, const char* Text)
{
    for (QPushButton* B : D->findChildren<QPushButton*>())
        if (B->text().remove('&') == Text && B->isVisible()) {
            Click(B);
            return;
        }
    ADD_FAILURE() << "no button " << Text;
}

// Runs Work on the modal window of type D that the next step opens.
template <class D> void WhenOpen(std::function<void(D&)> Work)
{
    QTimer::singleShot(0, [Work] {
        if (auto* W = qobject_cast<D*>(QApplication::activeModalWidget()))
            Work(*W);
        else
            ADD_FAILURE() << "no " << D::staticMetaObject.className();
    });
}

// Panel opens the colour box; the colour is typed into its "#rrggbb" edit.
inline void PickColour(QAbstractButton* Panel, const char* Html)
{
    WhenOpen<QColorDialog>([Html](QColorDialog& C) {
        for (QLineEdit* E : C.findChildren<QLineEdit*>())
            if (E->text().startsWith('#'))
                Type(E, Html);
        ClickButton(&C, "OK");
    });
    Click(Panel);
}

// Button opens the font box; Family is typed into its family list (the
// list's keyboard search picks it) and Size into its size edit.
inline void PickFont(QAbstractButton* Button, const QString& Family, const char* Size)
{
    WhenOpen<QFontDialog>([Family, Size](QFontDialog& F) {
        for (QAbstractItemView* V : F.findChildren<QAbstractItemView*>())
            if (!V->model()->match(V->model()->index(0, 0), Qt::DisplayRole, Family, 1, Qt::MatchExactly).isEmpty())
                QTest::keyClicks(V, Family);
        for (QLineEdit* E : F.findChildren<QLineEdit*>()) {
            bool Number = false;
            E->text().toInt(&Number);
            if (Number)
                Type(E, Size);
        }
        ClickButton(&F, "OK");
    });
    Click(Button);
}

// Button opens a folder or file box; Path is pasted over the box's name
// edit (typed a letter at a time, each letter would pick an entry of the
// folder shown) and Return pressed.
inline void PickPath(QAbstractButton* Button, const std::string& Path)
{
    WhenOpen<QFileDialog>([Path](QFileDialog& F) {
        auto* Edit = F.findChild<QLineEdit*>("fileNameEdit");
        if (!Edit) {
            ADD_FAILURE() << "no name edit";
            return F.reject();
        }
        QGuiApplication::clipboard()->setText(QString::fromStdString(Path));
        QTest::keyClick(Edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(Edit, Qt::Key_V, Qt::ControlModifier);
        if (QWidget* Popup = QApplication::activePopupWidget())
            QTest::keyClick(Popup, Qt::Key_Escape);
        QTest::keyClick(Edit, Qt::Key_Return);
        if (F.isVisible()) {
            ADD_FAILURE() << "the box took no " << Path << ", its name edit reads " << Edit->text().toStdString();
            F.reject();
        }
    });
    Click(Button);
}

// An installed font family other than the interface font.
inline QString OtherFamily()
{
    for (const QString& F : QFontDatabase::families())
        if (F.toStdString() != Settings.UIFontName && !F.contains(' ') && !QFontDatabase::isPrivateFamily(F))
            return F;
    return {};
}

// ------------------------------------------------------------ output facts

// What a written file tells about itself, as tokens "L:fact" where L is the
// file's stem: "a:q8,9" (first entry of each JPEG quantisation table),
// "a:s21,11,11" (sampling factors), "a:progressive", "a:noexif", "a:dpi96"
// (JFIF density in dots per inch), "c:t3" (PNG colour type), "c:tRNS",
// "a:exifw48" (Exif width), "c:pHYs", "c:z2" (compression level class of
// the zlib header), "b:8bit", "b:h40" and "b:ppm3780" (BMP depth, header
// size and pixels a metre), "a:new" (bytes other than the
// same file of the unchanged run), "a:oldtime" (the input's last write
// time), "a:48x32" (its size), and "file:a.jpg" for each file.
std::set<std::string> OutputFacts(const fs::path& Out, const fs::path& Before, const fs::path& In);

// ------------------------------------------------------------ the table

struct TFieldRow {
    std::string Name;                     // the dialog and the field
    std::function<void(TMainForm&)> Open; // the menu command or strip button
    std::function<void(QDialog&)> Work;   // the keys and clicks
    std::vector<std::string> Keys;        // "Section/Key=value" changed by OK
    std::vector<std::string> Output;      // facts of the run that must be new
    std::string Settings;                 // added to the window's settings first
};

// How the main window opens the dialog of type F.
template <class F> struct TOpener;

template <class F, class W>
TFieldRow Row(const char* Field, W Work, std::vector<std::string> Keys, std::vector<std::string> Output = {},
              std::string Settings = {})
{
    return {std::string(F::staticMetaObject.className()) + " " + Field,
            TOpener<F>::Open,
            [Work](QDialog& D) { Work(*qobject_cast<F*>(&D)); },
            std::move(Keys),
            std::move(Output),
            std::move(Settings)};
}

// The settings button of the strip row of the effect whose section is Section.
void OpenEffectRow(TMainForm& W, const char* Section);

class DialogFields : public TStartedTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Each row: Cancel saves what was there, OK the row's keys and no other,
    // and a run of the saved file writes the row's facts.
    void WorkRows(std::span<const TFieldRow> Rows);

    // The settings file of the window with Settings added; what a save of
    // it holds, and the facts of a run of it (once for each Settings).
    struct TBefore {
        fs::path File, Out;
        std::map<std::string, std::string> Keys;
        std::set<std::string> Facts;
    };
    const TBefore& BeforeOf(const std::string& Settings);
    // What a save holds now that B does not hold, as "Section/Key=value".
    std::vector<std::string> Changes(const TBefore& B);

    // Works Row's dialog and presses OK or Cancel; false when it did not open.
    bool WorkDialog(const TFieldRow& Row, bool Ok);
    // The window's settings saved as the program saves them, as "Section/Key=value".
    std::map<std::string, std::string> Saved(const fs::path& File);
    // Loads File as a profile, lists the three inputs and runs them into out/.
    void RunInto(const fs::path& File);

    TKeptSettings Kept;
    std::string KeptOrder = Settings.SPIOrder;
    fs::path Dir;
    std::string BaseText;
    std::map<std::string, TBefore> Befores;
    std::map<std::string, bool> StartUse; // each effect's "Use" at the start
    std::unique_ptr<TMainForm> Window;
    std::vector<std::string> Notices;
};

} // namespace fieldtest

using fieldtest::DialogFields;
using namespace fieldtest;
