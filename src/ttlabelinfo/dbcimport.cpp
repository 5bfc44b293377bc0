#include "ttlabelinfo/dbcimport.h"

#include "ttlabelinfo/labelline.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "platform/hexdigit.h"
#include "tusbdev/adapterprotocol.h"

namespace tarvik {

namespace {

// Error messages quote tokens; a fuzzed or binary file can hold huge ones.
std::string Quoted(std::string_view token)
{
    constexpr std::size_t kMax = 60;
    std::string s = "\"";
    if (token.size() > kMax) {
        s.append(token.substr(0, kMax));
        s += "...";
    } else {
        s.append(token);
    }
    s += '"';
    return s;
}

[[noreturn]] void Abort(int line, std::string_view token, const std::string& what)
{
    throw DbcImportError(line, std::string(token),
                         "line " + std::to_string(line) + ": " + what);
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view Trim(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlankOrControl(s[b]))
        ++b;
    while (e > b && IsBlankOrControl(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// Real files align their columns with runs of blanks, so a run is one separator. Only the
// blank separates: a tab stays inside its token.
void Tokenize(std::string_view line, std::vector<std::string_view>& tokens)
{
    tokens.clear();
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n) {
        while (i < n && line[i] == ' ')
            ++i;
        if (i == n)
            break;
        const std::size_t b = i;
        while (i < n && line[i] != ' ')
            ++i;
        tokens.push_back(line.substr(b, i - b));
    }
}

bool ParseUInt32(std::string_view s, std::uint32_t& out)
{
    if (s.empty())
        return false;
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
        if (v > 0xFFFFFFFFull)
            return false;
    }
    out = static_cast<std::uint32_t>(v);
    return true;
}

bool ParseInt32(std::string_view s, std::int32_t& out)
{
    bool neg = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        neg = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty())
        return false;
    std::int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
        if (v > 2147483648LL)
            return false;
    }
    if (neg)
        v = -v;
    if (v > 2147483647LL)
        return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

// A finite decimal number with "." as the point and an optional exponent; the whole text
// must be the number. Infinities and NaN are not numbers a database should hold.
bool ParseDecimal(std::string_view s, double& out)
{
    if (!s.empty() && s[0] == '+')
        s.remove_prefix(1);
    if (s.empty() || s[0] == '+')
        return false;
    const char* end = s.data() + s.size();
    auto [ptr, ec] = std::from_chars(s.data(), end, out, std::chars_format::general);
    return ec == std::errc() && ptr == end && std::isfinite(out);
}

// "(" a "," b ")" or "[" a "|" b "]": both parts non-empty decimal numbers.
bool ParsePair(std::string_view tok, char open, char sep, char close, double& a, double& b)
{
    if (tok.size() < 2 || tok.front() != open || tok.back() != close)
        return false;
    const std::size_t s = tok.find(sep);
    if (s == std::string_view::npos || s < 2 || s + 2 >= tok.size())
        return false;
    return ParseDecimal(tok.substr(1, s - 1), a) &&
           ParseDecimal(tok.substr(s + 1, tok.size() - s - 2), b);
}

const char* TypeName(std::int32_t length, bool isSigned)
{
    if (length == 1)
        return "bit";
    if (length <= 8)
        return isSigned ? "signed char" : "unsigned char";
    if (length <= 16)
        return isSigned ? "signed short" : "unsigned short";
    if (length <= 32)
        return isSigned ? "signed long" : "unsigned long";
    return isSigned ? "signed __int64" : "unsigned __int64";
}

void AppendHex(std::string& out, std::uint32_t v, int width)
{
    char buf[8];
    out.append(buf, WriteHex(buf, v, width));
}

std::string FoldCase(std::string_view s)
{
    // ASCII only: bytes above 127 may be halves of double-byte characters.
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return r;
}

class Importer {
public:
    explicit Importer(const DbcImportOptions& options) : options_(options) {}
    const DbcImportReport& Report() const { return report_; }

