#include "core/Funcs.h"
#include "core/ResourceText.h"
#include "FilesTestUtil.h"

namespace {
double Eval(const std::string& Text, int W = 800, int H = 600)
{
    return EvaluateExpression(SubstituteWidthHeight(Text, W, H), '.');
}

void ExpectEvalError(const std::string& Text, char Sep = '.')
{
    EXPECT_EQ(ErrorOf([&] { EvaluateExpression(Text, Sep); }), LoadResText(SEvaluationError)) << Text.substr(0, 40);
}
} // namespace

TEST(SizeExpression, Values)
{
    // W 800, H 600; a negative total becomes 0; the first ";" ends the text.
    const std::pair<const char*, double> cases[] = {
        {"W/2-H/4", 250}, {"10-20+30", 20}, {"2*3+4*5", 26}, {"-5", 0}, {"2*(-3)", 0}, {"10+2*(-3)", 4},
        {"+7", 7}, {"1;2", 1}, {"w*h/W", 600}, {"8/3*3", 8.0 / 3 * 3}, {"((((1+1))))*2", 4}};
    for (const auto& [Text, Want] : cases)
        EXPECT_EQ(Eval(Text), Want) << Text;
    EXPECT_EQ(Eval("(W+H)/2", 640, 480), 560);
}

TEST(SizeExpression, MalformedTextsGiveTheOneError)
{
    for (const char* t : {"", "()", "(5", "5)", "2*-3", "5+", "*5", "1 + 2", ".", "1.2.3", "5x", "(1", "1)+(2"})
        ExpectEvalError(t);
}

TEST(SizeExpression, ArithmeticFaultsAreCheckedNotTrapped)
{
    for (const char* t : {"1/0", "0/0", "5/(3-3)", "W/0"}) // W is not substituted here: an error either way
        ExpectEvalError(t);
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
