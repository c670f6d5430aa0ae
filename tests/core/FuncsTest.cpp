#include "core/Funcs.h"
#include "core/Errors.h"
#include "core/ResourceText.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
double Eval(const std::string& Text, int W = 800, int H = 600)
{
    return EvaluateExpression(SubstituteWidthHeight(Text, W, H), '.');
}

void ExpectEvalError(const std::string& Text, char Sep = '.')
{
    try {
        EvaluateExpression(Text, Sep);
        ADD_FAILURE() << "no error for \"" << Text.substr(0, 40) << "\"";
    } catch (const EVestroError& e) {
        EXPECT_STREQ(e.what(), LoadResText(SEvaluationError).c_str());
    }
}
} // namespace

TEST(SizeExpression, Values)
{
    EXPECT_EQ(Eval("W/2-H/4"), 250);
    EXPECT_EQ(Eval("(W+H)/2", 640, 480), 560);
    EXPECT_EQ(Eval("10-20+30"), 20);
    EXPECT_EQ(Eval("2*3+4*5"), 26);
    EXPECT_EQ(Eval("-5"), 0);           // a negative total becomes 0
    EXPECT_EQ(Eval("2*(-3)"), 0);
    EXPECT_EQ(Eval("10+2*(-3)"), 4);
    EXPECT_EQ(Eval("+7"), 7);
    EXPECT_EQ(Eval("1;2"), 1);          // the first ";" ends the text
    EXPECT_EQ(Eval("w*h/W"), 600);
    EXPECT_EQ(Eval("8/3*3"), 8.0 / 3 * 3);
    EXPECT_EQ(Eval("((((1+1))))*2"), 4);
}

TEST(SizeExpression, MalformedTextsGiveTheOneError)
{
    for (const char* t : {"", "()", "(5", "5)", "2*-3", "5+", "*5", "1 + 2", ".", "1.2.3", "5x", "(1", "1)+(2"})
        ExpectEvalError(t);
}

TEST(SizeExpression, ArithmeticFaultsAreCheckedNotTrapped)
{
    ExpectEvalError("1/0");
    ExpectEvalError("0/0");
    ExpectEvalError("5/(3-3)");
    ExpectEvalError("W/0"); // W is not substituted here: an error either way
    // A result past the double range is an error, not infinity.
    std::string big = "99999999999999999999";
    std::string t = big;
    for (int i = 0; i < 20; ++i)
        t += "*" + big;
    ExpectEvalError(t);
    ExpectEvalError(std::string(400, '9'));
}

TEST(SizeExpression, DeepNestingIsRefusedWithoutExhaustingTheStack)
{
    const int ok = kMaxExpressionDepth;
    EXPECT_EQ(EvaluateExpression(std::string(ok, '(') + "3" + std::string(ok, ')'), '.'), 3);
    ExpectEvalError(std::string(ok + 1, '(') + "3" + std::string(ok + 1, ')'));
    ExpectEvalError(std::string(1000000, '(') + "1" + std::string(1000000, ')'));
}

TEST(SizeExpression, PointWorksInEveryLocaleBesideTheLocaleSeparator)
{
    EXPECT_EQ(EvaluateExpression("1.5*2", '.'), 3);
    EXPECT_EQ(EvaluateExpression("1.5*2", ','), 3);   // a stored "1.5" survives a comma locale
    EXPECT_EQ(EvaluateExpression("1,5*2", ','), 3);
    EXPECT_EQ(EvaluateExpression(".5+1.", '.'), 1.5);
    ExpectEvalError("1,5", '.');
    ExpectEvalError("1,5.2", ',');
}