    std::vector<std::string> Run(std::string_view text)
    {
        const std::size_t nul = text.find('\0');
        if (nul != std::string_view::npos)
            text = text.substr(0, nul);
        const std::size_t n = text.size();
        std::size_t pos = 0;
        int lineNo = 0;
        while (pos < n) {
            std::size_t e = pos;
            while (e < n && text[e] != '\n' && text[e] != '\r')
                ++e;
            ++lineNo;
            Line(text.substr(pos, e - pos), lineNo);
            if (e == n)
                break;
            pos = e + 1;
            if (text[e] == '\r' && pos < n && text[pos] == '\n')
                ++pos;
        }
        ApplyValueTypes();
        return std::move(out_);
    }

private:
    void Line(std::string_view raw, int lineNo)
    {
        const std::string_view line = Trim(raw);
        if (line.empty()) {
            EndMessage();
            return;
        }
        // Most lines of a database are neither messages nor signals; decide on the first
        // token before cutting the rest.
        const bool isMessage = line.starts_with("BO_") && (line.size() == 3 || line[3] == ' ');
        const bool isSignal = line.starts_with("SG_") && (line.size() == 3 || line[3] == ' ');
        if (!isMessage && !isSignal) {
            EndMessage();
            if (line.starts_with("SIG_VALTYPE_ "))
                ValueType(line);
            return;
        }
        Tokenize(line, tokens_);
        if (isMessage)
            Message(lineNo);
        else
            Signal(line, lineNo);
    }

    void Message(int lineNo)
    {
        if (tokens_.size() < 5) {
            // Too short to name a message; keeping the previous one current would file
            // the signals below under the wrong identifier.
            EndMessage();
            return;
        }
        std::uint32_t id = 0;
        if (!ParseUInt32(tokens_[1], id))
            Abort(lineNo, tokens_[1],
                  "message identifier " + Quoted(tokens_[1]) +
                      " is not an unsigned 32-bit decimal number");
        ++report_.messages;
        extended_ = (id & kExtendedKeyFlag) != 0;  // bit 31 marks an extended identifier in a DBC file
        const std::uint32_t key = MakeFrameKey(id, extended_);
        key_ = key;
        if (!seenMessages_.insert(key).second) {
            hasMessage_ = false;  // a repeated message: its signals are dropped
            repeated_ = true;
            return;
        }
        hasMessage_ = true;
        repeated_ = false;
        idText_ = "0x";
        AppendHex(idText_, key & kExtendedIdMask, extended_ ? 8 : 3);
    }

    // Where a signal's bits are, as a label counts them.
    struct SignalBits {
        bool little = false;
        bool isSigned = false;
        std::int32_t length = 0;
        std::int64_t position = 0;
    };

    void Signal(std::string_view line, int lineNo)
    {
        const auto& t = tokens_;
        ++report_.signalLines;
        if (!hasMessage_) {
            ++(repeated_ ? report_.repeatedMessage : report_.outsideMessage);
            return;
        }
        if (t.size() < 8) {
            ++report_.malformed;
            return;
        }
        std::size_t colon = 0;
        for (std::size_t i = 1; i < t.size(); ++i) {
            if (t[i] == ":") {
                colon = i;
                break;
            }
        }
        if (colon < 2) {
            ++report_.malformed;
            return;
        }
        if (t.size() < colon + 5)
            Abort(lineNo, t[1],
                  "signal " + Quoted(t[1]) +
                      " has no room for position, scale, range and unit after \":\"");

        // The name is taken even when the signal is then skipped, so later names stay as they were.
        const std::string name = SignalName(colon);
        SignalBits bits;
        if (!ReadBits(t[colon + 1], bits))
            return;
        double values[4] = {};  // factor, offset, minimum, maximum
        if (!ParsePair(t[colon + 2], '(', ',', ')', values[0], values[1]) ||
            !ParsePair(t[colon + 3], '[', '|', ']', values[2], values[3])) {
            ++report_.malformed;
            return;
        }
        Made made;
        made.dbcName = std::string(t[1]);
        made.key = key_;
        made.length = bits.length;
        made.scaled = values[0] != 1 || values[1] != 0;
        made.multiplexed = colon > 2;
        out_.push_back(LabelLine(name, bits, values, Unit(line, colon), made));
        made_.push_back(std::move(made));
        ++report_.labels;
        if (colon > 2)
            ++report_.multiplexed;
    }

