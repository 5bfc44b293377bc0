#include "tsendform/messagelist.h"

#include <charconv>
#include <cstdio>

#include "platform/atomicfile.h"
#include "platform/hexdigit.h"
#include "ttlabelinfo/labelline.h"

namespace tarvik {

namespace {

constexpr const char* kHeader[] = {
    "# Tarvik message list",
    "# on id ext len data ms [NAME=VALUE...] [# comment]",
};

bool Blank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
    return s;
}

// Hex digits into a number of at most maxDigits digits.
bool Hex(std::string_view s, std::size_t maxDigits, std::uint64_t& v)
{
    if (s.empty() || s.size() > maxDigits) return false;
    v = 0;
    for (char c : s) {
        const int d = HexDigit(static_cast<unsigned char>(c));
        if (d < 0) return false;
        v = v * 16 + std::uint64_t(d);
    }
    return true;
}

bool Decimal(std::string_view s, std::size_t maxDigits, std::uint64_t& v)
{
    if (s.empty() || s.size() > maxDigits) return false;
    v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + std::uint64_t(c - '0');
    }
    return true;
}

bool Flag(std::string_view s, bool& v)
{
    if (s != "0" && s != "1") return false;
    v = s == "1";
    return true;
}

bool Escaped(char c) { return Blank(c) || c == '#' || c == '=' || c == '%'; }

std::string EscapeName(std::string_view name)
{
    std::string out;
    for (char c : name) {
        if (Escaped(c)) {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", unsigned(static_cast<unsigned char>(c)));
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

bool UnescapeName(std::string_view s, std::string& name)
{
    name.clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            name += s[i];
            continue;
        }
        std::uint64_t v = 0;
        if (i + 2 >= s.size() || !Hex(s.substr(i + 1, 2), 2, v)) return false;
        name += char(v);
        i += 2;
    }
    return !name.empty();
}

bool Fail(std::string* reason, std::string text)
{
    if (reason) *reason = std::move(text);
    return false;
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

}  // namespace

std::uint64_t TMessageRow::Data64() const
{
    std::uint64_t d = 0;
    for (std::uint8_t b : data) d = (d << 8) | b;
    return d;
}

void TMessageRow::SetData64(std::uint64_t d)
{
    for (int i = 0; i < 8; ++i) data[std::size_t(i)] = std::uint8_t(d >> (56 - 8 * i));
}

std::vector<std::string> TMessageList::Problems() const
{
    std::vector<std::string> out;
    for (const TKeptLine& k : kept)
        if (!k.reason.empty()) out.push_back("line " + std::to_string(k.lineNumber) + ": " + k.reason);
    return out;
}

bool CheckMessageRow(const TMessageRow& row, std::string* reason)
{
    const std::uint32_t maxId = row.extended ? 0x1FFFFFFFu : 0x7FFu;
    if (row.id > maxId) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "the identifier %X does not fit %s frame (at most %X)", row.id,
                      row.extended ? "an extended" : "a standard", maxId);
        return Fail(reason, buf);
    }
    if (row.length < 0 || row.length > 8)
        return Fail(reason, "the length " + std::to_string(row.length) + " is not 0 to 8");
    if (row.intervalMs > TMessageRow::kMaxIntervalMs)
        return Fail(reason, "the interval " + std::to_string(row.intervalMs) + " ms is above 99999999");
    return true;
}

