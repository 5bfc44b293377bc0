#pragma once
// The expression calculator of the label scale, offset and range texts: + - * / and
// parentheses over decimal numbers. It never fails: what cannot be read counts as
// nothing, division by zero gives 0.
//
//   "0.1" -> 0.1    "1/16" -> 0.0625    "(2+3)*4" -> 20    "2+3*4" -> 14
//   "-40" -> -40    "10-2" -> 8         "5--3" -> 8        "2*3--1" -> 7
//   "1.5E-3*2" -> 0.003    "5+" -> 5    "" -> 0    "abc" -> 0    "3/0" -> 0
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// A stack of texts.
class TStrStuck {
public:
    void Push(std::string text) { items_.push_back(std::move(text)); }
    std::string Pop();                // the empty text when empty
    const std::string& Top() const;   // the empty text when empty
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    std::string Text() const;         // bottom to top, one per line

private:
    std::vector<std::string> items_;
};

class TStrCalc {
public:
    // Values the evaluation can hold at once. An expression that needs more is refused
    // as a whole and Calc returns 0, the same as any other unreadable text.
    static constexpr std::size_t kStackDepth = 1023;
    // Longest text evaluated. A scale or range is a few dozen characters; a longer text is
    // refused like unreadable text (Calc gives 0) rather than split into millions of tokens.
    static constexpr std::size_t kMaxLength = 4096;

    static double Calc(std::string_view text);

    // Operands and the six delimiters + - * / ( ) in text order. A "-" is a sign (part of
    // the operand) at the start, after an operator or "(", and after the "E" of a
    // number's exponent; anywhere else it subtracts.
    static std::vector<std::string> Tokenize(std::string_view text);
    static std::vector<std::string> ToPostfix(const std::vector<std::string>& tokens);
    // Sets *refused (when given) if the expression needs more than kStackDepth values.
    static double EvaluatePostfix(const std::vector<std::string>& postfix, bool* refused = nullptr);
    static int Precedence(std::string_view token);

    // A decimal number with "." as the point and an optional exponent, blanks around it
    // ignored. False for anything else, including out-of-range values.
    static bool ToNumber(std::string_view text, double& value);
};

}  // namespace tarvik