    // "SIG_VALTYPE_ 304 FuelRate : 1;" -- the signal's bits are an IEEE float (1) or double
    // (2). These lines follow the signals, so they are gathered and applied at the end.
    void ValueType(std::string_view line)
    {
        std::string rest(line.substr(13));
        for (char& c : rest)
            if (c == ':' || c == ';')
                c = ' ';
        Tokenize(rest, tokens_);
        std::uint32_t id = 0;
        if (tokens_.size() != 3 || !ParseUInt32(tokens_[0], id) ||
            (tokens_[2] != "0" && tokens_[2] != "1" && tokens_[2] != "2"))
            return;
        const std::uint32_t key = MakeFrameKey(id, (id & kExtendedKeyFlag) != 0);
        valueTypes_[SignalKey(key, tokens_[1])] = tokens_[2][0] - '0';
    }

    static std::string SignalKey(std::uint32_t key, std::string_view name)
    {
        std::string k = std::to_string(key);
        k += ' ';
        k.append(name);
        return k;
    }

    // A float label reads its bits unscaled and only at 32 (float) or 64 (double) bits;
    // any other floating-point signal would show made-up numbers, so it is left out.
    void ApplyValueTypes()
    {
        if (valueTypes_.empty())
            return;
        std::size_t kept = 0;
        for (std::size_t i = 0; i < out_.size(); ++i) {
            const Made& m = made_[i];
            const auto vt = valueTypes_.find(SignalKey(m.key, m.dbcName));
            if (vt != valueTypes_.end() && vt->second != 0) {
                const bool isDouble = vt->second == 2;
                if (m.length != (isDouble ? 64 : 32) || m.scaled) {
                    ++report_.floatUnfit;
                    --report_.labels;
                    if (m.multiplexed)
                        --report_.multiplexed;
                    continue;
                }
                out_[i].replace(m.typeBegin, m.typeEnd - m.typeBegin, isDouble ? "double" : "float");
                ++report_.floating;
            }
            if (kept != i)
                out_[kept] = std::move(out_[i]);
            ++kept;
        }
        out_.resize(kept);
    }

    // The multiplexer markers before ":" become part of the name (Gear m1 -> Gear_m1); a name
    // seen before (letter case aside) gets the message identifier appended.
    std::string SignalName(std::size_t colon)
    {
        std::string name(tokens_[1]);
        for (std::size_t i = 2; i < colon; ++i) {
            name += '_';
            name.append(tokens_[i]);
        }
        if (!seenNames_.insert(FoldCase(name)).second) {
            name += '_';
            name += idText_;
            seenNames_.insert(FoldCase(name));
        }
        return name;
    }

    // start|length@0+ or @0-; little-endian (@1) only when asked for and exact. False, with
    // the reason counted, for a signal not imported.
    bool ReadBits(std::string_view posTok, SignalBits& bits)
    {
        const std::string_view tail = posTok.size() < 3 ? std::string_view() : posTok.substr(posTok.size() - 3);
        bits.little = tail == "@1+" || tail == "@1-";
        if (bits.little && !options_.littleEndian) {
            ++report_.littleEndian;
            return false;
        }
        if (!bits.little && tail != "@0+" && tail != "@0-") {
            ++report_.malformed;
            return false;
        }
        bits.isSigned = tail[2] == '-';
        const std::size_t bar = posTok.find('|');
        std::int32_t start = 0;
        if (bar == std::string_view::npos || bar == 0 || posTok.size() - bar - 1 < 4 ||
            !ParseInt32(posTok.substr(0, bar), start) ||
            !ParseInt32(posTok.substr(bar + 1, posTok.size() - bar - 4), bits.length)) {
            ++report_.malformed;
            return false;
        }
        if (!bits.little) {
            // The database counts bits from the least significant bit of each byte and names
            // the signal's most significant bit; labels count from the top of byte 0.
            bits.position = 8 * (std::int64_t{start} / 8) + 7 - (std::int64_t{start} % 8);
        } else if (!LittleEndianPosition(start, bits.length, bits.position)) {
            ++report_.littleEndian;
            return false;
        }
        return true;
    }

