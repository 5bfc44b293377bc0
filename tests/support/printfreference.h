#pragma once
// The monitor line produced the slow way: one printf format per kind of line, built by the
// column rule, with the arguments in the documented order. The fast formatter must match it.
#include <array>
#include <cstdio>
#include <string>

#include "tusbdev/adapterprotocol.h"

namespace testsupport::reference {

// The formats: [standard, extended, LIN, standard remote, extended remote][received,
// transmitted][bytes shown 0..8].
inline const std::array<std::array<std::array<std::string, 9>, 2>, 5>& Formats()
{
    static const auto table = [] {
        std::array<std::array<std::array<std::string, 9>, 2>, 5> t;
        const char* idPart[5] = {"    %04X      %d", "%08X  X   %d", "      %02X  %2s  %d", "    %04X   R  %d",
                                 "%08X  XR  %d"};
        for (int kind = 0; kind < 5; ++kind)
            for (int tx = 0; tx < 2; ++tx)
                for (int shown = 0; shown <= 8; ++shown) {
                    std::string f = tx ? "T" : " ";
                    f += idPart[kind];
                    for (int i = 0; i < shown; ++i)
                        f += i == 0 ? "   %02X" : "  %02X";
                    f += std::string(shown == 0 ? 34 : 33 - 4 * shown, ' ');
                    f += "%7d.%04d";
                    t[kind][tx][shown] = f;
                }
        return t;
    }();
    return table;
}

inline std::string Format(const tarvik::AdapterRecord& r)
{
    const auto& b = r.bytes;
    char out[132];
    if (b[0] != b[19]) {
        std::snprintf(out, sizeof out,
                      "%02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X "
                      "%02X %02X",
                      b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                      b[15], b[16], b[17], b[18], b[19]);
        return out;
    }
    const int n = b[2] & 0x0F;
    const bool can = b[1] == 0 || b[1] == 1;
    const bool remote = can && (b[3] & 0x40) != 0;  // bit 30 of the identifier
    const int shown = remote ? 0 : n > 8 ? 8 : n;
    const bool tx = b[1] == 1 || b[1] == 0x81;
    const int kind = can ? ((b[2] & 0xF0) ? 1 : 0) + (remote ? 3 : 0) : 2;
    const std::string& fmt = Formats()[kind][tx ? 1 : 0][shown];

    const unsigned id = can ? (unsigned(b[3] & (remote ? 0xBF : 0xFF)) << 24 | unsigned(b[4]) << 16 |
                               unsigned(b[5]) << 8 | b[6])
                            : b[6];
    const unsigned stamp = unsigned(b[15]) << 24 | unsigned(b[16]) << 16 | unsigned(b[17]) << 8 | b[18];
    const int secs = int(stamp / 10000), rest = int(stamp % 10000);
    const char* code = "??";
    switch (b[3]) {
    case 0: code = "  "; break;
    case 'P': code = "pe"; break;
    case 'F': code = "fe"; break;
    case 'S': code = "se"; break;
    case 'T': code = "te"; break;
    }
    const int d[8] = {b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14]};
    // Passing more arguments than the format consumes is well defined; the data bytes come
    // first, so the time fields are placed right after the bytes shown.
    int a[10];
    for (int i = 0; i < shown; ++i)
        a[i] = d[i];
    a[shown] = secs;
    a[shown + 1] = rest;
    for (int i = shown + 2; i < 10; ++i)
        a[i] = 0;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    if (can)
        std::snprintf(out, sizeof out, fmt.c_str(), id, n, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9]);
    else
        std::snprintf(out, sizeof out, fmt.c_str(), id, code, n, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8],
                      a[9]);
#pragma GCC diagnostic pop
    return out;
}

}  // namespace testsupport::reference
