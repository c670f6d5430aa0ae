// The numeric edits: clamping, stepping, decimals, what typing accepts, and
// taking the place of the designed box.
#include "effects/ui/NumEdit.h"

#include "UiTestApp.h"

#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <QKeyEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct NumEditTest : testing::Test {
    std::unique_ptr<QWidget> Form;
    void SetUp() override
    {
        TestApp();
        Form = std::make_unique<QWidget>();
    }
    QWidget* Box() { return Form.get(); }
    static void Key(QWidget* W, int K, const QString& Text = {})
    {
        QKeyEvent ev(QEvent::KeyPress, K, Qt::NoModifier, Text);
        QApplication::sendEvent(W, &ev);
    }
    static void Type(QWidget* W, const QString& Text)
    {
        for (QChar c : Text)
            Key(W, c.toUpper().unicode(), QString(c));
    }
    static void Leave(QWidget* W)
    {
        QFocusEvent ev(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(W, &ev);
    }
};

} // namespace

TEST_F(NumEditTest, StepsOnlyWithinTheRange)
{
    auto* e = new TUDNumEdit(Box(), 100, 0, 95, 10, 0);
    Key(e, Qt::Key_Up);
    EXPECT_EQ(e->Value(), 95); // 105 is out of range: not pushed to the bound
    Key(e, Qt::Key_Down);
    EXPECT_EQ(e->Value(), 85);
    EXPECT_EQ(e->text(), "85");
    emit e->UpDown()->Clicked(true);
    EXPECT_EQ(e->Value(), 95);
}

TEST_F(NumEditTest, TypedValueIsReportedThenClampedAndRewrittenOnLeaving)
{
    auto* e = new TNumEdit(Box(), 100, 0, 50, 1, 0);
    std::vector<double> seen;
    QObject::connect(e, &TNumEdit::Change, [&] { seen.push_back(e->Value()); });
    e->selectAll();
    Type(e, "250");
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 250);
    EXPECT_EQ(e->Value(), 100);
    EXPECT_EQ(e->text(), "250");
    const size_t changes = seen.size();
    Leave(e);
    EXPECT_EQ(e->text(), "100");
    EXPECT_EQ(seen.size(), changes); // the rewrite is silent

    // No number: the default value, and no change reported.
    e->clear();
    EXPECT_EQ(e->Value(), 50);
    EXPECT_EQ(seen.size(), changes);
    Type(e, "-");
    EXPECT_EQ(e->Value(), 50);
    Leave(e);
    EXPECT_EQ(e->text(), "50");
}

TEST_F(NumEditTest, ValueKeepsExactlyTheShownDecimals)
{
    auto* e = new TNumEdit(Box(), 10, -10, 0, 1, 2);
    e->SetDecimalSeparator('.');
    e->SetValue(1.005);
    EXPECT_EQ(e->text(), "1.00");
    EXPECT_EQ(e->Value(), 1.0);

    auto* i = new TNumEdit(Box(), 10, -10, 0, 1, 0);
    i->SetValue(2.7);
    EXPECT_EQ(i->text(), "2");
    EXPECT_EQ(i->Value(), 2);
    i->SetValue(-0.5);
    EXPECT_EQ(i->text(), "0");
    EXPECT_EQ(i->IntValue(), 0);

    // Narrowing the range pulls the value in.
    e->SetMax(0.5);
    EXPECT_EQ(e->Value(), 0.5);
    e->SetValue(-3);
    e->SetMin(-1.25);
    EXPECT_EQ(e->Value(), -1.25);
}

TEST_F(NumEditTest, AcceptsPointAndLocaleSeparator)
{
    for (const char* typed : {"1.5", "1,5"}) {
        auto* e = new TNumEdit(Box(), 10, 0, 0, 1, 2);
        e->SetDecimalSeparator(',');
        e->clear();
        Type(e, typed);
        EXPECT_EQ(e->text(), typed);
        EXPECT_EQ(e->Value(), 1.5) << typed;
        Leave(e);
        EXPECT_EQ(e->text(), "1,50");
        // A second separator of either kind is refused.
        e->end(false);
        Type(e, ".,");
        EXPECT_EQ(e->text(), "1,50");
    }
    double v;
    for (const char* bad : {"1.5.", "1e5", "5-", "nan"})
        EXPECT_FALSE(TNumEdit::ParseNumber(bad, '.', v)) << bad;
}

