#include "ttlabelinfo/tstrcalc.h"

#include <array>
#include <charconv>
#include <cmath>

namespace tarvik {

namespace {

inline bool IsDelimiter(char c)
{
    return c == '+' || c == '-' || c == '*' || c == '/' || c == '(' || c == ')';
}

inline bool IsOperator(std::string_view t)
{
    return t.size() == 1 && (t[0] == '+' || t[0] == '-' || t[0] == '*' || t[0] == '/');
}

inline bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view Trim(std::string_view t)
{
    while (!t.empty() && IsBlankOrControl(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && IsBlankOrControl(t.back()))
        t.remove_suffix(1);
    return t;
}

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The pending operand is a mantissa waiting for its exponent ("1E", " -2.5e"), so a "-"
// that follows is the exponent's sign.
bool AwaitsExponentSign(std::string_view pending)
{
    std::string_view t = Trim(pending);
    if (t.size() < 2 || (t.back() != 'E' && t.back() != 'e'))
        return false;
    t.remove_suffix(1);
    if (t.front() == '-' || t.front() == '+')
        t.remove_prefix(1);
    bool digits = false, point = false;
    for (char c : t) {
        if (IsDigit(c))
            digits = true;
        else if (c == '.' && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

}  // namespace

std::string TStrStuck::Pop()
{
    if (items_.empty())
        return {};
    std::string t = std::move(items_.back());
    items_.pop_back();
    return t;
}

const std::string& TStrStuck::Top() const
{
    static const std::string empty;
    return items_.empty() ? empty : items_.back();
}

std::string TStrStuck::Text() const
{
    std::string out;
    for (const auto& s : items_) {
        out += s;
        out += '\n';
    }
    return out;
}

int TStrCalc::Precedence(std::string_view token)
{
    if (token.empty())
        return -1;
    if (token.size() == 1) {
        switch (token[0]) {
        case ')': return 0;
        case '+':
        case '-': return 1;
        case '*':
        case '/': return 2;
        case '(': return 7;
        default: break;
        }
    }
    return 6;
}

std::vector<std::string> TStrCalc::Tokenize(std::string_view text)
{
    std::vector<std::string> tokens;
    std::string pending;
    for (char c : text) {
        if (!IsDelimiter(c)) {
            pending += c;
            continue;
        }
        const std::string_view pendingText = Trim(pending);
        if (pendingText == "-") {
            // A sign before a parenthesis negates the group: -(a) is -1*(a), which binds
            // as tightly as a sign should. A second sign cancels the first.
            if (c == '(') {
                tokens.emplace_back("-1");
                tokens.emplace_back("*");
                pending.clear();
            } else if (c == '-') {
                pending.clear();
                continue;
            }
        }
        if (c == '-') {
            const bool pendingEmpty = pendingText.empty();
            bool sign;
            if (pendingEmpty) {
                // Nothing to subtract from: at the start, after an operator or "(".
                sign = tokens.empty() || IsOperator(tokens.back()) || tokens.back() == "(";
            } else {
                sign = AwaitsExponentSign(pending);
            }
            if (sign) {
                pending += c;
                continue;
            }
        }
        if (!pending.empty()) {
            tokens.push_back(std::move(pending));
            pending.clear();
        }
        tokens.emplace_back(1, c);
    }
    if (!pending.empty())
        tokens.push_back(std::move(pending));
    return tokens;
}

std::vector<std::string> TStrCalc::ToPostfix(const std::vector<std::string>& tokens)
{
    std::vector<std::string> out;
    TStrStuck stack;
    for (const std::string& t : tokens) {
        const int p = Precedence(t);
        while (stack.Count() > 0 && Precedence(stack.Top()) >= p && stack.Top() != "(")
            out.push_back(stack.Pop());
        if (t == ")")
            stack.Pop();
        else
            stack.Push(t);
    }
    while (stack.Count() > 0) {
        std::string t = stack.Pop();
        if (t != "(")
            out.push_back(std::move(t));
    }
    return out;
}

bool TStrCalc::ToNumber(std::string_view text, double& value)
{
    std::string_view t = Trim(text);
    if (t.empty())
        return false;
    bool negative = false;
    if (t.front() == '+' || t.front() == '-') {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    // from_chars would also take "inf", "nan" and hexadecimal forms; only decimal is a number here.
    if (t.empty() || !(IsDigit(t.front()) || t.front() == '.'))
        return false;
    double v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size() || !std::isfinite(v))
        return false;
    value = negative ? -v : v;
    return true;
}

double TStrCalc::EvaluatePostfix(const std::vector<std::string>& postfix, bool* refused)
{
    // Slot 0 is a permanent 0 below the values, so a lone operand after an operator still
    // has something to combine with ("5+" gives 5).
    // Not zero-filled: only slot 0 must start at 0, and clearing 8 KB four times per label
    // was most of the cost of loading a large label file.
    std::array<double, kStackDepth + 1> stack;
    stack[0] = 0;
    std::size_t count = 0;
    bool pushed = false;
    if (refused)
        *refused = false;
    for (const std::string& t : postfix) {
        if (IsOperator(t)) {
            if (count == 0)
                continue;
            const double top = stack[count];
            double& below = stack[count - 1];
            switch (t[0]) {
            case '+': below = below + top; break;
            case '-': below = below - top; break;
            case '*': below = below * top; break;
            default: below = top == 0 ? 0 : below / top; break;
            }
            --count;
            continue;
        }
        double v;
        if (!ToNumber(t, v))
            continue;
        if (count == kStackDepth) {
            if (refused)
                *refused = true;
            return 0;
        }
        stack[++count] = v;
        pushed = true;
    }
    return pushed ? stack[1] : 0;
}

double TStrCalc::Calc(std::string_view text)
{
    if (text.size() > kMaxLength)
        return 0;
    return EvaluatePostfix(ToPostfix(Tokenize(text)));
}

}  // namespace tarvik