    // A quoted unit may hold blanks ("deg C"); taken up to its closing quote, as written.
    std::string_view Unit(std::string_view line, std::size_t colon) const
    {
        const auto& t = tokens_;
        std::string_view unit = t[colon + 4];
        if (unit.front() == '"' && (unit.size() == 1 || unit.back() != '"')) {
            for (std::size_t i = colon + 5; i < t.size(); ++i) {
                if (t[i].back() == '"') {
                    const std::size_t b = static_cast<std::size_t>(unit.data() - line.data());
                    const std::size_t e = static_cast<std::size_t>(t[i].data() - line.data()) + t[i].size();
                    return line.substr(b, e - b);
                }
            }
        }
        return unit;
    }

    // Where a made label came from, and where its type sits in its line.
    struct Made {
        std::string dbcName;
        std::uint32_t key = 0;
        std::int32_t length = 0;
        bool scaled = false;
        bool multiplexed = false;
        std::size_t typeBegin = 0, typeEnd = 0;
    };

    std::string LabelLine(const std::string& name, const SignalBits& bits, const double (&values)[4],
                          std::string_view unit, Made& made) const
    {
        std::string out;
        out.reserve(name.size() + unit.size() + 96);
        // Names come from the file unchecked; one holding a comma, quote or control
        // character would shift every later field, so it is quoted as the label writer does.
        AppendLabelField(out, name);
        out += ",\"";
        made.typeBegin = out.size();
        // A "bit" label ignores scale and offset; an option-made one-bit signal that has
        // them is typed as a char so that its value comes out scaled.
        if (bits.little && bits.length == 1 && (values[0] != 1 || values[1] != 0))
            out += bits.isSigned ? "signed char" : "unsigned char";
        else
            out += TypeName(bits.length, bits.isSigned);
        made.typeEnd = out.size();
        out += "\",";
        if (extended_)
            out += 'X';
        out += ',';
        out += idText_;
        out += bits.little ? ",Little," : ",Big,";
        out += std::to_string(bits.position);
        out += ',';
        out += std::to_string(bits.length);
        for (double v : values) {
            out += ',';
            out += FormatGeneralDecimal(v);
        }
        out += ',';
        out.append(unit);
        return out;
    }

    // The database names a little-endian signal by its least significant bit (bit b of
    // byte k is 8k + b). Labels decode it exactly in two shapes only: whole bytes, read
    // least significant byte first from the start byte, and a field inside one byte,
    // which a label reads right-aligned like a big-endian one from its top bit.
    static bool LittleEndianPosition(std::int32_t start, std::int32_t length, std::int64_t& position)
    {
        if (start < 0 || start > 63 || length < 1 || length > 64)
            return false;
        if (start % 8 == 0 && length % 8 == 0 && start + length <= 64) {
            position = start;
            return true;
        }
        if (start % 8 + length <= 8) {
            position = 8 * (start / 8) + 8 - start % 8 - length;
            return true;
        }
        return false;
    }

    void EndMessage()
    {
        hasMessage_ = false;
        repeated_ = false;
    }