TEST_F(NumEditTest, KeyFilter)
{
    auto* e = new TNumEdit(Box(), 1000, -1000, 12, 1, 0);
    e->SetDecimalSeparator('.');
    e->end(false);
    Type(e, "a.");
    EXPECT_EQ(e->text(), "12"); // letters, and "." without decimals
    e->setCursorPosition(1);
    Type(e, "-");
    EXPECT_EQ(e->text(), "12");
    e->setCursorPosition(0);
    Type(e, "-");
    EXPECT_EQ(e->text(), "-12");
    e->selectAll();
    Type(e, "-");
    EXPECT_EQ(e->text(), "-");

    e->clear();
    Type(e, ".");
    EXPECT_EQ(e->text(), "."); // an empty text takes any accepted character

    e->setText("34");
    e->end(false);
    Key(e, Qt::Key_Return, "\r");
    EXPECT_EQ(e->text(), "34");
    Key(e, Qt::Key_Backspace, "\b");
    EXPECT_EQ(e->text(), "3");

    // Neither typing nor stepping changes a read-only edit.
    e->setReadOnly(true);
    e->selectAll();
    Type(e, "-");
    Key(e, Qt::Key_Up);
    EXPECT_EQ(e->text(), "3");
}

// The arrows are part of the edit: wherever a layout puts it, they stay
// inside its right edge, follow its state, and never cover a neighbour.
TEST_F(NumEditTest, UpDownStaysInsideTheEditInNestedLayouts)
{
    for (bool AttachFirst : {true, false}) {
        QWidget Dialog;
        auto* Outer = new QVBoxLayout;
        auto* Row = new QHBoxLayout;
        auto* Inner = new QGridLayout;
        if (AttachFirst) {
            Dialog.setLayout(Outer);
            Outer->addLayout(Row);
            Row->addLayout(Inner);
        }
        auto* Label = new QLabel("Offset Y", &Dialog);
        auto* e = new TUDNumEdit(&Dialog, 100, 0, 5, 1, 0);
        auto* After = new QLabel("Line Space", &Dialog);
        Inner->addWidget(Label, 0, 0);
        Inner->addWidget(e, 0, 1);
        Inner->addWidget(After, 0, 2);
        if (!AttachFirst) {
            Row->addLayout(Inner);
            Outer->addLayout(Row);
            Dialog.setLayout(Outer);
        }
        Dialog.show();
        QApplication::processEvents();

        TUpDown* ud = e->UpDown();
        ASSERT_EQ(ud->parentWidget(), e) << AttachFirst;
        EXPECT_TRUE(ud->isVisible());
        EXPECT_TRUE(e->rect().contains(ud->geometry())) << AttachFirst;
        EXPECT_GE(ud->width(), TUpDown::DefaultWidth - 1);
        EXPECT_LE(ud->height(), e->height()); // never stretched past its edit
        EXPECT_GE(e->width(), e->minimumSizeHint().width());
        const QRect Arrows(ud->mapTo(&Dialog, QPoint(0, 0)), ud->size());
        EXPECT_FALSE(Arrows.intersects(Label->geometry())) << AttachFirst;
        EXPECT_FALSE(Arrows.intersects(After->geometry())) << AttachFirst;
        EXPECT_TRUE(Dialog.rect().contains(Arrows)) << AttachFirst;
        // The text ends before the arrows.
        EXPECT_GE(e->textMargins().right(), TUpDown::DefaultWidth);

        e->setEnabled(false);
        EXPECT_FALSE(ud->isEnabled());
        e->setEnabled(true);
        EXPECT_TRUE(ud->isEnabled());
        e->hide();
        EXPECT_FALSE(ud->isVisible());

        // A wider edit keeps its arrows at its right edge.
        e->show();
        e->resize(200, e->height());
        EXPECT_LE(ud->geometry().right(), e->width() - 1);
        EXPECT_GT(ud->x(), 150);
        emit ud->Clicked(true);
        EXPECT_EQ(e->Value(), 6);
    }
}
