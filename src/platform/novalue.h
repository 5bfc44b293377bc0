#pragma once
// "No value yet": what a label holds until its first frame. A NaN with a payload of its
// own, so it passes through double arrays and atomics unchanged while a NaN that a frame
// actually carried stays an ordinary NaN (written "nan", plotted as one).
#include <bit>
#include <cstdint>

namespace tarvik {

inline constexpr std::uint64_t kNoValueBits = 0x7FF800004E4F5641ull;

constexpr double NoValue() { return std::bit_cast<double>(kNoValueBits); }
constexpr bool IsNoValue(double v) { return std::bit_cast<std::uint64_t>(v) == kNoValueBits; }

}  // namespace tarvik
