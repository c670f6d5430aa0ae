// The numeric edits: clamping, stepping, decimals, what typing accepts, and
// taking the place of the designed box.
#include "effects/ui/NumEdit.h"

#include "UiTestApp.h"

#include <QFocusEvent>
#include <QHBoxLayout>
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
    QLineEdit* Box()
    {
        auto* b = new QLineEdit(Form.get());
        b->setGeometry(10, 20, 60, 22);
        return b;
    }
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

TEST_F(NumEditTest, TakesThePlaceOfTheDesignedBox)
{
    auto* layout = new QHBoxLayout(Form.get());
    QLineEdit* box = Box();
    layout->addWidget(box);
    box->setProperty("Tag", 7);
    box->setEnabled(false);
    auto* e = new TUDNumEdit(box, 10, 0, 3, 1, 0);
    EXPECT_EQ(layout->indexOf(e), 0);
    EXPECT_EQ(e->property("Tag").toInt(), 7);
    EXPECT_FALSE(e->UpDown()->isEnabled());
    e->setEnabled(true);
    EXPECT_TRUE(e->UpDown()->isEnabled());
    EXPECT_EQ(e->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);

    Form->show();
    e->setGeometry(5, 6, 50, 24);
    EXPECT_EQ(e->UpDown()->geometry(), QRect(55, 6, e->UpDown()->width(), 24));
    e->hide();
    EXPECT_TRUE(e->UpDown()->isHidden());
    // The up-down may go first (its owner freed it); the edit then forgets it.
    delete e->UpDown();
    EXPECT_EQ(e->TotalWidth(), 50);
}