bool ParseMessageRow(std::string_view line, TMessageRow& out, std::string* reason)
{
    // The fields before the comment.
    std::vector<std::string_view> fields;
    std::string_view comment;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && Blank(line[i])) ++i;
        if (i >= line.size()) break;
        if (line[i] == '#') {
            comment = Trim(line.substr(i + 1));
            break;
        }
        const std::size_t start = i;
        while (i < line.size() && !Blank(line[i])) ++i;
        fields.push_back(line.substr(start, i - start));
    }
    if (fields.size() < 6)
        return Fail(reason, "it has " + std::to_string(fields.size()) +
                                " of the six fields (on, id, ext, len, data, ms)");

    TMessageRow row;
    std::uint64_t v = 0;
    if (!Flag(fields[0], row.enabled)) return Fail(reason, "enabled is " + Quoted(fields[0]) + ", not 1 or 0");
    if (!Hex(fields[1], 8, v)) return Fail(reason, "the identifier " + Quoted(fields[1]) + " is not 1 to 8 hex digits");
    row.id = std::uint32_t(v);
    if (!Flag(fields[2], row.extended)) return Fail(reason, "extended is " + Quoted(fields[2]) + ", not 1 or 0");
    if (!Decimal(fields[3], 1, v) || v > 8) return Fail(reason, "the length " + Quoted(fields[3]) + " is not 0 to 8");
    row.length = int(v);
    if (fields[4] != "-") {
        if (fields[4].size() % 2 != 0 || !Hex(fields[4], 16, v))
            return Fail(reason, "the data " + Quoted(fields[4]) + " is not up to 8 bytes in hex digits");
        for (std::size_t b = 0; b < fields[4].size() / 2; ++b)
            row.data[b] = std::uint8_t(v >> (4 * (fields[4].size() - 2 * b - 2)));
    }
    if (!Decimal(fields[5], 8, v))
        return Fail(reason, "the interval " + Quoted(fields[5]) + " is not 0 to 99999999 ms");
    row.intervalMs = std::uint32_t(v);
    for (std::size_t f = 6; f < fields.size(); ++f) {
        const std::string_view a = fields[f];
        const std::size_t eq = a.find('=');
        TSignalValue s;
        const char* end = a.data() + a.size();
        if (eq == std::string_view::npos || !UnescapeName(a.substr(0, eq), s.name) ||
            std::from_chars(a.data() + eq + 1, end, s.value).ptr != end || eq + 1 == a.size())
            return Fail(reason, Quoted(a) + " is not NAME=VALUE (a comment begins with #)");
        row.signalValues.push_back(std::move(s));
    }
    row.comment = std::string(comment);
    if (!CheckMessageRow(row, reason)) return false;
    out = std::move(row);
    return true;
}

std::string FormatMessageRow(const TMessageRow& row)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, row.extended ? "%d %08X %d %d " : "%d %03X %d %d ", row.enabled ? 1 : 0, row.id,
                  row.extended ? 1 : 0, row.length);
    std::string out = buf;
    for (std::uint8_t b : row.data) {
        out += HexChar(b >> 4);
        out += HexChar(b & 0xF);
    }
    out += ' ';
    out += std::to_string(row.intervalMs);
    for (const TSignalValue& s : row.signalValues) {
        char value[32];
        const auto r = std::to_chars(value, value + sizeof value, s.value);  // shortest that reads back
        out += ' ' + EscapeName(s.name) + '=' + std::string(value, r.ptr);
    }
    std::string comment;
    for (char c : row.comment) comment += c == '\r' || c == '\n' ? ' ' : c;
    comment = std::string(Trim(comment));
    if (!comment.empty()) out += " # " + comment;
    return out;
}

TMessageList ParseMessageList(std::string_view text)
{
    TMessageList list;
    const std::vector<std::string> lines = SplitTextLines(text);
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string_view t = Trim(lines[n]);
        if (t.empty() || t == kHeader[0] || t == kHeader[1]) continue;  // the header is written anew
        TKeptLine kept{int(n + 1), int(list.rows.size()), lines[n], {}};
        if (t.front() == '#') {
            list.kept.push_back(std::move(kept));  // the user's own comment line
            continue;
        }
        TMessageRow row;
        if (ParseMessageRow(t, row, &kept.reason))
            list.rows.push_back(std::move(row));
        else
            list.kept.push_back(std::move(kept));
    }
    return list;
}

std::string FormatMessageList(const TMessageList& list)
{
    std::string out;
    for (const char* h : kHeader) out += std::string(h) + '\n';
    std::size_t k = 0;
    for (std::size_t r = 0; r <= list.rows.size(); ++r) {
        for (; k < list.kept.size() && (std::size_t(list.kept[k].beforeRow) <= r || r == list.rows.size()); ++k)
            out += list.kept[k].text + '\n';
        if (r < list.rows.size()) out += FormatMessageRow(list.rows[r]) + '\n';
    }
    return out;
}

bool ReadMessageList(const std::string& path, TMessageList& list, std::string* error)
{
    std::string bytes;
    if (!ReadFileBytes(path, bytes, error)) return false;
    list = ParseMessageList(bytes);
    return true;
}

bool WriteMessageList(const std::string& path, const TMessageList& list, std::string* error)
{
    return WriteFileAtomically(path, FormatMessageList(list), error);
}

}  // namespace tarvik
