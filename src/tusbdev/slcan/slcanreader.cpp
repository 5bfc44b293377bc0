#include "tusbdev/slcan/slcanreader.h"

namespace tarvik {

namespace {

constexpr char kCr = '\r';
constexpr char kBel = '\a';

int Hex(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool ReadHex(const char* s, std::size_t n, std::uint32_t& v)
{
    v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int d = Hex(s[i]);
        if (d < 0) return false;
        v = (v << 4) | std::uint32_t(d);
    }
    return true;
}

void PutHex(std::string& s, std::uint32_t v, int digits)
{
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i) s.push_back(kDigits[(v >> (4 * i)) & 0xF]);
}

}  // namespace

std::string FormatSlcanFrame(const SlcanLine& f)
{
    std::string s;
    s.reserve(kSlcanMaxLine + 1);
    s.push_back(f.remote ? (f.extended ? 'R' : 'r') : (f.extended ? 'T' : 't'));
    PutHex(s, f.id, f.extended ? 8 : 3);
    const int length = f.length > 8 ? 8 : f.length;
    s.push_back(char('0' + length));
    if (!f.remote)
        for (int i = 0; i < length; ++i) PutHex(s, f.data[i], 2);
    if (f.hasStamp) PutHex(s, f.stampMs, 4);
    s.push_back(kCr);
    return s;
}

void TSlcanReader::Reset()
{
    len_ = 0;
    overflow_ = false;
}

void TSlcanReader::Feed(const void* bytes, std::size_t size, std::vector<SlcanLine>& out)
{
    const auto* p = static_cast<const char*>(bytes);
    for (std::size_t i = 0; i < size; ++i) {
        const char c = p[i];
        if (c == '\n') continue;
        if (c == kCr || c == kBel) {
            SlcanLine line;
            if (overflow_) {
                ++bad_;
            } else if (c == kBel) {
                // Text before a BEL is no line of its own; the BEL still answers a command.
                if (len_ > 0) ++bad_;
                line.kind = SlcanLine::Kind::Error;
                out.push_back(line);
            } else if (len_ == 0) {
                out.push_back(line);  // Ok
            } else if (Parse(buf_, len_, line)) {
                out.push_back(line);
            } else {
                ++bad_;
            }
            Reset();
            continue;
        }
        if (overflow_) continue;
        if (len_ == kSlcanMaxLine) {
            overflow_ = true;
            continue;
        }
        buf_[len_++] = c;
    }
}

bool TSlcanReader::Parse(const char* s, std::size_t n, SlcanLine& line) const
{
    std::uint32_t v = 0;
    switch (s[0]) {
    case 't':
    case 'T':
    case 'r':
    case 'R': {
        line.kind = SlcanLine::Kind::Frame;
        line.extended = s[0] == 'T' || s[0] == 'R';
        line.remote = s[0] == 'r' || s[0] == 'R';
        const std::size_t idDigits = line.extended ? 8 : 3;
        if (n < 1 + idDigits + 1 || !ReadHex(s + 1, idDigits, line.id)) return false;
        if (line.id > (line.extended ? 0x1FFFFFFFu : 0x7FFu)) return false;
        const char dlc = s[1 + idDigits];
        if (dlc < '0' || dlc > '8') return false;
        line.length = std::uint8_t(dlc - '0');
        std::size_t pos = 2 + idDigits;
        if (!line.remote) {
            if (n < pos + 2u * line.length) return false;
            for (int i = 0; i < line.length; ++i, pos += 2) {
                if (!ReadHex(s + pos, 2, v)) return false;
                line.data[i] = std::uint8_t(v);
            }
        }
        if (n == pos) return true;
        if (n != pos + 4 || !ReadHex(s + pos, 4, v) || v >= 60000) return false;
        line.hasStamp = true;
        line.stampMs = std::uint16_t(v);
        return true;
    }
    case 'z':
    case 'Z':
        line.kind = SlcanLine::Kind::TransmitAck;
        return n == 1;
    case 'F':
        line.kind = SlcanLine::Kind::Status;
        if (n != 3 || !ReadHex(s + 1, 2, v)) return false;
        line.flags = std::uint8_t(v);
        return true;
    case 'V':
    case 'v':
    case 'N':
        line.kind = SlcanLine::Kind::Info;
        return n == 5 && ReadHex(s + 1, 4, v);
    default:
        return false;
    }
}

}  // namespace tarvik