    std::vector<std::string_view> tokens_;
    std::vector<std::string> out_;
    std::vector<Made> made_;  // one per line of out_
    std::unordered_map<std::string, int> valueTypes_;  // "key name" -> 0 integer, 1 float, 2 double
    std::uint32_t key_ = 0;  // of the current message
    std::unordered_set<std::uint32_t> seenMessages_;
    std::unordered_set<std::string> seenNames_;
    std::string idText_;
    DbcImportOptions options_;
    DbcImportReport report_;
    bool hasMessage_ = false;
    bool repeated_ = false;  // the current message is none because it was a repeat
    bool extended_ = false;
};

}  // namespace

DbcImportError::DbcImportError(int line, std::string token, const std::string& message)
    : std::runtime_error(message), line_(line), token_(std::move(token))
{
}

std::vector<std::string> ImportDbc(std::string_view text) { return ImportDbc(text, DbcImportOptions{}); }

std::vector<std::string> ImportDbc(std::string_view text, const DbcImportOptions& options,
                                   DbcImportReport* report)
{
    Importer importer(options);
    std::vector<std::string> lines = importer.Run(text);
    if (report)
        *report = importer.Report();
    return lines;
}

std::string FormatDbcImportReport(const DbcImportReport& r)
{
    auto n = [](int v) { return std::to_string(v); };
    return n(r.messages) + " messages, " + n(r.signalLines) + " signals read, " + n(r.labels) +
           " labels made (" + n(r.multiplexed) + " multiplexed, " + n(r.floating) +
           " float); skipped: " + n(r.littleEndian) +
           " little-endian, " + n(r.malformed) + " malformed, " + n(r.repeatedMessage) +
           " repeated message, " + n(r.outsideMessage) + " outside a message, " + n(r.floatUnfit) +
           " unreadable float";
}

std::vector<std::string> ImportDbcFile(const std::string& path)
{
    return ImportDbcFile(path, DbcImportOptions{});
}

std::vector<std::string> ImportDbcFile(const std::string& path, const DbcImportOptions& options,
                                       DbcImportReport* report)
{
    std::string text, error;
    if (!ReadFileBytes(path, text, &error, kDbcFileMaxBytes))
        throw DbcImportError(0, path, error);
    return ImportDbc(text, options, report);
}

std::string FormatGeneralDecimal(double v)
{
    if (std::isnan(v))
        return "NAN";
    if (std::isinf(v))
        return v < 0 ? "-INF" : "INF";
    if (v == 0)
        return "0";  // also for -0: a sign on zero means nothing to a scale or range

    // Round to 15 significant digits first; the rounded exponent decides the form. The
    // shortest form that reads back as v is that rounding whenever it has at most 15
    // digits (a double's spacing is far below the 15-digit step), and it is much cheaper;
    // subnormals carry less precision, so they always take the rounding.
    char buf[64];
    const double a = std::fabs(v);
    auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific);
    std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));  // d[.ddd]e[+-]xx
    std::size_t epos = sci.find('e');
    if (a < std::numeric_limits<double>::min() || (epos > 1 ? epos - 1 : 1) > 15) {
        res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 14);
        sci = std::string_view(buf, static_cast<std::size_t>(res.ptr - buf));
        epos = sci.find('e');
    }
    char digits[24];
    int nd = 0;
    for (std::size_t i = 0; i < epos; ++i)
        if (sci[i] != '.')
            digits[nd++] = sci[i];
    while (nd > 1 && digits[nd - 1] == '0')
        --nd;
    int exp = 0;
    std::string_view es = sci.substr(epos + 1);
    const bool negExp = es[0] == '-';
    if (es[0] == '+' || es[0] == '-')
        es.remove_prefix(1);
    std::from_chars(es.data(), es.data() + es.size(), exp);
    if (negExp)
        exp = -exp;

    std::string out;
    if (v < 0)
        out += '-';
    if (exp >= -5 && exp < 15) {
        if (exp >= 0) {
            for (int i = 0; i <= exp; ++i)
                out += i < nd ? digits[i] : '0';
            if (nd > exp + 1) {
                out += '.';
                out.append(digits + exp + 1, static_cast<std::size_t>(nd - exp - 1));
            }
        } else {
            out += "0.";
            out.append(static_cast<std::size_t>(-exp - 1), '0');
            out.append(digits, static_cast<std::size_t>(nd));
        }
    } else {
        out += digits[0];
        if (nd > 1) {
            out += '.';
            out.append(digits + 1, static_cast<std::size_t>(nd - 1));
        }
        out += 'E';
        out += std::to_string(exp);
    }
    return out;
}

}  // namespace tarvik
