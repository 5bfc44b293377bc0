#pragma once
// The graph settings dialog's rules, without the dialog: the offered lists and the integer
// reading of its fields.
#include <array>
#include <string_view>

namespace tarvik {

inline constexpr std::array<const char*, 5> kTimeWidthItems = {"5", "10", "20", "30", "60"};
inline constexpr std::array<const char*, 9> kSampleRateItems = {"5",   "10",  "20",  "25",  "50",
                                                                "100", "200", "500", "1000"};
inline constexpr std::array<const char*, 8> kPlotRateItems = {"10", "20", "25", "50", "100", "200", "500", "1000"};

// A decimal integer, or a hexadecimal one after "0x", "0X", "x", "X" or "$" (at most 32
// bits, read as two's complement), with leading blanks and an optional sign. Anything
// else, or a decimal beyond the signed 32-bit range, gives def.
int StrToIntDef(std::string_view text, int def);

}  // namespace tarvik
