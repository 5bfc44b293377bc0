#include <gtest/gtest.h>

#include <string>

#include "support/childprocess.h"
#include "ttlabelinfo/tstrcalc.h"

using namespace tarvik;

TEST(TStrCalc, Examples)
{
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("0.1"), 0.1);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("1/16"), 0.0625);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("(2+3)*4"), 20);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("2+3*4"), 14);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("-40"), -40);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("5+"), 5);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc(""), 0);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("abc"), 0);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("3/0"), 0);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc(" 0.25 "), 0.25);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("8-4-2"), 2);       // left to right
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("16/4/2"), 2);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("1.84467440737096E19"), 1.84467440737096E19);
}

TEST(TStrCalc, MinusIsSignOnlyWhereNothingIsSubtracted)
{
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("10-2"), 8);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("5--3"), 8);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("(10)-2"), 8);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("2*3--1"), 7);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("5-3-1"), 1);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("10 - 2"), 8);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("2+ -3"), -1);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("2*-3"), -6);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("(-2)*3"), -6);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("-(10)"), -10);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("-(2+3)*4"), -20);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("2*-(3)"), -6);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc(" - (1)"), -1);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("--3"), 3);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("5---3"), 2);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("1E-3"), 0.001);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("1.5E-3*2"), 0.003);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("-1e-3"), -0.001);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("2e-1-1e-1"), 0.1);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("-9.22337203685478E18"), -9.22337203685478E18);
}

TEST(TStrCalc, TokensAndPostfix)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(TStrCalc::Tokenize("10-2"), (V{"10", "-", "2"}));
    EXPECT_EQ(TStrCalc::Tokenize("-40"), (V{"-40"}));
    EXPECT_EQ(TStrCalc::Tokenize("5--3"), (V{"5", "-", "-3"}));
    EXPECT_EQ(TStrCalc::Tokenize("1E-3*(2)"), (V{"1E-3", "*", "(", "2", ")"}));
    // A word ending in E is no mantissa: its minus subtracts.
    EXPECT_EQ(TStrCalc::Tokenize("4-RATE-1"), (V{"4", "-", "RATE", "-", "1"}));
    EXPECT_EQ(TStrCalc::ToPostfix(TStrCalc::Tokenize("2+3*4")), (V{"2", "3", "4", "*", "+"}));
    EXPECT_EQ(TStrCalc::ToPostfix(TStrCalc::Tokenize("(2+3)*4")), (V{"2", "3", "+", "4", "*"}));
    EXPECT_EQ(TStrCalc::Precedence(""), -1);
    EXPECT_EQ(TStrCalc::Precedence("("), 7);
    EXPECT_EQ(TStrCalc::Precedence("x"), 6);
}

TEST(TStrCalc, NumbersAreDecimalOnly)
{
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("inf"), 0);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("nan"), 0);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("0x10"), 0);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("1,5"), 0);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("1e400"), 0);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc(".5"), 0.5);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("+5"), 5);
}

TEST(TStrCalc, UnbalancedParenthesesTolerated)
{
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("(2+3"), 5);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("2+3)"), 5);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc(")))"), 0);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("((((("), 0);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc("*/+-"), 0);
}

TEST(TStrCalc, TooManyStackedValuesRefused)
{
    // 1-(1-(1-(...))) stacks one value per level before any operator can fold them.
    auto nested = [](int depth) {
        std::string s;
        for (int i = 0; i < depth; ++i)
            s += "1-(";
        s += "1";
        s += std::string(static_cast<std::size_t>(depth), ')');
        return s;
    };
    EXPECT_DOUBLE_EQ(TStrCalc::Calc(nested(1022)), 1);  // 1023 ones: the most that fit
    EXPECT_DOUBLE_EQ(TStrCalc::Calc(nested(1021)), 0);
    bool refused = false;
    TStrCalc::EvaluatePostfix(TStrCalc::ToPostfix(TStrCalc::Tokenize(nested(1022))), &refused);
    EXPECT_FALSE(refused);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc(nested(1023)), 0);
    TStrCalc::EvaluatePostfix(TStrCalc::ToPostfix(TStrCalc::Tokenize(nested(1023))), &refused);
    EXPECT_TRUE(refused);
    EXPECT_DOUBLE_EQ(TStrCalc::Calc(nested(5000)), 0);
}

// Texts past the length bound are refused as a whole, like unreadable text.
TEST(TStrCalc, LongTextsRefused)
{
    auto sum = [](std::size_t length) {  // "1+1+...+1", length characters, value (length+1)/2
        std::string s = "1";
        while (s.size() + 2 <= length)
            s += "+1";
        if (s.size() < length)
            s += ' ';
        return s;
    };
    const struct {
        std::size_t length;
        double value;
    } cases[] = {{4095, 2048}, {TStrCalc::kMaxLength, 2048}, {TStrCalc::kMaxLength + 1, 0}, {100000, 0}};
    for (const auto& c : cases) {
        const std::string text = sum(c.length);
        ASSERT_EQ(text.size(), c.length);
        EXPECT_DOUBLE_EQ(TStrCalc::Calc(text), c.value) << c.length;
    }
}

// A 50 MB expression once took gigabytes in tokens; refused, it needs no more than its text.
TEST(TStrCalc, HugeTextNeedsNoMemoryBeyondItself)
{
    if (!testsupport::kAddressSpaceLimitWorks)
        GTEST_SKIP() << "address-space limits do not work under the sanitizers";
    const int rc = testsupport::RunInChild(
        [] {
            std::string text;
            text.reserve(50u << 20);
            while (text.size() < (50u << 20))
                text += "1+";
            return TStrCalc::Calc(text) == 0 ? 0 : 1;
        },
        {.addressSpace = 1024u << 20});
    EXPECT_EQ(rc, 0);
}

TEST(TStrStuck, StackOperations)
{
    TStrStuck s;
    EXPECT_EQ(s.Pop(), "");
    EXPECT_EQ(s.Top(), "");
    s.Push("a");
    s.Push("b");
    EXPECT_EQ(s.Count(), 2);
    EXPECT_EQ(s.Text(), "a\nb\n");
    EXPECT_EQ(s.Top(), "b");
    EXPECT_EQ(s.Pop(), "b");
    s.Clear();
    EXPECT_EQ(s.Count(), 0);
}
