#include "tusbdev/adapterprotocol.h"

#include <algorithm>

#include "platform/hexdigit.h"

namespace tarvik::cmd {
namespace {

// Each command has a fixed byte count, so every field must keep its width: a value that
// would print wider than its field is clamped rather than allowed to push ETX out of the
// frame (the adapter would then wait for a terminator that never comes).
char Digit(int value) { return char('0' + std::clamp(value, 0, 9)); }
char HexField(int value) { return HexChar(unsigned(std::clamp(value, 0, 15))); }

void AppendHex(Command& out, std::uint32_t value, int width)
{
    for (int shift = (width - 1) * 4; shift >= 0; shift -= 4) out.push_back(HexChar(value >> shift));
}

Command Framed(char letter, std::size_t bodySize)
{
    Command c;
    c.reserve(bodySize + 3);
    c.push_back(char(kStx));
    c.push_back(letter);
    return c;
}

Command Finish(Command c)
{
    c.push_back(char(kEtx));
    return c;
}

Command Simple(char letter) { return Finish(Framed(letter, 0)); }

// The common body of T and I: flag, length, identifier, all eight data bytes.
void AppendFrame(Command& c, int extended, int length, std::uint32_t id, const std::uint8_t data[8])
{
    c.push_back(extended != 0 ? '1' : '0');
    c.push_back(Digit(length));
    AppendHex(c, id, 8);
    for (int i = 0; i < 8; ++i) AppendHex(c, data ? data[i] : 0, 2);
}

}  // namespace

Command Monitor(int function)
{
    Command c = Framed('M', 1);
    c.push_back(Digit(function));
    return Finish(std::move(c));
}

Command CanBus(int speed, int samplingPoint, int driverMode, int terminator)
{
    Command c = Framed('B', 4);
    c.push_back(HexField(speed));
    c.push_back(Digit(samplingPoint));
    c.push_back(Digit(driverMode));
    c.push_back(Digit(terminator));
    return Finish(std::move(c));
}

Command LinBus(int speed, int operationNode)
{
    Command c = Framed('B', 4);
    c.push_back(Digit(speed));
    c.push_back('0');
    c.push_back('0');
    c.push_back(Digit(operationNode));
    return Finish(std::move(c));
}

Command Masks(std::uint32_t stdMask, std::uint32_t stdCode, std::uint32_t extMask, std::uint32_t extCode)
{
    Command c = Framed('L', 32);
    AppendHex(c, stdMask, 8);
    AppendHex(c, stdCode, 8);
    AppendHex(c, extMask, 8);
    AppendHex(c, extCode, 8);
    return Finish(std::move(c));
}

Command OnBus() { return Simple('N'); }
Command OffBus() { return Simple('F'); }
Command Clear() { return Simple('C'); }
Command StopPeriodic() { return Simple('S'); }

Command Transmit(int extended, int length, std::uint32_t id, const std::uint8_t data[8])
{
    Command c = Framed('T', 26);
    AppendFrame(c, extended, length, id, data);
    return Finish(std::move(c));
}

Command TransmitPeriodic(int extended, int length, std::uint32_t id, const std::uint8_t data[8],
                         std::uint32_t interval100us)
{
    Command c = Framed('I', 34);
    AppendFrame(c, extended, length, id, data);
    AppendHex(c, interval100us, 8);
    return Finish(std::move(c));
}

Command LinTransmit(int length, std::uint32_t id, const std::uint8_t data[8])
{
    return Transmit(0, length, id & kLinIdMask, data);
}

}  // namespace tarvik::cmd
