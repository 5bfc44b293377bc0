#pragma once
// Splits the byte stream of a serial-line CAN adapter into its lines. Every line ends with
// CR; a lone CR is "ok", a BEL is "error". What the adapter may send:
//
//   t12321122\r           standard frame: 3 hex digits id, 1 digit length 0-8, data
//   T0000012381122334455667788\r   extended frame: 8 hex digits id (at most 1FFFFFFF)
//   r1232\r  R000001232\r remote frames: id and length, no data
//   t1231AA1F40\r         any frame may end with 4 hex digits: milliseconds 0-59999 (Z1)
//   z\r  Z\r              transmit accepted (standard / extended)
//   F84\r                 status flags, 2 hex digits
//   V1010\r  N1234\r      version and serial number (taken, not used)
//   \r  \a                ok / error reply to a command
//
// Hex digits may come in either case. A line longer than 30 characters (the longest frame
// with a time stamp), a line with a bad digit or a wrong length, or an unknown first letter
// is a bad line: counted and dropped, never delivered. LF is ignored so that adapters that
// end lines with CR LF read the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvik {

inline constexpr std::size_t kSlcanMaxLine = 30;

struct SlcanLine {
    enum class Kind : std::uint8_t { Ok, Error, Frame, TransmitAck, Status, Info };
    Kind kind = Kind::Ok;
    bool extended = false;
    bool remote = false;
    bool hasStamp = false;
    std::uint8_t length = 0;
    std::uint8_t flags = 0;  // Status: the flag byte
    std::uint16_t stampMs = 0;
    std::uint32_t id = 0;
    std::uint8_t data[8] = {};
};

// The line for a frame (Kind::Frame), CR included, hex digits upper case; the time stamp
// only when hasStamp is set.
std::string FormatSlcanFrame(const SlcanLine& frame);

class TSlcanReader {
public:
    // Appends every line completed by these bytes to `out`.
    void Feed(const void* bytes, std::size_t size, std::vector<SlcanLine>& out);
    // Forgets a partly received line (after a purge).
    void Reset();
    std::uint64_t BadLines() const { return bad_; }

private:
    bool Parse(const char* s, std::size_t n, SlcanLine& line) const;

    char buf_[kSlcanMaxLine];
    std::size_t len_ = 0;
    bool overflow_ = false;  // the current line is already too long; skip to its end
    std::uint64_t bad_ = 0;
};

}  // namespace tarvik
