#include "tusbdev/adapterprotocol.h"

#include <algorithm>
#include <type_traits>

#include "platform/hexdigit.h"

namespace tarvik::cmd {
namespace {

enum class Kind {
    Flag,    // '0' or '1'
    Digit,   // one decimal digit
    Nibble,  // one hex digit
    Byte,    // two hex digits
    Word,    // eight hex digits
};

constexpr std::size_t Width(Kind k) { return k == Kind::Byte ? 2 : k == Kind::Word ? 8 : 1; }

template <class Frame, class Visit>
constexpr bool VisitFrame(Frame& f, Visit& visit)
{
    if (!visit(Kind::Flag, f.extended) || !visit(Kind::Digit, f.length) || !visit(Kind::Word, f.id))
        return false;
    for (auto& byte : f.data)
        if (!visit(Kind::Byte, byte))
            return false;
    return true;
}

// The grammar, once for writing and reading: each letter's fields in the order they cross
// the link. `visit(kind, member)` is called for one field after the other and may stop the
// walk by returning false. False also for a letter that is not a command.
template <class F, class Visit>
constexpr bool VisitFields(F& f, Visit&& visit)
{
    switch (f.letter) {
    case 'M':
        return visit(Kind::Digit, f.function);
    case 'B':
        return visit(Kind::Nibble, f.bus.speed) && visit(Kind::Digit, f.bus.samplingPoint) &&
               visit(Kind::Digit, f.bus.driverMode) && visit(Kind::Digit, f.bus.terminator);
    case 'L':
        return visit(Kind::Word, f.masks.stdMask) && visit(Kind::Word, f.masks.stdCode) &&
               visit(Kind::Word, f.masks.extMask) && visit(Kind::Word, f.masks.extCode);
    case 'N':
    case 'F':
    case 'C':
    case 'S':
        return true;
    case 'T':
        return VisitFrame(f.frame, visit);
    case 'I':
        return VisitFrame(f.frame, visit) && visit(Kind::Word, f.interval100us);
    default:
        return false;
    }
}

// STX, letter, fields, ETX; 0 for a letter that is not a command.
constexpr std::size_t CommandBytes(char letter)
{
    Fields f;
    f.letter = letter;
    std::size_t n = 3;
    return VisitFields(f, [&n](Kind k, const auto&) {
               n += Width(k);
               return true;
           })
               ? n
               : 0;
}
static_assert(CommandBytes('M') == kMonitorBytes && CommandBytes('B') == kBusBytes &&
              CommandBytes('L') == kMasksBytes && CommandBytes('N') == kSimpleBytes &&
              CommandBytes('T') == kTransmitBytes && CommandBytes('I') == kPeriodicBytes);
static_assert(CommandBytes('I') == kLongestCommand);

// Each command has a fixed byte count, so every field must keep its width: a value that
// would print wider than its field is clamped rather than allowed to push ETX out of the
// frame (the adapter would then wait for a terminator that never comes).
void Write(Command& out, Kind k, std::int64_t value)
{
    if (k == Kind::Flag) {
        out.push_back(value != 0 ? '1' : '0');
        return;
    }
    if (k == Kind::Digit) {
        out.push_back(char('0' + std::clamp<std::int64_t>(value, 0, 9)));
        return;
    }
    const int width = int(Width(k));
    const auto v = std::uint32_t(std::clamp<std::int64_t>(value, 0, (std::int64_t(1) << (4 * width)) - 1));
    for (int shift = (width - 1) * 4; shift >= 0; shift -= 4) out.push_back(HexChar(v >> shift));
}

// The host writes upper-case digits only; anything else is not a command of ours.
int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::uint32_t> Read(std::string_view text, Kind k)
{
    if (k == Kind::Flag)
        return text[0] == '0' || text[0] == '1' ? std::optional<std::uint32_t>(text[0] - '0') : std::nullopt;
    if (k == Kind::Digit)
        return text[0] >= '0' && text[0] <= '9' ? std::optional<std::uint32_t>(text[0] - '0') : std::nullopt;
    std::uint32_t v = 0;
    for (char c : text) {
        const int d = HexValue(c);
        if (d < 0)
            return std::nullopt;
        v = (v << 4) | std::uint32_t(d);
    }
    return v;
}

FrameFields Frame(int extended, int length, std::uint32_t id, const std::uint8_t data[8])
{
    FrameFields f{extended, length, id, {}};
    if (data)
        std::copy_n(data, 8, f.data.begin());
    return f;
}

}  // namespace

Command Encode(const Fields& fields)
{
    Command c;
    c.reserve(kLongestCommand);
    c.push_back(char(kStx));
    c.push_back(fields.letter);
    const bool known = VisitFields(fields, [&c](Kind k, const auto& member) {
        Write(c, k, std::int64_t(member));
        return true;
    });
    if (!known)
        return {};
    c.push_back(char(kEtx));
    return c;
}

std::optional<Fields> Decode(std::string_view frame)
{
    if (frame.size() < 3 || frame.front() != char(kStx) || frame.back() != char(kEtx))
        return std::nullopt;
    Fields f;
    f.letter = frame[1];
    if (CommandBytes(f.letter) != frame.size())
        return std::nullopt;
    std::size_t at = 2;
    const bool ok = VisitFields(f, [&](Kind k, auto& member) {
        const std::optional<std::uint32_t> v = Read(frame.substr(at, Width(k)), k);
        at += Width(k);
        if (v)
            member = static_cast<std::remove_reference_t<decltype(member)>>(*v);
        return v.has_value();
    });
    return ok ? std::optional<Fields>(f) : std::nullopt;
}

Command Monitor(int function) { return Encode({.letter = 'M', .function = function}); }

Command CanBus(int speed, int samplingPoint, int driverMode, int terminator)
{
    return Encode({.letter = 'B', .bus = {speed, samplingPoint, driverMode, terminator}});
}

Command LinBus(int speed, int operationNode)
{
    // LIN speeds are decimal: past 9 the digit stops at 9, not at the CAN form's F.
    return Encode({.letter = 'B', .bus = {std::clamp(speed, 0, 9), 0, 0, operationNode}});
}

Command Masks(std::uint32_t stdMask, std::uint32_t stdCode, std::uint32_t extMask, std::uint32_t extCode)
{
    return Encode({.letter = 'L', .masks = {stdMask, stdCode, extMask, extCode}});
}

Command OnBus() { return Encode({.letter = 'N'}); }
Command OffBus() { return Encode({.letter = 'F'}); }
Command Clear() { return Encode({.letter = 'C'}); }
Command StopPeriodic() { return Encode({.letter = 'S'}); }

Command Transmit(int extended, int length, std::uint32_t id, const std::uint8_t data[8])
{
    return Encode({.letter = 'T', .frame = Frame(extended, length, id, data)});
}

Command TransmitPeriodic(int extended, int length, std::uint32_t id, const std::uint8_t data[8],
                         std::uint32_t interval100us)
{
    return Encode({.letter = 'I', .frame = Frame(extended, length, id, data), .interval100us = interval100us});
}

Command LinTransmit(int length, std::uint32_t id, const std::uint8_t data[8])
{
    return Transmit(0, length, id & kLinIdMask, data);
}

}  // namespace tarvik::cmd
