// The numeric edits: clamping on leaving, and what typing accepts.
#include "effects/ui/NumEdit.h"

#include "UiTestApp.h"

#include <QFocusEvent>

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

TEST_F(NumEditTest, TypedValueIsReportedThenClampedAndRewrittenOnLeaving)
{
    auto* e = new TNumEdit(Box(), 100, 0, 50, 1, 0);
    std::vector<double> seen;
    QObject::connect(e, &TNumEdit::Change, [&] { seen.push_back(e->Value()); });
    e->selectAll();
    Type(e, "250");
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(std::make_tuple(seen.back(), e->Value(), e->text()), std::make_tuple(250, 100, "250"));
    const size_t changes = seen.size();
    Leave(e);
    EXPECT_EQ(e->text(), "100");
    EXPECT_EQ(seen.size(), changes); // the rewrite is silent

    // No number: the default value, and no change reported.
    e->clear();
    EXPECT_EQ(std::make_tuple(e->Value(), seen.size()), std::make_tuple(50, changes));
    Type(e, "-");
    EXPECT_EQ(e->Value(), 50);
    Leave(e);
    EXPECT_EQ(e->text(), "50");
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
