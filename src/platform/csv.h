#pragma once
// The pieces of the CSV files this program writes: fields quoted per RFC 4180 and values
// in printf "%g" form, so every CSV writer agrees byte for byte.
#include <cstddef>
#include <string>
#include <string_view>

namespace tarvik {

// A field as it stands, or quoted with its quotes doubled when it holds a comma, a quote
// or a line end: "a,b" -> "\"a,b\"", so a name with a comma stays one column.
std::string CsvField(std::string_view field);

// Longest text FormatGeneral writes ("-1.79769e+308" is 13).
inline constexpr std::size_t kMaxGeneralText = 24;

// printf "%g" (six significant digits, C locale) of v into out, unterminated; its length.
std::size_t FormatGeneral(double v, char* out);
// The same, appended.
void AppendGeneral(std::string& out, double v);

}  // namespace tarvik
